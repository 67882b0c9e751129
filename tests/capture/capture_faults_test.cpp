// Platform failures met by the ring, the capture graph and capture control.
#include <string>
#include <vector>

#include "capture_fixture.h"

namespace {

struct Fault {
    const char* pOperation;
    int nCall;   // which call of the operation fails
};

std::string Describe(const Fault& fault)
{
    return std::string(fault.pOperation) + " call " + std::to_string(fault.nCall);
}

TEST_F(CaptureTest, EveryFailingStepOfThePreparationFailsIt)
{
    const std::vector<Fault> faults = {
        {"CoCreateInstance", 1},               // the Sample Grabber
        {"ISampleGrabber::SetMediaType", 1},
        {"IGraphBuilder::AddFilter", 1},       // the grabber
        {"ICaptureGraphBuilder2::FindPin", 1}, // capture output
        {"ICaptureGraphBuilder2::FindPin", 2}, // grabber input
        {"IGraphBuilder::Connect", 1},
        {"ICaptureGraphBuilder2::FindPin", 3}, // grabber output
        {"CoCreateInstance", 2},               // the Null Renderer
        {"IGraphBuilder::AddFilter", 2},       // the renderer
        {"ICaptureGraphBuilder2::FindPin", 4}, // renderer input
        {"IGraphBuilder::Connect", 2},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(Describe(fault));
        ASSERT_TRUE(iidc_clearcapture(m_hCamera));
        emul::ResetFaults();
        emul::FailOperation(fault.pOperation, E_FAIL, fault.nCall);
        EXPECT_FALSE(iidc_preparecapture(m_hCamera));
        EXPECT_EQ(CameraSlot(), IIDC_ERR_FAIL);
        EXPECT_EQ(iidc_getstatus(m_hCamera), IIDC_STATE_OPENED);
    }
    // After a clear the same camera prepares again.
    emul::ResetFaults();
    ASSERT_TRUE(iidc_clearcapture(m_hCamera));
    EXPECT_TRUE(iidc_preparecapture(m_hCamera));
}

TEST_F(CaptureTest, PreparationWithoutDroppedFrameCounterRecordsNothing)
{
    m_pFaults->bNoDroppedFrames = true;
    MarkSlots();
    EXPECT_FALSE(iidc_preparecapture(m_hCamera));
    EXPECT_EQ(CameraSlot(), IIDC_ERR_NOT_SUPPORTED);
    EXPECT_EQ(iidc_getstatus(m_hCamera), IIDC_STATE_OPENED);
    // The capture pin is connected by now: only a clear makes way again.
    m_pFaults->bNoDroppedFrames = false;
    EXPECT_FALSE(iidc_preparecapture(m_hCamera));
    EXPECT_EQ(CameraSlot(), IIDC_ERR_FAIL);
    ASSERT_TRUE(iidc_clearcapture(m_hCamera));
    EXPECT_TRUE(iidc_preparecapture(m_hCamera));
}

TEST_F(CaptureTest, EveryFailingStepOfTheStartFailsIt)
{
    MakeReady(2);
    for (const char* pOperation : {"ISampleGrabber::SetOneShot", "ISampleGrabber::SetBufferSamples",
                                   "ISampleGrabber::SetCallback", "IMediaControl::Run"}) {
        SCOPED_TRACE(pOperation);
        emul::ResetFaults();
        emul::FailOperation(pOperation, E_FAIL, 1);
        EXPECT_FALSE(iidc_capture(m_hCamera, 1));
        EXPECT_EQ(CameraSlot(), IIDC_ERR_FAIL);
        EXPECT_EQ(iidc_getstatus(m_hCamera), IIDC_STATE_READY);
    }
    emul::ResetFaults();
    emul::FailInterface(IID_IMediaEvent);
    EXPECT_FALSE(iidc_capture(m_hCamera, 1));
    EXPECT_EQ(CameraSlot(), IIDC_ERR_FAIL);
    EXPECT_EQ(iidc_getstatus(m_hCamera), IIDC_STATE_READY);
    emul::ResetFaults();
    // The starting figure of the frame counter is not essential.
    emul::FailOperation("IAMDroppedFrames::GetNumNotDropped", E_FAIL, 1);
    EXPECT_TRUE(iidc_capture(m_hCamera, 1));
    EXPECT_TRUE(iidc_idle(m_hCamera));
}

TEST_F(CaptureTest, NoMediaControlMeansNoFrames)
{
    MakeReady(2);
    Camera().m_pMediaControl.Reset();
    EXPECT_FALSE(iidc_capture(m_hCamera, 1));
    EXPECT_EQ(CameraSlot(), IIDC_ERR_NO_FRAMES);
}

TEST_F(CaptureTest, FailedCompletionWaitDropsTheCallbackObject)
{
    MakeReady(2);
    m_pClock->Step(1);
    emul::FailOperation("IMediaEvent::WaitForCompletion", E_FAIL, 1);
    EXPECT_FALSE(iidc_capture(m_hCamera, 0));
    EXPECT_EQ(CameraSlot(), IIDC_ERR_FAIL);
    EXPECT_EQ(Camera().m_pCallback, nullptr);
    EXPECT_EQ(iidc_getstatus(m_hCamera), IIDC_STATE_READY);
}

TEST_F(CaptureTest, IdleThatCannotStopTheGraphKeepsCapturing)
{
    MakeReady(2);
    ASSERT_TRUE(iidc_capture(m_hCamera, 1));
    emul::FailOperation("IMediaControl::Stop", E_FAIL, 1);
    EXPECT_FALSE(iidc_idle(m_hCamera));
    EXPECT_EQ(CameraSlot(), IIDC_ERR_FAIL);
    EXPECT_EQ(iidc_getstatus(m_hCamera), IIDC_STATE_CAPTURING);
    EXPECT_TRUE(iidc_idle(m_hCamera));
}

TEST_F(CaptureTest, RingGetsTheBuffersThatCouldBeMade)
{
    ASSERT_TRUE(iidc_preparecapture(m_hCamera));
    emul::FailOperation("VirtualAlloc", E_OUTOFMEMORY, 3);
    MarkSlots();
    EXPECT_EQ(iidc_allocframe(m_hCamera, 4), 2);
    EXPECT_EQ(CameraSlot(), IIDC_ERR_NOT_SUPPORTED);
    EXPECT_EQ(iidc_getframecount(m_hCamera), 2u);
    EXPECT_EQ(Camera().m_ppFrames[2], nullptr);
    EXPECT_EQ(iidc_getstatus(m_hCamera), IIDC_STATE_READY);
    ASSERT_TRUE(iidc_freeframe(m_hCamera));

    emul::ResetFaults();
    emul::FailOperation("VirtualAlloc", E_OUTOFMEMORY, 1);
    EXPECT_EQ(iidc_allocframe(m_hCamera, 4), 0);
    EXPECT_EQ(iidc_getframecount(m_hCamera), 0u);
    EXPECT_EQ(iidc_getstatus(m_hCamera), IIDC_STATE_PREPARED);
}

TEST_F(CaptureTest, RingOperationsThatCannotReadTheFrameFormatFail)
{
    ASSERT_TRUE(iidc_preparecapture(m_hCamera));
    emul::FailOperation("ISampleGrabber::GetConnectedMediaType", E_FAIL);
    EXPECT_EQ(iidc_allocframe(m_hCamera, 2), 0);
    EXPECT_EQ(CameraSlot(), IIDC_ERR_FAIL);
    EXPECT_EQ(iidc_getframecount(m_hCamera), 0u);

    // An attachment keeps its list but stays prepared.
    std::vector<unsigned char> frames(2 * static_cast<size_t>(TEST_FRAME_BYTES));
    unsigned char* const buffers[2] = {frames.data(), frames.data() + TEST_FRAME_BYTES};
    EXPECT_EQ(iidc_attachbuffer(m_hCamera, buffers, sizeof buffers), 0);
    EXPECT_EQ(iidc_getstatus(m_hCamera), IIDC_STATE_PREPARED);
    EXPECT_EQ(iidc_getframecount(m_hCamera), 2u);

    emul::ResetFaults();
    ASSERT_EQ(iidc_allocframe(m_hCamera, 2), 2);
    emul::FailOperation("ISampleGrabber::GetConnectedMediaType", E_FAIL);
    EXPECT_FALSE(iidc_freeframe(m_hCamera));
    EXPECT_EQ(iidc_getframecount(m_hCamera), 2u);
    EXPECT_EQ(iidc_getstatus(m_hCamera), IIDC_STATE_READY);

    // A release that fails at the end leaves state 2 without a ring, which
    // capture refuses.
    EXPECT_FALSE(iidc_releasebuffer(m_hCamera));
    EXPECT_EQ(iidc_getframecount(m_hCamera), 0u);
    EXPECT_EQ(iidc_getstatus(m_hCamera), IIDC_STATE_READY);
    emul::ResetFaults();
    EXPECT_FALSE(iidc_capture(m_hCamera, 1));
    EXPECT_EQ(CameraSlot(), IIDC_ERR_NO_FRAMES);
}

TEST_F(CaptureTest, ReleaseThatCannotSettleTheGraphKeepsTheRing)
{
    MakeReady(2);
    emul::FailOperation("IMediaControl::GetState", E_FAIL, 1);
    EXPECT_FALSE(iidc_releasebuffer(m_hCamera));
    EXPECT_EQ(CameraSlot(), IIDC_ERR_FAIL);
    EXPECT_EQ(iidc_getframecount(m_hCamera), 2u);
    EXPECT_TRUE(iidc_releasebuffer(m_hCamera));
    EXPECT_EQ(iidc_getstatus(m_hCamera), IIDC_STATE_PREPARED);
}

TEST_F(CaptureTest, FreeThatCannotGiveABufferBackStillTakesTheRingAway)
{
    MakeReady(3);
    emul::FailOperation("VirtualFree", E_FAIL, 2);
    EXPECT_FALSE(iidc_freeframe(m_hCamera));
    EXPECT_EQ(iidc_getframecount(m_hCamera), 0u);
    EXPECT_EQ(iidc_getstatus(m_hCamera), IIDC_STATE_PREPARED);
}

TEST_F(CaptureTest, AttachTakesWholePointersUpToTheFirstNull)
{
    std::vector<unsigned char> frames(3 * static_cast<size_t>(TEST_FRAME_BYTES));
    unsigned char* const buffers[4] = {frames.data(), frames.data() + TEST_FRAME_BYTES, nullptr,
                                       frames.data() + 2 * TEST_FRAME_BYTES};
    ASSERT_TRUE(iidc_preparecapture(m_hCamera));
    // A size that is not a whole number of pointers counts the whole ones.
    EXPECT_EQ(iidc_attachbuffer(m_hCamera, buffers, 4 * sizeof(buffers[0]) + 2), 4);
    EXPECT_EQ(iidc_getframecount(m_hCamera), 2u);
    ASSERT_TRUE(iidc_releasebuffer(m_hCamera));
    EXPECT_EQ(iidc_attachbuffer(m_hCamera, buffers, 2 * sizeof(buffers[0])), 2);
    EXPECT_EQ(Camera().m_ppFrames[2], nullptr);
    ASSERT_TRUE(iidc_releasebuffer(m_hCamera));
    EXPECT_EQ(iidc_getframecount(m_hCamera), 0u);
    EXPECT_EQ(iidc_attachbuffer(m_hCamera, buffers, 3), 0);
    EXPECT_EQ(iidc_getstatus(m_hCamera), IIDC_STATE_PREPARED);
}

} // namespace
