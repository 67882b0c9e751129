// Identity texts read through a configuration ROM laid out by hand, other
// than the virtual cameras lay theirs out, and leaves too short for a text.
#include <string>

#include "tests/support/camera_fixture.h"

namespace {

std::string Text(int32_t index, uint32_t id, int32_t* pResult = nullptr) {
  char buffer[256] = {};
  const int32_t n = iidc_getstring(index, id, buffer, sizeof buffer);
  if (pResult) *pResult = n;
  return std::string(buffer, n > 0 ? n : 0);
}

// Quadlet by quadlet from ROM byte 0x400: bus information block, root
// directory, unit directory, unit-dependent directory and the two name
// leaves ("ACME", "XC-75" padded to 8 bytes).
std::vector<uint32_t> HandMadeRom(uint32_t modelLeafHeader = 0x00040000) {
  return {
      0x04040000, 0x31333934, 0x20FF5003, 0x00ABCD12, 0x3456789A,  // 0x400 bus information block
      0x00040000, 0x0300ABCD, 0x81000010, 0x0C0083C0, 0xD1000001,  // 0x414 root; 0x424 -> unit dir
      0x00030000, 0x1200A02D, 0x13000102, 0xD4000001,              // 0x428 unit dir; 0x434 -> 0x438
      0x00030000, 0x403C0000, 0x81000002, 0x82000005,              // 0x438 unit-dependent dir
      0x00030000, 0x00000000, 0x00000000, 0x41434D45,              // 0x448 vendor leaf
      modelLeafHeader, 0x00000000, 0x00000000, 0x58432D37, 0x35000000,  // 0x458 model leaf
  };
}

class IdentityTest : public CCameraTest {};

TEST_F(IdentityTest, RomGivenQuadletByQuadlet) {
  std::vector<vcam::Profile> set = vcam::BuiltInCameraSet();
  set[1].rawRom = HandMadeRom();
  Start(set);
  for (int pass = 0; pass < 2; ++pass) {  // closed, then open
    EXPECT_EQ(Text(1, IIDC_STRING_UNIQUEID), "123456789a");
    EXPECT_EQ(Text(1, IIDC_STRING_VENDOR), "ACME");
    EXPECT_EQ(Text(1, IIDC_STRING_MODEL), std::string("XC-75\0\0\0", 8));
    if (pass == 0) {
      ASSERT_NE(iidc_open(1), nullptr);
    }
  }
}

TEST_F(IdentityTest, ShortLeavesGiveEmptyTexts) {
  for (uint32_t header : {0x00020000u, 0x00010000u, 0x00000000u}) {
    std::vector<vcam::Profile> set = vcam::BuiltInCameraSet();
    set[0].rawRom = HandMadeRom(header);
    Start(set);
    int32_t result = -1;
    EXPECT_EQ(Text(0, IIDC_STRING_MODEL, &result), "");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(iidc_getlasterror(0), 0u) << "an empty name is no failure";
    EXPECT_EQ(iidc_getstring(0, IIDC_STRING_MODEL, nullptr, 0), 0);
    iidc_uninit();
  }
}

}  // namespace
