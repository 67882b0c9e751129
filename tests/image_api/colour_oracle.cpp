#include "colour_oracle.h"

#include <algorithm>

#include "iidc.h"

namespace {

struct YUV {
    int y, u, v;
};

std::uint8_t Clamp(int n) { return static_cast<std::uint8_t>(std::clamp(n, 0, 255)); }

// Y, U and V of pixel x of a row (grey codings: U = V = 128).
YUV PixelOf(int nColour, const std::uint8_t* pRow, int x)
{
    switch (nColour) {
    case IIDC_COLOR_MONO8: return {pRow[x], 128, 128};
    case IIDC_COLOR_MONO16: return {pRow[2 * x], 128, 128};
    case IIDC_COLOR_YUV444: return {pRow[3 * x + 1], pRow[3 * x], pRow[3 * x + 2]};
    case IIDC_COLOR_YUV422: {
        const std::uint8_t* pPair = pRow + 4 * (x / 2);
        return {pPair[1 + 2 * (x % 2)], pPair[0], pPair[2]};
    }
    case IIDC_COLOR_YUV411: {
        static constexpr int Y_AT[4] = {1, 2, 4, 5};
        const std::uint8_t* pQuad = pRow + 6 * (x / 4);
        return {pQuad[Y_AT[x % 4]], pQuad[0], pQuad[3]};
    }
    default: return {0, 128, 128};
    }
}

std::size_t RowBytes(int nColour, int nWidth)
{
    switch (nColour) {
    case IIDC_COLOR_MONO16: return 2 * std::size_t(nWidth);
    case IIDC_COLOR_YUV444: return 3 * std::size_t(nWidth);
    case IIDC_COLOR_YUV422: return 4 * std::size_t((nWidth + 1) / 2);
    case IIDC_COLOR_YUV411: return 6 * std::size_t((nWidth + 3) / 4);
    default: return std::size_t(nWidth);
    }
}

}  // namespace

std::size_t ImageStride(int nWidth) { return (3 * std::size_t(nWidth) + 3) / 4 * 4; }

std::vector<std::uint8_t> ExpectedImage(int nColour, const std::uint8_t* pFrame, int nWidth, int nHeight,
                                        bool bFloatYuv)
{
    const std::size_t cbStride = ImageStride(nWidth);
    std::vector<std::uint8_t> image(cbStride * std::size_t(nHeight), 0);
    for (int r = 0; r < nHeight; ++r) {
        const std::uint8_t* pRow = pFrame + RowBytes(nColour, nWidth) * std::size_t(r);
        std::uint8_t* pOut = image.data() + cbStride * std::size_t(nHeight - 1 - r);
        for (int x = 0; x < nWidth; ++x) {
            const YUV p = PixelOf(nColour, pRow, x);
            const int u = p.u - 128, v = p.v - 128;
            int b = u, g = -((v >> 1) + ((41 * u) >> 8)), red = v;
            if (bFloatYuv) {
                b = static_cast<int>(1.771 * u);
                g = static_cast<int>(-0.7144 * v - 0.3457 * u);
                red = static_cast<int>(1.4022 * v);
            }
            pOut[3 * x] = Clamp(p.y + b);
            pOut[3 * x + 1] = Clamp(p.y + g);
            pOut[3 * x + 2] = Clamp(p.y + red);
        }
    }
    return image;
}
