// Colour images of captured frames through the public interface, on virtual
// cameras whose frames come only when a test steps their clock.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "capture/sample_grabber_cb.h"
#include "colour_oracle.h"
#include "core/camera.h"
#include "core/library.h"
#include "registers/offsets.h"
#include "tests/support/camera_fixture.h"
#include "vcam/model/pattern.h"

namespace {

constexpr DWORD MARK = 0x0BADC0DE;   // a code no call records

vcam::Profile ColourCamera(const std::string& strModel)
{
    vcam::Profile profile = vcam::BuiltInCameraSet()[0];
    profile.strModel = strModel;
    return profile;
}

// A camera that starts in Format 7 mode 0 with the given coding and image
// area, on a sensor of up to 64 x 16 pixels with one-pixel steps.
vcam::Profile Format7Camera(uint32_t nColour, uint32_t nWidth, uint32_t nHeight)
{
    vcam::Profile profile;
    profile.strFriendlyName = "Area Camera";
    profile.strVendor = "Test Vendor";
    profile.strModel = "AREA-1";
    profile.ullUniqueId = 0x00A0B0C0D0E0F002ull;
    vcam::Format7ModeProfile mode;
    mode.nMaxWidth = 64;
    mode.nMaxHeight = 16;
    mode.colorCodings = {IIDC_COLOR_MONO8, IIDC_COLOR_YUV411, IIDC_COLOR_YUV422, IIDC_COLOR_YUV444,
                         IIDC_COLOR_RGB8, IIDC_COLOR_MONO16};
    mode.nColor = nColour;
    mode.nWidth = nWidth;
    mode.nHeight = nHeight;
    profile.format7Modes = {mode};
    profile.nInitialFormat = IIDC_FORMAT_SCALABLE;
    profile.nInitialMode = 0;
    return profile;
}

// The first differing byte, if any.
::testing::AssertionResult SameBytes(std::span<const uint8_t> actual, std::span<const uint8_t> expected)
{
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << actual.size() << " bytes, expected " << expected.size();
    for (size_t i = 0; i < actual.size(); ++i)
        if (actual[i] != expected[i])
            return ::testing::AssertionFailure() << "byte " << i << " is " << int(actual[i]) << ", expected "
                                                 << int(expected[i]);
    return ::testing::AssertionSuccess();
}

class LockBitsTest : public CCameraTest {
protected:
    // Opens camera 0 of set (in its power-up format, or in Format 0 mode
    // nMode when given), puts a ring of nBuffers in place and starts
    // continuous capture. No frame has arrived yet.
    void StartCapture(std::vector<vcam::Profile> set, int nMode = -1, int32_t nBuffers = 2)
    {
        Start(std::move(set));
        m_hCamera = Open(0);
        ASSERT_NE(m_hCamera, nullptr);
        if (nMode >= 0) {
            ASSERT_TRUE(iidc_setformat(m_hCamera, IIDC_FORMATID(0, nMode, 0)));
        }
        ASSERT_TRUE(iidc_preparecapture(m_hCamera));
        ASSERT_EQ(iidc_allocframe(m_hCamera, nBuffers), nBuffers);
        ASSERT_TRUE(iidc_capture(m_hCamera, 1));
    }

    CCamera& Camera() const { return *reinterpret_cast<CCamera*>(m_hCamera); }
    CSampleGrabberCB& Callback() const { return *Camera().m_pCallback; }

    // Releases n frames and waits (bounded) until the ring holds them.
    void Deliver(LONG n)
    {
        const LONG nTarget = Callback().FramesStored() + n;
        m_clocks[0]->Step(static_cast<uint64_t>(n));
        while (Callback().FramesStored() < nTarget)
            ASSERT_EQ(WaitForSingleObject(Camera().m_hFrameEvent, 10000), WAIT_OBJECT_0) << "frames stopped";
    }

    // A copy of buffer index of the ring.
    std::vector<uint8_t> Frame(int32_t index) const
    {
        const BYTE* p = Camera().m_ppFrames[index];
        return {p, p + Camera().m_cbFrame};
    }

