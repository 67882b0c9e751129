// The format model on the built-in virtual cameras, where only the real
// capture graph shows it: the order in which a change takes the graph down,
// and platform calls that fail on the way (what the exports record for them
// is checked on the fakes).
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "base/com_ptr.h"
#include "base/unknown.h"
#include "core/camera.h"
#include "emul/fault.h"
#include "iidc.h"
#include "tests/support/emul_env.h"
#include "vcam/filter/test_support.h"
#include "vcam/model/camera_set.h"

namespace {

constexpr int32_t COLOR_CAMERA = 0;   // Format 0 mode 3 (UYVY) at power-up
constexpr int32_t MONO_CAMERA = 1;
constexpr uint32_t MONO8_ID = 0xFF705000;   // Format 0 mode 5, Mono8

// Passes every call on and notes the pins disconnected and the filters
// removed, in order.
class CRecordingGraph : public CComBase<IGraphBuilder>
{
public:
    explicit CRecordingGraph(IGraphBuilder* pInner) : CComBase("RecordingGraph"), m_pInner(pInner) {}
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override
    {
        if (riid == IID_IGraphBuilder || riid == IID_IFilterGraph)
            return GetInterface(static_cast<IGraphBuilder*>(this), ppv);
        return CComBase::NonDelegatingQueryInterface(riid, ppv);
    }
    STDMETHODIMP RemoveFilter(IBaseFilter* p) override
    {
        m_removed.push_back(p);
        return m_pInner->RemoveFilter(p);
    }
    STDMETHODIMP Disconnect(IPin* p) override
    {
        m_disconnected.push_back(p);
        return m_pInner->Disconnect(p);
    }
    STDMETHODIMP AddFilter(IBaseFilter* p, LPCWSTR n) override { return m_pInner->AddFilter(p, n); }
    STDMETHODIMP EnumFilters(IEnumFilters** pp) override { return m_pInner->EnumFilters(pp); }
    STDMETHODIMP FindFilterByName(LPCWSTR n, IBaseFilter** pp) override { return m_pInner->FindFilterByName(n, pp); }
    STDMETHODIMP ConnectDirect(IPin* a, IPin* b, const AM_MEDIA_TYPE* t) override { return m_pInner->ConnectDirect(a, b, t); }
    STDMETHODIMP Reconnect(IPin* p) override { return m_pInner->Reconnect(p); }
    STDMETHODIMP SetDefaultSyncSource() override { return m_pInner->SetDefaultSyncSource(); }
    STDMETHODIMP Connect(IPin* a, IPin* b) override { return m_pInner->Connect(a, b); }
    STDMETHODIMP Render(IPin* p) override { return m_pInner->Render(p); }
    STDMETHODIMP RenderFile(LPCWSTR a, LPCWSTR b) override { return m_pInner->RenderFile(a, b); }
    STDMETHODIMP AddSourceFilter(LPCWSTR a, LPCWSTR b, IBaseFilter** pp) override { return m_pInner->AddSourceFilter(a, b, pp); }
    STDMETHODIMP SetLogFile(DWORD_PTR h) override { return m_pInner->SetLogFile(h); }
    STDMETHODIMP Abort() override { return m_pInner->Abort(); }
    STDMETHODIMP ShouldOperationContinue() override { return m_pInner->ShouldOperationContinue(); }

