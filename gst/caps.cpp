#include "caps.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>

#include "names.h"

namespace iidcgst {

namespace {

struct Coding {
  int nColor;
  GstVideoFormat format;
  int nBitsPerPixel;
};

constexpr std::array<Coding, 8> CODINGS{{
    {IIDC_COLOR_MONO8, GST_VIDEO_FORMAT_GRAY8, 8},
    {IIDC_COLOR_YUV411, GST_VIDEO_FORMAT_IYU1, 12},
    {IIDC_COLOR_YUV422, GST_VIDEO_FORMAT_UYVY, 16},
    {IIDC_COLOR_YUV444, GST_VIDEO_FORMAT_IYU2, 24},
    {IIDC_COLOR_RGB8, GST_VIDEO_FORMAT_RGB, 24},
    {IIDC_COLOR_MONO16, GST_VIDEO_FORMAT_GRAY16_BE, 16},
    {iidccam::COLOR_RAW8, GST_VIDEO_FORMAT_GRAY8, 8},
    {iidccam::COLOR_RAW16, GST_VIDEO_FORMAT_GRAY16_BE, 16},
}};

constexpr const char* BAYER_CAPS = "video/x-bayer";

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

GstStructure* RawVideo(GstVideoFormat format)
{
    return gst_structure_new("video/x-raw", "format", G_TYPE_STRING, gst_video_format_to_string(format), nullptr);
}

// "rggb", ... for 8-bit samples, "rggb16be", ... for 16-bit ones.
std::string BayerFormat(BayerFilter filter, int nBytes)
{
    std::string name(BayerFilterName(filter));
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return nBytes == 2 ? name + "16be" : name;
}

std::optional<BayerFilter> ParseBayerFormat(const std::string& text, int nBytes)
{
    for (int i = 0; i < BAYER_FILTER_COUNT; ++i)
        if (BayerFormat(BayerFilter(i), nBytes) == text)
            return BayerFilter(i);
    return std::nullopt;
}

GstStructure* BayerVideo(BayerFilter filter, int nBytes)
{
    return gst_structure_new(BAYER_CAPS, "format", G_TYPE_STRING, BayerFormat(filter, nBytes).c_str(), nullptr);
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

// A centred side steps back by its odd position step when that gives it the
// parity, and so the Bayer phase, the caps ask for.
void KeepParity(int32_t& nPosition, uint32_t nParity, int nOffset, int nStep)
{
    if (nOffset < 0 && nStep % 2 == 1 && nPosition >= nStep && uint32_t(nPosition & 1) != nParity)
        nPosition -= nStep;
}

}  // namespace

GstCaps* TemplateCaps()
{
    std::vector<GstStructure*> offers;
    for (const auto& coding : CODINGS)
        offers.push_back(RawVideo(coding.format));
    offers.push_back(RawVideo(GST_VIDEO_FORMAT_BGR));
    for (int nBytes : {1, 2})
        for (int i = 0; i < BAYER_FILTER_COUNT; ++i)
            offers.push_back(BayerVideo(BayerFilter(i), nBytes));
    GstCaps* caps = gst_caps_new_empty();
    for (GstStructure* s : offers) {
        gst_structure_set(s, "width", GST_TYPE_INT_RANGE, 1, LARGEST_SIDE, "height", GST_TYPE_INT_RANGE, 1,
                          LARGEST_SIDE, "framerate", GST_TYPE_FRACTION_RANGE, 0, 1, G_MAXINT, 1, nullptr);
        caps = gst_caps_merge_structure(caps, s);
    }
    return caps;
}

namespace {

// The size and rates of a catalogue entry; false for one that cannot be
// selected.
bool SetSizeAndRate(GstStructure* s, const iidccam::FormatEntry& entry)
{
    if (IIDC_FORMATID_FORMAT(entry.id) == IIDC_FORMAT_SCALABLE) {
        if (!entry.areaInfo)
            return false;
        SetSteppedSize(s, "width", entry.areaInfo->widthunit, entry.areaInfo->maxwidth);
        SetSteppedSize(s, "height", entry.areaInfo->heightunit, entry.areaInfo->maxheight);
        gst_structure_set(s, "framerate", GST_TYPE_FRACTION, 0, 1, nullptr);
        return true;
    }
    if (entry.rates.empty())  // a mode without a rate cannot be selected
        return false;
    gst_structure_set(s, "width", G_TYPE_INT, entry.info.width, "height", G_TYPE_INT, entry.info.height, nullptr);
    SetRates(s, entry.rates);
    return true;
}

std::optional<BayerFilter> FilterOf(const MosaicSettings& mosaics, std::size_t nEntry)
{
    return nEntry < mosaics.filters.size() ? mosaics.filters[nEntry] : std::nullopt;
}

}  // namespace

GstCaps* CapsOfCatalogue(const std::vector<iidccam::FormatEntry>& formats, const MosaicSettings& mosaics,
                         AreaOffset offset)
{
    GstCaps* caps = gst_caps_new_empty();
    for (std::size_t i = 0; i < formats.size(); ++i) {
        const auto& entry = formats[i];
        const Coding* pCoding = CodingOfColor(entry.info.color);
        if (!pCoding)
            continue;
        std::vector<GstStructure*> offers;
        if (const auto filter = FilterOf(mosaics, i)) {
            const bool bScalable = IIDC_FORMATID_FORMAT(entry.id) == IIDC_FORMAT_SCALABLE;
            const BayerFilter phase = ShiftBayerFilter(*filter, uint32_t(bScalable ? std::max(offset.nLeft, 0) : 0),
                                                       uint32_t(bScalable ? std::max(offset.nTop, 0) : 0));
            if (mosaics.method)
                for (GstVideoFormat format : {GST_VIDEO_FORMAT_BGR, GST_VIDEO_FORMAT_RGB})
                    offers.push_back(RawVideo(format));
            offers.push_back(BayerVideo(phase, pCoding->nBitsPerPixel / 8));
        }
        offers.push_back(RawVideo(pCoding->format));
        for (GstStructure* s : offers) {
            if (SetSizeAndRate(s, entry))
                caps = gst_caps_merge_structure(caps, s);
            else
                gst_structure_free(s);
        }
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
                                         AreaOffset offset, const MosaicSettings& mosaics)
{
    if (!caps || gst_caps_get_size(caps) == 0)
        return std::nullopt;
    const GstStructure* s = gst_caps_get_structure(caps, 0);
    const char* pszFormat = gst_structure_get_string(s, "format");
    const bool bBayer = gst_structure_has_name(s, BAYER_CAPS);
    int nWidth = 0, nHeight = 0, nRateN = 0, nRateD = 1;
    if (!pszFormat || !gst_structure_get_int(s, "width", &nWidth) || !gst_structure_get_int(s, "height", &nHeight))
        return std::nullopt;
    const GstVideoFormat format = bBayer ? GST_VIDEO_FORMAT_UNKNOWN : gst_video_format_from_string(pszFormat);
    gst_structure_get_fraction(s, "framerate", &nRateN, &nRateD);
    const double fRate = nRateD > 0 ? double(nRateN) / nRateD : 0.0;
    for (std::size_t i = 0; i < formats.size(); ++i) {
        const auto& entry = formats[i];
        const Coding* pCoding = CodingOfColor(entry.info.color);
        const auto filter = FilterOf(mosaics, i);
        if (!pCoding)
            continue;
        // How the frames become buffers: as they are, as a mosaic of a given
        // phase, or demosaiced.
        StreamChoice choice;
        std::optional<BayerFilter> phase;
        if (bBayer && filter) {
            phase = ParseBayerFormat(pszFormat, pCoding->nBitsPerPixel / 8);
            if (!phase)
                continue;
        } else if (!bBayer && filter && mosaics.method && pCoding->format != format
                   && (format == GST_VIDEO_FORMAT_BGR || format == GST_VIDEO_FORMAT_RGB)) {
            choice.method = mosaics.method;
            choice.order = format == GST_VIDEO_FORMAT_BGR ? ColourOrder::Bgr : ColourOrder::Rgb;
        } else if (bBayer || pCoding->format != format) {
            continue;
        }
        choice.id = entry.id;
        choice.nWidth = nWidth;
        choice.nHeight = nHeight;
        if (IIDC_FORMATID_FORMAT(entry.id) == IIDC_FORMAT_SCALABLE) {
            if (!entry.areaInfo || nRateN != 0)
                continue;
            const iidc_areainfo& limits = *entry.areaInfo;
            if (!Fits(nWidth, limits.widthunit, limits.maxwidth) || !Fits(nHeight, limits.heightunit, limits.maxheight))
                continue;
            choice.area = iidc_area{Placed(offset.nLeft, nWidth, iidccam::LeftUnit(limits), limits.maxwidth, "offset-x"),
                                    Placed(offset.nTop, nHeight, iidccam::TopUnit(limits), limits.maxheight, "offset-y"),
                                    nWidth, nHeight};
        } else {
            const auto offered = std::find_if(entry.rates.begin(), entry.rates.end(),
                                              [&](float fOffered) { return std::fabs(fOffered - fRate) < fOffered / 1000; });
            if (entry.info.width != nWidth || entry.info.height != nHeight || offered == entry.rates.end())
                continue;
            choice.fRate = *offered;
        }
        for (uint32_t nParity = 0; phase && entry.areaInfo && nParity < 4; ++nParity)
            if (ShiftBayerFilter(*filter, nParity & 1, nParity >> 1) == *phase) {
                KeepParity(choice.area.left, nParity & 1, offset.nLeft, iidccam::LeftUnit(*entry.areaInfo));
                KeepParity(choice.area.top, nParity >> 1, offset.nTop, iidccam::TopUnit(*entry.areaInfo));
            }
        if (phase || choice.method)
            choice.filter = ShiftBayerFilter(*filter, uint32_t(choice.area.left), uint32_t(choice.area.top));
        if (phase && choice.filter != phase)
            throw iidccam::CCameraError(
                iidccam::CCameraError::Kind::Settings,
                fmt::format("the area {}x{}+{}+{} starts in phase {}, not {}: give offset-x and offset-y on even "
                            "positions, or let the caps follow the area",
                            nWidth, nHeight, choice.area.left, choice.area.top, BayerFilterName(*choice.filter),
                            pszFormat));
        return choice;
    }
    return std::nullopt;
}

std::optional<FrameLayout> LayoutOf(const GstCaps* caps, const StreamChoice& choice, bool bBottomUp)
{
    FrameLayout layout;
    if (!caps || gst_caps_get_size(caps) == 0)
        return std::nullopt;
    const GstStructure* s = gst_caps_get_structure(caps, 0);
    // A mosaic is laid out as grey samples of its depth.
    const Coding* pSource = CodingOfColor(IIDC_FORMATID_COLOR(choice.id));
    if (gst_structure_has_name(s, BAYER_CAPS)) {
        int nWidth = 0, nHeight = 0;
        if (!pSource || !gst_structure_get_int(s, "width", &nWidth) || !gst_structure_get_int(s, "height", &nHeight)
            || !gst_video_info_set_format(&layout.info, pSource->format, guint(nWidth), guint(nHeight)))
            return std::nullopt;
    } else if (!gst_video_info_from_caps(&layout.info, caps)) {
        return std::nullopt;
    }
    const Coding* pCoding = choice.method ? pSource : CodingOfFormat(GST_VIDEO_INFO_FORMAT(&layout.info));
    if (!pCoding || (choice.method && !choice.filter))
        return std::nullopt;
    layout.cbRow = std::size_t(GST_VIDEO_INFO_WIDTH(&layout.info)) * std::size_t(pCoding->nBitsPerPixel) / 8;
    layout.bBottomUp = bBottomUp;
    layout.choice = choice;
    return layout;
}

namespace {

// The frame's samples demosaiced into the target's colour rows.
void DemosaicRows(const uint8_t* pFrame, const FrameLayout& layout, GstVideoFrame* pTarget)
{
    const int nWidth = GST_VIDEO_FRAME_WIDTH(pTarget), nHeight = GST_VIDEO_FRAME_HEIGHT(pTarget);
    const std::size_t cbFrame = layout.FrameBytes();
    // The filter names the picture's top-left pixel: rows top row first.
    std::vector<uint8_t> upright;
    if (layout.bBottomUp) {
        upright.resize(cbFrame);
        for (int nRow = 0; nRow < nHeight; ++nRow)
            std::memcpy(upright.data() + std::size_t(nRow) * layout.cbRow,
                        pFrame + std::size_t(nHeight - 1 - nRow) * layout.cbRow, layout.cbRow);
        pFrame = upright.data();
    }
    const std::size_t nStride = std::size_t(GST_VIDEO_FRAME_PLANE_STRIDE(pTarget, 0));
    auto* pBuffer = static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(pTarget, 0));
    const StreamChoice& choice = layout.choice;
    bool bDone = false;
    if (layout.cbRow == std::size_t(nWidth)) {
        bDone = Demosaic8(pFrame, cbFrame, layout.cbRow, pBuffer, nStride * std::size_t(nHeight), nStride, nWidth,
                          nHeight, *choice.filter, *choice.method, choice.order);
    } else {
        // 16-bit samples give 8-bit colour by their high bytes.
        std::vector<uint16_t> colour(std::size_t(nWidth) * std::size_t(nHeight) * 3);
        bDone = Demosaic16(pFrame, cbFrame, layout.cbRow, false, colour.data(), colour.size() * 2,
                           std::size_t(nWidth) * 6, nWidth, nHeight, *choice.filter, *choice.method, choice.order);
        for (int nRow = 0; bDone && nRow < nHeight; ++nRow)
            for (std::size_t i = 0; i < std::size_t(nWidth) * 3; ++i)
                pBuffer[std::size_t(nRow) * nStride + i] = uint8_t(colour[std::size_t(nRow) * std::size_t(nWidth) * 3 + i] >> 8);
    }
    if (!bDone)
        throw iidccam::CCameraError(iidccam::CCameraError::Kind::Failed, "a frame could not be demosaiced");
}

}  // namespace

void CopyRows(const uint8_t* pFrame, const FrameLayout& layout, GstVideoFrame* pTarget)
{
    if (layout.choice.method)
        return DemosaicRows(pFrame, layout, pTarget);
    const int nRows = GST_VIDEO_FRAME_HEIGHT(pTarget);
    const std::size_t nStride = std::size_t(GST_VIDEO_FRAME_PLANE_STRIDE(pTarget, 0));
    auto* pBuffer = static_cast<uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(pTarget, 0));
    for (int nRow = 0; nRow < nRows; ++nRow) {
        const int nFrom = layout.bBottomUp ? nRows - 1 - nRow : nRow;
        std::memcpy(pBuffer + std::size_t(nRow) * nStride, pFrame + std::size_t(nFrom) * layout.cbRow, layout.cbRow);
    }
}

}  // namespace iidcgst
