// An owner window for the live display, made the platform's way: an X11
// top-level window on Linux, a Win32 top-level window on Windows.
#pragma once

#include "iidc.h"

class CPreviewOwner {
 public:
  CPreviewOwner(int nWidth, int nHeight);
  ~CPreviewOwner();
  CPreviewOwner(const CPreviewOwner&) = delete;
  CPreviewOwner& operator=(const CPreviewOwner&) = delete;

  // False when no window could be made (on Linux: no X display to open).
  bool IsOpen() const { return m_bOpen; }
  iidc_window Handle() const { return m_hWindow; }

  // Lets the window system deliver what is pending for the window.
  void ProcessEvents();

  // True when the program runs on a Windows emulation layer rather than on
  // Windows itself (always false on Linux).
  static bool UnderWindowsEmulation();

 private:
  bool m_bOpen = false;
  iidc_window m_hWindow{};
  void* m_pDisplay = nullptr;  // the X connection on Linux; unused on Windows
};
