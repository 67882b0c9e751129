"""Capture: streams of frames as numpy arrays, and single-frame capture.

A stream's frames are read-only numpy views of its ring of frame buffers,
which the package allocates and hands to the library, so a frame costs no
copy. The library writes each new frame into the next buffer of the ring,
passing over the one buffer it keeps locked: the stream keeps the lock on the
newest frame it handed out, or on the frame held in a ``with`` block. Any other
view is whole until the ring comes round to its buffer, which the stream
tells from the camera's frame count (:attr:`Frame.valid`).

Row 0 is always the top of the picture. The driver sends Mono8 as an 8-bit
bitmap, whose rows run bottom-up, unless the library asked it to flip them,
which it does when it puts a Mono8 mode in force with iidc_setformat; a buffer
that holds its rows bottom-up is viewed through a negative row stride.
"""

from __future__ import annotations

import ctypes
import time
import weakref
from dataclasses import dataclass
from typing import Any, Callable

import numpy as np
import numpy.typing as npt

from . import _native as N
from .bayer import FILTERS, demosaic
from .constants import V_FORMAT_INQ, ErrorCode, WaitKind
from .errors import (ArgumentError, DeviceLostError, Error, FrameOverwrittenError, FrameTimeoutError,
                     NotSupportedError, error_for)
from .registers import Device

Array = npt.NDArray[Any]

