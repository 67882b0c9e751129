#include <string>

#include "camera_fixture.h"
#include "vcam/model/config_rom.h"

namespace vcam::test {
namespace {

TEST(ConfigRom, NamesOfEveryLengthRoundTrip) {
  for (std::size_t n = 0; n <= 13; ++n) {
    const std::string name(n, static_cast<char>('a' + n));
    const RomIdentity id = WalkConfigRom(BuildConfigRom(name, name + "-M", 42));
    EXPECT_EQ(id.strError, "") << n;
    EXPECT_TRUE(id.bCrcOk);
    EXPECT_EQ(id.strVendor, name);
    EXPECT_EQ(id.strModel, name + "-M");
    EXPECT_EQ(id.ullUniqueId, 42u);
  }
}

// A ROM laid out differently from the generated one: the unit directory is the
// root's second entry, the unit directory has an entry the walk must step
// over, and the model leaf comes before the vendor leaf.
std::vector<std::uint32_t> HandMadeRom() {
  return {
      0x04040000, BUS_NAME_1394, 0x20FF8002, 0x00112233, 0x44556677,  // 0: bus information block
      0x00020000, 0x03001122, 0xD1000007,                              // 5: root -> unit at 14
      0, 0, 0, 0, 0, 0,                                                // 8: unused
      0x00040000, 0x1200A02D, 0x13000102, 0x38000001, 0xD4000001,      // 14: unit -> dependent at 19
      0x00030000, 0x403C0000, 0x82000002, 0x81000005,                  // 19: model at 23, vendor at 27
      0x00030000, 0, 0, 0x4D4F444C,                                    // 23: "MODL"
      0x00040000, 0, 0, 0x41424344, 0x45000000,                        // 27: "ABCDE"
  };
}

TEST(ConfigRom, KeyWalkFindsNamesInAnyLayout) {
  const std::vector<std::uint32_t> rom = HandMadeRom();
  const RomIdentity id = WalkConfigRom(rom);
  EXPECT_EQ(id.strError, "");
  EXPECT_FALSE(id.bCrcOk);  // hand-made: no CRCs
  EXPECT_EQ(id.ullUniqueId, 0x0011223344556677u);
  EXPECT_EQ(id.strVendor, "ABCDE");
  EXPECT_EQ(id.strModel, "MODL");
}

TEST_F(CameraTest, ProfileRomIsServedQuadletByQuadlet) {
  Profile p = BuiltInCameraSet()[1];
  p.rawRom = HandMadeRom();
  Make(p);
  for (std::uint32_t i = 0; i < p.rawRom.size(); ++i) EXPECT_EQ(Read(ROM_OFFSET + 4 * i), p.rawRom[i]);
  std::uint32_t v = 0;
  EXPECT_EQ(m_pCamera->ReadQuadlet(ROM_OFFSET + 4 * static_cast<std::uint32_t>(p.rawRom.size()), &v), VCAM_E_ADDRESS);
}

TEST(ConfigRom, TruncatedRomsEndTheWalkCleanly) {
  const std::vector<std::uint32_t> full = BuildConfigRom("Vendor", "Model", 0x0102030405060708);
  for (std::size_t n = 0; n < full.size(); ++n) {
    const RomIdentity id = WalkConfigRom(std::span(full).first(n));
    EXPECT_NE(id.strError, "") << n;
    EXPECT_FALSE(id.strModel.has_value()) << n;  // the model leaf is the last block
  }
  EXPECT_EQ(WalkConfigRom(std::span(full).first(0)).ullUniqueId, std::nullopt);
}

TEST(ConfigRom, WrongKeysAndLengthsAreReported) {
  std::vector<std::uint32_t> rom = BuildConfigRom("V", "M", 1);
  std::vector<std::uint32_t> wrongKey = rom;
  wrongKey[9] = (wrongKey[9] & 0xFFFFFF) | 0xD2000000u;  // root's unit entry with another key
  RomIdentity id = WalkConfigRom(wrongKey);
  EXPECT_EQ(id.strError, "no IIDC unit directory");
  EXPECT_FALSE(id.strVendor.has_value());
  EXPECT_EQ(id.ullUniqueId, 1u);  // the bus information block was fine

  std::vector<std::uint32_t> longDir = rom;
  longDir[5] = 0xFFFF0000u;  // root directory claims 65535 entries
  EXPECT_NE(WalkConfigRom(longDir).strError.find("longer than the ROM"), std::string::npos);

  std::vector<std::uint32_t> shortLeaf = rom;
  shortLeaf[21] = 0x00010000u;  // vendor leaf of length 1
  id = WalkConfigRom(shortLeaf);
  EXPECT_FALSE(id.strVendor.has_value());
  EXPECT_EQ(id.strModel, "M");

  std::vector<std::uint32_t> farEntry = rom;
  farEntry[9] = 0xD1FFFFFFu;  // points 64 MiB away
  EXPECT_NE(WalkConfigRom(farEntry).strError, "");

  std::vector<std::uint32_t> corrupt = rom;
  corrupt[24] ^= 0x01000000u;  // one bit of the vendor text
  id = WalkConfigRom(corrupt);
  EXPECT_FALSE(id.bCrcOk);
  EXPECT_EQ(id.strModel, "M");
}

TEST(ConfigRom, GarbageRomsNeverReadOutOfBounds) {
  std::uint32_t seed = 12345;
  const auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed;
  };
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::uint32_t> rom(next() % 40);
    for (std::uint32_t& q : rom) {
      // Mostly small offsets and lengths, so walks get deep before failing.
      q = next();
      if (q & 1) q &= 0xFF07000F;
    }
    const RomIdentity id = WalkConfigRom(rom);  // the sanitizers catch a stray read
    if (id.strVendor) {
      EXPECT_LE(id.strVendor->size(), rom.size() * 4);
    }
  }
  // A reader that refuses every quadlet.
  const RomIdentity id = WalkConfigRom([](std::uint32_t, std::uint32_t*) { return false; }, ROM_MAX_BYTES);
  EXPECT_NE(id.strError, "");
}

}  // namespace
}  // namespace vcam::test
