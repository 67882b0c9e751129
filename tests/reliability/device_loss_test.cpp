// Device loss: a camera that stops delivering or disappears while capture
// runs, while a single frame is awaited, while a thread waits without a
// time-out, or that sends more than it promised. No call may hang past its
// bound or crash, and the camera must close and open again afterwards.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <vector>

#include "reliability_fixture.h"

namespace {

class DeviceLossTest : public CReliabilityTest {
 protected:
  void SetUp() override {
    CReliabilityTest::SetUp();
    Start();
    m_baseline = CLiveResources();
  }

  // Every test ends with the camera closed: nothing is left behind, and
  // once plugged back in it works again.
  void TearDown() override {
    ExpectWorksAgain();
    EXPECT_EQ(CLiveResources(), m_baseline) << "left behind after the loss";
    CReliabilityTest::TearDown();
  }

  // Camera 0 capturing continuously into a ring of three buffers.
  iidc_handle StartCapturing() {
    iidc_handle h = OpenReady(3);
    EXPECT_TRUE(iidc_capture(h, 1));
    return h;
  }

  vcam::CameraFaults& Faults() { return *vcam::GetCameraFaults(0); }

  // The result of a wait on another thread that an abort should have ended.
  // One that has not ended within the deadline fails the test and is freed
  // through its event, so that a broken abort cannot hang the suite.
  static iidc_event Finish(std::future<iidc_event>& waiter, iidc_event hEvent) {
    if (waiter.wait_for(DEADLINE) != std::future_status::ready) {
      ADD_FAILURE() << "the abort did not end the wait";
      do {
        SetEvent(hEvent);
      } while (waiter.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready);
    }
    return waiter.get();
  }

  // Plugs the camera back in and proves it works: open, one frame, close.
  void ExpectWorksAgain() {
    Faults().cbOversize = 0;
    Faults().bUnplugged = false;
    iidc_handle h = OpenReady(2);
    m_clocks[0]->Step(1);
    EXPECT_TRUE(iidc_capture(h, 0));
    EXPECT_TRUE(iidc_freeframe(h));
    EXPECT_TRUE(iidc_close(h));
  }

  CLiveResources m_baseline;
};

TEST_F(DeviceLossTest, UnpluggedDuringContinuousCaptureStopsClosesAndReopens) {
  iidc_handle h = StartCapturing();
  Deliver(h, 2);
  Faults().bUnplugged = true;
  m_clocks[0]->Step(5);  // released, never delivered

  // Waits end at their time-out; the ring and the figures stay readable.
  const iidc_waitinfo wait{IIDC_WAIT_FRAME, 20};
  EXPECT_NE(iidc_wait(h, &wait, 0), nullptr);
  EXPECT_NE(iidc_lockdata(h, -1), nullptr);
  iidc_unlockdata(h);
  iidc_transferinfo transfer{};
  EXPECT_TRUE(iidc_gettransferinfo(h, &transfer, sizeof transfer));
  EXPECT_EQ(transfer.framecount, 2);
  // Register reads of a camera that is gone fail with a code, never hang.
  iidc1394_isotransmissioninfo iso{};
  EXPECT_EQ(iidc1394_currentisotransmissioninfo(h, &iso), 0);
  EXPECT_EQ(iidc_getlasterror(0), IIDC_ERR_FAIL);
  iidc_feature feature{IIDC_FEATURE_BRIGHTNESS, 0, 0, 0};
  EXPECT_EQ(iidc_currentfeature(h, &feature, 0), 0);

  EXPECT_TRUE(iidc_idle(h));
  EXPECT_TRUE(iidc_freeframe(h));
  EXPECT_TRUE(iidc_close(h));
}

TEST_F(DeviceLossTest, CloseWhileAGoneCameraIsCapturingGivesEverythingBack) {
  iidc_handle h = StartCapturing();
  Deliver(h, 1);
  Faults().bUnplugged = true;
  EXPECT_TRUE(iidc_close(h));
}

TEST_F(DeviceLossTest, SingleFrameFromACameraThatStoppedDeliveringGivesUpAtItsBound) {
  SetSingleFrameTimeout(50);
  iidc_handle h = OpenReady(2);

  // No frame released: the camera delivers nothing. The graph is stopped
  // again, so a frame that does come is captured by the next call.
  EXPECT_EQ(iidc_capture(h, 0), 0);
  EXPECT_EQ(iidc_getlasterror(0), IIDC_ERR_NO_FRAMES);
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_READY);
  SetSingleFrameTimeout(SINGLE_FRAME_TIMEOUT_MS);
  m_clocks[0]->Step(1);
  EXPECT_TRUE(iidc_capture(h, 0));

