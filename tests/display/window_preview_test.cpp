// The preview in a real X server: a virtual camera's frames in a child window
// of the test's owner window, read back pixel by pixel; the window's life
// with the display; and the preview's failures that need a display to reach.
// Tests that need the display skip when none can be opened.
#include <algorithm>
#include <string>

#include "emul/dshow/video_renderer.h"
#include "image/convert/convert.h"
#include "tests/support/camera_fixture.h"
#include "x11_test_display.h"

namespace {

constexpr int OWNER_WIDTH = 700;
constexpr int OWNER_HEIGHT = 520;
constexpr std::uint32_t OWNER_BACKGROUND = 0x203040;
constexpr const char* NO_DISPLAY = "no X display can be opened";

struct CRect {
  int nLeft, nTop, nWidth, nHeight;
};

// A camera of one IIDC Format 0 mode at 15 frames per second (rate code 3).
vcam::Profile PreviewCamera(std::uint32_t nMode) {
  vcam::Profile profile;
  profile.strFriendlyName = "Preview Test Camera";
  profile.strVendor = "Test Vendor";
  profile.strModel = "Preview Test";
  profile.ullUniqueId = 0x00A0B0C0D0E0F101ull;
  profile.standardModes = {{0, nMode, 0x10000000u}};
  profile.nInitialFormat = 0;
  profile.nInitialMode = nMode;
  profile.nInitialRate = 3;
  return profile;
}

int ChannelDistance(std::uint32_t a, std::uint32_t b) {
  int nMax = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    nMax = std::max(nMax, std::abs(static_cast<int>((a >> shift) & 0xff) - static_cast<int>((b >> shift) & 0xff)));
  }
  return nMax;
}

class WindowPreviewTest : public CCameraTest {
 protected:
  void SetUp() override {
    CCameraTest::SetUp();
    m_pX = std::make_unique<CX11TestDisplay>();
  }
  void TearDown() override {
    CCameraTest::TearDown();  // the renderers' windows go first
    m_pX.reset();
  }

  // False when there is no X display (the test then skips); otherwise makes
  // the owner window.
  bool NeedDisplay() {
    if (!m_pX->IsOpen()) return false;
    m_hOwner = m_pX->CreateOwner(OWNER_WIDTH, OWNER_HEIGHT, OWNER_BACKGROUND);
    return true;
  }

  // Opens a camera of Format 0 nMode and prepares its capture graph.
  iidc_handle Prepared(std::uint32_t nMode) {
    Start({PreviewCamera(nMode)});
    m_h = Open(0);
    EXPECT_TRUE(iidc_preparecapture(m_h));
    iidc_getbits(m_h);  // a known code in both slots
    return m_h;
  }

  static CVideoRenderer* Renderer(iidc_handle h) {
    return dynamic_cast<CVideoRenderer*>(Camera(h).m_pQualProp.Get());
  }
  static int FramesDrawn(iidc_handle h) {
    int nDrawn = -1;
    Camera(h).m_pQualProp->get_FramesDrawn(&nDrawn);
    return nDrawn;
  }

  // Releases n frames and waits (bounded) until the renderer drew them.
  void DrawFrames(iidc_handle h, int n) {
    const int nTarget = FramesDrawn(h) + n;
    m_clocks[0]->Step(static_cast<std::uint64_t>(n));
    ASSERT_TRUE(Renderer(h)->WaitForFramesDrawn(nTarget, DEADLINE)) << "frames stopped";
  }

  // Shows the camera's frames at rect, draws one and returns the raw sample
  // it came from (the grabber buffers samples on request).
  std::vector<std::uint8_t> ShowOneFrame(const CRect& rect) {
    EXPECT_TRUE(iidc_setimagetowindow(m_h, m_hOwner, rect.nLeft, rect.nTop, rect.nWidth, rect.nHeight));
    EXPECT_EQ(Camera(m_h).m_pGrabber->SetBufferSamples(TRUE), S_OK);
    EXPECT_TRUE(iidc_capture(m_h, 1));
    DrawFrames(m_h, 1);
    LONG cbBuffer = 0;
    EXPECT_EQ(Camera(m_h).m_pGrabber->GetCurrentBuffer(&cbBuffer, nullptr), S_OK);
    std::vector<std::uint8_t> sample(static_cast<size_t>(cbBuffer));
    EXPECT_EQ(Camera(m_h).m_pGrabber->GetCurrentBuffer(&cbBuffer, reinterpret_cast<LONG*>(sample.data())), S_OK);
    return sample;
  }

