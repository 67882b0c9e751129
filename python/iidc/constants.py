"""The constants of the camera library's interface (include/iidc.h) and the
IIDC register offsets the library uses (src/registers/offsets.h), under the
same names: ``IIDC_ERR_FAIL`` is ``ErrorCode.FAIL``, ``IIDC_FORMAT_SCALABLE``
is ``FORMAT_SCALABLE``, ``iidc_reg::V_CSR_INQ_7`` is ``V_CSR_INQ_7`` and
``iidc_reg::CsrOffset`` is ``csr_offset``. The package's tests compare every
name here with those two headers."""

from __future__ import annotations

from enum import IntEnum, IntFlag


class ErrorCode(IntEnum):
    """Error codes (``IIDC_ERR_*``), as iidc_getlasterror reports them."""

    CAPTURING = 0x80000101
    WAIT_ABORTED = 0x80000102
    NO_FRAMES = 0x80000103
    NOT_PREPARED = 0x80000104
    ALREADY_PREPARED = 0x80000105
    NOT_CAPTURING = 0x80000106
    ALREADY_OPEN = 0x80000107
    NOT_INITIALIZED = 0x80000111
    NO_MEMORY = 0x80000203
    NO_DEVICE = 0x80000207
    INVALID_HANDLE = 0x80000807
    INVALID_PARAMETER = 0x80000808
    INVALID_FEATURE = 0x80000809
    FORMAT_UNAVAILABLE = 0x8000080B
    NOT_SUPPORTED = 0x80000F03
    FAIL = 0x80004005


class State(IntEnum):
    """Capture states of an open camera (``IIDC_STATE_*``)."""

    CAPTURING = 1
    READY = 2
    PREPARED = 3
    OPENED = 4


class Coding(IntEnum):
    """IIDC colour codings (``IIDC_COLOR_*``)."""

    MONO8 = 0
    YUV411 = 1
    YUV422 = 2
    YUV444 = 3
    RGB8 = 4
    MONO16 = 5
    RGB16 = 6


class FeatureId(IntEnum):
    """Feature ids (``IIDC_FEATURE_*``): offsets in the feature register blocks."""

    BRIGHTNESS = 0
    AUTO_EXPOSURE = 4
    SHARPNESS = 8
    WHITE_BALANCE = 12
    HUE = 16
    SATURATION = 20
    GAMMA = 24
    SHUTTER = 28
    GAIN = 32
    IRIS = 36
    FOCUS = 40
    TEMPERATURE = 44
    TRIGGER = 48
    ZOOM = 128
    PAN = 132
    TILT = 136
    OPTICAL_FILTER = 140


class FeatureCap(IntFlag):
    """What a feature can do (``IIDC_FEATURECAP_*``, iidc_featureinfo.flags)."""

    ONOFF = 0x01
    MANUAL = 0x02
    AUTO = 0x04
    ONEPUSH = 0x08
    READOUT = 0x10
    PRESENT = 0x20
    UNITS = 0x40
    ABSOLUTE = 0x80
    TRIGGER_MODE0 = 0x100
    TRIGGER_MODE1 = 0x200
    TRIGGER_MODE2 = 0x400
    TRIGGER_MODE3 = 0x800


class FeatureState(IntFlag):
    """A feature's state and what a request sets (``IIDC_FEATURESTATE_*``)."""

    OFF = 0x01
    MANUAL = 0x02
    AUTO = 0x04
    ONEPUSH = 0x08
    UNITS = 0x40
    ABSOLUTE = 0x80
    VALUE1 = 0x1000
    VALUE2 = 0x2000
    POLARITY_LOW = 0x10000
    POLARITY_HIGH = 0x20000


class StringId(IntEnum):
    """Identity texts of iidc_getstring (``IIDC_STRING_*``)."""

    UNIQUEID = 0x80
    VENDOR = 0x81
    MODEL = 0x82


class WaitKind(IntEnum):
    """What iidc_wait waits for (``IIDC_WAIT_*``)."""

    FRAME = 2
    RING = 4


WAIT_INFINITE = 0xFFFFFFFF
UNIQUEID_LENGTH = 10
COLOR_LAST = 6
CAPABILITY_INTERFACE = 0
CAPABILITY_REVISION = 1
CAPABILITY_COLORS = 2
INTERFACE_VERSION = 0x01000000
INTERFACE_REVISION = 0x01000001
BUSTYPE_1394 = 0x00010001

FORMAT_SCALABLE = 7
FORMATID_LISTED = 0xFF700000
FORMATID_CURRENT = 0xFF600000
FORMATCAPS_STANDARD = 0x50000000
FORMATCAPS_SCALABLE = 0x60000000


def format_id(fmt: int, mode: int, color: int = 0) -> int:
    """The format id of a format, mode and colour coding (``IIDC_FORMATID``)."""
    return FORMATID_LISTED | (mode & 0xF) << 12 | (fmt & 0xF) << 8 | color & 0xFF


# ---- IIDC registers, offsets from the command-register base (iidc_reg) ----

_QUADLET = 0xFFFFFFFF  # offsets below the base wrap modulo 2**32


def IIDC_BIT(n: int) -> int:
    """IIDC numbers a quadlet's bits from the most significant one."""
    return 0x80000000 >> n


def top_three_bits(value: int) -> int:
    """The code in a CUR_V_* register."""
    return value >> 29


INITIALIZE = 0x000  # bit 0 written: every setting back to power-up
V_FORMAT_INQ = 0x100
V_MODE_INQ_7 = 0x19C


def V_MODE_INQ(fmt: int) -> int:
    return 0x180 + 4 * fmt


def V_RATE_INQ(fmt: int, mode: int) -> int:
    return 0x200 + 32 * fmt + 4 * mode


def V_CSR_INQ_7(mode: int) -> int:
    return 0x2E0 + 4 * mode


def FEATURE_INQ(feature: int) -> int:
    return 0x500 + feature


def ABS_CSR_OFFSET(feature: int) -> int:
    return 0x700 + feature


def FEATURE_CONTROL(feature: int) -> int:
    return 0x800 + feature


TRIGGER_INQ = 0x530
TRIGGER_MODE = 0x830
CUR_V_FRM_RATE = 0x600
CUR_V_MODE = 0x604
CUR_V_FORMAT = 0x608
ISO_CHANNEL = 0x60C


def csr_offset(quadlet: int) -> int:
    """A quadlet offset into the initial register space (as V_CSR_INQ_7_m and
    the absolute-value CSR offset registers hold it) as a register offset."""
    return (4 * quadlet - 0xF00000) & _QUADLET


def rom_offset(rom_address: int) -> int:
    """A configuration ROM address as a register offset."""
    return (rom_address - 0xF00000) & _QUADLET


# Fields of a Format 7 mode's register block.
F7_MAX_IMAGE_SIZE_INQ = 0x000
F7_UNIT_SIZE_INQ = 0x004
F7_IMAGE_POSITION = 0x008
F7_IMAGE_SIZE = 0x00C
F7_COLOR_CODING_ID = 0x010
F7_COLOR_CODING_INQ = 0x014
F7_BYTE_PER_PACKET = 0x044
F7_UNIT_POSITION_INQ = 0x04C
F7_COLOR_FILTER_ID = 0x058  # the sensor's colour filter, 0-3 in the top byte

# Vendor register of some Bayer cameras: the sensor's top-left 2x2 tile as
# four ASCII letters ("RGGB"), "YYYY" for none.
BAYER_TILE_MAPPING = 0x1040
