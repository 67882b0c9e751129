"""The package's constants against the library's headers, so that they cannot drift."""

import re
from pathlib import Path

from iidc import constants as C

ROOT = Path(__file__).parents[2]
GROUPS = {"ERR": C.ErrorCode, "STATE": C.State, "COLOR": C.Coding, "FEATURE": C.FeatureId, "FEATURECAP": C.FeatureCap,
          "FEATURESTATE": C.FeatureState, "STRING": C.StringId, "WAIT": C.WaitKind}
NUMBER = r"(0x[0-9A-Fa-f]+|\d+)u?\b"


def python_value(name):
    """IIDC_FEATURECAP_ONOFF is FeatureCap.ONOFF; a name of no group's is the module's."""
    rest = name.removeprefix("IIDC_")
    for group in sorted(GROUPS, key=len, reverse=True):
        member = rest.removeprefix(group + "_")
        if member in GROUPS[group].__members__:
            return GROUPS[group][member]
    return getattr(C, rest, None)


def test_the_interfaces_constants_are_the_packages():
    text = (ROOT / "include" / "iidc.h").read_text()
    defines = {name: int(value, 0) for name, value in re.findall(rf"^#define (IIDC_\w+) +{NUMBER}", text, re.M)}
    del defines["IIDC_FALSE"], defines["IIDC_TRUE"]  # Python's booleans
    assert len(defines) > 80 and {name: python_value(name) for name in defines} == defines
    assert {f"IIDC_{group}_{member.name}" for group, enum in GROUPS.items() for member in enum} <= defines.keys()


def test_the_register_offsets_are_the_librarys():
    text = re.sub(NUMBER, r"\1", (ROOT / "src" / "registers" / "offsets.h").read_text())
    values = dict(re.findall(r"constexpr uint32_t (\w+) = (\w+);", text))
    assert len(values) > 15 and {name: getattr(C, name, None) for name in values} == {
        name: int(value, 0) for name, value in values.items()}
    functions = re.findall(r"constexpr uint32_t (\w+)\(([^)]*)\) \{ return ([^;]+); \}", text)
    for name, parameters, body in functions:
        python = getattr(C, name if name.isupper() else re.sub(r"(?<!^)([A-Z])", r"_\1", name).lower(), None)
        arguments = [p.split()[-1] for p in parameters.split(",")]
        for sample in (0, 1, 7, 0xF00400):
            scope = dict.fromkeys(arguments, sample)
            assert python(*scope.values()) == eval(body, {}, scope) & 0xFFFFFFFF, (name, sample)
    assert len(functions) > 8