    ComPtr<IGraphBuilder> m_pInner;
    std::vector<IBaseFilter*> m_removed;   // identities only, never followed
    std::vector<IPin*> m_disconnected;
};

// A filter's connected output pin, its peer and the peer's filter.
struct LINK
{
    ComPtr<IPin> pOut;
    ComPtr<IPin> pIn;
    ComPtr<IBaseFilter> pDownstream;
};

LINK LinkBelow(IBaseFilter* pFilter)
{
    LINK link;
    ComPtr<IEnumPins> pEnum;
    if (FAILED(pFilter->EnumPins(&pEnum)))
        return link;
    ComPtr<IPin> pPin;
    while (pEnum->Next(1, &pPin, nullptr) == S_OK) {
        PIN_DIRECTION dir;
        pPin->QueryDirection(&dir);
        ComPtr<IPin> pPeer;
        if (dir != PINDIR_OUTPUT || FAILED(pPin->ConnectedTo(&pPeer)) || !pPeer)
            continue;
        PIN_INFO info{};
        pPeer->QueryPinInfo(&info);
        link.pDownstream.Attach(info.pFilter);
        link.pOut = pPin;
        link.pIn = pPeer;
        break;
    }
    return link;
}

int FiltersInGraph(IGraphBuilder* pGraph)
{
    ComPtr<IEnumFilters> pEnum;
    pGraph->EnumFilters(&pEnum);
    int n = 0;
    ComPtr<IBaseFilter> pFilter;
    while (pEnum->Next(1, &pFilter, nullptr) == S_OK)
        ++n;
    return n;
}

class VcamFormatTest : public CEmulTest
{
protected:
    void SetUp() override
    {
        CEmulTest::SetUp();
        m_clocks = vcam::InstallSteppedCameraSet();
        ASSERT_TRUE(iidc_init());
    }
    void TearDown() override
    {
        for (iidc_handle handle : m_opened)
            iidc_close(handle);
        iidc_uninit();
        m_clocks.clear();
        vcam::ResetActiveCameraSet();
        CEmulTest::TearDown();
    }
    iidc_handle Open(int32_t index)
    {
        iidc_handle handle = iidc_open(index);
        EXPECT_NE(handle, nullptr);
        if (handle)
            m_opened.push_back(handle);
        return handle;
    }
    static CCamera& Camera(iidc_handle handle) { return *reinterpret_cast<CCamera*>(handle); }

    std::vector<std::shared_ptr<vcam::CSteppedClock>> m_clocks;
    std::vector<iidc_handle> m_opened;
};

// The orientation asked for with a format is best effort (the frames' row
// order is checked in the behaviour suite): without the control the format
// is put in force all the same.
TEST_F(VcamFormatTest, FormatWithoutAnOrientationControl)
{
    vcam::GetCameraFaults(MONO_CAMERA)->bNoVideoControl = true;
    iidc_handle handle = Open(MONO_CAMERA);
    EXPECT_EQ(iidc_setformat(handle, MONO8_ID), 1);
    EXPECT_EQ(vcam::GetDriverLog(MONO_CAMERA)->FormatRequestCount(), 1);
}

// Format, rate and area changes take capture -> grabber -> renderer down
// from the bottom, and leave the capture filter alone in the graph.
TEST_F(VcamFormatTest, ChangesTearTheCaptureGraphDownBottomUp)
{
    const std::pair<const char*, std::function<void(iidc_handle)>> changes[] = {
        {"format", [](iidc_handle h) { EXPECT_EQ(iidc_setformat(h, MONO8_ID), 1); }},
        {"rate", [](iidc_handle h) { EXPECT_EQ(iidc_setframerate(h, 15.0f), 15.0f); }},
        {"area", [](iidc_handle h) {
             const iidc_area area{0, 0, 320, 240};
             iidc_setarea(h, &area, sizeof area);
         }},
    };
    iidc_handle handle = Open(COLOR_CAMERA);
    CCamera& camera = Camera(handle);
    for (const auto& [pName, change] : changes) {
        SCOPED_TRACE(pName);
        ASSERT_TRUE(iidc_preparecapture(handle));
        const LINK toGrabber = LinkBelow(camera.m_pCaptureFilter.Get());
        ASSERT_TRUE(toGrabber.pDownstream);
        const LINK toRenderer = LinkBelow(toGrabber.pDownstream.Get());
        ASSERT_TRUE(toRenderer.pDownstream);
        EXPECT_EQ(FiltersInGraph(camera.m_pGraph.Get()), 3);

        auto* pRecorder = new CRecordingGraph(camera.m_pGraph.Get());
        ComPtr<IGraphBuilder> pReal = camera.m_pGraph;
        camera.m_pGraph = ComPtr<IGraphBuilder>(pRecorder);
        change(handle);
        EXPECT_EQ(pRecorder->m_removed,
                  (std::vector<IBaseFilter*>{toRenderer.pDownstream.Get(), toGrabber.pDownstream.Get()}));
        EXPECT_EQ(pRecorder->m_disconnected, (std::vector<IPin*>{toRenderer.pIn.Get(), toRenderer.pOut.Get(),
                                                                 toGrabber.pIn.Get(), toGrabber.pOut.Get()}));
        camera.m_pGraph = pReal;

        EXPECT_EQ(FiltersInGraph(camera.m_pGraph.Get()), 1);
        EXPECT_EQ(iidc_getstatus(handle), IIDC_STATE_OPENED);
        EXPECT_FALSE(camera.m_pGrabber);
        EXPECT_FALSE(camera.m_pDroppedFrames);
    }
}

// Platform failures whose result is not what the fakes' failures show: any
// refusal of a rate or an area is the caller's value, and the orientation is
// best effort.
struct FAULT_CASE
{
    const char* pOperation;
    std::function<int32_t(iidc_handle)> call;
    int32_t nExpected;
    uint32_t dwCode;   // 0: success, nothing to check
};

class FormatFaultTest : public VcamFormatTest, public ::testing::WithParamInterface<FAULT_CASE>
{
};

TEST_P(FormatFaultTest, ResultAndCode)
{
    const FAULT_CASE& c = GetParam();
    iidc_handle handle = Open(COLOR_CAMERA);
    emul::FailOperation(c.pOperation, E_FAIL);
    EXPECT_EQ(c.call(handle), c.nExpected);
    if (c.dwCode) {
        EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), c.dwCode);
    }
    EXPECT_GT(emul::CallCount(c.pOperation), 0);
    emul::ResetFaults();
    EXPECT_EQ(iidc_getstatus(handle), IIDC_STATE_OPENED);
}

