"""Cameras, formats, rates, the Format 7 area, features, registers and errors."""

import ctypes
import os
import subprocess
import sys
from collections.abc import Mapping
from pathlib import Path

import pytest
from conftest import COLOUR

import iidc
from iidc import _native


def test_cameras_lists_every_camera_without_opening_one():
    listed = iidc.cameras()
    assert [(c.index, c.model, c.unique_id) for c in listed] == [
        (0, "PT-C1", "0200000001"), (1, "PT-F7", "0200000002"), (2, "PT-L", "0200000003"), (3, "PT-S", "0200000004"),
        (4, "PT-B", "0200000005")]
    with iidc.Camera("0200000002") as cam:
        assert cam.index == 1 and cam.identity == listed[1]


# Camera 0 of cameras.json; 60 fps is offered but is no rate the library uses.
FORMATS = {(0, 0, "YUV444"): (160, 120, (7.5, 15.0, 30.0)), (0, 1, "YUV422"): (320, 240, (15.0, 30.0)),
           (0, 4, "RGB8"): (640, 480, (15.0,)), (0, 5, "Mono8"): (640, 480, (30.0,)),
           (0, 6, "Mono16"): (640, 480, (15.0,)), (7, 0, "Mono8"): (64, 48, ()), (7, 0, "YUV422"): (64, 48, ()),
           (7, 1, "Mono16"): (32, 24, ())}


def test_formats_and_rates_are_the_cameras_and_agree_with_the_interface(cam):
    assert {(f.format, f.mode, f.coding): (f.width, f.height, f.rates) for f in cam.formats} == FORMATS
    for fmt in (f for f in cam.formats if not f.scalable):
        info = _native.iidc_framerateinfo()
        assert _native.lib().iidc_getframerateinfo(cam.handle(), ctypes.byref(info), 12, fmt.id)
        assert (info.lowest, info.highest) == (min(fmt.rates), max(fmt.rates))
        cam.format = fmt
        for rate in fmt.rates:
            cam.rate = rate
            assert (cam.format, cam.rate) == (fmt, rate)


def test_a_format7_mode_and_coding_are_selected_and_take_areas_within_its_limits(cam):
    cam.format = (7, 1)
    assert (cam.format, cam.area) == (iidc.Format(0, 7, 1, "Mono16", 32, 24), (0, 0, 32, 24))
    cam.format = (7, 0, "YUV422")
    assert (cam.format, cam.area) == (iidc.Format(0, 7, 0, "YUV422", 64, 48), (0, 0, 64, 48))
    with cam.stream() as stream:  # the driver was told: frames of the mode's size
        assert _native.lib().iidc_currentdataframebytes(cam.handle()) == 64 * 48 * 2 == next(stream).nbytes
    cam.format = next(f for f in cam.formats if f.scalable and f.coding == "Mono8")
    assert cam.format.coding == "Mono8" and cam.registers[0x608] == 7 << 29
    assert cam.area_limits == (64, 48, 4, 2, 8, 2)
    cam.area = iidc.Area(4, 2, 24, 10)
    cam.format = (7, 0)  # the mode in force, in its coding and area
    assert (cam.format.coding, cam.area) == ("Mono8", (4, 2, 24, 10))
    with cam.stream() as stream:
        assert next(stream).shape == (10, 24)
    with pytest.raises(iidc.ArgumentError, match="sizes in steps of 8x2, positions in steps of 4x2"):
        cam.area = (0, 0, 20, 10)


def test_features_set_the_cameras_registers(cam):
    gain = cam.features["gain"]
    gain.value = 200
    assert (gain.value, gain.auto, gain.range) == (200, False, (0, 680))
    assert cam.registers[0x820] & 0x01000FFF == 200  # manual, value 200
    gain.auto = True
    assert gain.auto and cam.registers[0x820] & 0x01000000
    gain.absolute = True
    gain.absolute_value = 12.5
    assert (gain.absolute, gain.absolute_value, gain.absolute_range) == (True, 12.5, (0.0, 24.0))
    gain.absolute = False
    white = cam.features["white_balance"]
    white.on = False
    white.value = (500, 400)  # a value switches the feature on
    assert (white.on, white.value) == (True, (500, 400))
    assert cam.registers[0x80C] & 0x02FFFFFF == 0x02000000 | 400 << 12 | 500
    trigger = cam.trigger
    trigger.on = False
    with pytest.raises(iidc.NotSupportedError, match="only while the trigger is on"):
        trigger.mode = 1
    trigger.on = True
    trigger.mode, trigger.polarity, trigger.parameter = 3, "high", 7
    assert (trigger.modes, trigger.mode, trigger.polarity, trigger.parameter) == ((0, 1, 3), 3, "high", 7)
    assert cam.registers[0x830] & 0x010F0FFF == 0x01030007
    trigger.on = False  # with its trigger on the camera sends a frame only when the trigger is released
    assert isinstance(cam.features, Mapping) and list(cam.features) == ["brightness", "white-balance", "gain"]
    assert cam.features.get("zoom") is None and "trigger" not in cam.features


