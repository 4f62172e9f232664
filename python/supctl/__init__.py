# SPDX-License-Identifier: MIT
"""The board's power supervisor from Python, through libsupctl.so.1.

    import supctl

    with supctl.Supervisor() as board:
        status = board.power_status()
        print(status.charge_percent, status.millivolts)

Every method makes one exchange with the supervisor over the spidev device,
as the supctl operation of the same name does. A reply that is what a bus
gives without a supervisor behind it raises NotAnswered, which holds the
decoded reply all the same; a refused value raises ArgumentError (a
ValueError) and a failing device DeviceError (an OSError with its errno).

A Supervisor is used by one thread at a time. The library is looked up as
libsupctl.so.1, or at the path that the SUPCTL_LIBRARY environment variable
or the library argument names.
"""
from __future__ import annotations

import ctypes
import enum
import os
from dataclasses import dataclass
from typing import Any, Callable, Dict, Optional, Tuple, TypeVar

__all__ = [
    "DEFAULT_DEVICE",
    "ArgumentError",
    "DeviceError",
    "Event",
    "Events",
    "NotAnswered",
    "PowerStatus",
    "Result",
    "Rgb",
    "SupctlError",
    "Supervisor",
]

DEFAULT_DEVICE = "/dev/spidev0.1"
LIBRARY = "libsupctl.so.1"


class Result(enum.IntEnum):
    """What a library call returns (supctl_result in supctl.h)."""

    OK = 0
    NOT_ANSWERED = 1
    ERROR_ARGUMENT = 2
    ERROR_CLOSED = 3
    ERROR_OPEN = 4
    ERROR_SETTINGS = 5
    ERROR_TRANSFER = 6


@dataclass(frozen=True)
class PowerStatus:
    line: bool
    charging: bool
    pg: bool
    motion: bool
    millivolts: int
    charge_percent: int  # as received, not limited to 100


@dataclass(frozen=True)
class Event:
    code: int
    name: Optional[str]  # None for a code without a name


@dataclass(frozen=True)
class Events:
    announced: int  # the count the supervisor sent
    events: Tuple[Event, ...]  # the codes its reply holds, oldest first


@dataclass(frozen=True)
class Rgb:
    red: int
    green: int
    blue: int

    def __str__(self) -> str:
        return f"#{self.red:02x}{self.green:02x}{self.blue:02x}"


class SupctlError(Exception):
    """A call that did not succeed; result is its Result."""

    def __init__(self, result: Result, message: str) -> None:
        super().__init__(message)
        self.result = result


class NotAnswered(SupctlError):
    """The reply is no supervisor's answer; value is the reply decoded."""

    def __init__(self, result: Result, message: str, value: object) -> None:
        super().__init__(result, message)
        self.value = value


class ArgumentError(SupctlError, ValueError):
    """A value outside the setting's range; nothing was sent."""


class DeviceError(SupctlError, OSError):
    """The device could not be opened, set up or exchanged with."""

    def __init__(self, result: Result, message: str, error: int) -> None:
        OSError.__init__(self, error, f"{message}: {os.strerror(error)}")
        self.result = result


class _Device(ctypes.Structure):
    _fields_ = [
        ("fd", ctypes.c_int),
        ("spi_mode", ctypes.c_uint32),
        ("bits_per_word", ctypes.c_uint8),
        ("max_speed_hz", ctypes.c_uint32),
    ]


class _PowerStatus(ctypes.Structure):
    _fields_ = [
        ("line", ctypes.c_bool),
        ("charging", ctypes.c_bool),
        ("pg", ctypes.c_bool),
        ("motion", ctypes.c_bool),
        ("millivolts", ctypes.c_uint16),
        ("charge_percent", ctypes.c_uint8),
    ]


class _DeviceId(ctypes.Structure):
    _fields_ = [("bytes", ctypes.c_uint8 * 16)]


class _DeviceInfo(ctypes.Structure):
    _fields_ = [("text", ctypes.c_char * 65)]


class _NumberList(ctypes.Structure):
    _fields_ = [("count", ctypes.c_uint8), ("numbers", ctypes.c_uint8 * 10)]


