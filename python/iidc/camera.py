"""Cameras: the list of cameras, opening one, its formats, frame rate, Format 7
image area, registers and identity."""

from __future__ import annotations

import atexit
import ctypes
import weakref
from dataclasses import dataclass, field
from typing import Any, NamedTuple, Union

from . import _native as N
from .bayer import image_filter
from .constants import (CUR_V_FORMAT, CUR_V_MODE, F7_COLOR_CODING_ID, F7_COLOR_CODING_INQ, FORMAT_SCALABLE,
                        V_CSR_INQ_7, V_FORMAT_INQ, V_MODE_INQ_7, V_RATE_INQ, Coding, ErrorCode, StringId, csr_offset,
                        format_id)
from .errors import ArgumentError, Error, NotSupportedError, error_for
from .features import Features, Trigger
from .registers import Registers, whole
from .stream import Array, Picture, Stream, grab

#: Colour codings by their IIDC number, named as the iidc tool names them
#: (7 and 8 are not named; Raw8 and Raw16 are Bayer mosaics of Format 7).
CODINGS = ("Mono8", "YUV411", "YUV422", "YUV444", "RGB8", "Mono16", "RGB16", "", "", "Raw8", "Raw16")
#: Frame rates of the frame-rate codes 0 to 4, the ones the library uses.
RATES = (1.875, 3.75, 7.5, 15.0, 30.0)


def coding_name(color: int) -> str:
    return CODINGS[color] if 0 <= color < len(CODINGS) and CODINGS[color] else f"coding {color}"


@dataclass(frozen=True)
class CameraInfo:
    """A camera the library found: its index and its identity."""

    index: int
    vendor: str
    model: str
    unique_id: str  #: 10 lower-case hexadecimal digits


@dataclass(frozen=True)
class Format:
    """A video format: IIDC format and mode, colour coding and picture size.

    ``rates`` are the frame rates the camera offers in it (Formats 0-2; a
    Format 7 mode has none, its picture is ``Camera.area``, within ``width``
    and ``height``). Records compare by format, mode and coding; ``id`` is the
    library's format id.
    """

    id: int = field(compare=False, repr=False)
    format: int
    mode: int
    coding: str
    width: int
    height: int
    rates: tuple[float, ...] = field(default=(), compare=False)

    @property
    def scalable(self) -> bool:
        """Whether this is a Format 7 (scalable image) mode."""
        return self.format == FORMAT_SCALABLE


#: What ``Camera.format`` takes: a record of ``Camera.formats``, a
#: ``(format, mode)`` pair or a ``(format, mode, coding)`` triple.
FormatChoice = Union[Format, tuple[int, int], tuple[int, int, str]]


class Area(NamedTuple):
    """A rectangle of the sensor in pixels (Format 7)."""

    left: int
    top: int
    width: int
    height: int


class AreaLimits(NamedTuple):
    """Largest picture and the steps of position and size of a Format 7 mode."""

    max_width: int
    max_height: int
    left_step: int
    top_step: int
    width_step: int
    height_step: int


def _items(value: Any, counts: tuple[int, ...], what: str) -> tuple[Any, ...]:
    try:
        items = tuple(value)
    except TypeError:
        items = ()
    if len(items) not in counts:
        raise ArgumentError(f"{what}, not {value!r}", ErrorCode.INVALID_PARAMETER)
    return items


def _string(index: int, which: StringId) -> str:
    library = N.lib()
    before = N.last_error()
    size = library.iidc_getstring(index, which, None, 0)
    if size <= 0:
        # 0 is also the length of an empty name, which records nothing.
        if N.last_error() != before:
            raise error_for(f"reading the identity of camera {index}", N.last_error())
        return ""
    text = ctypes.create_string_buffer(size)
    N.check(library.iidc_getstring(index, which, text, size), f"reading the identity of camera {index}")
    return text.raw[:size].rstrip(b"\0").decode("latin-1")  # the ROM pads names to whole quadlets


def _info(index: int) -> CameraInfo:
    return CameraInfo(index, _string(index, StringId.VENDOR), _string(index, StringId.MODEL),
                      _string(index, StringId.UNIQUEID))


def cameras() -> list[CameraInfo]:
    """Every camera the library finds, without opening any."""
    return [_info(index) for index in range(_start())]


_started = False
_open: weakref.WeakSet[Camera] = weakref.WeakSet()


def _start() -> int:
    global _started
    count = N.start()
    if count and not _started:
        _started = True
        atexit.register(_stop)
    return count


