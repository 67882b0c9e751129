// Stream figures on a camera of fakes: frame bytes, frames delivered and the
// isochronous channel, speed and packet size.
#include <gtest/gtest.h>

#include <cstring>

#include "capture/sample_grabber_cb.h"
#include "registers/offsets.h"
#include "tests/format/fake_camera.h"

using namespace iidc_reg;

namespace {

constexpr uint32_t BLOCK1 = 0x1400;

class TransferTest : public FakeCameraTest
{
protected:
    void SetUp() override
    {
        FakeCameraTest::SetUp();
        m_pGrabber = new CFakeGrabber;
        m_pCamera->m_pGrabber.Attach(m_pGrabber);
        m_pGrabber->NonDelegatingAddRef();
        m_pCounters = new CFakeCounters;
        m_pCounters->NonDelegatingAddRef();
        m_pCamera->m_nState = IIDC_STATE_CAPTURING;
    }
    void TearDown() override
    {
        if (m_pCallback) {
            m_pCamera->m_pCallback = nullptr;
            m_pCallback->Release();
        }
        m_pCounters->NonDelegatingRelease();
        FakeCameraTest::TearDown();
    }
    void UseDroppedFrameCounter() { m_pCamera->m_pDroppedFrames = ComPtr<IAMDroppedFrames>(m_pCounters); }
    void UseFramesDrawnCounter() { m_pCamera->m_pQualProp = ComPtr<IQualProp>(m_pCounters); }
    // A camera capturing in a standard mode on an ISO_CHANNEL register value.
    uint32_t Iso(uint32_t format, uint32_t mode, uint32_t rate, uint32_t isoChannel)
    {
        SetRegister(CUR_V_FORMAT, format << 29);
        SetRegister(CUR_V_MODE, mode << 29);
        SetRegister(CUR_V_FRM_RATE, rate << 29);
        SetRegister(ISO_CHANNEL, isoChannel);
        iidc1394_isotransmissioninfo info{0xAA, 0xBB, 0xCCDD};
        EXPECT_EQ(iidc1394_currentisotransmissioninfo(Handle(), &info), 4);
        uint32_t value = 0;
        std::memcpy(&value, &info, sizeof value);
        return value;
    }

