"""Camera features by name: value, automatic mode, on and off, one-push,
absolute values; and the trigger.

Every read asks the camera afresh; nothing is cached."""

from __future__ import annotations

import ctypes
import struct
from collections.abc import Iterator, Mapping
from typing import Any

from . import _native as N
from .constants import (ABS_CSR_OFFSET, FEATURE_CONTROL, FEATURE_INQ, ErrorCode, FeatureCap, FeatureId, FeatureState,
                        csr_offset, IIDC_BIT)
from .errors import ArgumentError, FeatureNotFoundError, NotSupportedError
from .registers import Device

#: Feature ids by the names the iidc tool uses (the trigger is Camera.trigger).
FEATURES = {member.name.lower().replace("_", "-"): member for member in FeatureId if member != FeatureId.TRIGGER}

ABS_CONTROL = IIDC_BIT(1)  # of a feature's status and control register
POLARITY_INQ, POLARITY = IIDC_BIT(6), IIDC_BIT(7)  # of the trigger's inquiry and control registers
VALUE_OFFSET = 8  # of the value in an absolute-value CSR


def _float(bits: int) -> float:
    return float(struct.unpack("<f", struct.pack("<I", bits))[0])


def _bits(value: float) -> int:
    return int(struct.unpack("<I", struct.pack("<f", value))[0])


class Control:
    """What the trigger and every other feature have: ``present``, ``on``."""

    def __init__(self, camera: Device, name: str, feature: FeatureId):
        self._camera = camera
        self.name = name
        self.id = feature

    def __repr__(self) -> str:
        return f"<iidc {self.name} of camera {self._camera.index}>"

    def _info(self) -> N.iidc_featureinfo:
        info = N.iidc_featureinfo(self.id)
        N.check(N.lib().iidc_currentfeatureinfo(self._camera.handle(), ctypes.byref(info), 0),
                f"reading what {self.name} can do", ErrorCode.FAIL)
        return info

    def _state(self) -> N.iidc_feature:
        state = N.iidc_feature(self.id)
        N.check(N.lib().iidc_currentfeature(self._camera.handle(), ctypes.byref(state), 0), f"reading {self.name}")
        return state

    def _write(self, flags: int, value1: float = 0.0, value2: float = 0.0, off: bool = False) -> None:
        # Every write switches the feature on or off; a camera ignores the
        # other settings of a feature that is off.
        request = N.iidc_feature(self.id, flags | (FeatureState.OFF if off else 0), value1, value2)
        N.check(N.lib().iidc_setfeature(self._camera.handle(), ctypes.byref(request), 0), f"setting {self.name}",
                ErrorCode.FAIL)

    def _require(self, capability: FeatureCap, what: str) -> N.iidc_featureinfo:
        info = self._info()
        if not info.flags & capability:
            raise NotSupportedError(f"{self.name} cannot be {what} on camera {self._camera.index}",
                                    ErrorCode.NOT_SUPPORTED)
        return info

    @property
    def present(self) -> bool:
        """Whether the camera has this feature."""
        return bool(self._info().flags & FeatureCap.PRESENT)

    @property
    def on(self) -> bool:
        """Whether the feature is switched on."""
        return not self._state().flags & FeatureState.OFF

    @on.setter
    def on(self, on: bool) -> None:
        if not on:
            self._require(FeatureCap.ONOFF, "switched off")
        self._write(0, off=not on)


