// The format catalogue through the exports, on a camera of fakes.
#include <gtest/gtest.h>

#include <algorithm>

#include "registers/offsets.h"
#include "tests/format/fake_camera.h"

using namespace iidc_reg;

namespace {

constexpr uint32_t BLOCK0 = 0x1000;   // Format 7 mode 0 block
constexpr uint32_t BLOCK2 = 0x2000;   // Format 7 mode 2 block

class CatalogueTest : public FakeCameraTest
{
protected:
    void SetUp() override
    {
        FakeCameraTest::SetUp();
        m_pStreamConfig->m_caps = {
            {Fourcc("UYVY"), 640 * 480 * 2},   // Format 0 mode 3
            {Fourcc("YUY2"), 640 * 480 * 2},   // no IIDC colour coding
            {SUBTYPE_RGB8_MONO, 640 * 480},    // Format 0 mode 5
            {SUBTYPE_RGB8_MONO, 0},            // the all-zero row, Format 0 mode 7
            {Fourcc("UYVY"), 1024 * 768 * 2},  // Format 1 mode 3
            {Fourcc("UYVY"), 1000},            // no mode of that size
        };
    }
    void AddFormat7()
    {
        // Mode 0: Mono8 and YUV422 plus bits beyond code 6; mode 2: Mono16.
        AddFormat7Mode(0, BLOCK0, IIDC_BIT(0) | IIDC_BIT(2) | IIDC_BIT(7) | IIDC_BIT(20));
        AddFormat7Mode(2, BLOCK2, IIDC_BIT(5), 5u << 24);
    }
    std::vector<uint32_t> List(int32_t size)
    {
        std::vector<uint32_t> ids(16, 0xDEADBEEF);
        const int32_t bytes = iidc_getformatidlist(Handle(), ids.data(), size);
        EXPECT_EQ(bytes % 4, 0);
        ids.resize(size_t(std::max(bytes, 0)) / 4);
        return ids;
    }
};

// The capabilities in the driver's order, then Format 7's colour codings up
// to code 6; Format 7 needs its mode bits only, not its format bit.
TEST_F(CatalogueTest, CapabilitiesThenFormat7Codings)
{
    SetRegister(V_MODE_INQ_7, IIDC_BIT(0));   // ignored: V_FORMAT_INQ lacks Format 7
    EXPECT_EQ(iidc_getformatcount(Handle()), 6);
    AddFormat7();
    EXPECT_EQ(iidc_getformatcount(Handle()), 6 + 2 + 1);
    const std::vector<uint32_t> all = {0xFF703002, 0xFF705000, 0xFF707000, 0xFF703102,
                                       0xFF700700, 0xFF700702, 0xFF702705};
    EXPECT_EQ(List(64), all);
    SetRegister(V_FORMAT_INQ, 0);
    EXPECT_EQ(List(64), all);
}

TEST_F(CatalogueTest, ListStopsAtTheCapacity)
{
    AddFormat7();
    // Full after the capabilities: no Format 7 register is read.
    EXPECT_EQ(List(4), std::vector<uint32_t>{0xFF703002});
    EXPECT_TRUE(m_pRegisters->m_reads.empty());
    // Only the first capacity capabilities are examined; a partial entry is
    // ignored.
    EXPECT_EQ(List(11), (std::vector<uint32_t>{0xFF703002, 0xFF700700}));
    // Full inside the Format 7 entries.
    const std::vector<uint32_t> ids = List(4 * 6);
    EXPECT_EQ(ids.size(), 6u);
    EXPECT_EQ(ids.back(), 0xFF700702u);
}

TEST_F(CatalogueTest, MissingStreamConfigurationIsAnInvalidHandle)
{
    m_pCamera->m_pStreamConfig.Reset();
    m_pStreamConfig = nullptr;
    uint32_t ids[4];
    EXPECT_EQ(iidc_getformatcount(Handle()), 0);
    EXPECT_EQ(iidc_getformatidlist(Handle(), ids, sizeof ids), 0);
    EXPECT_EQ(GlobalCode(), IIDC_ERR_INVALID_HANDLE);
    EXPECT_EQ(CameraCode(), 0u);
}

TEST_F(CatalogueTest, DriverAndRegisterFailuresAreRecorded)
{
    AddFormat7();
    uint32_t ids[16];
    m_pStreamConfig->m_failCapsAt = 3;   // earlier media types are given back too
    EXPECT_EQ(iidc_getformatidlist(Handle(), ids, sizeof ids), 0);
    EXPECT_EQ(CameraCode(), IIDC_ERR_FAIL);
    m_pStreamConfig->m_failCapsAt = -1;

    m_pStreamConfig->m_hrCount = E_UNEXPECTED;
    ClearCodes();
    EXPECT_EQ(iidc_getformatcount(Handle()), 0);
    EXPECT_EQ(CameraCode(), IIDC_ERR_FAIL);
    m_pStreamConfig->m_hrCount = S_OK;

    for (uint32_t offset : {V_FORMAT_INQ, V_MODE_INQ_7, V_CSR_INQ_7(2), BLOCK2 + F7_COLOR_CODING_INQ}) {
        m_pRegisters->m_failing = {offset};
        ClearCodes();
        EXPECT_EQ(iidc_getformatcount(Handle()), 0) << std::hex << offset;
        EXPECT_EQ(CameraCode(), IIDC_ERR_FAIL);
    }
}

// Standard modes are described from the table alone, whether the camera has
// them or not, and only format and mode are read from the id.
TEST_F(CatalogueTest, StandardInfoComesFromTheTableAlone)
{
    iidc_formatinfo info{};
    EXPECT_EQ(iidc_getformatinfo(Handle(), &info, 1, 0x00003105), 1);
    EXPECT_EQ(info.capabilities, IIDC_FORMATCAPS_STANDARD);
    EXPECT_EQ(info.color, IIDC_COLOR_YUV422);
    EXPECT_EQ(info.width, 1024);
    EXPECT_EQ(info.height, 768);
    EXPECT_TRUE(m_pRegisters->m_reads.empty());
}

TEST_F(CatalogueTest, Format7InfoComesFromTheModesRegisters)
{
    AddFormat7();
    SetRegister(BLOCK2 + F7_MAX_IMAGE_SIZE_INQ, 0x05000400);
    iidc_formatinfo info{};
    EXPECT_EQ(iidc_getformatinfo(Handle(), &info, sizeof info, 0xFF702700), 1);
    EXPECT_EQ(info.capabilities, IIDC_FORMATCAPS_SCALABLE);
    EXPECT_EQ(info.color, IIDC_COLOR_MONO16);
    EXPECT_EQ(info.width, 1280);
    EXPECT_EQ(info.height, 1024);
    EXPECT_EQ(info.format, 7);

    m_pRegisters->m_failing = {BLOCK2 + F7_MAX_IMAGE_SIZE_INQ};
    info = {};
    EXPECT_EQ(iidc_getformatinfo(Handle(), &info, sizeof info, 0xFF702700), 0);
    EXPECT_EQ(CameraCode(), IIDC_ERR_FAIL);
    EXPECT_EQ(info.color, IIDC_COLOR_MONO16);   // written before the failing read
    EXPECT_EQ(info.width, 0);
}

TEST_F(CatalogueTest, CurrentFormatTagsStandardModesApart)
{
    SetRegister(CUR_V_FORMAT, 0u << 29);
    SetRegister(CUR_V_MODE, 5u << 29);
    EXPECT_EQ(iidc_currentformat(Handle()), 0xFF605000u);
    SetRegister(CUR_V_MODE, 0);
    EXPECT_EQ(iidc_currentformat(Handle()), 0xFF600000u);   // never 0 on success
    EXPECT_EQ(m_pRegisters->m_reads.back(), CUR_V_MODE);

    AddFormat7();
    SetRegister(CUR_V_FORMAT, 7u << 29);
    SetRegister(CUR_V_MODE, 2u << 29);
    EXPECT_EQ(iidc_currentformat(Handle()), 0xFF702705u);

    m_pRegisters->m_failing = {BLOCK2 + F7_COLOR_CODING_ID};
    EXPECT_EQ(iidc_currentformat(Handle()), 0u);
    EXPECT_EQ(CameraCode(), IIDC_ERR_FAIL);
}

} // namespace
