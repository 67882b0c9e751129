#include "emul/dshow/x11_window.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <set>

namespace emul {

namespace {

// X coordinates and sizes travel as 16-bit fields.
constexpr long MIN_COORDINATE = -32768;
constexpr long MAX_COORDINATE = 32767;
// The largest picture drawn in one window, so that an absurd window size
// costs a bounded amount of memory (the rest of such a window stays black).
constexpr int MAX_IMAGE_SIDE = 8192;

// The renderers' own connections. Errors on them are the renderers' (an
// owner window that is gone): they are swallowed, while errors on any other
// connection go to the handler that was installed before ours.
std::mutex g_mxDisplays;
std::multiset<Display*> g_displays;
XErrorHandler g_pfnPreviousHandler = nullptr;

int OnXError(Display* pDisplay, XErrorEvent* pEvent) {
  XErrorHandler pfnPrevious = nullptr;
  {
    std::lock_guard lock(g_mxDisplays);
    if (g_displays.count(pDisplay) != 0) {
      return 0;
    }
    pfnPrevious = g_pfnPreviousHandler;
  }
  return pfnPrevious != nullptr ? pfnPrevious(pDisplay, pEvent) : 0;
}

// Once per process, before the first connection of a renderer: the streaming
// thread and the application thread both use the connection.
void PrepareXlib() {
  static std::once_flag once;
  std::call_once(once, [] {
    XInitThreads();
    // Xlib may hold its own lock while it calls a handler, and the handler
    // takes g_mxDisplays: never call Xlib with g_mxDisplays held.
    const XErrorHandler pfnPrevious = XSetErrorHandler(&OnXError);
    std::lock_guard lock(g_mxDisplays);
    g_pfnPreviousHandler = pfnPrevious;
  });
}

// The bits of a channel value of 8 bits in a visual's channel mask.
std::uint32_t ChannelBits(unsigned v, unsigned long ulMask) {
  if (ulMask == 0) {
    return 0;
  }
  const int nShift = std::countr_zero(ulMask);
  const int nBits = std::popcount(ulMask);
  const unsigned long ulScaled = nBits >= 8 ? static_cast<unsigned long>(v) << (nBits - 8) : v >> (8 - nBits);
  return static_cast<std::uint32_t>((ulScaled << nShift) & ulMask);
}

int ClampSide(long n) { return static_cast<int>(std::clamp(n, 1L, MAX_COORDINATE)); }

int ClampCoordinate(long n) { return static_cast<int>(std::clamp(n, MIN_COORDINATE, MAX_COORDINATE)); }

}  // namespace

std::unique_ptr<CX11VideoWindow> CX11VideoWindow::Create() {
  std::unique_ptr<CX11VideoWindow> pWindow(new CX11VideoWindow);
  if (!pWindow->Init()) {
    return nullptr;
  }
  return pWindow;
}

bool CX11VideoWindow::Init() {
  PrepareXlib();
  m_pDisplay = XOpenDisplay(nullptr);
  if (m_pDisplay == nullptr) {
    return false;
  }
  {
    std::lock_guard lock(g_mxDisplays);
    g_displays.insert(m_pDisplay);
  }
  const int nScreen = DefaultScreen(m_pDisplay);
  const Visual* pVisual = DefaultVisual(m_pDisplay, nScreen);
  if (pVisual->c_class != TrueColor) {
    return false;
  }
  for (unsigned v = 0; v < 256; ++v) {
    m_lutRed[v] = ChannelBits(v, pVisual->red_mask);
    m_lutGreen[v] = ChannelBits(v, pVisual->green_mask);
    m_lutBlue[v] = ChannelBits(v, pVisual->blue_mask);
  }
  m_hRoot = RootWindow(m_pDisplay, nScreen);
  XSetWindowAttributes attributes{};
  attributes.background_pixel = BlackPixel(m_pDisplay, nScreen);
  m_hWindow = XCreateWindow(m_pDisplay, m_hRoot, 0, 0, 1, 1, 0, CopyFromParent, InputOutput, CopyFromParent,
                            CWBackPixel, &attributes);
  m_hParent = m_hRoot;
  m_pGC = XCreateGC(m_pDisplay, m_hWindow, 0, nullptr);
  XSync(m_pDisplay, False);
  return true;
}

CX11VideoWindow::~CX11VideoWindow() {
  if (m_pDisplay == nullptr) {
    return;
  }
  if (m_pImage != nullptr) {
    XDestroyImage(m_pImage);
  }
  if (m_pGC != nullptr) {
    XFreeGC(m_pDisplay, m_pGC);
  }
  if (m_hWindow != 0) {
    XDestroyWindow(m_pDisplay, m_hWindow);
  }
  XCloseDisplay(m_pDisplay);
  // Only now: closing flushes the requests above, whose errors are ours.
  // Init may have stopped before the connection was listed.
  std::lock_guard lock(g_mxDisplays);
  if (const auto it = g_displays.find(m_pDisplay); it != g_displays.end()) {
    g_displays.erase(it);
  }
}

void CX11VideoWindow::Place(const CWindowPlacement& placement) {
  std::lock_guard lock(m_mx);
  if (placement == m_placement) {
    return;
  }
  const int nLeft = ClampCoordinate(placement.nLeft);
  const int nTop = ClampCoordinate(placement.nTop);
  const unsigned long hParent = placement.hOwner != 0 ? placement.hOwner : m_hRoot;
  if (hParent != m_hParent) {
    XReparentWindow(m_pDisplay, m_hWindow, hParent, nLeft, nTop);
    m_hParent = hParent;
  }
  XMoveResizeWindow(m_pDisplay, m_hWindow, nLeft, nTop, static_cast<unsigned>(ClampSide(placement.nWidth)),
                    static_cast<unsigned>(ClampSide(placement.nHeight)));
  const bool bShow = placement.bVisible && placement.nWidth > 0 && placement.nHeight > 0;
  if (bShow != m_bMapped) {
    if (bShow) {
      XMapWindow(m_pDisplay, m_hWindow);
    } else {
      XUnmapWindow(m_pDisplay, m_hWindow);
    }
    m_bMapped = bShow;
  }
  XSync(m_pDisplay, False);
  m_placement = placement;
}

bool CX11VideoWindow::EnsureImage(int nWidth, int nHeight) {
  if (m_pImage != nullptr && m_pImage->width == nWidth && m_pImage->height == nHeight) {
    return true;
  }
  if (m_pImage != nullptr) {
    XDestroyImage(m_pImage);
    m_pImage = nullptr;
  }
  const int nScreen = DefaultScreen(m_pDisplay);
  XImage* pImage = XCreateImage(m_pDisplay, DefaultVisual(m_pDisplay, nScreen),
                                static_cast<unsigned>(DefaultDepth(m_pDisplay, nScreen)), ZPixmap, 0, nullptr,
                                static_cast<unsigned>(nWidth), static_cast<unsigned>(nHeight), 32, 0);
  if (pImage == nullptr) {
    return false;
  }
  // XDestroyImage gives the data back with free().
  pImage->data = static_cast<char*>(std::malloc(static_cast<size_t>(pImage->bytes_per_line) * nHeight));
  if (pImage->data == nullptr) {
    XDestroyImage(pImage);
    return false;
  }
  m_pImage = pImage;
  return true;
}

std::uint32_t CX11VideoWindow::Pack(std::uint32_t rgb) const {
  return m_lutRed[(rgb >> 16) & 0xff] | m_lutGreen[(rgb >> 8) & 0xff] | m_lutBlue[rgb & 0xff];
}

void CX11VideoWindow::Draw(const std::uint32_t* pPixels, int nWidth, int nHeight) {
  std::lock_guard lock(m_mx);
  if (pPixels == nullptr || nWidth <= 0 || nHeight <= 0 || m_placement.nWidth <= 0 || m_placement.nHeight <= 0) {
    return;
  }
  const int nWindowWidth = ClampSide(m_placement.nWidth);
  const int nWindowHeight = ClampSide(m_placement.nHeight);
  const int nDrawWidth = std::min(nWindowWidth, MAX_IMAGE_SIDE);
  const int nDrawHeight = std::min(nWindowHeight, MAX_IMAGE_SIDE);
  if (!EnsureImage(nDrawWidth, nDrawHeight)) {
    return;
  }
  // Stretched as a blit without smoothing stretches: each window pixel takes
  // the picture pixel its centre falls on.
  m_columns.resize(static_cast<size_t>(nDrawWidth));
  for (int x = 0; x < nDrawWidth; ++x) {
    m_columns[static_cast<size_t>(x)] =
        static_cast<int>((static_cast<long long>(2 * x + 1) * nWidth) / (2LL * nWindowWidth));
  }
  const bool bDirect = m_pImage->bits_per_pixel == 32 &&
                       m_pImage->byte_order == (std::endian::native == std::endian::little ? LSBFirst : MSBFirst);
  for (int y = 0; y < nDrawHeight; ++y) {
    const long long nSourceRow = (static_cast<long long>(2 * y + 1) * nHeight) / (2LL * nWindowHeight);
    const std::uint32_t* pRow = pPixels + nSourceRow * nWidth;
    if (bDirect) {
      auto* pOut = reinterpret_cast<std::uint32_t*>(m_pImage->data + static_cast<ptrdiff_t>(y) * m_pImage->bytes_per_line);
      for (int x = 0; x < nDrawWidth; ++x) {
        pOut[x] = Pack(pRow[m_columns[static_cast<size_t>(x)]]);
      }
    } else {
      for (int x = 0; x < nDrawWidth; ++x) {
        XPutPixel(m_pImage, x, y, Pack(pRow[m_columns[static_cast<size_t>(x)]]));
      }
    }
  }
  XPutImage(m_pDisplay, m_hWindow, m_pGC, m_pImage, 0, 0, 0, 0, static_cast<unsigned>(nDrawWidth),
            static_cast<unsigned>(nDrawHeight));
  // Drawn means on screen: another connection reading the window sees it.
  XSync(m_pDisplay, False);
}

}  // namespace emul
