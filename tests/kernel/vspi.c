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
//   peer_timeout_ms  how long a transfer waits for the peer's answer
//
// /dev/vspi-peer (see vspi.h): while a process holds it open, each transfer
// goes to that process and waits for its answer, at most peer_timeout_ms;
// without an answer in time (logged), or with no process holding it, the
// controller answers by itself as above. Each transfer is logged at
// KERN_NOTICE, with its TX and RX bytes and who answered.
#include "vspi.h"

#include <linux/completion.h>
#include <linux/debugfs.h>
#include <linux/delay.h>
#include <linux/miscdevice.h>
#include <linux/module.h>
#include <linux/mutex.h>
#include <linux/platform_device.h>
#include <linux/poll.h>
#include <linux/spi/spi.h>
#include <linux/uaccess.h>
#include <linux/wait.h>

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
static u32 peer_timeout_ms = 2000;

// The peer, under lock: whether a process holds it, and the transfer that
// waits for its answer (id 0: none).
static struct {
  bool open;
  u32 id;
  bool taken, answered;
  struct vspi_request request;
  u8 tx[VSPI_PEER_MAX_LEN];
  u8 rx[VSPI_PEER_MAX_LEN];
} peer;
static DECLARE_WAIT_QUEUE_HEAD(peer_readers);
static DECLARE_COMPLETION(peer_done);
static u32 transfers;
// The bytes of the kernel log line, shown up to this many per direction.
#define SHOWN 128
static char shown_tx[2 * SHOWN + 2], shown_rx[2 * SHOWN + 2];

static void show(char* text, const void* bytes, size_t len) {
  char* end = text;
  if (bytes) end = bin2hex(text, bytes, min_t(size_t, len, SHOWN));
  if (!bytes) *end++ = '-';
  if (len > SHOWN) *end++ = '+';
  *end = 0;
}

// Hands the transfer to the peer and waits for its answer; true when it
// came in time, with rx filled.
static bool peer_answers(u32 id, struct spi_device* spi, struct spi_transfer* t) {
  bool done;

  if (!peer.open || t->len > VSPI_PEER_MAX_LEN) return false;
  peer.id = id;
  peer.taken = peer.answered = false;
  peer.request = (struct vspi_request){.id = id,
                                       .len = t->len,
                                       .speed_hz = t->speed_hz,
                                       .bits_per_word = t->bits_per_word,
                                       .mode = spi->mode};
  if (t->tx_buf)
    memcpy(peer.tx, t->tx_buf, t->len);
  else
    memset(peer.tx, 0, t->len);
  reinit_completion(&peer_done);
  mutex_unlock(&lock);
  wake_up_interruptible(&peer_readers);
  wait_for_completion_timeout(&peer_done, msecs_to_jiffies(peer_timeout_ms));
  mutex_lock(&lock);
  done = peer.answered;
  if (done && t->rx_buf) memcpy(t->rx_buf, peer.rx, t->len);
  if (!done && peer.open)
    pr_warn("vspi: #%u no answer from the peer in %u ms: the controller answers\n", id,
            peer_timeout_ms);
  peer.id = 0;
  return done;
}

static int vspi_transfer_one(struct spi_controller* ctlr, struct spi_device* spi,
                             struct spi_transfer* t) {
  size_t at;
  u32 hold, error, id;
  bool by_peer;

  mutex_lock(&lock);
  id = ++transfers;
  at = log_blob.size;
  at += scnprintf(log_text + at, sizeof log_text - at, "%u %u %u %u ", t->len, t->speed_hz,
                  t->bits_per_word, spi->mode);
  if (t->tx_buf && at + 2 * t->len + 1 < sizeof log_text)
    at = bin2hex(log_text + at, t->tx_buf, t->len) - log_text;
  log_blob.size = at + scnprintf(log_text + at, sizeof log_text - at, "\n");
  by_peer = peer_answers(id, spi, t);
  if (!by_peer) {
    if (t->rx_buf) memset(t->rx_buf, 0xFF, t->len);
    if (answered < queued) {
      if (t->rx_buf)
        memcpy(t->rx_buf, replies[answered].bytes, min_t(size_t, replies[answered].len, t->len));
      ++answered;
    }
  }
  hold = hold_ms;
  error = fail_errno;
  hold_ms = 0;
  fail_errno = 0;
  show(shown_tx, t->tx_buf, t->len);
  show(shown_rx, t->rx_buf, t->len);
  pr_notice("vspi: #%u tx %s rx %s by %s\n", id, shown_tx, shown_rx,
            by_peer ? "peer" : "controller");
  if (hold) pr_notice("vspi: #%u held %u ms\n", id, hold);
  mutex_unlock(&lock);

  if (hold) msleep(hold);
  return error ? -(int)error : 0;
}

