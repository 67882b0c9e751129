"""Camera features by name: value, automatic mode, on and off, one-push,
absolute values, and the trigger.

Every read asks the camera afresh; nothing is cached."""

from __future__ import annotations

import ctypes
import struct
from collections.abc import Iterator
from typing import TYPE_CHECKING

from . import _native as N
from .errors import ArgumentError, NotSupportedError

if TYPE_CHECKING:
    from .camera import Camera

#: Feature ids by the names the iidc tool uses.
FEATURES = {
    "brightness": 0, "auto-exposure": 4, "sharpness": 8, "white-balance": 12, "hue": 16, "saturation": 20,
    "gamma": 24, "shutter": 28, "gain": 32, "iris": 36, "focus": 40, "temperature": 44, "trigger": 48,
    "zoom": 128, "pan": 132, "tilt": 136, "optical-filter": 140,
}

FEATURE_INQ, ABS_CSR_OFFSET, FEATURE_CONTROL = 0x500, 0x700, 0x800
ABS_CONTROL = 0x40000000  # IIDC bit 1 of a status and control register
POLARITY_INQ, POLARITY = 0x02000000, 0x01000000  # bits 6 and 7 of the trigger's registers
CSR_BASE = 0xF00000  # bytes from the initial register space to the command registers


def _float(bits: int) -> float:
    return struct.unpack("<f", struct.pack("<I", bits))[0]


def _bits(value: float) -> int:
    return struct.unpack("<I", struct.pack("<f", value))[0]


class Features:
    """The camera's features by name (``gain``, ``shutter``,
    ``white-balance``...; ``_`` may stand for ``-``). Iterating gives the names
    of the features the camera has."""

    def __init__(self, camera: Camera):
        self._camera = camera

    @staticmethod
    def _name(name: str) -> str:
        key = str(name).lower().replace("_", "-")
        if key not in FEATURES:
            raise ArgumentError(f"unknown feature {name!r}: use one of {', '.join(FEATURES)}",
                                N.ERR_INVALID_PARAMETER)
        return key

    def _control(self, name: str) -> Feature:
        key = self._name(name)
        return (Trigger if key == "trigger" else Feature)(self._camera, key)

    def __getitem__(self, name: str) -> Feature:
        control = self._control(name)
        if not control.present:
            raise NotSupportedError(f"camera {self._camera.index} has no {control.name}", N.ERR_NOT_SUPPORTED)
        return control

    def __contains__(self, name: object) -> bool:
        return isinstance(name, str) and name.lower().replace("_", "-") in FEATURES and self._control(name).present

    def __iter__(self) -> Iterator[str]:
        return iter([name for name in FEATURES if self._control(name).present])

    def __len__(self) -> int:
        return len(list(iter(self)))

    def __repr__(self) -> str:
        return f"<iidc features of camera {self._camera.index}: {', '.join(self)}>"


