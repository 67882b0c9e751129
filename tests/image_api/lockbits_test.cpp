// Colour images of captured frames through iidc_lockbits, checked whole
// against the defined formulas worked out independently (colour_oracle), on
// virtual cameras whose frames come only when a test steps their clock.
#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "colour_oracle.h"
#include "core/library.h"
#include "image/video.h"
#include "registers/offsets.h"
#include "tests/support/camera_fixture.h"
#include "vcam/model/pattern.h"

namespace {

constexpr DWORD MARK = 0x0BADC0DE;  // a code no call records

vcam::Profile ColourCamera(const std::string& strModel) {
  vcam::Profile profile = vcam::BuiltInCameraSet()[0];
  profile.strModel = strModel;
  return profile;
}

// A camera that starts in Format 7 mode 0 with the given coding and image
// area, on a sensor of up to 64 x 16 pixels with one-pixel steps.
vcam::Profile Format7Camera(uint32_t nColour, uint32_t nWidth, uint32_t nHeight) {
  vcam::Profile profile;
  profile.strFriendlyName = "Area Camera";
  profile.strVendor = "Test Vendor";
  profile.strModel = "AREA-1";
  profile.ullUniqueId = 0x00A0B0C0D0E0F002ull;
  vcam::Format7ModeProfile mode;
  mode.nMaxWidth = 64;
  mode.nMaxHeight = 16;
  mode.colorCodings = {IIDC_COLOR_MONO8, IIDC_COLOR_YUV411, IIDC_COLOR_YUV422, IIDC_COLOR_YUV444, IIDC_COLOR_RGB8,
                       IIDC_COLOR_MONO16};
  mode.nColor = nColour;
  mode.nWidth = nWidth;
  mode.nHeight = nHeight;
  profile.format7Modes = {mode};
  profile.nInitialFormat = IIDC_FORMAT_SCALABLE;
  profile.nInitialMode = 0;
  return profile;
}

class LockBitsTest : public CCameraTest {
 protected:
  // Opens camera 0 of set (in its power-up format, or in Format 0 mode nMode
  // when given), with a ring of two (the library's, or the caller's),
  // capturing; one frame has arrived.
  void StartCapture(std::vector<vcam::Profile> set, int nMode = -1, bool bCallerRing = false) {
    Start(std::move(set));
    m_h = Open(0);
    if (nMode >= 0) {
      ASSERT_TRUE(iidc_setformat(m_h, IIDC_FORMATID(0, nMode, 0)));
    }
    ASSERT_TRUE(iidc_preparecapture(m_h));
    m_ring.assign(2, std::vector<BYTE>(size_t(iidc_currentdataframebytes(m_h))));
    BYTE* ring[] = {m_ring[0].data(), m_ring[1].data()};
    ASSERT_EQ(bCallerRing ? iidc_attachbuffer(m_h, ring, sizeof ring) : iidc_allocframe(m_h, 2), 2);
    ASSERT_TRUE(iidc_capture(m_h, 1));
    Deliver(m_h, 1);
  }
  // A copy of ring buffer index, the newest when -1.
  std::vector<uint8_t> Frame(int32_t index = -1) const {
    const CCamera& camera = Camera(m_h);
    const BYTE* p = camera.m_ppFrames[index < 0 ? camera.m_pCallback->CurrentIndex() : index];
    return {p, p + camera.m_cbFrame};
  }
  std::vector<uint8_t> Image(int nWidth, int nHeight) const {
    const BYTE* p = Camera(m_h).m_pRgbBuffer;
    return {p, p + ImageStride(nWidth) * size_t(nHeight)};
  }
  // Fills the conversion buffer and marks the slot, so that a call that
  // writes or records nothing shows.
  void Mark() const {
    std::memset(Camera(m_h).m_pRgbBuffer, 0xA5, Camera(m_h).m_cbRgbBuffer);
    SetErrorCode(0, MARK);
  }
  bool ConversionBufferUntouched() const {
    const CCamera& camera = Camera(m_h);
    return std::all_of(camera.m_pRgbBuffer, camera.m_pRgbBuffer + camera.m_cbRgbBuffer,
                       [](BYTE b) { return b == 0xA5; });
  }
  iidc_handle m_h = nullptr;
  std::vector<std::vector<BYTE>> m_ring;
};

// Widths that are not a multiple of a converter's group: each row is
// converted whole, into rows padded to a multiple of 4 bytes. An 8-bit grey
// Format 7 frame reaches the ring bottom row first. A ring of the caller's
// has a conversion buffer of the library's, which goes with the ring.
TEST_F(LockBitsTest, CapturedFramesOfEveryCodingConvertToTheExpectedImage) {
  struct CCase {
    int nColour, nWidth, nHeight;
    bool bCallerRing = false;
  };
  for (const CCase& c : {CCase{IIDC_COLOR_MONO8, 37, 5}, CCase{IIDC_COLOR_MONO8, 2, 3}, CCase{IIDC_COLOR_YUV444, 37, 5},
                         CCase{IIDC_COLOR_MONO16, 37, 5}, CCase{IIDC_COLOR_YUV422, 6, 4}, CCase{IIDC_COLOR_YUV411, 12, 3},
                         CCase{IIDC_COLOR_YUV411, 64, 16}, CCase{IIDC_COLOR_YUV422, 38, 3, true}}) {
    SCOPED_TRACE(std::to_string(c.nColour) + " " + std::to_string(c.nWidth) + "x" + std::to_string(c.nHeight));
    StartCapture({Format7Camera(uint32_t(c.nColour), uint32_t(c.nWidth), uint32_t(c.nHeight))}, -1, c.bCallerRing);
    ASSERT_GE(Camera(m_h).m_cbRgbBuffer, ImageStride(c.nWidth) * size_t(c.nHeight));
    const std::vector<uint8_t> frame = Frame();
    std::vector<uint8_t> drawn(frame.size());
    const bool bBottomUp = c.nColour == IIDC_COLOR_MONO8;
    const size_t nSequenceAt = bBottomUp ? size_t(c.nHeight - 1) * size_t(c.nWidth) : 0;
    vcam::DrawTestPattern(uint32_t(c.nColour), uint32_t(c.nWidth), uint32_t(c.nHeight),
                          vcam::FrameSequence(std::span(frame).subspan(nSequenceAt)), drawn);
    for (int r = 0; bBottomUp && r < c.nHeight / 2; ++r) {
      std::swap_ranges(drawn.begin() + r * c.nWidth, drawn.begin() + (r + 1) * c.nWidth,
                       drawn.begin() + (c.nHeight - 1 - r) * c.nWidth);
    }
    ASSERT_EQ(frame, drawn) << "not the camera's frame";
    EXPECT_EQ(iidc_lockbits(m_h, -1), Camera(m_h).m_pRgbBuffer);
    EXPECT_EQ(Image(c.nWidth, c.nHeight), ExpectedImage(c.nColour, frame.data(), c.nWidth, c.nHeight, true));
    ASSERT_TRUE(iidc_idle(m_h) && (c.bCallerRing ? iidc_releasebuffer(m_h) : iidc_freeframe(m_h)));
    EXPECT_EQ(Camera(m_h).m_pRgbBuffer, nullptr);
    iidc_uninit();
  }
}

// The model name read from the camera, no more than 16 bytes of it, chooses
// the formula; an unreadable name gets the floating-point one.
TEST_F(LockBitsTest, ModelNameChoosesTheYuvFormula) {
  struct CCase {
    const char* pszModel;
    bool bFloatYuv;
    bool bRomReadable;
  };
  for (const CCase& c : {CCase{"MHP-Z610", false, true}, CCase{"VC-1280C", true, true},
                         CCase{"MHP-Z610 with a long name", true, true}, CCase{"KQX_RT710", true, false}}) {
    SCOPED_TRACE(c.pszModel);
    StartCapture({ColourCamera(c.pszModel)}, 0);  // 160 x 120 YUV 4:4:4
    const std::vector<uint8_t> frame = Frame();
    const auto floatImage = ExpectedImage(IIDC_COLOR_YUV444, frame.data(), 160, 120, true);
    const auto integerImage = ExpectedImage(IIDC_COLOR_YUV444, frame.data(), 160, 120, false);
    ASSERT_NE(floatImage, integerImage) << "the frame cannot tell the formulas apart";
    if (!c.bRomReadable) {
      vcam::GetCameraFaults(0)->readFailure.Set(iidc_reg::RomOffset(0x400), iidc_reg::RomOffset(0x7FC));
    }
    ASSERT_NE(iidc_lockbits(m_h, -1), nullptr);
    EXPECT_EQ(Image(160, 120), c.bFloatYuv ? floatImage : integerImage);
    iidc_uninit();
  }
}

// The format and area in force decide the size; the ring was made for the
// one connected before. A larger image, a frame larger than a ring buffer
// (640 x 480 YUV 4:1:1 after Mono8: its image fits the conversion buffer, its
// frame does not) is refused untouched, any temporary bitmap deleted; padded
// rows that do not fit (5 x 14 Mono16 after 36 x 2: fewer pixels, but rows
// of 16 bytes) before the bitmap, which would read past the buffer. A
// smaller image is converted from the frame at hand.
TEST_F(LockBitsTest, ImagesLargerThanTheRingAreRefusedSmallerOnesConverted) {
  struct CCase {
    const char* pszName;
    vcam::Profile camera;
    int nFrom;
    std::function<bool(iidc_handle)> change;
    int nColour, nWidth, nHeight;  // converted when given
    bool bBeforeBitmap = false;
  };
  const auto Area = [](int32_t nWidth, int32_t nHeight) {
    return [=](iidc_handle h) {
      const iidc_area area = {0, 0, nWidth, nHeight};
      return iidc_setarea(h, &area, sizeof area) == 1;
    };
  };
  const auto Format = [](uint32_t nMode) {
    return [=](iidc_handle h) { return iidc_setformat(h, IIDC_FORMATID(0, nMode, 0)) == 1; };
  };
  const CCase cases[] = {
      {"larger format", ColourCamera("VC-1280C"), 0, Format(1), -1, 0, 0},
      {"frame larger than a buffer", ColourCamera("VC-1280C"), 5, Format(2), -1, 0, 0},
      {"larger area", Format7Camera(IIDC_COLOR_MONO8, 32, 8), -1, Area(33, 8), -1, 0, 0},
      {"padded rows", Format7Camera(IIDC_COLOR_MONO16, 36, 2), -1, Area(5, 14), -1, 0, 0, true},
      {"narrower area", Format7Camera(IIDC_COLOR_MONO16, 36, 2), -1, Area(4, 14), IIDC_COLOR_MONO16, 4, 14},
      {"smaller format", ColourCamera("VC-1280C"), 5, Format(0), IIDC_COLOR_YUV444, 160, 120},
  };
  for (const CCase& c : cases) {
    SCOPED_TRACE(c.pszName);
    StartCapture({c.camera}, c.nFrom);
    const std::vector<uint8_t> frame = Frame();
    ASSERT_TRUE(iidc_idle(m_h));
    ASSERT_TRUE(c.change(m_h));
    Mark();
    emul::ResetFaults();
    if (c.nColour < 0) {
      EXPECT_EQ(iidc_lockbits(m_h, -1), nullptr);
      EXPECT_EQ(iidc_getlasterror(0), IIDC_ERR_NOT_SUPPORTED);
      EXPECT_TRUE(ConversionBufferUntouched());
      EXPECT_EQ(emul::CallCount("CreateBitmap"), emul::CallCount("DeleteObject"));
      if (c.bBeforeBitmap) {
        EXPECT_EQ(emul::CallCount("CreateBitmap"), 0);
      }
    } else {
      ASSERT_NE(iidc_lockbits(m_h, -1), nullptr);
      EXPECT_EQ(Image(c.nWidth, c.nHeight), ExpectedImage(c.nColour, frame.data(), c.nWidth, c.nHeight, true));
    }
    iidc_uninit();
  }
}

// The frame stays locked after the call, converted or not, until it is
// unlocked or another frame is locked; the temporary bitmap is filled and
// deleted, and when it cannot be made nothing is written or recorded.
TEST_F(LockBitsTest, FrameStaysLockedAndTheBitmapIsTemporary) {
  StartCapture({ColourCamera("VC-1280C")}, 0);
  Deliver(m_h, 1);  // buffers 1 and 0
  emul::ResetFaults();
  ASSERT_NE(iidc_lockbits(m_h, 1), nullptr);
  EXPECT_EQ(emul::CallCount("CreateBitmap"), 1);
  EXPECT_EQ(emul::CallCount("SetBitmapBits"), 1);
  EXPECT_EQ(emul::CallCount("DeleteObject"), 1);
  EXPECT_EQ(Camera(m_h).m_pCallback->LockMask(), 1u << 1);
  const std::vector<uint8_t> locked = Frame(1);
  Deliver(m_h, 3);
  EXPECT_EQ(Frame(1), locked) << "every new frame went to buffer 0";
  const std::vector<uint8_t> newest = Frame(0);
  ASSERT_NE(iidc_lockbits(m_h, 0), nullptr);
  EXPECT_EQ(Camera(m_h).m_pCallback->LockMask(), 1u << 0);
  EXPECT_EQ(Image(160, 120), ExpectedImage(IIDC_COLOR_YUV444, newest.data(), 160, 120, true));
  Mark();
  iidc_unlockbits(m_h);
  EXPECT_EQ(Camera(m_h).m_pCallback->LockMask(), 0u);
  EXPECT_EQ(iidc_getlasterror(0), MARK);

  emul::FailOperation("CreateBitmap", E_OUTOFMEMORY, 1);
  EXPECT_EQ(iidc_lockbits(m_h, 0), nullptr);
  EXPECT_EQ(iidc_getlasterror(0), MARK);
  EXPECT_TRUE(ConversionBufferUntouched());
  EXPECT_EQ(Camera(m_h).m_pCallback->LockMask(), 1u << 0);
  emul::ResetFaults();
  vcam::GetCameraFaults(0)->readFailure.Set(iidc_reg::CUR_V_MODE, iidc_reg::CUR_V_FORMAT);
  EXPECT_EQ(iidc_lockbits(m_h, -1), nullptr);
  EXPECT_NE(iidc_getlasterror(0), MARK) << "an unreadable format fails with the query's code";
  EXPECT_TRUE(ConversionBufferUntouched());
}

TEST_F(LockBitsTest, RefusesWithoutAFrameToConvert) {
  Start();
  EXPECT_EQ(iidc_lockbits(nullptr, -1), nullptr);
  EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_HANDLE);
  iidc_unlockbits(reinterpret_cast<iidc_handle>(&m_clocks));
  EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_HANDLE);
  m_h = Open(0);
  EXPECT_EQ(iidc_lockbits(m_h, -1), nullptr);  // no ring
  EXPECT_EQ(iidc_getlasterror(0), IIDC_ERR_NO_FRAMES);
  iidc_unlockbits(m_h);  // nothing locked: nothing happens
  ASSERT_TRUE(iidc_preparecapture(m_h));
  ASSERT_EQ(iidc_allocframe(m_h, 2), 2);
  SetErrorCode(0, MARK);
  EXPECT_EQ(iidc_lockbits(m_h, 2), nullptr);  // no such buffer
  EXPECT_EQ(iidc_getlasterror(0), MARK);
  // The converter object is made from its run-time class, on the
  // floating-point formula.
  std::unique_ptr<CObject> pObject(RUNTIME_CLASS(CVideo)->CreateObject());
  ASSERT_NE(pObject, nullptr);
  EXPECT_TRUE(pObject->IsKindOf(RUNTIME_CLASS(CCmdTarget)));
  EXPECT_EQ(static_cast<CVideo*>(pObject.get())->m_bFloatYuv, 1);
}

}  // namespace
