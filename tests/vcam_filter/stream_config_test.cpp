// Stream configuration of the capture pin: the capabilities the format
// catalogue reads, SetFormat as format and rate selection use it, GetFormat.
#include <functional>

#include "tests/vcam_filter/vcam_test.h"
#include "vcam/model/offsets.h"

namespace vcam_test {
namespace {

class CStreamConfigTest : public CVcamTest {
 protected:
  void SetUp() override {
    CVcamTest::SetUp();
    m_pFilter = CreateFilter(COLOR_CAMERA);
    ASSERT_TRUE(m_pFilter);
    m_pConfig = StreamConfig(m_pFilter.Get());
    ASSERT_TRUE(m_pConfig);
    ASSERT_EQ(m_pFilter.As(IID_IKsPropertySet, m_pProps), S_OK);
  }
  void TearDown() override {
    m_pProps.Reset();
    m_pConfig.Reset();
    m_pFilter.Reset();
    CVcamTest::TearDown();
  }

  std::uint32_t Read(std::uint32_t dwOffset) {
    std::uint32_t dwValue = 0;
    EXPECT_EQ(ReadRegister(m_pProps.Get(), dwOffset, &dwValue), S_OK);
    return dwValue;
  }
  // Capability i's media type (owned) and capability block.
  CMediaTypePtr Caps(int i, VIDEO_STREAM_CONFIG_CAPS* pCaps = nullptr) {
    VIDEO_STREAM_CONFIG_CAPS caps{};
    CMediaTypePtr pmt;
    EXPECT_EQ(m_pConfig->GetStreamCaps(i, &pmt, reinterpret_cast<BYTE*>(&caps)), S_OK);
    if (pCaps != nullptr) {
      *pCaps = caps;
    }
    return pmt;
  }
  // The capability of Format f mode m.
  int CapsIndexOf(std::uint32_t nFormat, std::uint32_t nMode) {
    const auto modes = vcam::GetCameraModel(COLOR_CAMERA)->EnumerateStandardModes();
    for (std::size_t i = 0; i < modes.size(); ++i) {
      if (modes[i].nFormat == nFormat && modes[i].nMode == nMode) {
        return static_cast<int>(i);
      }
    }
    return -1;
  }
  HRESULT SetFormatWithInterval(int iCaps, REFERENCE_TIME llInterval) {
    CMediaTypePtr pmt = Caps(iCaps);
    pmt.VideoInfo()->AvgTimePerFrame = llInterval;
    return m_pConfig->SetFormat(pmt.Get());
  }

