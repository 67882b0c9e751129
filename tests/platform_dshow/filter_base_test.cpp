// The filter and pin bases and the memory allocator, through their COM
// interfaces.
#include <thread>

#include "base/mem_allocator.h"
#include "base/media_type.h"
#include "dshow_test_support.h"
#include "emul/fault.h"

namespace {

class FilterBaseTest : public CDshowTest {
 protected:
  void SetUp() override {
    CDshowTest::SetUp();
    m_pSourceFilter = CreateTestSource(&m_pSource);
    m_pRenderer = Create<IBaseFilter>(CLSID_NullRenderer, IID_IBaseFilter);
    m_pOut = PinOf(m_pSourceFilter.Get(), PINDIR_OUTPUT);
    m_pIn = PinOf(m_pRenderer.Get(), PINDIR_INPUT);
  }
  void TearDown() override {
    m_pIn.Reset();
    m_pOut.Reset();
    m_pRenderer.Reset();
    m_pSourceFilter.Reset();
    CDshowTest::TearDown();
  }

  CTestSource* m_pSource = nullptr;
  ComPtr<IBaseFilter> m_pSourceFilter;
  ComPtr<IBaseFilter> m_pRenderer;
  ComPtr<IPin> m_pOut;
  ComPtr<IPin> m_pIn;
};

TEST_F(FilterBaseTest, PinsShareTheirFiltersCountAndNameTheirFilter) {
  EXPECT_EQ(RefCount(m_pSourceFilter.Get()), 2u);  // ours and the pin's
  PIN_INFO info{};
  ASSERT_EQ(m_pOut->QueryPinInfo(&info), S_OK);
  EXPECT_EQ(info.pFilter, m_pSourceFilter.Get());
  EXPECT_EQ(info.dir, PINDIR_OUTPUT);
  EXPECT_STREQ(info.achName, L"Capture");
  EXPECT_EQ(RefCount(m_pSourceFilter.Get()), 3u);
  info.pFilter->Release();

  ComPtr<IMemInputPin> pMemInput;
  EXPECT_EQ(m_pOut->QueryInterface(IID_IMemInputPin, pMemInput.ReleaseAndGetVoidAddressOf()), E_NOINTERFACE);
  EXPECT_EQ(pMemInput.Get(), nullptr);
  pMemInput = Query<IMemInputPin>(m_pIn.Get(), IID_IMemInputPin);
  ComPtr<IUnknown> pUnk1 = Query<IUnknown>(m_pIn.Get(), IID_IUnknown);
  ComPtr<IUnknown> pUnk2 = Query<IUnknown>(pMemInput.Get(), IID_IUnknown);
  EXPECT_EQ(pUnk1.Get(), pUnk2.Get());

  LPWSTR pszId = nullptr;
  ASSERT_EQ(m_pOut->QueryId(&pszId), S_OK);
  ComPtr<IPin> pFound;
  EXPECT_EQ(m_pSourceFilter->FindPin(pszId, pFound.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_EQ(pFound.Get(), m_pOut.Get());
  CoTaskMemFree(pszId);
  EXPECT_EQ(m_pSourceFilter->FindPin(L"Nothing", pFound.ReleaseAndGetAddressOf()), VFW_E_NOT_FOUND);
  EXPECT_EQ(pFound.Get(), nullptr);
}

TEST_F(FilterBaseTest, ConnectsBothEndsAndDisconnectsOneEndAtATime) {
  ASSERT_EQ(m_pOut->Connect(m_pIn.Get(), nullptr), S_OK);
  EXPECT_EQ(PeerOf(m_pOut.Get()).Get(), m_pIn.Get());
  EXPECT_EQ(PeerOf(m_pIn.Get()).Get(), m_pOut.Get());
  CMediaType mtOut;
  CMediaType mtIn;
  ASSERT_EQ(m_pOut->ConnectionMediaType(&mtOut), S_OK);
  ASSERT_EQ(m_pIn->ConnectionMediaType(&mtIn), S_OK);
  EXPECT_EQ(mtOut.subtype, MEDIASUBTYPE_UYVY);  // the source's first type
  EXPECT_EQ(mtIn.subtype, MEDIASUBTYPE_UYVY);
  EXPECT_EQ(mtIn.cbFormat, sizeof(VIDEOINFOHEADER));
  // The output pin holds the input pin as IPin and as IMemInputPin, and so
  // the renderer twice; the input pin holds the output pin once.
  EXPECT_EQ(RefCount(m_pRenderer.Get()), 4u);
  EXPECT_EQ(RefCount(m_pSourceFilter.Get()), 3u);

  EXPECT_EQ(m_pOut->Connect(m_pIn.Get(), nullptr), VFW_E_ALREADY_CONNECTED);
  EXPECT_EQ(m_pIn->Disconnect(), S_OK);
  EXPECT_EQ(PeerOf(m_pIn.Get()).Get(), nullptr);
  EXPECT_EQ(PeerOf(m_pOut.Get()).Get(), m_pIn.Get());
  EXPECT_EQ(m_pIn->Disconnect(), S_FALSE);
  EXPECT_EQ(m_pOut->Disconnect(), S_OK);

  ComPtr<IPin> pPeer;
  EXPECT_EQ(m_pOut->ConnectedTo(pPeer.ReleaseAndGetAddressOf()), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(pPeer.Get(), nullptr);
  CMediaType mtNone;
  EXPECT_EQ(m_pOut->ConnectionMediaType(&mtNone), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(mtNone.pbFormat, nullptr);
  EXPECT_EQ(RefCount(m_pRenderer.Get()), 2u);
}

TEST_F(FilterBaseTest, RefusesWrongDirectionsAndUnacceptedTypes) {
  ComPtr<IPin> pPreview = PinOf(m_pSourceFilter.Get(), PINDIR_OUTPUT, 1);
  EXPECT_EQ(m_pOut->Connect(pPreview.Get(), nullptr), VFW_E_INVALID_DIRECTION);

  CMediaType mt;
  mt.majortype = MEDIATYPE_Video;
  mt.subtype = MEDIASUBTYPE_YUY2;  // not a type the source has
  mt.formattype = FORMAT_VideoInfo;
  EXPECT_TRUE(FAILED(m_pOut->Connect(m_pIn.Get(), &mt)));
  EXPECT_EQ(PeerOf(m_pOut.Get()).Get(), nullptr);
  EXPECT_EQ(PeerOf(m_pIn.Get()).Get(), nullptr);
  EXPECT_EQ(m_pOut->QueryAccept(&mt), S_FALSE);
  mt.subtype = MEDIASUBTYPE_RGB24;
  EXPECT_EQ(m_pOut->QueryAccept(&mt), S_OK);

  // A partial type picks the matching one of the source's types.
  mt.formattype = GUID_NULL;
  ASSERT_EQ(m_pOut->Connect(m_pIn.Get(), &mt), S_OK);
  CMediaType mtIn;
  ASSERT_EQ(m_pIn->ConnectionMediaType(&mtIn), S_OK);
  EXPECT_EQ(mtIn.subtype, MEDIASUBTYPE_RGB24);
  m_pIn->Disconnect();
  m_pOut->Disconnect();
}

TEST_F(FilterBaseTest, NothingConnectsOrDisconnectsUnlessStopped) {
  ASSERT_EQ(m_pOut->Connect(m_pIn.Get(), nullptr), S_OK);
  ASSERT_EQ(m_pRenderer->Pause(), S_OK);
  EXPECT_EQ(m_pIn->Disconnect(), VFW_E_NOT_STOPPED);
  ASSERT_EQ(m_pRenderer->Stop(), S_OK);
  ASSERT_EQ(m_pSourceFilter->Pause(), S_OK);
  EXPECT_EQ(m_pOut->Disconnect(), VFW_E_NOT_STOPPED);
  ComPtr<IBaseFilter> pOther = Create<IBaseFilter>(CLSID_NullRenderer, IID_IBaseFilter);
  ComPtr<IPin> pPreview = PinOf(m_pSourceFilter.Get(), PINDIR_OUTPUT, 1);
  EXPECT_EQ(pPreview->Connect(PinOf(pOther.Get(), PINDIR_INPUT).Get(), nullptr), VFW_E_NOT_STOPPED);
  ASSERT_EQ(m_pSourceFilter->Stop(), S_OK);
  EXPECT_EQ(m_pIn->Disconnect(), S_OK);
  EXPECT_EQ(m_pOut->Disconnect(), S_OK);
}

TEST_F(FilterBaseTest, StateChangesOnlyWhenTheFiltersHookSucceeds) {
  FILTER_STATE state;
  m_pSource->FailNextStart(E_OUTOFMEMORY);
  EXPECT_EQ(m_pSourceFilter->Run(0), E_OUTOFMEMORY);
  ASSERT_EQ(m_pSourceFilter->GetState(0, &state), S_OK);
  EXPECT_EQ(state, State_Stopped);

  EXPECT_EQ(m_pSourceFilter->Run(0), S_OK);
  m_pSourceFilter->GetState(0, &state);
  EXPECT_EQ(state, State_Running);
  EXPECT_EQ(m_pSourceFilter->Pause(), S_OK);
  m_pSourceFilter->GetState(0, &state);
  EXPECT_EQ(state, State_Paused);
  EXPECT_EQ(m_pSourceFilter->Stop(), S_OK);
  m_pSourceFilter->GetState(0, &state);
  EXPECT_EQ(state, State_Stopped);
  CLSID clsid;
  EXPECT_EQ(m_pSourceFilter->GetClassID(&clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_TestSource);
}

TEST_F(FilterBaseTest, InputRefusesSamplesWhileStopped) {
  ASSERT_EQ(m_pOut->Connect(m_pIn.Get(), nullptr), S_OK);
  ComPtr<IMemInputPin> pMemInput = Query<IMemInputPin>(m_pIn.Get(), IID_IMemInputPin);
  ComPtr<IMemAllocator> pAllocator;
  ASSERT_EQ(pMemInput->GetAllocator(pAllocator.ReleaseAndGetAddressOf()), S_OK);
  ALLOCATOR_PROPERTIES props{};
  ASSERT_EQ(pAllocator->GetProperties(&props), S_OK);
  EXPECT_GE(props.cbBuffer, FRAME_BYTES);  // agreed at connection time
  ASSERT_EQ(pAllocator->Commit(), S_OK);
  ComPtr<IMediaSample> pSample;
  ASSERT_EQ(pAllocator->GetBuffer(pSample.ReleaseAndGetAddressOf(), nullptr, nullptr, 0), S_OK);
  EXPECT_EQ(pMemInput->Receive(pSample.Get()), VFW_E_WRONG_STATE);
  ASSERT_EQ(m_pRenderer->Run(0), S_OK);
  EXPECT_EQ(pMemInput->Receive(pSample.Get()), S_OK);
  EXPECT_EQ(m_pIn->EndOfStream(), S_OK);
  EXPECT_TRUE(FAILED(pMemInput->Receive(pSample.Get())));  // after end of stream
  EXPECT_EQ(m_pRenderer->Stop(), S_OK);
  pSample.Reset();
  pAllocator.Reset();
  pMemInput.Reset();
  m_pIn->Disconnect();
  m_pOut->Disconnect();
}

TEST_F(FilterBaseTest, EnumeratorsWalkSkipResetAndClone) {
  ComPtr<IEnumPins> pEnum;
  ASSERT_EQ(m_pSourceFilter->EnumPins(pEnum.ReleaseAndGetAddressOf()), S_OK);
  IPin* apPins[3] = {};
  ULONG cFetched = 0;
  EXPECT_EQ(pEnum->Next(3, apPins, nullptr), E_POINTER);
  EXPECT_EQ(pEnum->Next(3, apPins, &cFetched), S_FALSE);
  ASSERT_EQ(cFetched, 2u);
  EXPECT_EQ(apPins[0], m_pOut.Get());
  apPins[0]->Release();
  apPins[1]->Release();
  EXPECT_EQ(pEnum->Reset(), S_OK);
  EXPECT_EQ(pEnum->Skip(1), S_OK);
  ComPtr<IEnumPins> pClone;
  ASSERT_EQ(pEnum->Clone(pClone.ReleaseAndGetAddressOf()), S_OK);
  ComPtr<IPin> pPin;
  EXPECT_EQ(pClone->Next(1, pPin.ReleaseAndGetAddressOf(), nullptr), S_OK);
  EXPECT_EQ(pPin.Get(), PinOf(m_pSourceFilter.Get(), PINDIR_OUTPUT, 1).Get());
  EXPECT_EQ(pEnum->Skip(5), S_FALSE);

  ComPtr<IEnumMediaTypes> pTypes;
  ASSERT_EQ(m_pOut->EnumMediaTypes(pTypes.ReleaseAndGetAddressOf()), S_OK);
  AM_MEDIA_TYPE* apTypes[3] = {};
  EXPECT_EQ(pTypes->Next(3, apTypes, &cFetched), S_FALSE);
  ASSERT_EQ(cFetched, 2u);
  EXPECT_EQ(apTypes[0]->subtype, MEDIASUBTYPE_UYVY);
  EXPECT_EQ(apTypes[1]->subtype, MEDIASUBTYPE_RGB24);
  DeleteMediaType(apTypes[0]);
  DeleteMediaType(apTypes[1]);

  // The enumerator keeps the filter alive after the caller lets it go.
  pPin.Reset();
  m_pOut.Reset();
  m_pSourceFilter.Reset();
  EXPECT_EQ(pEnum->Reset(), S_OK);
  EXPECT_EQ(pEnum->Next(1, pPin.ReleaseAndGetAddressOf(), nullptr), S_OK);
}

TEST_F(FilterBaseTest, FaultPointsFailTheCallersOperationOnly) {
  emul::FailOperation("IPin::ConnectedTo", E_UNEXPECTED, 1);
  ComPtr<IPin> pPeer;
  EXPECT_EQ(m_pOut->ConnectedTo(pPeer.ReleaseAndGetAddressOf()), E_UNEXPECTED);
  EXPECT_EQ(pPeer.Get(), nullptr);
  EXPECT_EQ(m_pOut->ConnectedTo(pPeer.ReleaseAndGetAddressOf()), VFW_E_NOT_CONNECTED);

  // The pins' own calls while connecting are part of IPin::Connect.
  emul::ResetFaults();
  ASSERT_EQ(m_pOut->Connect(m_pIn.Get(), nullptr), S_OK);
  EXPECT_EQ(emul::CallCount("IPin::Connect"), 1);
  EXPECT_EQ(emul::CallCount("IPin::ReceiveConnection"), 0);
  EXPECT_EQ(emul::CallCount("IPin::QueryDirection"), 0);
  EXPECT_EQ(emul::CallCount("IPin::EnumMediaTypes"), 0);
  m_pIn->Disconnect();
  m_pOut->Disconnect();

  emul::FailInterface(IID_IMemInputPin);
  ComPtr<IMemInputPin> pMemInput;
  EXPECT_EQ(m_pIn->QueryInterface(IID_IMemInputPin, pMemInput.ReleaseAndGetVoidAddressOf()), E_NOINTERFACE);
}

class MemAllocatorTest : public CDshowTest {
 protected:
  static ComPtr<IMemAllocator> Committed(LONG cBuffers) {
    ComPtr<IMemAllocator> p = Create<IMemAllocator>(CLSID_MemoryAllocator, IID_IMemAllocator);
    ALLOCATOR_PROPERTIES request{cBuffers, 100, 16, 0};
    ALLOCATOR_PROPERTIES actual{};
    EXPECT_EQ(p->SetProperties(&request, &actual), S_OK);
    EXPECT_EQ(p->Commit(), S_OK);
    return p;
  }
};

TEST_F(MemAllocatorTest, RoundsToAlignmentAndRefusesBadRequests) {
  ComPtr<IMemAllocator> p = Create<IMemAllocator>(CLSID_MemoryAllocator, IID_IMemAllocator);
  ALLOCATOR_PROPERTIES request{2, 100, 3, 0};
  ALLOCATOR_PROPERTIES actual{};
  EXPECT_TRUE(FAILED(p->SetProperties(&request, &actual)));  // alignment not a power of two
  EXPECT_EQ(p->Commit(), VFW_E_SIZENOTSET);
  request.cbAlign = 64;
  ASSERT_EQ(p->SetProperties(&request, &actual), S_OK);
  EXPECT_EQ(actual.cbBuffer, 128);
  EXPECT_EQ(actual.cBuffers, 2);
  ASSERT_EQ(p->Commit(), S_OK);
  EXPECT_TRUE(FAILED(p->SetProperties(&request, &actual)));  // committed
  ComPtr<IMediaSample> pSample;
  ASSERT_EQ(p->GetBuffer(pSample.ReleaseAndGetAddressOf(), nullptr, nullptr, 0), S_OK);
  BYTE* pData = nullptr;
  pSample->GetPointer(&pData);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(pData) % 64, 0u);
  EXPECT_EQ(pSample->SetActualDataLength(129), VFW_E_BUFFER_OVERFLOW);
  EXPECT_EQ(pSample->SetActualDataLength(128), S_OK);
}

TEST_F(MemAllocatorTest, HandsOutEachBufferOnceUntilItComesBack) {
  ComPtr<IMemAllocator> p = Committed(2);
  ComPtr<IMediaSample> pA;
  ComPtr<IMediaSample> pB;
  ComPtr<IMediaSample> pC;
  ASSERT_EQ(p->GetBuffer(pA.ReleaseAndGetAddressOf(), nullptr, nullptr, 0), S_OK);
  ASSERT_EQ(p->GetBuffer(pB.ReleaseAndGetAddressOf(), nullptr, nullptr, 0), S_OK);
  EXPECT_NE(pA.Get(), pB.Get());
  EXPECT_EQ(p->GetBuffer(pC.ReleaseAndGetAddressOf(), nullptr, nullptr, AM_GBF_NOWAIT), VFW_E_TIMEOUT);

  REFERENCE_TIME tStart = 10;
  REFERENCE_TIME tStop = 20;
  pA->SetTime(&tStart, &tStop);
  pA->SetSyncPoint(TRUE);
  IMediaSample* pRaw = pA.Get();
  pA.Reset();  // back to the pool, its properties cleared
  ASSERT_EQ(p->GetBuffer(pC.ReleaseAndGetAddressOf(), nullptr, nullptr, AM_GBF_NOWAIT), S_OK);
  EXPECT_EQ(pC.Get(), pRaw);
  EXPECT_EQ(pC->IsSyncPoint(), S_FALSE);
  EXPECT_EQ(pC->GetTime(&tStart, &tStop), VFW_E_SAMPLE_TIME_NOT_SET);
}

TEST_F(MemAllocatorTest, DecommitReleasesAWaitingThread) {
  ComPtr<IMemAllocator> p = Committed(1);
  ComPtr<IMediaSample> pHeld;
  ASSERT_EQ(p->GetBuffer(pHeld.ReleaseAndGetAddressOf(), nullptr, nullptr, 0), S_OK);
  HRESULT hrWaiter = S_OK;
  std::thread waiter([&] {
    IMediaSample* pSample = nullptr;
    hrWaiter = p->GetBuffer(&pSample, nullptr, nullptr, 0);
  });
  EXPECT_EQ(p->Decommit(), S_OK);
  waiter.join();
  EXPECT_EQ(hrWaiter, VFW_E_NOT_COMMITTED);
}

TEST_F(MemAllocatorTest, SamplesKeepTheAllocatorAlive) {
  ComPtr<IMemAllocator> p = Committed(1);
  ComPtr<IMediaSample> pSample;
  ASSERT_EQ(p->GetBuffer(pSample.ReleaseAndGetAddressOf(), nullptr, nullptr, 0), S_OK);
  EXPECT_EQ(p->Release(), 1u);  // the sample's reference remains
  (void)p.Detach();
  BYTE* pData = nullptr;
  ASSERT_EQ(pSample->GetPointer(&pData), S_OK);
  pData[0] = 1;
  EXPECT_EQ(pSample->Release(), 0u);  // the allocator goes with it
  (void)pSample.Detach();
}

}  // namespace
