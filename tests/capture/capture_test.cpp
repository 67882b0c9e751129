// Capture on a virtual camera whose frames come one step at a time: every
// operation in every state, where frames land, single frames, locks, waits
// and their aborts, the callback object on its own, and capture at full speed
// while other threads lock, wait and abort.
#include <algorithm>
#include <array>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "capture/ring.h"
#include "vcam/model/offsets.h"
#include "tests/support/camera_fixture.h"

namespace {

class CaptureTest : public CCameraTest {};

// What an operation answers and leaves behind, in states 4, 3, 2, 1. A code
// of 0: nothing recorded (the slots keep what was there).
struct Outcome {
  int64_t nResult;
  uint32_t dwCode;
  int32_t nStateAfter;
};
struct Operation {
  const char* pszName;
  std::function<int64_t(iidc_handle)> call;
  std::array<Outcome, 4> outcomes;
};

std::array<unsigned char, SMALL_FRAME_BYTES> g_buffers[2];
unsigned char* const g_pBuffers[2] = {g_buffers[0].data(), g_buffers[1].data()};

const std::vector<Operation>& Operations() {
  constexpr uint32_t NONE = 0;
  static const std::vector<Operation> operations = {
      {"preparecapture", [](iidc_handle h) { return int64_t{iidc_preparecapture(h)}; },
       {{{1, NONE, 3}, {0, IIDC_ERR_ALREADY_PREPARED, 3}, {0, IIDC_ERR_ALREADY_PREPARED, 2},
         {0, IIDC_ERR_ALREADY_PREPARED, 1}}}},
      {"allocframe", [](iidc_handle h) { return int64_t{iidc_allocframe(h, 2)}; },
       {{{0, IIDC_ERR_NOT_PREPARED, 4}, {2, NONE, 2}, {0, IIDC_ERR_NOT_PREPARED, 2}, {0, IIDC_ERR_CAPTURING, 1}}}},
      {"attachbuffer", [](iidc_handle h) { return int64_t{iidc_attachbuffer(h, g_pBuffers, sizeof g_pBuffers)}; },
       {{{0, IIDC_ERR_NOT_PREPARED, 4}, {2, NONE, 2}, {0, IIDC_ERR_NOT_PREPARED, 2}, {0, IIDC_ERR_CAPTURING, 1}}}},
      {"freeframe", [](iidc_handle h) { return int64_t{iidc_freeframe(h)}; },
       {{{1, NONE, 4}, {1, NONE, 3}, {1, NONE, 3}, {0, IIDC_ERR_CAPTURING, 1}}}},
      {"releasebuffer", [](iidc_handle h) { return int64_t{iidc_releasebuffer(h)}; },
       {{{1, NONE, 4}, {1, NONE, 3}, {1, NONE, 3}, {0, IIDC_ERR_CAPTURING, 1}}}},
      {"capture", [](iidc_handle h) { return int64_t{iidc_capture(h, 1)}; },
       {{{0, IIDC_ERR_NO_FRAMES, 4}, {0, IIDC_ERR_NO_FRAMES, 3}, {1, NONE, 1}, {0, IIDC_ERR_CAPTURING, 1}}}},
      {"idle", [](iidc_handle h) { return int64_t{iidc_idle(h)}; },
       {{{1, NONE, 4}, {1, NONE, 3}, {1, NONE, 2}, {1, NONE, 2}}}},
      {"clearcapture", [](iidc_handle h) { return int64_t{iidc_clearcapture(h)}; },
       {{{1, NONE, 4}, {1, NONE, 4}, {1, NONE, 4}, {0, IIDC_ERR_CAPTURING, 1}}}},
  };
  return operations;
}

TEST_F(CaptureTest, EveryOperationAnswersAsItsStateSays) {
  Start();
  for (int32_t nState = IIDC_STATE_OPENED; nState >= IIDC_STATE_CAPTURING; --nState) {
    for (const Operation& op : Operations()) {
      SCOPED_TRACE(std::string(op.pszName) + " in state " + std::to_string(nState));
      iidc_handle h = Open(0);
      ASSERT_TRUE(iidc_setformat(h, SMALL_ID));
      if (nState <= IIDC_STATE_PREPARED) {
        ASSERT_TRUE(iidc_preparecapture(h));
      }
      if (nState <= IIDC_STATE_READY) {
        ASSERT_EQ(iidc_allocframe(h, 3), 3);
      }
      if (nState <= IIDC_STATE_CAPTURING) {
        ASSERT_TRUE(iidc_capture(h, 1));
      }
      ASSERT_EQ(iidc_getstatus(h), nState);
      MarkSlots(h);
      const Outcome& expected = op.outcomes[static_cast<size_t>(IIDC_STATE_OPENED - nState)];
      EXPECT_EQ(op.call(h), expected.nResult);
      const uint32_t dwCode = expected.dwCode ? expected.dwCode : IIDC_ERR_NOT_SUPPORTED;
      EXPECT_EQ(iidc_getlasterror(0), dwCode);
      EXPECT_EQ(iidc_getlasterror(-1), dwCode);
      EXPECT_EQ(iidc_getstatus(h), expected.nStateAfter);
      iidc_idle(h);
      iidc_close(h);
    }
  }
}

TEST_F(CaptureTest, ContinuousCaptureFillsTheRingInTurn) {
  iidc_handle h = OpenReady(3);
  ASSERT_TRUE(iidc_capture(h, 1));
  std::vector<LONG> landed;
  for (int i = 0; i < 7; ++i) {
    Deliver(h, 1);
    landed.push_back(Camera(h).m_pCallback->CurrentIndex());
  }
  EXPECT_EQ(landed, (std::vector<LONG>{1, 2, 0, 1, 2, 0, 1}));
  // Each buffer holds the newest of its frames: the 6th, 7th and 5th.
  const uint32_t nFirst = SequenceIn(h, 1) - 6;
  EXPECT_EQ(SequenceIn(h, 0), nFirst + 5);
  EXPECT_EQ(SequenceIn(h, 2), nFirst + 4);
  ASSERT_TRUE(iidc_idle(h));
  // After the capture the newest frame is the one filled last.
  EXPECT_EQ(iidc_lockdata(h, -1), Camera(h).m_ppFrames[1]);
}

TEST_F(CaptureTest, SingleFrameWaitsForItsOwnCompletion) {
  iidc_handle h = OpenReady(3);
  // Before any capture the newest frame is taken to be in buffer 0.
  EXPECT_EQ(iidc_lockdata(h, -1), Camera(h).m_ppFrames[0]);
  m_clocks[0]->Step(1);
  ASSERT_TRUE(iidc_capture(h, 0));
  // Every run numbers its frames from 0, so a marker shows the new frame.
  std::memset(Camera(h).m_ppFrames[1], 0xA5, sizeof(uint32_t));
  // The completion of the first run must not end the second.
  SetSingleFrameTimeout(50);
  EXPECT_FALSE(iidc_capture(h, 0));
  EXPECT_EQ(iidc_getlasterror(0), IIDC_ERR_NO_FRAMES);
  SetSingleFrameTimeout(SINGLE_FRAME_TIMEOUT_MS);
  m_clocks[0]->Step(1);
  ASSERT_TRUE(iidc_capture(h, 0));
  // A fresh callback object enters the ring at the start again.
  EXPECT_EQ(Camera(h).m_pCallback->CurrentIndex(), 1);
  EXPECT_EQ(SequenceIn(h, 1), 0u);
}

TEST_F(CaptureTest, RingsWithoutABufferAndRingsLeftByAClear) {
  iidc_handle h = Open(0);
  ASSERT_TRUE(iidc_setformat(h, SMALL_ID));
  ASSERT_TRUE(iidc_preparecapture(h));
  EXPECT_EQ(iidc_allocframe(h, 0), 0);
  unsigned char* const noBuffers[2] = {nullptr, nullptr};
  EXPECT_EQ(iidc_attachbuffer(h, noBuffers, sizeof noBuffers), 0);
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_PREPARED);
  EXPECT_FALSE(iidc_capture(h, 1));
  EXPECT_EQ(iidc_getlasterror(0), IIDC_ERR_NO_FRAMES);

