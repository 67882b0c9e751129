#include "test_source.h"

#include <chrono>
#include <cstring>
#include <utility>
#include <vector>

#include "base/media_type.h"

namespace {

constexpr auto WAIT_LIMIT = std::chrono::seconds(20);

struct CSourceFormat {
  const GUID* pSubtype;
  WORD nBitCount;
  DWORD dwCompression;
};

constexpr DWORD FOURCC_UYVY = 0x59565955;
const CSourceFormat SOURCE_FORMATS[] = {{&MEDIASUBTYPE_UYVY, 16, FOURCC_UYVY}, {&MEDIASUBTYPE_RGB24, 24, BI_RGB}};

}  // namespace

CTestSourcePin::CTestSourcePin(CTestSource* pSource, LPCWSTR pszName, const GUID& category)
    : COutputPinBase(pSource, pszName), m_category(category) {}

STDMETHODIMP CTestSourcePin::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (ppv != nullptr && riid == IID_IKsPropertySet) {
    return GetInterface(static_cast<IKsPropertySet*>(this), ppv);
  }
  return COutputPinBase::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CTestSourcePin::Set(REFGUID, DWORD, LPVOID, DWORD, LPVOID, DWORD) { return E_PROP_ID_UNSUPPORTED; }

STDMETHODIMP CTestSourcePin::Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID, DWORD, LPVOID pPropData,
                                 DWORD cbPropData, DWORD* pcbReturned) {
  if (guidPropSet != AMPROPSETID_Pin) {
    return E_PROP_SET_UNSUPPORTED;
  }
  if (dwPropID != AMPROPERTY_PIN_CATEGORY) {
    return E_PROP_ID_UNSUPPORTED;
  }
  if (pPropData == nullptr || cbPropData < sizeof(GUID)) {
    return E_POINTER;
  }
  std::memcpy(pPropData, &m_category, sizeof(GUID));
  if (pcbReturned != nullptr) {
    *pcbReturned = sizeof(GUID);
  }
  return S_OK;
}

STDMETHODIMP CTestSourcePin::QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport) {
  if (guidPropSet != AMPROPSETID_Pin || dwPropID != AMPROPERTY_PIN_CATEGORY) {
    return E_PROP_ID_UNSUPPORTED;
  }
  if (pTypeSupport != nullptr) {
    *pTypeSupport = KSPROPERTY_SUPPORT_GET;
  }
  return S_OK;
}

