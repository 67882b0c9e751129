// The preview in a real X server: a virtual camera's frames in a child window
// of the test's owner window, read back pixel by pixel.
#include <algorithm>
#include <cstdlib>
#include <string>

#include "image/convert/convert.h"
#include "preview_fixture.h"

namespace {

struct CRect {
  int nLeft, nTop, nWidth, nHeight;
};

// What a window of rect shows of a picture of nWidth x nHeight pixels given
// by pixelAt(x, y): stretched by taking the picture pixel under each window
// pixel's centre.
template <class F>
std::uint32_t ShownAt(const CRect& rect, int nWidth, int nHeight, int x, int y, F&& pixelAt) {
  return pixelAt(static_cast<int>((2LL * x + 1) * nWidth / (2LL * rect.nWidth)),
                 static_cast<int>((2LL * y + 1) * nHeight / (2LL * rect.nHeight)));
}

int ChannelDistance(std::uint32_t a, std::uint32_t b) {
  int nMax = 0;
  for (int shift = 0; shift <= 16; shift += 8) {
    nMax = std::max(nMax, std::abs(static_cast<int>((a >> shift) & 0xff) - static_cast<int>((b >> shift) & 0xff)));
  }
  return nMax;
}

class WindowPreviewTest : public PreviewTest {
 protected:
  // Counts window pixels of rect that differ from the expected picture by
  // more than nTolerance per channel, and the owner pixels outside rect that
  // are not the owner's background.
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
        const bool bInside =
            x >= rect.nLeft && x < rect.nLeft + rect.nWidth && y >= rect.nTop && y < rect.nTop + rect.nHeight;
        if (!bInside) {
          nOutside += shown != OWNER_BACKGROUND ? 1 : 0;
          continue;
        }
        const std::uint32_t expected = ShownAt(rect, nWidth, nHeight, x - rect.nLeft, y - rect.nTop, pixelAt);
        if (ChannelDistance(shown, expected) > nTolerance) {
          if (nWrong++ == 0) {
            first = "at " + std::to_string(x) + "," + std::to_string(y) + ": " + std::to_string(shown) +
                    " instead of " + std::to_string(expected);
          }
        }
      }
    }
    EXPECT_EQ(nWrong, 0) << first;
    EXPECT_EQ(nOutside, 0);
  }

  // Shows camera mode nMode 1:1 at (10, 20), draws one frame and returns
  // the raw sample it came from.
  std::vector<std::uint8_t> ShowOneFrame(std::uint32_t nMode, int nWidth, int nHeight) {
    m_h = Prepared(nMode);
    EXPECT_TRUE(iidc_setimagetowindow(m_h, m_hOwner, 10, 20, nWidth, nHeight));
    EXPECT_EQ(Camera(m_h).m_pGrabber->SetBufferSamples(TRUE), S_OK);
    EXPECT_TRUE(iidc_capture(m_h, 1));
    DrawFrames(m_h, 1);
    return LastSample(m_h);
  }

  iidc_handle m_h = nullptr;
};

std::uint32_t FromBgr24(const std::vector<std::uint8_t>& bgr, int nWidth, int nHeight, int x, int y) {
  const std::uint8_t* p = bgr.data() + Bgr24Stride(nWidth) * static_cast<size_t>(nHeight - 1 - y) + 3 * x;
  return static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[0];
}

