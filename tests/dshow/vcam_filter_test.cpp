// The virtual camera's capture filter as any DirectShow client sees it: its
// interfaces and the switches that take them away, the pin's category and
// formats, vertical flipping, the dropped-frame counters, the register and
// area property set, stream configuration, and the devices it is listed as.
#include <functional>

#include "dshow_support.h"
#include "vcam/model/offsets.h"

namespace {

class VcamFilterTest : public CDshowTest {
 protected:
  void SetUp() override {
    CDshowTest::SetUp();
    m_pFilter = CameraFilter(COLOR_CAMERA);
    m_pPin = PinOf(m_pFilter.Get(), PINDIR_OUTPUT);
    ASSERT_TRUE(m_pPin);
    m_pProps = Query<IKsPropertySet>(m_pFilter.Get(), IID_IKsPropertySet);
    m_pConfig = Query<IAMStreamConfig>(m_pPin.Get(), IID_IAMStreamConfig);
  }
  void TearDown() override {
    m_pConfig.Reset();
    m_pProps.Reset();
    m_pPin.Reset();
    m_pFilter.Reset();
    CDshowTest::TearDown();
  }

  std::uint32_t Read(std::uint32_t dwOffset) {
    std::uint32_t dwValue = 0xDEADBEEF;
    EXPECT_EQ(ReadRegister(m_pProps.Get(), dwOffset, &dwValue), S_OK) << std::hex << dwOffset;
    return dwValue;
  }

  // Capability i's media type (owned) and capability block.
  CMediaTypePtr Caps(int i, VIDEO_STREAM_CONFIG_CAPS* pCaps = nullptr) {
    VIDEO_STREAM_CONFIG_CAPS caps{};
    CMediaTypePtr pmt;
    EXPECT_EQ(m_pConfig->GetStreamCaps(i, &pmt, reinterpret_cast<BYTE*>(&caps)), S_OK);
    if (pCaps != nullptr) *pCaps = caps;
    return pmt;
  }

  // The capability of Format f mode m.
  static int CapsIndexOf(std::uint32_t nFormat, std::uint32_t nMode) {
    const auto modes = vcam::GetCameraModel(COLOR_CAMERA)->EnumerateStandardModes();
    for (std::size_t i = 0; i < modes.size(); ++i) {
      if (modes[i].nFormat == nFormat && modes[i].nMode == nMode) return static_cast<int>(i);
    }
    return -1;
  }

  HRESULT SetFormatWithInterval(int iCaps, REFERENCE_TIME llInterval) {
    CMediaTypePtr pmt = Caps(iCaps);
    pmt.VideoInfo()->AvgTimePerFrame = llInterval;
    return m_pConfig->SetFormat(pmt.Get());
  }

  ComPtr<IBaseFilter> m_pFilter;
  ComPtr<IPin> m_pPin;
  ComPtr<IKsPropertySet> m_pProps;
  ComPtr<IAMStreamConfig> m_pConfig;
};

TEST_F(VcamFilterTest, ThePinIsACapturePinOfTheFormatInForce) {
  ComPtr<IKsPropertySet> pPinProps = Query<IKsPropertySet>(m_pPin.Get(), IID_IKsPropertySet);
  GUID category{};
  DWORD cbReturned = 0;
  ASSERT_EQ(pPinProps->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, sizeof category, &cbReturned),
            S_OK);
  EXPECT_EQ(category, PIN_CATEGORY_CAPTURE);
  EXPECT_EQ(cbReturned, sizeof(GUID));
  EXPECT_EQ(pPinProps->Set(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, sizeof category),
            E_PROP_ID_UNSUPPORTED);
  std::uint32_t dwValue = 0;
  EXPECT_EQ(ReadRegister(pPinProps.Get(), 0x608, &dwValue), S_OK) << "the camera's own set passes through";

  ComPtr<IEnumMediaTypes> pEnum;
  ASSERT_EQ(m_pPin->EnumMediaTypes(&pEnum), S_OK);
  CMediaTypePtr pmt;
  ASSERT_EQ(pEnum->Next(1, &pmt, nullptr), S_OK);
  EXPECT_EQ(pmt->subtype, MEDIASUBTYPE_UYVY);
  EXPECT_EQ(pmt->lSampleSize, static_cast<ULONG>(COLOR_FRAME_BYTES));
  EXPECT_EQ(m_pPin->QueryAccept(pmt.Get()), S_OK);
  CMediaTypePtr pNext;
  EXPECT_EQ(pEnum->Next(1, &pNext, nullptr), S_FALSE);
  pmt.VideoInfo()->bmiHeader.biWidth = 320;
  EXPECT_NE(m_pPin->QueryAccept(pmt.Get()), S_OK);

