"""The library and its flat interface: loaded once, every export declared here
with its C prototype and the Python types it takes and gives.

Nothing above this module touches ctypes' view of the library; it calls
``lib().iidc_*`` with the records defined here (named after their C records)
and turns failures into exceptions with :func:`check`.
"""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
import threading
from pathlib import Path
from typing import Any, Callable, Optional, TypeVar

from .errors import LibraryNotFoundError, error_for


class iidc_formatinfo(ctypes.Structure):
    _fields_ = [("capabilities", ctypes.c_uint32), ("color", ctypes.c_int32), ("width", ctypes.c_int32),
                ("height", ctypes.c_int32), ("marker", ctypes.c_uint8), ("mode", ctypes.c_uint8),
                ("format", ctypes.c_uint8), ("reserved", ctypes.c_uint8)]


class iidc_framerateinfo(ctypes.Structure):
    _fields_ = [("flags", ctypes.c_uint32), ("lowest", ctypes.c_float), ("highest", ctypes.c_float)]


class iidc_areainfo(ctypes.Structure):
    _fields_ = [(name, ctypes.c_int32) for name in
                ("maxwidth", "maxheight", "leftunit", "topunit", "widthunit", "heightunit")]


class iidc_area(ctypes.Structure):
    _fields_ = [(name, ctypes.c_int32) for name in ("left", "top", "width", "height")]


class iidc_transferinfo(ctypes.Structure):
    _fields_ = [("framecount", ctypes.c_int32), ("lastbuffer", ctypes.c_int32)]


class iidc1394_isotransmissioninfo(ctypes.Structure):
    _fields_ = [("channel", ctypes.c_uint8), ("speed", ctypes.c_uint8), ("packetsize", ctypes.c_uint16)]


class iidc_featureinfo(ctypes.Structure):
    _fields_ = [("id", ctypes.c_uint32), ("reserved", ctypes.c_uint32), ("flags", ctypes.c_uint32),
                ("minimum", ctypes.c_float), ("maximum", ctypes.c_float)]


class iidc_feature(ctypes.Structure):
    _fields_ = [("id", ctypes.c_uint32), ("flags", ctypes.c_uint32), ("value1", ctypes.c_float),
                ("value2", ctypes.c_float)]


class iidc_waitinfo(ctypes.Structure):
    _fields_ = [("kind", ctypes.c_uint32), ("timeout", ctypes.c_uint32)]


class _Export:
    """One export: its C result and argument types and its calling
    convention. Every export without ``c_call`` is standard-call, which on
    32-bit Windows carries the decorated name _name@bytes, four bytes per
    argument."""

    def __init__(self, result: Any, arguments: list[Any], c_call: bool):
        self.result, self.arguments, self.c_call = result, arguments, c_call


def _export(result: Any, *arguments: Any, c_call: bool = False) -> Any:
    return _Export(result, list(arguments), c_call)


_H = ctypes.c_void_p  # iidc_handle
_B = ctypes.c_ubyte  # iidc_bool
_I, _U, _F, _P, _V = ctypes.c_int32, ctypes.c_uint32, ctypes.c_float, ctypes.POINTER, ctypes.c_void_p
_WINDOW = ctypes.c_void_p if sys.platform == "win32" else ctypes.c_ulong

# Python's side of the prototypes: a handle or event is an int (None when
# null), a record or array is passed by ctypes.byref or as a ctypes array.
Handle = Optional[int]
Ref = Any