class _Events(ctypes.Structure):
    _fields_ = [
        ("announced", ctypes.c_uint8),
        ("count", ctypes.c_uint8),
        ("codes", ctypes.c_uint8 * 17),
    ]


class _Rgb(ctypes.Structure):
    _fields_ = [("red", ctypes.c_uint8), ("green", ctypes.c_uint8), ("blue", ctypes.c_uint8)]


_Byte = ctypes.c_uint8
_Tenths = ctypes.c_uint16

# What each query fills in.
_QUERIES = {
    "supctl_get_power_status": _PowerStatus,
    "supctl_get_device_id": _DeviceId,
    "supctl_get_device_info": _DeviceInfo,
    "supctl_get_supervisor_mode": _Byte,
    "supctl_get_active_mcus": _NumberList,
    "supctl_get_active_usb_ports": _NumberList,
    "supctl_get_events": _Events,
    "supctl_get_rgb": _Rgb,
    "supctl_get_low_bat": _Byte,
    "supctl_get_critical_low_bat": _Byte,
    "supctl_get_accel_sensitivity": _Byte,
    "supctl_get_board_temperature": _Tenths,
}
# The settings that take a 32-bit value.
_SETTINGS = (
    "supctl_set_magic",
    "supctl_unlock_admin_mode",
    "supctl_set_low_bat",
    "supctl_set_critical_low_bat",
    "supctl_set_accel_sensitivity",
    "supctl_set_supervisor_mode",
    "supctl_enable_mcu",
    "supctl_disable_mcu",
    "supctl_erase_mcu",
    "supctl_power_off",
)

_libraries: Dict[str, ctypes.CDLL] = {}


def _load(path: Optional[str]) -> ctypes.CDLL:
    """The library at path, or as the environment or the loader finds it."""
    path = path or os.environ.get("SUPCTL_LIBRARY") or LIBRARY
    if path in _libraries:
        return _libraries[path]
    lib = ctypes.CDLL(path, use_errno=True)
    device = ctypes.POINTER(_Device)
    lib.supctl_open.argtypes = [device, ctypes.c_char_p]
    lib.supctl_close.argtypes = [device]
    lib.supctl_close.restype = None
    lib.supctl_result_text.argtypes = [ctypes.c_int]
    lib.supctl_result_text.restype = ctypes.c_char_p
    lib.supctl_event_name.argtypes = [ctypes.c_uint8]
    lib.supctl_event_name.restype = ctypes.c_char_p
    for name, reply in _QUERIES.items():
        getattr(lib, name).argtypes = [device, ctypes.POINTER(reply)]
    for name in _SETTINGS:
        getattr(lib, name).argtypes = [device, ctypes.c_uint32]
    lib.supctl_set_rgb.argtypes = [device, _Rgb]
    _libraries[path] = lib
    return lib


T = TypeVar("T")