static int peer_open(struct inode* inode, struct file* file) {
  int ret = 0;

  mutex_lock(&lock);
  if (peer.open)
    ret = -EBUSY;
  else
    peer.open = true;
  mutex_unlock(&lock);
  return ret;
}

static int peer_release(struct inode* inode, struct file* file) {
  mutex_lock(&lock);
  peer.open = false;
  complete(&peer_done);  // a transfer that waits is answered by the controller
  mutex_unlock(&lock);
  pr_notice("vspi: the peer has gone\n");
  return 0;
}

// Whether a transfer waits for the peer to read it: a hint, which the
// reader checks again under the lock.
static bool request_ready(void) { return READ_ONCE(peer.id) && !READ_ONCE(peer.taken); }

static ssize_t peer_read(struct file* file, char __user* buf, size_t count, loff_t* pos) {
  size_t size;
  ssize_t ret;

  for (;;) {
    mutex_lock(&lock);
    if (peer.id && !peer.taken) break;
    mutex_unlock(&lock);
    if (file->f_flags & O_NONBLOCK) return -EAGAIN;
    if (wait_event_interruptible(peer_readers, request_ready())) return -ERESTARTSYS;
  }
  size = sizeof peer.request + peer.request.len;
  if (count < size) {
    ret = -EINVAL;
  } else if (copy_to_user(buf, &peer.request, sizeof peer.request) ||
             copy_to_user(buf + sizeof peer.request, peer.tx, peer.request.len)) {
    ret = -EFAULT;
  } else {
    peer.taken = true;
    ret = size;
  }
  mutex_unlock(&lock);
  return ret;
}

static ssize_t peer_write(struct file* file, const char __user* buf, size_t count, loff_t* pos) {
  struct vspi_answer answer;
  size_t len;
  ssize_t ret = count;

  if (count < sizeof answer) return -EINVAL;
  if (copy_from_user(&answer, buf, sizeof answer)) return -EFAULT;
  len = count - sizeof answer;
  mutex_lock(&lock);
  if (!answer.id || answer.id != peer.id || !peer.taken || peer.answered) {
    ret = -ETIMEDOUT;
  } else if (len > peer.request.len) {
    ret = -EINVAL;
  } else if (copy_from_user(peer.rx, buf + sizeof answer, len)) {
    ret = -EFAULT;
  } else {
    memset(peer.rx + len, 0xFF, peer.request.len - len);
    peer.answered = true;
    complete(&peer_done);
  }
  mutex_unlock(&lock);
  if (ret == -ETIMEDOUT) pr_warn("vspi: #%u the peer's answer came too late\n", answer.id);
  return ret;
}

static __poll_t peer_poll(struct file* file, poll_table* wait) {
  poll_wait(file, &peer_readers, wait);
  return (request_ready() ? EPOLLIN | EPOLLRDNORM : 0) | EPOLLOUT | EPOLLWRNORM;
}

static const struct file_operations peer_fops = {.owner = THIS_MODULE,
                                                 .open = peer_open,
                                                 .release = peer_release,
                                                 .read = peer_read,
                                                 .write = peer_write,
                                                 .poll = peer_poll,
                                                 .llseek = noop_llseek};

static struct miscdevice peer_device = {
    .minor = MISC_DYNAMIC_MINOR, .name = "vspi-peer", .fops = &peer_fops, .mode = 0600};

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

  ret = misc_register(&peer_device);
  if (ret) goto fail_controller;

  dir = debugfs_create_dir("vspi", NULL);
  debugfs_create_file("reply", 0200, dir, NULL, &reply_fops);
  debugfs_create_blob("log", 0400, dir, &log_blob);
  debugfs_create_u32("fail_errno", 0600, dir, &fail_errno);
  debugfs_create_u32("hold_ms", 0600, dir, &hold_ms);
  debugfs_create_u32("mode", 0600, dir, &device->mode);
  debugfs_create_u8("bits_per_word", 0600, dir, &device->bits_per_word);
  debugfs_create_u32("peer_timeout_ms", 0600, dir, &peer_timeout_ms);
  return 0;

fail_controller:
  spi_unregister_controller(controller);
fail_parent:
  platform_device_unregister(parent);
  return ret;
}

static void __exit vspi_exit(void) {
  debugfs_remove_recursive(dir);
  misc_deregister(&peer_device);
  spi_unregister_controller(controller);
  platform_device_unregister(parent);
}

module_init(vspi_init);
module_exit(vspi_exit);
MODULE_DESCRIPTION("Virtual SPI controller for the kernel tests");
MODULE_LICENSE("Dual MIT/GPL");
