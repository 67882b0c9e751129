// The register and area property set of the capture filter, as the library's
// register channel and area request use it.
#include "tests/vcam_filter/vcam_test.h"
#include "vcam/model/offsets.h"

namespace vcam_test {
namespace {

class CPropertySetTest : public CVcamTest {
 protected:
  void SetUp() override {
    CVcamTest::SetUp();
    m_pFilter = CreateFilter(COLOR_CAMERA);
    ASSERT_TRUE(m_pFilter);
    ASSERT_EQ(m_pFilter.As(IID_IKsPropertySet, m_pProps), S_OK);
    m_pCamera = vcam::GetCameraModel(COLOR_CAMERA);
  }
  void TearDown() override {
    m_pProps.Reset();
    m_pFilter.Reset();
    m_pCamera.reset();
    CVcamTest::TearDown();
  }

  std::uint32_t Read(std::uint32_t dwOffset) {
    std::uint32_t dwValue = 0xDEADBEEF;
    EXPECT_EQ(ReadRegister(m_pProps.Get(), dwOffset, &dwValue), S_OK) << std::hex << dwOffset;
    return dwValue;
  }
  // The command-register offset of a field in Format 7 mode m's block.
  std::uint32_t Format7Field(std::uint32_t nMode, std::uint32_t nField) {
    return vcam::CsrQuadletToOffset(Read(vcam::VCsrInq7(nMode))) + nField;
  }
  void EnterFormat7(std::uint32_t nMode) {
    ASSERT_EQ(WriteRegister(m_pProps.Get(), vcam::CUR_V_FORMAT, 7u << 29), S_OK);
    ASSERT_EQ(WriteRegister(m_pProps.Get(), vcam::CUR_V_MODE, nMode << 29), S_OK);
    ASSERT_EQ(Read(vcam::CUR_V_FORMAT) >> 29, 7u);
  }