HRESULT CTestSourcePin::CheckMediaType(const AM_MEDIA_TYPE* pmt) {
  for (const CSourceFormat& format : SOURCE_FORMATS) {
    if (pmt->majortype == MEDIATYPE_Video && pmt->subtype == *format.pSubtype && pmt->formattype == FORMAT_VideoInfo) {
      return S_OK;
    }
  }
  return VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CTestSourcePin::GetMediaType(int iPosition, AM_MEDIA_TYPE* pmt) {
  if (iPosition < 0 || iPosition >= static_cast<int>(std::size(SOURCE_FORMATS))) {
    return VFW_S_NO_MORE_ITEMS;
  }
  const CSourceFormat& format = SOURCE_FORMATS[iPosition];
  CMediaType mt;
  mt.majortype = MEDIATYPE_Video;
  mt.subtype = *format.pSubtype;
  mt.formattype = FORMAT_VideoInfo;
  mt.bFixedSizeSamples = TRUE;
  mt.lSampleSize = static_cast<ULONG>(FRAME_WIDTH * FRAME_HEIGHT * format.nBitCount / 8);
  auto* pvih = reinterpret_cast<VIDEOINFOHEADER*>(mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
  if (pvih == nullptr) {
    return E_OUTOFMEMORY;
  }
  pvih->AvgTimePerFrame = 333333;
  pvih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  pvih->bmiHeader.biWidth = FRAME_WIDTH;
  pvih->bmiHeader.biHeight = FRAME_HEIGHT;
  pvih->bmiHeader.biPlanes = 1;
  pvih->bmiHeader.biBitCount = format.nBitCount;
  pvih->bmiHeader.biCompression = format.dwCompression;
  pvih->bmiHeader.biSizeImage = mt.lSampleSize;
  return CopyMediaType(pmt, &mt);
}

CTestSource::CTestSource()
    : CFilterBase("CTestSource", CLSID_TestSource),
      m_pCapture(std::make_unique<CTestSourcePin>(this, L"Capture", PIN_CATEGORY_CAPTURE)),
      m_pPreview(std::make_unique<CTestSourcePin>(this, L"Preview", PIN_CATEGORY_PREVIEW)) {}

CTestSource::~CTestSource() = default;

CPinBase* CTestSource::GetPin(int n) { return n == 0 ? m_pCapture.get() : n == 1 ? m_pPreview.get() : nullptr; }

void CTestSource::Push(int nFrames) {
  std::lock_guard lock(m_mx);
  m_nPending += nFrames;
  m_cv.notify_all();
}

void CTestSource::SetFreeRunning(bool bFreeRunning) {
  std::lock_guard lock(m_mx);
  m_bFreeRunning = bFreeRunning;
  m_cv.notify_all();
}

bool CTestSource::WaitDelivered(uint32_t nFrames) {
  std::unique_lock lock(m_mx);
  return m_cv.wait_for(lock, WAIT_LIMIT, [&] { return m_nDelivered >= nFrames; });
}

uint32_t CTestSource::Delivered() {
  std::lock_guard lock(m_mx);
  return m_nDelivered;
}

HRESULT CTestSource::LastRefusal() {
  std::lock_guard lock(m_mx);
  return m_hrLastRefusal;
}

std::thread::id CTestSource::StreamingThreadId() {
  std::lock_guard lock(m_mx);
  return m_streamingThreadId;
}

void CTestSource::FailNextStart(HRESULT hr) {
  std::lock_guard lock(m_mx);
  m_hrFailStart = hr;
}

HRESULT CTestSource::OnStartStreaming() {
  std::lock_guard lock(m_mx);
  if (FAILED(m_hrFailStart)) {
    return std::exchange(m_hrFailStart, S_OK);
  }
  m_bQuit = false;
  m_thread = std::thread([this] { StreamingThread(); });
  return S_OK;
}

// Called after the pins went inactive: a thread waiting for a buffer has
// already been released by the decommitted allocator.
HRESULT CTestSource::OnStopStreaming() {
  {
    std::lock_guard lock(m_mx);
    m_bQuit = true;
    m_cv.notify_all();
  }
  if (m_thread.joinable()) {
    m_thread.join();
  }
  return S_OK;
}

void CTestSource::StreamingThread() {
  std::vector<BYTE> frame(FRAME_BYTES);
  {
    std::lock_guard lock(m_mx);
    m_streamingThreadId = std::this_thread::get_id();
  }
  for (;;) {
    uint32_t nSequence = 0;
    {
      std::unique_lock lock(m_mx);
      m_cv.wait(lock, [&] { return m_bQuit || m_nPending > 0 || m_bFreeRunning; });
      if (m_bQuit) {
        return;
      }
      if (!m_bFreeRunning) {
        --m_nPending;
      }
      nSequence = m_nNextSequence++;
    }
    std::memcpy(frame.data(), &nSequence, sizeof(nSequence));
    std::memset(frame.data() + sizeof(nSequence), static_cast<int>(nSequence & 0xFF), frame.size() - sizeof(nSequence));
    const REFERENCE_TIME tStart = static_cast<REFERENCE_TIME>(nSequence) * 10000000;
    const REFERENCE_TIME tStop = tStart + 333333;
    const HRESULT hr = m_pCapture->DeliverBuffer(frame.data(), FRAME_BYTES, &tStart, &tStop);
    std::lock_guard lock(m_mx);
    if (hr == S_OK) {
      ++m_nDelivered;
    } else {
      // As a DirectShow source does, stop sending when downstream refuses.
      m_hrLastRefusal = hr;
      m_nPending = 0;
      m_bFreeRunning = false;
    }
    m_cv.notify_all();
  }
}

ComPtr<IBaseFilter> CreateTestSource(CTestSource** ppSource) {
  auto* pSource = new CTestSource();
  ComPtr<IBaseFilter> pFilter(pSource);
  if (ppSource != nullptr) {
    *ppSource = pSource;
  }
  return pFilter;
}