int32_t SetRate(iidc_handle h) { return iidc_setframerate(h, 7.5f) != 0.0f; }
int32_t SetFormat(iidc_handle h) { return iidc_setformat(h, MONO8_ID); }
int32_t SetArea(iidc_handle h)
{
    const iidc_area area{0, 0, 320, 240};
    return iidc_setarea(h, &area, sizeof area);
}

INSTANTIATE_TEST_SUITE_P(PlatformCalls, FormatFaultTest,
                         ::testing::Values(FAULT_CASE{"IAMStreamConfig::SetFormat", SetRate, 0, IIDC_ERR_INVALID_PARAMETER},
                                           FAULT_CASE{"IKsPropertySet::Set", SetArea, 0, IIDC_ERR_INVALID_PARAMETER},
                                           FAULT_CASE{"ICaptureGraphBuilder2::FindPin", SetFormat, 1, 0},
                                           FAULT_CASE{"IAMVideoControl::SetMode", SetFormat, 1, 0}));

// A failing step of the graph walk ends that walk, unexamined: the change
// goes on (a rate may change under a connection) and the camera is back in
// the opened state. A later teardown without the fault finishes the work.
class TeardownFaultTest : public VcamFormatTest, public ::testing::WithParamInterface<const char*>
{
};

TEST_P(TeardownFaultTest, ChangeStillGoesOn)
{
    iidc_handle handle = Open(COLOR_CAMERA);
    ASSERT_TRUE(iidc_preparecapture(handle));
    emul::FailOperation(GetParam(), E_FAIL);
    EXPECT_EQ(iidc_setframerate(handle, 7.5f), 7.5f);
    EXPECT_GT(emul::CallCount(GetParam()), 0);
    emul::ResetFaults();
    EXPECT_EQ(iidc_getstatus(handle), IIDC_STATE_OPENED);
    EXPECT_FALSE(Camera(handle).m_pGrabber);
    EXPECT_FALSE(Camera(handle).m_pDroppedFrames);
    EXPECT_TRUE(iidc_clearcapture(handle));
    EXPECT_FALSE(LinkBelow(Camera(handle).m_pCaptureFilter.Get()).pDownstream);
}

INSTANTIATE_TEST_SUITE_P(GraphWalk, TeardownFaultTest,
                         ::testing::Values("IBaseFilter::EnumPins", "IEnumPins::Next", "IPin::ConnectedTo",
                                           "IPin::QueryPinInfo", "IFilterGraph::Disconnect",
                                           "IFilterGraph::RemoveFilter"));

} // namespace
