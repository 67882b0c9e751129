#include "frame_image.h"

#include <cstring>

#include "iidc.h"

namespace iidctool {

CImage ImageFromBottomUpBgr(const uint8_t* pBits, int nWidth, int nHeight)
{
    CImage image{nWidth, nHeight, 3, 8, {}};
    image.pixels.resize(image.RowBytes() * std::size_t(nHeight));
    const std::size_t cbStride = (std::size_t(nWidth) * 3 + 3) & ~std::size_t(3);
    for (int y = 0; y < nHeight; ++y) {
        const uint8_t* pSource = pBits + cbStride * std::size_t(nHeight - 1 - y);
        uint8_t* pTarget = image.pixels.data() + image.RowBytes() * std::size_t(y);
        for (int x = 0; x < nWidth; ++x, pSource += 3, pTarget += 3) {
            pTarget[0] = pSource[2];
            pTarget[1] = pSource[1];
            pTarget[2] = pSource[0];
        }
    }
    return image;
}

CImage GreyOf(const CImage& image)
{
    CImage grey{image.nWidth, image.nHeight, 1, 8, {}};
    grey.pixels.reserve(std::size_t(image.nWidth) * std::size_t(image.nHeight));
    for (int y = 0; y < image.nHeight; ++y)
        for (int x = 0; x < image.nWidth; ++x)
            grey.pixels.push_back(image.Sample8(x, y, 0));
    return grey;
}

std::optional<CImage> ImageFromRawFrame(const uint8_t* pFrame, int nColor, int nWidth, int nHeight)
{
    CImage image{nWidth, nHeight, 1, 8, {}};
    switch (nColor) {
    case IIDC_COLOR_MONO8: break;
    case IIDC_COLOR_MONO16: image.nBitDepth = 16; break;
    case IIDC_COLOR_RGB8: image.nChannels = 3; break;
    case IIDC_COLOR_RGB16: image.nChannels = 3; image.nBitDepth = 16; break;
    default: return std::nullopt;
    }
    // The IIDC layouts of these codings are the image layout already.
    image.pixels.assign(pFrame, pFrame + image.RowBytes() * std::size_t(nHeight));
    return image;
}

std::size_t RawFrameBytes(int nColor, int nWidth, int nHeight)
{
    const std::size_t nPixels = std::size_t(nWidth) * std::size_t(nHeight);
    switch (nColor) {
    case IIDC_COLOR_MONO8: return nPixels;
    case IIDC_COLOR_YUV411: return nPixels * 3 / 2;
    case IIDC_COLOR_YUV422: return nPixels * 2;
    case IIDC_COLOR_YUV444:
    case IIDC_COLOR_RGB8: return nPixels * 3;
    case IIDC_COLOR_MONO16: return nPixels * 2;
    case IIDC_COLOR_RGB16: return nPixels * 6;
    default: return 0;
    }
}

}  // namespace iidctool
