// Virtual cameras for the format tests: three profiles (with Format 7, without
// it, and one in Format 7), a started library on them, a filter graph that
// records teardown, and helpers to capture a few frames.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "base/com_ptr.h"
#include "base/unknown.h"
#include "capture/sample_grabber_cb.h"
#include "core/camera.h"
#include "iidc.h"
#include "registers/offsets.h"
#include "tests/support/emul_env.h"
#include "vcam/filter/test_support.h"
#include "vcam/model/camera_set.h"

namespace vcam_format {

using namespace iidc_reg;

constexpr int32_t WITH_FORMAT7 = 0;
constexpr int32_t WITHOUT_FORMAT7 = 1;
constexpr int32_t IN_FORMAT7 = 2;

inline vcam::Profile CameraProfile(const char* pName)
{
    vcam::Profile profile;
    profile.strFriendlyName = pName;
    profile.strVendor = "Test Vendor";
    profile.strModel = pName;
    profile.ullUniqueId = 0x00A0B0C0D0E0F010ull;
    return profile;
}

// Formats 0, 1 and 7; Format 1 mode 3 offers only 60 fps, a rate the library
// never chooses.
inline vcam::Profile WithFormat7()
{
    vcam::Profile profile = CameraProfile("Format 7 Camera");
    profile.standardModes = {{0, 1, IIDC_BIT(0) | IIDC_BIT(4) | IIDC_BIT(5)},
                             {0, 3, IIDC_BIT(1) | IIDC_BIT(2) | IIDC_BIT(3)},
                             {0, 5, IIDC_BIT(1) | IIDC_BIT(2) | IIDC_BIT(3) | IIDC_BIT(4)},
                             {1, 3, IIDC_BIT(5)}};
    vcam::Format7ModeProfile mode0;
    mode0.nMode = 0;
    mode0.nMaxWidth = 1280;
    mode0.nMaxHeight = 960;
    mode0.nUnitWidth = 8;
    mode0.nUnitHeight = 2;
    mode0.nUnitLeft = 4;
    mode0.nUnitTop = 2;
    mode0.colorCodings = {IIDC_COLOR_MONO8, IIDC_COLOR_YUV422};
    mode0.nColor = IIDC_COLOR_YUV422;
    vcam::Format7ModeProfile mode3;
    mode3.nMode = 3;
    mode3.nMaxWidth = 640;
    mode3.nMaxHeight = 480;
    mode3.colorCodings = {IIDC_COLOR_MONO16};
    mode3.nColor = IIDC_COLOR_MONO16;
    profile.format7Modes = {mode0, mode3};
    profile.nInitialFormat = 0;
    profile.nInitialMode = 3;
    profile.nInitialRate = 3;
    return profile;
}

inline vcam::Profile WithoutFormat7()
{
    vcam::Profile profile = CameraProfile("Plain Camera");
    profile.standardModes = {{0, 5, IIDC_BIT(4)}, {1, 2, IIDC_BIT(2) | IIDC_BIT(3)}};
    profile.nInitialFormat = 0;
    profile.nInitialMode = 5;
    profile.nInitialRate = 4;
    profile.nIsoChannel = 0;
    profile.nIsoSpeed = 2;   // S400
    return profile;
}

inline vcam::Profile InFormat7()
{
    vcam::Profile profile = CameraProfile("Scalable Camera");
    vcam::Format7ModeProfile mode1;
    mode1.nMode = 1;
    mode1.nMaxWidth = 1280;
    mode1.nMaxHeight = 1024;
    mode1.nUnitWidth = 4;
    mode1.nUnitHeight = 2;
    mode1.nUnitLeft = 2;
    mode1.nUnitTop = 1;
    mode1.colorCodings = {IIDC_COLOR_MONO8};
    mode1.nLeft = 16;
    mode1.nTop = 8;
    mode1.nWidth = 640;
    mode1.nHeight = 480;
    profile.format7Modes = {mode1};
    profile.nInitialFormat = 7;
    profile.nInitialMode = 1;
    profile.nIsoChannel = 3;
    profile.nIsoSpeed = 1;   // S200
    return profile;
}

// A filter graph that passes every call on and notes which pins are
// disconnected and which filters removed, in order.
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
    STDMETHODIMP AddFilter(IBaseFilter* p, LPCWSTR pName) override { return m_pInner->AddFilter(p, pName); }
    STDMETHODIMP RemoveFilter(IBaseFilter* p) override
    {
        m_removed.push_back(p);
        return m_pInner->RemoveFilter(p);
    }
    STDMETHODIMP EnumFilters(IEnumFilters** pp) override { return m_pInner->EnumFilters(pp); }
    STDMETHODIMP FindFilterByName(LPCWSTR pName, IBaseFilter** pp) override
    {
        return m_pInner->FindFilterByName(pName, pp);
    }
    STDMETHODIMP ConnectDirect(IPin* a, IPin* b, const AM_MEDIA_TYPE* pmt) override
    {
        return m_pInner->ConnectDirect(a, b, pmt);
    }
    STDMETHODIMP Reconnect(IPin* p) override { return m_pInner->Reconnect(p); }
    STDMETHODIMP Disconnect(IPin* p) override
    {
        m_disconnected.push_back(p);
        return m_pInner->Disconnect(p);
    }
    STDMETHODIMP SetDefaultSyncSource() override { return m_pInner->SetDefaultSyncSource(); }
    STDMETHODIMP Connect(IPin* a, IPin* b) override { return m_pInner->Connect(a, b); }
    STDMETHODIMP Render(IPin* p) override { return m_pInner->Render(p); }
    STDMETHODIMP RenderFile(LPCWSTR a, LPCWSTR b) override { return m_pInner->RenderFile(a, b); }
    STDMETHODIMP AddSourceFilter(LPCWSTR a, LPCWSTR b, IBaseFilter** pp) override
    {
        return m_pInner->AddSourceFilter(a, b, pp);
    }
    STDMETHODIMP SetLogFile(DWORD_PTR h) override { return m_pInner->SetLogFile(h); }
    STDMETHODIMP Abort() override { return m_pInner->Abort(); }
    STDMETHODIMP ShouldOperationContinue() override { return m_pInner->ShouldOperationContinue(); }

