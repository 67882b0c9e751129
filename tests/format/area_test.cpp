// The Format 7 image area on a camera of fakes.
#include <gtest/gtest.h>

#include "registers/offsets.h"
#include "tests/format/fake_camera.h"

using namespace iidc_reg;

namespace {

constexpr uint32_t BLOCK3 = 0x3000;

class AreaTest : public FakeCameraTest
{
protected:
    void SetUp() override
    {
        FakeCameraTest::SetUp();
        AddFormat7Mode(3, BLOCK3, IIDC_BIT(0));
        SetRegister(BLOCK3 + F7_MAX_IMAGE_SIZE_INQ, 0x05000400);
        SetRegister(BLOCK3 + F7_UNIT_SIZE_INQ, 0x00040002);
        SetRegister(BLOCK3 + F7_UNIT_POSITION_INQ, 0x00020001);
        SetRegister(BLOCK3 + F7_IMAGE_POSITION, 0x00100008);
        SetRegister(BLOCK3 + F7_IMAGE_SIZE, 0x028001E0);
        SetRegister(CUR_V_FORMAT, 7u << 29);
        SetRegister(CUR_V_MODE, 3u << 29);
    }
};

// The fields are written as their registers are read (size units before
// position units; position before size): a failing read leaves the rest.
TEST_F(AreaTest, FieldsAreWrittenAsTheirRegistersAreRead)
{
    iidc_areainfo info{};
    EXPECT_EQ(iidc_getareainfo(Handle(), &info, 0, 0xFF703700), 1);
    EXPECT_EQ(info.maxwidth, 1280);
    EXPECT_EQ(info.topunit, 1);
    iidc_area area{};
    EXPECT_EQ(iidc_currentarea(Handle(), &area, sizeof area), 1);
    EXPECT_EQ(area.left, 16);
    EXPECT_EQ(area.height, 480);

    m_pRegisters->m_failing = {BLOCK3 + F7_UNIT_POSITION_INQ, BLOCK3 + F7_IMAGE_SIZE};
    info = {};
    EXPECT_EQ(iidc_getareainfo(Handle(), &info, 0, 0xFF703700), 0);
    EXPECT_EQ(CameraCode(), IIDC_ERR_FAIL);
    EXPECT_EQ(info.widthunit, 4);
    EXPECT_EQ(info.leftunit, 0);
    area = {};
    ClearCodes();
    EXPECT_EQ(iidc_currentarea(Handle(), &area, sizeof area), 0);
    EXPECT_EQ(CameraCode(), IIDC_ERR_FAIL);
    EXPECT_EQ(area.left, 16);
    EXPECT_EQ(area.width, 0);
}

TEST_F(AreaTest, InfoNeedsAFormat7ModeTheCameraHas)
{
    iidc_areainfo info{};
    EXPECT_EQ(iidc_getareainfo(Handle(), &info, 0, 0xFF705000), 0);
    EXPECT_EQ(CameraCode(), IIDC_ERR_NOT_SUPPORTED);
    EXPECT_TRUE(m_pRegisters->m_reads.empty());
    EXPECT_EQ(iidc_getareainfo(Handle(), &info, 0, 0xFF702700), 0);
    EXPECT_EQ(CameraCode(), IIDC_ERR_FORMAT_UNAVAILABLE);
    SetRegister(V_FORMAT_INQ, 0);
    EXPECT_EQ(iidc_getareainfo(Handle(), &info, 0, 0xFF703700), 0);
    EXPECT_EQ(CameraCode(), IIDC_ERR_FORMAT_UNAVAILABLE);
    ClearCodes();
    EXPECT_EQ(iidc_getareainfo(Handle(), nullptr, 0, 0xFF703700), 0);
    EXPECT_EQ(CameraCode(), IIDC_ERR_INVALID_PARAMETER);
}

TEST_F(AreaTest, CurrentAreaNeedsFormat7InForce)
{
    SetRegister(CUR_V_FORMAT, 0);
    iidc_area area{};
    EXPECT_EQ(iidc_currentarea(Handle(), &area, sizeof area), 0);
    EXPECT_EQ(CameraCode(), IIDC_ERR_INVALID_PARAMETER);
    EXPECT_EQ(m_pRegisters->m_reads, std::vector<uint32_t>{CUR_V_FORMAT});
}

TEST_F(AreaTest, MissingPropertySetIsRecordedForTheCamera)
{
    m_pCamera->m_pKsPropertySet.Reset();
    m_pRegisters = nullptr;
    const iidc_area area{0, 0, 640, 480};
    iidc_area current{};
    EXPECT_EQ(iidc_currentarea(Handle(), &current, sizeof current), 0);
    EXPECT_EQ(CameraCode(), IIDC_ERR_INVALID_HANDLE);
    ClearCodes();
    EXPECT_EQ(iidc_setarea(Handle(), &area, sizeof area), 0);
    EXPECT_EQ(CameraCode(), IIDC_ERR_INVALID_HANDLE);
}

} // namespace
