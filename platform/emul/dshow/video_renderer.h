// The video renderer (CLSID_VideoRenderer), the renderer IGraphBuilder::Render
// puts behind a video output: takes the uncompressed formats it can convert
// itself (the cameras' raw codings among them), keeps the state of its video
// window (IVideoWindow) and mirrors it on an X11 window of the default
// display, draws every frame it receives there stretched to the window, and
// counts the frames drawn (IQualProp). Every frame reaches DrawFrame, the one
// place that puts pixels on screen.
//
// The X11 window is made when the input pin first connects, hidden; with no
// display to open, the connection (and so IGraphBuilder::Render) fails.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <memory>
#include <string>
#include <vector>

#include "winapi.h"
#include "emul/dshow/renderer_base.h"
#include "emul/dshow/video_convert.h"
#include "emul/dshow/x11_window.h"

class CVideoRenderer final : public CRendererBase, public IQualProp, public IVideoWindow {
 public:
  CVideoRenderer();

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return CRendererBase::QueryInterface(riid, ppv); }
  STDMETHODIMP_(ULONG) AddRef() override { return CRendererBase::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return CRendererBase::Release(); }
  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // IQualProp
  STDMETHODIMP get_FramesDroppedInRenderer(int* pcFrames) override;
  STDMETHODIMP get_FramesDrawn(int* pcFramesDrawn) override;
  STDMETHODIMP get_AvgFrameRate(int* piAvgFrameRate) override;
  STDMETHODIMP get_Jitter(int* piJitter) override;
  STDMETHODIMP get_AvgSyncOffset(int* piAvg) override;
  STDMETHODIMP get_DevSyncOffset(int* piDev) override;

  // IDispatch (no type information: scripting is not supported)
  STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
  STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid, DISPID* rgDispId) override;
  STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                      VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

  // IVideoWindow. As in DirectShow, every method answers VFW_E_NOT_CONNECTED
  // while the input pin is not connected.
  STDMETHODIMP put_Caption(BSTR strCaption) override;
  STDMETHODIMP get_Caption(BSTR* pstrCaption) override;
  STDMETHODIMP put_WindowStyle(LONG WindowStyle) override;
  STDMETHODIMP get_WindowStyle(LONG* pWindowStyle) override;
  STDMETHODIMP put_WindowStyleEx(LONG WindowStyleEx) override;
  STDMETHODIMP get_WindowStyleEx(LONG* pWindowStyleEx) override;
  STDMETHODIMP put_AutoShow(LONG AutoShow) override;
  STDMETHODIMP get_AutoShow(LONG* pAutoShow) override;
  STDMETHODIMP put_WindowState(LONG WindowState) override;
  STDMETHODIMP get_WindowState(LONG* pWindowState) override;
  STDMETHODIMP put_BackgroundPalette(LONG BackgroundPalette) override;
  STDMETHODIMP get_BackgroundPalette(LONG* pBackgroundPalette) override;
  STDMETHODIMP put_Visible(LONG Visible) override;
  STDMETHODIMP get_Visible(LONG* pVisible) override;
  STDMETHODIMP put_Left(LONG Left) override;
  STDMETHODIMP get_Left(LONG* pLeft) override;
  STDMETHODIMP put_Width(LONG Width) override;
  STDMETHODIMP get_Width(LONG* pWidth) override;
  STDMETHODIMP put_Top(LONG Top) override;
  STDMETHODIMP get_Top(LONG* pTop) override;
  STDMETHODIMP put_Height(LONG Height) override;
  STDMETHODIMP get_Height(LONG* pHeight) override;
  STDMETHODIMP put_Owner(OAHWND Owner) override;
  STDMETHODIMP get_Owner(OAHWND* pOwner) override;
  STDMETHODIMP put_MessageDrain(OAHWND Drain) override;
  STDMETHODIMP get_MessageDrain(OAHWND* pDrain) override;
  STDMETHODIMP get_BorderColor(LONG* pColor) override;
  STDMETHODIMP put_BorderColor(LONG Color) override;
  STDMETHODIMP get_FullScreenMode(LONG* pFullScreenMode) override;
  STDMETHODIMP put_FullScreenMode(LONG FullScreenMode) override;
  STDMETHODIMP SetWindowForeground(LONG Focus) override;
  STDMETHODIMP NotifyOwnerMessage(OAHWND hwnd, LONG uMsg, LONG_PTR wParam, LONG_PTR lParam) override;
  STDMETHODIMP SetWindowPosition(LONG Left, LONG Top, LONG Width, LONG Height) override;
  STDMETHODIMP GetWindowPosition(LONG* pLeft, LONG* pTop, LONG* pWidth, LONG* pHeight) override;
  STDMETHODIMP GetMinIdealImageSize(LONG* pWidth, LONG* pHeight) override;
  STDMETHODIMP GetMaxIdealImageSize(LONG* pWidth, LONG* pHeight) override;
  STDMETHODIMP GetRestorePosition(LONG* pLeft, LONG* pTop, LONG* pWidth, LONG* pHeight) override;
  STDMETHODIMP HideCursor(LONG bHideCursor) override;
  STDMETHODIMP IsCursorHidden(LONG* pCursorHidden) override;

  // Test control: waits (bounded) until nFrames were drawn since streaming
  // last started; false on time-out.
  bool WaitForFramesDrawn(int nFrames, std::chrono::milliseconds timeout);
  // The X11 window the video shows in; 0 before the first connection.
  unsigned long X11WindowId();

  // CRendererBase
  HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) override;
  HRESULT RenderSample(IMediaSample* pSample) override;
  HRESULT OnConnected(const AM_MEDIA_TYPE& mt) override;

 protected:
  HRESULT OnStartStreaming() override;

 private:
  // The video window as the application set it. Application threads write
  // it; the drawing code (streaming thread) reads it under m_mxWindow.
  struct CWindowState {
    std::wstring wszCaption;
    LONG nStyle = WS_OVERLAPPED | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;  // a top-level window until owned
    LONG nStyleEx = 0;
    LONG bAutoShow = OATRUE;
    LONG nWindowState = 0;
    LONG bBackgroundPalette = OAFALSE;
    LONG bVisible = OAFALSE;
    LONG nLeft = 0;
    LONG nTop = 0;
    LONG nWidth = 0;
    LONG nHeight = 0;
    OAHWND hOwner = 0;
    OAHWND hMessageDrain = 0;
    LONG nBorderColor = 0;
    LONG bCursorHidden = OAFALSE;
  };

  // The one frame path: every sample that arrives while running.
  void DrawFrame(IMediaSample* pSample);
  HRESULT CheckConnected() const;
  // Puts the window state on the X11 window; m_mxWindow held.
  void ShowWindowStateLocked();
  template <class F>
  HRESULT WithWindow(F&& f);
  template <class T>
  HRESULT GetField(T CWindowState::*pField, T* p);
  template <class T>
  HRESULT PutField(T CWindowState::*pField, T value);

  std::mutex m_mxWindow;
  CWindowState m_window;
  LONG m_nVideoWidth = 0;   // of the connected format; m_mxWindow
  LONG m_nVideoHeight = 0;
  bool m_bPositionSet = false;
  emul::CVideoLayout m_layout;  // of the connection; m_mxWindow
  // Made at the first connection, kept to the end (it locks for itself).
  std::unique_ptr<emul::CX11VideoWindow> m_pWindow;
  // Streaming thread only, set before streaming starts.
  emul::CVideoLayout m_streamLayout;
  std::vector<std::uint32_t> m_pixels;
  // Counters since the last start of streaming; streaming thread writes.
  std::atomic<int> m_nFramesDrawn{0};
  std::mutex m_mxDrawn;  // with m_cvDrawn, for WaitForFramesDrawn
  std::condition_variable m_cvDrawn;
  std::atomic<int> m_nFramesDropped{0};
};
