// The format id (see iidc.h): the IIDC format in bits 8-10, the mode in bits
// 12-14, the colour code in the low byte and a tag in bits 20-31. Operations
// that take an id read only format and mode; the colour byte only reports.
#pragma once

#include <cstdint>

#include "iidc.h"

// Formats 0-2 hold the standard modes; 7 (IIDC_FORMAT_SCALABLE) is Format 7.
constexpr uint32_t STANDARD_FORMAT_COUNT = 3;
constexpr uint32_t MODES_PER_FORMAT = 8;

constexpr uint32_t FormatOfId(uint32_t id) { return uint32_t(IIDC_FORMATID_FORMAT(id)); }
constexpr uint32_t ModeOfId(uint32_t id) { return uint32_t(IIDC_FORMATID_MODE(id)); }
constexpr bool IsStandardFormat(uint32_t format) { return format < STANDARD_FORMAT_COUNT; }

// The id of a listed entry.
constexpr uint32_t ListedFormatId(uint32_t format, uint32_t mode, uint32_t colour)
{
    return IIDC_FORMATID(format, mode, colour);
}

// The id iidc_currentformat reports: a Format 0-2 mode has its own tag and no
// colour byte, so it never equals the listed entry of the same mode.
constexpr uint32_t CurrentFormatId(uint32_t format, uint32_t mode, uint32_t colour)
{
    return format == IIDC_FORMAT_SCALABLE ? ListedFormatId(format, mode, colour)
                                          : IIDC_FORMATID_CURRENT | (mode & 0xF) << 12 | (format & 0xF) << 8;
}

static_assert(ListedFormatId(1, 3, 2) == 0xFF703102);
static_assert(CurrentFormatId(1, 3, 2) == 0xFF603100);
static_assert(CurrentFormatId(IIDC_FORMAT_SCALABLE, 2, 5) == 0xFF702705);
static_assert(FormatOfId(0xFFFFFF7F) == 7 && ModeOfId(0xFFFFFF7F) == 7);
