"""The library and its flat interface: loaded once, every prototype declared here.

Nothing above this module touches ctypes' view of the library; it calls
``lib().iidc_*`` with the records and constants defined here and turns
failures into exceptions with :func:`check`.
"""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
import threading
from pathlib import Path

from .errors import LibraryNotFoundError, error_for

# Constants of include/iidc.h that the package uses.
ERR_NO_FRAMES = 0x80000103
ERR_NO_DEVICE = 0x80000207
ERR_INVALID_HANDLE = 0x80000807
ERR_INVALID_PARAMETER = 0x80000808
ERR_NOT_SUPPORTED = 0x80000F03
ERR_CAPTURING = 0x80000101
ERR_NOT_CAPTURING = 0x80000106
ERR_FAIL = 0x80004005

FORMAT_SCALABLE = 7
FORMATID_LISTED = 0xFF700000
WAIT_FRAME = 2

STRING_UNIQUEID, STRING_VENDOR, STRING_MODEL = 0x80, 0x81, 0x82

FEATURECAP_ONOFF, FEATURECAP_MANUAL, FEATURECAP_AUTO, FEATURECAP_ONEPUSH = 0x01, 0x02, 0x04, 0x08
FEATURECAP_PRESENT, FEATURECAP_ABSOLUTE, FEATURECAP_TRIGGER_MODE0 = 0x20, 0x80, 0x100
FEATURESTATE_OFF, FEATURESTATE_MANUAL, FEATURESTATE_AUTO, FEATURESTATE_ONEPUSH = 0x01, 0x02, 0x04, 0x08
FEATURESTATE_ABSOLUTE, FEATURESTATE_VALUE1, FEATURESTATE_VALUE2 = 0x80, 0x1000, 0x2000
FEATURESTATE_POLARITY_LOW, FEATURESTATE_POLARITY_HIGH = 0x10000, 0x20000


def format_id(fmt: int, mode: int, color: int = 0) -> int:
    return FORMATID_LISTED | (mode & 0xF) << 12 | (fmt & 0xF) << 8 | color & 0xFF


class FormatInfo(ctypes.Structure):
    _fields_ = [("capabilities", ctypes.c_uint32), ("color", ctypes.c_int32), ("width", ctypes.c_int32),
                ("height", ctypes.c_int32), ("marker", ctypes.c_uint8), ("mode", ctypes.c_uint8),
                ("format", ctypes.c_uint8), ("reserved", ctypes.c_uint8)]


class FrameRateInfo(ctypes.Structure):
    _fields_ = [("flags", ctypes.c_uint32), ("lowest", ctypes.c_float), ("highest", ctypes.c_float)]


class AreaInfo(ctypes.Structure):
    _fields_ = [(name, ctypes.c_int32) for name in
                ("maxwidth", "maxheight", "leftunit", "topunit", "widthunit", "heightunit")]


class Area(ctypes.Structure):
    _fields_ = [(name, ctypes.c_int32) for name in ("left", "top", "width", "height")]


class TransferInfo(ctypes.Structure):
    _fields_ = [("framecount", ctypes.c_int32), ("lastbuffer", ctypes.c_int32)]


class IsoInfo(ctypes.Structure):
    _fields_ = [("channel", ctypes.c_uint8), ("speed", ctypes.c_uint8), ("packetsize", ctypes.c_uint16)]


class FeatureInfo(ctypes.Structure):
    _fields_ = [("id", ctypes.c_uint32), ("reserved", ctypes.c_uint32), ("flags", ctypes.c_uint32),
                ("minimum", ctypes.c_float), ("maximum", ctypes.c_float)]


class Feature(ctypes.Structure):
    _fields_ = [("id", ctypes.c_uint32), ("flags", ctypes.c_uint32), ("value1", ctypes.c_float),
                ("value2", ctypes.c_float)]


class WaitInfo(ctypes.Structure):
    _fields_ = [("kind", ctypes.c_uint32), ("timeout", ctypes.c_uint32)]


_H = ctypes.c_void_p  # iidc_handle
_B = ctypes.c_ubyte  # iidc_bool
_I, _U, _F, _P = ctypes.c_int32, ctypes.c_uint32, ctypes.c_float, ctypes.POINTER
_WINDOW = ctypes.c_void_p if sys.platform == "win32" else ctypes.c_ulong

