// The format model through the public header on virtual cameras: what the
// library reports, and the format, rate and area requests the driver receives
// (checked at the virtual camera).
#include <gtest/gtest.h>

#include <limits>

#include "emul/fault.h"
#include "tests/format/fake_camera.h"
#include "tests/format/vcam_format_fixture.h"

using namespace vcam_format;

namespace {

TEST_F(VcamFormatTest, CatalogueOfACameraWithFormat7)
{
    iidc_handle handle = Open(WITH_FORMAT7);
    EXPECT_EQ(iidc_getformatcount(handle), 4 + 3);
    EXPECT_EQ(List(handle), (std::vector<uint32_t>{0xFF701002, 0xFF703002, 0xFF705000, 0xFF703102, 0xFF700700,
                                                    0xFF700702, 0xFF703705}));
    iidc_formatinfo info{};
    ASSERT_EQ(iidc_getformatinfo(handle, &info, sizeof info, 0xFF700700), 1);
    EXPECT_EQ(info.capabilities, IIDC_FORMATCAPS_SCALABLE);
    EXPECT_EQ(info.color, IIDC_COLOR_YUV422);   // the coding in force, whatever the id says
    EXPECT_EQ(info.width, 1280);
    EXPECT_EQ(info.height, 960);
    EXPECT_EQ(iidc_currentformat(handle), 0xFF603000u);
}

TEST_F(VcamFormatTest, CatalogueOfACameraWithoutFormat7)
{
    iidc_handle handle = Open(WITHOUT_FORMAT7);
    EXPECT_EQ(iidc_getformatcount(handle), 2);
    EXPECT_EQ(List(handle), (std::vector<uint32_t>{0xFF705000, 0xFF702100}));
    EXPECT_EQ(iidc_currentformat(handle), 0xFF605000u);
}

TEST_F(VcamFormatTest, CurrentFormatOfAFormat7Camera)
{
    iidc_handle handle = Open(IN_FORMAT7);
    EXPECT_EQ(iidc_currentformat(handle), 0xFF701700u);
}

TEST_F(VcamFormatTest, SetFormatSendsTheModeAtItsFastestRate)
{
    iidc_handle handle = Open(WITH_FORMAT7);
    ASSERT_EQ(iidc_setformat(handle, 0xFF705000), 1);
    auto request = Log(WITH_FORMAT7).LastFormatRequest();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->subtype, SUBTYPE_RGB8_MONO);
    EXPECT_EQ(request->lSampleSize, 640u * 480);
    EXPECT_EQ(request->shape.llInterval, 333333);
    EXPECT_EQ(request->hrResult, S_OK);
    EXPECT_EQ(iidc_currentformat(handle), 0xFF605000u);
    EXPECT_NEAR(iidc_currentframerate(handle), 30.00003f, 1e-4f);
    EXPECT_EQ(VideoMode(handle), VideoControlFlag_FlipVertical);

    ASSERT_EQ(iidc_setformat(handle, 0xFF703002), 1);
    request = Log(WITH_FORMAT7).LastFormatRequest();
    EXPECT_EQ(request->subtype, Fourcc("UYVY"));
    EXPECT_EQ(request->lSampleSize, 640u * 480 * 2);
    EXPECT_EQ(request->shape.llInterval, 666666);
    EXPECT_EQ(iidc_currentformat(handle), 0xFF603000u);
    EXPECT_EQ(VideoMode(handle), 0);
    EXPECT_EQ(iidc_getstatus(handle), IIDC_STATE_OPENED);
}

TEST_F(VcamFormatTest, ModesWithoutAKnownRateOrCapabilityAreNotSent)
{
    iidc_handle handle = Open(WITH_FORMAT7);
    for (uint32_t id : {0xFF703102u /* 60 fps only */, 0xFF700700u /* Format 7 */, 0xFF700200u /* not offered */}) {
        EXPECT_EQ(iidc_setformat(handle, id), 0) << std::hex << id;
        EXPECT_EQ(Code(WITH_FORMAT7), IIDC_ERR_FORMAT_UNAVAILABLE);
    }
    EXPECT_EQ(Log(WITH_FORMAT7).FormatRequestCount(), 0);
    EXPECT_EQ(iidc_currentformat(handle), 0xFF603000u);
}

