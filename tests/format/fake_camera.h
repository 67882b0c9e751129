// A camera made of small fakes of the driver's interfaces, entered into the
// library's open-camera table so the exports can be called on its handle. The
// fakes log what the driver receives and fail on request.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

#include "base/unknown.h"
#include "core/camera.h"
#include "iidc.h"
#include "registers/property_set.h"
#include "winapi.h"

// The camera's register space behind the register and area requests.
class CFakeRegisters : public CComBase<IKsPropertySet>
{
public:
    CFakeRegisters() : CComBase("FakeRegisters") {}
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP Set(REFGUID set, DWORD id, LPVOID pInstance, DWORD cbInstance, LPVOID pData, DWORD cbData) override;
    STDMETHODIMP Get(REFGUID set, DWORD id, LPVOID pInstance, DWORD cbInstance, LPVOID pData, DWORD cbData,
                     DWORD* pcbReturned) override;
    STDMETHODIMP QuerySupported(REFGUID, DWORD, DWORD*) override { return E_NOTIMPL; }

    std::map<uint32_t, uint32_t> m_values;   // absent registers read as 0
    std::set<uint32_t> m_failing;            // reads of these fail
    std::vector<uint32_t> m_reads;           // offsets read successfully, in order
    std::vector<IIDC_AREA_REQUEST> m_areas;  // area requests received
    HRESULT m_hrArea = S_OK;

private:
    uint32_t m_pendingRead = 0;
};

struct FAKE_CAP
{
    GUID subtype;
    ULONG lSampleSize;
};

// The capture pin's stream configuration. Every media type it hands out
// carries a pUnk token, so a test can tell that all of them were given back.
class CFakeStreamConfig : public CComBase<IAMStreamConfig>
{
public:
    CFakeStreamConfig() : CComBase("FakeStreamConfig") {}
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP SetFormat(AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP GetFormat(AM_MEDIA_TYPE** ppmt) override;
    STDMETHODIMP GetNumberOfCapabilities(int* piCount, int* piSize) override;
    STDMETHODIMP GetStreamCaps(int iIndex, AM_MEDIA_TYPE** ppmt, BYTE* pSCC) override;

    std::vector<FAKE_CAP> m_caps;
    FAKE_CAP m_current{};
    REFERENCE_TIME m_currentInterval = 333333;
    HRESULT m_hrCount = S_OK;
    int m_failCapsAt = -1;
    HRESULT m_hrGetFormat = S_OK;
    HRESULT m_hrSetFormat = S_OK;

    struct SENT
    {
        GUID subtype;
        ULONG lSampleSize;
        REFERENCE_TIME interval;
        DWORD dwTag;   // the capability the media type came from (GetFormat: ~0)
    };
    std::vector<SENT> m_sent;   // SetFormat calls, accepted or not
    static LONG OutstandingMediaTypes();

private:
    AM_MEDIA_TYPE* NewMediaType(const FAKE_CAP& cap, REFERENCE_TIME interval, DWORD dwTag);
};

// The grabber's connected media type and the two frame counters.
class CFakeGrabber : public CComBase<ISampleGrabber>
{
public:
    CFakeGrabber() : CComBase("FakeGrabber") {}
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP SetOneShot(BOOL) override { return S_OK; }
    STDMETHODIMP SetMediaType(const AM_MEDIA_TYPE*) override { return S_OK; }
    STDMETHODIMP GetConnectedMediaType(AM_MEDIA_TYPE* pType) override;
    STDMETHODIMP SetBufferSamples(BOOL) override { return S_OK; }
    STDMETHODIMP GetCurrentBuffer(LONG*, LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP GetCurrentSample(IMediaSample**) override { return E_NOTIMPL; }
    STDMETHODIMP SetCallback(ISampleGrabberCB*, LONG) override { return S_OK; }

    ULONG m_lSampleSize = 0;
    HRESULT m_hr = S_OK;
};

class CFakeCounters : public CComBase<IAMDroppedFrames, IQualProp>
{
public:
    CFakeCounters() : CComBase("FakeCounters") {}
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP GetNumDropped(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP GetNumNotDropped(LONG* number) override;
    STDMETHODIMP GetDroppedInfo(LONG, LONG*, LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP GetAverageFrameSize(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP get_FramesDroppedInRenderer(int*) override { return E_NOTIMPL; }
    STDMETHODIMP get_FramesDrawn(int* pcFramesDrawn) override;
    STDMETHODIMP get_AvgFrameRate(int*) override { return E_NOTIMPL; }
    STDMETHODIMP get_Jitter(int*) override { return E_NOTIMPL; }
    STDMETHODIMP get_AvgSyncOffset(int*) override { return E_NOTIMPL; }
    STDMETHODIMP get_DevSyncOffset(int*) override { return E_NOTIMPL; }

    LONG m_nCount = 0;
    HRESULT m_hr = S_OK;
};

// The library started with two cameras, index 1 open on the fakes (so the
// camera's own slot is not slot 0, where some failures land by design).
class FakeCameraTest : public ::testing::Test
{
protected:
    static constexpr int32_t INDEX = 1;

    void SetUp() override;
    void TearDown() override;

    iidc_handle Handle() const { return reinterpret_cast<iidc_handle>(m_pCamera); }
    uint32_t CameraCode() const;
    uint32_t GlobalCode() const;
    void ClearCodes();

    void SetRegister(uint32_t offset, uint32_t value) { m_pRegisters->m_values[offset] = value; }
    // Format 7 mode m with its register block at command-register offset block.
    void AddFormat7Mode(uint32_t mode, uint32_t block, uint32_t colourInquiry, uint32_t colourId = 0);

    CCamera* m_pCamera = nullptr;
    CFakeRegisters* m_pRegisters = nullptr;        // owned by the camera
    CFakeStreamConfig* m_pStreamConfig = nullptr;  // owned by the camera

private:
    uint32_t m_codes[3] = {};
    CCamera* m_table[2] = {};
};

// Media subtypes as the driver names them.
GUID Fourcc(const char code[5]);
extern const GUID SUBTYPE_RGB8_MONO;