    CFakeGrabber* m_pGrabber = nullptr;     // owned by the camera
    CFakeCounters* m_pCounters = nullptr;   // one reference of the test's
    CSampleGrabberCB* m_pCallback = nullptr;
};

TEST_F(TransferTest, FrameBytesAreWhatTheGraphNegotiated)
{
    m_pGrabber->m_lSampleSize = 307200;
    m_pCamera->m_nState = IIDC_STATE_PREPARED;
    EXPECT_EQ(iidc_currentdataframebytes(Handle()), 307200);
    m_pGrabber->m_hr = E_FAIL;
    EXPECT_EQ(iidc_currentdataframebytes(Handle()), 0);
    EXPECT_EQ(CameraCode(), IIDC_ERR_FAIL);
    m_pCamera->m_nState = IIDC_STATE_OPENED;
    EXPECT_EQ(iidc_currentdataframebytes(Handle()), 0);
    EXPECT_EQ(CameraCode(), IIDC_ERR_FORMAT_UNAVAILABLE);
}

TEST_F(TransferTest, LastBufferIsTheCallbacksRingPosition)
{
    BYTE frames[3][4] = {};
    BYTE* ring[] = {frames[0], frames[1], frames[2], nullptr};
    m_pCamera->m_ppFrames = ring;
    m_pCamera->m_cbFrame = 4;
    m_pCallback = new CSampleGrabberCB(*m_pCamera);
    m_pCallback->AddRef();
    m_pCamera->m_pCallback = m_pCallback;
    BYTE sample[4] = {1, 2, 3, 4};
    for (int i = 0; i < 10; ++i)
        m_pCallback->BufferCB(0.0, sample, sizeof sample);
    UseDroppedFrameCounter();
    m_pCounters->m_nCount = 10;
    iidc_transferinfo info{};
    EXPECT_EQ(iidc_gettransferinfo(Handle(), &info, sizeof info), 1);
    EXPECT_EQ(info.framecount, 10);
    EXPECT_EQ(info.lastbuffer, 1);   // frames went to buffers 1, 2, 0, 1, ...
    m_pCamera->m_ppFrames = nullptr;
}

// Frames delivered since the start, from the dropped-frame counter, or the
// renderer's frames drawn in window display. Without a callback object the
// buffer field is left as it was; without a readable counter nothing is.
TEST_F(TransferTest, FrameCountComesFromTheCounterInUse)
{
    iidc_transferinfo info{-7, -7};
    EXPECT_EQ(iidc_gettransferinfo(Handle(), &info, sizeof info), 0);
    EXPECT_EQ(info.framecount, -7);
    EXPECT_EQ(GlobalCode(), 0u);

    UseFramesDrawnCounter();
    m_pCounters->m_nCount = 42;
    EXPECT_EQ(iidc_gettransferinfo(Handle(), &info, sizeof info), 1);
    EXPECT_EQ(info.framecount, 42);

    m_pCamera->m_pQualProp.Reset();
    UseDroppedFrameCounter();
    m_pCamera->m_nFramesAtStart = 5;
    m_pCounters->m_nCount = 15;
    EXPECT_EQ(iidc_gettransferinfo(Handle(), &info, sizeof info), 1);
    EXPECT_EQ(info.framecount, 10);
    EXPECT_EQ(info.lastbuffer, -7);

    m_pCounters->m_hr = E_FAIL;
    info.framecount = -7;
    EXPECT_EQ(iidc_gettransferinfo(Handle(), &info, sizeof info), 0);
    EXPECT_EQ(CameraCode(), IIDC_ERR_FAIL);
    EXPECT_EQ(info.framecount, -7);
}

TEST_F(TransferTest, IsoFiguresOfAStandardMode)
{
    EXPECT_EQ(Iso(0, 5, 4, 0x01000000), 0x0140C800u);    // channel 0 at S200, 320 quadlets
    EXPECT_EQ(Iso(0, 5, 4, 0xF0000000), 0x0140640Fu);    // channel 15 at S100
    EXPECT_EQ(Iso(0, 5, 4, 0x32000000) & 0xFFFF, 0x9003u);   // S400 reads 0x90
    EXPECT_EQ(Iso(0, 5, 4, 0x03000000) & 0xFF00, 0xFF00u);   // code 3 reads 255
    EXPECT_EQ(Iso(0, 0, 0, 0) >> 16, 0xFFFFu);               // no packet size defined
    EXPECT_EQ(Iso(1, 2, 6, 0) >> 16, 0xFFFFu);               // reserved rate code
    EXPECT_EQ(Iso(2, 0, 2, 0) >> 16, 640u);
    EXPECT_EQ(Iso(4, 0, 0, 0x01000000), 0xCCDDC800u);   // reserved format: packet field kept
}

TEST_F(TransferTest, IsoFiguresOfFormat7)
{
    AddFormat7Mode(1, BLOCK1, IIDC_BIT(0));
    SetRegister(BLOCK1 + F7_BYTE_PER_PACKET, (1024u << 16) | 512u);
    EXPECT_EQ(Iso(7, 1, 0, 0) >> 16, 256u);   // quadlets from the bytes per packet
    // Without a readable block the frame size stands in.
    m_pRegisters->m_failing = {BLOCK1 + F7_BYTE_PER_PACKET};
    m_pGrabber->m_lSampleSize = 0x12345;
    EXPECT_EQ(Iso(7, 1, 0, 0) >> 16, 0x2345u);
    EXPECT_EQ(CameraCode(), 0u);
}

TEST_F(TransferTest, IsoFiguresNeedARunningCapture)
{
    iidc1394_isotransmissioninfo info{1, 2, 3};
    m_pCamera->m_nState = IIDC_STATE_READY;
    EXPECT_EQ(iidc1394_currentisotransmissioninfo(Handle(), &info), 0);
    EXPECT_EQ(CameraCode(), IIDC_ERR_NOT_CAPTURING);
    m_pCamera->m_nState = IIDC_STATE_CAPTURING;
    EXPECT_EQ(iidc1394_currentisotransmissioninfo(Handle(), nullptr), 0);
    EXPECT_EQ(CameraCode(), IIDC_ERR_INVALID_PARAMETER);
    for (uint32_t offset : {ISO_CHANNEL, CUR_V_FRM_RATE, CUR_V_MODE, CUR_V_FORMAT}) {
        m_pRegisters->m_failing = {offset};
        ClearCodes();
        EXPECT_EQ(iidc1394_currentisotransmissioninfo(Handle(), &info), 0);
        EXPECT_EQ(CameraCode(), IIDC_ERR_FAIL);
    }
}

} // namespace
