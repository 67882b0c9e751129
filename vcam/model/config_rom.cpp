#include "vcam/model/config_rom.h"

#include <algorithm>
#include <set>
#include <utility>

#include "vcam/model/offsets.h"

namespace vcam {
namespace {

constexpr std::size_t MAX_NAME_BYTES = 128;
constexpr std::uint32_t BUS_CAPABILITIES = 0x20FF8002;  // isc, cyc_clk_acc 0xFF, max_rec 8, S400
constexpr std::uint32_t NODE_CAPABILITIES = 0x0083C0;

constexpr std::uint32_t Entry(std::uint8_t key, std::uint32_t value) {
  return static_cast<std::uint32_t>(key) << 24 | (value & 0xFFFFFF);
}

// Appends a block (header + body) whose header carries length and CRC.
void AppendBlock(std::vector<std::uint32_t>& rom, const std::vector<std::uint32_t>& body) {
  rom.push_back(static_cast<std::uint32_t>(body.size()) << 16 | RomCrc16(body));
  rom.insert(rom.end(), body.begin(), body.end());
}

std::vector<std::uint32_t> TextLeafBody(const std::string& strText) {
  const std::size_t n = std::min(strText.size(), MAX_NAME_BYTES);
  std::vector<std::uint32_t> body = {0, 0};  // textual descriptor, minimal ASCII
  for (std::size_t i = 0; i < n; i += 4) {
    std::uint32_t q = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const unsigned char c = i + k < n ? static_cast<unsigned char>(strText[i + k]) : 0;
      q |= static_cast<std::uint32_t>(c) << (24 - 8 * k);
    }
    body.push_back(q);
  }
  return body;
}

class CRomWalk {
public:
  CRomWalk(const RomReader& read, std::uint32_t cbRom) : m_read(read), m_cbRom(cbRom) {}

  RomIdentity Run() {
    std::uint32_t q0 = 0;
    if (!Read(0, &q0, "bus information block")) return m_id;
    const std::uint32_t nBusInfo = q0 >> 24;
    if (nBusInfo >= 4) {
      std::uint32_t qHi = 0, qLo = 0;
      if (Read(12, &qHi, "unique id") && Read(16, &qLo, "unique id"))
        m_id.ullUniqueId = std::uint64_t{qHi} << 32 | qLo;
      const std::uint32_t nCrcLength = (q0 >> 16) & 0xFF;
      CheckCrc(4, nCrcLength, q0 & 0xFFFF);
    } else {
      Fail("bus information block shorter than 4 quadlets");
    }
    WalkRoot(4 + 4 * nBusInfo);
    // The IIDC leaves first, then the descriptors nearest to the unit.
    for (const Names* pNames : {&m_unitNames, &m_rootNames}) {
      if (!m_id.strVendor) m_id.strVendor = pNames->strVendor;
      if (!m_id.strModel) m_id.strModel = pNames->strModel;
    }
    return m_id;
  }

  std::uint32_t Extent() {
    std::uint32_t q0 = 0;
    if (!Read(0, &q0, "bus information block")) return 0;
    const std::uint64_t nRoot = 4 + 4ull * (q0 >> 24);
    Reach(4 + 4ull * std::max(q0 >> 24, (q0 >> 16) & 0xFF));
    std::set<std::uint64_t> directories = {nRoot}, seen;
    std::vector<std::uint64_t> pending = {nRoot};
    while (!pending.empty()) {
      const std::uint64_t nBlock = pending.back();
      pending.pop_back();
      if (!seen.insert(nBlock).second) continue;
      const auto block = OpenBlock(nBlock, "block");
      if (!block) continue;
      Reach(block->nStart + 4 + 4ull * block->nLength);
      if (!directories.count(nBlock)) continue;  // a leaf
      ForEachEntry(*block, "directory", [&](std::uint8_t key, std::uint32_t nEntry, std::uint32_t q) {
        const unsigned nType = key >> 6;
        if (nType == KEY_TYPE_DIRECTORY) directories.insert(Target(nEntry, q));
        if (nType == KEY_TYPE_LEAF || nType == KEY_TYPE_DIRECTORY) pending.push_back(Target(nEntry, q));
        return true;
      });
    }
    return m_cbExtent;
  }

private:
  static constexpr unsigned KEY_TYPE_LEAF = 2, KEY_TYPE_DIRECTORY = 3;

  struct Names {
    std::optional<std::string> strVendor, strModel;
  };
  struct Directory {
    std::uint32_t nStart = 0;   // byte of the header
    std::uint32_t nLength = 0;  // entries
  };

  void Reach(std::uint64_t nEnd) {
    m_cbExtent = static_cast<std::uint32_t>(std::clamp<std::uint64_t>(nEnd, m_cbExtent, m_cbRom));
  }