  // Gone altogether, with a frame due: the loss ends the wait at once.
  Faults().bUnplugged = true;
  m_clocks[0]->Step(1);
  EXPECT_EQ(iidc_capture(h, 0), 0);
  EXPECT_EQ(iidc_getlasterror(0), IIDC_ERR_NO_FRAMES);
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_READY);
  EXPECT_TRUE(iidc_freeframe(h));
  EXPECT_TRUE(iidc_close(h));
}

TEST_F(DeviceLossTest, InfiniteWaitOnAGoneCameraEndsWithWaitAbort) {
  iidc_handle h = StartCapturing();
  Deliver(h, 1);
  const iidc_waitinfo probe{IIDC_WAIT_FRAME, 0};
  iidc_event hEvent = iidc_wait(h, &probe, 0);
  ASSERT_NE(hEvent, nullptr);
  Faults().bUnplugged = true;

  std::future<iidc_event> waiter = std::async(std::launch::async, [h] {
    const iidc_waitinfo forever{IIDC_WAIT_FRAME, IIDC_WAIT_INFINITE};
    return iidc_wait(h, &forever, 0);
  });
  // The waiter resets the event as it starts, so an abort that comes before
  // it blocks is lost with the signal; aborting until it has ended covers
  // both orders. The flag a late abort leaves is consumed below.
  const auto deadline = std::chrono::steady_clock::now() + DEADLINE;
  do {
    ASSERT_TRUE(iidc_waitabort(h, hEvent));
  } while (waiter.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready &&
           std::chrono::steady_clock::now() < deadline);
  EXPECT_EQ(Finish(waiter, hEvent), nullptr);
  EXPECT_EQ(iidc_getlasterror(0), IIDC_ERR_WAIT_ABORTED);
  iidc_wait(h, &probe, 0);

  EXPECT_TRUE(iidc_idle(h));
  EXPECT_TRUE(iidc_freeframe(h));
  EXPECT_TRUE(iidc_close(h));
}

TEST_F(DeviceLossTest, RingWaitOnAGoneCameraEndsWithWaitAbortFromAnotherThread) {
  iidc_handle h = StartCapturing();
  Faults().bUnplugged = true;
  const iidc_waitinfo probe{IIDC_WAIT_RING, 0};
  iidc_event hEvent = iidc_wait(h, &probe, 0);
  ASSERT_NE(hEvent, nullptr);
  // The ring event is not reset by a wait, so one abort is enough whenever
  // it comes.
  std::future<iidc_event> waiter = std::async(std::launch::async, [h] {
    const iidc_waitinfo forever{IIDC_WAIT_RING, IIDC_WAIT_INFINITE};
    return iidc_wait(h, &forever, 0);
  });
  ASSERT_TRUE(iidc_waitabort(h, hEvent));
  EXPECT_EQ(Finish(waiter, hEvent), nullptr);
  EXPECT_TRUE(iidc_close(h));
}

TEST_F(DeviceLossTest, OversizeSamplesNeverRunPastTheCallersBuffers) {
  iidc_handle h = Open(0);
  ASSERT_TRUE(iidc_setformat(h, SMALL_ID));
  ASSERT_TRUE(iidc_preparecapture(h));
  const int32_t cbFrame = iidc_currentdataframebytes(h);
  ASSERT_EQ(cbFrame, 160 * 120 * 3);
  // Heap buffers of exactly one frame, so that the address sanitizer sees any
  // byte written past them.
  std::vector<std::vector<unsigned char>> buffers(2, std::vector<unsigned char>(static_cast<size_t>(cbFrame)));
  unsigned char* ring[2] = {buffers[0].data(), buffers[1].data()};
  ASSERT_EQ(iidc_attachbuffer(h, ring, sizeof ring), 2);
  Faults().cbOversize = 4096;
  ASSERT_TRUE(iidc_capture(h, 1));
  m_clocks[0]->Step(4);
  ASSERT_TRUE(m_clocks[0]->WaitForTaken(4, DEADLINE));
  EXPECT_TRUE(iidc_idle(h));
  EXPECT_TRUE(iidc_releasebuffer(h));
  EXPECT_TRUE(iidc_close(h));
}

}  // namespace