    ComPtr<IGraphBuilder> m_pInner;
    std::vector<IBaseFilter*> m_removed;   // identities only, never followed
    std::vector<IPin*> m_disconnected;
};

// One link of a filter chain: a filter's connected output pin and its peer.
struct LINK
{
    ComPtr<IPin> pOut;
    ComPtr<IPin> pIn;
    ComPtr<IBaseFilter> pDownstream;
};

inline LINK LinkBelow(IBaseFilter* pFilter)
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

inline int FiltersInGraph(IGraphBuilder* pGraph)
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
        std::vector<vcam::Profile> set = {WithFormat7(), WithoutFormat7(), InFormat7()};
        for (vcam::Profile& profile : set) {
            auto pClock = std::make_shared<vcam::CSteppedClock>();
            m_clocks.push_back(pClock);
            profile.pClock = pClock;
        }
        vcam::SetActiveCameraSet(set);
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
    static vcam::CDriverLog& Log(int32_t index) { return *vcam::GetDriverLog(size_t(index)); }
    static vcam::CameraFaults& Faults(int32_t index) { return *vcam::GetCameraFaults(size_t(index)); }
    static uint32_t Code(int32_t index) { return iidc_getlasterror(index); }

    std::vector<uint32_t> List(iidc_handle handle)
    {
        std::vector<uint32_t> ids(32);
        const int32_t bytes = iidc_getformatidlist(handle, ids.data(), int32_t(ids.size() * 4));
        ids.resize(size_t(bytes) / 4);
        return ids;
    }

    // The orientation the capture filter has in force.
    static LONG VideoMode(iidc_handle handle)
    {
        CCamera& camera = Camera(handle);
        ComPtr<IAMVideoControl> pControl;
        ComPtr<IPin> pPin;
        LONG mode = -1;
        camera.m_pCaptureFilter->QueryInterface(IID_IAMVideoControl, pControl.ReleaseAndGetVoidAddressOf());
        camera.m_pBuilder->FindPin(camera.m_pCaptureFilter.Get(), PINDIR_OUTPUT, nullptr, nullptr, FALSE, 0, &pPin);
        pControl->GetMode(pPin.Get(), &mode);
        return mode;
    }

    // Captures continuously and lets n frames reach the ring.
    void CaptureFrames(iidc_handle handle, int32_t index, LONG n)
    {
        ASSERT_TRUE(iidc_preparecapture(handle));
        ASSERT_EQ(iidc_allocframe(handle, 3), 3);
        ASSERT_TRUE(iidc_capture(handle, 1));
        m_clocks[size_t(index)]->Step(uint64_t(n));
        CCamera& camera = Camera(handle);
        while (camera.m_pCallback->FramesStored() < n)
            ASSERT_EQ(WaitForSingleObject(camera.m_hFrameEvent, 10000), WAIT_OBJECT_0) << "frames stopped";
    }

    std::vector<std::shared_ptr<vcam::CSteppedClock>> m_clocks;
    std::vector<iidc_handle> m_opened;
};

} // namespace vcam_format
