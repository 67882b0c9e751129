#include "iidc_bayer.h"

#include "bayer_filter.h"

namespace {

bool InRange(int32_t nValue, int32_t nCount)
{
    return nValue >= 0 && nValue < nCount;
}

}  // namespace

extern "C" int32_t ibayer_filter(ibayer_read_fn read, void* context, uint32_t format_id, int32_t color,
                                 int32_t override_filter, uint32_t left, uint32_t top, int32_t* source)
{
    try {
        const iidccam::RegisterReader reader = [&](uint32_t dwOffset) -> std::optional<uint32_t> {
            uint32_t dwValue = 0;
            if (!read || !read(context, dwOffset, &dwValue))
                return std::nullopt;
            return dwValue;
        };
        const std::optional<BayerFilter> override =
            InRange(override_filter, BAYER_FILTER_COUNT) ? std::optional(BayerFilter(override_filter)) : std::nullopt;
        const iidccam::FilterChoice choice = iidccam::ChooseFilter(reader, format_id, color, override);
        if (source)
            *source = int32_t(choice.source);
        const auto filter = choice.ImageFilter(left, top);
        return filter ? int32_t(*filter) : -1;
    } catch (...) {
        // Out of memory for the reader: no filter can be told.
        if (source)
            *source = IBAYER_SOURCE_NONE;
        return -1;
    }
}

extern "C" int32_t ibayer_demosaic8(const uint8_t* src, size_t src_size, size_t src_stride, uint8_t* dst,
                                    size_t dst_size, size_t dst_stride, int32_t width, int32_t height, int32_t filter,
                                    int32_t method, int32_t order)
{
    if (!InRange(filter, BAYER_FILTER_COUNT) || !InRange(method, 3) || !InRange(order, 2))
        return 0;
    return Demosaic8(src, src_size, src_stride, dst, dst_size, dst_stride, width, height, BayerFilter(filter),
                     DemosaicMethod(method), ColourOrder(order));
}

extern "C" int32_t ibayer_demosaic16(const uint8_t* src, size_t src_size, size_t src_stride, int32_t little_endian,
                                     uint16_t* dst, size_t dst_size, size_t dst_stride, int32_t width, int32_t height,
                                     int32_t filter, int32_t method, int32_t order)
{
    if (!InRange(filter, BAYER_FILTER_COUNT) || !InRange(method, 3) || !InRange(order, 2))
        return 0;
    return Demosaic16(src, src_size, src_stride, little_endian != 0, dst, dst_size, dst_stride, width, height,
                      BayerFilter(filter), DemosaicMethod(method), ColourOrder(order));
}
