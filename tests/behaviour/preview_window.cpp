#include "preview_window.h"

#ifdef _WIN32

namespace {

constexpr const char* OWNER_CLASS = "IidcBehaviourPreviewOwner";

bool RegisterOwnerClass() {
  static const bool s_bRegistered = [] {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = OWNER_CLASS;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    return RegisterClassA(&windowClass) != 0;
  }();
  return s_bRegistered;
}

}  // namespace

CPreviewOwner::CPreviewOwner(int nWidth, int nHeight) {
  if (!RegisterOwnerClass()) return;
  m_hWindow = CreateWindowExA(0, OWNER_CLASS, "iidc preview", WS_OVERLAPPEDWINDOW | WS_VISIBLE, CW_USEDEFAULT,
                              CW_USEDEFAULT, nWidth, nHeight, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  m_bOpen = m_hWindow != nullptr;
  ProcessEvents();
}

CPreviewOwner::~CPreviewOwner() {
  if (m_bOpen) {
    DestroyWindow(m_hWindow);
    ProcessEvents();
  }
}

void CPreviewOwner::ProcessEvents() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

bool CPreviewOwner::UnderWindowsEmulation() {
  const HMODULE hNtdll = GetModuleHandleA("ntdll.dll");
  return hNtdll != nullptr && GetProcAddress(hNtdll, "wine_get_version") != nullptr;
}

#else

#include <X11/Xlib.h>

CPreviewOwner::CPreviewOwner(int nWidth, int nHeight) {
  Display* pDisplay = XOpenDisplay(nullptr);
  if (pDisplay == nullptr) return;
  m_pDisplay = pDisplay;
  const Window hWindow =
      XCreateSimpleWindow(pDisplay, DefaultRootWindow(pDisplay), 0, 0, static_cast<unsigned>(nWidth),
                          static_cast<unsigned>(nHeight), 0, BlackPixel(pDisplay, DefaultScreen(pDisplay)),
                          BlackPixel(pDisplay, DefaultScreen(pDisplay)));
  XMapWindow(pDisplay, hWindow);
  XSync(pDisplay, False);
  m_hWindow = hWindow;
  m_bOpen = true;
}

CPreviewOwner::~CPreviewOwner() {
  auto* pDisplay = static_cast<Display*>(m_pDisplay);
  if (pDisplay == nullptr) return;
  XDestroyWindow(pDisplay, m_hWindow);
  XCloseDisplay(pDisplay);
}

void CPreviewOwner::ProcessEvents() {
  if (m_pDisplay != nullptr) XSync(static_cast<Display*>(m_pDisplay), False);
}

bool CPreviewOwner::UnderWindowsEmulation() { return false; }

#endif