  // Counts window pixels of rect that differ from the picture of nWidth x
  // nHeight given by pixelAt(x, y), stretched by taking the picture pixel
  // under each window pixel's centre, by more than nTolerance per channel;
  // and owner pixels outside rect that are not the owner's background.
  template <class F>
  void ExpectPicture(const CRect& rect, int nWidth, int nHeight, int nTolerance, F&& pixelAt) {
    const std::vector<std::uint32_t> screen = m_pX->Read(m_hOwner, 0, 0, OWNER_WIDTH, OWNER_HEIGHT);
    ASSERT_EQ(screen.size(), static_cast<size_t>(OWNER_WIDTH * OWNER_HEIGHT));
    int nWrong = 0;
    int nOutside = 0;
    std::string first;
    for (int y = 0; y < OWNER_HEIGHT; ++y) {
      for (int x = 0; x < OWNER_WIDTH; ++x) {
        const std::uint32_t shown = screen[static_cast<size_t>(y * OWNER_WIDTH + x)];
        const int xIn = x - rect.nLeft;
        const int yIn = y - rect.nTop;
        if (xIn < 0 || xIn >= rect.nWidth || yIn < 0 || yIn >= rect.nHeight) {
          nOutside += shown != OWNER_BACKGROUND ? 1 : 0;
          continue;
        }
        const std::uint32_t expected = pixelAt(static_cast<int>((2LL * xIn + 1) * nWidth / (2LL * rect.nWidth)),
                                               static_cast<int>((2LL * yIn + 1) * nHeight / (2LL * rect.nHeight)));
        if (ChannelDistance(shown, expected) > nTolerance && nWrong++ == 0) {
          first = "at " + std::to_string(x) + "," + std::to_string(y) + ": " + std::to_string(shown) +
                  " instead of " + std::to_string(expected);
        }
      }
    }
    EXPECT_EQ(nWrong, 0) << first;
    EXPECT_EQ(nOutside, 0);
  }

  std::unique_ptr<CX11TestDisplay> m_pX;
  Window m_hOwner = 0;
  iidc_handle m_h = nullptr;
};

// RGB8 travels as it is, Mono8 as an 8-bit bitmap that a renderer reads
// bottom-up: both show exactly. Other codings show as the library converts
// them, within the renderer's rounding (the library truncates). The picture
// is stretched down and up to the rectangle, and a second call on the same
// camera moves it to a new renderer.
TEST_F(WindowPreviewTest, FramesShowAtTheRectangleAsTheLibraryConvertsThem) {
  if (!NeedDisplay()) {
    GTEST_SKIP() << NO_DISPLAY;
  }
  using Convert = bool (*)(const uint8_t*, size_t, uint8_t*, size_t, int, int, bool);
  const Convert mono16 = [](const uint8_t* p, size_t cb, uint8_t* pOut, size_t cbOut, int w, int h, bool) {
    return Mono16ToBgr24(p, cb, pOut, cbOut, w, h);
  };
  struct CCase {
    std::uint32_t nMode;
    int nWidth, nHeight;
    CRect rect;
    int nTolerance;
    Convert pfnConvert;  // null: RGB8 or Mono8 as they come
    bool bAgain;         // the camera of the case before, placed anew
  };
  for (const CCase& c : {CCase{4, 640, 480, {10, 20, 640, 480}, 0, nullptr, false},
                         CCase{4, 640, 480, {300, 250, 320, 240}, 0, nullptr, true},
                         CCase{5, 640, 480, {10, 20, 640, 480}, 0, nullptr, false},
                         CCase{0, 160, 120, {5, 5, 480, 300}, 2, &Yuv444ToBgr24, false},
                         CCase{1, 320, 240, {10, 20, 320, 240}, 2, &Yuv422ToBgr24, false},
                         CCase{2, 640, 480, {10, 20, 640, 480}, 2, &Yuv411ToBgr24, false},
                         CCase{6, 640, 480, {10, 20, 640, 480}, 0, mono16, false}}) {
    SCOPED_TRACE(c.nMode);
    if (!c.bAgain) {
      iidc_uninit();
      Prepared(c.nMode);
    }
    const std::vector<std::uint8_t> sample = ShowOneFrame(c.rect);
    ASSERT_TRUE(iidc_idle(m_h));
    const auto w = static_cast<size_t>(c.nWidth);
    std::vector<std::uint8_t> bgr(Bgr24ImageSize(c.nWidth, c.nHeight));
    if (c.pfnConvert != nullptr) {
      ASSERT_TRUE(c.pfnConvert(sample.data(), sample.size(), bgr.data(), bgr.size(), c.nWidth, c.nHeight, true));
    }
    ExpectPicture(c.rect, c.nWidth, c.nHeight, c.nTolerance, [&](int x, int y) -> std::uint32_t {
      const auto at = static_cast<size_t>(y) * w + static_cast<size_t>(x);
      if (c.nMode == 4) return sample[3 * at] << 16 | sample[3 * at + 1] << 8 | sample[3 * at + 2];
      if (c.nMode == 5) return sample[(static_cast<size_t>(c.nHeight - 1 - y) * w + static_cast<size_t>(x))] * 0x010101u;
      const std::uint8_t* p = bgr.data() + Bgr24Stride(c.nWidth) * static_cast<size_t>(c.nHeight - 1 - y) + 3 * x;
      return static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[0];
    });
  }
}