TEST_F(VcamFormatTest, FrameRateRequestsReachTheDriver)
{
    iidc_handle handle = Open(WITH_FORMAT7);   // Format 0 mode 3: 3.75, 7.5 and 15 fps
    EXPECT_EQ(iidc_setframerate(handle, 7.5f), 7.5f);
    EXPECT_EQ(Log(WITH_FORMAT7).LastFormatRequest()->shape.llInterval, 1333333);
    EXPECT_NEAR(iidc_currentframerate(handle), 7.5f, 1e-4f);

    // The camera judges the rate: 30 fps is not one of this mode's.
    EXPECT_EQ(iidc_setframerate(handle, 30.0f), 0.0f);
    EXPECT_EQ(Code(WITH_FORMAT7), IIDC_ERR_INVALID_PARAMETER);
    EXPECT_EQ(Log(WITH_FORMAT7).LastFormatRequest()->shape.llInterval, 333333);
    EXPECT_NEAR(iidc_currentframerate(handle), 7.5f, 1e-4f);

    const int sent = Log(WITH_FORMAT7).FormatRequestCount();
    EXPECT_EQ(iidc_setframerate(handle, std::numeric_limits<float>::quiet_NaN()), 0.0f);
    EXPECT_EQ(iidc_setframerate(handle, 0.0f), 0.0f);
    EXPECT_EQ(Log(WITH_FORMAT7).FormatRequestCount(), sent);

    iidc_framerateinfo info{};
    ASSERT_EQ(iidc_getframerateinfo(handle, &info, sizeof info, 0xFF703000), 1);
    EXPECT_EQ(info.lowest, 3.75f);
    EXPECT_EQ(info.highest, 15.0f);
}

TEST_F(VcamFormatTest, AreaOfAFormat7Camera)
{
    iidc_handle handle = Open(IN_FORMAT7);
    iidc_areainfo info{};
    ASSERT_EQ(iidc_getareainfo(handle, &info, sizeof info, 0xFF701700), 1);
    EXPECT_EQ(info.maxwidth, 1280);
    EXPECT_EQ(info.maxheight, 1024);
    EXPECT_EQ(info.widthunit, 4);
    EXPECT_EQ(info.heightunit, 2);
    EXPECT_EQ(info.leftunit, 2);
    EXPECT_EQ(info.topunit, 1);
    EXPECT_EQ(iidc_getareainfo(handle, &info, sizeof info, 0xFF702700), 0);
    EXPECT_EQ(Code(IN_FORMAT7), IIDC_ERR_FORMAT_UNAVAILABLE);

    iidc_area area{};
    ASSERT_EQ(iidc_currentarea(handle, &area, sizeof area), 1);
    EXPECT_EQ(area.left, 16);
    EXPECT_EQ(area.top, 8);
    EXPECT_EQ(area.width, 640);
    EXPECT_EQ(area.height, 480);

    const iidc_area wanted{32, 16, 320, 240};
    ASSERT_EQ(iidc_setarea(handle, &wanted, sizeof wanted), 1);
    const auto request = Log(IN_FORMAT7).LastAreaRequest();
    ASSERT_TRUE(request);
    EXPECT_EQ(request->cbBlock, 64u);
    for (ULONG at = 0; at < 64; at += 4) {
        const int32_t expected = at == 24 ? 32 : at == 28 ? 16 : at == 32 ? 320 : at == 36 ? 240 : at == 40 ? 1 : 0;
        EXPECT_EQ(request->Field(at), expected) << "byte " << at;
    }
    ASSERT_EQ(iidc_currentarea(handle, &area, sizeof area), 1);
    EXPECT_EQ(area.width, 320);
    EXPECT_EQ(area.left, 32);

    Faults(IN_FORMAT7).bRefuseArea = true;
    EXPECT_EQ(iidc_setarea(handle, &wanted, sizeof wanted), 0);
    EXPECT_EQ(Code(IN_FORMAT7), IIDC_ERR_INVALID_PARAMETER);
}

