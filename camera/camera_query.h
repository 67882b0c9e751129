// What the tool reads from an open camera, gathered into plain records that
// the text and JSON printers share: formats, frame rates, Format 7 limits and
// area, features, isochronous settings.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "iidc.h"

namespace iidccam {

class CCameraSession;

struct FormatEntry {
  uint32_t id = 0;
  iidc_formatinfo info{};
  std::vector<float> rates;                // standard modes: the rates the camera offers
  std::optional<iidc_areainfo> areaInfo;   // Format 7
};

struct CurrentFormat {
  uint32_t id = 0;
  int nColor = -1;
  int nWidth = 0, nHeight = 0;
  float fRate = 0;                  // standard modes
  std::optional<iidc_area> area;    // Format 7
  bool IsScalable() const { return IIDC_FORMATID_FORMAT(id) == IIDC_FORMAT_SCALABLE; }
};

struct FeatureEntry {
  uint32_t nId = 0;
  iidc_featureinfo info{};
  iidc_feature state{};
  bool bStateRead = false;
  // The integer range from the feature's inquiry register, also for a
  // feature whose reported range is absolute.
  int nUnitMin = 0, nUnitMax = 0;
  bool Present() const { return (info.flags & IIDC_FEATURECAP_PRESENT) != 0; }
};

// Position steps of a Format 7 mode; 0 in the camera means the size steps.
inline int LeftUnit(const iidc_areainfo& info) { return info.leftunit ? info.leftunit : info.widthunit; }
inline int TopUnit(const iidc_areainfo& info) { return info.topunit ? info.topunit : info.heightunit; }

struct IsoSettings {
  int nChannel = 0;
  int nSpeed = 0;  // Mbit/s
};

// One register at a command-register offset; nothing when the read fails.
std::optional<uint32_t> ReadRegister(iidc_handle hCamera, uint32_t dwOffset);
// The same as a function of the offset.
using RegisterReader = std::function<std::optional<uint32_t>(uint32_t dwOffset)>;
RegisterReader RegistersOf(iidc_handle hCamera);

std::vector<FormatEntry> ReadFormats(const CCameraSession& camera);
CurrentFormat ReadCurrentFormat(const CCameraSession& camera);
// The rates a standard mode offers, from its rate inquiry register.
std::vector<float> ReadRates(const CCameraSession& camera, uint32_t id);
FeatureEntry ReadFeature(const CCameraSession& camera, uint32_t nId);
std::vector<FeatureEntry> ReadFeatures(const CCameraSession& camera);
std::optional<IsoSettings> ReadIsoSettings(const CCameraSession& camera);

// "manual", "auto", "one-push running", "off" ... of a feature state.
std::string FeatureModeText(const FeatureEntry& feature);
// The feature's value(s) as the user types them: "200", "100,120".
std::string FeatureValueText(const FeatureEntry& feature);
// The modes a feature offers: "on-off manual auto one-push absolute".
std::string FeatureCapsText(const FeatureEntry& feature);

}  // namespace iidccam
