"""Frames: content, row order, colour conversion, waiting, loss and leaks."""

import _thread
import signal
import threading

import numpy as np
import pytest
from conftest import COLOUR, FORMAT7, LOST, SILENT, frame_bytes, pattern

import iidc
from iidc._native import lib

CODINGS = [  # camera, format (None: the one in force), dtype
    (COLOUR, (0, 5), "uint8"), (COLOUR, (0, 6), ">u2"), (COLOUR, (0, 1), "uint8"), (COLOUR, (0, 0), "uint8"),
    (FORMAT7, None, "uint8"),  # Format 7 Mono8, which the driver sends bottom row first
]


@pytest.mark.parametrize("index, fmt, dtype", CODINGS)
def test_frames_are_views_of_the_ring_showing_the_picture_top_row_first(index, fmt, dtype):
    with iidc.Camera(index) as cam:
        if fmt:
            cam.format = fmt
        with cam.stream() as stream:
            frame = next(stream)
            assert frame.dtype == dtype and frame.shape == stream.shape
            expected = pattern(stream.coding, stream.width, stream.height, frame)
            assert np.array_equal(frame_bytes(frame), expected)
            # No copy: the frame's lowest byte is the start of its ring buffer.
            first_row = frame.ctypes.data + min(0, frame.strides[0] * (frame.shape[0] - 1))
            assert first_row == lib().iidc_lockdata(cam._h, frame.buffer)
            grey = {"Mono8": frame, "Mono16": frame >> 8}.get(stream.coding)
            if grey is not None:
                assert np.array_equal(frame.to_bgr(), np.repeat(grey[..., None], 3, -1))
            owned = frame.copy()
            assert type(owned) is np.ndarray and owned.flags.owndata and np.array_equal(owned, frame)
            assert frame_bytes(next(stream))[0, :4].view("<u4") > expected[0, :4].view("<u4")  # a later frame


def test_bgr_frames_are_the_converters_formula(cam):
    with cam.stream() as stream:
        frame = next(stream)
        bgr = frame.to_bgr()
        # U Y0 V Y1 per two pixels, the floating-point formula, clamped.
        groups = frame.reshape(frame.shape[0], -1, 4).astype(int)
        u, v, y = groups[..., :1] - 128, groups[..., 2:3] - 128, groups[..., 1::2]
        terms = [np.trunc(1.771 * u), np.trunc(-0.7144 * v - 0.3457 * u), np.trunc(1.4022 * v)]
        expected = np.stack([np.clip(y + term, 0, 255) for term in terms], -1).reshape(bgr.shape)
        assert bgr.shape == (240, 320, 3) and np.array_equal(bgr, expected)


def test_single_frame_capture_gives_arrays_of_their_own(cam):
    cam.format = (0, 5)
    image = cam.snap()
    assert type(image) is np.ndarray and np.array_equal(image, pattern("Mono8", 640, 480, image))
    images = cam.grab(2, bgr=True)
    assert [i.shape for i in images] == [(480, 640, 3)] * 2
    assert np.array_equal(images[0][..., 2], pattern("Mono8", 640, 480, images[0][..., 0]))


@pytest.fixture
def ctrl_c():
    """Python's own Ctrl-C handler, which a process started in the background
    may lack (its Ctrl-C ignored), for the time of one test."""
    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    yield
    signal.signal(signal.SIGINT, previous)


def test_a_silent_camera_times_out_and_ctrl_c_ends_a_wait_cleanly(ctrl_c):
    with iidc.Camera(SILENT) as cam:
        with cam.stream(timeout=0.2) as stream:
            with pytest.raises(iidc.FrameTimeoutError, match="no frame from camera 3 within 0.2 s") as raised:
                next(stream)
            assert isinstance(raised.value, TimeoutError) and raised.value.name == "IIDC_ERR_NO_FRAMES"
            threading.Timer(0.2, _thread.interrupt_main).start()
            with pytest.raises(KeyboardInterrupt):
                stream.next(timeout=5)
        assert lib().iidc_getstatus(cam._h) == 4  # capture stopped, ring given back


def test_a_camera_lost_while_streaming_ends_the_stream_cleanly(live):
    before = live()
    with iidc.Camera(LOST) as cam:
        with pytest.raises(iidc.DeviceLostError) as raised, cam.stream(timeout=1) as stream:
            for _ in stream:
                pass
        assert raised.value.name == "IIDC_ERR_FAIL" and "no longer answers" in str(raised.value)
    assert live() == before


def test_open_stream_close_cycles_leave_nothing_behind(live):
    with iidc.Camera(COLOUR) as cam:
        cam.format = (0, 0)  # small frames, which the camera keeps after closing
    before = live()
    for _ in range(200):
        with iidc.Camera(COLOUR) as cam, cam.stream() as stream:
            next(stream).to_bgr()
    assert live() == before