# name: (result, arguments, C calling convention); every other export is
# standard-call, which on 32-bit Windows carries the decorated name
# _name@bytes, four bytes per argument.
PROTOTYPES: dict[str, tuple[object, list[object], bool]] = {
    "iidc_init": (_B, [], False),
    "iidc_uninit": (None, [], False),
    "iidc_getcameracount": (_I, [], False),
    "iidc_getlasterror": (_U, [_I], False),
    "iidc_handletoindex": (_I, [_H], False),
    "iidc_getcapability": (_U, [_I, _U], False),
    "iidc_getbustype": (_U, [_I], True),
    "iidc_open": (_H, [_I], False),
    "iidc_close": (_B, [_H], False),
    "iidc1394_asyncreadquadlet": (_I, [_H, _U, _P(_U), _I], True),
    "iidc1394_asyncwritequadlet": (_I, [_H, _U, _P(_U), _I], True),
    "iidc_getformatcount": (_I, [_H], False),
    "iidc_getformatidlist": (_I, [_H, _P(_U), _I], False),
    "iidc_getformatinfo": (_I, [_H, _P(FormatInfo), _I, _U], False),
    "iidc_currentformat": (_U, [_H], False),
    "iidc_setformat": (_B, [_H, _U], False),
    "iidc_getframerateinfo": (_I, [_H, _P(FrameRateInfo), _I, _U], False),
    "iidc_currentframerate": (_F, [_H], False),
    "iidc_setframerate": (_F, [_H, _F], False),
    "iidc_getareainfo": (_I, [_H, _P(AreaInfo), _I, _U], False),
    "iidc_currentarea": (_I, [_H, _P(Area), _I], False),
    "iidc_setarea": (_I, [_H, _P(Area), _I], False),
    "iidc_currentdataframebytes": (_I, [_H], False),
    "iidc_gettransferinfo": (_I, [_H, _P(TransferInfo), _I], False),
    "iidc1394_currentisotransmissioninfo": (_I, [_H, _P(IsoInfo)], True),
    "iidc_currentfeatureinfo": (_I, [_H, _P(FeatureInfo), _U], False),
    "iidc_currentfeature": (_I, [_H, _P(Feature), _U], False),
    "iidc_setfeature": (_U, [_H, _P(Feature), _U], False),
    "iidc_getstring": (_I, [_I, _U, ctypes.c_char_p, _I], False),
    "iidc_allocframe": (_I, [_H, _I], False),
    "iidc_freeframe": (_B, [_H], False),
    "iidc_attachbuffer": (_I, [_H, _P(ctypes.c_void_p), _I], False),
    "iidc_releasebuffer": (_B, [_H], False),
    "iidc_getframecount": (_U, [_H], False),
    "iidc_preparecapture": (_B, [_H], False),
    "iidc_capture": (_B, [_H, _B], False),
    "iidc_idle": (_B, [_H], False),
    "iidc_clearcapture": (_B, [_H], False),
    "iidc_getstatus": (_I, [_H], False),
    "iidc_wait": (ctypes.c_void_p, [_H, _P(WaitInfo), _U], False),
    "iidc_waitabort": (_B, [_H, ctypes.c_void_p], False),
    "iidc_lockdata": (ctypes.c_void_p, [_H, _I], False),
    "iidc_unlockdata": (None, [_H], False),
    "iidc_getbits": (_U, [_H], True),  # variadic; only the handle is read
    "iidc_getbitslutrange": (_U, [_H, _U, _U], False),
    "iidc_setbitslutrange": (_U, [_H, _U, _U], False),
    "iidc_lockbits": (ctypes.c_void_p, [_H, _I], False),
    "iidc_unlockbits": (None, [_H], False),
    "iidc_setimagetowindow": (_B, [_H, _WINDOW, _I, _I, _I, _I], True),
}

_DECORATED = sys.platform == "win32" and ctypes.sizeof(ctypes.c_void_p) == 4


def export_name(name: str, decorated: bool = _DECORATED) -> str:
    """The name under which the library exports a function."""
    _, arguments, c_call = PROTOTYPES[name]
    return f"_{name}@{4 * len(arguments)}" if decorated and not c_call else name


class Library:
    """The loaded library: one attribute per export, with its prototype."""

    def __init__(self, path: str):
        self.path = path
        self._c = ctypes.CDLL(path)
        self._std = ctypes.WinDLL(path) if _DECORATED else self._c  # type: ignore[attr-defined]
        for name, (result, arguments, c_call) in PROTOTYPES.items():
            function = getattr(self._c if c_call else self._std, export_name(name))
            function.restype, function.argtypes = result, arguments
            setattr(self, name, function)


_FILE_NAMES = {"win32": ["iidc.dll"], "darwin": ["libiidc.0.dylib", "libiidc.dylib"]}


def _candidates() -> list[str]:
    """Where the library is looked for, after IIDC_LIBRARY: beside the
    package's modules (where an install puts it), then the system's search."""
    names = _FILE_NAMES.get(sys.platform, ["libiidc.so.0", "libiidc.so"])
    here = Path(__file__).resolve().parent
    found = ctypes.util.find_library("iidc")
    return [str(here / name) for name in names] + ([found] if found else []) + names


_lock = threading.Lock()
_library: Library | None = None


def lib() -> Library:
    """The library, loaded on first use."""
    global _library
    if _library is None:
        with _lock:
            if _library is None:
                _library = _load()
    return _library


def _load() -> Library:
    named = os.environ.get("IIDC_LIBRARY")
    tried = []
    for path in [named] if named else _candidates():
        try:
            return Library(path)
        except (OSError, AttributeError) as e:
            tried.append(f"  {path}: {e}")
    source = "IIDC_LIBRARY names it" if named else "set IIDC_LIBRARY to its path, or install it"
    raise LibraryNotFoundError("the iidc library cannot be loaded (" + source + "); tried:\n" + "\n".join(tried))


def last_error(index: int = -1) -> int:
    """The code in an error slot: a camera index, or -1 for the global slot."""
    return int(lib().iidc_getlasterror(index))


def check(result, what: str, code: int | None = None):
    """result when it is not the failure result (0, 0.0, null); else raises
    the error of code, or of the code the call recorded in the global slot."""
    if result:
        return result
    raise error_for(what, last_error() if code is None else code)


def start() -> int:
    """Starts the library (once) and returns the number of cameras."""
    library = lib()
    return int(library.iidc_getcameracount()) if library.iidc_init() else 0


__all__ = ["Library", "lib", "check", "start", "last_error", "export_name", "PROTOTYPES"]
