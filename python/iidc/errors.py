"""Exceptions: every failure of the package is an :class:`Error` that carries
the library's error code and its name."""

from __future__ import annotations

CODE_NAMES = {
    0x80000101: "IIDC_ERR_CAPTURING",
    0x80000102: "IIDC_ERR_WAIT_ABORTED",
    0x80000103: "IIDC_ERR_NO_FRAMES",
    0x80000104: "IIDC_ERR_NOT_PREPARED",
    0x80000105: "IIDC_ERR_ALREADY_PREPARED",
    0x80000106: "IIDC_ERR_NOT_CAPTURING",
    0x80000107: "IIDC_ERR_ALREADY_OPEN",
    0x80000111: "IIDC_ERR_NOT_INITIALIZED",
    0x80000203: "IIDC_ERR_NO_MEMORY",
    0x80000207: "IIDC_ERR_NO_DEVICE",
    0x80000807: "IIDC_ERR_INVALID_HANDLE",
    0x80000808: "IIDC_ERR_INVALID_PARAMETER",
    0x80000809: "IIDC_ERR_INVALID_FEATURE",
    0x8000080B: "IIDC_ERR_FORMAT_UNAVAILABLE",
    0x80000F03: "IIDC_ERR_NOT_SUPPORTED",
    0x80004005: "IIDC_ERR_FAIL",
}


class Error(Exception):
    """A failure of the camera library or of a request made to it.

    ``code`` is the library's 32-bit error code (``IIDC_ERR_*``), ``name`` its
    name; ``code`` is None only when the library itself could not be loaded.
    """

    def __init__(self, message: str, code: int | None):
        self.message = message
        self.code = code
        self.name = "none" if code is None else CODE_NAMES.get(code, f"0x{code:08X}")
        super().__init__(message if code is None else f"{message} ({self.name}, 0x{code:08X})")


class ArgumentError(Error, ValueError):
    """An argument the camera cannot take: a name, value, size or step outside
    what it offers."""


class NotSupportedError(Error):
    """The camera or its current format does not offer the operation."""


class FrameTimeoutError(Error, TimeoutError):
    """No frame arrived within the time allowed; the camera still answers."""


class DeviceLostError(Error):
    """The camera stopped delivering frames and no longer answers."""


class LibraryNotFoundError(Error, OSError):
    """The library (libiidc.so, iidc.dll) could not be loaded."""

    def __init__(self, message: str):
        super().__init__(message, None)


_CLASSES = {
    0x80000808: ArgumentError,
    0x80000809: ArgumentError,
    0x8000080B: NotSupportedError,
    0x80000F03: NotSupportedError,
}


def error_for(message: str, code: int) -> Error:
    """The exception of the class that suits code."""
    return _CLASSES.get(code, Error)(message, code)