  ComPtr<IBaseFilter> m_pFilter;
  ComPtr<IKsPropertySet> m_pProps;
  std::shared_ptr<vcam::CCameraModel> m_pCamera;
};

// Reads (the configuration ROM too, through its wrapped offsets) and writes
// reach the camera model itself.
TEST_F(CPropertySetTest, ReadsAndWritesTheCameraRegisters) {
  EXPECT_NE(Read(vcam::V_FORMAT_INQ) & 0x01000000u, 0u);  // Format 7 offered
  EXPECT_EQ(Read(vcam::CUR_V_MODE) >> 29, 3u);
  ASSERT_GE(m_pCamera->Rom().size(), 4u);
  EXPECT_EQ(Read(0xFF10040Cu), m_pCamera->Rom()[3]);

  ASSERT_EQ(WriteRegister(m_pProps.Get(), vcam::CUR_V_FRM_RATE, 2u << 29), S_OK);
  std::uint32_t dwModel = 0;
  ASSERT_EQ(m_pCamera->ReadQuadlet(vcam::CUR_V_FRM_RATE, &dwModel), vcam::VCAM_S_OK);
  EXPECT_EQ(dwModel >> 29, 2u);
}

TEST_F(CPropertySetTest, GetAnswersTheRegisterNamedInItsOwnBlock) {
  // Two requests in flight: each block carries its own offset.
  BYTE first[vcam::IIDC_PROPERTY_BYTES] = {};
  BYTE second[vcam::IIDC_PROPERTY_BYTES] = {};
  vcam::StoreQuadlet(first, vcam::REGISTER_OFFSET_AT, vcam::CUR_V_MODE);
  vcam::StoreQuadlet(second, vcam::REGISTER_OFFSET_AT, vcam::CUR_V_FORMAT);
  const GUID& set = vcam::PROPSETID_IIDC_CAMERA;
  ASSERT_EQ(m_pProps->Set(set, vcam::IIDC_PROPERTY_READ_QUADLET, first, 64, first, 64), S_OK);
  ASSERT_EQ(m_pProps->Set(set, vcam::IIDC_PROPERTY_READ_QUADLET, second, 64, second, 64), S_OK);
  DWORD cbReturned = 0;
  ASSERT_EQ(m_pProps->Get(set, vcam::IIDC_PROPERTY_READ_QUADLET, first, 64, first, 64, &cbReturned), S_OK);
  EXPECT_EQ(cbReturned, 64u);
  EXPECT_EQ(vcam::LoadQuadlet(first, vcam::REGISTER_VALUE_AT) >> 29, 3u);
  EXPECT_EQ(vcam::LoadQuadlet(first, vcam::REGISTER_OFFSET_AT), vcam::CUR_V_MODE);
}

TEST_F(CPropertySetTest, RefusesMalformedRequests) {
  BYTE block[vcam::IIDC_PROPERTY_BYTES] = {};
  const GUID& set = vcam::PROPSETID_IIDC_CAMERA;
  EXPECT_EQ(m_pProps->Set(AMPROPSETID_Pin, vcam::IIDC_PROPERTY_READ_QUADLET, block, 64, block, 64),
            E_PROP_SET_UNSUPPORTED);
  EXPECT_EQ(m_pProps->Set(set, 7, block, 64, block, 64), E_PROP_ID_UNSUPPORTED);
  EXPECT_EQ(m_pProps->Set(set, vcam::IIDC_PROPERTY_WRITE_QUADLET, block, 63, block, 63), E_INVALIDARG);
  EXPECT_EQ(m_pProps->Set(set, vcam::IIDC_PROPERTY_WRITE_QUADLET, nullptr, 0, nullptr, 0), E_POINTER);
  EXPECT_EQ(m_pProps->Get(set, vcam::IIDC_PROPERTY_READ_QUADLET, block, 64, nullptr, 0, nullptr), E_POINTER);
  EXPECT_EQ(m_pProps->Get(set, vcam::IIDC_PROPERTY_WRITE_QUADLET, block, 64, block, 64, nullptr),
            E_PROP_ID_UNSUPPORTED);
  // An offset the camera does not implement fails at the Set.
  vcam::StoreQuadlet(block, vcam::REGISTER_OFFSET_AT, 0x0FFC);
  EXPECT_TRUE(FAILED(m_pProps->Set(set, vcam::IIDC_PROPERTY_READ_QUADLET, block, 64, block, 64)));

  DWORD dwSupport = 0;
  ASSERT_EQ(m_pProps->QuerySupported(set, vcam::IIDC_PROPERTY_READ_QUADLET, &dwSupport), S_OK);
  EXPECT_EQ(dwSupport, KSPROPERTY_SUPPORT_GET | KSPROPERTY_SUPPORT_SET);
  ASSERT_EQ(m_pProps->QuerySupported(set, vcam::IIDC_PROPERTY_AREA, &dwSupport), S_OK);
  EXPECT_EQ(dwSupport, KSPROPERTY_SUPPORT_SET);
}

// The model's register faults and the platform's fault points both fail
// the requests; the value is left as it was.
TEST_F(CPropertySetTest, FaultsFailTheRequests) {
  vcam::CameraFaults& faults = *m_pCamera->Faults();
  faults.readFailure.Set(vcam::CUR_V_FRM_RATE, vcam::CUR_V_FORMAT);
  std::uint32_t dwValue = 0x12345678;
  EXPECT_TRUE(FAILED(ReadRegister(m_pProps.Get(), vcam::CUR_V_MODE, &dwValue)));
  EXPECT_EQ(dwValue, 0x12345678u);
  EXPECT_EQ(ReadRegister(m_pProps.Get(), vcam::V_FORMAT_INQ, &dwValue), S_OK);
  faults.readFailure.Clear();

  faults.writeFailure.SetAll();
  EXPECT_TRUE(FAILED(WriteRegister(m_pProps.Get(), vcam::CUR_V_FRM_RATE, 2u << 29)));
  faults.writeFailure.Clear();
  EXPECT_EQ(Read(vcam::CUR_V_FRM_RATE) >> 29, 4u);

  emul::FailOperation("IKsPropertySet::Get", E_FAIL, 1);
  EXPECT_EQ(ReadRegister(m_pProps.Get(), vcam::V_FORMAT_INQ, &dwValue), E_FAIL);
  EXPECT_EQ(ReadRegister(m_pProps.Get(), vcam::V_FORMAT_INQ, &dwValue), S_OK);
}

// The rectangle goes to the model, which judges it (its own tests say how);
// every request is logged with its result, and one outside Format 7 is
// "element not found".
TEST_F(CPropertySetTest, AreaRequests) {
  EXPECT_EQ(RequestArea(m_pProps.Get(), 0, 0, 640, 480), static_cast<HRESULT>(0x80070490));
  EnterFormat7(0);
  ASSERT_EQ(RequestArea(m_pProps.Get(), 16, 8, 640, 480), S_OK);
  EXPECT_EQ(Read(Format7Field(0, vcam::F7_IMAGE_POSITION)), 0x00100008u);
  EXPECT_EQ(Read(Format7Field(0, vcam::F7_IMAGE_SIZE)), 0x028001E0u);
  auto request = vcam::GetDriverLog(COLOR_CAMERA)->LastAreaRequest();
  ASSERT_TRUE(request);
  EXPECT_EQ(request->Field(24), 16);
  EXPECT_EQ(request->Field(36), 480);
  EXPECT_EQ(request->Field(40), 1);
  EXPECT_EQ(request->hrResult, S_OK);

  EXPECT_TRUE(FAILED(RequestArea(m_pProps.Get(), 0, 0, 641, 480)));  // off the size unit
  m_pCamera->Faults()->bRefuseArea = true;
  EXPECT_TRUE(FAILED(RequestArea(m_pProps.Get(), 0, 0, 320, 240)));
  EXPECT_EQ(Read(Format7Field(0, vcam::F7_IMAGE_SIZE)), 0x028001E0u);
  EXPECT_EQ(vcam::GetDriverLog(COLOR_CAMERA)->AreaRequestCount(), 4);
  request = vcam::GetDriverLog(COLOR_CAMERA)->LastAreaRequest();
  EXPECT_TRUE(FAILED(request->hrResult));
}

}  // namespace
}  // namespace vcam_test
