// The window iidc view shows the live picture in: a top-level window of the
// desktop, its client area the size of the picture. The build picks the
// platform's file (linux/ or windows/).
#pragma once

#include <memory>
#include <string>

#include "iidc.h"

namespace iidctool {

class CPreviewWindow {
 public:
  // Opens and shows the window; throws CToolError when there is no desktop.
  CPreviewWindow(int nWidth, int nHeight, const std::string& title);
  ~CPreviewWindow();
  CPreviewWindow(const CPreviewWindow&) = delete;
  CPreviewWindow& operator=(const CPreviewWindow&) = delete;

  // The owner window for iidc_setimagetowindow.
  iidc_window Id() const;
  void SetTitle(const std::string& title);
  // Handles the pending events, waiting at most nMilliseconds for one; false
  // once the user closed the window or pressed q or Escape.
  bool Pump(int nMilliseconds);

 private:
  struct CState;
  std::unique_ptr<CState> m_pState;
};

}  // namespace iidctool