class Feature:
    """One feature. ``value`` is in the camera's whole units (``range``);
    white balance has two values (red, blue) and temperature two (current,
    target, of which the target is set). Setting a value puts the feature in
    manual mode; setting ``value`` or ``auto``, or a one-push, switch it on. Where the
    camera offers absolute control, ``absolute`` switches it and
    ``absolute_value`` reads and sets the value in its physical unit (seconds,
    decibels...) within ``absolute_range``."""

    def __init__(self, camera: Camera, name: str):
        self._camera = camera
        self.name = name
        self.id = FEATURES[name]

    def __repr__(self) -> str:
        return f"<iidc feature {self.name} of camera {self._camera.index}>"

    # ---- the library's records -------------------------------------------

    def _info(self) -> N.FeatureInfo:
        info = N.FeatureInfo(self.id)
        N.check(N.lib().iidc_currentfeatureinfo(self._camera._handle(), ctypes.byref(info), 0),
                f"reading what {self.name} can do", N.ERR_FAIL)
        return info

    def _state(self) -> N.Feature:
        state = N.Feature(self.id)
        N.check(N.lib().iidc_currentfeature(self._camera._handle(), ctypes.byref(state), 0), f"reading {self.name}")
        return state

    def _write(self, flags: int, value1: float = 0.0, value2: float = 0.0, off: bool = False) -> None:
        # Every write switches the feature on or off; a camera ignores the
        # other settings of a feature that is off.
        request = N.Feature(self.id, flags | (N.FEATURESTATE_OFF if off else 0), value1, value2)
        N.check(N.lib().iidc_setfeature(self._camera._handle(), ctypes.byref(request), 0), f"setting {self.name}",
                N.ERR_FAIL)

    def _require(self, capability: int, what: str) -> N.FeatureInfo:
        info = self._info()
        if not info.flags & capability:
            raise NotSupportedError(f"{self.name} cannot be {what} on camera {self._camera.index}",
                                    N.ERR_NOT_SUPPORTED)
        return info

    # ---- what every feature has ------------------------------------------

    @property
    def present(self) -> bool:
        """Whether the camera has this feature."""
        return bool(self._info().flags & N.FEATURECAP_PRESENT)

    @property
    def on(self) -> bool:
        """Whether the feature is switched on."""
        return not self._state().flags & N.FEATURESTATE_OFF

    @on.setter
    def on(self, on: bool) -> None:
        if not on:
            self._require(N.FEATURECAP_ONOFF, "switched off")
        Feature._write(self, 0, off=not on)

    # ---- values ----------------------------------------------------------

    @property
    def range(self) -> tuple[int, int]:
        """Smallest and largest value, in the camera's units."""
        info = self._info()
        if info.flags & N.FEATURECAP_ABSOLUTE:  # the library reports the absolute range instead
            inquiry = self._camera.registers[FEATURE_INQ + self.id]
            return inquiry >> 12 & 0xFFF, inquiry & 0xFFF
        return int(info.minimum), int(info.maximum)

    @property
    def value(self) -> int | tuple[int, int]:
        """The value in the camera's units: (red, blue) for white balance,
        (current, target) for temperature."""
        state = self._state()
        if not state.flags & N.FEATURESTATE_VALUE1:
            raise NotSupportedError(f"{self.name} is in absolute mode, where it has no value in the camera's units: "
                                    "read absolute_value", N.ERR_NOT_SUPPORTED)
        if state.flags & N.FEATURESTATE_VALUE2:
            return int(state.value1), int(state.value2)
        return int(state.value1)

    @value.setter
    def value(self, value: int | tuple[int, int]) -> None:
        self._require(N.FEATURECAP_MANUAL, "set by hand")
        if self._state().flags & N.FEATURESTATE_ABSOLUTE:
            raise NotSupportedError(f"{self.name} is in absolute mode: set absolute_value, or absolute = False "
                                    "first", N.ERR_NOT_SUPPORTED)
        low, high = self.range
        pair = self.name == "white-balance"
        values = tuple(value) if pair and isinstance(value, (tuple, list)) else (value,)
        if len(values) != (2 if pair else 1) or not all(
                isinstance(v, int) and not isinstance(v, bool) and low <= v <= high for v in values):
            shape = "(red, blue), each" if pair else "a whole number"
            raise ArgumentError(f"{self.name} takes {shape} from {low} to {high}, not {value!r}",
                                N.ERR_INVALID_PARAMETER)
        if self.name == "temperature":  # only the target is set; the current one is measured
            self._write(N.FEATURESTATE_MANUAL | N.FEATURESTATE_VALUE2, 0.0, values[0])
        else:
            flags = N.FEATURESTATE_MANUAL | N.FEATURESTATE_VALUE1 | (N.FEATURESTATE_VALUE2 if pair else 0)
            self._write(flags, *map(float, values))

    @property
    def auto(self) -> bool:
        """Whether the camera controls the feature itself."""
        return bool(self._state().flags & N.FEATURESTATE_AUTO)

    @auto.setter
    def auto(self, auto: bool) -> None:
        if auto:
            self._require(N.FEATURECAP_AUTO, "automatic")
        self._write(N.FEATURESTATE_AUTO if auto else N.FEATURESTATE_MANUAL)

    def one_push(self) -> None:
        """Starts a one-push adjustment: the camera sets the value once."""
        self._require(N.FEATURECAP_ONEPUSH, "adjusted by one-push")
        self._write(N.FEATURESTATE_MANUAL | N.FEATURESTATE_ONEPUSH)

    # ---- absolute values (through the feature's registers) ---------------

    @property
    def absolute_range(self) -> tuple[float, float]:
        """Smallest and largest absolute value."""
        info = self._require(N.FEATURECAP_ABSOLUTE, "set in absolute values")
        return info.minimum, info.maximum

    @property
    def absolute(self) -> bool:
        """Whether the feature is in absolute-value mode."""
        return bool(self._state().flags & N.FEATURESTATE_ABSOLUTE)

    @absolute.setter
    def absolute(self, on: bool) -> None:
        self._require(N.FEATURECAP_ABSOLUTE, "set in absolute values")
        registers = self._camera.registers
        control = registers[FEATURE_CONTROL + self.id]
        registers[FEATURE_CONTROL + self.id] = control | ABS_CONTROL if on else control & ~ABS_CONTROL

    def _value_register(self) -> int:
        self._require(N.FEATURECAP_ABSOLUTE, "set in absolute values")
        return (self._camera.registers[ABS_CSR_OFFSET + self.id] * 4 - CSR_BASE + 8) & 0xFFFFFFFF

    @property
    def absolute_value(self) -> float:
        """The value in the feature's physical unit (absolute mode)."""
        return _float(self._camera.registers[self._value_register()])

    @absolute_value.setter
    def absolute_value(self, value: float) -> None:
        offset = self._value_register()
        low, high = self.absolute_range
        if not self.absolute:
            raise NotSupportedError(f"{self.name} is not in absolute mode: set absolute = True first",
                                    N.ERR_NOT_SUPPORTED)
        if isinstance(value, bool) or not isinstance(value, (int, float)) or not low <= value <= high:
            raise ArgumentError(f"{self.name} takes absolute values from {low:g} to {high:g}, not {value!r}",
                                N.ERR_INVALID_PARAMETER)
        self._camera.registers[offset] = _bits(value)


