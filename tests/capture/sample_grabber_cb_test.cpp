// The callback object on its own: the ring rule, locks, events, cut samples,
// and its COM reference counting. Frames are fed straight into BufferCB.
#include <gtest/gtest.h>

#include <vector>

#include "capture/ring.h"
#include "capture/sample_grabber_cb.h"
#include "core/camera.h"
#include "emul/fault.h"

namespace {

constexpr LONG FRAME_BYTES = 64;

// A camera with a ring of caller-owned buffers and its two events, as the
// capture graph would hand it to a fresh callback object.
class RingFixture : public ::testing::Test
{
protected:
    void MakeRing(int nBuffers)
    {
        m_storage.assign(static_cast<size_t>(nBuffers), std::vector<BYTE>(FRAME_BYTES + 16, 0xEE));
        m_list.clear();
        for (auto& buffer : m_storage)
            m_list.push_back(buffer.data());
        m_list.push_back(nullptr);
        m_camera.m_ppFrames = m_list.data();
        m_camera.m_cbFrame = FRAME_BYTES;
    }

    void SetUp() override
    {
        m_camera.m_hFrameEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        m_camera.m_hRingEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    }

    void TearDown() override { m_camera.m_ppFrames = nullptr; }

    // A fresh object with the library's reference, as capture creates it.
    CSampleGrabberCB* NewCallback()
    {
        auto* pCallback = new CSampleGrabberCB(m_camera);
        pCallback->AddRef();
        return pCallback;
    }

    // Delivers frame number n (every byte n) and returns the buffer it landed in.
    static LONG Deliver(CSampleGrabberCB* pCallback, BYTE n, LONG cb = FRAME_BYTES)
    {
        std::vector<BYTE> sample(static_cast<size_t>(cb > 0 ? cb : 1), n);
        EXPECT_EQ(pCallback->BufferCB(0.0, sample.data(), cb), S_OK);
        return pCallback->CurrentIndex();
    }

    static bool Signalled(HANDLE hEvent) { return WaitForSingleObject(hEvent, 0) == WAIT_OBJECT_0; }

    CCamera m_camera;
    std::vector<std::vector<BYTE>> m_storage;
    std::vector<BYTE*> m_list;
};

TEST_F(RingFixture, FortyBuffersShareLockBitsThirtyTwoApart)
{
    MakeRing(40);
    CSampleGrabberCB* pCallback = NewCallback();
    pCallback->SetLockMask(RingLockBit(3));
    std::vector<bool> filled(40, false);
    for (int n = 0; n < 80; ++n)
        filled[static_cast<size_t>(Deliver(pCallback, static_cast<BYTE>(n)))] = true;
    EXPECT_FALSE(filled[3]);
    EXPECT_FALSE(filled[35]);
    EXPECT_TRUE(filled[4]);
    EXPECT_TRUE(filled[36]);
    EXPECT_TRUE(filled[0]);
    pCallback->Release();
}

TEST_F(RingFixture, FrameThatNoBufferMayTakeIsDropped)
{
    MakeRing(1);
    CSampleGrabberCB* pCallback = NewCallback();
    Deliver(pCallback, 1);
    EXPECT_TRUE(Signalled(m_camera.m_hFrameEvent));
    pCallback->SetLockMask(RingLockBit(0));
    Deliver(pCallback, 2);
    EXPECT_EQ(m_storage[0][0], 1);
    EXPECT_EQ(pCallback->FramesDropped(), 1);
    EXPECT_FALSE(Signalled(m_camera.m_hFrameEvent));   // a dropped frame wakes nobody
    pCallback->Release();

    MakeRing(0);
    pCallback = NewCallback();
    Deliver(pCallback, 1);
    EXPECT_EQ(pCallback->FramesDropped(), 1);
    pCallback->Release();
}

TEST_F(RingFixture, LongSampleIsCutToTheFrameSize)
{
    MakeRing(2);
    CSampleGrabberCB* pCallback = NewCallback();
    Deliver(pCallback, 9, FRAME_BYTES + 16);
    EXPECT_EQ(m_storage[1][FRAME_BYTES - 1], 9);
    EXPECT_EQ(m_storage[1][FRAME_BYTES], 0xEE);
    // A short sample fills what it has; no sample at all is no frame.
    Deliver(pCallback, 4, 8);
    EXPECT_EQ(m_storage[0][7], 4);
    EXPECT_EQ(m_storage[0][8], 0xEE);
    EXPECT_EQ(pCallback->BufferCB(0.0, nullptr, FRAME_BYTES), S_OK);
    EXPECT_EQ(Deliver(pCallback, 5, -1), 0);
    EXPECT_EQ(m_storage[0][0], 4);
    EXPECT_EQ(pCallback->FramesDropped(), 2);
    pCallback->Release();
}

TEST_F(RingFixture, ReferenceCountingAndInterfaces)
{
    MakeRing(1);
    const long nLiveBefore = emul::LiveComObjects();
    auto* pCallback = new CSampleGrabberCB(m_camera);
    EXPECT_EQ(emul::LiveComObjects(), nLiveBefore + 1);

    EXPECT_EQ(pCallback->AddRef(), 1u);
    ISampleGrabberCB* pInterface = nullptr;
    EXPECT_EQ(pCallback->QueryInterface(IID_ISampleGrabberCB, reinterpret_cast<void**>(&pInterface)), S_OK);
    EXPECT_EQ(pInterface, static_cast<ISampleGrabberCB*>(pCallback));
    IUnknown* pUnknown = nullptr;
    EXPECT_EQ(pInterface->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&pUnknown)), S_OK);
    EXPECT_NE(pUnknown, nullptr);
    EXPECT_EQ(pInterface->AddRef(), 4u);
    EXPECT_EQ(pInterface->Release(), 3u);

    void* pOther = reinterpret_cast<void*>(1);
    EXPECT_EQ(pInterface->QueryInterface(IID_IBaseFilter, &pOther), E_NOINTERFACE);
    EXPECT_EQ(pOther, nullptr);
    EXPECT_EQ(pInterface->QueryInterface(IID_ISampleGrabberCB, nullptr), E_POINTER);
    EXPECT_EQ(pInterface->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(pInterface->SampleCB(0.0, nullptr), E_NOTIMPL);

    EXPECT_EQ(pUnknown->Release(), 2u);
    EXPECT_EQ(pInterface->Release(), 1u);
    EXPECT_EQ(emul::LiveComObjects(), nLiveBefore + 1);
    EXPECT_EQ(pCallback->Release(), 0u);
    EXPECT_EQ(emul::LiveComObjects(), nLiveBefore);
}

} // namespace
