#include "tests/format/fake_camera.h"

#include <atomic>
#include <cstring>

#include "core/library.h"
#include "registers/offsets.h"

namespace {

std::atomic<LONG> g_nOutstandingTypes{0};

// Rides in pUnk of every media type the fake pin hands out; its last Release
// marks the type as given back.
class CTypeToken : public CComBase<IUnknown>
{
public:
    CTypeToken() : CComBase("TypeToken") { ++g_nOutstandingTypes; }
    ~CTypeToken() override { --g_nOutstandingTypes; }
};

} // namespace

const GUID SUBTYPE_RGB8_MONO = {0xE436EB7A, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};

GUID Fourcc(const char code[5])
{
    DWORD value = 0;
    std::memcpy(&value, code, 4);
    return {value, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}

STDMETHODIMP CFakeRegisters::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IKsPropertySet)
        return GetInterface(static_cast<IKsPropertySet*>(this), ppv);
    return CComBase::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CFakeRegisters::Set(REFGUID set, DWORD id, LPVOID pInstance, DWORD cbInstance, LPVOID, DWORD)
{
    if (set != PROPSETID_IIDC_CAMERA || cbInstance != IIDC_REQUEST_SIZE)
        return E_INVALIDARG;
    if (id == IIDC_PROPERTY_AREA) {
        m_areas.push_back(*static_cast<const IIDC_AREA_REQUEST*>(pInstance));
        return m_hrArea;
    }
    const auto& request = *static_cast<const IIDC_REGISTER_REQUEST*>(pInstance);
    if (id == IIDC_PROPERTY_WRITE_QUADLET) {
        m_values[request.offset] = request.value;
        return S_OK;
    }
    if (m_failing.count(request.offset))
        return E_FAIL;
    m_pendingRead = request.offset;
    return S_OK;
}

STDMETHODIMP CFakeRegisters::Get(REFGUID, DWORD id, LPVOID, DWORD, LPVOID pData, DWORD, DWORD* pcbReturned)
{
    if (id != IIDC_PROPERTY_READ_QUADLET)
        return E_INVALIDARG;
    auto& request = *static_cast<IIDC_REGISTER_REQUEST*>(pData);
    const auto it = m_values.find(m_pendingRead);
    request.value = it == m_values.end() ? 0 : it->second;
    m_reads.push_back(m_pendingRead);
    if (pcbReturned)
        *pcbReturned = IIDC_REQUEST_SIZE;
    return S_OK;
}

STDMETHODIMP CFakeStreamConfig::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IAMStreamConfig)
        return GetInterface(static_cast<IAMStreamConfig*>(this), ppv);
    return CComBase::NonDelegatingQueryInterface(riid, ppv);
}

LONG CFakeStreamConfig::OutstandingMediaTypes() { return g_nOutstandingTypes; }

AM_MEDIA_TYPE* CFakeStreamConfig::NewMediaType(const FAKE_CAP& cap, REFERENCE_TIME interval, DWORD dwTag)
{
    auto* pmt = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
    std::memset(pmt, 0, sizeof *pmt);
    pmt->majortype = MEDIATYPE_Video;
    pmt->subtype = cap.subtype;
    pmt->lSampleSize = cap.lSampleSize;
    pmt->formattype = FORMAT_VideoInfo;
    pmt->cbFormat = sizeof(VIDEOINFOHEADER);
    pmt->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
    std::memset(pmt->pbFormat, 0, sizeof(VIDEOINFOHEADER));
    auto* pInfo = reinterpret_cast<VIDEOINFOHEADER*>(pmt->pbFormat);
    pInfo->AvgTimePerFrame = interval;
    pInfo->dwBitRate = dwTag;   // not read by the library
    auto* pToken = new CTypeToken;
    pToken->NonDelegatingAddRef();
    pmt->pUnk = static_cast<IUnknown*>(pToken);
    return pmt;
}

STDMETHODIMP CFakeStreamConfig::SetFormat(AM_MEDIA_TYPE* pmt)
{
    const auto* pInfo = reinterpret_cast<const VIDEOINFOHEADER*>(pmt->pbFormat);
    m_sent.push_back({pmt->subtype, pmt->lSampleSize, pInfo->AvgTimePerFrame, pInfo->dwBitRate});
    if (FAILED(m_hrSetFormat))
        return m_hrSetFormat;
    m_current = {pmt->subtype, pmt->lSampleSize};
    m_currentInterval = pInfo->AvgTimePerFrame;
    return S_OK;
}

