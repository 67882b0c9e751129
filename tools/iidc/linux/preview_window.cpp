// The preview window on an X11 desktop.
#include "preview_window.h"

#include <fmt/format.h>

#include <cstdlib>

#include "exit_status.h"
#include "session.h"

// Last: the X11 headers define macros (Success, None, Status) that other
// headers use as names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <poll.h>

namespace iidctool {

struct CPreviewWindow::CState {
  Display* pDisplay = nullptr;
  Window window = 0;
  Atom deleteAtom = 0;
};

CPreviewWindow::CPreviewWindow(int nWidth, int nHeight, const std::string& title) : m_pState(std::make_unique<CState>())
{
    CState& s = *m_pState;
    s.pDisplay = XOpenDisplay(nullptr);
    if (!s.pDisplay) {
        const char* pszName = std::getenv("DISPLAY");
        throw CToolError(EXIT_FAILED, fmt::format("cannot open the X display '{}': run iidc view in a desktop session "
                                                  "or set DISPLAY",
                                                  pszName ? pszName : ""));
    }
    const int nScreen = DefaultScreen(s.pDisplay);
    s.window = XCreateSimpleWindow(s.pDisplay, RootWindow(s.pDisplay, nScreen), 0, 0, unsigned(nWidth), unsigned(nHeight),
                                   0, BlackPixel(s.pDisplay, nScreen), BlackPixel(s.pDisplay, nScreen));
    s.deleteAtom = XInternAtom(s.pDisplay, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(s.pDisplay, s.window, &s.deleteAtom, 1);
    XSelectInput(s.pDisplay, s.window, KeyPressMask | StructureNotifyMask);
    SetTitle(title);
    XMapWindow(s.pDisplay, s.window);
    XFlush(s.pDisplay);
}

CPreviewWindow::~CPreviewWindow()
{
    XDestroyWindow(m_pState->pDisplay, m_pState->window);
    XCloseDisplay(m_pState->pDisplay);
}

iidc_window CPreviewWindow::Id() const
{
    return m_pState->window;
}

void CPreviewWindow::SetTitle(const std::string& title)
{
    XStoreName(m_pState->pDisplay, m_pState->window, title.c_str());
    XFlush(m_pState->pDisplay);
}

bool CPreviewWindow::Pump(int nMilliseconds)
{
    CState& s = *m_pState;
    if (!XPending(s.pDisplay)) {
        pollfd fd{ConnectionNumber(s.pDisplay), POLLIN, 0};
        poll(&fd, 1, nMilliseconds);
    }
    while (XPending(s.pDisplay)) {
        XEvent event;
        XNextEvent(s.pDisplay, &event);
        if (event.type == ClientMessage && Atom(event.xclient.data.l[0]) == s.deleteAtom)
            return false;
        if (event.type == DestroyNotify)
            return false;
        if (event.type == KeyPress) {
            const KeySym key = XLookupKeysym(&event.xkey, 0);
            if (key == XK_q || key == XK_Q || key == XK_Escape)
                return false;
        }
    }
    return true;
}

}  // namespace iidctool