// The window is a hidden child of the owner until the display runs; frames
// drawn rise while capturing and stop after idle; a destroyed owner harms
// nothing; a change of rate lets the renderer go.
TEST_F(WindowPreviewTest, WindowAndFramesDrawnFollowTheDisplay) {
  if (!NeedDisplay()) {
    GTEST_SKIP() << NO_DISPLAY;
  }
  Prepared(1);
  ASSERT_TRUE(iidc_setimagetowindow(m_h, m_hOwner, 10, 20, 320, 240));
  EXPECT_EQ(iidc_getstatus(m_h), IIDC_STATE_READY);
  const Window hVideo = Renderer(m_h)->X11WindowId();
  ASSERT_NE(hVideo, 0u);
  EXPECT_EQ(m_pX->Parent(hVideo), m_hOwner);
  EXPECT_EQ(m_pX->MapState(hVideo), IsUnmapped);
  ASSERT_TRUE(iidc_capture(m_h, 1));
  EXPECT_EQ(m_pX->MapState(hVideo), IsViewable);
  DrawFrames(m_h, 2);
  EXPECT_EQ(FramesDrawn(m_h), 2);
  DrawFrames(m_h, 3);
  EXPECT_EQ(FramesDrawn(m_h), 5);
  iidc_transferinfo transfer{-1, -1};
  ASSERT_EQ(iidc_gettransferinfo(m_h, &transfer, sizeof transfer), 1);
  EXPECT_EQ(transfer.framecount, 5) << "window mode counts frames drawn";
  ASSERT_TRUE(iidc_idle(m_h));
  // The graph has stopped: released frames are neither delivered nor drawn.
  m_clocks[0]->Step(4);
  EXPECT_EQ(FramesDrawn(m_h), 5);
  EXPECT_EQ(m_clocks[0]->FramesPending(), 4u);
  // A single frame in window mode is drawn and leaves the camera ready.
  m_clocks[0]->DropPending();
  m_clocks[0]->Step(3);
  ASSERT_TRUE(iidc_capture(m_h, 0));
  EXPECT_EQ(iidc_getstatus(m_h), IIDC_STATE_READY);
  ASSERT_TRUE(Renderer(m_h)->WaitForFramesDrawn(1, DEADLINE));
  // Capture runs again; the owner goes under the running display.
  ASSERT_TRUE(iidc_capture(m_h, 1));
  DrawFrames(m_h, 1);
  m_pX->Destroy(m_hOwner);
  DrawFrames(m_h, 2);  // still counted, drawn into nothing
  ASSERT_TRUE(iidc_idle(m_h));
  // A change of rate takes the display down with the graph: the renderer
  // is let go.
  EXPECT_EQ(iidc_setframerate(m_h, 15.0f), 15.0f);
  EXPECT_EQ(iidc_getstatus(m_h), IIDC_STATE_OPENED);
  EXPECT_FALSE(Camera(m_h).m_pQualProp);
}

// Without the quality interface the preview fails and records nothing;
// without the video window it fails with the platform's code; window
// settings that fail are not checked.
TEST_F(WindowPreviewTest, MissingInterfacesOfTheRenderer) {
  if (!NeedDisplay()) {
    GTEST_SKIP() << NO_DISPLAY;
  }
  const uint32_t dwMark = IIDC_ERR_NOT_SUPPORTED;  // what Prepared() leaves in the slots
  struct CCase {
    const IID* piid;
    uint32_t dwCode;
    bool bQualProp;
  };
  for (const CCase& c : {CCase{&IID_IQualProp, dwMark, false}, CCase{&IID_IVideoWindow, static_cast<uint32_t>(E_FAIL), true}}) {
    Prepared(1);
    emul::FailInterface(*c.piid);
    EXPECT_FALSE(iidc_setimagetowindow(m_h, m_hOwner, 0, 0, 320, 240));
    emul::ResetFaults();
    EXPECT_EQ(iidc_getlasterror(0), c.dwCode);
    EXPECT_EQ(iidc_getstatus(m_h), IIDC_STATE_PREPARED);
    EXPECT_FALSE(Camera(m_h).m_bWindowMode);
    EXPECT_EQ(static_cast<bool>(Camera(m_h).m_pQualProp), c.bQualProp) << "found before the window was asked for";
    iidc_uninit();
  }

  Prepared(1);
  emul::FailOperation("IVideoWindow::put_Owner", E_FAIL);
  emul::FailOperation("IVideoWindow::put_Visible", E_FAIL);
  EXPECT_TRUE(iidc_setimagetowindow(m_h, m_hOwner, -7, 0, 0, -3));
  emul::ResetFaults();
  ComPtr<IVideoWindow> pWindow;
  ASSERT_EQ(Camera(m_h).m_pGraph->QueryInterface(IID_IVideoWindow, pWindow.ReleaseAndGetVoidAddressOf()), S_OK);
  LONG nLeft = 0, nTop = 1, nWidth = 1, nHeight = 0, nStyle = 0;
  ASSERT_EQ(pWindow->GetWindowPosition(&nLeft, &nTop, &nWidth, &nHeight), S_OK);
  EXPECT_EQ(nLeft, -7);
  EXPECT_EQ(nTop, 0);
  EXPECT_EQ(nWidth, 0);
  EXPECT_EQ(nHeight, -3);
  ASSERT_EQ(pWindow->get_WindowStyle(&nStyle), S_OK);
  EXPECT_EQ(nStyle, 0x44000000);
  // A window with no area shows nothing but the display still runs.
  ASSERT_TRUE(iidc_capture(m_h, 1));
  DrawFrames(m_h, 1);
  ASSERT_TRUE(iidc_idle(m_h));
}