  // A paused live source cannot cue; the counters start at zero.
  ASSERT_EQ(m_pFilter->Pause(), S_OK);
  FILTER_STATE state{};
  EXPECT_EQ(m_pFilter->GetState(0, &state), VFW_S_CANT_CUE);
  EXPECT_EQ(state, State_Paused);
  ASSERT_EQ(m_pFilter->Stop(), S_OK);
  EXPECT_EQ(m_pFilter->GetState(0, &state), S_OK);
  ComPtr<IAMDroppedFrames> pDropped = Query<IAMDroppedFrames>(m_pFilter.Get(), IID_IAMDroppedFrames);
  LONG n = -1;
  ASSERT_EQ(pDropped->GetNumNotDropped(&n), S_OK);
  EXPECT_EQ(n, 0);
  ASSERT_EQ(pDropped->GetNumDropped(&n), S_OK);
  EXPECT_EQ(n, 0);
  ASSERT_EQ(pDropped->GetAverageFrameSize(&n), S_OK);
  EXPECT_EQ(n, COLOR_FRAME_BYTES);
  EXPECT_EQ(pDropped->GetNumNotDropped(nullptr), E_POINTER);
}

TEST_F(VcamFilterTest, VideoControlFlipsVerticallyOnlyAndListsRatesOfAMode) {
  ComPtr<IAMVideoControl> pControl = Query<IAMVideoControl>(m_pFilter.Get(), IID_IAMVideoControl);
  LONG nFlags = 0;
  ASSERT_EQ(pControl->GetCaps(m_pPin.Get(), &nFlags), S_OK);
  EXPECT_EQ(nFlags, VideoControlFlag_FlipVertical);
  EXPECT_EQ(pControl->SetMode(m_pPin.Get(), VideoControlFlag_FlipVertical), S_OK);
  LONG nMode = 0;
  ASSERT_EQ(pControl->GetMode(m_pPin.Get(), &nMode), S_OK);
  EXPECT_EQ(nMode, VideoControlFlag_FlipVertical);
  EXPECT_EQ(pControl->SetMode(m_pPin.Get(), VideoControlFlag_FlipHorizontal), E_INVALIDARG);
  EXPECT_EQ(pControl->SetMode(nullptr, 0), E_POINTER);
  ComPtr<IBaseFilter> pOther = CameraFilter(MONO_CAMERA);
  EXPECT_EQ(pControl->SetMode(PinOf(pOther.Get(), PINDIR_OUTPUT).Get(), 0), E_INVALIDARG) << "another filter's pin";
  // Capability 3 is Format 0 mode 3, 640 x 480 at 1.875 to 30 fps; sizes
  // other than the mode's have no rates.
  LONG nRates = 0;
  LONGLONG* pRates = nullptr;
  ASSERT_EQ(pControl->GetFrameRateList(m_pPin.Get(), 3, SIZE{640, 480}, &nRates, &pRates), S_OK);
  ASSERT_EQ(nRates, 5);
  EXPECT_EQ(pRates[0], 333333);
  EXPECT_EQ(pRates[4], 5333333);
  CoTaskMemFree(pRates);
  for (const SIZE size : {SIZE{640, 240}, SIZE{320, 480}}) {
    EXPECT_TRUE(FAILED(pControl->GetFrameRateList(m_pPin.Get(), 3, size, &nRates, &pRates))) << size.cx;
  }
}

