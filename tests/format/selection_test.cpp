// Format selection through iidc_setformat: what the driver receives.
#include <gtest/gtest.h>

#include "registers/offsets.h"
#include "tests/format/fake_camera.h"

using namespace iidc_reg;

namespace {

class SelectionTest : public FakeCameraTest
{
protected:
    void SetUp() override
    {
        FakeCameraTest::SetUp();
        m_pStreamConfig->m_caps = {
            {Fourcc("UYVY"), 320 * 240 * 2},   // Format 0 mode 1
            {SUBTYPE_RGB8_MONO, 640 * 480},    // Format 0 mode 5, twice
            {SUBTYPE_RGB8_MONO, 640 * 480},
            {Fourcc("UYVY"), 1000},
        };
        SetRegister(V_RATE_INQ(0, 5), IIDC_BIT(1) | IIDC_BIT(2) | IIDC_BIT(3));
        SetRegister(V_RATE_INQ(0, 1), IIDC_BIT(0) | IIDC_BIT(4) | IIDC_BIT(5));
        m_pCamera->m_nState = IIDC_STATE_READY;
    }
    const std::vector<CFakeStreamConfig::SENT>& Sent() const { return m_pStreamConfig->m_sent; }
};

TEST_F(SelectionTest, SendsTheMatchingCapabilityAtTheFastestRate)
{
    EXPECT_EQ(iidc_setformat(Handle(), 0xFF705000), 1);
    ASSERT_EQ(Sent().size(), 1u);
    EXPECT_EQ(Sent()[0].subtype, SUBTYPE_RGB8_MONO);
    EXPECT_EQ(Sent()[0].lSampleSize, 640u * 480);
    EXPECT_EQ(Sent()[0].interval, 666666);   // 15 fps of 3.75, 7.5 and 15
    EXPECT_EQ(Sent()[0].dwTag, 1u);           // the first of two equal capabilities
    EXPECT_EQ(m_pRegisters->m_reads, std::vector<uint32_t>{V_RATE_INQ(0, 5)});
    EXPECT_EQ(m_pCamera->m_nState, IIDC_STATE_OPENED);

    // Code 5 is never chosen: 30 fps it is.
    EXPECT_EQ(iidc_setformat(Handle(), 0xFF701002), 1);
    EXPECT_EQ(Sent().back().interval, 333333);
    EXPECT_EQ(Sent().back().subtype, Fourcc("UYVY"));

    // Only format and mode of the id count.
    EXPECT_EQ(iidc_setformat(Handle(), 0x00005000 | 0xFF), 1);
    EXPECT_EQ(Sent().back().lSampleSize, 640u * 480);
}

TEST_F(SelectionTest, ModesTheDriverLacksAreUnavailable)
{
    for (uint32_t id : {0xFF703002u /* no such capability */, 0xFF700700u /* Format 7 */, 0xFF704000u}) {
        m_pCamera->m_nState = IIDC_STATE_PREPARED;
        ClearCodes();
        EXPECT_EQ(iidc_setformat(Handle(), id), 0) << std::hex << id;
        EXPECT_EQ(CameraCode(), IIDC_ERR_FORMAT_UNAVAILABLE);
        EXPECT_EQ(m_pCamera->m_nState, IIDC_STATE_OPENED);
    }
    // A mode without a known rate.
    SetRegister(V_RATE_INQ(0, 5), IIDC_BIT(5) | IIDC_BIT(6));
    EXPECT_EQ(iidc_setformat(Handle(), 0xFF705000), 0);
    EXPECT_EQ(CameraCode(), IIDC_ERR_FORMAT_UNAVAILABLE);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(SelectionTest, FailuresAfterTheTeardownLeaveTheCameraOpened)
{
    m_pStreamConfig->m_hrCount = E_FAIL;
    EXPECT_EQ(iidc_setformat(Handle(), 0xFF705000), 0);
    EXPECT_EQ(CameraCode(), IIDC_ERR_FAIL);
    EXPECT_EQ(m_pCamera->m_nState, IIDC_STATE_OPENED);
    m_pStreamConfig->m_hrCount = S_OK;

    m_pStreamConfig->m_failCapsAt = 1;
    ClearCodes();
    EXPECT_EQ(iidc_setformat(Handle(), 0xFF705000), 0);
    EXPECT_EQ(CameraCode(), IIDC_ERR_FAIL);
    m_pStreamConfig->m_failCapsAt = -1;

    m_pRegisters->m_failing = {V_RATE_INQ(0, 5)};
    ClearCodes();
    EXPECT_EQ(iidc_setformat(Handle(), 0xFF705000), 0);
    EXPECT_EQ(CameraCode(), IIDC_ERR_FAIL);
    EXPECT_TRUE(Sent().empty());
    m_pRegisters->m_failing.clear();

    m_pStreamConfig->m_hrSetFormat = E_INVALIDARG;
    ClearCodes();
    EXPECT_EQ(iidc_setformat(Handle(), 0xFF705000), 0);
    EXPECT_EQ(CameraCode(), IIDC_ERR_FAIL);
    EXPECT_EQ(Sent().size(), 1u);
}

TEST_F(SelectionTest, MissingStreamConfigurationIsRecordedForTheCamera)
{
    m_pCamera->m_pStreamConfig.Reset();
    m_pStreamConfig = nullptr;
    EXPECT_EQ(iidc_setformat(Handle(), 0xFF705000), 0);
    EXPECT_EQ(CameraCode(), IIDC_ERR_INVALID_HANDLE);
    EXPECT_EQ(m_pCamera->m_nState, IIDC_STATE_OPENED);
}

} // namespace
