// iidc view: live video in an X11 window, with the frames per second shown,
// until the window is closed, q is pressed or --seconds have passed.
#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include <chrono>
#include <cstdlib>
#include <ostream>

#include "camera_query.h"
#include "commands.h"
#include "exit_status.h"
#include "names.h"
#include "session.h"
#include "video_settings.h"

// Last: the X11 headers define macros (Success, None, Status) that other
// headers use as names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <poll.h>

namespace iidctool {

namespace {

struct ViewOptions {
  double fSeconds = 0;  // 0: until closed
  VideoSettings video;
};

// The X connection and the top-level window the preview lives in.
class CPreviewWindow {
 public:
  CPreviewWindow(int nWidth, int nHeight, const std::string& title)
  {
      m_pDisplay = XOpenDisplay(nullptr);
      if (!m_pDisplay) {
          const char* pszName = std::getenv("DISPLAY");
          throw CToolError(EXIT_FAILED, fmt::format("cannot open the X display '{}': run iidc view in a desktop session "
                                                    "or set DISPLAY",
                                                    pszName ? pszName : ""));
      }
      const int nScreen = DefaultScreen(m_pDisplay);
      m_window = XCreateSimpleWindow(m_pDisplay, RootWindow(m_pDisplay, nScreen), 0, 0, unsigned(nWidth),
                                     unsigned(nHeight), 0, BlackPixel(m_pDisplay, nScreen),
                                     BlackPixel(m_pDisplay, nScreen));
      m_deleteAtom = XInternAtom(m_pDisplay, "WM_DELETE_WINDOW", False);
      XSetWMProtocols(m_pDisplay, m_window, &m_deleteAtom, 1);
      XSelectInput(m_pDisplay, m_window, KeyPressMask | StructureNotifyMask);
      SetTitle(title);
      XMapWindow(m_pDisplay, m_window);
      XFlush(m_pDisplay);
  }
  ~CPreviewWindow()
  {
      XDestroyWindow(m_pDisplay, m_window);
      XCloseDisplay(m_pDisplay);
  }
  CPreviewWindow(const CPreviewWindow&) = delete;
  CPreviewWindow& operator=(const CPreviewWindow&) = delete;

  Window Id() const { return m_window; }
  void SetTitle(const std::string& title)
  {
      XStoreName(m_pDisplay, m_window, title.c_str());
      XFlush(m_pDisplay);
  }
  // Handles the pending events, waiting at most nMilliseconds for one; false
  // once the user closed the window or pressed q or Escape.
  bool Pump(int nMilliseconds)
  {
      if (!XPending(m_pDisplay)) {
          pollfd fd{ConnectionNumber(m_pDisplay), POLLIN, 0};
          poll(&fd, 1, nMilliseconds);
      }
      while (XPending(m_pDisplay)) {
          XEvent event;
          XNextEvent(m_pDisplay, &event);
          if (event.type == ClientMessage && Atom(event.xclient.data.l[0]) == m_deleteAtom)
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

 private:
  Display* m_pDisplay = nullptr;
  Window m_window = 0;
  Atom m_deleteAtom = 0;
};

double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

int RunView(CommandLine& line, ViewOptions& options)
{
    if (options.fSeconds < 0 || options.fSeconds > 86400)
        throw CToolError(EXIT_BAD_ARGUMENTS, fmt::format("--seconds {}: give 0 (until closed) to 86400", options.fSeconds));
    options.video.Parse();
    CLibrarySession library;
    CCameraSession camera(library, line.camera);
    ApplyVideoSettings(camera, options.video, nullptr);
    const CurrentFormat format = ReadCurrentFormat(camera);
    const std::string name = fmt::format("iidc: camera {} {}", camera.Index(), CameraString(camera.Index(), IIDC_STRING_MODEL));
    CPreviewWindow window(format.nWidth, format.nHeight, name);
    if (!iidc_preparecapture(camera.Handle()))
        camera.Fail("preparing capture");
    if (!iidc_setimagetowindow(camera.Handle(), window.Id(), 0, 0, format.nWidth, format.nHeight))
        camera.Fail("setting up the preview window");
    if (!iidc_capture(camera.Handle(), IIDC_TRUE))
        camera.Fail("starting the preview");
    line.context.err << "press q in the window or close it to stop\n";

    const double fStart = Now();
    double fLast = fStart;
    int32_t nLastFrames = 0;
    while (window.Pump(100)) {
        const double fNow = Now();
        if (options.fSeconds > 0 && fNow - fStart >= options.fSeconds)
            break;
        if (fNow - fLast < 1.0)
            continue;
        iidc_transferinfo info{};
        iidc_gettransferinfo(camera.Handle(), &info, sizeof info);
        const double fFps = (info.framecount - nLastFrames) / (fNow - fLast);
        nLastFrames = info.framecount;
        fLast = fNow;
        window.SetTitle(fmt::format("{} - {:.1f} fps", name, fFps));
        line.context.out << fmt::format("{:.1f} fps\n", fFps) << std::flush;
    }
    if (!iidc_idle(camera.Handle()))
        camera.Fail("stopping the preview");
    return EXIT_OK;
}

}  // namespace

void AddViewCommand(CLI::App& app, CommandLine& line)
{
    auto* pCommand = app.add_subcommand("view", "live preview in a window (q or closing the window stops it)");
    auto pOptions = std::make_shared<ViewOptions>();
    pCommand->add_option("-s,--seconds", pOptions->fSeconds, "stop after this many seconds");
    AddVideoOptions(*pCommand, pOptions->video);
    pCommand->callback([&line, pOptions] { line.run = [&line, pOptions] { return RunView(line, *pOptions); }; });
}

}  // namespace iidctool