class Feature(Control):
    """One feature. ``value`` is in the camera's whole units (``range``);
    white balance has two values (red, blue) and temperature two (current,
    target, of which the target is set). Setting a value puts the feature in
    manual mode; setting ``value`` or ``auto``, or a one-push, switch it on.
    Where the camera offers absolute control, ``absolute`` switches it and
    ``absolute_value`` reads and sets the value in its physical unit (seconds,
    decibels...) within ``absolute_range``."""

    @property
    def range(self) -> tuple[int, int]:
        """Smallest and largest value, in the camera's units."""
        info = self._info()
        if info.flags & FeatureCap.ABSOLUTE:  # the library reports the absolute range instead
            inquiry = self._camera.registers[FEATURE_INQ(self.id)]
            return inquiry >> 12 & 0xFFF, inquiry & 0xFFF
        return int(info.minimum), int(info.maximum)

    @property
    def value(self) -> int | tuple[int, int]:
        """The value in the camera's units: (red, blue) for white balance,
        (current, target) for temperature."""
        state = self._state()
        if not state.flags & FeatureState.VALUE1:
            raise NotSupportedError(f"{self.name} is in absolute mode, where it has no value in the camera's units: "
                                    "read absolute_value", ErrorCode.NOT_SUPPORTED)
        if state.flags & FeatureState.VALUE2:
            return int(state.value1), int(state.value2)
        return int(state.value1)

    @value.setter
    def value(self, value: int | tuple[int, int]) -> None:
        self._require(FeatureCap.MANUAL, "set by hand")
        if self._state().flags & FeatureState.ABSOLUTE:
            raise NotSupportedError(f"{self.name} is in absolute mode: set absolute_value, or absolute = False "
                                    "first", ErrorCode.NOT_SUPPORTED)
        low, high = self.range
        pair = self.id == FeatureId.WHITE_BALANCE
        values: tuple[Any, ...] = tuple(value) if pair and isinstance(value, (tuple, list)) else (value,)
        if len(values) != (2 if pair else 1) or not all(
                isinstance(v, int) and not isinstance(v, bool) and low <= v <= high for v in values):
            shape = "(red, blue), each" if pair else "a whole number"
            raise ArgumentError(f"{self.name} takes {shape} from {low} to {high}, not {value!r}",
                                ErrorCode.INVALID_PARAMETER)
        if self.id == FeatureId.TEMPERATURE:  # only the target is set; the current one is measured
            self._write(FeatureState.MANUAL | FeatureState.VALUE2, 0.0, float(values[0]))
        else:
            flags = FeatureState.MANUAL | FeatureState.VALUE1 | (FeatureState.VALUE2 if pair else 0)
            self._write(flags, float(values[0]), float(values[-1]) if pair else 0.0)

    @property
    def auto(self) -> bool:
        """Whether the camera controls the feature itself."""
        return bool(self._state().flags & FeatureState.AUTO)

    @auto.setter
    def auto(self, auto: bool) -> None:
        if auto:
            self._require(FeatureCap.AUTO, "automatic")
        self._write(FeatureState.AUTO if auto else FeatureState.MANUAL)

    def one_push(self) -> None:
        """Starts a one-push adjustment: the camera sets the value once."""
        self._require(FeatureCap.ONEPUSH, "adjusted by one-push")
        self._write(FeatureState.MANUAL | FeatureState.ONEPUSH)

    # ---- absolute values (through the feature's registers) ---------------

    @property
    def absolute_range(self) -> tuple[float, float]:
        """Smallest and largest absolute value."""
        info = self._require(FeatureCap.ABSOLUTE, "set in absolute values")
        return info.minimum, info.maximum

    @property
    def absolute(self) -> bool:
        """Whether the feature is in absolute-value mode."""
        return bool(self._state().flags & FeatureState.ABSOLUTE)

    @absolute.setter
    def absolute(self, on: bool) -> None:
        self._require(FeatureCap.ABSOLUTE, "set in absolute values")
        registers = self._camera.registers
        control = registers[FEATURE_CONTROL(self.id)]
        registers[FEATURE_CONTROL(self.id)] = control | ABS_CONTROL if on else control & ~ABS_CONTROL

    def _value_register(self) -> int:
        self._require(FeatureCap.ABSOLUTE, "set in absolute values")
        return (csr_offset(self._camera.registers[ABS_CSR_OFFSET(self.id)]) + VALUE_OFFSET) & 0xFFFFFFFF

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
                                    ErrorCode.NOT_SUPPORTED)
        if isinstance(value, bool) or not isinstance(value, (int, float)) or not low <= value <= high:
            raise ArgumentError(f"{self.name} takes absolute values from {low:g} to {high:g}, not {value!r}",
                                ErrorCode.INVALID_PARAMETER)
        self._camera.registers[offset] = _bits(value)


