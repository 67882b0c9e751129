// The fixed tables of the IIDC video formats: colour codes with the media
// subtypes the driver speaks, the standard modes of Formats 0-2 and the
// frame-rate codes.
#pragma once

#include <cstring>

#include "format/format_id.h"
#include "winapi.h"

// Colour codes a Format 7 mode can list (COLOR_CODING_INQ bits 0-6); the
// codes themselves are IIDC_COLOR_*.
constexpr uint32_t COLOUR_CODE_COUNT = IIDC_COLOR_RGB16 + 1;

// {E436EB7A-524F-11CE-9F53-0020AF0BA770}
inline constexpr GUID SUBTYPE_MONO8 = {
    0xE436EB7A, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};

// {XXXXXXXX-0000-0010-8000-00AA00389B71}: the subtype of a FOURCC, whose first
// character sits in the lowest byte of the first field.
constexpr GUID FourccSubtype(DWORD fourcc)
{
    return {fourcc, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}
constexpr DWORD MakeFourcc(char a, char b, char c, char d)
{
    return DWORD(BYTE(a)) | DWORD(BYTE(b)) << 8 | DWORD(BYTE(c)) << 16 | DWORD(BYTE(d)) << 24;
}

// The media subtype of colour codes 0-5; RGB16 has none (it occurs only as a
// Format 7 colour coding). Mono16 is the FOURCC template with a zero first field.
inline constexpr GUID COLOUR_SUBTYPES[] = {
    SUBTYPE_MONO8,
    FourccSubtype(MakeFourcc('I', 'Y', 'U', '1')),
    FourccSubtype(MakeFourcc('U', 'Y', 'V', 'Y')),
    FourccSubtype(MakeFourcc('I', 'Y', 'U', '2')),
    FourccSubtype(MakeFourcc('R', 'G', 'B', '8')),
    FourccSubtype(0),
};
static_assert(sizeof COLOUR_SUBTYPES / sizeof COLOUR_SUBTYPES[0] == IIDC_COLOR_MONO16 + 1);

inline bool SameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

struct STANDARD_MODE
{
    int32_t nColour;
    int32_t nWidth;
    int32_t nHeight;
    int32_t nBitsPerPixel;

    constexpr int32_t FrameBytes() const { return nWidth * nHeight * nBitsPerPixel / 8; }
};

// One row per Format 0-2 mode, indexed by format x 8 + mode. Format 0 mode 7
// is undefined: its row is all zero and takes part in matching like any other.
inline constexpr STANDARD_MODE STANDARD_MODES[STANDARD_FORMAT_COUNT * MODES_PER_FORMAT] = {
    {IIDC_COLOR_YUV444, 160, 120, 24},   {IIDC_COLOR_YUV422, 320, 240, 16},   {IIDC_COLOR_YUV411, 640, 480, 12},
    {IIDC_COLOR_YUV422, 640, 480, 16},   {IIDC_COLOR_RGB8, 640, 480, 24},     {IIDC_COLOR_MONO8, 640, 480, 8},
    {IIDC_COLOR_MONO16, 640, 480, 16},   {0, 0, 0, 0},

    {IIDC_COLOR_YUV422, 800, 600, 16},   {IIDC_COLOR_RGB8, 800, 600, 24},     {IIDC_COLOR_MONO8, 800, 600, 8},
    {IIDC_COLOR_YUV422, 1024, 768, 16},  {IIDC_COLOR_RGB8, 1024, 768, 24},    {IIDC_COLOR_MONO8, 1024, 768, 8},
    {IIDC_COLOR_MONO16, 800, 600, 16},   {IIDC_COLOR_MONO16, 1024, 768, 16},

    {IIDC_COLOR_YUV422, 1280, 960, 16},  {IIDC_COLOR_RGB8, 1280, 960, 24},    {IIDC_COLOR_MONO8, 1280, 960, 8},
    {IIDC_COLOR_YUV422, 1600, 1200, 16}, {IIDC_COLOR_RGB8, 1600, 1200, 24},   {IIDC_COLOR_MONO8, 1600, 1200, 8},
    {IIDC_COLOR_MONO16, 1280, 960, 16},  {IIDC_COLOR_MONO16, 1600, 1200, 16},
};

// The row of a standard format and mode (format 0-2, mode 0-7).
constexpr const STANDARD_MODE& StandardMode(uint32_t format, uint32_t mode)
{
    return STANDARD_MODES[format * MODES_PER_FORMAT + mode];
}

// Frames per second by IIDC frame-rate code. Code 5 (60 frames per second in
// IIDC) is held as 0.0: searches for a supported rate look at codes 0-4 only.
inline constexpr float FRAME_RATES[] = {1.875f, 3.75f, 7.5f, 15.0f, 30.0f, 0.0f};
constexpr uint32_t RATE_CODES_SEARCHED = 5;

// Frame intervals are in units of 100 ns.
constexpr double INTERVAL_UNITS_PER_SECOND = 10000000.0;

// The interval of a rate, truncated toward zero (30 fps gives 333333). The
// caller makes sure the quotient fits.
constexpr REFERENCE_TIME FrameInterval(double framesPerSecond)
{
    return static_cast<REFERENCE_TIME>(INTERVAL_UNITS_PER_SECOND / framesPerSecond);
}

// The lowest and highest frame-rate codes 0-4 a V_RATE_INQ_f_m value
// supports, or -1 when it supports none of them.
int LowestRateCode(uint32_t rateInquiry);
int HighestRateCode(uint32_t rateInquiry);

static_assert(StandardMode(0, 5).FrameBytes() == 307200);
static_assert(StandardMode(0, 2).FrameBytes() == 460800);
static_assert(FrameInterval(FRAME_RATES[0]) == 5333333 && FrameInterval(FRAME_RATES[4]) == 333333);
