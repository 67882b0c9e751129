#include "caps.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace iidcgst {

namespace {

struct Coding {
  int nColor;
  GstVideoFormat format;
  int nBitsPerPixel;
};

constexpr std::array<Coding, 6> CODINGS{{
    {IIDC_COLOR_MONO8, GST_VIDEO_FORMAT_GRAY8, 8},
    {IIDC_COLOR_YUV411, GST_VIDEO_FORMAT_IYU1, 12},
    {IIDC_COLOR_YUV422, GST_VIDEO_FORMAT_UYVY, 16},
    {IIDC_COLOR_YUV444, GST_VIDEO_FORMAT_IYU2, 24},
    {IIDC_COLOR_RGB8, GST_VIDEO_FORMAT_RGB, 24},
    {IIDC_COLOR_MONO16, GST_VIDEO_FORMAT_GRAY16_BE, 16},
}};

constexpr int LARGEST_SIDE = 65535;  // IIDC sizes are 16-bit

const Coding* CodingOfColor(int nColor)
{
    for (const auto& coding : CODINGS)
        if (coding.nColor == nColor)
            return &coding;
    return nullptr;
}

const Coding* CodingOfFormat(GstVideoFormat format)
{
    for (const auto& coding : CODINGS)
        if (coding.format == format)
            return &coding;
    return nullptr;
}

GstStructure* RawVideo(const Coding& coding)
{
    return gst_structure_new("video/x-raw", "format", G_TYPE_STRING, gst_video_format_to_string(coding.format),
                             nullptr);
}

// width or height of a Format 7 mode: every multiple of its step up to its
// largest.
void SetSteppedSize(GstStructure* s, const char* pszField, int nStep, int nLargest)
{
    const int nUnit = nStep > 0 ? nStep : 1;
    GValue range = G_VALUE_INIT;
    g_value_init(&range, GST_TYPE_INT_RANGE);
    gst_value_set_int_range_step(&range, nUnit, std::max(nUnit, nLargest / nUnit * nUnit), nUnit);
    gst_structure_take_value(s, pszField, &range);
}

void SetRates(GstStructure* s, const std::vector<float>& rates)
{
    GValue list = G_VALUE_INIT;
    g_value_init(&list, GST_TYPE_LIST);
    for (auto it = rates.rbegin(); it != rates.rend(); ++it) {  // fastest first
        int n = 0, d = 1;
        gst_util_double_to_fraction(*it, &n, &d);
        GValue rate = G_VALUE_INIT;
        g_value_init(&rate, GST_TYPE_FRACTION);
        gst_value_set_fraction(&rate, n, d);
        gst_value_list_append_and_take_value(&list, &rate);
    }
    gst_structure_take_value(s, "framerate", &list);
}

bool Fits(int nSize, int nStep, int nLargest)
{
    const int nUnit = nStep > 0 ? nStep : 1;
    return nSize > 0 && nSize <= nLargest && nSize % nUnit == 0;
}

// The offset of a side of nSize in nLargest: centred on the position step
// for -1, else the offset asked for, which must lie on the step and keep the
// side within nLargest.
int32_t Placed(int nOffset, int nSize, int nStep, int nLargest, const char* pszProperty)
{
    const int nUnit = nStep > 0 ? nStep : 1;
    if (nOffset < 0)
        return (nLargest - nSize) / 2 / nUnit * nUnit;
    if (nOffset % nUnit != 0 || nOffset > nLargest - nSize)
        throw iidccam::CCameraError(iidccam::CCameraError::Kind::Settings,
                                    fmt::format("{}={}: a side of {} takes offsets in steps of {} up to {}",
                                                pszProperty, nOffset, nSize, nUnit, (nLargest - nSize) / nUnit * nUnit));
    return nOffset;
}

}  // namespace

GstCaps* TemplateCaps()
{
    GstCaps* caps = gst_caps_new_empty();
    for (const auto& coding : CODINGS) {
        GstStructure* s = RawVideo(coding);
        gst_structure_set(s, "width", GST_TYPE_INT_RANGE, 1, LARGEST_SIDE, "height", GST_TYPE_INT_RANGE, 1,
                          LARGEST_SIDE, "framerate", GST_TYPE_FRACTION_RANGE, 0, 1, G_MAXINT, 1, nullptr);
        gst_caps_append_structure(caps, s);
    }
    return caps;
}