def _stop() -> None:
    """At exit: stops every camera, so that no frame lands in a buffer Python
    frees, and ends the library."""
    for camera in list(_open):
        try:
            camera.close()
        except Error:
            pass
    N.lib().iidc_uninit()


def _shutdown(handle: int, keep: dict[int, Any]) -> bool:
    """Stops whatever a camera still does and closes it; the frame buffers in
    keep stay alive until capture has stopped."""
    library = N.lib()
    for step in (library.iidc_idle, library.iidc_releasebuffer, library.iidc_clearcapture):
        step(handle)
    keep.clear()
    return bool(library.iidc_close(handle))


class Camera:
    """An open camera, by index or by unique id; a context manager that closes
    it on exit, also when the body raises.

    >>> with iidc.Camera(0) as cam:
    ...     cam.features["gain"].value = 200
    ...     image = cam.snap()

    Use a camera from one thread at a time. A camera that is not closed is
    closed when it is collected or when Python exits.
    """

    def __init__(self, camera: int | str = 0):
        count = _start()
        index = self._find(camera) if isinstance(camera, str) else whole(camera, "a camera index", 0, 2**31 - 1)
        if index >= count:
            raise Error(f"there is no camera {index}: the library found {count}", ErrorCode.NO_DEVICE)
        self.index = index
        h = N.check(N.lib().iidc_open(index), f"opening camera {index}")
        self._h: int | None = h
        self._stream: Stream | None = None
        # Frame buffers the library may write into, kept alive until it stops.
        self._keep: dict[int, Any] = {}
        # Whether the library has asked the driver to flip rows, which it does
        # when it puts a Mono8 mode in force (see frame rows in stream.py).
        self._flipped = False
        self._finalizer = weakref.finalize(self, _shutdown, h, self._keep)
        _open.add(self)

    @staticmethod
    def _find(unique_id: str) -> int:
        for info in cameras():
            if info.unique_id == unique_id.lower():
                return info.index
        raise Error(f"there is no camera with unique id {unique_id}", ErrorCode.NO_DEVICE)

    def close(self) -> None:
        """Stops any stream and closes the camera; closing twice does nothing."""
        if self._h is None:
            return
        try:
            if self._stream is not None:
                self._stream.close()
        finally:
            self._h = None
            if not self._finalizer():
                raise Error(f"closing camera {self.index}", ErrorCode.INVALID_HANDLE)

    def __enter__(self) -> Camera:
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __repr__(self) -> str:
        return f"<iidc.Camera {self.index}{'' if self._h else ' closed'}>"

    def handle(self) -> int:
        """The library's handle of the camera, for calls of its own."""
        if self._h is None:
            raise Error(f"camera {self.index} is closed", ErrorCode.INVALID_HANDLE)
        return self._h

    def _idle(self, what: str) -> int:
        """The handle, for a change that needs the camera not to stream."""
        if self._stream is not None and not self._stream.closed:
            raise Error(f"{what} while camera {self.index} streams: close the stream first", ErrorCode.CAPTURING)
        return self.handle()

    # ---- identity and registers ------------------------------------------

    @property
    def identity(self) -> CameraInfo:
        """Vendor, model and unique id, read from the camera."""
        self.handle()
        return _info(self.index)

    @property
    def registers(self) -> Registers:
        """The camera's 32-bit registers: ``cam.registers[0x100]``, and
        ``cam.registers[0x800] = value``; offsets from the IIDC
        command-register base."""
        return Registers(self)

    @property
    def features(self) -> Features:
        """The camera's features by name: ``cam.features["gain"]``."""
        return Features(self)

    @property
    def trigger(self) -> Trigger:
        """The trigger: modes, polarity, parameter, on and off."""
        return Trigger(self)

    # ---- formats, rates and area -----------------------------------------

    @property
    def formats(self) -> list[Format]:
        """The formats the camera offers: its standard modes, then one record
        per Format 7 mode and colour coding (the library lists codings 0-6;
        a mode's Bayer codings, Raw8 and Raw16, come from its inquiry
        register)."""
        h = self.handle()
        library = N.lib()
        count = N.check(library.iidc_getformatcount(h), "counting the formats")
        ids = (ctypes.c_uint32 * count)()
        size = N.check(library.iidc_getformatidlist(h, ids, ctypes.sizeof(ids)), "listing the formats")
        listed = [self._describe(ids[i]) for i in range(size // 4)]
        registers = self.registers
        modes = registers[V_MODE_INQ_7] if registers[V_FORMAT_INQ] & 0x80000000 >> FORMAT_SCALABLE else 0
        for mode in (m for m in range(8) if modes & 0x80000000 >> m):
            codings = registers[(csr_offset(registers[V_CSR_INQ_7(mode)]) + F7_COLOR_CODING_INQ) & 0xFFFFFFFF]
            listed += [self._describe(format_id(FORMAT_SCALABLE, mode, color)) for color in (9, 10)
                       if codings & 0x80000000 >> color]
        return listed

    def _formatinfo(self, fid: int) -> N.iidc_formatinfo:
        info = N.iidc_formatinfo()
        N.check(N.lib().iidc_getformatinfo(self.handle(), ctypes.byref(info), ctypes.sizeof(info), fid),
                f"describing format {fid:#010x}")
        return info

    def _describe(self, fid: int) -> Format:
        info = self._formatinfo(fid)
        if info.format == FORMAT_SCALABLE:
            # Each coding of a mode is listed under its own id.
            return Format(fid, info.format, info.mode, coding_name(fid & 0xFF), info.width, info.height)
        inquiry = self.registers[V_RATE_INQ(info.format, info.mode)]
        rates = tuple(rate for code, rate in enumerate(RATES) if inquiry & 0x80000000 >> code)
        return Format(fid, info.format, info.mode, coding_name(info.color), info.width, info.height, rates)

    @property
    def format(self) -> Format:
        """The format in force. Set it with a record of ``formats``, a
        ``(format, mode)`` pair or a ``(format, mode, coding)`` triple: the
        library puts Formats 0-2 in force (at their fastest rate); a Format 7
        mode and coding are selected in the camera's registers, and the mode
        keeps the image area the camera holds for it."""
        return self._describe(N.check(N.lib().iidc_currentformat(self.handle()), "reading the current format"))

    @format.setter
    def format(self, value: FormatChoice) -> None:
        fmt, mode, *coding = (value.format, value.mode, value.coding) if isinstance(value, Format) else _items(
            value, (2, 3), "a format is a Format record, a (format, mode) pair or a (format, mode, coding) triple")
        whole(fmt, "a format number", 0, 7)
        whole(mode, "a mode number", 0, 7)
        self._idle("changing the format")
        listed = bool(coding) or fmt == FORMAT_SCALABLE  # what the camera offers of the mode matters
        offered = [f for f in self.formats if (f.format, f.mode) == (fmt, mode)] if listed else []
        if coding and coding[0] not in [f.coding for f in offered]:
            raise ArgumentError(f"format {fmt}:{mode} of camera {self.index} comes in "
                                f"{', '.join(f.coding for f in offered) or 'no coding'}, not {coding[0]!r}",
                                ErrorCode.INVALID_PARAMETER)
        if fmt == FORMAT_SCALABLE:
            if not offered:
                raise NotSupportedError(f"camera {self.index} has no format 7:{mode}", ErrorCode.FORMAT_UNAVAILABLE)
            self._select_format7(mode, CODINGS.index(coding[0]) if coding else self._formatinfo(
                format_id(fmt, mode)).color)
            return
        N.check(N.lib().iidc_setformat(self.handle(), format_id(fmt, mode)), f"setting format {fmt}:{mode}")
        self._flipped = self._describe(format_id(fmt, mode)).coding == "Mono8"

    def _select_format7(self, mode: int, color: int) -> None:
        """Selects a Format 7 mode and coding as IIDC defines it, in the
        camera's registers, then hands the mode's image area to the driver,
        which makes the library take the new frames."""
        registers = self.registers
        registers[CUR_V_FORMAT] = FORMAT_SCALABLE << 29
        registers[CUR_V_MODE] = mode << 29
        block = csr_offset(registers[V_CSR_INQ_7(mode)])
        registers[(block + F7_COLOR_CODING_ID) & 0xFFFFFFFF] = color << 24
        current = N.check(N.lib().iidc_currentformat(self.handle()), "reading the current format")
        if current & 0xFFFF != format_id(FORMAT_SCALABLE, mode, color) & 0xFFFF:
            raise NotSupportedError(f"camera {self.index} did not take format 7:{mode} in {coding_name(color)}",
                                    ErrorCode.FORMAT_UNAVAILABLE)
        self.area = self.area

    @property
    def rate(self) -> float:
        """The frame rate in force, frames per second, as the IIDC rate the
        driver's frame interval stands for; set it to one of the rates of the
        current format."""
        fps = N.check(N.lib().iidc_currentframerate(self.handle()), "reading the frame rate")
        nearest = min(RATES, key=lambda rate: abs(rate - fps))
        return nearest if abs(nearest - fps) < nearest / 100 else fps

    @rate.setter
    def rate(self, fps: float) -> None:
        h = self._idle("changing the frame rate")
        current = self.format
        if current.scalable:
            raise NotSupportedError("a Format 7 mode has no frame-rate setting: its speed follows the packet size",
                                    ErrorCode.NOT_SUPPORTED)
        if fps not in current.rates:
            raise ArgumentError(f"{fps!r} frames per second: format {current.format}:{current.mode} offers "
                                f"{', '.join(f'{r:g}' for r in current.rates)}", ErrorCode.INVALID_PARAMETER)
        N.check(N.lib().iidc_setframerate(h, fps), f"setting {fps:g} frames per second")

    def _format7(self) -> Format:
        current = self.format
        if not current.scalable:
            raise NotSupportedError(f"camera {self.index} is in format {current.format}:{current.mode}, which has a "
                                    "fixed picture; an image area needs a Format 7 mode", ErrorCode.NOT_SUPPORTED)
        return current

    @property
    def area(self) -> Area:
        """The image area in force (Format 7). Set it to an :class:`Area` or a
        ``(left, top, width, height)`` tuple within :attr:`area_limits`."""
        self._format7()
        area = N.iidc_area()
        N.check(N.lib().iidc_currentarea(self.handle(), ctypes.byref(area), ctypes.sizeof(area)),
                "reading the image area")
        return Area(area.left, area.top, area.width, area.height)

    @area.setter
    def area(self, value: Area | tuple[int, int, int, int]) -> None:
        left, top, width, height = (whole(v, "an area's edges and sizes", 0, 0xFFFF)
                                    for v in _items(value, (4,), "an area is (left, top, width, height)"))
        h = self._idle("changing the image area")
        limits = self.area_limits
        if not N.lib().iidc_setarea(h, ctypes.byref(N.iidc_area(left, top, width, height)), 16):
            raise error_for(f"area {width}x{height}+{left}+{top}: the camera takes areas within "
                            f"{limits.max_width}x{limits.max_height}, sizes in steps of "
                            f"{limits.width_step}x{limits.height_step}, positions in steps of "
                            f"{limits.left_step}x{limits.top_step}", N.last_error())

    @property
    def area_limits(self) -> AreaLimits:
        """The largest picture and the steps of the current Format 7 mode."""
        info = N.iidc_areainfo()
        N.check(N.lib().iidc_getareainfo(self.handle(), ctypes.byref(info), ctypes.sizeof(info),
                                         self._format7().id), "reading the area limits")
        # A camera without position steps positions in size steps.
        return AreaLimits(info.maxwidth, info.maxheight, info.leftunit or info.widthunit,
                          info.topunit or info.heightunit, info.widthunit, info.heightunit)

    def _picture(self, bayer_filter: str | None = None) -> Picture:
        """The frames the camera delivers now, seen through bayer_filter (the
        sensor's) or the filter the camera tells."""
        current = self.format
        left, top, width, height = (self.area if current.scalable else (0, 0, current.width, current.height))
        # Raw8 travels as Mono8 does.
        picture = Picture(current.coding, width, height, (current.coding in ("Mono8", "Raw8")) != self._flipped)
        picture.filter = image_filter(self, current.id, CODINGS.index(current.coding), left, top, bayer_filter)
        return picture

    # ---- capture ---------------------------------------------------------

    def stream(self, buffers: int = 4, timeout: float | None = 5.0, copy: bool = False,
               bayer_filter: str | None = None) -> Stream:
        """Starts continuous capture into a ring of ``buffers`` frame buffers
        (at least 3); frames are views of the ring, or with ``copy`` arrays of
        their own. ``timeout`` bounds each wait for a frame, in seconds
        (None: no bound). ``bayer_filter`` ("RGGB", "GBRG", "GRBG" or
        "BGGR") names the sensor's colour filter at its top-left pixel over
        what the camera tells (see :attr:`Stream.filter`)."""
        self._idle("starting a stream")
        self._stream = Stream(self, self._picture(bayer_filter), buffers, timeout, copy, self._keep)
        return self._stream

    def snap(self, bgr: bool = False) -> Array:
        """One frame by single-frame capture, as an array of its own; with
        ``bgr`` as a 24-bit colour image (height x width x 3, blue, green,
        red) like ``Frame.to_bgr``."""
        return self.grab(1, bgr)[0]

    def grab(self, count: int, bgr: bool = False) -> list[Array]:
        """``count`` frames, one single-frame capture each, as arrays of their
        own (see :meth:`snap`)."""
        self._idle("grabbing frames")
        return grab(self, self._picture(), whole(count, "a frame count", 1, 2**31 - 1), bgr, self._keep)
