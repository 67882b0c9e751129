// IIDC register offsets, relative to the command-register base (initial
// register space + 0xF00000). Offsets wrap modulo 2^32, so registers below the
// base (the configuration ROM, CSRs placed low) have offsets near 2^32.
#pragma once

#include <cstdint>

namespace vcam {

// Distance from the start of the initial register space to the command base.
constexpr std::uint32_t COMMAND_BASE = 0xF00000;
// The configuration ROM starts at initial register space + 0x400.
constexpr std::uint32_t ROM_OFFSET = 0x400u - COMMAND_BASE;  // 0xFF100400
constexpr std::uint32_t ROM_MAX_BYTES = 0x400;               // ROM space is 1 KiB

// Command offset of a CSR whose address is given as a quadlet offset from the
// start of the initial register space (V_CSR_INQ_7_m, absolute-value offsets).
constexpr std::uint32_t CsrQuadletToOffset(std::uint32_t q) { return 4u * q - COMMAND_BASE; }
constexpr std::uint32_t OffsetToCsrQuadlet(std::uint32_t off) { return (off + COMMAND_BASE) / 4u; }
constexpr std::uint32_t RomByteToOffset(std::uint32_t x) { return ROM_OFFSET + x; }

// A register's 48-bit address 0xFFFF xxxx xxxx as camera documents write it,
// by its lower 32 bits: the command-register base is 0xF0F00000 there.
constexpr std::uint32_t COMMAND_BASE_ADDRESS = 0xF0F00000;
constexpr std::uint32_t INITIAL_SPACE_ADDRESS = 0xF0000000;
constexpr std::uint32_t AddressToOffset(std::uint32_t a) { return a - COMMAND_BASE_ADDRESS; }
constexpr std::uint32_t OffsetToAddress(std::uint32_t off) { return off + COMMAND_BASE_ADDRESS; }

// Camera initialise and inquiry registers.
constexpr std::uint32_t INITIALIZE = 0x000;
constexpr std::uint32_t V_FORMAT_INQ = 0x100;
constexpr std::uint32_t V_MODE_INQ_BASE = 0x180;  // + 4 * format
constexpr std::uint32_t V_RATE_INQ_BASE = 0x200;  // + 32 * format + 4 * mode
constexpr std::uint32_t V_CSR_INQ_7_BASE = 0x2E0; // + 4 * mode
constexpr std::uint32_t BASIC_FUNC_INQ = 0x400;
constexpr std::uint32_t FEATURE_HI_INQ = 0x404;
constexpr std::uint32_t FEATURE_LO_INQ = 0x408;
constexpr std::uint32_t OPT_FUNCTION_INQ = 0x40C;
constexpr std::uint32_t ADVANCED_FEATURE_INQ = 0x480;
constexpr std::uint32_t FEATURE_INQ_BASE = 0x500;  // + feature id
constexpr std::uint32_t ABS_CSR_OFFSET_BASE = 0x700;  // + feature id
constexpr std::uint32_t FEATURE_CONTROL_BASE = 0x800;  // + feature id
constexpr std::uint32_t FEATURE_BLOCK_BYTES = 0x100;

constexpr std::uint32_t VModeInq(std::uint32_t f) { return V_MODE_INQ_BASE + 4 * f; }
constexpr std::uint32_t VRateInq(std::uint32_t f, std::uint32_t m) { return V_RATE_INQ_BASE + 32 * f + 4 * m; }
constexpr std::uint32_t VCsrInq7(std::uint32_t m) { return V_CSR_INQ_7_BASE + 4 * m; }

// Camera status and control registers.
constexpr std::uint32_t CUR_V_FRM_RATE = 0x600;
constexpr std::uint32_t CUR_V_MODE = 0x604;
constexpr std::uint32_t CUR_V_FORMAT = 0x608;
constexpr std::uint32_t ISO_CHANNEL = 0x60C;
constexpr std::uint32_t CAMERA_POWER = 0x610;
constexpr std::uint32_t ISO_EN = 0x614;
constexpr std::uint32_t ONE_SHOT = 0x61C;  // One_Shot bit 0, Multi_Shot bit 1, count bits 16-31
constexpr std::uint32_t VMODE_ERROR_STATUS = 0x628;
constexpr std::uint32_t SOFTWARE_TRIGGER = 0x62C;  // bit 0: release the trigger once

// Feature ids (byte offsets inside each feature register block).
constexpr std::uint32_t FEATURE_BRIGHTNESS = 0;
constexpr std::uint32_t FEATURE_AUTO_EXPOSURE = 4;
constexpr std::uint32_t FEATURE_SHARPNESS = 8;
constexpr std::uint32_t FEATURE_WHITE_BALANCE = 12;
constexpr std::uint32_t FEATURE_HUE = 16;
constexpr std::uint32_t FEATURE_SATURATION = 20;
constexpr std::uint32_t FEATURE_GAMMA = 24;
constexpr std::uint32_t FEATURE_SHUTTER = 28;
constexpr std::uint32_t FEATURE_GAIN = 32;
constexpr std::uint32_t FEATURE_IRIS = 36;
constexpr std::uint32_t FEATURE_FOCUS = 40;
constexpr std::uint32_t FEATURE_TEMPERATURE = 44;
constexpr std::uint32_t FEATURE_TRIGGER = 48;
constexpr std::uint32_t FEATURE_ZOOM = 128;
constexpr std::uint32_t FEATURE_PAN = 132;
constexpr std::uint32_t FEATURE_TILT = 136;
constexpr std::uint32_t FEATURE_OPTICAL_FILTER = 140;
constexpr std::uint32_t FEATURE_ID_LIMIT = 0x100;  // ids are multiples of 4 below this

// Format 7 register block fields (offsets inside the block of one mode).
constexpr std::uint32_t F7_MAX_IMAGE_SIZE_INQ = 0x00;
constexpr std::uint32_t F7_UNIT_SIZE_INQ = 0x04;
constexpr std::uint32_t F7_IMAGE_POSITION = 0x08;
constexpr std::uint32_t F7_IMAGE_SIZE = 0x0C;
constexpr std::uint32_t F7_COLOR_CODING_ID = 0x10;
constexpr std::uint32_t F7_COLOR_CODING_INQ = 0x14;
constexpr std::uint32_t F7_PIXEL_NUMBER_INQ = 0x34;
constexpr std::uint32_t F7_TOTAL_BYTES_HI_INQ = 0x38;
constexpr std::uint32_t F7_TOTAL_BYTES_LO_INQ = 0x3C;
constexpr std::uint32_t F7_PACKET_PARA_INQ = 0x40;
constexpr std::uint32_t F7_BYTE_PER_PACKET = 0x44;
constexpr std::uint32_t F7_PACKET_PER_FRAME_INQ = 0x48;
constexpr std::uint32_t F7_UNIT_POSITION_INQ = 0x4C;
constexpr std::uint32_t F7_DATA_DEPTH_INQ = 0x54;   // bits per sample in the top byte
constexpr std::uint32_t F7_COLOR_FILTER_ID = 0x58;  // the sensor's filter in the top byte
constexpr std::uint32_t F7_VALUE_SETTING = 0x7C;
constexpr std::uint32_t F7_BLOCK_BYTES = 0x80;

// What COLOR_FILTER_ID answers on a camera without a colour filter: a code
// beyond the four filters, so that a host taking the top byte as a filter
// number sees none rather than RGGB.
constexpr std::uint32_t COLOR_FILTER_ID_NONE = 0xFF000000;

// Vendor register of some colour cameras: the filter as four ASCII letters.
constexpr std::uint32_t BAYER_TILE_MAPPING = 0x1040;

// Absolute-value CSR fields.
constexpr std::uint32_t ABS_MIN = 0x0;
constexpr std::uint32_t ABS_MAX = 0x4;
constexpr std::uint32_t ABS_VALUE = 0x8;
constexpr std::uint32_t ABS_CSR_BYTES = 0xC;

// Where generated profiles place the CSRs the inquiry offsets point to, clear
// of the vendor registers (BAYER_TILE_MAPPING) from 0x1000 on.
constexpr std::uint32_t F7_BLOCKS_AT = 0x4000;      // mode m at + 0x100 * m
constexpr std::uint32_t ABS_CSRS_AT = 0x2000;       // feature id at + 4 * id (16 bytes each)

// IIDC bit n of a quadlet (bit 0 is the most significant).
constexpr std::uint32_t Bit(unsigned n) { return 0x80000000u >> n; }

// Feature element inquiry bits (0x500 + id).
constexpr std::uint32_t INQ_PRESENCE = Bit(0);
constexpr std::uint32_t INQ_ABS_CONTROL = Bit(1);
constexpr std::uint32_t INQ_ONE_PUSH = Bit(3);
constexpr std::uint32_t INQ_READOUT = Bit(4);
constexpr std::uint32_t INQ_ON_OFF = Bit(5);
constexpr std::uint32_t INQ_AUTO = Bit(6);
constexpr std::uint32_t INQ_MANUAL = Bit(7);
constexpr std::uint32_t TRIGGER_INQ_POLARITY = Bit(6);
constexpr std::uint32_t TRIGGER_INQ_SOFTWARE = Bit(15);  // SOFTWARE_TRIGGER is there
constexpr std::uint32_t TRIGGER_INQ_MODE0 = Bit(16);  // mode k is Bit(16 + k)

// Feature status and control bits (0x800 + id).
constexpr std::uint32_t CTL_PRESENCE = Bit(0);
constexpr std::uint32_t CTL_ABS_CONTROL = Bit(1);
constexpr std::uint32_t CTL_ONE_PUSH = Bit(5);
constexpr std::uint32_t CTL_ON_OFF = Bit(6);
constexpr std::uint32_t CTL_AUTO = Bit(7);
constexpr std::uint32_t TRIGGER_POLARITY = Bit(7);
constexpr std::uint32_t TRIGGER_VALUE = Bit(11);
constexpr unsigned TRIGGER_MODE_SHIFT = 16;  // Trigger_Mode is bits 12-15
constexpr std::uint32_t VALUE_LO_MASK = 0xFFF;  // bits 20-31
constexpr unsigned VALUE_HI_SHIFT = 12;          // bits 8-19

// BASIC_FUNC_INQ bits.
constexpr std::uint32_t BASIC_CAM_POWER = Bit(16);
constexpr std::uint32_t BASIC_ONE_SHOT = Bit(19);
constexpr std::uint32_t BASIC_MULTI_SHOT = Bit(20);

// VALUE_SETTING bits.
constexpr std::uint32_t VS_PRESENCE = Bit(0);
constexpr std::uint32_t VS_SETTING_1 = Bit(1);
constexpr std::uint32_t VS_ERROR_FLAG_1 = Bit(8);
constexpr std::uint32_t VS_ERROR_FLAG_2 = Bit(9);

}  // namespace vcam
