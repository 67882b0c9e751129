// Capture on a virtual camera whose frames come one step at a time: where
// frames land, single frames, locks, waits and their aborts, and the life of
// the callback object.
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "capture_fixture.h"

namespace {

TEST_F(CaptureTest, ContinuousCaptureFillsTheRingInTurn)
{
    MakeReady(3);
    ASSERT_TRUE(iidc_capture(m_hCamera, 1));
    std::vector<LONG> landed;
    for (int i = 0; i < 7; ++i) {
        Deliver(1);
        landed.push_back(Camera().m_pCallback->CurrentIndex());
    }
    EXPECT_EQ(landed, (std::vector<LONG>{1, 2, 0, 1, 2, 0, 1}));
    // Each buffer holds the newest of its frames: the 6th, 7th and 5th.
    const uint32_t nFirst = SequenceIn(1) - 6;
    EXPECT_EQ(SequenceIn(0), nFirst + 5);
    EXPECT_EQ(SequenceIn(2), nFirst + 4);
    ASSERT_TRUE(iidc_idle(m_hCamera));
}

TEST_F(CaptureTest, SingleFrameWaitsForItsOwnCompletion)
{
    MakeReady(3);
    m_pClock->Step(1);
    ASSERT_TRUE(iidc_capture(m_hCamera, 0));
    // Every run numbers its frames from 0, so a marker shows the new frame.
    std::memset(Camera().m_ppFrames[1], 0xA5, sizeof(uint32_t));
    // The completion of the first run must not end the second.
    SetSingleFrameTimeout(50);
    EXPECT_FALSE(iidc_capture(m_hCamera, 0));
    EXPECT_EQ(CameraSlot(), IIDC_ERR_NO_FRAMES);
    SetSingleFrameTimeout(SINGLE_FRAME_TIMEOUT_MS);
    m_pClock->Step(1);
    ASSERT_TRUE(iidc_capture(m_hCamera, 0));
    // A fresh callback object enters the ring at the start again.
    EXPECT_EQ(Camera().m_pCallback->CurrentIndex(), 1);
    EXPECT_EQ(SequenceIn(1), 0u);
}

TEST_F(CaptureTest, CaptureRefusesARingThatProducedNoBuffer)
{
    ASSERT_TRUE(iidc_preparecapture(m_hCamera));
    EXPECT_EQ(iidc_allocframe(m_hCamera, 0), 0);
    EXPECT_EQ(iidc_getstatus(m_hCamera), IIDC_STATE_PREPARED);
    unsigned char* const noBuffers[2] = {nullptr, nullptr};
    EXPECT_EQ(iidc_attachbuffer(m_hCamera, noBuffers, sizeof noBuffers), 0);
    EXPECT_EQ(iidc_getstatus(m_hCamera), IIDC_STATE_PREPARED);
    EXPECT_FALSE(iidc_capture(m_hCamera, 1));
    EXPECT_EQ(CameraSlot(), IIDC_ERR_NO_FRAMES);
}

TEST_F(CaptureTest, LockReplacesTheEarlierLockAndRefusesIndexesPastTheRing)
{
    MakeReady(3);
    ASSERT_TRUE(iidc_capture(m_hCamera, 1));
    EXPECT_EQ(iidc_lockdata(m_hCamera, 0), Camera().m_ppFrames[0]);
    EXPECT_EQ(iidc_lockdata(m_hCamera, 2), Camera().m_ppFrames[2]);
    EXPECT_EQ(Camera().m_pCallback->LockMask(), 1u << 2);
    MarkSlots();
    EXPECT_EQ(iidc_lockdata(m_hCamera, 3), nullptr);
    EXPECT_EQ(CameraSlot(), IIDC_ERR_NOT_SUPPORTED);   // nothing recorded
    EXPECT_EQ(Camera().m_pCallback->LockMask(), 1u << 2);
    ASSERT_TRUE(iidc_idle(m_hCamera));
    iidc_unlockdata(m_hCamera);   // no callback object: nothing to do
    EXPECT_EQ(CameraSlot(), IIDC_ERR_NOT_SUPPORTED);
    // The placeholders deliver nothing; only iidc_getbits says so.
    EXPECT_EQ(iidc_getbitslutrange(m_hCamera, 1, 2), 0u);
    EXPECT_EQ(iidc_setbitslutrange(nullptr, 1, 2), 0u);
    EXPECT_EQ(GlobalSlot(), IIDC_ERR_NOT_SUPPORTED);
}

TEST_F(CaptureTest, LockWithoutCaptureNamesTheBufferFilledLast)
{
    MakeReady(3);
    // Before any capture the newest frame is taken to be in buffer 0.
    EXPECT_EQ(iidc_lockdata(m_hCamera, -1), Camera().m_ppFrames[0]);
    EXPECT_EQ(iidc_lockdata(m_hCamera, 2), Camera().m_ppFrames[2]);
    ASSERT_TRUE(iidc_capture(m_hCamera, 1));
    Deliver(2);
    ASSERT_TRUE(iidc_idle(m_hCamera));
    EXPECT_EQ(Camera().m_pCallback, nullptr);
    EXPECT_EQ(iidc_lockdata(m_hCamera, -1), Camera().m_ppFrames[2]);
    // Without a ring there is nothing to lock.
    ASSERT_TRUE(iidc_freeframe(m_hCamera));
    EXPECT_EQ(iidc_lockdata(m_hCamera, -1), nullptr);
    EXPECT_EQ(CameraSlot(), IIDC_ERR_NO_FRAMES);
}

TEST_F(CaptureTest, RingWaitEndsOncePerTurn)
{
    MakeReady(3);
    ASSERT_TRUE(iidc_capture(m_hCamera, 1));
    Deliver(2);   // buffers 1 and 2: no turn yet
    EXPECT_EQ(WaitForSingleObject(Camera().m_hRingEvent, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    Deliver(1);   // buffer 0
    const iidc_waitinfo ring{IIDC_WAIT_RING, IIDC_WAIT_INFINITE};
    EXPECT_EQ(iidc_wait(m_hCamera, &ring, 0), Camera().m_hRingEvent);
    // One turn ends one wait.
    EXPECT_EQ(WaitForSingleObject(Camera().m_hRingEvent, 0), static_cast<DWORD>(WAIT_TIMEOUT));
    Deliver(3);
    EXPECT_EQ(iidc_wait(m_hCamera, &ring, 0), Camera().m_hRingEvent);
    ASSERT_TRUE(iidc_idle(m_hCamera));
}

TEST_F(CaptureTest, FrameWaitOnAnotherThreadEndsWithTheNextFrame)
{
    MakeReady(3);
    ASSERT_TRUE(iidc_capture(m_hCamera, 1));
    std::atomic<bool> bDone{false};
    HANDLE hResult = nullptr;
    std::thread waiter([&] {
        const iidc_waitinfo frame{IIDC_WAIT_FRAME, IIDC_WAIT_INFINITE};
        hResult = iidc_wait(m_hCamera, &frame, 0);
        bDone = true;
    });
    // A frame that comes before the wait has begun does not end it.
    StepUntil(bDone);
    waiter.join();
    EXPECT_EQ(hResult, Camera().m_hFrameEvent);
    ASSERT_TRUE(iidc_idle(m_hCamera));
}

TEST_F(CaptureTest, AbortOfAFrameWaitEndsItAtTheLatestWithTheNextFrame)
{
    MakeReady(3);
    ASSERT_TRUE(iidc_capture(m_hCamera, 1));
    std::atomic<bool> bDone{false};
    HANDLE hResult = Camera().m_hFrameEvent;
    std::thread waiter([&] {
        const iidc_waitinfo frame{IIDC_WAIT_FRAME, IIDC_WAIT_INFINITE};
        hResult = iidc_wait(m_hCamera, &frame, 0);
        bDone = true;
    });
    EXPECT_TRUE(iidc_waitabort(m_hCamera, Camera().m_hFrameEvent));
    // Should the abort's signal come before the wait resets the event, a
    // later frame ends the wait; the abort flag still says how it ended.
    StepUntil(bDone);
    waiter.join();
    EXPECT_EQ(hResult, nullptr);
    EXPECT_EQ(CameraSlot(), IIDC_ERR_WAIT_ABORTED);
    ASSERT_TRUE(iidc_idle(m_hCamera));
}

TEST_F(CaptureTest, CallbackObjectLivesFromCaptureToIdle)
{
    MakeReady(2);
    const long nBefore = emul::LiveComObjects();
    ASSERT_TRUE(iidc_capture(m_hCamera, 1));
    EXPECT_EQ(emul::LiveComObjects(), nBefore + 1);
    ASSERT_TRUE(iidc_idle(m_hCamera));
    EXPECT_EQ(emul::LiveComObjects(), nBefore);
    // A replacing capture lets the earlier object go.
    m_pClock->Step(2);
    ASSERT_TRUE(iidc_capture(m_hCamera, 0));
    ASSERT_TRUE(iidc_capture(m_hCamera, 0));
    EXPECT_EQ(emul::LiveComObjects(), nBefore + 1);
    // Clearing the graph drops the grabber, but the camera still holds the
    // object, which stays readable until idle forgets it.
    ASSERT_TRUE(iidc_clearcapture(m_hCamera));
    EXPECT_EQ(Camera().m_pCallback->CurrentIndex(), 1);
    ASSERT_TRUE(iidc_idle(m_hCamera));
    EXPECT_EQ(Camera().m_pCallback, nullptr);
}

} // namespace