// Two requests in flight each carry their own offset; malformed requests and
// faults are refused, leaving the value as it was.
TEST_F(VcamFilterTest, PropertySetAnswersWellFormedRequestsOnly) {
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

  BYTE block[vcam::IIDC_PROPERTY_BYTES] = {};
  EXPECT_EQ(m_pProps->Set(AMPROPSETID_Pin, vcam::IIDC_PROPERTY_READ_QUADLET, block, 64, block, 64),
            E_PROP_SET_UNSUPPORTED);
  EXPECT_EQ(m_pProps->Set(set, 7, block, 64, block, 64), E_PROP_ID_UNSUPPORTED);
  EXPECT_EQ(m_pProps->Set(set, vcam::IIDC_PROPERTY_WRITE_QUADLET, block, 63, block, 63), E_INVALIDARG);
  EXPECT_EQ(m_pProps->Set(set, vcam::IIDC_PROPERTY_AREA, block, 63, block, 63), E_INVALIDARG);
  EXPECT_EQ(m_pProps->Set(set, vcam::IIDC_PROPERTY_WRITE_QUADLET, nullptr, 0, nullptr, 0), E_POINTER);
  EXPECT_EQ(m_pProps->Get(set, vcam::IIDC_PROPERTY_READ_QUADLET, block, 64, nullptr, 0, nullptr), E_POINTER);
  EXPECT_EQ(m_pProps->Get(set, vcam::IIDC_PROPERTY_WRITE_QUADLET, block, 64, block, 64, nullptr), E_PROP_ID_UNSUPPORTED);
  EXPECT_EQ(m_pProps->Get(set, vcam::IIDC_PROPERTY_AREA, block, 64, block, 64, nullptr), E_PROP_ID_UNSUPPORTED);
  vcam::StoreQuadlet(block, vcam::REGISTER_OFFSET_AT, 0x0FFC);
  EXPECT_TRUE(FAILED(m_pProps->Set(set, vcam::IIDC_PROPERTY_READ_QUADLET, block, 64, block, 64))) << "no register";
  DWORD dwSupport = 0;
  ASSERT_EQ(m_pProps->QuerySupported(set, vcam::IIDC_PROPERTY_READ_QUADLET, &dwSupport), S_OK);
  EXPECT_EQ(dwSupport, KSPROPERTY_SUPPORT_GET | KSPROPERTY_SUPPORT_SET);
  ASSERT_EQ(m_pProps->QuerySupported(set, vcam::IIDC_PROPERTY_AREA, &dwSupport), S_OK);
  EXPECT_EQ(dwSupport, KSPROPERTY_SUPPORT_SET);

  vcam::CameraFaults& faults = *vcam::GetCameraFaults(COLOR_CAMERA);
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
}

TEST_F(VcamFilterTest, OneCapabilityPerStandardModeAtItsFastestRate) {
  int nCount = 0;
  int cbCaps = 0;
  ASSERT_EQ(m_pConfig->GetNumberOfCapabilities(&nCount, &cbCaps), S_OK);
  EXPECT_EQ(cbCaps, static_cast<int>(sizeof(VIDEO_STREAM_CONFIG_CAPS)));
  const auto modes = vcam::GetCameraModel(COLOR_CAMERA)->EnumerateStandardModes();
  ASSERT_EQ(nCount, 11);
  ASSERT_EQ(modes.size(), 11u);
  for (int i = 0; i < nCount; ++i) {
    VIDEO_STREAM_CONFIG_CAPS caps{};
    CMediaTypePtr pmt = Caps(i, &caps);
    ASSERT_TRUE(pmt && pmt.VideoInfo());
    const vcam::StandardModeInfo& mode = modes[static_cast<std::size_t>(i)];
    const BITMAPINFOHEADER& bmi = pmt.VideoInfo()->bmiHeader;
    EXPECT_EQ(pmt->subtype, vcam::SubtypeFromColor(mode.geometry.nColor));
    EXPECT_EQ(pmt->lSampleSize, mode.cbFrame);
    EXPECT_EQ(bmi.biWidth, static_cast<LONG>(mode.geometry.nWidth));
    EXPECT_EQ(bmi.biHeight, static_cast<LONG>(mode.geometry.nHeight));
    EXPECT_EQ(bmi.biBitCount, mode.geometry.nBitsPerPixel);
    EXPECT_EQ(pmt.VideoInfo()->AvgTimePerFrame, vcam::IntervalFromCode(*vcam::FastestRateCode(mode.dwRates)));
    EXPECT_EQ(caps.MinFrameInterval, pmt.VideoInfo()->AvgTimePerFrame);
    EXPECT_EQ(caps.MaxOutputSize.cx, bmi.biWidth);
  }
  EXPECT_EQ(Caps(CapsIndexOf(0, 3)).VideoInfo()->AvgTimePerFrame, 333333);
  EXPECT_EQ(Caps(CapsIndexOf(0, 2))->subtype.Data1, 0x31555949u) << "YUV411 as IYU1";

  VIDEO_STREAM_CONFIG_CAPS caps{};
  AM_MEDIA_TYPE* pmt = nullptr;
  EXPECT_EQ(m_pConfig->GetStreamCaps(11, &pmt, reinterpret_cast<BYTE*>(&caps)), S_FALSE);
  EXPECT_EQ(pmt, nullptr);
  EXPECT_EQ(m_pConfig->GetStreamCaps(-1, &pmt, reinterpret_cast<BYTE*>(&caps)), E_INVALIDARG);
  EXPECT_EQ(m_pConfig->GetStreamCaps(0, nullptr, reinterpret_cast<BYTE*>(&caps)), E_POINTER);
  EXPECT_EQ(m_pConfig->GetStreamCaps(0, &pmt, nullptr), E_POINTER);
  EXPECT_EQ(m_pConfig->GetNumberOfCapabilities(&nCount, nullptr), E_POINTER);
  EXPECT_EQ(m_pConfig->SetFormat(nullptr), E_POINTER);
  EXPECT_EQ(m_pConfig->GetFormat(nullptr), E_POINTER);
}

