// A started library with one virtual camera whose frames come only when a
// test releases them (a stepped clock), opened and ready to capture.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>

#include "capture/capture_control.h"
#include "capture/sample_grabber_cb.h"
#include "core/camera.h"
#include "emul/fault.h"
#include "iidc.h"
#include "vcam/model/camera_set.h"
#include "vcam/model/clock.h"
#include "vcam/model/profile.h"

// 160 x 120 YUV 4:4:4 (Format 0 mode 0) at 30 frames per second.
constexpr LONG TEST_FRAME_BYTES = 160 * 120 * 3;

inline vcam::Profile SmallCameraProfile(vcam::ClockKind clock)
{
    vcam::Profile profile;
    profile.strFriendlyName = "Ring Test Camera";
    profile.strVendor = "Test Vendor";
    profile.strModel = "Ring Test";
    profile.ullUniqueId = 0x00A0B0C0D0E0F001ull;
    profile.standardModes = {{0, 0, 0x08000000u}};
    profile.nInitialFormat = 0;
    profile.nInitialMode = 0;
    profile.nInitialRate = 4;
    profile.clock = clock;
    profile.pFaults = std::make_shared<vcam::CameraFaults>();
    return profile;
}

class CaptureTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        emul::ResetFaults();
        vcam::Profile profile = SmallCameraProfile(vcam::ClockKind::Stepped);
        m_pClock = std::make_shared<vcam::CSteppedClock>();
        profile.pClock = m_pClock;
        m_pFaults = profile.pFaults;
        vcam::SetActiveCameraSet({profile});
        ASSERT_TRUE(iidc_init());
        m_nLiveAtStart = emul::LiveComObjects();
        m_hCamera = iidc_open(0);
        ASSERT_NE(m_hCamera, nullptr);
    }

    void TearDown() override
    {
        SetSingleFrameTimeout(SINGLE_FRAME_TIMEOUT_MS);
        emul::ResetFaults();
        if (m_hCamera)
            iidc_close(m_hCamera);
        // Everything the camera made, the callback object included, is gone.
        EXPECT_EQ(emul::LiveComObjects(), m_nLiveAtStart);
        iidc_uninit();
        vcam::ResetActiveCameraSet();
    }

    CCamera& Camera() const { return *reinterpret_cast<CCamera*>(m_hCamera); }

    // To state 2 with a library ring of nBuffers.
    void MakeReady(int32_t nBuffers)
    {
        ASSERT_TRUE(iidc_preparecapture(m_hCamera));
        ASSERT_EQ(iidc_allocframe(m_hCamera, nBuffers), nBuffers);
    }

    // Frames stored by the capture's callback object so far.
    LONG Stored() const { return Camera().m_pCallback ? Camera().m_pCallback->FramesStored() : 0; }

    // Releases n frames and waits (bounded) until the ring holds them. The
    // frame event is signalled after every stored frame, so each turn either
    // sees the target or sleeps until the next frame.
    void Deliver(LONG n)
    {
        const LONG nTarget = Stored() + n;
        m_pClock->Step(static_cast<std::uint64_t>(n));
        while (Stored() < nTarget)
            ASSERT_EQ(WaitForSingleObject(Camera().m_hFrameEvent, 10000), WAIT_OBJECT_0) << "frames stopped";
    }

    // Releases frames one at a time until another thread says it is done.
    void StepUntil(const std::atomic<bool>& bDone)
    {
        for (std::uint64_t nTaken = m_pClock->FramesTaken() + 1; !bDone; ++nTaken) {
            m_pClock->Step(1);
            ASSERT_TRUE(m_pClock->WaitForTaken(nTaken, std::chrono::seconds(10))) << "frames stopped";
        }
    }

    // The sequence number a buffer's frame carries (its first four bytes).
    uint32_t SequenceIn(int32_t index) const
    {
        uint32_t nSequence = 0;
        std::memcpy(&nSequence, Camera().m_ppFrames[index], sizeof nSequence);
        return nSequence;
    }

    uint32_t CameraSlot() const { return iidc_getlasterror(0); }
    uint32_t GlobalSlot() const { return iidc_getlasterror(-1); }

    // Puts a known code in both slots, so a call that records nothing shows.
    void MarkSlots() const { iidc_getbits(m_hCamera); }

    iidc_handle m_hCamera = nullptr;
    std::shared_ptr<vcam::CSteppedClock> m_pClock;
    std::shared_ptr<vcam::CameraFaults> m_pFaults;
    long m_nLiveAtStart = 0;
};
