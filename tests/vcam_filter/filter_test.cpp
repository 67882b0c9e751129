// The capture filter's COM face: interfaces and the fault switches that take
// them away, the pin category, vertical flipping, reference counts.
#include <atomic>

#include "tests/vcam_filter/vcam_test.h"

namespace vcam_test {
namespace {

class CFilterTest : public CVcamTest {
 protected:
  void SetUp() override {
    CVcamTest::SetUp();
    m_pFilter = CreateFilter(COLOR_CAMERA);
    ASSERT_TRUE(m_pFilter);
    m_pPin = OutputPin(m_pFilter.Get());
    ASSERT_TRUE(m_pPin);
  }
  void TearDown() override {
    m_pPin.Reset();
    m_pFilter.Reset();
    CVcamTest::TearDown();
  }
  HRESULT Query(IUnknown* pObject, REFIID riid) {
    ComPtr<IUnknown> pInterface;
    const HRESULT hr = pObject->QueryInterface(riid, pInterface.ReleaseAndGetVoidAddressOf());
    EXPECT_EQ(SUCCEEDED(hr), pInterface.Get() != nullptr);
    return hr;
  }

  ComPtr<IBaseFilter> m_pFilter;
  ComPtr<IPin> m_pPin;
};

struct FaultCase {
  const char* pszName;
  std::atomic<bool> vcam::CameraFaults::*pSwitch;
  const IID* piid;
  bool bOnPin;
};

const FaultCase FAULT_CASES[] = {
    {"NoStreamConfig", &vcam::CameraFaults::bNoStreamConfig, &IID_IAMStreamConfig, true},
    {"NoPropertySet", &vcam::CameraFaults::bNoPropertySet, &IID_IKsPropertySet, false},
    {"NoDroppedFrames", &vcam::CameraFaults::bNoDroppedFrames, &IID_IAMDroppedFrames, false},
    {"NoVideoControl", &vcam::CameraFaults::bNoVideoControl, &IID_IAMVideoControl, false},
};

TEST_F(CFilterTest, EachInterfaceSwitchTakesItsInterfaceAway) {
  vcam::CameraFaults& faults = *vcam::GetCameraFaults(COLOR_CAMERA);
  for (const FaultCase& fault : FAULT_CASES) {
    SCOPED_TRACE(fault.pszName);
    IUnknown* pObject = fault.bOnPin ? static_cast<IUnknown*>(m_pPin.Get()) : m_pFilter.Get();
    EXPECT_EQ(Query(pObject, *fault.piid), S_OK);
    (faults.*fault.pSwitch) = true;
    EXPECT_EQ(Query(pObject, *fault.piid), E_NOINTERFACE);
    (faults.*fault.pSwitch) = false;
    EXPECT_EQ(Query(pObject, *fault.piid), S_OK);
  }
  EXPECT_EQ(Query(m_pFilter.Get(), IID_IAMStreamConfig), E_NOINTERFACE);  // a pin interface
  emul::FailInterface(IID_IKsPropertySet);  // the platform's switch reaches the filter too
  EXPECT_EQ(Query(m_pFilter.Get(), IID_IKsPropertySet), E_NOINTERFACE);
}

TEST_F(CFilterTest, InterfacesShareTheFilterReferenceCount) {
  ComPtr<IKsPropertySet> pProps;
  ASSERT_EQ(m_pFilter.As(IID_IKsPropertySet, pProps), S_OK);
  ComPtr<IBaseFilter> pBack;
  ASSERT_EQ(pProps.As(IID_IBaseFilter, pBack), S_OK);
  EXPECT_EQ(pBack.Get(), m_pFilter.Get());
  // Held: this fixture's filter and pin, pProps and pBack.
  EXPECT_EQ(m_pFilter->AddRef(), 5u);
  EXPECT_EQ(m_pFilter->Release(), 4u);

  IBaseFilter* pLast = nullptr;
  ASSERT_EQ(vcam::CVcamFilter::Create(vcam::GetCameraModel(MONO_CAMERA), vcam::GetDriverLog(MONO_CAMERA), &pLast),
            S_OK);
  EXPECT_EQ(pLast->Release(), 0u);
}

TEST_F(CFilterTest, ThePinIsACapturePin) {
  ComPtr<IKsPropertySet> pProps;
  ASSERT_EQ(m_pPin.As(IID_IKsPropertySet, pProps), S_OK);
  GUID category{};
  DWORD cbReturned = 0;
  ASSERT_EQ(pProps->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, sizeof(category),
                        &cbReturned),
            S_OK);
  EXPECT_EQ(category, PIN_CATEGORY_CAPTURE);
  EXPECT_EQ(cbReturned, sizeof(GUID));
  EXPECT_EQ(pProps->Set(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, sizeof(category)),
            E_PROP_ID_UNSUPPORTED);
  // The camera's own set passes through the pin to the filter.
  std::uint32_t dwValue = 0;
  EXPECT_EQ(ReadRegister(pProps.Get(), 0x608, &dwValue), S_OK);
  vcam::GetCameraFaults(COLOR_CAMERA)->bNoPropertySet = true;
  EXPECT_EQ(ReadRegister(pProps.Get(), 0x608, &dwValue), E_PROP_SET_UNSUPPORTED);
}

TEST_F(CFilterTest, ThePinOffersTheFormatInForceOnly) {
  ComPtr<IEnumMediaTypes> pEnum;
  ASSERT_EQ(m_pPin->EnumMediaTypes(&pEnum), S_OK);
  CMediaTypePtr pmt;
  ASSERT_EQ(pEnum->Next(1, &pmt, nullptr), S_OK);
  EXPECT_EQ(pmt->subtype, MEDIASUBTYPE_UYVY);
  EXPECT_EQ(pmt->lSampleSize, 614400u);
  EXPECT_EQ(m_pPin->QueryAccept(pmt.Get()), S_OK);
  CMediaTypePtr pNext;
  EXPECT_EQ(pEnum->Next(1, &pNext, nullptr), S_FALSE);
  pmt.VideoInfo()->bmiHeader.biWidth = 320;
  EXPECT_NE(m_pPin->QueryAccept(pmt.Get()), S_OK);
  PIN_DIRECTION dir{};
  ASSERT_EQ(m_pPin->QueryDirection(&dir), S_OK);
  EXPECT_EQ(dir, PINDIR_OUTPUT);
}

TEST_F(CFilterTest, VideoControlFlipsVerticallyOnly) {
  ComPtr<IAMVideoControl> pControl;
  ASSERT_EQ(m_pFilter.As(IID_IAMVideoControl, pControl), S_OK);
  LONG nFlags = 0;
  ASSERT_EQ(pControl->GetCaps(m_pPin.Get(), &nFlags), S_OK);
  EXPECT_EQ(nFlags, VideoControlFlag_FlipVertical);
  EXPECT_EQ(pControl->SetMode(m_pPin.Get(), VideoControlFlag_FlipVertical), S_OK);
  LONG nMode = 0;
  ASSERT_EQ(pControl->GetMode(m_pPin.Get(), &nMode), S_OK);
  EXPECT_EQ(nMode, VideoControlFlag_FlipVertical);
  EXPECT_EQ(pControl->SetMode(m_pPin.Get(), VideoControlFlag_FlipHorizontal), E_INVALIDARG);
  EXPECT_EQ(pControl->SetMode(nullptr, 0), E_POINTER);

  // Another filter's pin is not this filter's.
  ComPtr<IBaseFilter> pOther = CreateFilter(MONO_CAMERA);
  EXPECT_EQ(pControl->SetMode(OutputPin(pOther.Get()).Get(), 0), E_INVALIDARG);

  LONG nRates = 0;
  LONGLONG* pRates = nullptr;
  // Capability 3 is Format 0 mode 3, 640 x 480 at 1.875 to 30 fps.
  ASSERT_EQ(pControl->GetFrameRateList(m_pPin.Get(), 3, SIZE{640, 480}, &nRates, &pRates), S_OK);
  ASSERT_EQ(nRates, 5);
  EXPECT_EQ(pRates[0], 333333);
  EXPECT_EQ(pRates[4], 5333333);
  CoTaskMemFree(pRates);
}

// A paused live source cannot cue; the dropped-frame counters start at zero.
TEST_F(CFilterTest, StateAndCountersOfAFilterNotYetStreaming) {
  ASSERT_EQ(m_pFilter->Pause(), S_OK);
  FILTER_STATE state{};
  EXPECT_EQ(m_pFilter->GetState(0, &state), VFW_S_CANT_CUE);
  EXPECT_EQ(state, State_Paused);
  ASSERT_EQ(m_pFilter->Stop(), S_OK);
  EXPECT_EQ(m_pFilter->GetState(0, &state), S_OK);

  ComPtr<IAMDroppedFrames> pDropped;
  ASSERT_EQ(m_pFilter.As(IID_IAMDroppedFrames, pDropped), S_OK);
  LONG n = -1;
  ASSERT_EQ(pDropped->GetNumNotDropped(&n), S_OK);
  EXPECT_EQ(n, 0);
  ASSERT_EQ(pDropped->GetNumDropped(&n), S_OK);
  EXPECT_EQ(n, 0);
  ASSERT_EQ(pDropped->GetAverageFrameSize(&n), S_OK);
  EXPECT_EQ(n, 614400);
  EXPECT_EQ(pDropped->GetNumNotDropped(nullptr), E_POINTER);
}

}  // namespace
}  // namespace vcam_test