// A rate the mode lacks (Format 1 mode 0 has no 30 fps; 10 fps is no IIDC
// rate), a type no mode matches, or the refuse switch: the request fails,
// is logged as failed, and the mode and rate in force stay.
TEST_F(VcamFilterTest, RefusedFormatRequestsChangeNothing) {
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
  vcam::GetCameraFaults(COLOR_CAMERA)->bRefuseSetFormat = false;
  EXPECT_EQ(SetFormatWithInterval(CapsIndexOf(0, 1), 0), S_OK);
  EXPECT_EQ(Read(vcam::CUR_V_MODE) >> 29, 1u);
}

TEST_F(VcamFilterTest, FormatInFormat7FollowsImageSizeAndColorCoding) {
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
  EXPECT_EQ(m_pConfig->SetFormat(pmt.Get()), S_OK) << "a rate request in Format 7 hands back the type in force";
}

// The device enumerator's monikers for the active set, which it asks for
// afresh at every enumeration, and their friendly names.
std::vector<ComPtr<IMoniker>> Monikers(HRESULT hrExpected = S_OK) {
  ComPtr<ICreateDevEnum> pDevEnum = Create<ICreateDevEnum>(CLSID_SystemDeviceEnum, IID_ICreateDevEnum);
  ComPtr<IEnumMoniker> pEnum;
  EXPECT_EQ(pDevEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &pEnum, 0), hrExpected);
  std::vector<ComPtr<IMoniker>> monikers;
  ComPtr<IMoniker> pMoniker;
  while (pEnum && pEnum->Next(1, &pMoniker, nullptr) == S_OK) monikers.push_back(pMoniker);
  return monikers;
}

std::wstring FriendlyName(IMoniker* pMoniker) {
  ComPtr<IPropertyBag> pBag;
  EXPECT_EQ(pMoniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, pBag.ReleaseAndGetVoidAddressOf()), S_OK);
  VARIANT var;
  VariantInit(&var);
  EXPECT_EQ(pBag->Read(L"FriendlyName", &var, nullptr), S_OK);
  const std::wstring name = var.vt == VT_BSTR ? var.bstrVal : L"";
  VariantClear(&var);
  EXPECT_EQ(pBag->Read(L"DevicePath", &var, nullptr), E_INVALIDARG);
  EXPECT_EQ(var.vt, VT_EMPTY);
  return name;
}

TEST_F(VcamFilterTest, DevicesAreTheActiveSetByFriendlyNameAndBindToTheirCameras) {
  std::vector<ComPtr<IMoniker>> monikers = Monikers();
  ASSERT_EQ(monikers.size(), 2u);
  EXPECT_EQ(RefCount(monikers[0].Get()), 1u) << "the enumerator is gone; only ours remains";
  EXPECT_EQ(FriendlyName(monikers[0].Get()), L"Virtual Optics VC-1280C");
  EXPECT_EQ(FriendlyName(monikers[1].Get()), L"Virtual Optics VM-1024M");
  const long nLive = emul::LiveComObjects();
  for (std::size_t i = 0; i < monikers.size(); ++i) {
    ComPtr<IBaseFilter> pFilter;
    ASSERT_EQ(monikers[i]->BindToObject(nullptr, nullptr, IID_IBaseFilter, pFilter.ReleaseAndGetVoidAddressOf()), S_OK);
    EXPECT_EQ(vcam::CameraOfFilter(pFilter.Get()), vcam::GetCameraModel(i));
    EXPECT_EQ(pFilter.Get()->Release(), 0u) << "made with one reference";
    (void)pFilter.Detach();
  }
  EXPECT_EQ(emul::LiveComObjects(), nLive);
  ComPtr<IUnknown> pOther;
  EXPECT_EQ(monikers[0]->BindToObject(nullptr, nullptr, IID_IMediaControl, pOther.ReleaseAndGetVoidAddressOf()),
            E_NOINTERFACE);
  monikers.clear();

  std::vector<vcam::Profile> set = vcam::BuiltInCameraSet();
  set.resize(1);
  set[0].strFriendlyName = "Bench camera \xC3\xA9";  // UTF-8 e-acute
  m_clocks = vcam::InstallSteppedCameraSet(set);
  monikers = Monikers();
  ASSERT_EQ(monikers.size(), 1u);
  EXPECT_EQ(FriendlyName(monikers[0].Get()), L"Bench camera \u00E9");
  monikers.clear();
  vcam::SetActiveCameraSet({});
  EXPECT_TRUE(Monikers(S_FALSE).empty()) << "an empty category gives no enumerator";
}

