// The filter graph's IVideoWindow: every call goes to the video window of
// the first filter in the graph that has one (the renderer IGraphBuilder::
// Render put there), or fails with E_NOINTERFACE when there is none.
#include "base/operation_fault.h"
#include "emul/dshow/filter_graph.h"


template <class F>
HRESULT CFilterGraph::ForwardToVideoWindow(const char* pszOperation, F&& f) {
  return RunOperation(pszOperation, [&]() -> HRESULT {
    ComPtr<IVideoWindow> pWindow;
    {
      std::lock_guard lock(m_mxGraph);
      for (const CFilterEntry& e : m_filters) {
        if (SUCCEEDED(e.pFilter->QueryInterface(IID_IVideoWindow, pWindow.ReleaseAndGetVoidAddressOf())) && pWindow) {
          break;
        }
      }
    }
    return pWindow ? f(pWindow.Get()) : E_NOINTERFACE;
  });
}

STDMETHODIMP CFilterGraph::put_Caption(BSTR strCaption) {
  return ForwardToVideoWindow("IVideoWindow::put_Caption", [&](IVideoWindow* p) { return p->put_Caption(strCaption); });
}

STDMETHODIMP CFilterGraph::get_Caption(BSTR* strCaption) {
  return ForwardToVideoWindow("IVideoWindow::get_Caption", [&](IVideoWindow* p) { return p->get_Caption(strCaption); });
}

STDMETHODIMP CFilterGraph::put_WindowStyle(LONG WindowStyle) {
  return ForwardToVideoWindow("IVideoWindow::put_WindowStyle",
                              [&](IVideoWindow* p) { return p->put_WindowStyle(WindowStyle); });
}

STDMETHODIMP CFilterGraph::get_WindowStyle(LONG* WindowStyle) {
  return ForwardToVideoWindow("IVideoWindow::get_WindowStyle",
                              [&](IVideoWindow* p) { return p->get_WindowStyle(WindowStyle); });
}

STDMETHODIMP CFilterGraph::put_WindowStyleEx(LONG WindowStyleEx) {
  return ForwardToVideoWindow("IVideoWindow::put_WindowStyleEx",
                              [&](IVideoWindow* p) { return p->put_WindowStyleEx(WindowStyleEx); });
}

STDMETHODIMP CFilterGraph::get_WindowStyleEx(LONG* WindowStyleEx) {
  return ForwardToVideoWindow("IVideoWindow::get_WindowStyleEx",
                              [&](IVideoWindow* p) { return p->get_WindowStyleEx(WindowStyleEx); });
}

STDMETHODIMP CFilterGraph::put_AutoShow(LONG AutoShow) {
  return ForwardToVideoWindow("IVideoWindow::put_AutoShow", [&](IVideoWindow* p) { return p->put_AutoShow(AutoShow); });
}

STDMETHODIMP CFilterGraph::get_AutoShow(LONG* AutoShow) {
  return ForwardToVideoWindow("IVideoWindow::get_AutoShow", [&](IVideoWindow* p) { return p->get_AutoShow(AutoShow); });
}

STDMETHODIMP CFilterGraph::put_WindowState(LONG WindowState) {
  return ForwardToVideoWindow("IVideoWindow::put_WindowState",
                              [&](IVideoWindow* p) { return p->put_WindowState(WindowState); });
}

STDMETHODIMP CFilterGraph::get_WindowState(LONG* WindowState) {
  return ForwardToVideoWindow("IVideoWindow::get_WindowState",
                              [&](IVideoWindow* p) { return p->get_WindowState(WindowState); });
}

STDMETHODIMP CFilterGraph::put_BackgroundPalette(LONG BackgroundPalette) {
  return ForwardToVideoWindow("IVideoWindow::put_BackgroundPalette",
                              [&](IVideoWindow* p) { return p->put_BackgroundPalette(BackgroundPalette); });
}

STDMETHODIMP CFilterGraph::get_BackgroundPalette(LONG* pBackgroundPalette) {
  return ForwardToVideoWindow("IVideoWindow::get_BackgroundPalette",
                              [&](IVideoWindow* p) { return p->get_BackgroundPalette(pBackgroundPalette); });
}

STDMETHODIMP CFilterGraph::put_Visible(LONG Visible) {
  return ForwardToVideoWindow("IVideoWindow::put_Visible", [&](IVideoWindow* p) { return p->put_Visible(Visible); });
}

STDMETHODIMP CFilterGraph::get_Visible(LONG* pVisible) {
  return ForwardToVideoWindow("IVideoWindow::get_Visible", [&](IVideoWindow* p) { return p->get_Visible(pVisible); });
}

STDMETHODIMP CFilterGraph::put_Left(LONG Left) {
  return ForwardToVideoWindow("IVideoWindow::put_Left", [&](IVideoWindow* p) { return p->put_Left(Left); });
}

STDMETHODIMP CFilterGraph::get_Left(LONG* pLeft) {
  return ForwardToVideoWindow("IVideoWindow::get_Left", [&](IVideoWindow* p) { return p->get_Left(pLeft); });
}

STDMETHODIMP CFilterGraph::put_Width(LONG Width) {
  return ForwardToVideoWindow("IVideoWindow::put_Width", [&](IVideoWindow* p) { return p->put_Width(Width); });
}

STDMETHODIMP CFilterGraph::get_Width(LONG* pWidth) {
  return ForwardToVideoWindow("IVideoWindow::get_Width", [&](IVideoWindow* p) { return p->get_Width(pWidth); });
}

STDMETHODIMP CFilterGraph::put_Top(LONG Top) {
  return ForwardToVideoWindow("IVideoWindow::put_Top", [&](IVideoWindow* p) { return p->put_Top(Top); });
}

