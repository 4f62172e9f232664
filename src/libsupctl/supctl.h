/* SPDX-License-Identifier: MIT */
/*
 * libsupctl: the board's power supervisor, reached over SPI through a Linux
 * spidev device, for programs in C and languages that call C.
 *
 * A supctl_device is one open device. Each query and setting command below
 * makes one exchange with the supervisor, the frame that supctl sends for
 * the operation of the same name (supctl_get_low_bat: GET_LowBat). The
 * calls allocate nothing, never end the process and print nothing; each
 * returns a supctl_result.
 *
 * Errors: a call that returns SUPCTL_ERROR_* leaves errno telling why: the
 * system's own errno for the device failures (open, settings, transfer;
 * EIO for a transfer that moved no bytes), EINVAL for a refused argument
 * and EBADF for a handle that is not open. supctl_result_text() names each
 * result.
 *
 * Answers: a query's reply is always decoded into its result. When the
 * reply is what a bus gives without a supervisor behind it (all bytes 0x00
 * or all 0xFF, a threshold outside 1 to 100, a power status with a charge
 * above 100 % or, on battery, under 1 V), the query returns
 * SUPCTL_NOT_ANSWERED instead of SUPCTL_OK. The supervisor's answer to a
 * setting command is not examined.
 *
 * Threads: a handle is used by one thread at a time; calls on different
 * handles may run in different threads at once. The library keeps no state
 * of its own besides the handles.
 */
#ifndef SUPCTL_H
#define SUPCTL_H

#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(SUPCTL_BUILDING) && defined(__GNUC__)
#define SUPCTL_API __attribute__((visibility("default")))
#else
#define SUPCTL_API
#endif

#define SUPCTL_DEFAULT_DEVICE "/dev/spidev0.1"
#define SUPCTL_MAX_EVENT_CODES 17
#define SUPCTL_DEVICE_INFO_LENGTH 64

typedef enum supctl_result {
  SUPCTL_OK = 0,
  SUPCTL_NOT_ANSWERED = 1,   /* decoded, but no supervisor answered */
  SUPCTL_ERROR_ARGUMENT = 2, /* a value outside its range, or a null pointer */
  SUPCTL_ERROR_CLOSED = 3,   /* the handle is not open */
  SUPCTL_ERROR_OPEN = 4,     /* the device can't be opened */
  SUPCTL_ERROR_SETTINGS = 5, /* the device refused an SPI setting */
  SUPCTL_ERROR_TRANSFER = 6  /* the exchange failed */
} supctl_result;

/* One open device. The caller provides the storage; supctl_open fills it. */
typedef struct supctl_device {
  int fd; /* the spidev descriptor, -1 when not open */
  /* The SPI settings as the driver reported them back. */
  uint32_t spi_mode;
  uint8_t bits_per_word;
  uint32_t max_speed_hz;
} supctl_device;

typedef struct supctl_power_status {
  bool line;
  bool charging;
  bool pg;
  bool motion;
  uint16_t millivolts;
  uint8_t charge_percent; /* as received, not limited to 100 */
} supctl_power_status;

typedef struct supctl_device_id {
  uint8_t bytes[16];
} supctl_device_id;

/* The information text up to its first zero byte, NUL-terminated. */
typedef struct supctl_device_info {
  char text[SUPCTL_DEVICE_INFO_LENGTH + 1];
} supctl_device_info;

/* The numbers from 1 to 10 that are active, in increasing order. */
typedef struct supctl_number_list {
  uint8_t count;
  uint8_t numbers[10];
} supctl_number_list;

/* announced: the count the supervisor sent; count: the codes its reply
   holds, at most announced and at most SUPCTL_MAX_EVENT_CODES. */
typedef struct supctl_events {
  uint8_t announced;
  uint8_t count;
  uint8_t codes[SUPCTL_MAX_EVENT_CODES];
} supctl_events;

typedef struct supctl_rgb {
  uint8_t red;
  uint8_t green;
  uint8_t blue;
} supctl_rgb;

/* Opens path (SUPCTL_DEFAULT_DEVICE when NULL) and applies the SPI
   settings: mode 0, 8 bits per word, 100 kHz. On failure device->fd is -1
   and nothing stays open. */
SUPCTL_API int supctl_open(supctl_device* device, const char* path);
/* Closes the device; a handle that is not open is left as it is. */
SUPCTL_API void supctl_close(supctl_device* device);

/* What a supctl_result means, as a short text; never NULL. */
SUPCTL_API const char* supctl_result_text(int result);
/* The name of an event code, or NULL for a code that has none. */
SUPCTL_API const char* supctl_event_name(uint8_t code);
/* The library's version, "MAJOR.MINOR". */
SUPCTL_API const char* supctl_version(void);

/* Queries. */
SUPCTL_API int supctl_get_power_status(supctl_device* device, supctl_power_status* status);
SUPCTL_API int supctl_get_device_id(supctl_device* device, supctl_device_id* id);
SUPCTL_API int supctl_get_device_info(supctl_device* device, supctl_device_info* info);
SUPCTL_API int supctl_get_supervisor_mode(supctl_device* device, uint8_t* mode);
SUPCTL_API int supctl_get_active_mcus(supctl_device* device, supctl_number_list* mcus);
SUPCTL_API int supctl_get_active_usb_ports(supctl_device* device, supctl_number_list* ports);
/* Takes the events the supervisor has queued, oldest first. */
SUPCTL_API int supctl_get_events(supctl_device* device, supctl_events* events);
SUPCTL_API int supctl_get_rgb(supctl_device* device, supctl_rgb* colour);
SUPCTL_API int supctl_get_low_bat(supctl_device* device, uint8_t* percent);
SUPCTL_API int supctl_get_critical_low_bat(supctl_device* device, uint8_t* percent);
SUPCTL_API int supctl_get_accel_sensitivity(supctl_device* device, uint8_t* sensitivity);
/* Tenths of a degree Celsius. */
SUPCTL_API int supctl_get_board_temperature(supctl_device* device, uint16_t* tenths);

/* Setting commands. A value outside the range that supctl takes for the
   operation's -a value (supctl(1)) sends nothing and returns
   SUPCTL_ERROR_ARGUMENT. */
SUPCTL_API int supctl_set_magic(supctl_device* device, uint32_t magic);
SUPCTL_API int supctl_unlock_admin_mode(supctl_device* device, uint32_t code);
SUPCTL_API int supctl_set_low_bat(supctl_device* device, uint32_t percent);
SUPCTL_API int supctl_set_critical_low_bat(supctl_device* device, uint32_t percent);
SUPCTL_API int supctl_set_accel_sensitivity(supctl_device* device, uint32_t value);
SUPCTL_API int supctl_set_supervisor_mode(supctl_device* device, uint32_t mode);
SUPCTL_API int supctl_enable_mcu(supctl_device* device, uint32_t mcu);
SUPCTL_API int supctl_disable_mcu(supctl_device* device, uint32_t mcu);
SUPCTL_API int supctl_erase_mcu(supctl_device* device, uint32_t mcu);
SUPCTL_API int supctl_set_rgb(supctl_device* device, supctl_rgb colour);
SUPCTL_API int supctl_power_off(supctl_device* device, uint32_t value);

#ifdef __cplusplus
}
#endif

#endif
