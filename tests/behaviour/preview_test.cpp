// Live display in a child window of the test's own window, and capture in
// window mode.
#include <memory>

#include "behaviour_fixture.h"
#include "preview_window.h"

using namespace behaviour;

namespace {

constexpr int OWNER_WIDTH = 400;
constexpr int OWNER_HEIGHT = 300;

class PreviewTest : public BehaviourTest {
 protected:
  void SetUp() override {
    BehaviourTest::SetUp();
    m_pOwner = std::make_unique<CPreviewOwner>(OWNER_WIDTH, OWNER_HEIGHT);
  }

  // The cameras, and with them the video windows, go before their owner.
  void TearDown() override {
    BehaviourTest::TearDown();
    m_pOwner.reset();
  }

  // In window mode the transfer figures count frames drawn; no frame event is
  // signalled, so the short waits only pace the polling.
  bool WaitForFramesDrawn(iidc_handle h, int32_t nAfter) {
    const iidc_waitinfo pause{IIDC_WAIT_FRAME, 100};
    for (uint32_t nWaited = 0; nWaited < WAIT_MS && FramesDelivered(h) <= nAfter; nWaited += pause.timeout) {
      m_pOwner->ProcessEvents();
      iidc_wait(h, &pause, 0);
    }
    return FramesDelivered(h) > nAfter;
  }

  // Opens and prepares the colour camera for a display in the owner. *ph stays
  // null when there is no window system (the test is skipped), or under a
  // Windows emulation layer: no video renderer there offers the quality
  // interface through which the library counts frames drawn, so setting up
  // the display ends at that step (false, no code recorded, the camera stays
  // prepared), which is checked here instead.
  void OpenForDisplay(iidc_handle* ph) {
    *ph = nullptr;
    if (!m_pOwner->IsOpen()) GTEST_SKIP() << "no window system to show the display in";
    iidc_handle h = Open(COLOR_CAMERA);
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(iidc_preparecapture(h));
    if (!CPreviewOwner::UnderWindowsEmulation()) {
      *ph = h;
      return;
    }
    const uint32_t before = iidc_getlasterror(COLOR_CAMERA);
    const uint32_t beforeGlobal = iidc_getlasterror(-1);
    EXPECT_FALSE(iidc_setimagetowindow(h, m_pOwner->Handle(), 0, 0, 320, 240));
    EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), before);
    EXPECT_EQ(iidc_getlasterror(-1), beforeGlobal);
    EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_PREPARED);
  }

  std::unique_ptr<CPreviewOwner> m_pOwner;
};

TEST_F(PreviewTest, DisplayRunsAndStopsInTheOwnersChildWindow) {
  iidc_handle h = nullptr;
  OpenForDisplay(&h);
  if (h == nullptr) return;

  ASSERT_TRUE(iidc_setimagetowindow(h, m_pOwner->Handle(), 10, 20, 320, 240));
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_READY);
  EXPECT_EQ(iidc_getframecount(h), 0u) << "window mode needs no ring";

  ASSERT_TRUE(iidc_capture(h, 1));
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_CAPTURING);
  EXPECT_TRUE(WaitForFramesDrawn(h, 0)) << "no frame was drawn";
  iidc1394_isotransmissioninfo iso{};
  EXPECT_EQ(iidc1394_currentisotransmissioninfo(h, &iso), 4);
  EXPECT_EQ(iso.packetsize, 640);
  EXPECT_TRUE(iidc_idle(h));
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_READY);

  // A second call places the display anew; it runs again.
  ASSERT_TRUE(iidc_setimagetowindow(h, m_pOwner->Handle(), 0, 0, 160, 120));
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_READY);
  ASSERT_TRUE(iidc_capture(h, 1));
  const int32_t nDrawn = FramesDelivered(h);
  EXPECT_TRUE(WaitForFramesDrawn(h, nDrawn));
  EXPECT_TRUE(iidc_idle(h));

  // Preparing again after clearing ends window mode: frames go to a ring.
  EXPECT_TRUE(iidc_clearcapture(h));
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_OPENED);
  ASSERT_TRUE(PrepareWithFrames(h, 2));
  ASSERT_TRUE(iidc_capture(h, 0));
  const unsigned char* pFrame = iidc_lockdata(h, -1);
  ASSERT_NE(pFrame, nullptr);
  EXPECT_EQ(FrameSequence(pFrame), 0u);
  iidc_unlockdata(h);
  EXPECT_TRUE(iidc_idle(h));
  EXPECT_TRUE(iidc_freeframe(h));
}

TEST_F(PreviewTest, SingleFrameInWindowModeReturnsReady) {
  iidc_handle h = nullptr;
  OpenForDisplay(&h);
  if (h == nullptr) return;

  ASSERT_TRUE(iidc_setimagetowindow(h, m_pOwner->Handle(), 0, 0, OWNER_WIDTH, OWNER_HEIGHT));
  for (int i = 0; i < 2; ++i) {
    EXPECT_TRUE(iidc_capture(h, 0));
    EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_READY);
  }
  // The stop may still be under way: releasing waits for it.
  EXPECT_TRUE(iidc_releasebuffer(h));
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_PREPARED);
  EXPECT_TRUE(iidc_idle(h));
  EXPECT_TRUE(iidc_clearcapture(h));
}

TEST_F(PreviewTest, DisplayNeedsAPreparedGraphAndAnOpenCamera) {
  iidc_handle h = Open(COLOR_CAMERA);
  ASSERT_NE(h, nullptr);
  const iidc_window owner = m_pOwner->Handle();

  EXPECT_FALSE(iidc_setimagetowindow(h, owner, 0, 0, 320, 240)) << "no capture graph yet";
  EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), IIDC_ERR_FAIL);
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_OPENED);

  EXPECT_FALSE(iidc_setimagetowindow(nullptr, owner, 0, 0, 320, 240));
  EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_HANDLE);
  EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), IIDC_ERR_FAIL);
}

}  // namespace
