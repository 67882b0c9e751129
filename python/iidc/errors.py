"""Exceptions: every failure of the package is an :class:`Error` that carries
the library's error code and its name."""

from __future__ import annotations

from .constants import ErrorCode


class Error(Exception):
    """A failure of the camera library or of a request made to it.

    ``code`` is the library's 32-bit error code (an :class:`ErrorCode` where the
    interface defines it), ``name`` its name (``IIDC_ERR_...``); ``code`` is
    None only when the library itself could not be loaded.
    """

    def __init__(self, message: str, code: int | None):
        self.message = message
        self.code: int | None = code
        if code is None:
            self.name = "none"
        elif code in ErrorCode.__members__.values():
            self.code = ErrorCode(code)
            self.name = f"IIDC_ERR_{self.code.name}"
        else:
            self.name = f"0x{code:08X}"
        super().__init__(message if code is None else f"{message} ({self.name}, 0x{code:08X})")

    def __str__(self) -> str:
        return str(self.args[0])


class ArgumentError(Error, ValueError):
    """An argument the camera cannot take: a name, value, size or step outside
    what it offers."""


class NotSupportedError(Error):
    """The camera or its current format does not offer the operation."""


class FeatureNotFoundError(Error, KeyError):
    """The camera has no feature of that name (``IIDC_ERR_NOT_SUPPORTED``), or
    the name is no feature's (``IIDC_ERR_INVALID_FEATURE``)."""


class FrameTimeoutError(Error, TimeoutError):
    """No frame arrived within the time allowed; the camera still answers."""


class FrameOverwrittenError(Error):
    """The ring buffer a frame views may hold a later frame by now."""


class DeviceLostError(Error):
    """The camera stopped delivering frames and no longer answers."""


class LibraryNotFoundError(Error, OSError):
    """The library (libiidc.so, iidc.dll) could not be loaded."""

    def __init__(self, message: str):
        super().__init__(message, None)


_CLASSES: dict[int, type[Error]] = {
    ErrorCode.INVALID_PARAMETER: ArgumentError,
    ErrorCode.INVALID_FEATURE: ArgumentError,
    ErrorCode.FORMAT_UNAVAILABLE: NotSupportedError,
    ErrorCode.NOT_SUPPORTED: NotSupportedError,
}


def error_for(message: str, code: int) -> Error:
    """The exception of the class that suits code."""
    return _CLASSES.get(code, Error)(message, code)