// The property bag of a registered device, holding what the test puts in.
class CBag final : public IPropertyBag {
 public:
  explicit CBag(LONG nIndex, bool bHasIndex = true) : m_nIndex(nIndex), m_bHasIndex(bHasIndex) {}
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    *ppv = riid == IID_IUnknown || riid == IID_IPropertyBag ? static_cast<IPropertyBag*>(this) : nullptr;
    return *ppv != nullptr ? S_OK : E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 1; }  // lives on the test's stack
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP Read(LPCOLESTR pszPropName, VARIANT* pVar, IErrorLog*) override {
    if (std::wstring(pszPropName) != vcam::CAMERA_INDEX_PROPERTY || !m_bHasIndex) return E_INVALIDARG;
    pVar->vt = VT_I4;
    pVar->lVal = m_nIndex;
    return S_OK;
  }
  STDMETHODIMP Write(LPCOLESTR, VARIANT*) override { return E_NOTIMPL; }

 private:
  LONG m_nIndex;
  bool m_bHasIndex;
};

// Registered as a system device, one filter class serves every camera: the
// device's bag names the camera, until the filter is connected.
TEST_F(VcamFilterTest, TheDeviceBagBindsTheFilterToItsCamera) {
  ComPtr<IBaseFilter> pFilter = CameraFilter(MONO_CAMERA);
  ComPtr<IPersistPropertyBag> pPersist = Query<IPersistPropertyBag>(pFilter.Get(), IID_IPersistPropertyBag);
  CBag colour(static_cast<LONG>(COLOR_CAMERA));
  ASSERT_EQ(pPersist->Load(&colour, nullptr), S_OK);
  EXPECT_EQ(vcam::CameraOfFilter(pFilter.Get()), vcam::GetCameraModel(COLOR_CAMERA));
  CBag mono(static_cast<LONG>(MONO_CAMERA));
  ASSERT_EQ(pPersist->Load(&mono, nullptr), S_OK);
  EXPECT_EQ(vcam::CameraOfFilter(pFilter.Get()), vcam::GetCameraModel(MONO_CAMERA));
  AM_MEDIA_TYPE* pmt = nullptr;
  ASSERT_EQ(Query<IAMStreamConfig>(PinOf(pFilter.Get(), PINDIR_OUTPUT).Get(), IID_IAMStreamConfig)->GetFormat(&pmt), S_OK);
  EXPECT_EQ(pmt->subtype, MEDIASUBTYPE_RGB8) << "Mono8 travels as RGB8";
  DeleteMediaType(pmt);
  CBag none(0, false);
  EXPECT_EQ(pPersist->Load(&none, nullptr), S_OK);
  CBag missing(2);
  CBag negative(-1);
  EXPECT_EQ(pPersist->Load(&missing, nullptr), E_INVALIDARG);
  EXPECT_EQ(pPersist->Load(&negative, nullptr), E_INVALIDARG);
  EXPECT_EQ(pPersist->Load(nullptr, nullptr), E_POINTER);
  EXPECT_EQ(vcam::CameraOfFilter(pFilter.Get()), vcam::GetCameraModel(MONO_CAMERA));
  ComPtr<IBaseFilter> pRenderer = Create<IBaseFilter>(CLSID_NullRenderer, IID_IBaseFilter);
  ComPtr<IPin> pOut = PinOf(pFilter.Get(), PINDIR_OUTPUT);
  ComPtr<IPin> pIn = PinOf(pRenderer.Get(), PINDIR_INPUT);
  ASSERT_EQ(pOut->Connect(pIn.Get(), nullptr), S_OK);
  EXPECT_EQ(pPersist->Load(&colour, nullptr), VFW_E_WRONG_STATE);
  EXPECT_EQ(vcam::CameraOfFilter(pFilter.Get()), vcam::GetCameraModel(MONO_CAMERA)) << "a connected filter keeps its camera";
  pIn->Disconnect();
  pOut->Disconnect();
}

}  // namespace
