"""Frames: content, shape, row order, number, time, lifetime, waiting, loss and leaks."""

import _thread
import gc
import os
import shutil
import signal
import subprocess
import sys
import threading
import time

import numpy as np
import pytest
from conftest import BAYER, COLOUR, FORMAT7, LOST, SILENT, frame_bytes, pattern, sequence

import iidc
from iidc._native import lib

CODINGS = [  # camera, format, dtype, shape
    (COLOUR, (0, 0), "uint8", (120, 160, 3)), (COLOUR, (0, 1), "uint8", (240, 320, 2)),
    (COLOUR, (0, 4), "uint8", (480, 640, 3)), (COLOUR, (0, 5), "uint8", (480, 640)),
    (COLOUR, (0, 6), ">u2", (480, 640)),
    (FORMAT7, (7, 0), "uint8", (16, 32)),  # Format 7 Mono8, which the driver sends bottom row first
]


@pytest.mark.parametrize("index, fmt, dtype, shape", CODINGS)
def test_frames_are_read_only_views_of_the_ring_in_the_shapes_other_libraries_take(index, fmt, dtype, shape):
    with iidc.Camera(index) as cam:
        cam.format = fmt
        if fmt == (7, 0):
            cam.area = (0, 0, 32, 16)
        with cam.stream() as stream:
            frame = next(stream)
            assert (frame.dtype, frame.shape) == (dtype, shape) == (frame.dtype, stream.shape)
            assert np.array_equal(frame_bytes(frame), pattern(stream.coding, stream.width, stream.height, frame))
            # No copy: the frame's lowest byte is the start of its ring buffer.
            first_row = frame.ctypes.data + min(0, frame.strides[0] * (frame.shape[0] - 1))
            assert first_row == lib().iidc_lockdata(cam.handle(), frame.buffer)
            with pytest.raises(ValueError):
                frame.flags.writeable = True
            grey = {"Mono8": frame, "Mono16": frame >> 8, "RGB8": frame[..., ::-1]}.get(stream.coding)
            if grey is not None:
                assert np.array_equal(frame.to_bgr(), np.repeat(grey[..., None], 3, -1) if grey.ndim == 2 else grey)
            assert frame.to_bgr().shape == shape[:2] + (3,)
            native = frame.to_native()
            assert native.dtype.isnative and np.array_equal(native, frame)
            owned = frame.copy()
            assert type(owned) is np.ndarray and owned.flags.owndata and np.array_equal(owned, frame)


# The Bayer camera's sensor is GRBG: areas at odd positions start in the other
# phases, and a Mono8 frame, whose filter the camera does not tell, takes an
# override. Demosaiced, red is the pattern's luma ramp, green its bars and blue
# the ramp reversed (checked away from the borders, the bars' edges, the
# ramp's wrap and the frame number in the top row).
@pytest.mark.parametrize("coding, left, top, override, expected", [
    ("Raw8", 0, 0, None, "GRBG"), ("Raw8", 1, 0, None, "RGGB"), ("Raw16", 0, 1, None, "BGGR"),
    ("Raw8", 1, 1, None, "GBRG"), ("Mono8", 0, 0, None, None), ("Mono8", 1, 0, "grbg", "RGGB")])
def test_bayer_frames_tell_their_filter_and_demosaic_to_the_patterns_colours(coding, left, top, override, expected):
    with iidc.Camera(BAYER) as cam:
        cam.format = (7, int(coding == "Mono8"), coding)  # mode 0 has only Bayer codings
        cam.area = (left, top, 48, 32)
        with cam.stream(bayer_filter=override) as stream:
            frame = next(stream)
            assert stream.filter == expected and frame.shape == (32, 48)
            y, x = np.mgrid[:32, :48]
            red = (x + y + sequence(frame)) & 255
            wanted = np.stack([255 - red, (x >> 4 & 7) * 32 + 16, red], -1)
            away = (y >= 4) & (y < 30) & (x >= 2) & (x < 46) & (x % 16 >= 4) & (x % 16 < 12) & (red >= 8) & (red < 248)
            for method in iidc.METHODS if expected else ():
                image = frame.to_bgr(method)
                colour = image >> 8 if image.dtype == np.uint16 else image
                assert np.abs(colour.astype(int) - wanted)[away].max() <= 2, method
        with pytest.raises(iidc.ArgumentError):
            frame.to_bgr("best") if expected else cam.stream(bayer_filter="RGBG")


