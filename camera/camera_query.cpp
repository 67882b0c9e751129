#include "camera_query.h"

#include <fmt/format.h>

#include "names.h"
#include "registers/offsets.h"
#include "session.h"

namespace iidccam {

namespace {

std::string Join(const std::vector<std::string>& words)
{
    std::string text;
    for (const auto& word : words)
        text += (text.empty() ? "" : " ") + word;
    return text;
}

}  // namespace

std::optional<uint32_t> ReadRegister(iidc_handle hCamera, uint32_t dwOffset)
{
    uint32_t dwValue = 0;
    if (iidc1394_asyncreadquadlet(hCamera, dwOffset, &dwValue, 4) != 4)
        return std::nullopt;
    return dwValue;
}

RegisterReader RegistersOf(iidc_handle hCamera)
{
    return [hCamera](uint32_t dwOffset) { return ReadRegister(hCamera, dwOffset); };
}

namespace {

// The library lists the codings 0 to 6 of the Format 7 modes; their Bayer
// codings come from each mode's inquiry register, also of a mode that has
// no other.
void AddBayerCodings(const CCameraSession& camera, std::vector<FormatEntry>& formats)
{
    using namespace iidc_reg;
    const iidc_handle h = camera.Handle();
    const auto dwFormats = ReadRegister(h, V_FORMAT_INQ);
    const auto dwModes = dwFormats && (*dwFormats & IIDC_BIT(IIDC_FORMAT_SCALABLE)) ? ReadRegister(h, V_MODE_INQ_7)
                                                                                    : std::nullopt;
    for (uint32_t dwMode = 0; dwModes && dwMode < 8; ++dwMode) {
        const auto dwBlock = *dwModes & IIDC_BIT(dwMode) ? ReadRegister(h, V_CSR_INQ_7(dwMode)) : std::nullopt;
        const auto dwCodings = dwBlock ? ReadRegister(h, CsrOffset(*dwBlock) + F7_COLOR_CODING_INQ) : std::nullopt;
        for (int nColor : {COLOR_RAW8, COLOR_RAW16}) {
            FormatEntry entry;
            entry.id = IIDC_FORMATID(IIDC_FORMAT_SCALABLE, dwMode, nColor);
            iidc_areainfo area{};
            if (!dwCodings || !(*dwCodings & IIDC_BIT(unsigned(nColor)))
                || !iidc_getformatinfo(h, &entry.info, sizeof entry.info, entry.id)
                || !iidc_getareainfo(h, &area, sizeof area, entry.id))
                continue;
            entry.info.color = nColor;
            entry.areaInfo = area;
            formats.push_back(entry);
        }
    }
}

}  // namespace

std::vector<float> ReadRates(const CCameraSession& camera, uint32_t id)
{
    std::vector<float> rates;
    const int nFormat = IIDC_FORMATID_FORMAT(id);
    if (nFormat > 2)
        return rates;
    const auto dwInq =
        ReadRegister(camera.Handle(), iidc_reg::V_RATE_INQ(uint32_t(nFormat), uint32_t(IIDC_FORMATID_MODE(id))));
    const auto rateOfCode = FrameRates();
    for (unsigned code = 0; dwInq && code < rateOfCode.size(); ++code)
        if (*dwInq & iidc_reg::IIDC_BIT(code))
            rates.push_back(rateOfCode[code]);
    return rates;
}

std::vector<FormatEntry> ReadFormats(const CCameraSession& camera)
{
    const int32_t nCount = iidc_getformatcount(camera.Handle());
    if (nCount <= 0)
        camera.Fail("reading the number of formats");
    std::vector<uint32_t> ids(std::size_t(nCount), 0);
    const int32_t nBytes = iidc_getformatidlist(camera.Handle(), ids.data(), int32_t(ids.size() * sizeof(uint32_t)));
    if (nBytes <= 0)
        camera.Fail("reading the list of formats");
    ids.resize(std::size_t(nBytes) / sizeof(uint32_t));
    std::vector<FormatEntry> formats;
    for (uint32_t id : ids) {
        FormatEntry entry;
        entry.id = id;
        if (!iidc_getformatinfo(camera.Handle(), &entry.info, sizeof entry.info, id))
            camera.Fail(fmt::format("describing format {}", FormatIdText(id)));
        if (IIDC_FORMATID_FORMAT(id) == IIDC_FORMAT_SCALABLE) {
            // The list names each coding of a mode; the record reports the
            // coding in force, so the id's own coding is the one to show.
            entry.info.color = IIDC_FORMATID_COLOR(id);
            iidc_areainfo area{};
            if (iidc_getareainfo(camera.Handle(), &area, sizeof area, id))
                entry.areaInfo = area;
        } else {
            entry.rates = ReadRates(camera, id);
        }
        formats.push_back(entry);
    }
    AddBayerCodings(camera, formats);
    return formats;
}

CurrentFormat ReadCurrentFormat(const CCameraSession& camera)
{
    CurrentFormat current;
    current.id = iidc_currentformat(camera.Handle());
    if (!current.id)
        camera.Fail("reading the current format");
    iidc_formatinfo info{};
    if (!iidc_getformatinfo(camera.Handle(), &info, sizeof info, current.id))
        camera.Fail("describing the current format");
    current.nColor = info.color;
    current.nWidth = info.width;
    current.nHeight = info.height;
    if (current.IsScalable()) {
        iidc_area area{};
        if (!iidc_currentarea(camera.Handle(), &area, sizeof area))
            camera.Fail("reading the current image area");
        current.area = area;
        current.nWidth = area.width;
        current.nHeight = area.height;
    } else {
        current.fRate = iidc_currentframerate(camera.Handle());
    }
    return current;
}

FeatureEntry ReadFeature(const CCameraSession& camera, uint32_t nId)
{
    FeatureEntry entry;
    entry.nId = nId;
    entry.info.id = nId;
    if (!iidc_currentfeatureinfo(camera.Handle(), &entry.info, 0))
        camera.Fail(fmt::format("reading what {} can do", FeatureName(nId)));
    if (!entry.Present())
        return entry;
    entry.state.id = nId;
    entry.bStateRead = iidc_currentfeature(camera.Handle(), &entry.state, 0) != 0;
    if (!entry.bStateRead)
        camera.Fail(fmt::format("reading {}", FeatureName(nId)));
    if (nId != IIDC_FEATURE_TRIGGER)
        if (const auto dwInq = ReadRegister(camera.Handle(), iidc_reg::FEATURE_INQ(nId))) {
            entry.nUnitMin = int((*dwInq >> 12) & 0xFFF);
            entry.nUnitMax = int(*dwInq & 0xFFF);
        }
    return entry;
}

std::vector<FeatureEntry> ReadFeatures(const CCameraSession& camera)
{
    std::vector<FeatureEntry> features;
    for (const auto& feature : Features())
        features.push_back(ReadFeature(camera, feature.nId));
    return features;
}

std::optional<IsoSettings> ReadIsoSettings(const CCameraSession& camera)
{
    const auto dwIso = ReadRegister(camera.Handle(), iidc_reg::ISO_CHANNEL);
    if (!dwIso)
        return std::nullopt;
    return IsoSettings{int(*dwIso >> 28), 100 << ((*dwIso >> 24) & 3)};
}

std::string FeatureModeText(const FeatureEntry& feature)
{
    const uint32_t dwFlags = feature.state.flags;
    std::vector<std::string> words;
    words.push_back(dwFlags & IIDC_FEATURESTATE_OFF ? "off" : "on");
    if (feature.nId != IIDC_FEATURE_TRIGGER) {
        if (dwFlags & IIDC_FEATURESTATE_AUTO)
            words.push_back("auto");
        else if (dwFlags & IIDC_FEATURESTATE_MANUAL)
            words.push_back("manual");
        if (dwFlags & IIDC_FEATURESTATE_ONEPUSH)
            words.push_back("one-push running");
    }
    if (dwFlags & IIDC_FEATURESTATE_ABSOLUTE)
        words.push_back("absolute");
    return Join(words);
}

std::string FeatureValueText(const FeatureEntry& feature)
{
    const iidc_feature& state = feature.state;
    if (feature.nId == IIDC_FEATURE_TRIGGER)
        return fmt::format("mode {}, parameter {}", state.value2, state.value1);
    const bool bTwo = feature.nId == IIDC_FEATURE_WHITE_BALANCE || feature.nId == IIDC_FEATURE_TEMPERATURE;
    if (bTwo && (state.flags & IIDC_FEATURESTATE_VALUE2))
        return fmt::format("{},{}", state.value1, state.value2);
    if (state.flags & IIDC_FEATURESTATE_VALUE1)
        return fmt::format("{}", state.value1);
    return "-";
}

std::string FeatureCapsText(const FeatureEntry& feature)
{
    const uint32_t dwCaps = feature.info.flags;
    std::vector<std::string> words;
    if (dwCaps & IIDC_FEATURECAP_ONOFF)
        words.push_back("on-off");
    if (dwCaps & IIDC_FEATURECAP_MANUAL)
        words.push_back("manual");
    if (dwCaps & IIDC_FEATURECAP_AUTO)
        words.push_back("auto");
    if (dwCaps & IIDC_FEATURECAP_ONEPUSH)
        words.push_back("one-push");
    if (dwCaps & IIDC_FEATURECAP_ABSOLUTE)
        words.push_back("absolute");
    if (dwCaps & IIDC_FEATURECAP_READOUT)
        words.push_back("readout");
    return Join(words);
}

}  // namespace iidccam
