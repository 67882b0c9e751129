// IIDC register offsets from the command-register base, which lies 0xF00000
// bytes into the initial register space (0xFFFF F000 0000). Registers below the
// base are reached with offsets that wrap modulo 2^32. IIDC numbers the bits of
// a quadlet from the most significant one: bit n is IIDC_BIT(n).
#pragma once

#include <cstdint>

namespace iidc_reg {

constexpr uint32_t IIDC_BIT(unsigned n) { return 0x80000000u >> n; }

// The top three bits of a CUR_V_* register: its code.
constexpr uint32_t TopThreeBits(uint32_t value) { return value >> 29; }

// Bit 0 written: the camera goes back to its power-up settings.
constexpr uint32_t INITIALIZE = 0x000;
constexpr uint32_t V_FORMAT_INQ = 0x100;
constexpr uint32_t V_MODE_INQ(uint32_t format) { return 0x180 + 4 * format; }
constexpr uint32_t V_MODE_INQ_7 = 0x19C;
constexpr uint32_t V_RATE_INQ(uint32_t format, uint32_t mode) { return 0x200 + 32 * format + 4 * mode; }
constexpr uint32_t V_CSR_INQ_7(uint32_t mode) { return 0x2E0 + 4 * mode; }

constexpr uint32_t FEATURE_INQ(uint32_t id) { return 0x500 + id; }
constexpr uint32_t ABS_CSR_OFFSET(uint32_t id) { return 0x700 + id; }
constexpr uint32_t FEATURE_CONTROL(uint32_t id) { return 0x800 + id; }
constexpr uint32_t TRIGGER_INQ = 0x530;
constexpr uint32_t TRIGGER_MODE = 0x830;

constexpr uint32_t CUR_V_FRM_RATE = 0x600;
constexpr uint32_t CUR_V_MODE = 0x604;
constexpr uint32_t CUR_V_FORMAT = 0x608;
constexpr uint32_t ISO_CHANNEL = 0x60C;

// A quadlet offset q into the initial register space (as V_CSR_INQ_7_m and the
// absolute-value CSR offset registers hold it) as a command-register offset.
constexpr uint32_t CsrOffset(uint32_t q) { return 4 * q - 0xF00000u; }

// Format 7 register block fields.
constexpr uint32_t F7_MAX_IMAGE_SIZE_INQ = 0x000;
constexpr uint32_t F7_UNIT_SIZE_INQ = 0x004;
constexpr uint32_t F7_IMAGE_POSITION = 0x008;
constexpr uint32_t F7_IMAGE_SIZE = 0x00C;
constexpr uint32_t F7_COLOR_CODING_ID = 0x010;
constexpr uint32_t F7_COLOR_CODING_INQ = 0x014;
constexpr uint32_t F7_BYTE_PER_PACKET = 0x044;
constexpr uint32_t F7_UNIT_POSITION_INQ = 0x04C;
// The sensor's colour filter, 0-3 in the top byte (RGGB, GBRG, GRBG, BGGR).
constexpr uint32_t F7_COLOR_FILTER_ID = 0x058;

// Vendor register of some Bayer cameras: the sensor's top-left 2x2 tile as
// four ASCII letters, most significant byte first ("RGGB"); "YYYY" for none.
constexpr uint32_t BAYER_TILE_MAPPING = 0x1040;

// The configuration ROM starts at 0xFFFF F000 0400; its quadlets are named by
// their address in the initial register space (0x400 onward), so ROM address a
// is at offset a - 0xF00000 modulo 2^32.
constexpr uint32_t RomOffset(uint32_t romAddress) { return romAddress - 0xF00000u; }

} // namespace iidc_reg
