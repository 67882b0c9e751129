"""The suite runs on the cameras of cameras.json, with the library IIDC_LIBRARY names."""

import ctypes
import os
import time
from pathlib import Path

import numpy as np
import pytest

# Read by the library when it first lists its cameras.
os.environ["IIDC_VCAM_PROFILE"] = str(Path(__file__).with_name("cameras.json"))

import iidc  # noqa: E402
from iidc import _native  # noqa: E402

COLOUR, FORMAT7, LOST, SILENT, BAYER = range(5)  # the cameras of cameras.json

# The virtual camera's picture (vcam/model/pattern.h): luma is x + y + the
# frame's sequence number, chroma eight bars 16 pixels wide, and the first
# four bytes hold the sequence number.
BAR_U = np.array([128, 84, 170, 44, 212, 16, 240, 100], np.uint8)
BAR_V = np.array([128, 200, 60, 230, 30, 150, 90, 16], np.uint8)


def frame_bytes(frame: np.ndarray) -> np.ndarray:
    """A frame's bytes, one row of the picture per row, top row first."""
    return np.ascontiguousarray(frame).view(np.uint8).reshape(frame.shape[0], -1)


def pattern(coding: str, width: int, height: int, frame: np.ndarray) -> np.ndarray:
    """The bytes the camera sends for the frame of frame's sequence number."""
    sequence = frame_bytes(frame)[0, :4].copy()
    y, x = np.mgrid[:height, :width]
    luma = (x + y + int(sequence.view("<u4")[0])).astype(np.uint8)
    u, v = BAR_U[x >> 4 & 7], BAR_V[x >> 4 & 7]
    parts = {"Mono8": [luma], "Mono16": [luma, (x ^ y).astype(np.uint8)], "YUV444": [u, luma, v],
             "YUV422": [u[:, ::2], luma[:, ::2], v[:, ::2], luma[:, 1::2]],
             "RGB8": [luma, (x >> 4 & 7) * 32 + 16, 255 - luma]}[coding]
    rows = np.stack(parts, -1).reshape(height, -1)
    rows[0, :4] = sequence
    return rows


@pytest.fixture
def cam():
    """The colour camera, open, in Format 0 mode 1 (320 x 240 YUV422)."""
    with iidc.Camera(COLOUR) as camera:
        camera.format = (0, 1)
        yield camera


def sequence(frame: np.ndarray) -> int:
    """The sequence number the virtual camera wrote into a frame."""
    return int(frame_bytes(frame)[0, :4].view("<u4")[0])


@pytest.fixture
def triggered():
    """The colour camera with its trigger on, and release(n), which makes it
    send n frames and returns when they are in the ring."""
    with iidc.Camera(COLOUR) as camera:
        camera.format = (0, 1)
        camera.trigger.on = True

        def release(stream: iidc.Stream, count: int = 1) -> None:
            target = stream.delivered + count
            for _ in range(count):
                camera.registers[0x62C] = 0x80000000  # SOFTWARE_TRIGGER
            deadline = time.monotonic() + 5
            while stream.delivered < target and time.monotonic() < deadline:
                time.sleep(0.001)
            time.sleep(0.05)  # the last one counted, now copied into the ring

        yield camera, release
        camera.trigger.on = False


@pytest.fixture
def live():
    """Counts the COM objects, kernel handles and page reservations that the
    library's Windows emulation holds, as the test build of the library
    (libiidc_counted.so) exports them: a leak changes them."""
    emulation = ctypes.CDLL(_native.lib().path)
    names = ["iidc_live_com_objects", "iidc_live_kernel_handles", "iidc_live_virtual_reservations"]
    _native.start()  # the library started, as every count assumes
    return lambda: [getattr(emulation, name)() for name in names]  # small counts: int results do