  // A textual descriptor leaf names the vendor or model entry just before it.
  void NoteDescriptor(Names& names, std::uint8_t keyBefore, std::uint8_t key, std::uint32_t nEntry, std::uint32_t q) {
    std::optional<std::string>* pName = keyBefore == KEY_MODULE_VENDOR_ID ? &names.strVendor
                                        : keyBefore == KEY_MODEL_ID       ? &names.strModel
                                                                          : nullptr;
    if (key == KEY_TEXTUAL_DESCRIPTOR_LEAF && pName && !*pName) *pName = ReadText(Target(nEntry, q));
  }

  bool Read(std::uint64_t nByte, std::uint32_t* pq, const char* what) {
    if (nByte % 4 != 0 || nByte + 4 > m_cbRom || !m_read(static_cast<std::uint32_t>(nByte), pq)) {
      Fail(std::string(what) + " outside the ROM at byte " + std::to_string(nByte));
      return false;
    }
    return true;
  }

  void Fail(std::string strWhy) {
    if (m_id.strError.empty()) m_id.strError = std::move(strWhy);
  }

  // CRC over nLength quadlets starting at byte nStart; a block that cannot be
  // read is reported by Read, not as a CRC error.
  void CheckCrc(std::uint32_t nStart, std::uint32_t nLength, std::uint32_t wExpected) {
    std::vector<std::uint32_t> body(nLength);
    for (std::uint32_t i = 0; i < nLength; ++i)
      if (!Read(std::uint64_t{nStart} + 4 * i, &body[i], "CRC range")) return;
    if (RomCrc16(body) != wExpected) m_id.bCrcOk = false;
  }

  std::optional<Directory> OpenBlock(std::uint64_t nByte, const char* what) {
    std::uint32_t qHeader = 0;
    if (!Read(nByte, &qHeader, what)) return std::nullopt;
    Directory dir{static_cast<std::uint32_t>(nByte), qHeader >> 16};
    if (nByte + 4 + 4ull * dir.nLength > m_cbRom) {
      Fail(std::string(what) + " longer than the ROM");
      return std::nullopt;
    }
    CheckCrc(dir.nStart + 4, dir.nLength, qHeader & 0xFFFF);
    return dir;
  }

  // Address an entry at byte nEntry points to (IEEE 1212: quadlets from the entry).
  static std::uint64_t Target(std::uint32_t nEntry, std::uint32_t qEntry) {
    return nEntry + 4ull * (qEntry & 0xFFFFFF);
  }

  // Calls fn(key, entry byte, entry quadlet) for each entry; fn returns false to stop.
  template <typename Fn>
  void ForEachEntry(const Directory& dir, const char* what, Fn fn) {
    for (std::uint32_t i = 1; i <= dir.nLength; ++i) {
      const std::uint32_t nEntry = dir.nStart + 4 * i;
      std::uint32_t q = 0;
      if (!Read(nEntry, &q, what)) return;
      if (!fn(static_cast<std::uint8_t>(q >> 24), nEntry, q)) return;
    }
  }

  void WalkRoot(std::uint32_t nRoot) {
    const auto root = OpenBlock(nRoot, "root directory");
    if (!root) return;
    bool bFound = false;
    std::uint8_t keyBefore = 0;
    ForEachEntry(*root, "root directory", [&](std::uint8_t key, std::uint32_t nEntry, std::uint32_t q) {
      NoteDescriptor(m_rootNames, std::exchange(keyBefore, key), key, nEntry, q);
      if (key == KEY_UNIT_DIRECTORY && !bFound) bFound = WalkUnit(Target(nEntry, q));  // the first IIDC unit wins
      return true;
    });
    if (!bFound) Fail("no IIDC unit directory");
  }

  bool WalkUnit(std::uint64_t nUnit) {
    const auto unit = OpenBlock(nUnit, "unit directory");
    if (!unit) return false;
    std::optional<std::uint32_t> specId;
    std::optional<std::uint64_t> dependent;
    Names names;
    std::uint8_t keyBefore = 0;
    ForEachEntry(*unit, "unit directory", [&](std::uint8_t key, std::uint32_t nEntry, std::uint32_t q) {
      NoteDescriptor(names, std::exchange(keyBefore, key), key, nEntry, q);
      if (key == KEY_UNIT_SPEC_ID) specId = q & 0xFFFFFF;
      if (key == KEY_UNIT_DEPENDENT_DIRECTORY && !dependent) dependent = Target(nEntry, q);
      return true;
    });
    if (specId && *specId != IIDC_UNIT_SPEC_ID) return false;
    m_unitNames = names;
    if (!dependent) {
      Fail("unit directory without a unit-dependent directory");
      return false;
    }
    WalkDependent(*dependent);
    return true;
  }

  void WalkDependent(std::uint64_t nDir) {
    const auto dir = OpenBlock(nDir, "unit-dependent directory");
    if (!dir) return;
    ForEachEntry(*dir, "unit-dependent directory", [&](std::uint8_t key, std::uint32_t nEntry, std::uint32_t q) {
      if (key == KEY_COMMAND_REGS_BASE) m_id.dwCommandBase = q & 0xFFFFFF;
      if (key == KEY_VENDOR_NAME_LEAF && !m_id.strVendor) m_id.strVendor = ReadText(Target(nEntry, q));
      if (key == KEY_MODEL_NAME_LEAF && !m_id.strModel) m_id.strModel = ReadText(Target(nEntry, q));
      return true;
    });
  }

