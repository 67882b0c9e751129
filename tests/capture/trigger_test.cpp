// Single frames from a camera whose trigger is on: each way a triggered wait
// ends, with the capture running on its own thread as an application's would.
// A hang fails the test at a generous deadline instead of holding the suite.
#include <chrono>
#include <functional>
#include <future>
#include <thread>

#include "tests/support/camera_fixture.h"
#include "capture/capture_control.h"
#include "capture/sample_grabber_cb.h"
#include "core/camera.h"

namespace {

using namespace std::chrono_literals;

constexpr uint32_t SOFTWARE_TRIGGER = 0x62C;
constexpr uint32_t SOFTWARE_TRIGGER_RELEASE = 0x80000000u;

class TriggerTest : public CCameraTest {
 protected:
  // Camera 0 with its trigger switched on (or left off) and a ring of two
  // buffers, ready for a single frame.
  iidc_handle ReadyCamera(bool bTrigger) {
    iidc_handle h = Open(0);
    iidc_feature trigger{IIDC_FEATURE_TRIGGER, bTrigger ? 0u : IIDC_FEATURESTATE_OFF, 0, 0};
    EXPECT_NE(iidc_setfeature(h, &trigger, 0), 0u);
    EXPECT_TRUE(iidc_preparecapture(h));
    EXPECT_TRUE(iidc_allocframe(h, 2));
    return h;
  }

  // Runs a single-frame capture on another thread, does what ends it, and
  // returns the capture's result; a capture still blocked at the deadline is
  // aborted so the test can end.
  bool CaptureEndedBy(iidc_handle h, const std::function<void()>& end) {
    auto capture = std::async(std::launch::async, [h] { return iidc_capture(h, 0) != 0; });
    end();
    if (capture.wait_for(DEADLINE) != std::future_status::ready) {
      ADD_FAILURE() << "the single frame did not end";
      iidc_waitabort(h, nullptr);
    }
    return capture.get();
  }

  static CCamera& Camera(iidc_handle h) { return *reinterpret_cast<CCamera*>(h); }
};

TEST_F(TriggerTest, SoftwareReleaseLongAfterTheFreeRunningBoundDeliversTheFrame) {
  iidc_handle h = ReadyCamera(true);
  // Virtual time: the capture's polls move the clock, so eight seconds of
  // waiting pass without a real sleep; the free-running bound is 5 s.
  emul::UseVirtualTime(true);
  const bool bOk = CaptureEndedBy(h, [h] {
    const auto deadline = std::chrono::steady_clock::now() + DEADLINE;
    while (emul::VirtualSleepTotal() < 8000 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::yield();
    uint32_t dwRelease = SOFTWARE_TRIGGER_RELEASE;
    EXPECT_EQ(iidc1394_asyncwritequadlet(h, SOFTWARE_TRIGGER, &dwRelease, 4), 4);
  });
  EXPECT_GE(emul::VirtualSleepTotal(), 8000u);
  ASSERT_TRUE(bOk) << std::hex << iidc_getlasterror(0);
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_READY);
  EXPECT_EQ(Camera(h).m_pCallback->FramesStored(), 1);
  // The frame event is left for an application's iidc_wait.
  EXPECT_EQ(WaitForSingleObject(Camera(h).m_hFrameEvent, 0), WAIT_OBJECT_0);
}

TEST_F(TriggerTest, AbortAndLossEndAWaitThatNoTriggerEnds) {
  struct Case {
    const char* name;
    bool bTrigger;
    std::function<void(iidc_handle)> end;
    uint32_t dwCode;
  };
  const Case cases[] = {
      {"abort from another thread", true, [](iidc_handle h) { iidc_waitabort(h, nullptr); }, IIDC_ERR_WAIT_ABORTED},
      {"camera lost", true, [](iidc_handle) { vcam::GetCameraModel(0)->Faults()->bUnplugged = true; },
       IIDC_ERR_NO_FRAMES},
      // Without the trigger the bound stays: the stepped clock sends no frame.
      {"no trigger, no frame", false, [](iidc_handle) {}, IIDC_ERR_NO_FRAMES},
  };
  SetSingleFrameTimeout(50);  // no triggered wait may end by it
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    iidc_handle h = ReadyCamera(c.bTrigger);
    EXPECT_FALSE(CaptureEndedBy(h, [&] { c.end(h); }));
    EXPECT_EQ(iidc_getlasterror(0), c.dwCode);
    EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_READY);
    EXPECT_FALSE(Camera(h).m_bAbortWait) << "the abort is taken by the capture it ended";
    iidc_uninit();  // the next case starts over on new cameras
  }
}

}  // namespace
