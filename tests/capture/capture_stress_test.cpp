// Continuous capture at full speed while other threads lock, unlock, wait and
// abort. Meant for ThreadSanitizer and AddressSanitizer: the assertions only
// check that every answer is one the interface allows.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "capture_fixture.h"

namespace {

constexpr int ROUNDS = 2000;

class CaptureStress : public ::testing::Test
{
protected:
    void SetUp() override
    {
        vcam::SetActiveCameraSet({SmallCameraProfile(vcam::ClockKind::FreeRun)});
        ASSERT_TRUE(iidc_init());
        m_hCamera = iidc_open(0);
        ASSERT_NE(m_hCamera, nullptr);
    }

    void TearDown() override
    {
        if (m_hCamera)
            iidc_close(m_hCamera);
        iidc_uninit();
        vcam::ResetActiveCameraSet();
    }

    iidc_handle m_hCamera = nullptr;
};

TEST_F(CaptureStress, LocksWaitsAndAbortsWhileFramesPour)
{
    constexpr int32_t BUFFERS = 4;
    ASSERT_TRUE(iidc_preparecapture(m_hCamera));
    ASSERT_EQ(iidc_allocframe(m_hCamera, BUFFERS), BUFFERS);
    ASSERT_TRUE(iidc_capture(m_hCamera, 1));
    const auto& camera = *reinterpret_cast<CCamera*>(m_hCamera);
    const std::vector<unsigned char*> ring(camera.m_ppFrames, camera.m_ppFrames + BUFFERS);
    const HANDLE hFrameEvent = camera.m_hFrameEvent;
    const HANDLE hRingEvent = camera.m_hRingEvent;

    std::atomic<int> nBadLocks{0};
    std::atomic<int> nBadWaits{0};
    std::atomic<bool> bWaiterDone{false};

    std::thread locker([&] {
        for (int i = 0; i < ROUNDS; ++i) {
            const int32_t index = i % 3 == 0 ? -1 : i % BUFFERS;
            unsigned char* p = iidc_lockdata(m_hCamera, index);
            if (std::find(ring.begin(), ring.end(), p) == ring.end())
                ++nBadLocks;
            if (i % 2)
                iidc_unlockdata(m_hCamera);
        }
        iidc_unlockdata(m_hCamera);
    });
    // One waiter, so the camera's error slot has a single writer.
    std::thread waiter([&] {
        for (int i = 0; i < ROUNDS / 4; ++i) {
            const iidc_waitinfo wait{i % 2 ? uint32_t{IIDC_WAIT_FRAME} : uint32_t{IIDC_WAIT_RING}, 1000};
            const iidc_event hEvent = iidc_wait(m_hCamera, &wait, 0);
            if (hEvent != nullptr && hEvent != (i % 2 ? hFrameEvent : hRingEvent))
                ++nBadWaits;
        }
        bWaiterDone = true;
    });
    std::thread aborter([&] {
        for (int i = 0; !bWaiterDone; ++i) {
            EXPECT_TRUE(iidc_waitabort(m_hCamera, i % 2 ? hFrameEvent : hRingEvent));
            std::this_thread::yield();
        }
    });
    locker.join();
    waiter.join();
    aborter.join();

    EXPECT_EQ(nBadLocks, 0);
    EXPECT_EQ(nBadWaits, 0);
    // The three threads can finish before the streaming thread first runs on
    // a busy machine; frames still come once the lock is free.
    while (camera.m_pCallback->FramesStored() == 0)
        ASSERT_EQ(WaitForSingleObject(hFrameEvent, 10000), WAIT_OBJECT_0) << "frames stopped";
    ASSERT_TRUE(iidc_idle(m_hCamera));
    EXPECT_TRUE(iidc_freeframe(m_hCamera));
}

TEST_F(CaptureStress, CaptureStartsAndStopsOverAndOver)
{
    ASSERT_TRUE(iidc_preparecapture(m_hCamera));
    ASSERT_EQ(iidc_allocframe(m_hCamera, 2), 2);
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(iidc_capture(m_hCamera, 1));
        iidc_lockdata(m_hCamera, -1);
        ASSERT_TRUE(iidc_idle(m_hCamera));
        ASSERT_TRUE(iidc_capture(m_hCamera, 0));
    }
    ASSERT_TRUE(iidc_idle(m_hCamera));
}

} // namespace