def test_frames_carry_their_number_time_and_the_frames_dropped_before_them(triggered):
    cam, release = triggered
    with cam.stream() as stream:
        for sent, number, dropped in [(1, 0, 0), (1, 1, 0), (3, 4, 2), (1, 5, 2)]:
            before = time.monotonic_ns()
            release(stream, sent)
            frame = next(stream)
            assert (frame.number, sequence(frame), stream.dropped) == (number, number, dropped)
            assert before < frame.timestamp < time.monotonic_ns()
    with cam.stream(copy=True) as stream:
        release(stream)
        owned = next(stream)
        assert owned.flags.writeable and owned.number == sequence(owned) == 0  # not the read-only ring


def test_a_view_kept_past_its_turn_of_the_ring_is_detected_and_a_held_frame_stays_whole(triggered):
    cam, release = triggered
    with cam.stream(buffers=4) as stream:
        release(stream)
        kept = next(stream)
        release(stream)
        with next(stream) as held:
            assert kept.valid  # one frame later: the ring cannot have come round
            for _ in range(5):
                release(stream)
                later = next(stream)
                assert kept.valid is False  # it may have, were a buffer passed over and a frame in transit
            with pytest.raises(iidc.Error, match="frame 1 is held"):
                later.to_bgr()
            assert held.valid and sequence(held) == held.number == 1 and held.to_bgr().shape == (240, 320, 3)
        assert sequence(kept) > 0 and not kept.valid and not kept[1:].valid  # the ring came round to it
        assert (kept >> 1).valid and kept.astype(int).copy().shape == kept.shape  # results have memory of their own
        with pytest.raises(iidc.FrameOverwrittenError):
            kept.copy()
        with pytest.raises(iidc.FrameOverwrittenError):
            kept.__enter__()
        assert later.valid and later[1:].valid and np.array_equal(later.copy(), later)


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
        assert lib().iidc_getstatus(cam.handle()) == 4  # capture stopped, ring given back


def test_a_camera_lost_while_streaming_ends_the_stream_cleanly(live):
    before = live()
    with iidc.Camera(LOST) as cam:
        with pytest.raises(iidc.DeviceLostError) as raised, cam.stream(timeout=1) as stream:
            for _ in stream:
                pass
        assert raised.value.name == "IIDC_ERR_FAIL" and "no longer answers" in str(raised.value)
    assert live() == before


def test_cameras_closed_or_dropped_while_streaming_leave_nothing_behind(live):
    with iidc.Camera(COLOUR) as cam:
        cam.format = (0, 0)  # small frames, which the camera keeps after closing
    before = live()
    for _ in range(200):
        with iidc.Camera(COLOUR) as cam, cam.stream() as stream:
            next(stream).to_bgr()
    cam = iidc.Camera(COLOUR)
    frame = next(cam.stream())
    del cam
    gc.collect()  # the camera and its stream, which refer to each other: closed when collected
    assert not frame.valid and frame.sum() >= 0
    iidc.Camera(COLOUR).close()
    assert live() == before


SHARED = """import sys, iidc
with iidc.Camera(0) as cam:
    cam.format = (0, 5) if sys.argv[1] == "set" else cam.format
    print(cam.format.width, cam.format.coding, flush=True)
    try:
        with cam.stream() as stream:
            print("streaming" if next(iter(stream)).size else "", flush=True)
            sys.stdin.read()
    except iidc.Error as e:
        print(e)
"""


def test_a_camera_configured_here_streams_so_in_the_next_program(tmp_path):
    """One program's format holds in the next and in iidcsrc; a camera streams to one program at a time."""
    env = {**os.environ, "IIDC_VCAM_STATE": "shared", "XDG_RUNTIME_DIR": str(tmp_path)}
    python = [sys.executable, "-c", SHARED]
    # The first program streams until its input closes, as the block ends.
    with subprocess.Popen(python + ["set"], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True,
                          env=env) as first:
        assert first.stdout and first.stdout.readline() + first.stdout.readline() == "640 Mono8\nstreaming\n"
        assert ("no frame from camera 0" if os.environ.get("IIDC_DRIVERS") == "dc1394" else  # the bus sends nothing
                "camera 0 cannot stream now; another program may be streaming from it") in subprocess.run(
            python + ["get"], input="", capture_output=True, text=True, env=env, timeout=60).stdout
    if shutil.which("gst-launch-1.0") and os.environ.get("GST_PLUGIN_PATH"):  # the build's plugin
        run = subprocess.run(["gst-launch-1.0", "-v", "iidcsrc", "num-buffers=1", "!", "fakesink"], env=env,
                             capture_output=True, text=True, timeout=60)
        assert "format=(string)GRAY8, width=(int)640, height=(int)480" in run.stdout, run.stdout + run.stderr
