// The video renderer's window on the X display: a window of its own
// connection, a child of the owner window (of the root window while it has
// none), into which pictures are drawn stretched to the window's size.
//
// Thread safety: every Xlib call on the connection happens under m_mx, so the
// application thread (placement) and the streaming thread (drawing) may call
// at once. X errors on the connection (an owner window that does not exist or
// was destroyed) are swallowed by an error handler installed once per process,
// which passes the errors of every other connection on to the handler it
// replaced: the window then simply shows nothing.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

struct _XDisplay;
struct _XGC;
struct _XImage;

namespace emul {

// Where the window is and whether it shows; the rectangle in the owner's
// client coordinates, as IVideoWindow gives it (no value is checked).
struct CWindowPlacement {
  unsigned long hOwner = 0;  // X11 Window id; 0 for none
  long nLeft = 0;
  long nTop = 0;
  long nWidth = 0;
  long nHeight = 0;
  bool bVisible = false;

  bool operator==(const CWindowPlacement&) const = default;
};

class CX11VideoWindow {
 public:
  // Opens a connection to the default display and creates the window there,
  // hidden; null when no display can be opened or its default visual is not
  // a true-colour one.
  static std::unique_ptr<CX11VideoWindow> Create();
  ~CX11VideoWindow();
  CX11VideoWindow(const CX11VideoWindow&) = delete;
  CX11VideoWindow& operator=(const CX11VideoWindow&) = delete;

  // Reparents, moves, resizes, shows or hides the window as far as the
  // placement differs from the one in force. A window with no area is hidden.
  void Place(const CWindowPlacement& placement);

  // Draws a picture of nWidth x nHeight pixels 0x00RRGGBB, top row first,
  // stretched to the whole window by repeating or dropping pixels, and waits
  // until the server has it.
  void Draw(const std::uint32_t* pPixels, int nWidth, int nHeight);

  unsigned long WindowId() const { return m_hWindow; }

 private:
  CX11VideoWindow() = default;
  bool Init();
  // m_mx held.
  bool EnsureImage(int nWidth, int nHeight);
  std::uint32_t Pack(std::uint32_t rgb) const;

  std::mutex m_mx;
  _XDisplay* m_pDisplay = nullptr;
  unsigned long m_hWindow = 0;
  unsigned long m_hRoot = 0;
  unsigned long m_hParent = 0;  // as last asked for
  _XGC* m_pGC = nullptr;
  _XImage* m_pImage = nullptr;  // of the window's size, reused while it holds
  CWindowPlacement m_placement;  // in force
  bool m_bMapped = false;
  // The visual's pixel layout: value = red | green | blue from these tables.
  std::uint32_t m_lutRed[256] = {};
  std::uint32_t m_lutGreen[256] = {};
  std::uint32_t m_lutBlue[256] = {};
  std::vector<int> m_columns;  // source column of each window column
};

}  // namespace emul