  std::optional<std::string> ReadText(std::uint64_t nLeaf) {
    const auto leaf = OpenBlock(nLeaf, "textual leaf");
    if (!leaf) return std::nullopt;
    if (leaf->nLength < 2) {
      Fail("textual leaf shorter than its descriptor");
      return std::nullopt;
    }
    std::string strText;
    for (std::uint32_t i = 3; i <= leaf->nLength; ++i) {
      std::uint32_t q = 0;
      if (!Read(leaf->nStart + 4ull * i, &q, "textual leaf")) return std::nullopt;
      for (int shift = 24; shift >= 0; shift -= 8) strText.push_back(static_cast<char>((q >> shift) & 0xFF));
    }
    while (!strText.empty() && strText.back() == '\0') strText.pop_back();
    return strText;
  }

  const RomReader& m_read;
  std::uint32_t m_cbRom;
  RomIdentity m_id;
  Names m_unitNames, m_rootNames;
  std::uint32_t m_cbExtent = 0;
};

}  // namespace

std::uint16_t RomCrc16(std::span<const std::uint32_t> quadlets) {
  std::uint32_t crc = 0;
  for (std::uint32_t q : quadlets) {
    for (int shift = 28; shift >= 0; shift -= 4) {
      const std::uint32_t sum = ((crc >> 12) ^ (q >> shift)) & 0xF;
      crc = (crc << 4) ^ (sum << 12) ^ (sum << 5) ^ sum;
    }
    crc &= 0xFFFF;
  }
  return static_cast<std::uint16_t>(crc);
}

std::vector<std::uint32_t> BuildConfigRom(const std::string& strVendor, const std::string& strModel,
                                          std::uint64_t ullUniqueId) {
  const std::uint32_t dwHi = static_cast<std::uint32_t>(ullUniqueId >> 32);
  const std::uint32_t dwLo = static_cast<std::uint32_t>(ullUniqueId);
  const std::uint32_t dwVendorId = dwHi >> 8;
  const std::vector<std::uint32_t> vendorLeaf = TextLeafBody(strVendor);

  std::vector<std::uint32_t> rom;
  const std::vector<std::uint32_t> busInfo = {BUS_NAME_1394, BUS_CAPABILITIES, dwHi, dwLo};
  rom.push_back(4u << 24 | 4u << 16 | RomCrc16(busInfo));
  rom.insert(rom.end(), busInfo.begin(), busInfo.end());
  // Root directory at quadlet 5; its entries are quadlets 6-9. The unique-id
  // leaf follows at 10-12, the unit directory at 13-16, the unit-dependent
  // directory at 17-20, then the two name leaves.
  AppendBlock(rom, {Entry(KEY_MODULE_VENDOR_ID, dwVendorId), Entry(KEY_NODE_CAPABILITIES, NODE_CAPABILITIES),
                    Entry(KEY_NODE_UNIQUE_ID_LEAF, 10 - 8), Entry(KEY_UNIT_DIRECTORY, 13 - 9)});
  AppendBlock(rom, {dwHi, dwLo});
  AppendBlock(rom, {Entry(KEY_UNIT_SPEC_ID, IIDC_UNIT_SPEC_ID), Entry(KEY_UNIT_SW_VERSION, IIDC_UNIT_SW_VERSION_131),
                    Entry(KEY_UNIT_DEPENDENT_DIRECTORY, 17 - 16)});
  const std::uint32_t nVendorLeaf = 21;
  const std::uint32_t nModelLeaf = nVendorLeaf + 1 + static_cast<std::uint32_t>(vendorLeaf.size());
  AppendBlock(rom, {Entry(KEY_COMMAND_REGS_BASE, COMMAND_BASE / 4), Entry(KEY_VENDOR_NAME_LEAF, nVendorLeaf - 19),
                    Entry(KEY_MODEL_NAME_LEAF, nModelLeaf - 20)});
  AppendBlock(rom, vendorLeaf);
  AppendBlock(rom, TextLeafBody(strModel));
  return rom;
}

RomIdentity WalkConfigRom(const RomReader& read, std::uint32_t cbRom) {
  return CRomWalk(read, cbRom).Run();
}

std::uint32_t RomExtent(const RomReader& read, std::uint32_t cbRom) { return CRomWalk(read, cbRom).Extent(); }

RomIdentity WalkConfigRom(std::span<const std::uint32_t> rom) {
  const RomReader read = [rom](std::uint32_t nByte, std::uint32_t* pq) {
    if (nByte / 4 >= rom.size()) return false;
    *pq = rom[nByte / 4];
    return true;
  };
  const std::size_t cb = std::min<std::size_t>(rom.size() * 4, 0xFFFFFFFFu);
  return WalkConfigRom(read, static_cast<std::uint32_t>(cb));
}

}  // namespace vcam
