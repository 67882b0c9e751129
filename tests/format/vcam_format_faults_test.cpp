// Every platform call of the format model made to fail on a virtual camera:
// the export's result and code, and nothing left behind (the fixture checks
// that no COM object outlives the test, media types' pUnk included).
#include <gtest/gtest.h>

#include "emul/fault.h"
#include "tests/format/vcam_format_fixture.h"

using namespace vcam_format;

namespace {

struct FAULT_CASE
{
    const char* pOperation;
    std::function<int32_t(iidc_handle)> call;   // the export's result, as an integer
    int32_t nExpected;
    uint32_t dwCode;
};

int32_t Count(iidc_handle h) { return iidc_getformatcount(h); }
int32_t ListBytes(iidc_handle h)
{
    uint32_t ids[16];
    return iidc_getformatidlist(h, ids, sizeof ids);
}
int32_t SetFormat(iidc_handle h) { return iidc_setformat(h, 0xFF705000); }
int32_t CurrentFormat(iidc_handle h) { return iidc_currentformat(h) != 0; }
int32_t CurrentRate(iidc_handle h) { return iidc_currentframerate(h) != 0.0f; }
int32_t SetRate(iidc_handle h) { return iidc_setframerate(h, 7.5f) != 0.0f; }
int32_t RateInfo(iidc_handle h)
{
    iidc_framerateinfo info{};
    return iidc_getframerateinfo(h, &info, sizeof info, 0xFF703000);
}
int32_t AreaInfo(iidc_handle h)
{
    iidc_areainfo info{};
    return iidc_getareainfo(h, &info, sizeof info, 0xFF700700);
}
int32_t SetArea(iidc_handle h)
{
    const iidc_area area{0, 0, 320, 240};
    return iidc_setarea(h, &area, sizeof area);
}
int32_t FormatInfo7(iidc_handle h)
{
    iidc_formatinfo info{};
    return iidc_getformatinfo(h, &info, sizeof info, 0xFF700700);
}

class FormatFaultTest : public VcamFormatTest, public ::testing::WithParamInterface<FAULT_CASE>
{
};

TEST_P(FormatFaultTest, FailureIsRecordedForTheCamera)
{
    const FAULT_CASE& c = GetParam();
    iidc_handle handle = Open(WITH_FORMAT7);
    emul::FailOperation(c.pOperation, E_FAIL);
    EXPECT_EQ(c.call(handle), c.nExpected);
    if (c.dwCode) {
        EXPECT_EQ(Code(WITH_FORMAT7), c.dwCode);
    }
    EXPECT_GT(emul::CallCount(c.pOperation), 0);
    emul::ResetFaults();
    EXPECT_EQ(iidc_getstatus(handle), IIDC_STATE_OPENED);
}

INSTANTIATE_TEST_SUITE_P(
    PlatformCalls, FormatFaultTest,
    ::testing::Values(
        FAULT_CASE{"IAMStreamConfig::GetNumberOfCapabilities", Count, 0, IIDC_ERR_FAIL},
        FAULT_CASE{"IAMStreamConfig::GetNumberOfCapabilities", ListBytes, 0, IIDC_ERR_FAIL},
        FAULT_CASE{"IAMStreamConfig::GetNumberOfCapabilities", SetFormat, 0, IIDC_ERR_FAIL},
        FAULT_CASE{"IAMStreamConfig::GetStreamCaps", ListBytes, 0, IIDC_ERR_FAIL},
        FAULT_CASE{"IAMStreamConfig::GetStreamCaps", SetFormat, 0, IIDC_ERR_FAIL},
        FAULT_CASE{"IAMStreamConfig::SetFormat", SetFormat, 0, IIDC_ERR_FAIL},
        FAULT_CASE{"IAMStreamConfig::SetFormat", SetRate, 0, IIDC_ERR_INVALID_PARAMETER},
        FAULT_CASE{"IAMStreamConfig::GetFormat", CurrentRate, 0, IIDC_ERR_FAIL},
        FAULT_CASE{"IAMStreamConfig::GetFormat", SetRate, 0, IIDC_ERR_FAIL},
        FAULT_CASE{"IKsPropertySet::Set", Count, 0, IIDC_ERR_FAIL},
        FAULT_CASE{"IKsPropertySet::Set", CurrentFormat, 0, IIDC_ERR_FAIL},
        FAULT_CASE{"IKsPropertySet::Set", SetArea, 0, IIDC_ERR_INVALID_PARAMETER},
        FAULT_CASE{"IKsPropertySet::Get", ListBytes, 0, IIDC_ERR_FAIL},
        FAULT_CASE{"IKsPropertySet::Get", FormatInfo7, 0, IIDC_ERR_FAIL},
        FAULT_CASE{"IKsPropertySet::Get", SetFormat, 0, IIDC_ERR_FAIL},
        FAULT_CASE{"IKsPropertySet::Get", RateInfo, 0, IIDC_ERR_FAIL},
        FAULT_CASE{"IKsPropertySet::Get", AreaInfo, 0, IIDC_ERR_FAIL},
        // Orientation is best effort: the format is in force all the same.
        FAULT_CASE{"ICaptureGraphBuilder2::FindPin", SetFormat, 1, 0},
        FAULT_CASE{"IAMVideoControl::SetMode", SetFormat, 1, 0}));

TEST_F(VcamFormatTest, FailedStreamCapsGiveBackEveryMediaType)
{
    iidc_handle handle = Open(WITH_FORMAT7);
    emul::FailOperation("IAMStreamConfig::GetStreamCaps", E_FAIL, 3);
    uint32_t ids[16];
    EXPECT_EQ(iidc_getformatidlist(handle, ids, sizeof ids), 0);
    EXPECT_EQ(Code(WITH_FORMAT7), IIDC_ERR_FAIL);
    // The two media types obtained before the failure are gone with the test's
    // COM objects (checked when the fixture ends).
}

TEST_F(VcamFormatTest, MissingInterfacesAreReported)
{
    Faults(WITH_FORMAT7).bNoStreamConfig = true;
    iidc_handle handle = Open(WITH_FORMAT7);
    EXPECT_EQ(iidc_getformatcount(handle), 0);
    EXPECT_EQ(Code(-1), IIDC_ERR_INVALID_HANDLE);
    EXPECT_EQ(iidc_currentframerate(handle), 0.0f);
    EXPECT_EQ(Code(WITH_FORMAT7), IIDC_ERR_INVALID_HANDLE);
    EXPECT_EQ(iidc_setformat(handle, 0xFF705000), 0);
    EXPECT_EQ(Code(WITH_FORMAT7), IIDC_ERR_INVALID_HANDLE);

    Faults(WITHOUT_FORMAT7).bNoVideoControl = true;
    iidc_handle plain = Open(WITHOUT_FORMAT7);
    EXPECT_EQ(iidc_setformat(plain, 0xFF705000), 1);   // no orientation control: left as it is
    EXPECT_EQ(Log(WITHOUT_FORMAT7).FormatRequestCount(), 1);
}

// A failing step of the graph walk ends that walk, unexamined: the change
// goes on (a rate may change under a connection) and the camera is back in
// the opened state. A later teardown without the fault finishes the work.
class TeardownFaultTest : public VcamFormatTest, public ::testing::WithParamInterface<const char*>
{
};

TEST_P(TeardownFaultTest, ChangeStillGoesOn)
{
    iidc_handle handle = Open(WITH_FORMAT7);
    ASSERT_TRUE(iidc_preparecapture(handle));
    emul::FailOperation(GetParam(), E_FAIL);
    EXPECT_EQ(iidc_setframerate(handle, 7.5f), 7.5f);
    EXPECT_GT(emul::CallCount(GetParam()), 0);
    emul::ResetFaults();
    EXPECT_EQ(iidc_getstatus(handle), IIDC_STATE_OPENED);
    EXPECT_FALSE(Camera(handle).m_pGrabber);
    EXPECT_FALSE(Camera(handle).m_pDroppedFrames);
    EXPECT_TRUE(iidc_clearcapture(handle));
    EXPECT_FALSE(LinkBelow(Camera(handle).m_pCaptureFilter.Get()).pDownstream);
}

INSTANTIATE_TEST_SUITE_P(GraphWalk, TeardownFaultTest,
                         ::testing::Values("IBaseFilter::EnumPins", "IEnumPins::Next", "IPin::ConnectedTo",
                                           "IPin::QueryPinInfo", "IFilterGraph::Disconnect",
                                           "IFilterGraph::RemoveFilter"));

TEST_F(VcamFormatTest, TransferCountersThatFailYieldNoFigures)
{
    iidc_handle handle = Open(WITHOUT_FORMAT7);
    ASSERT_TRUE(iidc_preparecapture(handle));
    emul::FailOperation("ISampleGrabber::GetConnectedMediaType", E_FAIL);
    EXPECT_EQ(iidc_currentdataframebytes(handle), 0);
    EXPECT_EQ(Code(WITHOUT_FORMAT7), IIDC_ERR_FAIL);
    emul::FailOperation("IAMDroppedFrames::GetNumNotDropped", E_FAIL);
    iidc_transferinfo transfer{-1, -1};
    EXPECT_EQ(iidc_gettransferinfo(handle, &transfer, sizeof transfer), 0);
    EXPECT_EQ(transfer.framecount, -1);
    emul::ResetFaults();
    EXPECT_EQ(iidc_currentdataframebytes(handle), 307200);
}

TEST_F(VcamFormatTest, IsoFiguresFailWithTheirRegisters)
{
    iidc_handle handle = Open(WITHOUT_FORMAT7);
    CaptureFrames(handle, WITHOUT_FORMAT7, 1);
    for (uint32_t offset : {ISO_CHANNEL, CUR_V_FRM_RATE, CUR_V_MODE, CUR_V_FORMAT}) {
        Faults(WITHOUT_FORMAT7).readFailure.Set(offset, offset);
        iidc1394_isotransmissioninfo iso{};
        EXPECT_EQ(iidc1394_currentisotransmissioninfo(handle, &iso), 0) << std::hex << offset;
        EXPECT_EQ(Code(WITHOUT_FORMAT7), IIDC_ERR_FAIL);
    }
    Faults(WITHOUT_FORMAT7).readFailure.Clear();
    EXPECT_TRUE(iidc_idle(handle));
    EXPECT_TRUE(iidc_freeframe(handle));
}

} // namespace