class Library:
    """The loaded library: one attribute per export, with its prototype."""

    iidc_init: Callable[[], int] = _export(_B)
    iidc_uninit: Callable[[], None] = _export(None)
    iidc_getcameracount: Callable[[], int] = _export(_I)
    iidc_getlasterror: Callable[[int], int] = _export(_U, _I)
    iidc_handletoindex: Callable[[Handle], int] = _export(_I, _H)
    iidc_getcapability: Callable[[int, int], int] = _export(_U, _I, _U)
    iidc_getbustype: Callable[[int], int] = _export(_U, _I, c_call=True)
    iidc_open: Callable[[int], Handle] = _export(_H, _I)
    iidc_close: Callable[[Handle], int] = _export(_B, _H)
    iidc1394_asyncreadquadlet: Callable[[Handle, int, Ref, int], int] = _export(_I, _H, _U, _P(_U), _I, c_call=True)
    iidc1394_asyncwritequadlet: Callable[[Handle, int, Ref, int], int] = _export(_I, _H, _U, _P(_U), _I,
                                                                                 c_call=True)
    iidc_getformatcount: Callable[[Handle], int] = _export(_I, _H)
    iidc_getformatidlist: Callable[[Handle, Ref, int], int] = _export(_I, _H, _P(_U), _I)
    iidc_getformatinfo: Callable[[Handle, Ref, int, int], int] = _export(_I, _H, _P(iidc_formatinfo), _I, _U)
    iidc_currentformat: Callable[[Handle], int] = _export(_U, _H)
    iidc_setformat: Callable[[Handle, int], int] = _export(_B, _H, _U)
    iidc_getframerateinfo: Callable[[Handle, Ref, int, int], int] = _export(_I, _H, _P(iidc_framerateinfo), _I, _U)
    iidc_currentframerate: Callable[[Handle], float] = _export(_F, _H)
    iidc_setframerate: Callable[[Handle, float], float] = _export(_F, _H, _F)
    iidc_getareainfo: Callable[[Handle, Ref, int, int], int] = _export(_I, _H, _P(iidc_areainfo), _I, _U)
    iidc_currentarea: Callable[[Handle, Ref, int], int] = _export(_I, _H, _P(iidc_area), _I)
    iidc_setarea: Callable[[Handle, Ref, int], int] = _export(_I, _H, _P(iidc_area), _I)
    iidc_currentdataframebytes: Callable[[Handle], int] = _export(_I, _H)
    iidc_gettransferinfo: Callable[[Handle, Ref, int], int] = _export(_I, _H, _P(iidc_transferinfo), _I)
    iidc1394_currentisotransmissioninfo: Callable[[Handle, Ref], int] = _export(
        _I, _H, _P(iidc1394_isotransmissioninfo), c_call=True)
    iidc_currentfeatureinfo: Callable[[Handle, Ref, int], int] = _export(_I, _H, _P(iidc_featureinfo), _U)
    iidc_currentfeature: Callable[[Handle, Ref, int], int] = _export(_I, _H, _P(iidc_feature), _U)
    iidc_setfeature: Callable[[Handle, Ref, int], int] = _export(_U, _H, _P(iidc_feature), _U)
    iidc_getstring: Callable[[int, int, Ref, int], int] = _export(_I, _I, _U, ctypes.c_char_p, _I)
    iidc_allocframe: Callable[[Handle, int], int] = _export(_I, _H, _I)
    iidc_freeframe: Callable[[Handle], int] = _export(_B, _H)
    iidc_attachbuffer: Callable[[Handle, Ref, int], int] = _export(_I, _H, _P(_V), _I)
    iidc_releasebuffer: Callable[[Handle], int] = _export(_B, _H)
    iidc_getframecount: Callable[[Handle], int] = _export(_U, _H)
    iidc_preparecapture: Callable[[Handle], int] = _export(_B, _H)
    iidc_capture: Callable[[Handle, int], int] = _export(_B, _H, _B)
    iidc_idle: Callable[[Handle], int] = _export(_B, _H)
    iidc_clearcapture: Callable[[Handle], int] = _export(_B, _H)
    iidc_getstatus: Callable[[Handle], int] = _export(_I, _H)
    iidc_wait: Callable[[Handle, Ref, int], Handle] = _export(_V, _H, _P(iidc_waitinfo), _U)
    iidc_waitabort: Callable[[Handle, Handle], int] = _export(_B, _H, _V)
    iidc_lockdata: Callable[[Handle, int], Handle] = _export(_V, _H, _I)
    iidc_unlockdata: Callable[[Handle], None] = _export(None, _H)
    iidc_getbits: Callable[[Handle], int] = _export(_U, _H, c_call=True)  # variadic; only the handle is read
    iidc_getbitslutrange: Callable[[Handle, int, int], int] = _export(_U, _H, _U, _U)
    iidc_setbitslutrange: Callable[[Handle, int, int], int] = _export(_U, _H, _U, _U)
    iidc_lockbits: Callable[[Handle, int], Handle] = _export(_V, _H, _I)
    iidc_unlockbits: Callable[[Handle], None] = _export(None, _H)
    iidc_setimagetowindow: Callable[[Handle, int, int, int, int, int], int] = _export(
        _B, _H, _WINDOW, _I, _I, _I, _I, c_call=True)

    def __init__(self, path: str):
        self.path = path
        c = ctypes.CDLL(path)
        std = getattr(ctypes, "WinDLL")(path) if _DECORATED else c  # WinDLL exists on Windows only
        for name, export in PROTOTYPES.items():
            function = getattr(c if export.c_call else std, export_name(name))
            function.restype, function.argtypes = export.result, export.arguments
            setattr(self, name, function)