TEST_F(VcamFormatTest, AreaOfAStandardModeCamera)
{
    iidc_handle handle = Open(WITH_FORMAT7);
    iidc_area area{};
    EXPECT_EQ(iidc_currentarea(handle, &area, sizeof area), 0);
    EXPECT_EQ(Code(WITH_FORMAT7), IIDC_ERR_INVALID_PARAMETER);
    iidc_areainfo info{};
    EXPECT_EQ(iidc_getareainfo(handle, &info, sizeof info, 0xFF703000), 0);
    EXPECT_EQ(Code(WITH_FORMAT7), IIDC_ERR_NOT_SUPPORTED);
    ASSERT_EQ(iidc_getareainfo(handle, &info, sizeof info, 0xFF703700), 1);
    EXPECT_EQ(info.maxwidth, 640);
    EXPECT_EQ(info.leftunit, 0);   // passed on as the camera reads it
    iidc_handle plain = Open(WITHOUT_FORMAT7);
    EXPECT_EQ(iidc_getareainfo(plain, &info, sizeof info, 0xFF700700), 0);
    EXPECT_EQ(Code(WITHOUT_FORMAT7), IIDC_ERR_FORMAT_UNAVAILABLE);
}

// Format, rate and area changes take capture -> grabber -> renderer down
// from the bottom, and leave the capture filter alone in the graph.
TEST_F(VcamFormatTest, ChangesTearTheCaptureGraphDownBottomUp)
{
    const std::vector<std::pair<const char*, std::function<void(iidc_handle)>>> changes = {
        {"format", [](iidc_handle h) { EXPECT_EQ(iidc_setformat(h, 0xFF705000), 1); }},
        {"rate", [](iidc_handle h) { EXPECT_EQ(iidc_setframerate(h, 15.0f), 15.0f); }},
        {"area", [](iidc_handle h) {
             const iidc_area area{0, 0, 320, 240};
             iidc_setarea(h, &area, sizeof area);
         }},
    };
    iidc_handle handle = Open(WITH_FORMAT7);
    CCamera& camera = Camera(handle);
    for (const auto& [pName, change] : changes) {
        SCOPED_TRACE(pName);
        ASSERT_TRUE(iidc_preparecapture(handle));
        const LINK toGrabber = LinkBelow(camera.m_pCaptureFilter.Get());
        ASSERT_TRUE(toGrabber.pDownstream);
        const LINK toRenderer = LinkBelow(toGrabber.pDownstream.Get());
        ASSERT_TRUE(toRenderer.pDownstream);
        EXPECT_EQ(FiltersInGraph(camera.m_pGraph.Get()), 3);

        auto* pRecorder = new CRecordingGraph(camera.m_pGraph.Get());
        ComPtr<IGraphBuilder> pReal = camera.m_pGraph;
        camera.m_pGraph = ComPtr<IGraphBuilder>(pRecorder);
        change(handle);
        EXPECT_EQ(pRecorder->m_removed,
                  (std::vector<IBaseFilter*>{toRenderer.pDownstream.Get(), toGrabber.pDownstream.Get()}));
        EXPECT_EQ(pRecorder->m_disconnected, (std::vector<IPin*>{toRenderer.pIn.Get(), toRenderer.pOut.Get(),
                                                                 toGrabber.pIn.Get(), toGrabber.pOut.Get()}));
        camera.m_pGraph = pReal;

        EXPECT_EQ(FiltersInGraph(camera.m_pGraph.Get()), 1);
        EXPECT_EQ(iidc_getstatus(handle), IIDC_STATE_OPENED);
        EXPECT_FALSE(camera.m_pGrabber);
        EXPECT_FALSE(camera.m_pDroppedFrames);
        EXPECT_EQ(iidc_currentdataframebytes(handle), 0);
        EXPECT_EQ(Code(WITH_FORMAT7), IIDC_ERR_FORMAT_UNAVAILABLE);
    }
}

