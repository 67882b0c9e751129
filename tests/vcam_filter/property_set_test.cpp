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
  ComPtr<IBaseFilter> m_pFilter;
  ComPtr<IKsPropertySet> m_pProps;
  std::shared_ptr<vcam::CCameraModel> m_pCamera;
};

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

}  // namespace
}  // namespace vcam_test
