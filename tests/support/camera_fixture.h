// CCameraTest: the library started over a set of virtual cameras on stepped
// clocks (the built-in pair unless a test installs its own first), with the
// emulation's leak check of CEmulTest around every test, and the helpers the
// library's own suites share: a camera made ready to capture, frames released
// and awaited, and what landed where.
//
//   class FeatureTest : public CCameraTest {};
//   TEST_F(FeatureTest, ...) { iidc_handle h = Open(0); ... }
//
// Every wait for the library is bounded by DEADLINE: a fault that breaks a
// wake-up fails the test within seconds instead of hanging it.
#pragma once

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "capture/capture_control.h"
#include "capture/sample_grabber_cb.h"
#include "core/camera.h"
#include "emul_env.h"
#include "iidc.h"
#include "vcam/filter/test_support.h"

// Long enough for a loaded machine, short against ctest's time-out.
constexpr auto DEADLINE = std::chrono::seconds(10);
constexpr DWORD DEADLINE_MS = 10000;

// 160 x 120 YUV 4:4:4 (Format 0 mode 0) on either built-in camera.
constexpr uint32_t SMALL_ID = IIDC_FORMATID(0, 0, IIDC_COLOR_YUV444);
constexpr LONG SMALL_FRAME_BYTES = 160 * 120 * 3;

class CCameraTest : public CEmulTest {
 protected:
  void SetUp() override {
    CEmulTest::SetUp();
    m_apartment = std::make_unique<CComApartment>();
  }

  void TearDown() override {
    SetSingleFrameTimeout(SINGLE_FRAME_TIMEOUT_MS);
    iidc_uninit();   // also closes what a test left open
    vcam::ResetActiveCameraSet();
    m_apartment.reset();
    CEmulTest::TearDown();
  }

  // Installs set and starts the library over it.
  void Start(std::vector<vcam::Profile> set = vcam::BuiltInCameraSet()) {
    m_clocks = vcam::InstallSteppedCameraSet(std::move(set));
    ASSERT_TRUE(iidc_init());
  }

  // Starts the library (over the built-in pair if nothing was started) and
  // opens camera index.
  iidc_handle Open(int32_t index) {
    if (iidc_getcameracount() == 0) {
      Start();
    }
    iidc_handle handle = iidc_open(index);
    EXPECT_NE(handle, nullptr) << "iidc_open(" << index << ") failed: 0x" << std::hex << iidc_getlasterror(-1);
    return handle;
  }

  static CCamera& Camera(iidc_handle h) { return *reinterpret_cast<CCamera*>(h); }

  // Camera 0 in the small format, prepared, with a library ring of nBuffers.
  iidc_handle OpenReady(int32_t nBuffers) {
    iidc_handle h = Open(0);
    EXPECT_TRUE(iidc_setformat(h, SMALL_ID));
    EXPECT_TRUE(iidc_preparecapture(h));
    EXPECT_EQ(iidc_allocframe(h, nBuffers), nBuffers);
    return h;
  }

  // Frames stored by the capture's callback object so far.
  static LONG Stored(iidc_handle h) {
    return Camera(h).m_pCallback ? Camera(h).m_pCallback->FramesStored() : 0;
  }

  // Releases n frames of camera 0 and waits (bounded) until the ring holds
  // them. The frame event is signalled after every stored frame, so each turn
  // either sees the target or sleeps until the next frame.
  void Deliver(iidc_handle h, LONG n) {
    const LONG nTarget = Stored(h) + n;
    m_clocks[0]->Step(static_cast<std::uint64_t>(n));
    while (Stored(h) < nTarget) {
      ASSERT_EQ(WaitForSingleObject(Camera(h).m_hFrameEvent, DEADLINE_MS), WAIT_OBJECT_0) << "frames stopped";
    }
  }

  // Releases frames of camera 0 one at a time until another thread says it
  // is done, for at most DEADLINE.
  void StepUntil(const std::atomic<bool>& bDone) {
    const auto deadline = std::chrono::steady_clock::now() + DEADLINE;
    for (std::uint64_t nTaken = m_clocks[0]->FramesTaken() + 1; !bDone; ++nTaken) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the other thread never finished";
      m_clocks[0]->Step(1);
      ASSERT_TRUE(m_clocks[0]->WaitForTaken(nTaken, DEADLINE)) << "frames stopped";
    }
  }

  // The sequence number a buffer's frame carries (its first four bytes).
  static uint32_t SequenceIn(iidc_handle h, int32_t index) {
    uint32_t nSequence = 0;
    std::memcpy(&nSequence, Camera(h).m_ppFrames[index], sizeof nSequence);
    return nSequence;
  }

  // Puts a code no capture call records in both slots, so that a call that
  // records nothing shows.
  static void MarkSlots(iidc_handle h) { iidc_getbits(h); }

  std::vector<std::shared_ptr<vcam::CSteppedClock>> m_clocks;

 private:
  std::unique_ptr<CComApartment> m_apartment;
};