# Element type and row shape of each colour coding, for a width: the shapes
# other libraries take (OpenCV's UYVY is height x width x 2).
_ROWS: dict[str, tuple[str, Callable[[int], tuple[int, ...]]]] = {
    "Mono8": ("u1", lambda w: (w,)),
    "Mono16": (">u2", lambda w: (w,)),  # the camera's big-endian words
    "YUV411": ("u1", lambda w: (6 * -(-w // 4),)),  # U Y0 Y1 V Y2 Y3
    "YUV422": ("u1", lambda w: (2 * -(-w // 2), 2)),  # (U, Y0), (V, Y1)
    "YUV444": ("u1", lambda w: (w, 3)),  # U Y V
    "RGB8": ("u1", lambda w: (w, 3)),
    "RGB16": (">u2", lambda w: (w, 3)),
    "Raw8": ("u1", lambda w: (w,)),  # Bayer mosaics
    "Raw16": (">u2", lambda w: (w,)),
}
_WAIT_SLICE_MS = 100  # a wait ends this often, so that Ctrl-C is seen


@dataclass
class Picture:
    """The frames a camera delivers now: coding, size, row order and colour
    filter (by number, of the picture's top-left pixel; None: grey), and how
    a buffer is viewed as one, top row first."""

    coding: str
    width: int
    height: int
    bottom_up: bool
    filter: int | None = None

    def __post_init__(self) -> None:
        if self.coding not in _ROWS:
            raise NotSupportedError(f"frames of {self.coding} cannot be read", ErrorCode.NOT_SUPPORTED)
        self.dtype = np.dtype(_ROWS[self.coding][0])
        self.shape = (self.height, *_ROWS[self.coding][1](self.width))
        self.size = int(np.prod(self.shape)) * self.dtype.itemsize

    def fit(self, nbytes: int) -> None:
        if self.size > nbytes:
            raise Error(f"a {self.width}x{self.height} {self.coding} frame needs {self.size} bytes; the camera "
                        f"delivers {nbytes}", ErrorCode.NOT_SUPPORTED)

    def view(self, buffer: Array) -> Array:
        frame = buffer[: self.size].view(self.dtype).reshape(self.shape)
        return frame[::-1] if self.bottom_up else frame

    def bgr(self, handle: int, index: int) -> Array:
        """The library's colour image of ring buffer index, top row first."""
        pointer = N.check(N.lib().iidc_lockbits(handle, index), "converting a frame")
        stride = (3 * self.width + 3) & ~3
        rows = np.ctypeslib.as_array((ctypes.c_ubyte * (stride * self.height)).from_address(pointer))
        image = rows.reshape(self.height, stride)[:, : 3 * self.width].reshape(self.height, self.width, 3)
        # The converter writes the frame's first row last: the picture's top
        # lands at the end unless the frame itself ran bottom-up.
        return np.array(image if self.bottom_up else image[::-1])


def _rgb_to_bgr(frame: Array) -> Array:
    """An RGB8 frame, or the high bytes of an RGB16 one, as blue, green, red."""
    values = frame >> 8 if frame.dtype.itemsize == 2 else frame
    return np.array(values[..., ::-1], np.uint8)


class Frame(np.ndarray[Any, np.dtype[Any]]):
    """A frame of a :class:`Stream`: a read-only numpy array.

    ``number`` is the frame's place in the camera's count since capture
    started (0 for the first), ``timestamp`` the host's monotonic clock in
    nanoseconds (:func:`time.monotonic_ns`) when the stream took it, and
    ``buffer`` its position in the ring.

    A frame views its ring buffer until the camera comes round to it again;
    ``valid`` tells whether it still certainly holds this frame. Held in a
    ``with`` block, a frame stays whole until the block ends; ``copy()`` gives
    an array of its own, or raises :class:`FrameOverwrittenError` when the
    frame was no longer whole.
    """

    number: int
    timestamp: int
    buffer: int
    _count: int  # the camera's frame count when the frame was taken
    _origin: weakref.ref[Stream] | None  # the stream that handed the frame out
    _owned: bool  # pixels in memory of its own
    _whole: bool  # the whole frame the stream handed out, not a part or a result

    def __array_finalize__(self, obj: Any) -> None:
        # Arrays made from a frame tell the same frame; a view of it (a
        # slice) shares its memory and its lifetime, a result has its own.
        self.number, self.timestamp = getattr(obj, "number", -1), getattr(obj, "timestamp", 0)
        self.buffer, self._count = getattr(obj, "buffer", -1), getattr(obj, "_count", 0)
        view = obj is not None and self.base is obj
        self._origin = getattr(obj, "_origin", None) if view else None
        self._owned, self._whole = getattr(obj, "_owned", False) if view else True, False

    @property
    def _stream(self) -> Stream | None:
        return None if self._origin is None else self._origin()

    @property
    def valid(self) -> bool:
        """Whether the frame's pixels are certainly this frame's: a frame of
        its own memory always is; a view while it is held, or the newest frame
        of its stream, or until the camera may have come round to its buffer
        (a view whose stream was collected is not)."""
        stream = self._stream
        return self._owned or stream is not None and stream._intact(self)

    def __enter__(self) -> Frame:
        stream = self._stream
        if stream is not None and not self._owned:
            stream._hold(self)
        elif not self.valid:
            raise FrameOverwrittenError(f"frame {self.number} outlived its stream", ErrorCode.NO_FRAMES)
        return self

    def __exit__(self, *exc: object) -> None:
        stream = self._stream
        if stream is not None and not self._owned:
            stream._release(self)

    def copy(self, order: Any = "C") -> Array:  # type: ignore[override]
        """The frame's pixels in an array of its own."""
        pixels = np.array(self.view(np.ndarray), order=order, copy=True)
        if not self.valid:
            raise FrameOverwrittenError(f"frame {self.number} was overwritten before it was copied: copy frames "
                                        "as they come, or hold them in a with block", ErrorCode.NO_FRAMES)
        return pixels

    def to_bgr(self, method: str = "hq") -> Array:
        """The frame as a colour image (height x width x 3, blue, green, red)
        in an array of its own: a Bayer frame (see :attr:`Stream.filter`)
        demosaiced by method, ``"nearest"``, ``"bilinear"`` or ``"hq"``
        (gradient-corrected, the default), into uint8 for 8-bit samples and
        uint16 for 16-bit ones; other frames as 24-bit colour: RGB frames
        reversed (RGB16 by their high bytes), other codings by the library's
        converter, which reads the frame in its ring buffer while the stream
        is open."""
        stream = self._stream
        if stream is not None and stream._picture.filter is not None:
            image = demosaic(self.view(np.ndarray), stream._picture.filter, method)
            if not self.valid:
                raise FrameOverwrittenError(f"frame {self.number} was overwritten before it was demosaiced",
                                            ErrorCode.NO_FRAMES)
            return image
        if stream is not None and stream.coding.startswith("RGB"):
            return _rgb_to_bgr(self.view(np.ndarray))
        if stream is None or not self._whole:
            raise Error("only a whole frame a stream handed out can be converted", ErrorCode.NO_FRAMES)
        return stream._bgr(self)

    def to_native(self) -> Array:
        """The frame's values in the machine's byte order (Mono16 and RGB16
        travel most significant byte first) in an array of its own."""
        return np.array(self, dtype=self.dtype.newbyteorder("="))


def silence(camera: Device, what: str) -> Error:
    """The error for a camera that delivered no frame: lost if it no longer
    answers either."""
    try:
        camera.registers[V_FORMAT_INQ]
    except Error:
        return DeviceLostError(f"camera {camera.index} stopped delivering frames and no longer answers",
                               ErrorCode.FAIL)
    return FrameTimeoutError(what, ErrorCode.NO_FRAMES)


def _start_failure(camera: Device, code: int) -> Error:
    """The error for a capture that did not start: a camera that still answers
    is taken to be streaming to another program."""
    what = "starting capture"
    if code == ErrorCode.FAIL:
        try:
            camera.registers[V_FORMAT_INQ]
            what += f": camera {camera.index} cannot stream now; another program may be streaming from it"
        except Error:
            pass
    return error_for(what, code)


def _seconds(timeout: float | None) -> float | None:
    if timeout is not None and (isinstance(timeout, bool) or not isinstance(timeout, (int, float)) or timeout <= 0):
        raise ArgumentError(f"a timeout is a number of seconds above 0, or None, not {timeout!r}",
                            ErrorCode.INVALID_PARAMETER)
    return timeout


def _stop(h: int) -> None:
    library = N.lib()
    for step in (library.iidc_idle, library.iidc_releasebuffer, library.iidc_clearcapture):
        step(h)


class Stream:
    """Continuous capture into a ring of frame buffers; iterate it for frames.

    >>> with cam.stream(buffers=4) as stream:
    ...     for frame in stream:
    ...         print(frame.number, frame.mean())

    Each frame is the newest one since the previous; frames the loop was too
    slow for are skipped and counted in ``dropped``. With ``copy`` every frame
    is an array of its own. A wait for a frame ends after ``timeout`` seconds
    with :class:`FrameTimeoutError`, or :class:`DeviceLostError` when the
    camera no longer answers. Ctrl-C ends a wait within a tenth of a second.
    Closing the stream (or leaving its ``with`` block) stops capture.
    """

    def __init__(self, camera: Device, picture: Picture, buffers: int = 4, timeout: float | None = 5.0,
                 copy: bool = False, keep: dict[int, Any] | None = None):
        if isinstance(buffers, bool) or not isinstance(buffers, int) or buffers < 3:
            raise ArgumentError(f"a stream needs at least 3 buffers, not {buffers!r}", ErrorCode.INVALID_PARAMETER)
        h = camera.handle()
        library = N.lib()
        self.timeout = _seconds(timeout)
        self._camera, self._picture, self._copy = camera, picture, bool(copy)
        # The ring's memory stays alive in keep (the camera's) until capture
        # has stopped, also when the camera is collected without a close.
        self._keep = {} if keep is None else keep
        try:
            N.check(library.iidc_preparecapture(h), "preparing capture")
            nbytes = N.check(library.iidc_currentdataframebytes(h), "reading the frame size")
            picture.fit(nbytes)
            self._ring = np.zeros((buffers, nbytes), np.uint8)
            pointers = (ctypes.c_void_p * buffers)(*(self._ring[i].ctypes.data for i in range(buffers)))
            N.check(library.iidc_attachbuffer(h, pointers, ctypes.sizeof(pointers)), "putting the ring in place")
            self._keep[id(self._ring)] = self._ring
            if not library.iidc_capture(h, 1):
                raise _start_failure(camera, N.last_error())
            # Buffer 0 stands for "no frame yet": the first frame goes to 1.
            N.check(library.iidc_lockdata(h, 0), "locking the first buffer")
        except BaseException:
            _stop(h)
            self._keep.pop(id(getattr(self, "_ring", None)), None)
            raise
        readonly = np.frombuffer(self._ring.data.toreadonly(), np.uint8).reshape(self._ring.shape)
        self._views = [picture.view(readonly[i]) for i in range(buffers)]
        self._buffers = buffers
        # A view is whole while the camera has counted at most this many
        # frames after it: the ring less its locked buffer, a frame being
        # copied into the ring that the count includes, and one more buffer
        # that a conversion's lock may make the camera pass over.
        self._lead = buffers - 3
        self._closed_count: int | None = None  # the camera's count when capture stopped
        self._last_buffer, self._taken = 0, 0  # of the newest frame taken
        self._number, self._dropped = -1, 0
        self._newest: Frame | None = None  # the newest frame handed out
        self._locked: Frame | None = None  # the frame whose buffer the library keeps locked
        self._held: Frame | None = None  # the frame held in a with block
        self._ref = weakref.ref(self)  # what frames refer to the stream by
        self._wait = N.iidc_waitinfo(WaitKind.FRAME, _WAIT_SLICE_MS)
        self._info = N.iidc_transferinfo()
        self._lockdata, self._gettransferinfo = library.iidc_lockdata, library.iidc_gettransferinfo

    def __enter__(self) -> Stream:
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __iter__(self) -> Stream:
        return self

    def __next__(self) -> Frame:
        return self.next()

    def __repr__(self) -> str:
        state = "closed" if self.closed else "open"
        return f"<iidc.Stream of camera {self._camera.index}: {self.coding} {self.shape}, {state}>"

    @property
    def closed(self) -> bool:
        return self._closed_count is not None

    def _handle(self) -> int:
        if self.closed:
            raise Error("the stream is closed", ErrorCode.NOT_CAPTURING)
        return self._camera.handle()

    def _count(self, h: int) -> tuple[int, int]:
        """The camera's frame count since capture started and the ring
        position it filled last."""
        info = self._info
        N.check(self._gettransferinfo(h, ctypes.byref(info), ctypes.sizeof(info)), "reading the frame count",
                ErrorCode.FAIL)
        return int(info.framecount), int(info.lastbuffer)

    def next(self, timeout: float | None = -1.0) -> Frame:
        """The newest frame not handed out yet, waiting for it at most timeout
        seconds (default: the stream's timeout; None: without bound)."""
        h = self._handle()
        limit = self.timeout if timeout == -1.0 else _seconds(timeout)
        deadline = None if limit is None else time.monotonic() + limit
        while True:
            try:
                count, last = self._count(h)
            except Error:
                raise silence(self._camera, f"camera {self._camera.index} gives no frame count") from None
            # A new position has been filled, or the ring came round to the
            # same one.
            if last != self._last_buffer or count - self._taken > self._buffers:
                frame = self._take(h, count, last)
                if frame is not None:
                    return frame
                continue  # refilled while being taken: take the newest again
            if deadline is not None:
                left = deadline - time.monotonic()
                if left <= 0:
                    raise silence(self._camera, f"no frame from camera {self._camera.index} within {limit:g} s")
                self._wait.timeout = max(1, min(_WAIT_SLICE_MS, int(left * 1000)))
            N.lib().iidc_wait(h, ctypes.byref(self._wait), 0)

    def _take(self, h: int, count: int, buffer: int) -> Frame | None:
        timestamp = time.monotonic_ns()
        if not 0 <= buffer < self._buffers:
            raise Error(f"camera {self._camera.index} reports no frame buffer", ErrorCode.FAIL)
        locks = self._held is None
        if locks:
            N.check(self._lockdata(h, buffer), "locking the newest frame")
            self._locked = None
        frame = self._views[buffer].view(Frame)
        frame.number, frame.timestamp, frame.buffer, frame._count = max(count - 1, self._number + 1), timestamp, \
            buffer, count
        frame._origin, frame._whole = self._ref, True
        if self._copy:
            frame = self._own(frame)
        # The lock counts from the library's next choice of buffer: if the
        # ring came round to this one before, its frame may be a newer one.
        if self._count(h)[0] - count > self._lead:
            return None
        self._taken, self._last_buffer = count, buffer
        self._dropped += frame.number - self._number - 1
        self._number = frame.number
        self._newest = frame
        if locks:
            self._locked = frame
        return frame

    @staticmethod
    def _own(frame: Frame) -> Frame:
        owned = np.array(frame.view(np.ndarray)).view(Frame)
        owned.number, owned.timestamp, owned.buffer, owned._count = frame.number, frame.timestamp, frame.buffer, \
            frame._count
        owned._origin, owned._owned, owned._whole = frame._origin, True, True
        return owned

    def _intact(self, frame: Frame) -> bool:
        """Whether frame's buffer still holds it (the frame may be a copy)."""
        if self._locked is not None and frame.number == self._locked.number:
            return True
        try:
            count = self._count(self._handle())[0] if self._closed_count is None else self._closed_count
        except Error:
            return False
        return count - frame._count <= self._lead

    def _relock(self, h: int, frame: Frame | None) -> None:
        """Gives the lock to frame's buffer while it holds frame, else to none."""
        self._locked = None
        if frame is not None and self._intact(frame):
            self._lockdata(h, frame.buffer)
            if self._intact(frame):  # not refilled before the lock took hold
                self._locked = frame
                return
        N.lib().iidc_unlockdata(h)

    def _hold(self, frame: Frame) -> None:
        if self.closed:  # nothing lands any more
            if not self._intact(frame):
                raise FrameOverwrittenError(f"frame {frame.number} was overwritten before the stream closed",
                                            ErrorCode.NO_FRAMES)
            return
        if self._held is not None and self._held.number != frame.number:
            raise Error(f"frame {self._held.number} is held already: the library keeps one frame whole at a time; "
                        "copy the others", ErrorCode.NOT_SUPPORTED)
        h = self._handle()
        if self._locked is None or self._locked.number != frame.number:
            self._relock(h, frame)
            if self._locked is None:
                self._relock(h, self._newest)
                raise FrameOverwrittenError(f"frame {frame.number} was overwritten before it was held: hold "
                                            "frames as they come", ErrorCode.NO_FRAMES)
        self._held = frame

    def _release(self, frame: Frame) -> None:
        if self._held is None or self._held.number != frame.number:
            return
        self._held = None
        newest = self._newest
        if not self.closed and newest is not None and newest.number != frame.number:
            self._relock(self._handle(), newest)

    def _bgr(self, frame: Frame) -> Array:
        h = self._handle()
        if self._held is not None and self._held.number != frame.number:
            raise Error(f"frame {self._held.number} is held: while it is, only it can be converted",
                        ErrorCode.NOT_SUPPORTED)
        locked, before = self._locked, self._count(h)[0]
        try:
            image = self._picture.bgr(h, frame.buffer)
        finally:
            # Converting locks the frame converted; the lock goes back, and
            # its frame is certainly whole if no frame came meanwhile.
            if locked is None:
                N.lib().iidc_unlockdata(h)
            elif locked.number != frame.number:
                self._lockdata(h, locked.buffer)
                if self._count(h)[0] != before:
                    self._relock(h, locked)
        if not self._intact(frame):
            raise FrameOverwrittenError(f"frame {frame.number} was overwritten before it was converted",
                                        ErrorCode.NO_FRAMES)
        return image

    @property
    def delivered(self) -> int:
        """Frames the camera has delivered since the stream started."""
        return self._count(self._handle())[0]

    @property
    def dropped(self) -> int:
        """Frames the camera delivered before the newest frame handed out
        that the stream skipped."""
        return self._dropped

    @property
    def coding(self) -> str:
        """Colour coding of the frames."""
        return self._picture.coding

    @property
    def filter(self) -> str | None:
        """The colour filter of the frames, as the colours of their top-left
        2x2 tile ("RGGB", "GBRG", "GRBG", "BGGR"), or None for grey frames:
        the override given to :meth:`Camera.stream`, else what the camera
        tells, shifted by the Format 7 area's position."""
        return None if self._picture.filter is None else FILTERS[self._picture.filter]

    @property
    def width(self) -> int:
        """Width of the picture in pixels."""
        return self._picture.width

    @property
    def height(self) -> int:
        """Height of the picture in pixels."""
        return self._picture.height

    @property
    def shape(self) -> tuple[int, ...]:
        """Shape of the frames: height first."""
        return self._picture.shape

    def close(self) -> None:
        """Stops capture and gives the ring back; frames handed out keep their
        memory, and whatever they held when capture stopped. Closing twice
        does nothing."""
        if self.closed:
            return
        h = self._camera.handle()
        library = N.lib()
        stopped = library.iidc_idle(h)
        try:
            self._closed_count = self._count(h)[0]
        except Error:
            self._closed_count = 2**62  # no count: only the locked frame is certainly whole
        if stopped:  # the library writes no more into the ring
            self._keep.pop(id(self._ring), None)
        if not (stopped and library.iidc_releasebuffer(h) and library.iidc_clearcapture(h)):
            raise error_for(f"stopping capture of camera {self._camera.index}", N.last_error())


def grab(camera: Device, picture: Picture, count: int, bgr: bool, keep: dict[int, Any]) -> list[Array]:
    """count frames, one single-frame capture each, into arrays of their own."""
    h = camera.handle()
    library = N.lib()
    images = []
    try:
        N.check(library.iidc_preparecapture(h), "preparing capture")
        nbytes = N.check(library.iidc_currentdataframebytes(h), "reading the frame size")
        picture.fit(nbytes)
        for _ in range(count):
            buffer = np.zeros(nbytes, np.uint8)
            pointer = (ctypes.c_void_p * 1)(buffer.ctypes.data)
            N.check(library.iidc_attachbuffer(h, pointer, ctypes.sizeof(pointer)), "putting the buffer in place")
            keep[id(buffer)] = buffer
            try:
                if not library.iidc_capture(h, 0):
                    code = N.last_error()
                    what = f"capturing a frame of camera {camera.index}"
                    raise silence(camera, what) if code == ErrorCode.NO_FRAMES else error_for(what, code)
                frame = picture.view(buffer)
                if bgr and picture.filter is not None:
                    frame = demosaic(frame, picture.filter, "hq")
                elif bgr:
                    frame = _rgb_to_bgr(frame) if picture.coding.startswith("RGB") else picture.bgr(h, 0)
                images.append(frame)
            finally:
                # Unregisters the frame callback, which still names the ring.
                library.iidc_idle(h)
                library.iidc_releasebuffer(h)
                keep.pop(id(buffer), None)
    finally:
        library.iidc_clearcapture(h)
    return images
