#include "emul/dshow/video_renderer.h"

#include <optional>

#include "base/operation_fault.h"
#include "base/unknown.h"
#include "emul/class_registry.h"

namespace {

HRESULT CheckBool(LONG b) { return (b == OATRUE || b == OAFALSE) ? S_OK : E_INVALIDARG; }

const bool g_bRegistered = emul::RegisterClass(CLSID_VideoRenderer, &CreateComInstance<CVideoRenderer>);

}  // namespace

CVideoRenderer::CVideoRenderer() : CRendererBase("CVideoRenderer", CLSID_VideoRenderer) {}

STDMETHODIMP CVideoRenderer::NonDelegatingQueryInterface(REFIID riid, void** ppv) {
  if (ppv != nullptr && riid == IID_IQualProp) {
    return GetInterface(static_cast<IQualProp*>(this), ppv);
  }
  if (ppv != nullptr && riid == IID_IVideoWindow) {
    return GetInterface(static_cast<IVideoWindow*>(this), ppv);
  }
  return CRendererBase::NonDelegatingQueryInterface(riid, ppv);
}

// Video described by a VIDEOINFOHEADER in a coding the renderer converts.
HRESULT CVideoRenderer::CheckMediaType(const AM_MEDIA_TYPE* pmt) {
  return emul::DescribeVideo(*pmt) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CVideoRenderer::OnConnected(const AM_MEDIA_TYPE& mt) {
  const std::optional<emul::CVideoLayout> layout = emul::DescribeVideo(mt);
  if (!layout) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  std::lock_guard lock(m_mxWindow);
  if (!m_pWindow) {
    m_pWindow = emul::CX11VideoWindow::Create();
    if (!m_pWindow) {
      return VFW_E_CANNOT_RENDER;  // no display to show anything on
    }
  }
  m_layout = *layout;
  m_nVideoWidth = layout->nWidth;
  m_nVideoHeight = layout->nHeight;
  if (!m_bPositionSet) {
    m_window.nWidth = m_nVideoWidth;
    m_window.nHeight = m_nVideoHeight;
  }
  ShowWindowStateLocked();
  return S_OK;
}

void CVideoRenderer::ShowWindowStateLocked() {
  if (m_pWindow) {
    m_pWindow->Place({static_cast<unsigned long>(m_window.hOwner), m_window.nLeft, m_window.nTop, m_window.nWidth,
                      m_window.nHeight, m_window.bVisible == OATRUE});
  }
}

HRESULT CVideoRenderer::OnStartStreaming() {
  {
    std::lock_guard lock(m_mxDrawn);
    m_nFramesDrawn.store(0);
  }
  m_nFramesDropped.store(0);
  {
    std::lock_guard lock(m_mxWindow);
    // The streaming thread starts after this, and the connection cannot
    // change while streaming.
    m_streamLayout = m_layout;
    // DirectShow shows an auto-show window as soon as the graph pauses.
    if (m_window.bAutoShow == OATRUE) {
      m_window.bVisible = OATRUE;
      ShowWindowStateLocked();
    }
  }
  return CRendererBase::OnStartStreaming();
}

HRESULT CVideoRenderer::RenderSample(IMediaSample* pSample) {
  if (GetFilterState() != State_Running) {
    // A live stream does not wait in pause: the frame is not shown.
    m_nFramesDropped.fetch_add(1);
    return S_OK;
  }
  DrawFrame(pSample);
  return S_OK;
}

void CVideoRenderer::DrawFrame(IMediaSample* pSample) {
  BYTE* pData = nullptr;
  const LONG cbData = pSample->GetActualDataLength();
  if (FAILED(pSample->GetPointer(&pData)) || cbData < 0 ||
      static_cast<size_t>(cbData) < m_streamLayout.FrameBytes() || !m_pWindow) {
    m_nFramesDropped.fetch_add(1);  // nothing whole to show
    return;
  }
  m_pixels.resize(static_cast<size_t>(m_streamLayout.nWidth) * static_cast<size_t>(m_streamLayout.nHeight));
  emul::ConvertToRgb(m_streamLayout, pData, static_cast<size_t>(cbData), m_pixels.data());
  m_pWindow->Draw(m_pixels.data(), m_streamLayout.nWidth, m_streamLayout.nHeight);
  {
    std::lock_guard lock(m_mxDrawn);
    m_nFramesDrawn.fetch_add(1);
  }
  m_cvDrawn.notify_all();
}

bool CVideoRenderer::WaitForFramesDrawn(int nFrames, std::chrono::milliseconds timeout) {
  std::unique_lock lock(m_mxDrawn);
  return m_cvDrawn.wait_for(lock, timeout, [&] { return m_nFramesDrawn.load() >= nFrames; });
}

unsigned long CVideoRenderer::X11WindowId() {
  std::lock_guard lock(m_mxWindow);
  return m_pWindow ? m_pWindow->WindowId() : 0;
}

STDMETHODIMP CVideoRenderer::get_FramesDroppedInRenderer(int* pcFrames) {
  if (pcFrames == nullptr) {
    return E_POINTER;
  }
  return RunOperation("IQualProp::get_FramesDroppedInRenderer", [&]() -> HRESULT {
    *pcFrames = m_nFramesDropped.load();
    return S_OK;
  });
}

STDMETHODIMP CVideoRenderer::get_FramesDrawn(int* pcFramesDrawn) {
  if (pcFramesDrawn == nullptr) {
    return E_POINTER;
  }
  return RunOperation("IQualProp::get_FramesDrawn", [&]() -> HRESULT {
    *pcFramesDrawn = m_nFramesDrawn.load();
    return S_OK;
  });
}

// The timing figures need a reference clock, which the emulated graph does
// not keep: they read 0.
STDMETHODIMP CVideoRenderer::get_AvgFrameRate(int* piAvgFrameRate) {
  if (piAvgFrameRate == nullptr) {
    return E_POINTER;
  }
  *piAvgFrameRate = 0;
  return S_OK;
}

STDMETHODIMP CVideoRenderer::get_Jitter(int* piJitter) {
  if (piJitter == nullptr) {
    return E_POINTER;
  }
  *piJitter = 0;
  return S_OK;
}

STDMETHODIMP CVideoRenderer::get_AvgSyncOffset(int* piAvg) {
  if (piAvg == nullptr) {
    return E_POINTER;
  }
  *piAvg = 0;
  return S_OK;
}

STDMETHODIMP CVideoRenderer::get_DevSyncOffset(int* piDev) {
  if (piDev == nullptr) {
    return E_POINTER;
  }
  *piDev = 0;
  return S_OK;
}

STDMETHODIMP CVideoRenderer::GetTypeInfoCount(UINT* pctinfo) {
  if (pctinfo == nullptr) {
    return E_POINTER;
  }
  *pctinfo = 0;
  return S_OK;
}

STDMETHODIMP CVideoRenderer::GetTypeInfo(UINT /*iTInfo*/, LCID /*lcid*/, ITypeInfo** ppTInfo) {
  if (ppTInfo != nullptr) {
    *ppTInfo = nullptr;
  }
  return E_NOTIMPL;
}

STDMETHODIMP CVideoRenderer::GetIDsOfNames(REFIID /*riid*/, LPOLESTR* /*rgszNames*/, UINT /*cNames*/, LCID /*lcid*/,
                                           DISPID* /*rgDispId*/) {
  return E_NOTIMPL;
}

STDMETHODIMP CVideoRenderer::Invoke(DISPID /*dispIdMember*/, REFIID /*riid*/, LCID /*lcid*/, WORD /*wFlags*/,
                                    DISPPARAMS* /*pDispParams*/, VARIANT* /*pVarResult*/, EXCEPINFO* /*pExcepInfo*/,
                                    UINT* /*puArgErr*/) {
  return E_NOTIMPL;
}

HRESULT CVideoRenderer::CheckConnected() const {
  return const_cast<CVideoRenderer*>(this)->GetPin(0)->IsConnected() ? S_OK : VFW_E_NOT_CONNECTED;
}

template <class F>
HRESULT CVideoRenderer::WithWindow(F&& f) {
  if (HRESULT hr = CheckConnected(); FAILED(hr)) {
    return hr;
  }
  std::lock_guard lock(m_mxWindow);
  const HRESULT hr = f(m_window);
  ShowWindowStateLocked();
  return hr;
}

STDMETHODIMP CVideoRenderer::put_Caption(BSTR strCaption) {
  return WithWindow([&](CWindowState& w) {
    w.wszCaption = strCaption != nullptr ? strCaption : L"";
    return S_OK;
  });
}

STDMETHODIMP CVideoRenderer::get_Caption(BSTR* pstrCaption) {
  if (pstrCaption == nullptr) {
    return E_POINTER;
  }
  return WithWindow([&](CWindowState& w) {
    *pstrCaption = SysAllocString(w.wszCaption.c_str());
    return *pstrCaption != nullptr ? S_OK : E_OUTOFMEMORY;
  });
}

template <class T>
HRESULT CVideoRenderer::GetField(T CWindowState::*pField, T* p) {
  if (p == nullptr) {
    return E_POINTER;
  }
  return WithWindow([&](CWindowState& w) {
    *p = w.*pField;
    return S_OK;
  });
}

template <class T>
HRESULT CVideoRenderer::PutField(T CWindowState::*pField, T value) {
  return WithWindow([&](CWindowState& w) {
    w.*pField = value;
    return S_OK;
  });
}

STDMETHODIMP CVideoRenderer::put_WindowStyle(LONG WindowStyle) { return PutField(&CWindowState::nStyle, WindowStyle); }

STDMETHODIMP CVideoRenderer::get_WindowStyle(LONG* pWindowStyle) { return GetField(&CWindowState::nStyle, pWindowStyle); }

STDMETHODIMP CVideoRenderer::put_WindowStyleEx(LONG WindowStyleEx) {
  return PutField(&CWindowState::nStyleEx, WindowStyleEx);
}

STDMETHODIMP CVideoRenderer::get_WindowStyleEx(LONG* pWindowStyleEx) {
  return GetField(&CWindowState::nStyleEx, pWindowStyleEx);
}

STDMETHODIMP CVideoRenderer::put_AutoShow(LONG AutoShow) {
  if (HRESULT hr = CheckBool(AutoShow); FAILED(hr)) {
    return hr;
  }
  return PutField(&CWindowState::bAutoShow, AutoShow);
}

STDMETHODIMP CVideoRenderer::get_AutoShow(LONG* pAutoShow) { return GetField(&CWindowState::bAutoShow, pAutoShow); }

STDMETHODIMP CVideoRenderer::put_WindowState(LONG WindowState) {
  return PutField(&CWindowState::nWindowState, WindowState);
}

STDMETHODIMP CVideoRenderer::get_WindowState(LONG* pWindowState) {
  return GetField(&CWindowState::nWindowState, pWindowState);
}

STDMETHODIMP CVideoRenderer::put_BackgroundPalette(LONG BackgroundPalette) {
  if (HRESULT hr = CheckBool(BackgroundPalette); FAILED(hr)) {
    return hr;
  }
  return PutField(&CWindowState::bBackgroundPalette, BackgroundPalette);
}

STDMETHODIMP CVideoRenderer::get_BackgroundPalette(LONG* pBackgroundPalette) {
  return GetField(&CWindowState::bBackgroundPalette, pBackgroundPalette);
}

STDMETHODIMP CVideoRenderer::put_Visible(LONG Visible) {
  if (HRESULT hr = CheckBool(Visible); FAILED(hr)) {
    return hr;
  }
  return PutField(&CWindowState::bVisible, Visible);
}

STDMETHODIMP CVideoRenderer::get_Visible(LONG* pVisible) { return GetField(&CWindowState::bVisible, pVisible); }

STDMETHODIMP CVideoRenderer::put_Left(LONG Left) {
  return WithWindow([&](CWindowState& w) {
    m_bPositionSet = true;
    w.nLeft = Left;
    return S_OK;
  });
}

STDMETHODIMP CVideoRenderer::get_Left(LONG* pLeft) { return GetField(&CWindowState::nLeft, pLeft); }

STDMETHODIMP CVideoRenderer::put_Width(LONG Width) {
  return WithWindow([&](CWindowState& w) {
    m_bPositionSet = true;
    w.nWidth = Width;
    return S_OK;
  });
}

STDMETHODIMP CVideoRenderer::get_Width(LONG* pWidth) { return GetField(&CWindowState::nWidth, pWidth); }

STDMETHODIMP CVideoRenderer::put_Top(LONG Top) {
  return WithWindow([&](CWindowState& w) {
    m_bPositionSet = true;
    w.nTop = Top;
    return S_OK;
  });
}

STDMETHODIMP CVideoRenderer::get_Top(LONG* pTop) { return GetField(&CWindowState::nTop, pTop); }

STDMETHODIMP CVideoRenderer::put_Height(LONG Height) {
  return WithWindow([&](CWindowState& w) {
    m_bPositionSet = true;
    w.nHeight = Height;
    return S_OK;
  });
}

STDMETHODIMP CVideoRenderer::get_Height(LONG* pHeight) { return GetField(&CWindowState::nHeight, pHeight); }

STDMETHODIMP CVideoRenderer::put_Owner(OAHWND Owner) { return PutField(&CWindowState::hOwner, Owner); }

STDMETHODIMP CVideoRenderer::get_Owner(OAHWND* pOwner) { return GetField(&CWindowState::hOwner, pOwner); }

STDMETHODIMP CVideoRenderer::put_MessageDrain(OAHWND Drain) { return PutField(&CWindowState::hMessageDrain, Drain); }

STDMETHODIMP CVideoRenderer::get_MessageDrain(OAHWND* pDrain) { return GetField(&CWindowState::hMessageDrain, pDrain); }

STDMETHODIMP CVideoRenderer::get_BorderColor(LONG* pColor) { return GetField(&CWindowState::nBorderColor, pColor); }

STDMETHODIMP CVideoRenderer::put_BorderColor(LONG Color) { return PutField(&CWindowState::nBorderColor, Color); }

// Full-screen display is not offered; asking for it fails as on a renderer
// without a full-screen mode.
STDMETHODIMP CVideoRenderer::get_FullScreenMode(LONG* pFullScreenMode) {
  if (pFullScreenMode == nullptr) {
    return E_POINTER;
  }
  *pFullScreenMode = OAFALSE;
  return CheckConnected();
}

STDMETHODIMP CVideoRenderer::put_FullScreenMode(LONG FullScreenMode) {
  if (HRESULT hr = CheckConnected(); FAILED(hr)) {
    return hr;
  }
  return FullScreenMode == OAFALSE ? S_OK : E_NOTIMPL;
}

STDMETHODIMP CVideoRenderer::SetWindowForeground(LONG /*Focus*/) { return CheckConnected(); }

STDMETHODIMP CVideoRenderer::NotifyOwnerMessage(OAHWND /*hwnd*/, LONG /*uMsg*/, LONG_PTR /*wParam*/,
                                                LONG_PTR /*lParam*/) {
  return CheckConnected();
}

STDMETHODIMP CVideoRenderer::SetWindowPosition(LONG Left, LONG Top, LONG Width, LONG Height) {
  return WithWindow([&](CWindowState& w) {
    m_bPositionSet = true;
    w.nLeft = Left;
    w.nTop = Top;
    w.nWidth = Width;
    w.nHeight = Height;
    return S_OK;
  });
}

STDMETHODIMP CVideoRenderer::GetWindowPosition(LONG* pLeft, LONG* pTop, LONG* pWidth, LONG* pHeight) {
  if (pLeft == nullptr || pTop == nullptr || pWidth == nullptr || pHeight == nullptr) {
    return E_POINTER;
  }
  return WithWindow([&](CWindowState& w) {
    *pLeft = w.nLeft;
    *pTop = w.nTop;
    *pWidth = w.nWidth;
    *pHeight = w.nHeight;
    return S_OK;
  });
}

// Without stretching, the ideal size is the video's own.
STDMETHODIMP CVideoRenderer::GetMinIdealImageSize(LONG* pWidth, LONG* pHeight) {
  if (pWidth == nullptr || pHeight == nullptr) {
    return E_POINTER;
  }
  return WithWindow([&](CWindowState&) {
    *pWidth = m_nVideoWidth;
    *pHeight = m_nVideoHeight;
    return S_OK;
  });
}

STDMETHODIMP CVideoRenderer::GetMaxIdealImageSize(LONG* pWidth, LONG* pHeight) {
  return GetMinIdealImageSize(pWidth, pHeight);
}

STDMETHODIMP CVideoRenderer::GetRestorePosition(LONG* pLeft, LONG* pTop, LONG* pWidth, LONG* pHeight) {
  return GetWindowPosition(pLeft, pTop, pWidth, pHeight);
}

STDMETHODIMP CVideoRenderer::HideCursor(LONG bHideCursor) {
  return PutField(&CWindowState::bCursorHidden, bHideCursor != OAFALSE ? OATRUE : OAFALSE);
}

STDMETHODIMP CVideoRenderer::IsCursorHidden(LONG* pCursorHidden) {
  return GetField(&CWindowState::bCursorHidden, pCursorHidden);
}
