#include "frame_image.h"

#include <cstring>
#include <vector>

#include "iidc.h"
#include "names.h"

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

CImage ImageFromMosaic(const uint8_t* pFrame, int nColor, int nWidth, int nHeight, bool bBottomUp,
                       std::optional<BayerFilter> filter, std::optional<DemosaicMethod> method)
{
    const int nBytes = nColor == IIDC_COLOR_MONO16 || nColor == iidccam::COLOR_RAW16 ? 2 : 1;
    const std::size_t cbRow = std::size_t(nWidth) * std::size_t(nBytes);
    const std::size_t cbFrame = cbRow * std::size_t(nHeight);
    // Top row first: the filter names the picture's top-left pixel. A
    // top-down frame is read where it lies.
    std::vector<uint8_t> upright;
    if (bBottomUp) {
        upright.resize(cbFrame);
        for (std::size_t y = 0; y < std::size_t(nHeight); ++y)
            std::memcpy(upright.data() + cbRow * y, pFrame + cbRow * (std::size_t(nHeight) - 1 - y), cbRow);
    }
    const uint8_t* pSamples = bBottomUp ? upright.data() : pFrame;
    if (!filter || !method)
        return CImage{nWidth, nHeight, 1, 8 * nBytes,
                      bBottomUp ? std::move(upright) : std::vector<uint8_t>(pFrame, pFrame + cbFrame)};
    CImage image{nWidth, nHeight, 3, 8 * nBytes, {}};
    image.pixels.resize(image.RowBytes() * std::size_t(nHeight));
    if (nBytes == 1) {
        Demosaic8(pSamples, cbFrame, cbRow, image.pixels.data(), image.pixels.size(), image.RowBytes(), nWidth,
                  nHeight, *filter, *method, ColourOrder::Rgb);
        return image;
    }
    std::vector<uint16_t> colour(std::size_t(nWidth) * std::size_t(nHeight) * 3);
    Demosaic16(pSamples, cbFrame, cbRow, false, colour.data(), colour.size() * 2, std::size_t(nWidth) * 6,
               nWidth, nHeight, *filter, *method, ColourOrder::Rgb);
    // The picture holds 16-bit samples most significant byte first.
    for (std::size_t i = 0; i < colour.size(); ++i) {
        image.pixels[2 * i] = uint8_t(colour[i] >> 8);
        image.pixels[2 * i + 1] = uint8_t(colour[i]);
    }
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