// In window mode the graph itself runs: its run and stop can fail, and a
// single frame needs it running; the grabber's delivery mode is set but not
// checked; without media control a capture fails silently; window mode ends
// with a rebuilt capture graph.
TEST_F(WindowPreviewTest, RunAndStopFailuresInWindowMode) {
  if (!NeedDisplay()) {
    GTEST_SKIP() << NO_DISPLAY;
  }
  Prepared(1);
  const uint32_t dwMark = iidc_getlasterror(-1);
  ASSERT_TRUE(iidc_setimagetowindow(m_h, m_hOwner, 0, 0, 320, 240));
  EXPECT_FALSE(Camera(m_h).m_pDroppedFrames);
  emul::FailOperation("IMediaControl::Run", E_FAIL, 1);
  EXPECT_FALSE(iidc_capture(m_h, 1));
  EXPECT_EQ(iidc_getlasterror(0), static_cast<uint32_t>(E_FAIL));
  EXPECT_EQ(iidc_getstatus(m_h), IIDC_STATE_READY);
  ASSERT_TRUE(iidc_capture(m_h, 1));
  EXPECT_EQ(iidc_capture(m_h, 1), 0);  // already running
  EXPECT_EQ(iidc_getlasterror(0), static_cast<uint32_t>(IIDC_ERR_CAPTURING));
  EXPECT_FALSE(iidc_clearcapture(m_h));
  emul::FailOperation("IMediaControl::Stop", E_FAIL, 1);
  EXPECT_FALSE(iidc_idle(m_h));
  EXPECT_EQ(iidc_getlasterror(0), static_cast<uint32_t>(E_FAIL));
  EXPECT_EQ(iidc_getstatus(m_h), IIDC_STATE_CAPTURING);
  EXPECT_TRUE(iidc_idle(m_h));
  EXPECT_EQ(iidc_getstatus(m_h), IIDC_STATE_READY);
  // A single frame whose graph is never seen running gives no frame.
  emul::FailOperation("IMediaControl::GetState", E_FAIL);
  EXPECT_FALSE(iidc_capture(m_h, 0));
  EXPECT_EQ(iidc_getlasterror(0), IIDC_ERR_NO_FRAMES);
  EXPECT_EQ(iidc_getstatus(m_h), IIDC_STATE_READY);
  emul::ResetFaults();
  const int nOneShotCalls = emul::CallCount("ISampleGrabber::SetOneShot");
  emul::FailOperation("ISampleGrabber::SetOneShot", E_FAIL);
  EXPECT_TRUE(iidc_capture(m_h, 1));
  EXPECT_EQ(emul::CallCount("ISampleGrabber::SetOneShot"), nOneShotCalls + 1);
  EXPECT_TRUE(iidc_idle(m_h));
  emul::ResetFaults();
  EXPECT_TRUE(iidc_clearcapture(m_h));
  EXPECT_TRUE(iidc_preparecapture(m_h));
  EXPECT_FALSE(Camera(m_h).m_bWindowMode);
  iidc_uninit();

  Prepared(1);
  emul::FailInterface(IID_IMediaControl);
  EXPECT_TRUE(iidc_setimagetowindow(m_h, m_hOwner, 0, 0, 320, 240));
  emul::ResetFaults();
  EXPECT_FALSE(Camera(m_h).m_pMediaControl);
  EXPECT_FALSE(iidc_capture(m_h, 1));
  EXPECT_EQ(iidc_getlasterror(0), dwMark);
  EXPECT_EQ(iidc_getstatus(m_h), IIDC_STATE_READY);
}

}  // namespace