// An RGB8 frame of 640 x 480, top-down R G B.
std::uint32_t FromRgb24(const std::vector<std::uint8_t>& rgb, int x, int y) {
  const std::uint8_t* p = rgb.data() + (static_cast<size_t>(y) * 640 + x) * 3;
  return static_cast<std::uint32_t>(p[0]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[2];
}

TEST_F(WindowPreviewTest, Rgb8FrameShowsExactlyAtTheRectangle) {
  if (!NeedDisplay()) GTEST_SKIP() << NO_DISPLAY;
  const std::vector<std::uint8_t> sample = ShowOneFrame(4, 640, 480);
  ASSERT_EQ(sample.size(), 640u * 480u * 3u);
  ExpectPicture({10, 20, 640, 480}, 640, 480, 0, [&](int x, int y) { return FromRgb24(sample, x, y); });
}

// Mono8 travels as an 8-bit bitmap, which a renderer reads bottom-up.
TEST_F(WindowPreviewTest, Mono8FrameShowsExactlyAsABottomUpBitmap) {
  if (!NeedDisplay()) GTEST_SKIP() << NO_DISPLAY;
  const std::vector<std::uint8_t> sample = ShowOneFrame(5, 640, 480);
  ASSERT_EQ(sample.size(), 640u * 480u);
  ExpectPicture({10, 20, 640, 480}, 640, 480, 0, [&](int x, int y) {
    const std::uint32_t v = sample[static_cast<size_t>(479 - y) * 640 + x];
    return v << 16 | v << 8 | v;
  });
}

// The renderer's YUV formula rounds where the library's truncates.
constexpr int YUV_TOLERANCE = 2;

// Other codings show as the library converts them.
TEST_F(WindowPreviewTest, ConvertedFramesShowAsTheLibraryConvertsThem) {
  if (!NeedDisplay()) GTEST_SKIP() << NO_DISPLAY;
  struct CCase {
    std::uint32_t nMode;
    int nWidth, nHeight, nTolerance;
    bool (*pfnConvert)(const uint8_t*, size_t, uint8_t*, size_t, int, int, bool);
  };
  const auto mono16 = [](const uint8_t* p, size_t cb, uint8_t* pOut, size_t cbOut, int w, int h, bool) {
    return Mono16ToBgr24(p, cb, pOut, cbOut, w, h);
  };
  for (const CCase& c : {CCase{0, 160, 120, YUV_TOLERANCE, &Yuv444ToBgr24},
                         CCase{1, 320, 240, YUV_TOLERANCE, &Yuv422ToBgr24},
                         CCase{2, 640, 480, YUV_TOLERANCE, &Yuv411ToBgr24}, CCase{6, 640, 480, 0, +mono16}}) {
    SCOPED_TRACE(c.nMode);
    const std::vector<std::uint8_t> sample = ShowOneFrame(c.nMode, c.nWidth, c.nHeight);
    std::vector<std::uint8_t> bgr(Bgr24ImageSize(c.nWidth, c.nHeight));
    ASSERT_TRUE(c.pfnConvert(sample.data(), sample.size(), bgr.data(), bgr.size(), c.nWidth, c.nHeight, true));
    ExpectPicture({10, 20, c.nWidth, c.nHeight}, c.nWidth, c.nHeight, c.nTolerance,
                  [&](int x, int y) { return FromBgr24(bgr, c.nWidth, c.nHeight, x, y); });
    ASSERT_TRUE(iidc_idle(m_h));
    iidc_uninit();
  }
}

TEST_F(WindowPreviewTest, WindowIsAHiddenChildUntilTheDisplayRuns) {
  if (!NeedDisplay()) GTEST_SKIP() << NO_DISPLAY;
  m_h = Prepared(4);
  ASSERT_TRUE(iidc_setimagetowindow(m_h, m_hOwner, 10, 20, 640, 480));
  EXPECT_EQ(iidc_getstatus(m_h), IIDC_STATE_READY);
  const Window hVideo = Renderer(m_h)->X11WindowId();
  ASSERT_NE(hVideo, 0u);
  EXPECT_EQ(m_pX->Parent(hVideo), m_hOwner);
  EXPECT_EQ(m_pX->MapState(hVideo), IsUnmapped);
  ASSERT_TRUE(iidc_capture(m_h, 1));
  EXPECT_EQ(m_pX->MapState(hVideo), IsViewable);
}

TEST_F(WindowPreviewTest, FramesDrawnRiseWhileCapturingAndStopAfterIdle) {
  if (!NeedDisplay()) GTEST_SKIP() << NO_DISPLAY;
  m_h = Prepared(1);
  ASSERT_TRUE(iidc_setimagetowindow(m_h, m_hOwner, 0, 0, 320, 240));
  ASSERT_TRUE(iidc_capture(m_h, 1));
  EXPECT_EQ(iidc_getstatus(m_h), IIDC_STATE_CAPTURING);
  DrawFrames(m_h, 2);
  EXPECT_EQ(FramesDrawn(m_h), 2);
  DrawFrames(m_h, 3);
  EXPECT_EQ(FramesDrawn(m_h), 5);

  ASSERT_TRUE(iidc_idle(m_h));
  EXPECT_EQ(iidc_getstatus(m_h), IIDC_STATE_READY);
  // The graph has stopped: released frames are neither delivered nor drawn.
  m_clocks[0]->Step(4);
  EXPECT_EQ(FramesDrawn(m_h), 5);
  EXPECT_EQ(m_clocks[0]->FramesPending(), 4u);

  // Capture runs again on the same window.
  ASSERT_TRUE(iidc_capture(m_h, 1));
  ASSERT_TRUE(Renderer(m_h)->WaitForFramesDrawn(4, std::chrono::seconds(10)));
  ASSERT_TRUE(iidc_idle(m_h));
}

TEST_F(WindowPreviewTest, SecondCallMovesAndStretchesThePicture) {
  if (!NeedDisplay()) GTEST_SKIP() << NO_DISPLAY;
  ShowOneFrame(4, 640, 480);
  ASSERT_TRUE(iidc_idle(m_h));

  const CRect moved{300, 250, 320, 240};
  ASSERT_TRUE(iidc_setimagetowindow(m_h, m_hOwner, moved.nLeft, moved.nTop, moved.nWidth, moved.nHeight));
  EXPECT_EQ(iidc_getstatus(m_h), IIDC_STATE_READY);
  ASSERT_EQ(Camera(m_h).m_pGrabber->SetBufferSamples(TRUE), S_OK);
  ASSERT_TRUE(iidc_capture(m_h, 1));
  DrawFrames(m_h, 1);
  const std::vector<std::uint8_t> sample = LastSample(m_h);
  // The first picture is gone with its renderer; the new one is half size.
  ExpectPicture(moved, 640, 480, 0, [&](int x, int y) { return FromRgb24(sample, x, y); });
}

TEST_F(WindowPreviewTest, PictureIsStretchedUpToALargerWindow) {
  if (!NeedDisplay()) GTEST_SKIP() << NO_DISPLAY;
  m_h = Prepared(0);  // 160 x 120
  const CRect rect{5, 5, 480, 300};
  ASSERT_TRUE(iidc_setimagetowindow(m_h, m_hOwner, rect.nLeft, rect.nTop, rect.nWidth, rect.nHeight));
  ASSERT_EQ(Camera(m_h).m_pGrabber->SetBufferSamples(TRUE), S_OK);
  ASSERT_TRUE(iidc_capture(m_h, 1));
  DrawFrames(m_h, 1);
  const std::vector<std::uint8_t> sample = LastSample(m_h);
  std::vector<std::uint8_t> bgr(Bgr24ImageSize(160, 120));
  ASSERT_TRUE(Yuv444ToBgr24(sample.data(), sample.size(), bgr.data(), bgr.size(), 160, 120, true));
  ExpectPicture(rect, 160, 120, YUV_TOLERANCE, [&](int x, int y) { return FromBgr24(bgr, 160, 120, x, y); });
}

TEST_F(WindowPreviewTest, SingleFrameInWindowModeDrawsAndReturnsReady) {
  if (!NeedDisplay()) GTEST_SKIP() << NO_DISPLAY;
  m_h = Prepared(1);
  ASSERT_TRUE(iidc_setimagetowindow(m_h, m_hOwner, 0, 0, 320, 240));
  m_clocks[0]->Step(3);  // ready before the graph runs; the one-shot grabber passes one
  ASSERT_TRUE(iidc_capture(m_h, 0));
  EXPECT_EQ(iidc_getstatus(m_h), IIDC_STATE_READY);
  ASSERT_TRUE(Renderer(m_h)->WaitForFramesDrawn(1, std::chrono::seconds(10)));
  EXPECT_EQ(FramesDrawn(m_h), 1);
}

TEST_F(WindowPreviewTest, OwnerDestroyedUnderTheRunningDisplayIsHarmless) {
  if (!NeedDisplay()) GTEST_SKIP() << NO_DISPLAY;
  m_h = Prepared(1);
  ASSERT_TRUE(iidc_setimagetowindow(m_h, m_hOwner, 0, 0, 320, 240));
  ASSERT_TRUE(iidc_capture(m_h, 1));
  DrawFrames(m_h, 1);
  m_pX->Destroy(m_hOwner);
  DrawFrames(m_h, 2);  // still counted, drawn into nothing
  ASSERT_TRUE(iidc_idle(m_h));
  EXPECT_TRUE(iidc_clearcapture(m_h));
}

TEST_F(WindowPreviewTest, NoDisplayMakesRenderingFailCleanly) {
  const char* pszDisplay = std::getenv("DISPLAY");
  const std::string strDisplay = pszDisplay != nullptr ? pszDisplay : "";
  setenv("DISPLAY", ":59999", 1);  // no server there
  m_h = Prepared(1);
  iidc_getbits(m_h);  // something else in the slots
  EXPECT_FALSE(iidc_setimagetowindow(m_h, 0, 0, 0, 320, 240));
  if (pszDisplay != nullptr) {
    setenv("DISPLAY", strDisplay.c_str(), 1);
  } else {
    unsetenv("DISPLAY");
  }
  EXPECT_EQ(iidc_getlasterror(0), static_cast<uint32_t>(E_FAIL));
  EXPECT_EQ(iidc_getstatus(m_h), IIDC_STATE_PREPARED);
  EXPECT_FALSE(Camera(m_h).m_bWindowMode);
  // The null renderer went and no renderer replaced it.
  ComPtr<IBaseFilter> pRenderer;
  EXPECT_EQ(Camera(m_h).m_pGraph->FindFilterByName(L"Video Renderer", pRenderer.ReleaseAndGetAddressOf()),
            VFW_E_NOT_FOUND);
  EXPECT_TRUE(iidc_clearcapture(m_h));
  EXPECT_TRUE(iidc_preparecapture(m_h));
}

}  // namespace