  // A clear keeps the ring; the next preparation's ring takes its place.
  ASSERT_EQ(iidc_allocframe(h, 3), 3);
  ASSERT_TRUE(iidc_clearcapture(h));
  EXPECT_EQ(iidc_getframecount(h), 3u);
  ASSERT_TRUE(iidc_preparecapture(h));
  EXPECT_EQ(iidc_allocframe(h, 2), 2);
  EXPECT_EQ(iidc_getframecount(h), 2u);
}

TEST_F(CaptureTest, LockReplacesTheEarlierLockAndRefusesIndexesPastTheRing) {
  iidc_handle h = OpenReady(3);
  ASSERT_TRUE(iidc_capture(h, 1));
  EXPECT_EQ(iidc_lockdata(h, 0), Camera(h).m_ppFrames[0]);
  EXPECT_EQ(iidc_lockdata(h, 2), Camera(h).m_ppFrames[2]);
  EXPECT_EQ(Camera(h).m_pCallback->LockMask(), 1u << 2);
  MarkSlots(h);
  EXPECT_EQ(iidc_lockdata(h, 3), nullptr);
  EXPECT_EQ(iidc_getlasterror(0), IIDC_ERR_NOT_SUPPORTED);  // nothing recorded
  EXPECT_EQ(Camera(h).m_pCallback->LockMask(), 1u << 2);
  iidc_unlockdata(h);
  EXPECT_EQ(Camera(h).m_pCallback->LockMask(), 0u);
  ASSERT_TRUE(iidc_idle(h));
  ASSERT_TRUE(iidc_freeframe(h));
  EXPECT_EQ(iidc_lockdata(h, -1), nullptr);
  EXPECT_EQ(iidc_getlasterror(0), IIDC_ERR_NO_FRAMES);
}

