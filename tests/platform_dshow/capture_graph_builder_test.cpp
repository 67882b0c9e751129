// The capture graph builder's pin and interface searches.
#include "dshow_test_support.h"
#include "emul/fault.h"

namespace {

class CaptureGraphBuilderTest : public CDshowTest {
 protected:
  void SetUp() override {
    CDshowTest::SetUp();
    m_pGraph = Create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
    m_pBuilder = Create<ICaptureGraphBuilder2>(CLSID_CaptureGraphBuilder2, IID_ICaptureGraphBuilder2);
    ASSERT_EQ(m_pBuilder->SetFiltergraph(m_pGraph.Get()), S_OK);
    m_pSourceFilter = CreateTestSource(&m_pSource);
    m_pGrabber = Create<IBaseFilter>(CLSID_SampleGrabber, IID_IBaseFilter);
    ASSERT_EQ(m_pGraph->AddFilter(m_pSourceFilter.Get(), L"Camera"), S_OK);
    ASSERT_EQ(m_pGraph->AddFilter(m_pGrabber.Get(), L"Sample Grabber Origin"), S_OK);
  }
  void TearDown() override {
    m_pGrabber.Reset();
    m_pSourceFilter.Reset();
    m_pBuilder.Reset();
    m_pGraph.Reset();
    CDshowTest::TearDown();
  }

  ComPtr<IPin> Find(IUnknown* pSource, PIN_DIRECTION dir, const GUID* pCategory, const GUID* pType,
                    BOOL fUnconnected, int num, HRESULT hrExpected = S_OK) {
    ComPtr<IPin> pPin;
    EXPECT_EQ(m_pBuilder->FindPin(pSource, dir, pCategory, pType, fUnconnected, num, pPin.ReleaseAndGetAddressOf()),
              hrExpected);
    return pPin;
  }

  // source capture pin -> grabber -> video renderer
  void BuildDisplayGraph() {
    ASSERT_EQ(m_pGraph->Connect(PinOf(m_pSourceFilter.Get(), PINDIR_OUTPUT).Get(),
                                PinOf(m_pGrabber.Get(), PINDIR_INPUT).Get()),
              S_OK);
    ASSERT_EQ(m_pGraph->Render(PinOf(m_pGrabber.Get(), PINDIR_OUTPUT).Get()), S_OK);
  }