GstCaps* CapsOfCatalogue(const std::vector<iidccam::FormatEntry>& formats)
{
    GstCaps* caps = gst_caps_new_empty();
    for (const auto& entry : formats) {
        const Coding* pCoding = CodingOfColor(entry.info.color);
        if (!pCoding)
            continue;
        GstStructure* s = RawVideo(*pCoding);
        if (IIDC_FORMATID_FORMAT(entry.id) == IIDC_FORMAT_SCALABLE) {
            if (!entry.areaInfo) {
                gst_structure_free(s);
                continue;
            }
            SetSteppedSize(s, "width", entry.areaInfo->widthunit, entry.areaInfo->maxwidth);
            SetSteppedSize(s, "height", entry.areaInfo->heightunit, entry.areaInfo->maxheight);
            gst_structure_set(s, "framerate", GST_TYPE_FRACTION, 0, 1, nullptr);
        } else {
            if (entry.rates.empty()) {  // a mode without a rate cannot be selected
                gst_structure_free(s);
                continue;
            }
            gst_structure_set(s, "width", G_TYPE_INT, entry.info.width, "height", G_TYPE_INT, entry.info.height,
                              nullptr);
            SetRates(s, entry.rates);
        }
        caps = gst_caps_merge_structure(caps, s);
    }
    return caps;
}

GstCaps* FixateCaps(GstCaps* caps)
{
    caps = gst_caps_truncate(gst_caps_make_writable(caps));
    GstStructure* s = gst_caps_get_structure(caps, 0);
    gst_structure_fixate_field_nearest_int(s, "width", G_MAXINT);
    gst_structure_fixate_field_nearest_int(s, "height", G_MAXINT);
    gst_structure_fixate_field_nearest_fraction(s, "framerate", G_MAXINT, 1);
    return gst_caps_fixate(caps);
}

std::optional<StreamChoice> ChooseStream(const std::vector<iidccam::FormatEntry>& formats, const GstCaps* caps,
                                         AreaOffset offset)
{
    if (!caps || gst_caps_get_size(caps) == 0)
        return std::nullopt;
    const GstStructure* s = gst_caps_get_structure(caps, 0);
    const char* pszFormat = gst_structure_get_string(s, "format");
    const Coding* pCoding = pszFormat ? CodingOfFormat(gst_video_format_from_string(pszFormat)) : nullptr;
    int nWidth = 0, nHeight = 0, nRateN = 0, nRateD = 1;
    if (!pCoding || !gst_structure_get_int(s, "width", &nWidth) || !gst_structure_get_int(s, "height", &nHeight))
        return std::nullopt;
    gst_structure_get_fraction(s, "framerate", &nRateN, &nRateD);
    const double fRate = nRateD > 0 ? double(nRateN) / nRateD : 0.0;
    for (const auto& entry : formats) {
        if (entry.info.color != pCoding->nColor)
            continue;
        if (IIDC_FORMATID_FORMAT(entry.id) == IIDC_FORMAT_SCALABLE) {
            if (!entry.areaInfo || nRateN != 0)
                continue;
            const iidc_areainfo& limits = *entry.areaInfo;
            if (!Fits(nWidth, limits.widthunit, limits.maxwidth) || !Fits(nHeight, limits.heightunit, limits.maxheight))
                continue;
            const iidc_area area{Placed(offset.nLeft, nWidth, iidccam::LeftUnit(limits), limits.maxwidth, "offset-x"),
                                 Placed(offset.nTop, nHeight, iidccam::TopUnit(limits), limits.maxheight, "offset-y"),
                                 nWidth, nHeight};
            return StreamChoice{entry.id, nWidth, nHeight, 0.0f, area};
        } else if (entry.info.width == nWidth && entry.info.height == nHeight) {
            for (float fOffered : entry.rates)
                if (std::fabs(fOffered - fRate) < fOffered / 1000)
                    return StreamChoice{entry.id, nWidth, nHeight, fOffered, iidc_area{}};
        }
    }
    return std::nullopt;
}

std::optional<FrameLayout> LayoutOf(const GstCaps* caps, bool bBottomUp)
{
    FrameLayout layout;
    if (!caps || !gst_video_info_from_caps(&layout.info, caps))
        return std::nullopt;
    const Coding* pCoding = CodingOfFormat(GST_VIDEO_INFO_FORMAT(&layout.info));
    if (!pCoding)
        return std::nullopt;
    layout.cbRow = std::size_t(GST_VIDEO_INFO_WIDTH(&layout.info)) * std::size_t(pCoding->nBitsPerPixel) / 8;
    layout.bBottomUp = bBottomUp;
    return layout;
}

void CopyRows(const uint8_t* pFrame, const FrameLayout& layout, GstVideoFrame* pTarget)
{
    const int nRows = GST_VIDEO_FRAME_HEIGHT(pTarget);
    const std::size_t nStride = std::size_t(GST_VIDEO_FRAME_PLANE_STRIDE(pTarget, 0));
    auto* pBuffer = static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(pTarget, 0));
    for (int nRow = 0; nRow < nRows; ++nRow) {
        const int nFrom = layout.bBottomUp ? nRows - 1 - nRow : nRow;
        std::memcpy(pBuffer + std::size_t(nRow) * nStride, pFrame + std::size_t(nFrom) * layout.cbRow, layout.cbRow);
    }
}

}  // namespace iidcgst
