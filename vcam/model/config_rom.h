// The IEEE 1212 configuration ROM of an IIDC camera: building it from names
// and a unique id, and walking it by directory keys. Byte addresses here are
// relative to the start of the ROM (initial register space + 0x400), so ROM
// byte x is register offset RomByteToOffset(x).
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vcam {

// Directory keys (key type in the upper two bits, key id in the lower six).
constexpr std::uint8_t KEY_MODULE_VENDOR_ID = 0x03;
constexpr std::uint8_t KEY_MODEL_ID = 0x17;
constexpr std::uint8_t KEY_TEXTUAL_DESCRIPTOR_LEAF = 0x81;  // describes the entry before it
constexpr std::uint8_t KEY_NODE_CAPABILITIES = 0x0C;
constexpr std::uint8_t KEY_NODE_UNIQUE_ID_LEAF = 0x8D;
constexpr std::uint8_t KEY_UNIT_DIRECTORY = 0xD1;
constexpr std::uint8_t KEY_UNIT_SPEC_ID = 0x12;
constexpr std::uint8_t KEY_UNIT_SW_VERSION = 0x13;
constexpr std::uint8_t KEY_UNIT_DEPENDENT_DIRECTORY = 0xD4;
constexpr std::uint8_t KEY_COMMAND_REGS_BASE = 0x40;
constexpr std::uint8_t KEY_VENDOR_NAME_LEAF = 0x81;
constexpr std::uint8_t KEY_MODEL_NAME_LEAF = 0x82;

constexpr std::uint32_t IIDC_UNIT_SPEC_ID = 0x00A02D;
constexpr std::uint32_t IIDC_UNIT_SW_VERSION_131 = 0x000102;
constexpr std::uint32_t BUS_NAME_1394 = 0x31333934;  // "1394"

// CRC-16 of IEEE 1212 (polynomial x^16 + x^12 + x^5 + 1) over quadlets.
std::uint16_t RomCrc16(std::span<const std::uint32_t> quadlets);

// The ROM in the common IIDC layout: bus information block (unique id in
// quadlets 3 and 4), root directory whose fourth entry (byte 0x24) leads to
// the unit directory, whose third entry leads to the unit-dependent directory,
// whose second and third entries lead to the vendor and model name leaves.
// Names longer than 128 bytes are cut there.
std::vector<std::uint32_t> BuildConfigRom(const std::string& strVendor, const std::string& strModel,
                                          std::uint64_t ullUniqueId);

// What a key-based walk of a ROM found. Fields stay empty where the ROM does
// not lead to them; strError names the first problem met (empty when none).
// Names come from the IIDC unit-dependent directory's leaves (keys 0x81 and
// 0x82) and, where it has none, from the textual descriptor leaves that follow
// a vendor (0x03) or model (0x17) entry of the unit directory, else of the
// root directory.
struct RomIdentity {
  std::optional<std::uint64_t> ullUniqueId;
  std::optional<std::string> strVendor;  // leaf text without trailing zeros
  std::optional<std::string> strModel;
  std::optional<std::uint32_t> dwCommandBase;  // quadlet offset of key 0x40
  bool bCrcOk = true;                          // every block walked had its CRC
  std::string strError;
};

// Reads the ROM quadlet at byte nByte; false when it cannot be read.
using RomReader = std::function<bool(std::uint32_t nByte, std::uint32_t* pdwQuadlet)>;

// Pure, bounds-checked walk by keys: every hop is checked against cbRom and
// against the reader's answer, so truncated or garbage ROMs end the walk with
// strError set, never out of bounds.
RomIdentity WalkConfigRom(const RomReader& read, std::uint32_t cbRom);
RomIdentity WalkConfigRom(std::span<const std::uint32_t> rom);

// Bytes of the ROM that its blocks declare: the bus information block and its
// CRC range, and every directory and leaf reachable from the root directory
// (each visited once). At most cbRom.
std::uint32_t RomExtent(const RomReader& read, std::uint32_t cbRom);

}  // namespace vcam
