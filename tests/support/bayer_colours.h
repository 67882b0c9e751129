// Whether a picture demosaiced from a virtual Bayer camera has the pattern's
// colours: red its luma ramp, green its bars, blue the ramp reversed, so a
// red/blue swap or a wrong phase shows everywhere.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "vcam/model/pattern.h"

// Pixels (every fourth in each direction, away from the borders, the frame
// number in the top row, the bars' edges and the ramp's wrap) whose red,
// green or blue is more than a rounding step off the pattern; rgbOffsets
// are the bytes of red, green and blue in a pixel (of 16-bit samples, their
// most significant bytes).
inline int PatternColourMisses(const uint8_t* pPixels, std::size_t cbStride, std::size_t cbPixel,
                               std::array<std::size_t, 3> rgbOffsets, int nWidth, int nHeight)
{
    const auto sample = [&](int x, int y, int c) {
        return int(pPixels[std::size_t(y) * cbStride + std::size_t(x) * cbPixel + rgbOffsets[std::size_t(c)]]);
    };
    const auto visit = [&](auto&& check) {
        for (int y = 8; y < nHeight - 4; y += 4)
            for (int x = 4; x < nWidth - 4; x += 4)
                if (x % 16 >= 4 && x % 16 < 12)
                    check(x, y);
    };
    // The frame number: the most common offset of red from frame 0's ramp.
    std::array<int, 256> votes{};
    visit([&](int x, int y) {
        ++votes[std::size_t((sample(x, y, 0) - vcam::PatternAt(uint32_t(x), uint32_t(y), 0).r) & 255)];
    });
    uint32_t nSequence = 0;
    for (uint32_t i = 0; i < 256; ++i)
        nSequence = votes[i] > votes[nSequence] ? i : nSequence;
    int nMisses = 0;
    visit([&](int x, int y) {
        const vcam::PatternPixel expected = vcam::PatternAt(uint32_t(x), uint32_t(y), nSequence);
        if (expected.r < 8 || expected.r > 247)
            return;
        const int rgb[3] = {expected.r, expected.g, expected.b};
        for (int c = 0; c < 3; ++c)
            if (std::abs(sample(x, y, c) - rgb[c]) > 2) {
                ++nMisses;
                return;
            }
    });
    return nMisses;
}
