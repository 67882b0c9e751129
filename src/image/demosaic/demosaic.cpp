// The names of filters and methods, the filter of an area, and the frame
// functions on the fastest kernels.
#include "image/demosaic/demosaic.h"

#include <array>

#include "image/demosaic/demosaic_rows.h"
#include "image/demosaic/filter_phase.h"

namespace {

constexpr std::array<std::string_view, BAYER_FILTER_COUNT> FILTER_NAMES = {"RGGB", "GBRG", "GRBG",
                                                                          "BGGR"};
constexpr std::array<std::string_view, DEMOSAIC_METHOD_COUNT> METHOD_NAMES = {"nearest",
                                                                             "bilinear", "hq"};

bool EqualIgnoringCase(std::string_view a, std::string_view b)
{
    auto Lower = [] (char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    }
    return true;
}

template <typename E, size_t N>
std::optional<E> Parse(const std::array<std::string_view, N>& names, std::string_view text)
{
    for (size_t i = 0; i < N; ++i) {
        if (EqualIgnoringCase(names[i], text))
            return static_cast<E>(i);
    }
    return std::nullopt;
}

template <typename E, size_t N>
std::string_view Name(const std::array<std::string_view, N>& names, E value)
{
    const auto i = static_cast<size_t>(value);
    return i < N ? names[i] : std::string_view{};
}

}  // namespace

std::string_view BayerFilterName(BayerFilter filter)
{
    return Name(FILTER_NAMES, filter);
}

std::optional<BayerFilter> ParseBayerFilter(std::string_view text)
{
    return Parse<BayerFilter>(FILTER_NAMES, text);
}

std::string_view DemosaicMethodName(DemosaicMethod method)
{
    return Name(METHOD_NAMES, method);
}

std::optional<DemosaicMethod> ParseDemosaicMethod(std::string_view text)
{
    return Parse<DemosaicMethod>(METHOD_NAMES, text);
}

BayerFilter ShiftBayerFilter(BayerFilter filter, uint32_t nLeft, uint32_t nTop)
{
    const FILTER_PHASE phase = RowPhase(PhaseOf(filter), nTop);
    return FilterOf({phase.bGreenFirst != ((nLeft & 1) != 0), phase.bRedRow});
}

bool Demosaic8(const uint8_t* pSrc, size_t cbSrc, size_t cbSrcStride, uint8_t* pDst, size_t cbDst,
               size_t cbDstStride, int nWidth, int nHeight, BayerFilter filter,
               DemosaicMethod method, ColourOrder order)
{
    return DemosaicFrame8(ActiveDemosaicRows(), pSrc, cbSrc, cbSrcStride, pDst, cbDst, cbDstStride,
                          nWidth, nHeight, filter, method, order);
}

bool Demosaic16(const uint8_t* pSrc, size_t cbSrc, size_t cbSrcStride, bool bLittleEndian,
                uint16_t* pDst, size_t cbDst, size_t cbDstStride, int nWidth, int nHeight,
                BayerFilter filter, DemosaicMethod method, ColourOrder order)
{
    return DemosaicFrame16(ActiveDemosaicRows(), pSrc, cbSrc, cbSrcStride, bLittleEndian, pDst,
                           cbDst, cbDstStride, nWidth, nHeight, filter, method, order);
}
