"""Capture: streams of frames as numpy arrays, and single-frame capture.

Frames are numpy views of the frame buffers, which the package allocates and
hands to the library as its ring, so a frame costs no copy and its memory
lives as long as the array does. Row 0 is always the top of the picture. The
driver sends Mono8 as an 8-bit bitmap, whose rows run bottom-up, unless the
library asked it to flip them, which it does when it puts a Mono8 mode in
force (Camera.format); a buffer that holds its rows bottom-up is viewed
through a negative row stride.
"""

from __future__ import annotations

import ctypes
import time
from typing import TYPE_CHECKING, Any

import numpy as np

from . import _native as N
from .camera import V_FORMAT_INQ
from .errors import ArgumentError, DeviceLostError, Error, FrameTimeoutError, NotSupportedError, error_for

if TYPE_CHECKING:
    from .camera import Camera

# Element type and row shape of each colour coding, for a width.
_ROWS = {
    "Mono8": ("u1", lambda w: (w,)),
    "Mono16": (">u2", lambda w: (w,)),  # the camera's big-endian words
    "YUV411": ("u1", lambda w: (6 * -(-w // 4),)),  # U Y0 Y1 V Y2 Y3
    "YUV422": ("u1", lambda w: (4 * -(-w // 2),)),  # U Y0 V Y1
    "YUV444": ("u1", lambda w: (3 * w,)),  # U Y V
    "RGB8": ("u1", lambda w: (w, 3)),
    "RGB16": (">u2", lambda w: (w, 3)),
}
_WAIT_SLICE_MS = 100  # a wait ends this often, so that Ctrl-C is seen


class Frame(np.ndarray):
    """A frame of a :class:`Stream`: a numpy view of one of its ring buffers.

    The buffer is locked while it holds the newest frame handed out: the
    frame stays whole until the next frame is taken from the stream, after
    which the camera may write into it again. ``copy()`` gives an array of
    its own. ``buffer`` is the frame's position in the ring.
    """

    buffer: int | None
    _stream: Stream | None

    def __array_finalize__(self, obj: Any) -> None:
        # Arrays made from a frame (slices, results) are no frames of the ring.
        self.buffer = None
        self._stream = None

    def copy(self, order: str = "C") -> np.ndarray:  # type: ignore[override]
        """The frame's pixels in an array of its own."""
        return np.array(self.view(np.ndarray), order=order, copy=True)

    def to_bgr(self) -> np.ndarray:
        """The frame as a 24-bit colour image (height x width x 3, blue, green,
        red) by the library's converter, in an array of its own. The frame
        must be one the stream handed out, while the stream is open."""
        if self._stream is None or self.buffer is None:
            raise Error("only a frame handed out by an open stream can be converted", N.ERR_NO_FRAMES)
        return self._stream._bgr(self.buffer)


class _Picture:
    """The frames a camera delivers now: coding, size, row order, and how a
    buffer of nbytes is viewed as one, top row first."""

    def __init__(self, camera: Camera, nbytes: int):
        self.coding, self.width, self.height = camera._picture()
        if self.coding not in _ROWS:
            raise NotSupportedError(f"frames of {self.coding} cannot be read", N.ERR_NOT_SUPPORTED)
        self.dtype = np.dtype(_ROWS[self.coding][0])
        self.shape = (self.height, *_ROWS[self.coding][1](self.width))
        self.size = int(np.prod(self.shape)) * self.dtype.itemsize
        if self.size > nbytes:
            raise Error(f"a {self.width}x{self.height} {self.coding} frame needs {self.size} bytes; the camera "
                        f"delivers {nbytes}", N.ERR_NOT_SUPPORTED)
        self.bottom_up = (self.coding == "Mono8") != camera._flipped

    def view(self, buffer: np.ndarray) -> np.ndarray:
        frame = buffer[: self.size].view(self.dtype).reshape(self.shape)
        return frame[::-1] if self.bottom_up else frame

    def bgr(self, camera: Camera, index: int) -> np.ndarray:
        """The library's colour image of ring buffer index, top row first."""
        if self.coding.startswith("RGB"):
            raise NotSupportedError(f"{self.coding} frames are colour already (red, green, blue): "
                                    "frame[..., ::-1] is BGR", N.ERR_NOT_SUPPORTED)
        pointer = N.check(N.lib().iidc_lockbits(camera._handle(), index),
                          f"converting a frame of camera {camera.index}")
        stride = (3 * self.width + 3) & ~3
        rows = np.ctypeslib.as_array((ctypes.c_ubyte * (stride * self.height)).from_address(pointer))
        image = rows.reshape(self.height, stride)[:, : 3 * self.width].reshape(self.height, self.width, 3)
        # The converter writes the frame's first row last: the picture's top
        # lands at the end unless the frame itself ran bottom-up.
        return np.array(image if self.bottom_up else image[::-1])


def _silence(camera: Camera, what: str) -> Error:
    """The error for a camera that delivered no frame: lost if it no longer
    answers either."""
    try:
        camera.registers[V_FORMAT_INQ]
    except Error:
        return DeviceLostError(f"camera {camera.index} stopped delivering frames and no longer answers", N.ERR_FAIL)
    return FrameTimeoutError(what, N.ERR_NO_FRAMES)


def _seconds(timeout: float | None) -> float | None:
    if timeout is not None and (isinstance(timeout, bool) or not isinstance(timeout, (int, float)) or timeout <= 0):
        raise ArgumentError(f"a timeout is a number of seconds above 0, or None, not {timeout!r}",
                            N.ERR_INVALID_PARAMETER)
    return timeout


class Stream:
    """Continuous capture into a ring of frame buffers; iterate it for frames.

    >>> with cam.stream(buffers=4) as stream:
    ...     for frame in stream:
    ...         print(frame.mean())

    Each frame is the newest one since the previous; frames the loop was too
    slow for are skipped. A wait for a frame ends after ``timeout`` seconds
    with :class:`FrameTimeoutError`, or :class:`DeviceLostError` when the
    camera no longer answers. Ctrl-C ends a wait within a tenth of a second.
    Closing the stream (or leaving its ``with`` block) stops capture.
    """

    def __init__(self, camera: Camera, buffers: int = 4, timeout: float | None = 5.0):
        if isinstance(buffers, bool) or not isinstance(buffers, int) or buffers < 3:
            raise ArgumentError(f"a stream needs at least 3 buffers, not {buffers!r}", N.ERR_INVALID_PARAMETER)
        h = camera._idle("starting a stream")
        library = N.lib()
        self.timeout = _seconds(timeout)
        self._camera = camera
        try:
            N.check(library.iidc_preparecapture(h), "preparing capture")
            nbytes = N.check(library.iidc_currentdataframebytes(h), "reading the frame size")
            self._picture = _Picture(camera, nbytes)
            self._ring = np.zeros((buffers, nbytes), np.uint8)
            addresses = [self._ring[i].ctypes.data for i in range(buffers)]
            pointers = (ctypes.c_void_p * buffers)(*addresses)
            N.check(library.iidc_attachbuffer(h, pointers, ctypes.sizeof(pointers)), "putting the ring in place")
            camera._keep[id(self._ring)] = self._ring
            N.check(library.iidc_capture(h, 1), "starting capture")
            # Buffer 0 stands for "no frame yet": the first frame goes to 1.
            self._last = N.check(library.iidc_lockdata(h, 0), "locking the first buffer")
        except BaseException:
            for step in (library.iidc_idle, library.iidc_releasebuffer, library.iidc_clearcapture):
                step(h)
            camera._keep.pop(id(getattr(self, "_ring", None)), None)
            raise
        self._views = [self._picture.view(self._ring[i]) for i in range(buffers)]
        self._buffer_at = {address: i for i, address in enumerate(addresses)}
        self._wait = N.WaitInfo(N.WAIT_FRAME, _WAIT_SLICE_MS)
        self._lockdata = library.iidc_lockdata
        camera._stream = self

    def __enter__(self) -> Stream:
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __iter__(self) -> Stream:
        return self

    def __next__(self) -> Frame:
        return self.next()

    def __repr__(self) -> str:
        state = "open" if self._camera._stream is self else "closed"
        return f"<iidc.Stream of camera {self._camera.index}: {self.coding} {self.shape}, {state}>"

    def _handle(self) -> int:
        if self._camera._stream is not self:
            raise Error("the stream is closed", N.ERR_NOT_CAPTURING)
        return self._camera._handle()

    def next(self, timeout: float | None = -1.0) -> Frame:
        """The newest frame not handed out yet, waiting for it at most timeout
        seconds (default: the stream's timeout; None: without bound)."""
        h = self._handle()
        # The lock stays on the newest frame handed out, so the newest buffer
        # differs from it exactly when a new frame has landed.
        newest = self._lockdata(h, -1)
        if newest is None or newest == self._last:
            newest = self._await(h, self.timeout if timeout == -1.0 else _seconds(timeout))
        self._last = newest
        index = self._buffer_at[newest]
        frame = self._views[index].view(Frame)
        frame.buffer, frame._stream = index, self
        return frame

    def _await(self, h: int, limit: float | None) -> int:
        deadline = None if limit is None else time.monotonic() + limit
        while True:
            newest = N.check(self._lockdata(h, -1), "locking the newest frame")
            if newest != self._last:
                return newest
            if deadline is not None:
                left = deadline - time.monotonic()
                if left <= 0:
                    raise _silence(self._camera, f"no frame from camera {self._camera.index} within {limit:g} s")
                self._wait.timeout = max(1, min(_WAIT_SLICE_MS, int(left * 1000)))
            N.lib().iidc_wait(h, ctypes.byref(self._wait), 0)

    @property
    def delivered(self) -> int:
        """Frames the camera has delivered since the stream started."""
        info = N.TransferInfo()
        N.check(N.lib().iidc_gettransferinfo(self._handle(), ctypes.byref(info), ctypes.sizeof(info)),
                "reading the transfer figures", N.ERR_FAIL)
        return int(info.framecount)

    @property
    def coding(self) -> str:
        """Colour coding of the frames."""
        return self._picture.coding

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

    def _bgr(self, index: int) -> np.ndarray:
        h = self._handle()
        try:
            return self._picture.bgr(self._camera, index)
        finally:
            # Converting locks the frame converted; the lock goes back.
            N.lib().iidc_lockdata(h, self._buffer_at[self._last])

    def close(self) -> None:
        """Stops capture and gives the ring back; frames handed out keep their
        memory. Closing twice does nothing."""
        camera = self._camera
        if camera._stream is not self:
            return
        camera._stream = None
        h = camera._handle()
        library = N.lib()
        stopped = library.iidc_idle(h)
        if stopped:  # the library writes no more into the ring
            camera._keep.pop(id(self._ring), None)
        if not (stopped and library.iidc_releasebuffer(h) and library.iidc_clearcapture(h)):
            raise error_for(f"stopping capture of camera {camera.index}", N.last_error())


def grab(camera: Camera, count: int, bgr: bool) -> list[np.ndarray]:
    """count frames, one single-frame capture each, into arrays of their own."""
    h = camera._idle("grabbing frames")
    library = N.lib()
    images = []
    try:
        N.check(library.iidc_preparecapture(h), "preparing capture")
        nbytes = N.check(library.iidc_currentdataframebytes(h), "reading the frame size")
        picture = _Picture(camera, nbytes)
        for _ in range(count):
            buffer = np.zeros(nbytes, np.uint8)
            pointer = (ctypes.c_void_p * 1)(buffer.ctypes.data)
            N.check(library.iidc_attachbuffer(h, pointer, ctypes.sizeof(pointer)), "putting the buffer in place")
            camera._keep[id(buffer)] = buffer
            try:
                if not library.iidc_capture(h, 0):
                    code = N.last_error()
                    what = f"capturing a frame of camera {camera.index}"
                    raise _silence(camera, what) if code == N.ERR_NO_FRAMES else error_for(what, code)
                images.append(picture.bgr(camera, 0) if bgr else picture.view(buffer))
            finally:
                # Unregisters the frame callback, which still names the ring.
                library.iidc_idle(h)
                library.iidc_releasebuffer(h)
                camera._keep.pop(id(buffer), None)
    finally:
        library.iidc_clearcapture(h)
    return images