PROTOTYPES: dict[str, _Export] = {name: value for name, value in vars(Library).items()
                                  if isinstance(value, _Export)}
_DECORATED = sys.platform == "win32" and ctypes.sizeof(ctypes.c_void_p) == 4


def export_name(name: str, decorated: bool = _DECORATED) -> str:
    """The name under which the library exports a function."""
    export = PROTOTYPES[name]
    return f"_{name}@{4 * len(export.arguments)}" if decorated and not export.c_call else name


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


#: The register reader ibayer_filter calls: (context, offset, value out) -> nonzero when read.
READ_FUNCTION = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.c_void_p, ctypes.c_uint32, ctypes.POINTER(ctypes.c_uint32))
_S = ctypes.c_size_t


class BayerLibrary:
    """The Bayer helper library (libiidc_bayer): the colour filter decision
    the tool and the GStreamer source make, and their demosaicing, by
    number (filters 0-3 RGGB GBRG GRBG BGGR, methods 0-2 nearest bilinear hq,
    orders 0-1 BGR RGB)."""

    ibayer_filter: Callable[[Any, Any, int, int, int, int, int, Ref], int]
    ibayer_demosaic8: Callable[[int, int, int, int, int, int, int, int, int, int, int], int]
    ibayer_demosaic16: Callable[[int, int, int, int, int, int, int, int, int, int, int, int], int]
    _PROTOTYPES = {"ibayer_filter": (_I, [READ_FUNCTION, _V, _U, _I, _I, _U, _U, _P(_I)]),
                   "ibayer_demosaic8": (_I, [_V, _S, _S, _V, _S, _S, _I, _I, _I, _I, _I]),
                   "ibayer_demosaic16": (_I, [_V, _S, _S, _I, _V, _S, _S, _I, _I, _I, _I, _I])}

    def __init__(self, path: str):
        self.path = path
        c = ctypes.CDLL(path)
        for name, (result, arguments) in self._PROTOTYPES.items():
            function = getattr(c, name)
            function.restype, function.argtypes = result, arguments
            setattr(self, name, function)


_BAYER_NAME = "libiidc_bayer.so.0"
_bayer: BayerLibrary | None = None


def bayer() -> BayerLibrary:
    """The Bayer helper library, loaded on first use: from IIDC_BAYER_LIBRARY,
    else beside the package's modules (where an install puts it), beside the
    camera library, or through the system's search."""
    global _bayer
    if _bayer is None:
        named = os.environ.get("IIDC_BAYER_LIBRARY")
        here = Path(__file__).resolve().parent
        candidates = [named] if named else [str(here / _BAYER_NAME),
                                            str(Path(lib().path).resolve().parent / _BAYER_NAME), _BAYER_NAME]
        with _lock:
            if _bayer is None:
                tried = []
                for path in candidates:
                    try:
                        _bayer = BayerLibrary(path)
                        break
                    except (OSError, AttributeError) as e:
                        tried.append(f"  {path}: {e}")
                else:
                    raise LibraryNotFoundError("the Bayer helper library cannot be loaded (set IIDC_BAYER_LIBRARY "
                                               "to its path, or install it); tried:\n" + "\n".join(tried))
    return _bayer


def last_error(index: int = -1) -> int:
    """The code in an error slot: a camera index, or -1 for the global slot."""
    return int(lib().iidc_getlasterror(index))


_T = TypeVar("_T")


def check(result: _T | None, what: str, code: int | None = None) -> _T:
    """result when it is not the failure result (0, 0.0, null); else raises
    the error of code, or of the code the call recorded in the global slot."""
    if result:
        return result
    raise error_for(what, last_error() if code is None else code)


def start() -> int:
    """Starts the library (once) and returns the number of cameras."""
    library = lib()
    return int(library.iidc_getcameracount()) if library.iidc_init() else 0