TEST_F(CaptureTest, RingWaitEndsOncePerTurn) {
  iidc_handle h = OpenReady(3);
  ASSERT_TRUE(iidc_capture(h, 1));
  Deliver(h, 2);  // buffers 1 and 2: no turn yet
  EXPECT_EQ(WaitForSingleObject(Camera(h).m_hRingEvent, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  Deliver(h, 1);  // buffer 0
  const iidc_waitinfo ring{IIDC_WAIT_RING, DEADLINE_MS};
  EXPECT_EQ(iidc_wait(h, &ring, 0), Camera(h).m_hRingEvent);
  // One turn ends one wait.
  EXPECT_EQ(WaitForSingleObject(Camera(h).m_hRingEvent, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  Deliver(h, 3);
  EXPECT_EQ(iidc_wait(h, &ring, 0), Camera(h).m_hRingEvent);
  ASSERT_TRUE(iidc_idle(h));
}

// A frame that comes before the wait has begun does not end it; an abort
// ends it, at the latest with the next frame should its signal come before
// the wait resets the event, and the abort flag says how it ended.
TEST_F(CaptureTest, FrameWaitOnAnotherThreadEndsWithTheNextFrameOrItsAbort) {
  iidc_handle h = OpenReady(3);
  ASSERT_TRUE(iidc_capture(h, 1));
  // The abort first: a frame still on its way from the other turn would end
  // that wait before the abort does.
  for (const bool bAbort : {true, false}) {
    SCOPED_TRACE(bAbort ? "aborted" : "next frame");
    std::atomic<bool> bDone{false};
    HANDLE hResult = INVALID_HANDLE_VALUE;
    std::thread waiter([&] {
      const iidc_waitinfo frame{IIDC_WAIT_FRAME, DEADLINE_MS};
      hResult = iidc_wait(h, &frame, 0);
      bDone = true;
    });
    if (bAbort) {
      EXPECT_TRUE(iidc_waitabort(h, Camera(h).m_hFrameEvent));
    }
    StepUntil(bDone);
    waiter.join();
    EXPECT_EQ(hResult, bAbort ? nullptr : Camera(h).m_hFrameEvent);
    if (bAbort) {
      EXPECT_EQ(iidc_getlasterror(0), IIDC_ERR_WAIT_ABORTED);
    }
  }
  ASSERT_TRUE(iidc_idle(h));
}

// A frame that outgrows the connection while the camera streams (its mode
// changed through the registers) is skipped, and frames come again once they
// fit.
TEST_F(CaptureTest, FramesTheConnectionCannotCarryAreSkippedUntilTheyFitAgain) {
  iidc_handle h = OpenReady(3);
  ASSERT_TRUE(iidc_capture(h, 1));
  Deliver(h, 1);
  const uint32_t larger = 1u << 29, small = 0;  // modes 1 (320 x 240) and 0
  ASSERT_EQ(iidc1394_asyncwritequadlet(h, vcam::CUR_V_MODE, &larger, 4), 4);
  const std::uint64_t nTaken = m_clocks[0]->FramesTaken();
  m_clocks[0]->Step(2);
  ASSERT_TRUE(m_clocks[0]->WaitForTaken(nTaken + 2, DEADLINE));
  EXPECT_EQ(Stored(h), 1);
  ASSERT_EQ(iidc1394_asyncwritequadlet(h, vcam::CUR_V_MODE, &small, 4), 4);
  Deliver(h, 1);
  ASSERT_TRUE(iidc_idle(h));
}

TEST_F(CaptureTest, CallbackObjectLivesFromCaptureToIdle) {
  iidc_handle h = OpenReady(2);
  const long nBefore = emul::LiveComObjects();
  ASSERT_TRUE(iidc_capture(h, 1));
  EXPECT_EQ(emul::LiveComObjects(), nBefore + 1);
  ASSERT_TRUE(iidc_idle(h));
  EXPECT_EQ(emul::LiveComObjects(), nBefore);
  // A replacing capture lets the earlier object go.
  m_clocks[0]->Step(2);
  ASSERT_TRUE(iidc_capture(h, 0));
  ASSERT_TRUE(iidc_capture(h, 0));
  EXPECT_EQ(emul::LiveComObjects(), nBefore + 1);
  // Clearing the graph drops the grabber, but the camera still holds the
  // object, which stays readable until idle forgets it.
  ASSERT_TRUE(iidc_clearcapture(h));
  EXPECT_EQ(Camera(h).m_pCallback->CurrentIndex(), 1);
  ASSERT_TRUE(iidc_idle(h));
  EXPECT_EQ(Camera(h).m_pCallback, nullptr);
}

// The callback object on its own, fed straight through BufferCB, on a ring
// of caller-owned buffers of 64 bytes and 16 spare.
class CallbackTest : public CEmulTest {
 protected:
  static constexpr LONG FRAME_BYTES = 64;

  void SetUp() override {
    CEmulTest::SetUp();
    m_camera.m_hFrameEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    m_camera.m_hRingEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  }
  void TearDown() override {
    m_camera.m_ppFrames = nullptr;
    CEmulTest::TearDown();
  }

  // A fresh object on a ring of n buffers, with the library's reference.
  CSampleGrabberCB* NewCallback(int nBuffers) {
    m_storage.assign(static_cast<size_t>(nBuffers), std::vector<BYTE>(FRAME_BYTES + 16, 0xEE));
    m_list.clear();
    for (auto& buffer : m_storage) m_list.push_back(buffer.data());
    m_list.push_back(nullptr);
    m_camera.m_ppFrames = m_list.data();
    m_camera.m_cbFrame = FRAME_BYTES;
    auto* pCallback = new CSampleGrabberCB(m_camera);
    pCallback->AddRef();
    return pCallback;
  }

  // Delivers frame number n (every byte n); returns the buffer it landed in.
  static LONG Deliver(CSampleGrabberCB* pCallback, BYTE n, LONG cb = FRAME_BYTES) {
    std::vector<BYTE> sample(static_cast<size_t>(cb > 0 ? cb : 1), n);
    EXPECT_EQ(pCallback->BufferCB(0.0, sample.data(), cb), S_OK);
    return pCallback->CurrentIndex();
  }

  static bool Signalled(HANDLE hEvent) { return WaitForSingleObject(hEvent, 0) == WAIT_OBJECT_0; }

  CCamera m_camera;
  std::vector<std::vector<BYTE>> m_storage;
  std::vector<BYTE*> m_list;
};

TEST_F(CallbackTest, FortyBuffersShareLockBitsThirtyTwoApart) {
  CSampleGrabberCB* pCallback = NewCallback(40);
  pCallback->SetLockMask(RingLockBit(3));
  std::vector<bool> filled(40, false);
  for (int n = 0; n < 80; ++n) filled[static_cast<size_t>(Deliver(pCallback, static_cast<BYTE>(n)))] = true;
  EXPECT_EQ(std::count(filled.begin(), filled.end(), false), 2);
  EXPECT_FALSE(filled[3]);
  EXPECT_FALSE(filled[35]);
  pCallback->Release();
}

TEST_F(CallbackTest, FramesNoBufferMayTakeAreDroppedAndSamplesCutToTheFrame) {
  CSampleGrabberCB* pCallback = NewCallback(1);
  Deliver(pCallback, 1);
  EXPECT_TRUE(Signalled(m_camera.m_hFrameEvent));
  EXPECT_TRUE(Signalled(m_camera.m_hRingEvent));
  pCallback->SetLockMask(RingLockBit(0));
  Deliver(pCallback, 2);
  EXPECT_EQ(m_storage[0][0], 1);
  EXPECT_EQ(pCallback->FramesDropped(), 1);
  EXPECT_EQ(pCallback->FramesStored(), 1);
  EXPECT_FALSE(Signalled(m_camera.m_hFrameEvent)) << "a dropped frame wakes nobody";
  pCallback->Release();

  pCallback = NewCallback(0);
  Deliver(pCallback, 1);
  EXPECT_EQ(pCallback->FramesDropped(), 1);
  pCallback->Release();

  // A long sample is cut to the frame; a short one fills what it has; no
  // sample at all is no frame.
  pCallback = NewCallback(2);
  Deliver(pCallback, 9, FRAME_BYTES + 16);
  EXPECT_EQ(m_storage[1][FRAME_BYTES - 1], 9);
  EXPECT_EQ(m_storage[1][FRAME_BYTES], 0xEE);
  Deliver(pCallback, 4, 8);
  EXPECT_EQ(m_storage[0][7], 4);
  EXPECT_EQ(m_storage[0][8], 0xEE);
  EXPECT_EQ(pCallback->BufferCB(0.0, nullptr, FRAME_BYTES), S_OK);
  EXPECT_EQ(Deliver(pCallback, 5, -1), 0);
  EXPECT_EQ(m_storage[0][0], 4);
  EXPECT_EQ(pCallback->FramesDropped(), 2);
  pCallback->Release();
}

// Continuous capture at full speed while other threads lock, unlock, wait and
// abort. Meant for ThreadSanitizer and AddressSanitizer: the assertions only
// check that every answer is one the interface allows.
TEST_F(CaptureTest, LocksWaitsAndAbortsWhileFramesPour) {
  constexpr int ROUNDS = 2000;
  constexpr int32_t BUFFERS = 4;
  std::vector<vcam::Profile> set = vcam::BuiltInCameraSet();
  set.resize(1);
  set[0].clock = vcam::ClockKind::FreeRun;
  vcam::SetActiveCameraSet(set);
  ASSERT_TRUE(iidc_init());
  iidc_handle h = Open(0);
  ASSERT_TRUE(iidc_setformat(h, SMALL_ID));
  ASSERT_TRUE(iidc_preparecapture(h));
  ASSERT_EQ(iidc_allocframe(h, BUFFERS), BUFFERS);
  ASSERT_TRUE(iidc_capture(h, 1));
  const CCamera& camera = Camera(h);
  const std::vector<unsigned char*> ring(camera.m_ppFrames, camera.m_ppFrames + BUFFERS);
  const HANDLE hEvents[2] = {camera.m_hRingEvent, camera.m_hFrameEvent};
  std::atomic<int> nBadLocks{0};
  std::atomic<int> nBadWaits{0};
  std::atomic<bool> bWaiterDone{false};
  std::thread locker([&] {
    for (int i = 0; i < ROUNDS; ++i) {
      unsigned char* p = iidc_lockdata(h, i % 3 == 0 ? -1 : i % BUFFERS);
      if (std::find(ring.begin(), ring.end(), p) == ring.end()) ++nBadLocks;
      if (i % 2) iidc_unlockdata(h);
    }
    iidc_unlockdata(h);
  });
  // One waiter, so the camera's error slot has a single writer.
  std::thread waiter([&] {
    for (int i = 0; i < ROUNDS / 4; ++i) {
      const iidc_waitinfo wait{i % 2 ? uint32_t{IIDC_WAIT_FRAME} : uint32_t{IIDC_WAIT_RING}, 1000};
      const iidc_event hEvent = iidc_wait(h, &wait, 0);
      if (hEvent != nullptr && hEvent != hEvents[i % 2]) ++nBadWaits;
    }
    bWaiterDone = true;
  });
  std::thread aborter([&] {
    for (int i = 0; !bWaiterDone; ++i) {
      EXPECT_TRUE(iidc_waitabort(h, hEvents[i % 2]));
      std::this_thread::yield();
    }
  });
  locker.join();
  waiter.join();
  aborter.join();
  EXPECT_EQ(nBadLocks, 0);
  EXPECT_EQ(nBadWaits, 0);
  // The threads can finish before the streaming thread first runs on a busy
  // machine; frames still come once the lock is free.
  while (camera.m_pCallback->FramesStored() == 0) {
    ASSERT_EQ(WaitForSingleObject(hEvents[1], DEADLINE_MS), WAIT_OBJECT_0) << "frames stopped";
  }
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(iidc_idle(h));
    ASSERT_TRUE(iidc_capture(h, i % 2));
  }
  ASSERT_TRUE(iidc_idle(h));
}

}  // namespace
