// The test's own connection to the X server the video renderer draws on:
// owner windows for the preview, and the pixels of a window read back.
//
// One connection serves the whole test program and stays open: a server
// whose last client leaves resets itself and refuses connections meanwhile.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <bit>
#include <cstdint>
#include <vector>

class CX11TestDisplay {
 public:
  CX11TestDisplay() : m_pDisplay(SharedDisplay()) {}
  ~CX11TestDisplay() {
    for (Window hWindow : m_windows) {
      XDestroyWindow(m_pDisplay, hWindow);
    }
    if (m_pDisplay != nullptr) {
      XSync(m_pDisplay, False);
    }
  }
  CX11TestDisplay(const CX11TestDisplay&) = delete;
  CX11TestDisplay& operator=(const CX11TestDisplay&) = delete;

  bool IsOpen() const { return m_pDisplay != nullptr; }

  // A mapped top-level window of that size filled with rgbBackground.
  Window CreateOwner(int nWidth, int nHeight, std::uint32_t rgbBackground) {
    XSetWindowAttributes attributes{};
    attributes.background_pixel = Pack(rgbBackground);
    const Window hWindow =
        XCreateWindow(m_pDisplay, DefaultRootWindow(m_pDisplay), 0, 0, static_cast<unsigned>(nWidth),
                      static_cast<unsigned>(nHeight), 0, CopyFromParent, InputOutput, CopyFromParent, CWBackPixel,
                      &attributes);
    XMapWindow(m_pDisplay, hWindow);
    XSync(m_pDisplay, False);
    m_windows.push_back(hWindow);
    return hWindow;
  }

  void Destroy(Window hWindow) {
    XDestroyWindow(m_pDisplay, hWindow);
    std::erase(m_windows, hWindow);
    XSync(m_pDisplay, False);
  }

  // The window's pixels as 0x00RRGGBB, row by row (children included).
  std::vector<std::uint32_t> Read(Window hWindow, int x, int y, int nWidth, int nHeight) {
    std::vector<std::uint32_t> pixels;
    XImage* pImage = XGetImage(m_pDisplay, hWindow, x, y, static_cast<unsigned>(nWidth),
                               static_cast<unsigned>(nHeight), AllPlanes, ZPixmap);
    if (pImage == nullptr) {
      return pixels;
    }
    pixels.reserve(static_cast<size_t>(nWidth) * static_cast<size_t>(nHeight));
    for (int row = 0; row < nHeight; ++row) {
      for (int col = 0; col < nWidth; ++col) {
        pixels.push_back(Unpack(XGetPixel(pImage, col, row)));
      }
    }
    XDestroyImage(pImage);
    return pixels;
  }

  int MapState(Window hWindow) {
    XWindowAttributes attributes{};
    return XGetWindowAttributes(m_pDisplay, hWindow, &attributes) != 0 ? attributes.map_state : -1;
  }

  Window Parent(Window hWindow) {
    Window hRoot = 0;
    Window hParent = 0;
    Window* pChildren = nullptr;
    unsigned nChildren = 0;
    if (XQueryTree(m_pDisplay, hWindow, &hRoot, &hParent, &pChildren, &nChildren) == 0) {
      return 0;
    }
    if (pChildren != nullptr) {
      XFree(pChildren);
    }
    return hParent;
  }

 private:
  static Display* SharedDisplay() {
    static Display* const s_pDisplay = XOpenDisplay(nullptr);
    return s_pDisplay;
  }

  const Visual* DefaultVisualOf() const { return DefaultVisual(m_pDisplay, DefaultScreen(m_pDisplay)); }

  static unsigned long Channel(std::uint32_t v, unsigned long ulMask) {
    return (static_cast<unsigned long>(v) << std::countr_zero(ulMask) >> (8 - std::popcount(ulMask))) & ulMask;
  }

  static std::uint32_t Extract(unsigned long ulPixel, unsigned long ulMask) {
    return static_cast<std::uint32_t>(((ulPixel & ulMask) >> std::countr_zero(ulMask)) << (8 - std::popcount(ulMask)));
  }

  unsigned long Pack(std::uint32_t rgb) const {
    const Visual* pVisual = DefaultVisualOf();
    return Channel((rgb >> 16) & 0xff, pVisual->red_mask) | Channel((rgb >> 8) & 0xff, pVisual->green_mask) |
           Channel(rgb & 0xff, pVisual->blue_mask);
  }

  std::uint32_t Unpack(unsigned long ulPixel) const {
    const Visual* pVisual = DefaultVisualOf();
    return Extract(ulPixel, pVisual->red_mask) << 16 | Extract(ulPixel, pVisual->green_mask) << 8 |
           Extract(ulPixel, pVisual->blue_mask);
  }

  Display* const m_pDisplay;
  std::vector<Window> m_windows;  // made by this object, destroyed with it
};