class Trigger(Feature):
    """The trigger: ``on`` makes the camera wait for trigger events, ``mode``
    is one of ``modes``, ``polarity`` is ``"high"`` or ``"low"`` and
    ``parameter`` is the mode's parameter (0-4095). A camera takes them only
    while the trigger is on."""

    def _write(self, flags: int, value1: float = 0.0, value2: float = 0.0, off: bool = False) -> None:
        if not off and not self.on:
            raise NotSupportedError(f"camera {self._camera.index} takes trigger settings only while the trigger is "
                                    "on: set trigger.on = True first", N.ERR_NOT_SUPPORTED)
        super()._write(flags, value1, value2, off)

    @property
    def modes(self) -> tuple[int, ...]:
        """The trigger modes the camera offers."""
        flags = self._info().flags
        return tuple(mode for mode in range(4) if flags & N.FEATURECAP_TRIGGER_MODE0 << mode)

    @property
    def mode(self) -> int:
        """The trigger mode in force, one of ``modes``."""
        return int(self._state().value2)

    @mode.setter
    def mode(self, mode: int) -> None:
        if mode not in self.modes or isinstance(mode, bool):
            raise ArgumentError(f"trigger mode {mode!r}: camera {self._camera.index} offers {self.modes}",
                                N.ERR_INVALID_PARAMETER)
        self._write(N.FEATURESTATE_VALUE2, 0.0, float(mode))

    @property
    def parameter(self) -> int:
        """The parameter of the trigger mode (0-4095)."""
        return int(self._state().value1)

    @parameter.setter
    def parameter(self, parameter: int) -> None:
        if isinstance(parameter, bool) or not isinstance(parameter, int) or not 0 <= parameter <= 0xFFF:
            raise ArgumentError(f"the trigger parameter is 0 to 4095, not {parameter!r}", N.ERR_INVALID_PARAMETER)
        self._write(N.FEATURESTATE_VALUE1, float(parameter))

    @property
    def polarity(self) -> str:
        """``"high"`` or ``"low"``: the edge or level that triggers."""
        return "high" if self._camera.registers[FEATURE_CONTROL + self.id] & POLARITY else "low"

    @polarity.setter
    def polarity(self, polarity: str) -> None:
        if polarity not in ("high", "low"):
            raise ArgumentError(f"trigger polarity is 'high' or 'low', not {polarity!r}", N.ERR_INVALID_PARAMETER)
        if not self._camera.registers[FEATURE_INQ + self.id] & POLARITY_INQ:
            raise NotSupportedError(f"camera {self._camera.index} has a trigger of fixed polarity",
                                    N.ERR_NOT_SUPPORTED)
        self._write(N.FEATURESTATE_POLARITY_HIGH if polarity == "high" else N.FEATURESTATE_POLARITY_LOW)

    @property  # type: ignore[override]
    def value(self) -> int:
        """The trigger has a mode and a parameter instead of a value."""
        raise NotSupportedError("the trigger has a mode and a parameter, not a value", N.ERR_NOT_SUPPORTED)

    @value.setter
    def value(self, value: int) -> None:
        self.value  # raises