STDMETHODIMP CFilterGraph::get_Top(LONG* pTop) {
  return ForwardToVideoWindow("IVideoWindow::get_Top", [&](IVideoWindow* p) { return p->get_Top(pTop); });
}

STDMETHODIMP CFilterGraph::put_Height(LONG Height) {
  return ForwardToVideoWindow("IVideoWindow::put_Height", [&](IVideoWindow* p) { return p->put_Height(Height); });
}

STDMETHODIMP CFilterGraph::get_Height(LONG* pHeight) {
  return ForwardToVideoWindow("IVideoWindow::get_Height", [&](IVideoWindow* p) { return p->get_Height(pHeight); });
}

STDMETHODIMP CFilterGraph::put_Owner(OAHWND Owner) {
  return ForwardToVideoWindow("IVideoWindow::put_Owner", [&](IVideoWindow* p) { return p->put_Owner(Owner); });
}

STDMETHODIMP CFilterGraph::get_Owner(OAHWND* Owner) {
  return ForwardToVideoWindow("IVideoWindow::get_Owner", [&](IVideoWindow* p) { return p->get_Owner(Owner); });
}

STDMETHODIMP CFilterGraph::put_MessageDrain(OAHWND Drain) {
  return ForwardToVideoWindow("IVideoWindow::put_MessageDrain",
                              [&](IVideoWindow* p) { return p->put_MessageDrain(Drain); });
}

STDMETHODIMP CFilterGraph::get_MessageDrain(OAHWND* Drain) {
  return ForwardToVideoWindow("IVideoWindow::get_MessageDrain",
                              [&](IVideoWindow* p) { return p->get_MessageDrain(Drain); });
}

STDMETHODIMP CFilterGraph::get_BorderColor(LONG* Color) {
  return ForwardToVideoWindow("IVideoWindow::get_BorderColor",
                              [&](IVideoWindow* p) { return p->get_BorderColor(Color); });
}

STDMETHODIMP CFilterGraph::put_BorderColor(LONG Color) {
  return ForwardToVideoWindow("IVideoWindow::put_BorderColor",
                              [&](IVideoWindow* p) { return p->put_BorderColor(Color); });
}

STDMETHODIMP CFilterGraph::get_FullScreenMode(LONG* FullScreenMode) {
  return ForwardToVideoWindow("IVideoWindow::get_FullScreenMode",
                              [&](IVideoWindow* p) { return p->get_FullScreenMode(FullScreenMode); });
}

STDMETHODIMP CFilterGraph::put_FullScreenMode(LONG FullScreenMode) {
  return ForwardToVideoWindow("IVideoWindow::put_FullScreenMode",
                              [&](IVideoWindow* p) { return p->put_FullScreenMode(FullScreenMode); });
}

STDMETHODIMP CFilterGraph::SetWindowForeground(LONG Focus) {
  return ForwardToVideoWindow("IVideoWindow::SetWindowForeground",
                              [&](IVideoWindow* p) { return p->SetWindowForeground(Focus); });
}

STDMETHODIMP CFilterGraph::NotifyOwnerMessage(OAHWND hwnd, LONG uMsg, LONG_PTR wParam, LONG_PTR lParam) {
  return ForwardToVideoWindow("IVideoWindow::NotifyOwnerMessage",
                              [&](IVideoWindow* p) { return p->NotifyOwnerMessage(hwnd, uMsg, wParam, lParam); });
}

STDMETHODIMP CFilterGraph::SetWindowPosition(LONG Left, LONG Top, LONG Width, LONG Height) {
  return ForwardToVideoWindow("IVideoWindow::SetWindowPosition",
                              [&](IVideoWindow* p) { return p->SetWindowPosition(Left, Top, Width, Height); });
}

STDMETHODIMP CFilterGraph::GetWindowPosition(LONG* pLeft, LONG* pTop, LONG* pWidth, LONG* pHeight) {
  return ForwardToVideoWindow("IVideoWindow::GetWindowPosition",
                              [&](IVideoWindow* p) { return p->GetWindowPosition(pLeft, pTop, pWidth, pHeight); });
}

STDMETHODIMP CFilterGraph::GetMinIdealImageSize(LONG* pWidth, LONG* pHeight) {
  return ForwardToVideoWindow("IVideoWindow::GetMinIdealImageSize",
                              [&](IVideoWindow* p) { return p->GetMinIdealImageSize(pWidth, pHeight); });
}

STDMETHODIMP CFilterGraph::GetMaxIdealImageSize(LONG* pWidth, LONG* pHeight) {
  return ForwardToVideoWindow("IVideoWindow::GetMaxIdealImageSize",
                              [&](IVideoWindow* p) { return p->GetMaxIdealImageSize(pWidth, pHeight); });
}

STDMETHODIMP CFilterGraph::GetRestorePosition(LONG* pLeft, LONG* pTop, LONG* pWidth, LONG* pHeight) {
  return ForwardToVideoWindow("IVideoWindow::GetRestorePosition",
                              [&](IVideoWindow* p) { return p->GetRestorePosition(pLeft, pTop, pWidth, pHeight); });
}

STDMETHODIMP CFilterGraph::HideCursor(LONG HideCursor) {
  return ForwardToVideoWindow("IVideoWindow::HideCursor", [&](IVideoWindow* p) { return p->HideCursor(HideCursor); });
}

STDMETHODIMP CFilterGraph::IsCursorHidden(LONG* CursorHidden) {
  return ForwardToVideoWindow("IVideoWindow::IsCursorHidden",
                              [&](IVideoWindow* p) { return p->IsCursorHidden(CursorHidden); });
}