TEST_F(VcamFormatTest, TransferFiguresOfARunningCapture)
{
    iidc_handle handle = Open(WITHOUT_FORMAT7);   // Format 0 mode 5 at 30 fps, channel 0 at S400
    iidc1394_isotransmissioninfo iso{};
    EXPECT_EQ(iidc1394_currentisotransmissioninfo(handle, &iso), 0);
    EXPECT_EQ(Code(WITHOUT_FORMAT7), IIDC_ERR_NOT_CAPTURING);
    iidc_transferinfo transfer{-1, -1};
    EXPECT_EQ(iidc_gettransferinfo(handle, &transfer, sizeof transfer), 0);
    EXPECT_EQ(transfer.framecount, -1);

    CaptureFrames(handle, WITHOUT_FORMAT7, 10);
    EXPECT_EQ(iidc_currentdataframebytes(handle), 307200);
    ASSERT_EQ(iidc_gettransferinfo(handle, &transfer, sizeof transfer), 1);
    EXPECT_EQ(transfer.lastbuffer, 1);   // buffers 1, 2, 0, ... of three
    ASSERT_EQ(iidc1394_currentisotransmissioninfo(handle, &iso), 4);
    EXPECT_EQ(iso.channel, 0);
    EXPECT_EQ(iso.speed, 0x90);
    EXPECT_EQ(iso.packetsize, 320);

    // The driver counts a frame once its delivery has returned, which the
    // renderer may hold up; once stopped the count stands still. The callback
    // object is gone then, so the buffer field stays as it was.
    EXPECT_TRUE(iidc_idle(handle));
    LONG delivered = 0;
    ASSERT_EQ(Camera(handle).m_pDroppedFrames->GetNumNotDropped(&delivered), S_OK);
    EXPECT_GE(delivered, 9);
    transfer = {-1, -1};
    ASSERT_EQ(iidc_gettransferinfo(handle, &transfer, sizeof transfer), 1);
    EXPECT_EQ(transfer.framecount, delivered - Camera(handle).m_nFramesAtStart);
    EXPECT_EQ(transfer.lastbuffer, -1);
    EXPECT_TRUE(iidc_freeframe(handle));
}

TEST_F(VcamFormatTest, Format7PacketSizeComesFromItsRegister)
{
    iidc_handle handle = Open(IN_FORMAT7);
    uint32_t csr = 0, bytesPerPacket = 0;
    ASSERT_EQ(iidc1394_asyncreadquadlet(handle, V_CSR_INQ_7(1), &csr, 4), 4);
    ASSERT_EQ(iidc1394_asyncreadquadlet(handle, CsrOffset(csr) + F7_BYTE_PER_PACKET, &bytesPerPacket, 4), 4);
    ASSERT_NE(bytesPerPacket >> 16, 0u);
    CaptureFrames(handle, IN_FORMAT7, 1);
    iidc1394_isotransmissioninfo iso{};
    ASSERT_EQ(iidc1394_currentisotransmissioninfo(handle, &iso), 4);
    EXPECT_EQ(iso.channel, 3);
    EXPECT_EQ(iso.speed, 200);
    EXPECT_EQ(iso.packetsize, (bytesPerPacket >> 16) / 4);
    EXPECT_TRUE(iidc_idle(handle));
    EXPECT_TRUE(iidc_freeframe(handle));
}

// A closed or invented handle is never followed, by any export of the format
// model, the transfer counter query included.
TEST_F(VcamFormatTest, ClosedCamerasAreRefused)
{
    iidc_handle closed = Open(WITH_FORMAT7);
    ASSERT_TRUE(iidc_close(closed));
    m_opened.clear();
    uint32_t ids[4];
    iidc_formatinfo format{};
    iidc_framerateinfo rate{};
    iidc_areainfo areaInfo{};
    iidc_area area{0, 0, 64, 64};
    iidc_transferinfo transfer{-1, -1};
    iidc1394_isotransmissioninfo iso{};
    for (iidc_handle handle : {closed, reinterpret_cast<iidc_handle>(0x10), iidc_handle(nullptr)}) {
        const int32_t results[] = {
            iidc_getformatcount(handle),
            iidc_getformatidlist(handle, ids, sizeof ids),
            iidc_getformatinfo(handle, &format, sizeof format, 0xFF700000),
            int32_t(iidc_currentformat(handle)),
            iidc_setformat(handle, 0xFF705000),
            iidc_getframerateinfo(handle, &rate, sizeof rate, 0xFF700000),
            iidc_currentframerate(handle) != 0.0f,
            iidc_setframerate(handle, 15.0f) != 0.0f,
            iidc_getareainfo(handle, &areaInfo, sizeof areaInfo, 0xFF700700),
            iidc_currentarea(handle, &area, sizeof area),
            iidc_setarea(handle, &area, sizeof area),
            iidc_currentdataframebytes(handle),
            iidc_gettransferinfo(handle, &transfer, sizeof transfer),
            iidc1394_currentisotransmissioninfo(handle, &iso),
        };
        for (int32_t result : results)
            EXPECT_EQ(result, 0);
        EXPECT_EQ(Code(-1), IIDC_ERR_INVALID_HANDLE);
        EXPECT_EQ(Code(WITH_FORMAT7), 0u);
    }
    EXPECT_EQ(transfer.framecount, -1);
    EXPECT_EQ(Log(WITH_FORMAT7).FormatRequestCount(), 0);
}

} // namespace
