// Frame-rate inquiry, the rate in force and its change, on a camera of fakes.
#include <gtest/gtest.h>

#include <limits>

#include "registers/offsets.h"
#include "tests/format/fake_camera.h"

using namespace iidc_reg;

namespace {

class FrameRateTest : public FakeCameraTest
{
protected:
    iidc_framerateinfo Info(uint32_t rates)
    {
        SetRegister(V_RATE_INQ(1, 2), rates);
        iidc_framerateinfo info{0, -1.0f, -1.0f};
        EXPECT_EQ(iidc_getframerateinfo(Handle(), &info, 0, 0xFF702100), 1);
        return info;
    }
};

// Codes 0-4 count; without one only the flags are written.
TEST_F(FrameRateTest, InfoReportsTheLowestAndHighestSupportedRate)
{
    const struct
    {
        uint32_t rates;
        float lowest, highest;
    } cases[] = {
        {IIDC_BIT(1) | IIDC_BIT(2) | IIDC_BIT(3) | IIDC_BIT(4), 3.75f, 30.0f},
        {IIDC_BIT(1) | IIDC_BIT(3), 3.75f, 15.0f},
        {IIDC_BIT(0) | IIDC_BIT(5), 1.875f, 1.875f},
        {0, -1.0f, -1.0f},
        {IIDC_BIT(5), -1.0f, -1.0f},
        {IIDC_BIT(7), -1.0f, -1.0f},
    };
    for (const auto& c : cases) {
        const iidc_framerateinfo info = Info(c.rates);
        EXPECT_EQ(info.flags, 1u);
        EXPECT_EQ(info.lowest, c.lowest) << std::hex << c.rates;
        EXPECT_EQ(info.highest, c.highest) << std::hex << c.rates;
    }
}

// Formats 6 and 7 have no fixed rates, 3 to 5 none at all. A null record is
// the caller's mistake, recorded globally only.
TEST_F(FrameRateTest, InfoRefusesFormatsWithoutFixedRates)
{
    iidc_framerateinfo info{};
    EXPECT_EQ(iidc_getframerateinfo(Handle(), &info, sizeof info, 0xFF700600), 0);
    EXPECT_EQ(CameraCode(), IIDC_ERR_NOT_SUPPORTED);
    EXPECT_EQ(iidc_getframerateinfo(Handle(), &info, sizeof info, 0xFF700400), 0);
    EXPECT_EQ(CameraCode(), IIDC_ERR_INVALID_PARAMETER);
    ClearCodes();
    EXPECT_EQ(iidc_getframerateinfo(Handle(), nullptr, sizeof info, 0xFF700000), 0);
    EXPECT_EQ(CameraCode(), 0u);
    EXPECT_TRUE(m_pRegisters->m_reads.empty());

    m_pRegisters->m_failing = {V_RATE_INQ(0, 0)};
    EXPECT_EQ(iidc_getframerateinfo(Handle(), &info, sizeof info, 0xFF700000), 0);
    EXPECT_EQ(CameraCode(), IIDC_ERR_FAIL);
}

// No interval in force, or none to be had, is a failure.
TEST_F(FrameRateTest, CurrentRateWithoutAnInterval)
{
    m_pStreamConfig->m_currentInterval = 0;
    EXPECT_EQ(iidc_currentframerate(Handle()), 0.0f);
    EXPECT_EQ(CameraCode(), IIDC_ERR_FAIL);
    ClearCodes();
    m_pStreamConfig->m_hrGetFormat = E_FAIL;
    EXPECT_EQ(iidc_currentframerate(Handle()), 0.0f);
    EXPECT_EQ(CameraCode(), IIDC_ERR_FAIL);

    m_pCamera->m_pStreamConfig.Reset();
    m_pStreamConfig = nullptr;
    ClearCodes();
    EXPECT_EQ(iidc_currentframerate(Handle()), 0.0f);
    EXPECT_EQ(CameraCode(), IIDC_ERR_INVALID_HANDLE);
}

TEST_F(FrameRateTest, SetRateSendsItsIntervalAfterTheTeardown)
{
    m_pCamera->m_nState = IIDC_STATE_PREPARED;
    EXPECT_EQ(iidc_setframerate(Handle(), 15.0f), 15.0f);
    ASSERT_EQ(m_pStreamConfig->m_sent.size(), 1u);
    EXPECT_EQ(m_pStreamConfig->m_sent[0].interval, 666666);
    EXPECT_EQ(m_pStreamConfig->m_sent[0].dwTag, ~0u);   // the media type in force, changed
    EXPECT_EQ(m_pCamera->m_nState, IIDC_STATE_OPENED);
    EXPECT_EQ(iidc_setframerate(Handle(), 1.875f), 1.875f);
    EXPECT_EQ(m_pStreamConfig->m_sent.back().interval, 5333333);
}

TEST_F(FrameRateTest, RefusedRateStillTearsDown)
{
    m_pCamera->m_nState = IIDC_STATE_READY;
    m_pStreamConfig->m_hrSetFormat = E_INVALIDARG;
    EXPECT_EQ(iidc_setframerate(Handle(), 60.0f), 0.0f);
    EXPECT_EQ(CameraCode(), IIDC_ERR_INVALID_PARAMETER);
    EXPECT_EQ(m_pCamera->m_nState, IIDC_STATE_OPENED);
    m_pStreamConfig->m_hrSetFormat = S_OK;

    ClearCodes();
    m_pStreamConfig->m_hrGetFormat = E_FAIL;
    EXPECT_EQ(iidc_setframerate(Handle(), 15.0f), 0.0f);
    EXPECT_EQ(CameraCode(), IIDC_ERR_FAIL);
}

TEST_F(FrameRateTest, RatesWithoutAnIntervalAreRefusedUnsent)
{
    for (float rate : {0.0f, -0.0f, -15.0f, std::numeric_limits<float>::quiet_NaN(), 1e-20f}) {
        m_pCamera->m_nState = IIDC_STATE_READY;
        ClearCodes();
        EXPECT_EQ(iidc_setframerate(Handle(), rate), 0.0f) << rate;
        EXPECT_EQ(CameraCode(), IIDC_ERR_INVALID_PARAMETER);
        EXPECT_EQ(m_pCamera->m_nState, IIDC_STATE_OPENED);
    }
    EXPECT_TRUE(m_pStreamConfig->m_sent.empty());
}

TEST_F(FrameRateTest, MissingStreamConfigurationChangesNothing)
{
    m_pCamera->m_pStreamConfig.Reset();
    m_pStreamConfig = nullptr;
    m_pCamera->m_nState = IIDC_STATE_READY;
    EXPECT_EQ(iidc_setframerate(Handle(), 15.0f), 0.0f);
    EXPECT_EQ(GlobalCode(), IIDC_ERR_INVALID_HANDLE);
    EXPECT_EQ(CameraCode(), 0u);
    EXPECT_EQ(m_pCamera->m_nState, IIDC_STATE_READY);
}

} // namespace