  ComPtr<IBaseFilter> m_pFilter;
  ComPtr<IAMStreamConfig> m_pConfig;
  ComPtr<IKsPropertySet> m_pProps;
};

TEST_F(CStreamConfigTest, OneCapabilityPerStandardModeAtItsFastestRate) {
  int nCount = 0;
  int cbCaps = 0;
  ASSERT_EQ(m_pConfig->GetNumberOfCapabilities(&nCount, &cbCaps), S_OK);
  EXPECT_EQ(nCount, 11);
  EXPECT_EQ(cbCaps, static_cast<int>(sizeof(VIDEO_STREAM_CONFIG_CAPS)));

  const auto modes = vcam::GetCameraModel(COLOR_CAMERA)->EnumerateStandardModes();
  ASSERT_EQ(modes.size(), 11u);
  for (int i = 0; i < nCount; ++i) {
    VIDEO_STREAM_CONFIG_CAPS caps{};
    CMediaTypePtr pmt = Caps(i, &caps);
    ASSERT_TRUE(pmt && pmt.VideoInfo());
    const vcam::StandardModeInfo& mode = modes[static_cast<std::size_t>(i)];
    const BITMAPINFOHEADER& bmi = pmt.VideoInfo()->bmiHeader;
    EXPECT_EQ(pmt->majortype, MEDIATYPE_Video);
    EXPECT_EQ(pmt->subtype, vcam::SubtypeFromColor(mode.geometry.nColor));
    EXPECT_EQ(pmt->lSampleSize, mode.cbFrame);
    EXPECT_EQ(bmi.biWidth, static_cast<LONG>(mode.geometry.nWidth));
    EXPECT_EQ(bmi.biHeight, static_cast<LONG>(mode.geometry.nHeight));
    EXPECT_EQ(bmi.biBitCount, mode.geometry.nBitsPerPixel);
    EXPECT_EQ(bmi.biSizeImage, mode.cbFrame);
    EXPECT_EQ(pmt.VideoInfo()->AvgTimePerFrame, vcam::IntervalFromCode(*vcam::FastestRateCode(mode.dwRates)));
    EXPECT_EQ(caps.MinFrameInterval, pmt.VideoInfo()->AvgTimePerFrame);
    EXPECT_EQ(caps.MaxOutputSize.cx, bmi.biWidth);
  }
  // Format 0 mode 3, the camera's start-up mode: 640 x 480 UYVY at 30 fps.
  CMediaTypePtr pmt = Caps(CapsIndexOf(0, 3));
  EXPECT_EQ(pmt->subtype, MEDIASUBTYPE_UYVY);
  EXPECT_EQ(pmt->lSampleSize, 614400u);
  EXPECT_EQ(pmt.VideoInfo()->AvgTimePerFrame, 333333);
  // Format 0 mode 2 is YUV411 as FOURCC "IYU1".
  EXPECT_EQ(Caps(CapsIndexOf(0, 2))->subtype.Data1, 0x31555949u);
}

TEST_F(CStreamConfigTest, CallsCheckTheirArgumentsAndTakeFaults) {
  VIDEO_STREAM_CONFIG_CAPS caps{};
  AM_MEDIA_TYPE* pmt = nullptr;
  EXPECT_EQ(m_pConfig->GetStreamCaps(11, &pmt, reinterpret_cast<BYTE*>(&caps)), S_FALSE);
  EXPECT_EQ(pmt, nullptr);
  EXPECT_EQ(m_pConfig->GetStreamCaps(-1, &pmt, reinterpret_cast<BYTE*>(&caps)), E_INVALIDARG);
  EXPECT_EQ(m_pConfig->GetStreamCaps(0, nullptr, reinterpret_cast<BYTE*>(&caps)), E_POINTER);
  EXPECT_EQ(m_pConfig->GetStreamCaps(0, &pmt, nullptr), E_POINTER);
  int n = 0;
  EXPECT_EQ(m_pConfig->GetNumberOfCapabilities(&n, nullptr), E_POINTER);
  EXPECT_EQ(m_pConfig->SetFormat(nullptr), E_POINTER);
  EXPECT_EQ(m_pConfig->GetFormat(nullptr), E_POINTER);

  // The platform's fault points reach these calls.
  emul::FailOperation("IAMStreamConfig::SetFormat", E_FAIL, 1);
  EXPECT_EQ(SetFormatWithInterval(CapsIndexOf(0, 1), 0), E_FAIL);
  emul::FailOperation("IAMStreamConfig::GetNumberOfCapabilities", E_UNEXPECTED, 1);
  int cb = 0;
  EXPECT_EQ(m_pConfig->GetNumberOfCapabilities(&n, &cb), E_UNEXPECTED);
  EXPECT_EQ(SetFormatWithInterval(CapsIndexOf(0, 1), 0), S_OK);
}

// A rate the mode lacks (Format 1 mode 0 has no 30 fps; 10 fps is no IIDC
// rate), a type no mode matches, or the refuse switch: the request fails,
// is logged as failed, and the mode and rate in force stay.
TEST_F(CStreamConfigTest, RefusedRequestsChangeNothing) {
  EXPECT_TRUE(FAILED(SetFormatWithInterval(CapsIndexOf(1, 0), 333333)));
  EXPECT_TRUE(FAILED(SetFormatWithInterval(CapsIndexOf(0, 3), 1000000)));
  const auto request = vcam::GetDriverLog(COLOR_CAMERA)->LastFormatRequest();
  ASSERT_TRUE(request);
  EXPECT_EQ(request->shape.llInterval, 1000000);
  EXPECT_TRUE(FAILED(request->hrResult));

  const std::function<void(CMediaTypePtr&)> mismatches[] = {
      [](CMediaTypePtr& pmt) { pmt->subtype = MEDIASUBTYPE_YUY2; },
      [](CMediaTypePtr& pmt) { pmt.VideoInfo()->bmiHeader.biWidth = 800; },  // no UYVY mode is 800 x 480
      [](CMediaTypePtr& pmt) { pmt->formattype = FORMAT_None; },
  };
  for (const auto& mismatch : mismatches) {
    CMediaTypePtr pmt = Caps(CapsIndexOf(0, 3));
    mismatch(pmt);
    EXPECT_EQ(m_pConfig->SetFormat(pmt.Get()), VFW_E_INVALIDMEDIATYPE);
  }
  vcam::GetCameraFaults(COLOR_CAMERA)->bRefuseSetFormat = true;
  EXPECT_TRUE(FAILED(SetFormatWithInterval(CapsIndexOf(0, 1), 0)));

  EXPECT_EQ(Read(vcam::CUR_V_FORMAT) >> 29, 0u);
  EXPECT_EQ(Read(vcam::CUR_V_MODE) >> 29, 3u);
  EXPECT_EQ(Read(vcam::CUR_V_FRM_RATE) >> 29, 4u);
}

TEST_F(CStreamConfigTest, GetFormatInFormat7FollowsImageSizeAndColorCoding) {
  ASSERT_EQ(WriteRegister(m_pProps.Get(), vcam::CUR_V_FORMAT, 7u << 29), S_OK);
  ASSERT_EQ(WriteRegister(m_pProps.Get(), vcam::CUR_V_MODE, 1u << 29), S_OK);  // binned: YUV422
  ASSERT_EQ(RequestArea(m_pProps.Get(), 0, 0, 320, 240), S_OK);
  CMediaTypePtr pmt;
  ASSERT_EQ(m_pConfig->GetFormat(&pmt), S_OK);
  EXPECT_EQ(pmt->subtype, MEDIASUBTYPE_UYVY);
  EXPECT_EQ(pmt.VideoInfo()->bmiHeader.biWidth, 320);
  EXPECT_EQ(pmt.VideoInfo()->bmiHeader.biHeight, 240);
  EXPECT_EQ(pmt->lSampleSize, 320u * 240 * 2);

  const std::uint32_t dwBlock = vcam::CsrQuadletToOffset(Read(vcam::VCsrInq7(1)));
  ASSERT_EQ(WriteRegister(m_pProps.Get(), dwBlock + vcam::F7_COLOR_CODING_ID, vcam::COLOR_MONO8 << 24), S_OK);
  ASSERT_EQ(m_pConfig->GetFormat(&pmt), S_OK);
  EXPECT_EQ(pmt->subtype, MEDIASUBTYPE_RGB8);
  EXPECT_EQ(pmt->lSampleSize, 320u * 240);

  // A rate request in Format 7 hands back the type in force: accepted.
  EXPECT_EQ(m_pConfig->SetFormat(pmt.Get()), S_OK);
}

}  // namespace
}  // namespace vcam_test
