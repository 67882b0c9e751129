// What only the real capture graph on a virtual camera shows: a change of
// format, rate or area takes the graph down to the capture filter alone, the
// area reaches the driver as its request block, and the packet figure and
// the listed codings of Format 7 come from the mode's own registers.
#include <array>
#include <functional>
#include <utility>

#include "tests/support/camera_fixture.h"
#include "vcam/model/offsets.h"

namespace {

class FormatGraphTest : public CCameraTest {
 protected:
  static int FiltersInGraph(iidc_handle h) {
    ComPtr<IEnumFilters> pEnum;
    EXPECT_EQ(Camera(h).m_pGraph->EnumFilters(pEnum.ReleaseAndGetAddressOf()), S_OK);
    int n = 0;
    ComPtr<IBaseFilter> pFilter;
    while (pEnum->Next(1, pFilter.ReleaseAndGetAddressOf(), nullptr) == S_OK) ++n;
    return n;
  }

  static bool CaptureOutputConnected(iidc_handle h) {
    ComPtr<IEnumPins> pEnum;
    Camera(h).m_pCaptureFilter->EnumPins(pEnum.ReleaseAndGetAddressOf());
    ComPtr<IPin> pPin;
    while (pEnum->Next(1, pPin.ReleaseAndGetAddressOf(), nullptr) == S_OK) {
      ComPtr<IPin> pPeer;
      if (SUCCEEDED(pPin->ConnectedTo(pPeer.ReleaseAndGetAddressOf())) && pPeer) return true;
    }
    return false;
  }

  static uint32_t Register(iidc_handle h, uint32_t offset) {
    uint32_t value = 0;
    EXPECT_EQ(iidc1394_asyncreadquadlet(h, offset, &value, 4), 4) << std::hex << offset;
    return value;
  }
  static void SetRegister(iidc_handle h, uint32_t offset, uint32_t value) {
    EXPECT_EQ(iidc1394_asyncwritequadlet(h, offset, &value, 4), 4) << std::hex << offset;
  }
};

TEST_F(FormatGraphTest, ChangesTakeTheGraphDownToTheCaptureFilter) {
  const std::pair<const char*, std::function<void(iidc_handle)>> changes[] = {
      {"format", [](iidc_handle h) { EXPECT_TRUE(iidc_setformat(h, IIDC_FORMATID(0, 5, 0))); }},
      {"rate", [](iidc_handle h) { EXPECT_EQ(iidc_setframerate(h, 15.0f), 15.0f); }},
      {"area", [](iidc_handle h) {
         const iidc_area area{0, 0, 320, 240};
         iidc_setarea(h, &area, sizeof area);
       }},
  };
  iidc_handle h = Open(0);
  for (const auto& [pszName, change] : changes) {
    SCOPED_TRACE(pszName);
    ASSERT_TRUE(iidc_preparecapture(h));
    EXPECT_EQ(FiltersInGraph(h), 3);
    change(h);
    EXPECT_EQ(FiltersInGraph(h), 1);
    EXPECT_FALSE(CaptureOutputConnected(h));
    EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_OPENED);
    EXPECT_FALSE(Camera(h).m_pGrabber);
    EXPECT_FALSE(Camera(h).m_pDroppedFrames);
  }
}

// The rectangle goes to the driver as it is, in the 64-byte request: the four
// fields at bytes 24 to 39, little-endian, then 1, and zero elsewhere.
TEST_F(FormatGraphTest, AreaReachesTheDriverAsItsRequestBlock) {
  iidc_handle h = Open(0);
  const int32_t fields[] = {-8, 16, 320, 240, 1};
  const iidc_area area{fields[0], fields[1], fields[2], fields[3]};
  iidc_setarea(h, &area, sizeof area);  // the camera refuses it; what arrived counts
  const auto request = vcam::GetDriverLog(0)->LastAreaRequest();
  ASSERT_TRUE(request);
  EXPECT_EQ(request->cbBlock, 64u);
  std::array<BYTE, 64> expected{};
  for (size_t i = 0; i < 20; ++i) {
    expected[24 + i] = static_cast<BYTE>(static_cast<uint32_t>(fields[i / 4]) >> (8 * (i % 4)));
  }
  EXPECT_EQ(request->block, expected);
}

// A Format 7 mode whose coding inquiry also sets the reserved bits, as some
// cameras do: each coding there is, listed and counted once, and no other.
TEST_F(FormatGraphTest, ReservedColourCodingsAreNoFormats) {
  std::vector<vcam::Profile> set = vcam::BuiltInCameraSet();
  set[0].rawRegisters[vcam::F7_BLOCKS_AT + vcam::F7_COLOR_CODING_INQ] = 0xFFFFFFFF;  // mode 0
  Start(set);
  iidc_handle h = Open(0);
  uint32_t ids[32];
  ASSERT_EQ(iidc_getformatidlist(h, ids, sizeof ids), 4 * (11 + 7 + 3)) << "11 standard modes; 7 + 3 codings";
  EXPECT_EQ(iidc_getformatcount(h), 11 + 7 + 3);
  for (uint32_t c = 0; c <= IIDC_COLOR_LAST; ++c) EXPECT_EQ(ids[11 + c], IIDC_FORMATID(7, 0, c));
}

// The colour camera's Format 7 mode 0, entered through its registers: the
// packet figure is the mode's bytes per packet in quadlets; without a
// readable block the frame size stands in.
TEST_F(FormatGraphTest, IsoFiguresOfFormat7) {
  iidc_handle h = Open(0);
  SetRegister(h, 0x608, 7u << 29);  // CUR_V_FORMAT
  SetRegister(h, 0x604, 0);         // CUR_V_MODE
  const uint32_t block = 4 * Register(h, 0x2E0) - 0xF00000u;  // V_CSR_INQ_7_0
  const uint32_t dwBytesPerPacket = Register(h, block + 0x044) >> 16;
  ASSERT_GT(dwBytesPerPacket, 0u);
  ASSERT_TRUE(iidc_preparecapture(h));
  ASSERT_EQ(iidc_allocframe(h, 2), 2);
  ASSERT_TRUE(iidc_capture(h, 1));
  iidc1394_isotransmissioninfo iso{0xEE, 0xEE, 0xEEEE};
  ASSERT_EQ(iidc1394_currentisotransmissioninfo(h, &iso), 4);
  EXPECT_EQ(iso.packetsize, dwBytesPerPacket / 4);
  vcam::GetCameraFaults(0)->readFailure.Set(block + 0x044, block + 0x044);
  ASSERT_EQ(iidc1394_currentisotransmissioninfo(h, &iso), 4);
  EXPECT_EQ(iso.packetsize, static_cast<uint16_t>(iidc_currentdataframebytes(h)));
  vcam::GetCameraFaults(0)->readFailure.Clear();
  EXPECT_TRUE(iidc_idle(h));
}

}  // namespace