  ComPtr<IGraphBuilder> m_pGraph;
  ComPtr<ICaptureGraphBuilder2> m_pBuilder;
  CTestSource* m_pSource = nullptr;
  ComPtr<IBaseFilter> m_pSourceFilter;
  ComPtr<IBaseFilter> m_pGrabber;
};

TEST_F(CaptureGraphBuilderTest, AttachesToOneGraph) {
  ComPtr<IGraphBuilder> pGraph;
  ASSERT_EQ(m_pBuilder->GetFiltergraph(pGraph.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_EQ(pGraph.Get(), m_pGraph.Get());
  EXPECT_EQ(m_pBuilder->SetFiltergraph(m_pGraph.Get()), E_UNEXPECTED);
  ComPtr<ICaptureGraphBuilder2> pFresh = Create<ICaptureGraphBuilder2>(CLSID_CaptureGraphBuilder2,
                                                                       IID_ICaptureGraphBuilder2);
  EXPECT_EQ(pFresh->GetFiltergraph(pGraph.ReleaseAndGetAddressOf()), E_UNEXPECTED);
  EXPECT_EQ(pGraph.Get(), nullptr);
}

TEST_F(CaptureGraphBuilderTest, FindPinFiltersByDirectionCategoryTypeAndConnection) {
  ComPtr<IPin> pCapture = PinOf(m_pSourceFilter.Get(), PINDIR_OUTPUT, 0);
  ComPtr<IPin> pPreview = PinOf(m_pSourceFilter.Get(), PINDIR_OUTPUT, 1);
  EXPECT_EQ(Find(m_pSourceFilter.Get(), PINDIR_OUTPUT, nullptr, &MEDIATYPE_Video, TRUE, 0).Get(), pCapture.Get());
  EXPECT_EQ(Find(m_pSourceFilter.Get(), PINDIR_OUTPUT, nullptr, nullptr, FALSE, 1).Get(), pPreview.Get());
  EXPECT_EQ(Find(m_pSourceFilter.Get(), PINDIR_OUTPUT, &PIN_CATEGORY_PREVIEW, nullptr, FALSE, 0).Get(),
            pPreview.Get());
  Find(m_pSourceFilter.Get(), PINDIR_OUTPUT, nullptr, nullptr, FALSE, 2, E_FAIL);
  Find(m_pSourceFilter.Get(), PINDIR_INPUT, nullptr, nullptr, FALSE, 0, E_FAIL);
  Find(m_pSourceFilter.Get(), PINDIR_OUTPUT, nullptr, &MEDIATYPE_Stream, FALSE, 0, E_FAIL);
  // The grabber's pins have no category property set.
  Find(m_pGrabber.Get(), PINDIR_INPUT, &PIN_CATEGORY_CAPTURE, nullptr, FALSE, 0, E_FAIL);

  ASSERT_EQ(m_pGraph->Connect(pCapture.Get(), PinOf(m_pGrabber.Get(), PINDIR_INPUT).Get()), S_OK);
  // Unconnected only skips the capture pin now.
  EXPECT_EQ(Find(m_pSourceFilter.Get(), PINDIR_OUTPUT, nullptr, nullptr, TRUE, 0).Get(), pPreview.Get());
  EXPECT_EQ(Find(m_pSourceFilter.Get(), PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, nullptr, FALSE, 0).Get(),
            pCapture.Get());
  // A pin as the source is the only candidate.
  EXPECT_EQ(Find(pCapture.Get(), PINDIR_OUTPUT, nullptr, nullptr, FALSE, 0).Get(), pCapture.Get());
  Find(pCapture.Get(), PINDIR_OUTPUT, nullptr, nullptr, TRUE, 0, E_FAIL);

  IPin* pNull = nullptr;
  EXPECT_EQ(m_pBuilder->FindPin(nullptr, PINDIR_OUTPUT, nullptr, nullptr, FALSE, 0, &pNull), E_POINTER);
  emul::FailOperation("ICaptureGraphBuilder2::FindPin", E_OUTOFMEMORY, 1);
  Find(m_pSourceFilter.Get(), PINDIR_OUTPUT, nullptr, nullptr, FALSE, 0, E_OUTOFMEMORY);
}

TEST_F(CaptureGraphBuilderTest, FindInterfaceSearchesFilterPinsThenDownstreamThenUpstream) {
  if (!HaveDisplay()) {
    GTEST_SKIP() << NO_DISPLAY;
  }
  BuildDisplayGraph();
  ComPtr<IBaseFilter> pRenderer;
  ASSERT_EQ(m_pGraph->FindFilterByName(L"Video Renderer", pRenderer.ReleaseAndGetAddressOf()), S_OK);
  ComPtr<IUnknown> pFound;
  const auto Search = [&](const GUID* pCategory, IBaseFilter* pFilter, REFIID iid) {
    return m_pBuilder->FindInterface(pCategory, nullptr, pFilter, iid, pFound.ReleaseAndGetVoidAddressOf());
  };
  // Downstream from the source: the grabber, then the renderer.
  ASSERT_EQ(Search(nullptr, m_pSourceFilter.Get(), IID_IQualProp), S_OK);
  EXPECT_EQ(Query<IUnknown>(pFound.Get(), IID_IUnknown).Get(), Query<IUnknown>(pRenderer.Get(), IID_IUnknown).Get());
  EXPECT_EQ(Search(nullptr, m_pSourceFilter.Get(), IID_ISampleGrabber), S_OK);
  EXPECT_EQ(Search(nullptr, m_pSourceFilter.Get(), IID_IKsPropertySet), S_OK);  // on the filter's own pins
  // Upstream from the renderer, and only that way.
  EXPECT_EQ(Search(&LOOK_UPSTREAM_ONLY, pRenderer.Get(), IID_IKsPropertySet), S_OK);
  EXPECT_EQ(Search(&LOOK_DOWNSTREAM_ONLY, pRenderer.Get(), IID_ISampleGrabber), E_NOINTERFACE);
  EXPECT_EQ(pFound.Get(), nullptr);
  // From the pin of a category downstream; the preview pin leads nowhere.
  EXPECT_EQ(m_pBuilder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, m_pSourceFilter.Get(), IID_IQualProp,
                                      pFound.ReleaseAndGetVoidAddressOf()),
            S_OK);
  EXPECT_EQ(Search(&PIN_CATEGORY_PREVIEW, m_pSourceFilter.Get(), IID_IQualProp), E_NOINTERFACE);
  EXPECT_EQ(Search(nullptr, m_pSourceFilter.Get(), IID_IAMDroppedFrames), E_NOINTERFACE);
  EXPECT_EQ(pFound.Get(), nullptr);

  // What a search hands out carries one reference.
  ASSERT_EQ(Search(nullptr, m_pSourceFilter.Get(), IID_IQualProp), S_OK);
  const ULONG cRef = RefCount(pFound.Get());
  ComPtr<IQualProp> pAgain;
  ASSERT_EQ(m_pBuilder->FindInterface(nullptr, nullptr, m_pSourceFilter.Get(), IID_IQualProp,
                                      pAgain.ReleaseAndGetVoidAddressOf()),
            S_OK);
  EXPECT_EQ(RefCount(pFound.Get()), cRef + 1);
}

TEST_F(CaptureGraphBuilderTest, RenderStreamConnectsThroughAFilterToARenderer) {
  ComPtr<IBaseFilter> pRenderer = Create<IBaseFilter>(CLSID_NullRenderer, IID_IBaseFilter);
  ASSERT_EQ(m_pGraph->AddFilter(pRenderer.Get(), L"Null Renderer"), S_OK);
  ASSERT_EQ(m_pBuilder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, m_pSourceFilter.Get(), m_pGrabber.Get(),
                                     pRenderer.Get()),
            S_OK);
  ComPtr<IPin> pGrabberOut = PinOf(m_pGrabber.Get(), PINDIR_OUTPUT);
  EXPECT_EQ(PeerOf(pGrabberOut.Get()).Get(), PinOf(pRenderer.Get(), PINDIR_INPUT).Get());
  EXPECT_EQ(PeerOf(PinOf(m_pSourceFilter.Get(), PINDIR_OUTPUT).Get()).Get(),
            PinOf(m_pGrabber.Get(), PINDIR_INPUT).Get());
}

}  // namespace