BAD = [
    (lambda cam: iidc.Camera(99), iidc.Error, "NO_DEVICE"),
    (lambda cam: iidc.Camera(COLOUR), iidc.Error, "ALREADY_OPEN"),
    (lambda cam: cam.features["nonsense"], iidc.FeatureNotFoundError, "INVALID_FEATURE"),
    (lambda cam: cam.features["zoom"], iidc.FeatureNotFoundError, "NOT_SUPPORTED"),
    (lambda cam: setattr(cam.features["gain"], "value", 681), iidc.ArgumentError, "INVALID_PARAMETER"),
    (lambda cam: setattr(cam.features["gain"], "value", 1.5), iidc.ArgumentError, "INVALID_PARAMETER"),
    (lambda cam: setattr(cam.features["white-balance"], "value", 5), iidc.ArgumentError, "INVALID_PARAMETER"),
    (lambda cam: setattr(cam.features["gain"], "absolute_value", 1.0), iidc.NotSupportedError, "NOT_SUPPORTED"),
    (lambda cam: setattr(cam.trigger, "mode", 2), iidc.ArgumentError, "INVALID_PARAMETER"),
    (lambda cam: setattr(cam, "format", (3, 0)), iidc.NotSupportedError, "FORMAT_UNAVAILABLE"),
    (lambda cam: setattr(cam, "format", (0, 9)), iidc.ArgumentError, "INVALID_PARAMETER"),
    (lambda cam: setattr(cam, "format", (7, 2)), iidc.NotSupportedError, "FORMAT_UNAVAILABLE"),
    (lambda cam: setattr(cam, "format", (7, 0, "RGB8")), iidc.ArgumentError, "INVALID_PARAMETER"),
    (lambda cam: setattr(cam, "rate", 7.5), iidc.ArgumentError, "INVALID_PARAMETER"),
    (lambda cam: setattr(cam, "area", (0, 0, 8, 8)), iidc.NotSupportedError, "NOT_SUPPORTED"),
    (lambda cam: cam.registers[0x101], iidc.ArgumentError, "INVALID_PARAMETER"),
    (lambda cam: cam.stream(buffers=2), iidc.ArgumentError, "INVALID_PARAMETER"),
    (lambda cam: (cam.stream(), cam.stream()), iidc.Error, "CAPTURING"),
    (lambda cam: (cam.stream(), setattr(cam, "format", (0, 0))), iidc.Error, "CAPTURING"),
    (lambda cam: next(cam.stream())[1:].to_bgr(), iidc.Error, "NO_FRAMES"),
    (lambda cam: (cam.close(), cam.format), iidc.Error, "INVALID_HANDLE"),
]


@pytest.mark.parametrize("call, error, name", BAD)
def test_bad_arguments_and_states_raise_with_the_code(cam, call, error, name):
    with pytest.raises(error) as raised:
        call(cam)
    assert raised.value.name == "IIDC_ERR_" + name and raised.value.code


def test_a_missing_library_is_one_clear_message(tmp_path):
    missing = tmp_path / "libiidc.so"
    run = subprocess.run([sys.executable, "-c", "import iidc; iidc.cameras()"], capture_output=True, text=True,
                         env={**os.environ, "IIDC_LIBRARY": str(missing)}, timeout=60)
    assert f"LibraryNotFoundError: the iidc library cannot be loaded (IIDC_LIBRARY names it); tried:\n  {missing}: " \
        in run.stderr and run.returncode


def test_prototypes_name_the_windows_export_table():
    definition = Path(__file__).parents[2] / "src" / "api" / "iidc.def"
    lines = [line.split(";")[0].split() for line in definition.read_text().splitlines()]
    exports = {words[-1] for words in lines if words and words[0] != "EXPORTS"}
    assert {_native.export_name(name, decorated=True) for name in _native.PROTOTYPES} == exports
    assert len(exports) == 49
