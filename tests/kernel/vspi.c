// SPDX-License-Identifier: GPL-2.0-only OR MIT
// A virtual SPI controller for the kernel tests: bus 0 with one device on
// chip select 1, bound to spidev as /dev/spidev0.1. The device starts in
// mode 3 with 16-bit words and a 1 MHz limit, so a transfer in mode 0 with
// 8 bits at 100 kHz shows settings that the program under test made.
//
// /sys/kernel/debug/vspi/ drives it:
//   reply       a queue of replies, each write one reply of at most 128
//               bytes: the transfers take them one each, in the order
//               written, and read 0xFF past a reply's end and once the
//               queue is used up; at most 16 from one opening to the
//               next (then ENOSPC); opening it empties the queue and the log
//   log         a line per transfer: length, speed, bits per word, mode and
//               the TX bytes in hex
//   fail_errno  the next transfer fails with this errno
//   hold_ms     the next transfer takes this long
//   mode, bits_per_word  the device's own settings
#include <linux/debugfs.h>
#include <linux/delay.h>
#include <linux/module.h>
#include <linux/mutex.h>
#include <linux/platform_device.h>
#include <linux/spi/spi.h>

static struct platform_device* parent;
static struct spi_controller* controller;
static struct dentry* dir;

static DEFINE_MUTEX(lock);
static struct {
  u8 bytes[128];
  size_t len;
} replies[16];
static unsigned int queued, answered;  // replies written, replies taken
static char log_text[8192];
static struct debugfs_blob_wrapper log_blob = {.data = log_text};
static u32 fail_errno;
static u32 hold_ms;

static int vspi_transfer_one(struct spi_controller* ctlr, struct spi_device* spi,
                             struct spi_transfer* t) {
  size_t at;
  u32 hold, error;

  mutex_lock(&lock);
  at = log_blob.size;
  at += scnprintf(log_text + at, sizeof log_text - at, "%u %u %u %u ", t->len, t->speed_hz,
                  t->bits_per_word, spi->mode);
  if (t->tx_buf && at + 2 * t->len + 1 < sizeof log_text)
    at = bin2hex(log_text + at, t->tx_buf, t->len) - log_text;
  log_blob.size = at + scnprintf(log_text + at, sizeof log_text - at, "\n");
  if (t->rx_buf) memset(t->rx_buf, 0xFF, t->len);
  if (answered < queued) {
    if (t->rx_buf)
      memcpy(t->rx_buf, replies[answered].bytes, min_t(size_t, replies[answered].len, t->len));
    ++answered;
  }
  hold = hold_ms;
  error = fail_errno;
  hold_ms = 0;
  fail_errno = 0;
  mutex_unlock(&lock);

  if (hold) msleep(hold);
  return error ? -(int)error : 0;
}

static int reply_open(struct inode* inode, struct file* file) {
  mutex_lock(&lock);
  queued = answered = 0;
  log_blob.size = 0;
  mutex_unlock(&lock);
  return 0;
}

static ssize_t reply_write(struct file* file, const char __user* buf, size_t count, loff_t* pos) {
  ssize_t ret = count;

  if (count > sizeof replies[0].bytes) return -EINVAL;
  mutex_lock(&lock);
  if (queued == ARRAY_SIZE(replies))
    ret = -ENOSPC;
  else if (copy_from_user(replies[queued].bytes, buf, count))
    ret = -EFAULT;
  else
    replies[queued++].len = count;
  mutex_unlock(&lock);
  return ret;
}

static const struct file_operations reply_fops = {
    .owner = THIS_MODULE, .open = reply_open, .write = reply_write};

static int __init vspi_init(void) {
  struct spi_device* device;
  int ret;

  parent = platform_device_register_simple("vspi", -1, NULL, 0);
  if (IS_ERR(parent)) return PTR_ERR(parent);
  controller = spi_alloc_master(&parent->dev, 0);
  if (!controller) {
    ret = -ENOMEM;
    goto fail_parent;
  }
  controller->bus_num = 0;
  controller->num_chipselect = 2;
  controller->mode_bits = SPI_CPOL | SPI_CPHA;
  controller->bits_per_word_mask = SPI_BPW_MASK(8) | SPI_BPW_MASK(16);
  controller->max_speed_hz = 10000000;
  controller->transfer_one = vspi_transfer_one;
  ret = spi_register_controller(controller);
  if (ret) {
    spi_controller_put(controller);
    goto fail_parent;
  }

  device = spi_alloc_device(controller);
  if (!device) {
    ret = -ENOMEM;
    goto fail_controller;
  }
  device->chip_select = 1;
  device->mode = SPI_MODE_3;
  device->bits_per_word = 16;
  device->max_speed_hz = 1000000;
  // spidev binds only to names in its own table, or to a device that asks
  // for it by name; the core owns and frees the override string.
  ret = driver_set_override(&device->dev, &device->driver_override, "spidev", 6);
  if (!ret) ret = spi_add_device(device);
  if (ret) {
    spi_dev_put(device);
    goto fail_controller;
  }

  dir = debugfs_create_dir("vspi", NULL);
  debugfs_create_file("reply", 0200, dir, NULL, &reply_fops);
  debugfs_create_blob("log", 0400, dir, &log_blob);
  debugfs_create_u32("fail_errno", 0600, dir, &fail_errno);
  debugfs_create_u32("hold_ms", 0600, dir, &hold_ms);
  debugfs_create_u32("mode", 0600, dir, &device->mode);
  debugfs_create_u8("bits_per_word", 0600, dir, &device->bits_per_word);
  return 0;

fail_controller:
  spi_unregister_controller(controller);
fail_parent:
  platform_device_unregister(parent);
  return ret;
}

static void __exit vspi_exit(void) {
  debugfs_remove_recursive(dir);
  spi_unregister_controller(controller);
  platform_device_unregister(parent);
}

module_init(vspi_init);
module_exit(vspi_exit);
MODULE_DESCRIPTION("Virtual SPI controller for the kernel tests");
MODULE_LICENSE("Dual MIT/GPL");
