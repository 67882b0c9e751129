#include "bayer_filter.h"

#include "names.h"
#include "registers/offsets.h"

namespace iidccam {

const char* FilterSourceName(FilterSource source)
{
    switch (source) {
    case FilterSource::Override: return "override";
    case FilterSource::ColorFilterRegister: return "COLOR_FILTER_ID";
    case FilterSource::TileMapping: return "BAYER_TILE_MAPPING";
    case FilterSource::None: break;
    }
    return "none";
}

bool CarriesFilter(int nColor)
{
    return nColor == IIDC_COLOR_MONO8 || nColor == IIDC_COLOR_MONO16 || nColor == COLOR_RAW8 || nColor == COLOR_RAW16;
}

std::optional<BayerFilter> TileMappingFilter(uint32_t dwValue)
{
    const char letters[4] = {char(dwValue >> 24), char(dwValue >> 16), char(dwValue >> 8), char(dwValue)};
    return ParseBayerFilter(std::string_view(letters, 4));
}

FilterChoice ChooseFilter(const RegisterReader& read, uint32_t formatId, int nColor,
                          std::optional<BayerFilter> override)
{
    using namespace iidc_reg;
    if (!CarriesFilter(nColor))
        return {};
    if (override)
        return {override, FilterSource::Override};
    if (IIDC_FORMATID_FORMAT(formatId) == IIDC_FORMAT_SCALABLE && (nColor == COLOR_RAW8 || nColor == COLOR_RAW16))
        if (const auto dwBlock = read(V_CSR_INQ_7(uint32_t(IIDC_FORMATID_MODE(formatId)))))
            if (const auto dwFilter = read(CsrOffset(*dwBlock) + F7_COLOR_FILTER_ID);
                dwFilter && (*dwFilter >> 24) < uint32_t(BAYER_FILTER_COUNT))
                return {BayerFilter(*dwFilter >> 24), FilterSource::ColorFilterRegister};
    if (const auto dwTile = read(BAYER_TILE_MAPPING))
        if (const auto filter = TileMappingFilter(*dwTile))
            return {filter, FilterSource::TileMapping};
    return {};
}

}  // namespace iidccam