class Trigger(Control):
    """The trigger: ``on`` makes the camera wait for trigger events, ``mode``
    is one of ``modes``, ``polarity`` is ``"high"`` or ``"low"`` and
    ``parameter`` is the mode's parameter (0-4095). A camera takes them only
    while the trigger is on."""

    def __init__(self, camera: Device):
        super().__init__(camera, "trigger", FeatureId.TRIGGER)

    def _set(self, flags: int, value1: float = 0.0, value2: float = 0.0) -> None:
        if not self.on:
            raise NotSupportedError(f"camera {self._camera.index} takes trigger settings only while the trigger is "
                                    "on: set trigger.on = True first", ErrorCode.NOT_SUPPORTED)
        self._write(flags, value1, value2)

    @property
    def modes(self) -> tuple[int, ...]:
        """The trigger modes the camera offers."""
        flags = self._info().flags
        return tuple(mode for mode in range(4) if flags & FeatureCap.TRIGGER_MODE0 << mode)

    @property
    def mode(self) -> int:
        """The trigger mode in force, one of ``modes``."""
        return int(self._state().value2)

    @mode.setter
    def mode(self, mode: int) -> None:
        if mode not in self.modes or isinstance(mode, bool):
            raise ArgumentError(f"trigger mode {mode!r}: camera {self._camera.index} offers {self.modes}",
                                ErrorCode.INVALID_PARAMETER)
        self._set(FeatureState.VALUE2, 0.0, float(mode))

    @property
    def parameter(self) -> int:
        """The parameter of the trigger mode (0-4095)."""
        return int(self._state().value1)

    @parameter.setter
    def parameter(self, parameter: int) -> None:
        if isinstance(parameter, bool) or not isinstance(parameter, int) or not 0 <= parameter <= 0xFFF:
            raise ArgumentError(f"the trigger parameter is 0 to 4095, not {parameter!r}", ErrorCode.INVALID_PARAMETER)
        self._set(FeatureState.VALUE1, float(parameter))

    @property
    def polarity(self) -> str:
        """``"high"`` or ``"low"``: the edge or level that triggers."""
        return "high" if self._camera.registers[FEATURE_CONTROL(self.id)] & POLARITY else "low"

    @polarity.setter
    def polarity(self, polarity: str) -> None:
        if polarity not in ("high", "low"):
            raise ArgumentError(f"trigger polarity is 'high' or 'low', not {polarity!r}", ErrorCode.INVALID_PARAMETER)
        if not self._camera.registers[FEATURE_INQ(self.id)] & POLARITY_INQ:
            raise NotSupportedError(f"camera {self._camera.index} has a trigger of fixed polarity",
                                    ErrorCode.NOT_SUPPORTED)
        self._set(FeatureState.POLARITY_HIGH if polarity == "high" else FeatureState.POLARITY_LOW)


class Features(Mapping[str, Feature]):
    """The camera's features by name (``gain``, ``shutter``,
    ``white-balance``...; ``_`` may stand for ``-``), a read-only mapping of
    the features the camera has. The trigger is ``Camera.trigger``."""

    def __init__(self, camera: Device):
        self._camera = camera

    def _feature(self, name: str) -> Feature:
        key = name.lower().replace("_", "-") if isinstance(name, str) else name
        if key not in FEATURES:
            hint = ": the trigger is Camera.trigger" if key == "trigger" else f": use one of {', '.join(FEATURES)}"
            raise FeatureNotFoundError(f"unknown feature {name!r}{hint}", ErrorCode.INVALID_FEATURE)
        return Feature(self._camera, key, FEATURES[key])

    def __getitem__(self, name: str) -> Feature:
        feature = self._feature(name)
        if not feature.present:
            raise FeatureNotFoundError(f"camera {self._camera.index} has no {feature.name}", ErrorCode.NOT_SUPPORTED)
        return feature

    def __iter__(self) -> Iterator[str]:
        return iter([name for name in FEATURES if self._feature(name).present])

    def __len__(self) -> int:
        return len(list(iter(self)))

    def __repr__(self) -> str:
        return f"<iidc features of camera {self._camera.index}: {', '.join(self)}>"
