// Quadlets per isochronous packet of the Format 0-2 modes, generated from the
// project's table data/packet_sizes.csv (kept beside the design notes): one row
// per mode in the order format x 8 + mode, one column per frame-rate code 0-5
// (1.875, 3.75, 7.5, 15, 30 and 60 frames per second). -1 marks a combination
// for which IIDC defines no packet size. Regenerate from the CSV; do not edit.
#pragma once

#include "format/format_id.h"
#include "winapi.h"

constexpr DWORD PACKET_SIZE_RATE_CODES = 6;

inline constexpr LONG PACKET_SIZES[STANDARD_FORMAT_COUNT * MODES_PER_FORMAT][PACKET_SIZE_RATE_CODES] = {
    {-1, -1, 15, 30, 60, -1}, // format 0 mode 0
    {-1, 20, 40, 80, 160, -1}, // format 0 mode 1
    {-1, 60, 120, 240, 480, -1}, // format 0 mode 2
    {-1, 80, 160, 320, 640, -1}, // format 0 mode 3
    {-1, 120, 240, 480, 960, -1}, // format 0 mode 4
    {-1, 40, 80, 160, 320, 640}, // format 0 mode 5
    {-1, 80, 160, 320, 640, -1}, // format 0 mode 6
    {-1, -1, -1, -1, -1, -1}, // format 0 mode 7
    {-1, 125, 250, 500, 1000, -1}, // format 1 mode 0
    {-1, -1, 375, 750, -1, -1}, // format 1 mode 1
    {-1, -1, 125, 250, 500, 1000}, // format 1 mode 2
    {96, 192, 384, 768, -1, -1}, // format 1 mode 3
    {144, 288, 576, -1, -1, -1}, // format 1 mode 4
    {48, 96, 192, 384, 768, -1}, // format 1 mode 5
    {-1, 125, 250, 500, 1000, -1}, // format 1 mode 6
    {96, 192, 384, 768, -1, -1}, // format 1 mode 7
    {160, 320, 640, -1, -1, -1}, // format 2 mode 0
    {240, 480, 960, -1, -1, -1}, // format 2 mode 1
    {80, 160, 320, 640, -1, -1}, // format 2 mode 2
    {250, 500, 1000, -1, -1, -1}, // format 2 mode 3
    {375, 750, -1, -1, -1, -1}, // format 2 mode 4
    {125, 250, 500, 1000, -1, -1}, // format 2 mode 5
    {160, 320, 640, -1, -1, -1}, // format 2 mode 6
    {250, 500, 1000, -1, -1, -1}, // format 2 mode 7
};