    std::span<const uint8_t> Image(int nWidth, int nHeight) const
    {
        return {Camera().m_pRgbBuffer, ImageStride(nWidth) * size_t(nHeight)};
    }

    // Fills the conversion buffer, so that a call that writes nothing shows.
    void FillConversionBuffer() const { std::memset(Camera().m_pRgbBuffer, 0xA5, Camera().m_cbRgbBuffer); }
    bool ConversionBufferUntouched() const
    {
        for (size_t i = 0; i < Camera().m_cbRgbBuffer; ++i)
            if (Camera().m_pRgbBuffer[i] != 0xA5)
                return false;
        return true;
    }

    static void Mark() { SetErrorCode(0, MARK); }
    static uint32_t CameraSlot() { return iidc_getlasterror(0); }

    iidc_handle m_hCamera = nullptr;
};

// The frame the virtual camera draws for a sequence number, rows in the
// order they reach the ring.
std::vector<uint8_t> PatternFrame(int nColour, int nWidth, int nHeight, uint32_t nSequence, size_t cbFrame,
                                  bool bBottomUp)
{
    std::vector<uint8_t> frame(cbFrame);
    vcam::DrawTestPattern(uint32_t(nColour), uint32_t(nWidth), uint32_t(nHeight), nSequence, frame);
    if (bBottomUp) {
        std::vector<uint8_t> flipped(cbFrame);
        for (int r = 0; r < nHeight; ++r)
            std::memcpy(&flipped[size_t(nHeight - 1 - r) * size_t(nWidth)], &frame[size_t(r) * size_t(nWidth)],
                        size_t(nWidth));
        frame = flipped;
    }
    return frame;
}

struct CODING_CASE {
    int nMode;   // Format 0 mode, or -1 for Format 7
    int nColour;
    int nWidth, nHeight;
};

void PrintTo(const CODING_CASE& c, std::ostream* os)
{
    *os << "mode " << c.nMode << " colour " << c.nColour << " " << c.nWidth << "x" << c.nHeight;
}

class LockBitsCodingTest : public LockBitsTest, public ::testing::WithParamInterface<CODING_CASE> {};

// A captured frame of each colour coding becomes the bottom-up BGR image of
// the defined formulas, with the floating-point formula for an unlisted model.
TEST_P(LockBitsCodingTest, CapturedFrameConvertsToTheExpectedImage)
{
    const CODING_CASE c = GetParam();
    const bool bFormat7 = c.nMode < 0;
    StartCapture({bFormat7 ? Format7Camera(uint32_t(c.nColour), uint32_t(c.nWidth), uint32_t(c.nHeight))
                           : ColourCamera("VC-1280C")},
                 c.nMode);
    // Room for every padded row, so neither the conversion nor the platform
    // bitmap goes past the buffer at any width.
    ASSERT_GE(Camera().m_cbRgbBuffer, ImageStride(c.nWidth) * size_t(c.nHeight));
    Deliver(1);

    const std::vector<uint8_t> frame = Frame(Callback().CurrentIndex());
    // An 8-bit grey Format 7 frame reaches the ring bottom row first.
    const bool bBottomUp = bFormat7 && c.nColour == IIDC_COLOR_MONO8;
    const size_t nSequenceAt = bBottomUp ? size_t(c.nHeight - 1) * size_t(c.nWidth) : 0;
    const uint32_t nSequence = vcam::FrameSequence(std::span(frame).subspan(nSequenceAt));
    ASSERT_TRUE(SameBytes(frame, PatternFrame(c.nColour, c.nWidth, c.nHeight, nSequence, frame.size(), bBottomUp)))
        << "not the camera's frame";

    unsigned char* pImage = iidc_lockbits(m_hCamera, -1);
    ASSERT_NE(pImage, nullptr) << std::hex << CameraSlot();
    EXPECT_EQ(pImage, Camera().m_pRgbBuffer);
    EXPECT_TRUE(SameBytes(Image(c.nWidth, c.nHeight), ExpectedImage(c.nColour, frame.data(), c.nWidth, c.nHeight, true)));
}

// Widths that are not a multiple of a converter's group: each row is
// converted whole, into rows padded to a multiple of 4 bytes.
INSTANTIATE_TEST_SUITE_P(Format7OddWidths, LockBitsCodingTest,
                         ::testing::Values(CODING_CASE{-1, IIDC_COLOR_MONO8, 37, 5},
                                           CODING_CASE{-1, IIDC_COLOR_MONO8, 2, 3},
                                           CODING_CASE{-1, IIDC_COLOR_YUV444, 37, 5},
                                           CODING_CASE{-1, IIDC_COLOR_MONO16, 37, 5},
                                           CODING_CASE{-1, IIDC_COLOR_YUV422, 6, 4},
                                           CODING_CASE{-1, IIDC_COLOR_YUV411, 12, 3},
                                           CODING_CASE{-1, IIDC_COLOR_YUV411, 64, 16}));

struct MODEL_CASE {
    const char* pszModel;
    bool bFloatYuv;
};

void PrintTo(const MODEL_CASE& c, std::ostream* os) { *os << '"' << c.pszModel << '"'; }

class LockBitsModelTest : public LockBitsTest, public ::testing::WithParamInterface<MODEL_CASE> {};

TEST_P(LockBitsModelTest, ModelNameChoosesTheYuvFormula)
{
    StartCapture({ColourCamera(GetParam().pszModel)}, 0);   // 160 x 120 YUV 4:4:4
    Deliver(1);
    const std::vector<uint8_t> frame = Frame(Callback().CurrentIndex());
    const auto floatImage = ExpectedImage(IIDC_COLOR_YUV444, frame.data(), 160, 120, true);
    const auto integerImage = ExpectedImage(IIDC_COLOR_YUV444, frame.data(), 160, 120, false);
    ASSERT_NE(floatImage, integerImage) << "the frame cannot tell the formulas apart";

    ASSERT_NE(iidc_lockbits(m_hCamera, -1), nullptr);
    EXPECT_TRUE(SameBytes(Image(160, 120), GetParam().bFloatYuv ? floatImage : integerImage));
}

INSTANTIATE_TEST_SUITE_P(
    Names, LockBitsModelTest,
    // Name matching itself is the model list's own test; here the name read
    // from the camera reaches it, no more than 16 bytes of it.
    ::testing::Values(MODEL_CASE{"MHP-Z610", false}, MODEL_CASE{"VC-1280C", true},
                      MODEL_CASE{"MHP-Z610 with a long name", true}));

TEST_F(LockBitsTest, UnreadableModelNameGetsTheFloatingPointFormula)
{
    StartCapture({ColourCamera("KQX_RT710")}, 0);
    Deliver(1);
    const std::vector<uint8_t> frame = Frame(Callback().CurrentIndex());
    // Every configuration ROM read fails; the camera's registers still answer.
    vcam::GetCameraFaults(0)->readFailure.Set(iidc_reg::RomOffset(0x400), iidc_reg::RomOffset(0x7FC));
    ASSERT_NE(iidc_lockbits(m_hCamera, -1), nullptr);
    EXPECT_TRUE(SameBytes(Image(160, 120), ExpectedImage(IIDC_COLOR_YUV444, frame.data(), 160, 120, true)));
}

// The format and area in force decide the size; the ring was made for the
// one connected before. A larger image, or a frame larger than a ring buffer
// (640 x 480 YUV 4:1:1 after Mono8: its image fits the conversion buffer,
// its frame does not), is refused untouched, any temporary bitmap deleted.
struct RESIZE_CASE {
    const char* pszName;
    bool bFormat7;   // Format 7 Mono8 32 x 8, else the colour camera in Format 0 mode nFrom
    int nFrom;
    std::function<bool(iidc_handle)> change;
};

void PrintTo(const RESIZE_CASE& c, std::ostream* os) { *os << c.pszName; }

class LockBitsResizeTest : public LockBitsTest, public ::testing::WithParamInterface<RESIZE_CASE> {};

TEST_P(LockBitsResizeTest, LargerThanTheRingIsRefused)
{
    const RESIZE_CASE& c = GetParam();
    if (c.bFormat7)
        StartCapture({Format7Camera(IIDC_COLOR_MONO8, 32, 8)});
    else
        StartCapture({ColourCamera("VC-1280C")}, c.nFrom);
    Deliver(1);
    ASSERT_TRUE(iidc_idle(m_hCamera));
    ASSERT_TRUE(c.change(m_hCamera));
    FillConversionBuffer();
    Mark();
    emul::ResetFaults();
    EXPECT_EQ(iidc_lockbits(m_hCamera, -1), nullptr);
    EXPECT_EQ(CameraSlot(), IIDC_ERR_NOT_SUPPORTED);
    EXPECT_TRUE(ConversionBufferUntouched());
    EXPECT_EQ(emul::CallCount("CreateBitmap"), emul::CallCount("DeleteObject"));
}

INSTANTIATE_TEST_SUITE_P(
    Changes, LockBitsResizeTest,
    ::testing::Values(RESIZE_CASE{"LargerFormat", false, 0,
                                  [](iidc_handle h) { return iidc_setformat(h, IIDC_FORMATID(0, 1, 0)) == 1; }},
                      RESIZE_CASE{"FrameLargerThanABuffer", false, 5,
                                  [](iidc_handle h) { return iidc_setformat(h, IIDC_FORMATID(0, 2, 0)) == 1; }},
                      RESIZE_CASE{"LargerArea", true, 0,
                                  [](iidc_handle h) {
                                      const iidc_area area = {0, 0, 33, 8};
                                      return iidc_setarea(h, &area, sizeof area) == 1;
                                  }}),
    [](const ::testing::TestParamInfo<RESIZE_CASE>& paramInfo) { return std::string(paramInfo.param.pszName); });

TEST_F(LockBitsTest, SmallerFormatAfterTheRingReadsTheFrameInTheNewFormat)
{
    StartCapture({ColourCamera("VC-1280C")}, 5);   // 640 x 480 Mono8
    Deliver(1);
    const std::vector<uint8_t> frame = Frame(Callback().CurrentIndex());
    ASSERT_TRUE(iidc_idle(m_hCamera));
    ASSERT_TRUE(iidc_setformat(m_hCamera, IIDC_FORMATID(0, 0, 0)));   // 160 x 120 YUV 4:4:4
    ASSERT_NE(iidc_lockbits(m_hCamera, -1), nullptr);
    EXPECT_TRUE(SameBytes(Image(160, 120), ExpectedImage(IIDC_COLOR_YUV444, frame.data(), 160, 120, true)));
}

// 36 x 2 pixels of 16-bit grey: rows of 108 bytes, 216 in all. An area of
// 5 x 14 has fewer pixels, so its frame fits a ring buffer and its image
// fits in 210 bytes unpadded, but its rows padded to 16 bytes need 224.
TEST_F(LockBitsTest, ImageWhosePaddedRowsDoNotFitIsRefused)
{
    StartCapture({Format7Camera(IIDC_COLOR_MONO16, 36, 2)});
    ASSERT_EQ(Camera().m_cbRgbBuffer, 216u);
    Deliver(1);
    const std::vector<uint8_t> frame = Frame(Callback().CurrentIndex());
    ASSERT_TRUE(iidc_idle(m_hCamera));
    const iidc_area area = {0, 0, 5, 14};
    ASSERT_TRUE(iidc_setarea(m_hCamera, &area, sizeof area));
    FillConversionBuffer();
    Mark();
    emul::ResetFaults();
    EXPECT_EQ(iidc_lockbits(m_hCamera, -1), nullptr);
    EXPECT_EQ(CameraSlot(), IIDC_ERR_NOT_SUPPORTED);
    EXPECT_TRUE(ConversionBufferUntouched());
    // Refused before the platform bitmap, which would read the buffer.
    EXPECT_EQ(emul::CallCount("CreateBitmap"), 0);

    // An area whose padded rows fit is converted from the frame at hand.
    const iidc_area narrow = {0, 0, 4, 14};
    ASSERT_TRUE(iidc_setarea(m_hCamera, &narrow, sizeof narrow));
    ASSERT_NE(iidc_lockbits(m_hCamera, -1), nullptr);
    EXPECT_TRUE(SameBytes(Image(4, 14), ExpectedImage(IIDC_COLOR_MONO16, frame.data(), 4, 14, true)));
}

// The frame stays locked after the call, converted or not, until it is
// unlocked or another frame is locked.
TEST_F(LockBitsTest, FrameStaysLockedUntilUnlocked)
{
    StartCapture({ColourCamera("VC-1280C")}, 0);
    Deliver(2);   // buffers 1 and 0
    ASSERT_NE(iidc_lockbits(m_hCamera, 1), nullptr);
    EXPECT_EQ(Callback().LockMask(), 1u << 1);
    const std::vector<uint8_t> locked = Frame(1);
    Deliver(3);
    EXPECT_EQ(Frame(1), locked);   // every new frame went to buffer 0
    EXPECT_EQ(Callback().CurrentIndex(), 0);

    // The second lock replaces the first, and the image is the second frame's.
    const std::vector<uint8_t> newest = Frame(0);
    ASSERT_NE(iidc_lockbits(m_hCamera, 0), nullptr);
    EXPECT_EQ(Callback().LockMask(), 1u << 0);
    EXPECT_TRUE(SameBytes(Image(160, 120), ExpectedImage(IIDC_COLOR_YUV444, newest.data(), 160, 120, true)));

    Mark();
    iidc_unlockbits(m_hCamera);
    EXPECT_EQ(Callback().LockMask(), 0u);
    EXPECT_EQ(CameraSlot(), MARK);
}

// The temporary bitmap is filled and deleted; when it cannot be made,
// nothing is written or recorded and the frame stays locked.
TEST_F(LockBitsTest, TemporaryBitmap)
{
    StartCapture({ColourCamera("VC-1280C")}, 0);
    Deliver(1);
    emul::ResetFaults();
    ASSERT_NE(iidc_lockbits(m_hCamera, -1), nullptr);
    EXPECT_EQ(emul::CallCount("CreateBitmap"), 1);
    EXPECT_EQ(emul::CallCount("SetBitmapBits"), 1);
    EXPECT_EQ(emul::CallCount("DeleteObject"), 1);

    FillConversionBuffer();
    Mark();
    emul::ResetFaults();
    emul::FailOperation("CreateBitmap", E_OUTOFMEMORY, 1);
    EXPECT_EQ(iidc_lockbits(m_hCamera, -1), nullptr);
    EXPECT_EQ(CameraSlot(), MARK);
    EXPECT_TRUE(ConversionBufferUntouched());
    EXPECT_EQ(Callback().LockMask(), 1u << Callback().CurrentIndex());
}

TEST_F(LockBitsTest, UnreadableFormatFailsWithTheQueryCode)
{
    StartCapture({ColourCamera("VC-1280C")}, 0);
    Deliver(1);
    FillConversionBuffer();
    Mark();
    vcam::GetCameraFaults(0)->readFailure.Set(iidc_reg::CUR_V_MODE, iidc_reg::CUR_V_FORMAT);
    EXPECT_EQ(iidc_lockbits(m_hCamera, -1), nullptr);
    EXPECT_NE(CameraSlot(), MARK);
    EXPECT_TRUE(ConversionBufferUntouched());
}

TEST_F(LockBitsTest, RefusesWithoutAFrameToConvert)
{
    Start();
    EXPECT_EQ(iidc_lockbits(nullptr, -1), nullptr);
    EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_HANDLE);
    iidc_unlockbits(reinterpret_cast<iidc_handle>(&m_clocks));
    EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_HANDLE);

    m_hCamera = Open(0);
    EXPECT_EQ(iidc_lockbits(m_hCamera, -1), nullptr);   // no ring
    EXPECT_EQ(CameraSlot(), IIDC_ERR_NO_FRAMES);
    iidc_unlockbits(m_hCamera);   // nothing locked: nothing happens

    ASSERT_TRUE(iidc_preparecapture(m_hCamera));
    ASSERT_EQ(iidc_allocframe(m_hCamera, 2), 2);
    Mark();
    EXPECT_EQ(iidc_lockbits(m_hCamera, 2), nullptr);   // no such buffer
    EXPECT_EQ(CameraSlot(), MARK);
}

}  // namespace