STDMETHODIMP CFakeStreamConfig::GetFormat(AM_MEDIA_TYPE** ppmt)
{
    if (FAILED(m_hrGetFormat))
        return m_hrGetFormat;
    *ppmt = NewMediaType(m_current, m_currentInterval, ~0u);
    return S_OK;
}

STDMETHODIMP CFakeStreamConfig::GetNumberOfCapabilities(int* piCount, int* piSize)
{
    if (FAILED(m_hrCount))
        return m_hrCount;
    *piCount = int(m_caps.size());
    *piSize = sizeof(VIDEO_STREAM_CONFIG_CAPS);
    return S_OK;
}

STDMETHODIMP CFakeStreamConfig::GetStreamCaps(int iIndex, AM_MEDIA_TYPE** ppmt, BYTE* pSCC)
{
    if (iIndex == m_failCapsAt || iIndex < 0 || size_t(iIndex) >= m_caps.size())
        return E_FAIL;
    std::memset(pSCC, 0, sizeof(VIDEO_STREAM_CONFIG_CAPS));
    *ppmt = NewMediaType(m_caps[size_t(iIndex)], 1000000, DWORD(iIndex));
    return S_OK;
}

STDMETHODIMP CFakeGrabber::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_ISampleGrabber)
        return GetInterface(static_cast<ISampleGrabber*>(this), ppv);
    return CComBase::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CFakeGrabber::GetConnectedMediaType(AM_MEDIA_TYPE* pType)
{
    if (FAILED(m_hr))
        return m_hr;
    std::memset(pType, 0, sizeof *pType);
    pType->majortype = MEDIATYPE_Video;
    pType->lSampleSize = m_lSampleSize;
    pType->formattype = FORMAT_VideoInfo;
    pType->cbFormat = sizeof(VIDEOINFOHEADER);
    pType->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
    std::memset(pType->pbFormat, 0, sizeof(VIDEOINFOHEADER));
    return S_OK;
}

STDMETHODIMP CFakeCounters::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IAMDroppedFrames)
        return GetInterface(static_cast<IAMDroppedFrames*>(this), ppv);
    if (riid == IID_IQualProp)
        return GetInterface(static_cast<IQualProp*>(this), ppv);
    return CComBase::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CFakeCounters::GetNumNotDropped(LONG* number)
{
    *number = m_nCount;
    return m_hr;
}

STDMETHODIMP CFakeCounters::get_FramesDrawn(int* pcFramesDrawn)
{
    *pcFramesDrawn = int(m_nCount);
    return m_hr;
}

void FakeCameraTest::SetUp()
{
    g_bInitialized = true;
    g_nSlotCount = 3;
    g_pErrorCodes = m_codes;
    g_ppOpenCameras = m_table;
    m_pCamera = new CCamera;
    m_pCamera->m_nIndex = INDEX;
    m_pCamera->m_nState = IIDC_STATE_OPENED;
    m_pRegisters = new CFakeRegisters;
    m_pCamera->m_pKsPropertySet.Attach(m_pRegisters);
    m_pRegisters->NonDelegatingAddRef();
    m_pStreamConfig = new CFakeStreamConfig;
    m_pCamera->m_pStreamConfig.Attach(m_pStreamConfig);
    m_pStreamConfig->NonDelegatingAddRef();
    m_table[INDEX] = m_pCamera;
}

void FakeCameraTest::TearDown()
{
    delete m_pCamera;
    g_bInitialized = false;
    g_nSlotCount = 0;
    g_pErrorCodes = nullptr;
    g_ppOpenCameras = nullptr;
    EXPECT_EQ(CFakeStreamConfig::OutstandingMediaTypes(), 0) << "a media type was not given back";
}

uint32_t FakeCameraTest::CameraCode() const { return iidc_getlasterror(INDEX); }
uint32_t FakeCameraTest::GlobalCode() const { return iidc_getlasterror(-1); }

void FakeCameraTest::ClearCodes()
{
    for (uint32_t& code : m_codes)
        code = 0;
}

void FakeCameraTest::AddFormat7Mode(uint32_t mode, uint32_t block, uint32_t colourInquiry, uint32_t colourId)
{
    using namespace iidc_reg;
    m_pRegisters->m_values[V_FORMAT_INQ] |= IIDC_BIT(7);
    m_pRegisters->m_values[V_MODE_INQ_7] |= IIDC_BIT(mode);
    SetRegister(V_CSR_INQ_7(mode), (block + 0xF00000u) / 4);
    SetRegister(block + F7_COLOR_CODING_INQ, colourInquiry);
    SetRegister(block + F7_COLOR_CODING_ID, colourId);
}
