// Every capture operation in every capture state, through the public header.
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "capture_fixture.h"

namespace {

// What an operation answers and leaves behind. A code of 0 means none is
// recorded (the slots keep what was there).
struct Outcome {
    int64_t nResult;
    uint32_t dwCode;
    int32_t nStateAfter;
};

struct Operation {
    std::string strName;
    std::function<int64_t(iidc_handle)> call;
    // Outcomes in states 4, 3, 2, 1.
    std::array<Outcome, 4> outcomes;
};

std::array<unsigned char, TEST_FRAME_BYTES> g_buffers[2];
unsigned char* const g_pBuffers[2] = {g_buffers[0].data(), g_buffers[1].data()};

const std::vector<Operation>& Operations()
{
    constexpr uint32_t NONE = 0;
    static const std::vector<Operation> operations = {
        {"preparecapture", [](iidc_handle h) { return int64_t{iidc_preparecapture(h)}; },
         {{{1, NONE, 3}, {0, IIDC_ERR_ALREADY_PREPARED, 3}, {0, IIDC_ERR_ALREADY_PREPARED, 2},
           {0, IIDC_ERR_ALREADY_PREPARED, 1}}}},
        {"allocframe", [](iidc_handle h) { return int64_t{iidc_allocframe(h, 2)}; },
         {{{0, IIDC_ERR_NOT_PREPARED, 4}, {2, NONE, 2}, {0, IIDC_ERR_NOT_PREPARED, 2}, {0, IIDC_ERR_CAPTURING, 1}}}},
        {"attachbuffer",
         [](iidc_handle h) { return int64_t{iidc_attachbuffer(h, g_pBuffers, sizeof g_pBuffers)}; },
         {{{0, IIDC_ERR_NOT_PREPARED, 4}, {2, NONE, 2}, {0, IIDC_ERR_NOT_PREPARED, 2}, {0, IIDC_ERR_CAPTURING, 1}}}},
        {"freeframe", [](iidc_handle h) { return int64_t{iidc_freeframe(h)}; },
         {{{1, NONE, 4}, {1, NONE, 3}, {1, NONE, 3}, {0, IIDC_ERR_CAPTURING, 1}}}},
        {"releasebuffer", [](iidc_handle h) { return int64_t{iidc_releasebuffer(h)}; },
         {{{1, NONE, 4}, {1, NONE, 3}, {1, NONE, 3}, {0, IIDC_ERR_CAPTURING, 1}}}},
        {"capture", [](iidc_handle h) { return int64_t{iidc_capture(h, 1)}; },
         {{{0, IIDC_ERR_NO_FRAMES, 4}, {0, IIDC_ERR_NO_FRAMES, 3}, {1, NONE, 1}, {0, IIDC_ERR_CAPTURING, 1}}}},
        {"idle", [](iidc_handle h) { return int64_t{iidc_idle(h)}; },
         {{{1, NONE, 4}, {1, NONE, 3}, {1, NONE, 2}, {1, NONE, 2}}}},
        {"clearcapture", [](iidc_handle h) { return int64_t{iidc_clearcapture(h)}; },
         {{{1, NONE, 4}, {1, NONE, 4}, {1, NONE, 4}, {0, IIDC_ERR_CAPTURING, 1}}}},
        {"getstatus", [](iidc_handle h) { return int64_t{iidc_getstatus(h)}; },
         {{{4, NONE, 4}, {3, NONE, 3}, {2, NONE, 2}, {1, NONE, 1}}}},
    };
    return operations;
}

class CaptureStateTable : public CaptureTest, public ::testing::WithParamInterface<int32_t>
{
protected:
    // Walks a fresh camera to a state by the usual order of a capture.
    void EnterState(int32_t nState)
    {
        if (nState <= IIDC_STATE_PREPARED) {
            ASSERT_TRUE(iidc_preparecapture(m_hCamera));
        }
        if (nState <= IIDC_STATE_READY) {
            ASSERT_EQ(iidc_allocframe(m_hCamera, 3), 3);
        }
        if (nState <= IIDC_STATE_CAPTURING) {
            ASSERT_TRUE(iidc_capture(m_hCamera, 1));
        }
        ASSERT_EQ(iidc_getstatus(m_hCamera), nState);
    }

    void Reopen()
    {
        iidc_close(m_hCamera);
        m_hCamera = iidc_open(0);
        ASSERT_NE(m_hCamera, nullptr);
    }
};

TEST_P(CaptureStateTable, EveryOperationAnswersAsItsStateSays)
{
    const int32_t nState = GetParam();
    for (const Operation& op : Operations()) {
        SCOPED_TRACE(op.strName + " in state " + std::to_string(nState));
        Reopen();
        EnterState(nState);
        MarkSlots();
        const Outcome& expected = op.outcomes[static_cast<size_t>(IIDC_STATE_OPENED - nState)];
        EXPECT_EQ(op.call(m_hCamera), expected.nResult);
        const uint32_t dwCode = expected.dwCode ? expected.dwCode : IIDC_ERR_NOT_SUPPORTED;
        EXPECT_EQ(CameraSlot(), dwCode);
        EXPECT_EQ(GlobalSlot(), dwCode);
        EXPECT_EQ(iidc_getstatus(m_hCamera), expected.nStateAfter);
        iidc_idle(m_hCamera);
    }
}

INSTANTIATE_TEST_SUITE_P(States, CaptureStateTable,
                         ::testing::Values(IIDC_STATE_OPENED, IIDC_STATE_PREPARED, IIDC_STATE_READY,
                                           IIDC_STATE_CAPTURING),
                         [](const ::testing::TestParamInfo<int32_t>& param) { return "State" + std::to_string(param.param); });

TEST_F(CaptureTest, ClearingKeepsTheRingAndANewPreparationReplacesIt)
{
    MakeReady(3);
    ASSERT_TRUE(iidc_clearcapture(m_hCamera));
    EXPECT_EQ(iidc_getframecount(m_hCamera), 3u);
    // The stranded ring is given back when the next one takes its place.
    ASSERT_TRUE(iidc_preparecapture(m_hCamera));
    EXPECT_EQ(iidc_allocframe(m_hCamera, 2), 2);
    EXPECT_EQ(iidc_getframecount(m_hCamera), 2u);
}

} // namespace
