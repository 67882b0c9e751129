#include "feature_request.h"

#include <fmt/format.h>

#include <sstream>

#include "camera_query.h"
#include "error.h"
#include "names.h"
#include "session.h"

namespace iidccam {

namespace {

[[noreturn]] void BadArgument(const std::string& message)
{
    throw CCameraError(CCameraError::Kind::Settings, message);
}

std::string FeatureList()
{
    std::string names;
    for (const auto& feature : Features())
        names += fmt::format("{}{}", names.empty() ? "" : ", ", feature.pszName);
    return names;
}

long UnitValue(const FeatureEntry& feature, const FeatureAssignment& assignment, const std::string& digits)
{
    const long nValue = ParseInteger(digits, assignment.text);
    if (nValue < feature.nUnitMin || nValue > feature.nUnitMax)
        BadArgument(fmt::format("{}: {} takes values from {} to {}", assignment.text, FeatureName(feature.nId),
                                feature.nUnitMin, feature.nUnitMax));
    return nValue;
}

void Require(const FeatureEntry& feature, uint32_t dwCap, const FeatureAssignment& assignment, const char* pszWhat)
{
    if (!(feature.info.flags & dwCap))
        BadArgument(fmt::format("{}: {} cannot be {} on this camera (it can do: {})", assignment.text,
                                FeatureName(feature.nId), pszWhat, FeatureCapsText(feature)));
}

// The request for one assignment, checked against what the feature can do.
iidc_feature TriggerRequest(const FeatureEntry& feature, const FeatureAssignment& assignment)
{
    iidc_feature request{feature.nId, feature.state.flags & IIDC_FEATURESTATE_OFF, 0, 0};
    const std::string& value = assignment.value;
    const auto colon = value.find(':');
    const std::string key = value.substr(0, colon);
    const std::string arg = colon == std::string::npos ? std::string() : value.substr(colon + 1);
    if (value == "on" || value == "off") {
        if (value == "off" || !(feature.info.flags & IIDC_FEATURECAP_ONOFF))
            Require(feature, IIDC_FEATURECAP_ONOFF, assignment, "switched on and off");
        request.flags = value == "off" ? IIDC_FEATURESTATE_OFF : 0;
    } else if (key == "mode") {
        const long nMode = ParseInteger(arg, assignment.text);
        if (nMode < 0 || nMode > 3 || !(feature.info.flags & (IIDC_FEATURECAP_TRIGGER_MODE0 << nMode)))
            BadArgument(fmt::format("{}: this camera's trigger modes are listed by 'iidc info'", assignment.text));
        request.flags |= IIDC_FEATURESTATE_VALUE2;
        request.value2 = float(nMode);
    } else if (key == "parameter") {
        const long nParameter = ParseInteger(arg, assignment.text);
        if (nParameter < 0 || nParameter > 4095)
            BadArgument(fmt::format("{}: the trigger parameter is 0 to 4095", assignment.text));
        request.flags |= IIDC_FEATURESTATE_VALUE1;
        request.value1 = float(nParameter);
    } else if (key == "polarity" && (arg == "high" || arg == "low")) {
        request.flags |= arg == "high" ? IIDC_FEATURESTATE_POLARITY_HIGH : IIDC_FEATURESTATE_POLARITY_LOW;
    } else {
        BadArgument(fmt::format("{}: the trigger takes on, off, mode:N, parameter:N or polarity:high|low",
                                assignment.text));
    }
    return request;
}

iidc_feature FeatureRequest(const FeatureEntry& feature, const FeatureAssignment& assignment)
{
    if (!feature.Present())
        BadArgument(fmt::format("{}: this camera has no {}", assignment.text, FeatureName(feature.nId)));
    if (feature.nId == IIDC_FEATURE_TRIGGER)
        return TriggerRequest(feature, assignment);
    const std::string& value = assignment.value;
    iidc_feature request{feature.nId, 0, 0, 0};
    if (value == "off") {
        Require(feature, IIDC_FEATURECAP_ONOFF, assignment, "switched off");
        request.flags = IIDC_FEATURESTATE_OFF;
    } else if (value == "on") {
        // Switching on keeps the mode: automatic stays automatic.
        request.flags = feature.state.flags & IIDC_FEATURESTATE_AUTO;
    } else if (value == "auto") {
        Require(feature, IIDC_FEATURECAP_AUTO, assignment, "automatic");
        request.flags = IIDC_FEATURESTATE_AUTO;
    } else if (value == "manual") {
        Require(feature, IIDC_FEATURECAP_MANUAL, assignment, "manual");
        request.flags = IIDC_FEATURESTATE_MANUAL;
    } else if (value == "one-push") {
        Require(feature, IIDC_FEATURECAP_ONEPUSH, assignment, "adjusted by one-push");
        request.flags = IIDC_FEATURESTATE_MANUAL | IIDC_FEATURESTATE_ONEPUSH;
    } else {
        Require(feature, IIDC_FEATURECAP_MANUAL, assignment, "set by hand");
        if (feature.state.flags & IIDC_FEATURESTATE_ABSOLUTE)
            BadArgument(fmt::format("{}: {} is in absolute-value mode, in which values are not set in the camera's "
                                    "units; switch the camera out of absolute mode first",
                                    assignment.text, FeatureName(feature.nId)));
        request.flags = IIDC_FEATURESTATE_MANUAL | IIDC_FEATURESTATE_VALUE1;
        const auto comma = value.find(',');
        if (feature.nId == IIDC_FEATURE_WHITE_BALANCE) {
            if (comma == std::string::npos)
                BadArgument(fmt::format("{}: white balance takes RED,BLUE, e.g. white-balance=100,120", assignment.text));
            request.value1 = float(UnitValue(feature, assignment, value.substr(0, comma)));
            request.value2 = float(UnitValue(feature, assignment, value.substr(comma + 1)));
            request.flags |= IIDC_FEATURESTATE_VALUE2;
        } else if (feature.nId == IIDC_FEATURE_TEMPERATURE) {
            // Only the target can be set; the current temperature is measured.
            request.flags = IIDC_FEATURESTATE_MANUAL | IIDC_FEATURESTATE_VALUE2;
            request.value2 = float(UnitValue(feature, assignment, value));
        } else {
            request.value1 = float(UnitValue(feature, assignment, value));
        }
    }
    return request;
}

}  // namespace

uint32_t FeatureOrFail(const std::string& name)
{
    const auto id = FeatureByName(name);
    if (!id)
        BadArgument(fmt::format("unknown feature '{}': use one of {}", name, FeatureList()));
    return *id;
}

FeatureAssignment ParseAssignment(const std::string& text)
{
    const auto equals = text.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == text.size())
        BadArgument(fmt::format("'{}': write FEATURE=VALUE, e.g. gain=200, shutter=auto, brightness=one-push", text));
    return FeatureAssignment{text, FeatureOrFail(text.substr(0, equals)), text.substr(equals + 1)};
}

std::vector<FeatureAssignment> ParseAssignments(const std::string& text)
{
    std::vector<FeatureAssignment> assignments;
    std::istringstream words(text);
    for (std::string word; words >> word;)
        assignments.push_back(ParseAssignment(word));
    return assignments;
}

std::vector<iidc_feature> FeatureRequests(const CCameraSession& camera,
                                          const std::vector<FeatureAssignment>& assignments)
{
    std::vector<iidc_feature> requests;
    for (const auto& assignment : assignments)
        requests.push_back(FeatureRequest(ReadFeature(camera, assignment.nId), assignment));
    return requests;
}

void SetFeature(const CCameraSession& camera, const iidc_feature& request, const std::string& text)
{
    if (!iidc_setfeature(camera.Handle(), &request, 0))
        camera.Fail(fmt::format("setting {}", text));
}

}  // namespace iidccam