class Supervisor:
    """One open spidev device with the supervisor behind it."""

    def __init__(self, device: str = DEFAULT_DEVICE, *, library: Optional[str] = None) -> None:
        self._lib = _load(library)
        self._device = _Device(fd=-1)
        self._check(self._lib.supctl_open(ctypes.byref(self._device), os.fsencode(device)))

    def close(self) -> None:
        self._lib.supctl_close(ctypes.byref(self._device))

    def __enter__(self) -> Supervisor:
        return self

    def __exit__(self, *exception: object) -> None:
        self.close()

    def _error(self, result: int) -> SupctlError:
        code = Result(result)
        message = self._lib.supctl_result_text(result).decode()
        if code == Result.ERROR_ARGUMENT:
            return ArgumentError(code, message)
        return DeviceError(code, message, ctypes.get_errno())

    def _check(self, result: int) -> None:
        if result != Result.OK:
            raise self._error(result)

    def _query(self, name: str, convert: Callable[[Any], T]) -> T:
        reply = _QUERIES[name]()
        result = getattr(self._lib, name)(ctypes.byref(self._device), ctypes.byref(reply))
        if result not in (Result.OK, Result.NOT_ANSWERED):
            raise self._error(result)
        value = convert(reply)
        if result == Result.NOT_ANSWERED:
            message = self._lib.supctl_result_text(result).decode()
            raise NotAnswered(Result.NOT_ANSWERED, message, value)
        return value

    def _set(self, name: str, value: int) -> None:
        if not 0 <= value <= 0xFFFFFFFF:
            raise ArgumentError(Result.ERROR_ARGUMENT, f"{value} is not a 32-bit value")
        self._check(getattr(self._lib, name)(ctypes.byref(self._device), value))

    def _event(self, code: int) -> Event:
        name = self._lib.supctl_event_name(code)
        return Event(code, name.decode("latin-1") if name is not None else None)

    # Queries.
    def power_status(self) -> PowerStatus:
        return self._query(
            "supctl_get_power_status",
            lambda s: PowerStatus(
                s.line, s.charging, s.pg, s.motion, s.millivolts, s.charge_percent
            ),
        )

    def device_id(self) -> bytes:
        return self._query("supctl_get_device_id", lambda r: bytes(r.bytes))

    def device_info(self) -> str:
        """The information text, its bytes read as Latin-1."""
        return self._query("supctl_get_device_info", lambda r: r.text.decode("latin-1"))

    def supervisor_mode(self) -> int:
        return self._query("supctl_get_supervisor_mode", lambda r: r.value)

    def active_mcus(self) -> list[int]:
        return self._query("supctl_get_active_mcus", lambda r: list(r.numbers[: r.count]))

    def active_usb_ports(self) -> list[int]:
        return self._query("supctl_get_active_usb_ports", lambda r: list(r.numbers[: r.count]))

    def events(self) -> Events:
        """Takes the events the supervisor has queued."""
        return self._query(
            "supctl_get_events",
            lambda r: Events(r.announced, tuple(self._event(c) for c in r.codes[: r.count])),
        )

    def rgb(self) -> Rgb:
        return self._query("supctl_get_rgb", lambda r: Rgb(r.red, r.green, r.blue))

    def low_bat(self) -> int:
        return self._query("supctl_get_low_bat", lambda r: r.value)

    def critical_low_bat(self) -> int:
        return self._query("supctl_get_critical_low_bat", lambda r: r.value)

    def accel_sensitivity(self) -> int:
        return self._query("supctl_get_accel_sensitivity", lambda r: r.value)

    def board_temperature(self) -> float:
        """Degrees Celsius, to a tenth."""
        return self._query("supctl_get_board_temperature", lambda r: r.value / 10)

    # Setting commands: supctl's ranges, checked by the library.
    def set_magic(self, magic: int) -> None:
        self._set("supctl_set_magic", magic)

    def unlock_admin_mode(self, code: int) -> None:
        self._set("supctl_unlock_admin_mode", code)

    def set_low_bat(self, percent: int) -> None:
        self._set("supctl_set_low_bat", percent)

    def set_critical_low_bat(self, percent: int) -> None:
        self._set("supctl_set_critical_low_bat", percent)

    def set_accel_sensitivity(self, value: int) -> None:
        self._set("supctl_set_accel_sensitivity", value)

    def set_supervisor_mode(self, mode: int) -> None:
        self._set("supctl_set_supervisor_mode", mode)

    def enable_mcu(self, mcu: int) -> None:
        self._set("supctl_enable_mcu", mcu)

    def disable_mcu(self, mcu: int) -> None:
        self._set("supctl_disable_mcu", mcu)

    def erase_mcu(self, mcu: int) -> None:
        self._set("supctl_erase_mcu", mcu)

    def set_rgb(self, colour: Rgb) -> None:
        if not all(0 <= c <= 255 for c in (colour.red, colour.green, colour.blue)):
            raise ArgumentError(Result.ERROR_ARGUMENT, f"{colour} is not a colour")
        native = _Rgb(colour.red, colour.green, colour.blue)
        self._check(self._lib.supctl_set_rgb(ctypes.byref(self._device), native))

    def power_off(self, value: int) -> None:
        self._set("supctl_power_off", value)
