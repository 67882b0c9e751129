"""A camera's registers, and what the modules above ask of an open camera."""

from __future__ import annotations

import ctypes
from typing import Any, Protocol

from . import _native as N
from .constants import ErrorCode
from .errors import ArgumentError


def whole(value: Any, what: str, low: int, high: int) -> int:
    """value, when it is a whole number from low to high."""
    if isinstance(value, bool) or not isinstance(value, int) or not low <= value <= high:
        raise ArgumentError(f"{what} must be a whole number from {low} to {high}, not {value!r}",
                            ErrorCode.INVALID_PARAMETER)
    return value


class Device(Protocol):
    """An open camera, as features and streams use it."""

    index: int

    def handle(self) -> int:
        """The library's handle; raises when the camera is closed."""

    @property
    def registers(self) -> Registers:
        """The camera's registers."""


class Registers:
    """A camera's 32-bit registers: ``registers[0x100]`` reads one, and
    ``registers[0x800] = value`` writes one; offsets from the IIDC
    command-register base, each a multiple of 4."""

    def __init__(self, device: Device):
        self._device = device

    @staticmethod
    def _offset(offset: int) -> int:
        if whole(offset, "a register offset", 0, 0xFFFFFFFF) % 4:
            raise ArgumentError(f"register offset {offset:#x} is not a multiple of 4", ErrorCode.INVALID_PARAMETER)
        return offset

    def __getitem__(self, offset: int) -> int:
        h, value = self._device.handle(), ctypes.c_uint32()
        N.check(N.lib().iidc1394_asyncreadquadlet(h, self._offset(offset), ctypes.byref(value), 4),
                f"camera {self._device.index} refused to read register {offset:#x}", ErrorCode.FAIL)
        return value.value

    def __setitem__(self, offset: int, value: int) -> None:
        h, quadlet = self._device.handle(), ctypes.c_uint32(whole(value, "a register value", 0, 0xFFFFFFFF))
        N.check(N.lib().iidc1394_asyncwritequadlet(h, self._offset(offset), ctypes.byref(quadlet), 4),
                f"camera {self._device.index} refused to write register {offset:#x}", ErrorCode.FAIL)
