#include "vcam/model/profile.h"

#include <cmath>
#include <set>
#include <utility>

#include "vcam/model/formats.h"
#include "vcam/model/offsets.h"

namespace vcam {
namespace {

constexpr std::size_t MAX_NAME_BYTES = 128;

std::uint32_t Rates(std::initializer_list<unsigned> codes) {
  std::uint32_t dw = 0;
  for (unsigned k : codes) dw |= Bit(k);
  return dw;
}

FeatureProfile Feature(std::uint32_t nId, std::uint32_t nMin, std::uint32_t nMax, std::uint32_t nValue) {
  FeatureProfile f;
  f.nId = nId;
  f.nMin = nMin;
  f.nMax = nMax;
  f.nValue = nValue;
  return f;
}

// Absolute control whose value sits on the same point of its range as the
// integer value.
FeatureProfile WithAbsolute(FeatureProfile f, float fMin, float fMax) {
  f.bAbsolute = true;
  f.fAbsMin = fMin;
  f.fAbsMax = fMax;
  const double t = f.nMax > f.nMin ? static_cast<double>(f.nValue - f.nMin) / (f.nMax - f.nMin) : 0.0;
  f.fAbsValue = static_cast<float>(fMin + t * (fMax - fMin));
  return f;
}

FeatureProfile Trigger(std::uint32_t wModes) {
  FeatureProfile f;
  f.nId = FEATURE_TRIGGER;
  f.bOnOff = true;
  f.bOn = false;
  f.bPolarity = true;
  f.bSoftwareTrigger = true;
  f.wTriggerModes = wModes;
  return f;
}

Profile ColorCamera() {
  Profile p;
  p.strFriendlyName = "Virtual Optics VC-1280C";
  p.strVendor = "Virtual Optics";
  p.strModel = "VC-1280C";
  p.ullUniqueId = 0x02C0DE0100000001ull;
  p.standardModes = {
      {0, 0, Rates({2, 3, 4})},       {0, 1, Rates({1, 2, 3, 4})},    {0, 2, Rates({1, 2, 3, 4})},
      {0, 3, Rates({0, 1, 2, 3, 4})}, {0, 4, Rates({0, 1, 2, 3})},    {0, 5, Rates({1, 2, 3, 4, 5})},
      {1, 0, Rates({1, 2, 3})},       {1, 1, Rates({0, 1, 2})},       {1, 2, Rates({1, 2, 3, 4})},
      {1, 3, Rates({0, 1, 2})},       {1, 5, Rates({0, 1, 2, 3})},
  };
  Format7ModeProfile full;
  full.nMode = 0;
  full.nMaxWidth = 1280, full.nMaxHeight = 960;
  full.nUnitWidth = 8, full.nUnitHeight = 2, full.nUnitLeft = 4, full.nUnitTop = 2;
  full.colorCodings = {COLOR_MONO8, COLOR_YUV411, COLOR_YUV422, COLOR_RGB8, COLOR_MONO16};
  full.nColor = COLOR_MONO8;
  full.nUnitBytesPerPacket = 4, full.nMaxBytesPerPacket = 4096;
  Format7ModeProfile binned;
  binned.nMode = 1;
  binned.nMaxWidth = 640, binned.nMaxHeight = 480;
  binned.nUnitWidth = 4, binned.nUnitHeight = 4;  // positions step like sizes
  binned.colorCodings = {COLOR_MONO8, COLOR_YUV422, COLOR_MONO16};
  binned.nColor = COLOR_YUV422;
  binned.nUnitBytesPerPacket = 8, binned.nMaxBytesPerPacket = 2048;
  p.format7Modes = {full, binned};

  FeatureProfile brightness = Feature(FEATURE_BRIGHTNESS, 0, 255, 128);
  brightness.bAuto = true;
  FeatureProfile exposure = Feature(FEATURE_AUTO_EXPOSURE, 1, 1023, 512);
  exposure.bAuto = exposure.bOnePush = exposure.bOnOff = true;
  exposure.bAutoMode = true;
  FeatureProfile sharpness = Feature(FEATURE_SHARPNESS, 0, 255, 80);
  sharpness.bAuto = true;
  FeatureProfile white = Feature(FEATURE_WHITE_BALANCE, 0, 1023, 600);
  white.nValue2 = 480;
  white.bAuto = white.bOnePush = white.bOnOff = true;
  FeatureProfile hue = Feature(FEATURE_HUE, 0, 255, 128);
  hue.bOnOff = true;
  hue.bOn = false;
  FeatureProfile saturation = Feature(FEATURE_SATURATION, 0, 511, 256);
  FeatureProfile gamma = Feature(FEATURE_GAMMA, 0, 7, 2);
  gamma.bOnOff = true;
  FeatureProfile shutter = WithAbsolute(Feature(FEATURE_SHUTTER, 1, 4095, 500), 0.0001f, 0.5f);
  shutter.bAuto = shutter.bOnePush = true;
  FeatureProfile gain = WithAbsolute(Feature(FEATURE_GAIN, 0, 680, 170), 0.0f, 24.0f);
  gain.bAuto = true;
  FeatureProfile iris = Feature(FEATURE_IRIS, 0, 15, 8);
  iris.bAuto = iris.bOnePush = true;
  FeatureProfile focus = Feature(FEATURE_FOCUS, 0, 1023, 512);
  focus.bAuto = focus.bOnePush = true;
  FeatureProfile temperature = Feature(FEATURE_TEMPERATURE, 0, 4095, 3000);
  temperature.nValue2 = 3000;
  temperature.bOnOff = true;
  FeatureProfile zoom = Feature(FEATURE_ZOOM, 0, 1000, 0);
  p.features = {brightness, exposure, sharpness, white, hue,        saturation, gamma,
                shutter,    gain,     iris,      focus, temperature, Trigger(0xF000), zoom};
  p.nInitialFormat = 0, p.nInitialMode = 3, p.nInitialRate = 4;
  return p;
}

Profile MonoCamera() {
  Profile p;
  p.strFriendlyName = "Virtual Optics VM-1024M";
  p.strVendor = "Virtual Optics";
  p.strModel = "VM-1024M";
  p.ullUniqueId = 0x02C0DE0100000002ull;
  p.standardModes = {
      {0, 5, Rates({0, 1, 2, 3, 4, 5})}, {0, 6, Rates({0, 1, 2, 3})}, {1, 2, Rates({1, 2, 3, 4})},
      {1, 5, Rates({0, 1, 2, 3})},       {1, 6, Rates({0, 1, 2})},    {1, 7, Rates({0, 1, 2})},
  };
  FeatureProfile brightness = Feature(FEATURE_BRIGHTNESS, 0, 255, 64);
  FeatureProfile gamma = Feature(FEATURE_GAMMA, 0, 1, 0);
  gamma.bOnOff = true;
  FeatureProfile shutter = Feature(FEATURE_SHUTTER, 1, 2047, 300);
  shutter.bAuto = true;
  FeatureProfile gain = Feature(FEATURE_GAIN, 0, 255, 0);
  gain.bAuto = true;
  p.features = {brightness, gamma, shutter, gain, Trigger(0xC000)};
  p.nInitialFormat = 0, p.nInitialMode = 5, p.nInitialRate = 4;
  return p;
}

class CChecker {
public:
  explicit CChecker(std::vector<std::string>& out) : m_out(out) {}
  void operator()(bool bOk, const std::string& strField, const std::string& strWhy) {
    if (!bOk) m_out.push_back(strField + ": " + strWhy);
  }

private:
  std::vector<std::string>& m_out;
};

std::string At(const char* list, std::size_t i, const char* field) {
  return std::string(list) + "[" + std::to_string(i) + "]." + field;
}

// A stated CSR address lies in the initial register space, quadlet-aligned.
void CheckAddress(std::uint32_t dwAddress, const std::string& strField, CChecker& check) {
  check(dwAddress == 0 || (dwAddress >= INITIAL_SPACE_ADDRESS && dwAddress % 4 == 0), strField,
        "must be a multiple of 4 from 0xF0000000 on");
}

void CheckFormat7(const Format7ModeProfile& m, std::size_t i, CChecker& check) {
  const auto at = [i](const char* field) { return At("format7", i, field); };
  check(m.nMode < MODES_PER_FORMAT, at("mode"), "must be 0 to 7");
  check(m.nMaxWidth >= 1 && m.nMaxWidth <= 0xFFFF, at("maxWidth"), "must be 1 to 65535");
  check(m.nMaxHeight >= 1 && m.nMaxHeight <= 0xFFFF, at("maxHeight"), "must be 1 to 65535");
  check(m.nUnitWidth >= 1 && m.nUnitWidth <= m.nMaxWidth, at("unitWidth"), "must be 1 to maxWidth");
  check(m.nUnitHeight >= 1 && m.nUnitHeight <= m.nMaxHeight, at("unitHeight"), "must be 1 to maxHeight");
  check(m.nUnitLeft <= 0xFFFF, at("unitLeft"), "must be below 65536");
  check(m.nUnitTop <= 0xFFFF, at("unitTop"), "must be below 65536");
  check(!m.colorCodings.empty(), at("colorCodings"), "must name at least one colour coding");
  bool bOffered = false;
  for (std::uint32_t c : m.colorCodings) {
    check(IsKnownColorCoding(c), at("colorCodings"), "unknown colour coding " + std::to_string(c));
    bOffered = bOffered || c == m.nColor;
  }
  check(bOffered, at("colorCoding"), "must be one of colorCodings");
  const std::uint32_t nWidth = m.nWidth ? m.nWidth : m.nMaxWidth;
  const std::uint32_t nHeight = m.nHeight ? m.nHeight : m.nMaxHeight;
  const std::uint32_t nPosW = m.nUnitLeft ? m.nUnitLeft : m.nUnitWidth;
  const std::uint32_t nPosH = m.nUnitTop ? m.nUnitTop : m.nUnitHeight;
  if (m.nUnitWidth && m.nUnitHeight && nPosW && nPosH) {
    check(nWidth % m.nUnitWidth == 0 && std::uint64_t{m.nLeft} + nWidth <= m.nMaxWidth, at("width"),
          "must be a multiple of unitWidth with left + width within maxWidth");
    check(nHeight % m.nUnitHeight == 0 && std::uint64_t{m.nTop} + nHeight <= m.nMaxHeight, at("height"),
          "must be a multiple of unitHeight with top + height within maxHeight");
    check(m.nLeft % nPosW == 0, at("left"), "must be a multiple of the position unit");
    check(m.nTop % nPosH == 0, at("top"), "must be a multiple of the position unit");
  }
  check(m.nUnitBytesPerPacket >= 1 && m.nUnitBytesPerPacket <= 0xFFFF, at("unitBytesPerPacket"),
        "must be 1 to 65535");
  check(m.nMaxBytesPerPacket <= 0xFFFF && m.nUnitBytesPerPacket &&
            m.nMaxBytesPerPacket >= m.nUnitBytesPerPacket && m.nMaxBytesPerPacket % m.nUnitBytesPerPacket == 0,
        at("maxBytesPerPacket"), "must be a multiple of unitBytesPerPacket below 65536");
  CheckAddress(m.dwAddress, at("address"), check);
}

void CheckFeature(const FeatureProfile& f, std::size_t i, CChecker& check) {
  const auto at = [i](const char* field) { return At("features", i, field); };
  check(f.nId % 4 == 0 && f.nId < FEATURE_ID_LIMIT, at("feature"), "id must be a multiple of 4 below 256");
  if (f.nId == FEATURE_TRIGGER) {
    check(f.nValue <= 0xFFF, at("value"), "trigger parameter must be below 4096");
    check(f.nTriggerMode < 16 && (f.wTriggerModes & (0x8000u >> f.nTriggerMode)), at("triggerMode"),
          "must be one of triggerModes");
    return;
  }
  check(f.nMax <= 0xFFF, at("max"), "must be below 4096");
  check(f.nMin <= f.nMax, at("min"), "must not exceed max");
  check(f.nValue >= f.nMin && f.nValue <= f.nMax, at("value"), "must lie within min and max");
  if (f.nId == FEATURE_WHITE_BALANCE || f.nId == FEATURE_TEMPERATURE)
    check(f.nValue2 >= f.nMin && f.nValue2 <= f.nMax, at("value2"), "must lie within min and max");
  check(!f.bAutoMode || f.bAuto, at("autoMode"), "needs auto");
  if (f.bAbsolute) {
    check(std::isfinite(f.fAbsMin) && std::isfinite(f.fAbsMax) && f.fAbsMin <= f.fAbsMax, at("absolute.min"),
          "must be finite and not exceed absolute.max");
    check(f.fAbsValue >= f.fAbsMin && f.fAbsValue <= f.fAbsMax, at("absolute.value"),
          "must lie within absolute.min and absolute.max");
    CheckAddress(f.dwAbsAddress, at("absolute.address"), check);
  }
}

}  // namespace

bool Profile::SameDescription(const Profile& o) const {
  return strFriendlyName == o.strFriendlyName && strVendor == o.strVendor && strModel == o.strModel &&
         ullUniqueId == o.ullUniqueId && SameRegisters(o) && rawRom == o.rawRom && clock == o.clock;
}

bool Profile::SameRegisters(const Profile& o) const {
  return standardModes == o.standardModes && format7Modes == o.format7Modes && features == o.features &&
         nInitialFormat == o.nInitialFormat && nInitialMode == o.nInitialMode && nInitialRate == o.nInitialRate &&
         nIsoChannel == o.nIsoChannel && nIsoSpeed == o.nIsoSpeed && nColorFilter == o.nColorFilter &&
         bTileMapping == o.bTileMapping && rawRegisters == o.rawRegisters;
}

std::vector<Profile> BuiltInCameraSet() {
  std::vector<Profile> set = {ColorCamera(), MonoCamera()};
  for (Profile& p : set) p.pFaults = std::make_shared<CameraFaults>();
  return set;
}

std::vector<std::string> ValidateProfile(const Profile& p) {
  std::vector<std::string> problems;
  CChecker check(problems);
  check(!p.strFriendlyName.empty(), "friendlyName", "must not be empty");
  check(p.strVendor.size() <= MAX_NAME_BYTES, "vendor", "longer than 128 bytes");
  check(p.strModel.size() <= MAX_NAME_BYTES, "model", "longer than 128 bytes");

  std::set<std::pair<std::uint32_t, std::uint32_t>> seenModes;
  for (std::size_t i = 0; i < p.standardModes.size(); ++i) {
    const StandardModeProfile& s = p.standardModes[i];
    check(s.nFormat < STANDARD_FORMATS, At("modes", i, "format"), "must be 0, 1 or 2");
    check(LookUpStandardMode(s.nFormat, s.nMode).has_value(), At("modes", i, "mode"),
          "no such standard mode in this format");
    check(s.dwRates != 0 && (s.dwRates & 0x00FFFFFFu) == 0, At("modes", i, "rates"),
          "must name at least one frame rate");
    check(seenModes.insert({s.nFormat, s.nMode}).second, At("modes", i, "mode"), "listed twice");
  }
  std::set<std::uint32_t> seen7;
  for (std::size_t i = 0; i < p.format7Modes.size(); ++i) {
    CheckFormat7(p.format7Modes[i], i, check);
    check(seen7.insert(p.format7Modes[i].nMode).second, At("format7", i, "mode"), "listed twice");
  }
  std::set<std::uint32_t> seenFeatures;
  for (std::size_t i = 0; i < p.features.size(); ++i) {
    CheckFeature(p.features[i], i, check);
    check(seenFeatures.insert(p.features[i].nId).second, At("features", i, "feature"), "listed twice");
  }

  const bool bHasModes = !p.standardModes.empty() || !p.format7Modes.empty();
  // A camera described by raw registers alone (a dump) has its video mode there.
  const bool bRawOnly = !bHasModes && !p.rawRegisters.empty();
  if (!bRawOnly && p.nInitialFormat == FORMAT_7) {
    check(seen7.count(p.nInitialMode) != 0, "initial.mode", "not one of the Format 7 modes");
  } else if (!bRawOnly) {
    bool bFound = false;
    for (const StandardModeProfile& s : p.standardModes)
      if (s.nFormat == p.nInitialFormat && s.nMode == p.nInitialMode) {
        bFound = true;
        check(p.nInitialRate < RATE_CODE_COUNT && (s.dwRates & Bit(p.nInitialRate)), "initial.rate",
              "not a rate of the initial mode");
      }
    check(bFound, "initial.mode", bHasModes ? "not one of the modes" : "the camera offers no video mode");
  }
  check(p.nColorFilter <= FILTER_NONE, "colorFilter", "must be RGGB, GBRG, GRBG or BGGR");
  check(p.nIsoChannel <= 15, "iso.channel", "must be 0 to 15");
  check(p.nIsoSpeed <= 3, "iso.speed", "must be 0 to 3");
  for (const auto& [dwOffset, dwValue] : p.rawRegisters)
    check(dwOffset % 4 == 0, "registers", "offset " + std::to_string(dwOffset) + " is not a multiple of 4");
  check(p.rawRom.size() <= 256, "rom", "more than 256 quadlets");
  return problems;
}

}  // namespace vcam
