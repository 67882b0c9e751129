#include "vcam/model/profile_file.h"

#include <array>
#include <charconv>
#include <cmath>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <sstream>

#include <nlohmann/json.hpp>

#include "vcam/model/formats.h"
#include "vcam/model/offsets.h"

namespace vcam {
namespace {

// Fields keep the order in which they are written, so files read top-down.
using json = nlohmann::ordered_json;

struct FeatureNameEntry {
  std::uint32_t nId;
  std::string_view name;
};
constexpr std::array<FeatureNameEntry, 17> FEATURE_NAMES = {{
    {FEATURE_BRIGHTNESS, "brightness"}, {FEATURE_AUTO_EXPOSURE, "autoExposure"},
    {FEATURE_SHARPNESS, "sharpness"},   {FEATURE_WHITE_BALANCE, "whiteBalance"},
    {FEATURE_HUE, "hue"},               {FEATURE_SATURATION, "saturation"},
    {FEATURE_GAMMA, "gamma"},           {FEATURE_SHUTTER, "shutter"},
    {FEATURE_GAIN, "gain"},             {FEATURE_IRIS, "iris"},
    {FEATURE_FOCUS, "focus"},           {FEATURE_TEMPERATURE, "temperature"},
    {FEATURE_TRIGGER, "trigger"},       {FEATURE_ZOOM, "zoom"},
    {FEATURE_PAN, "pan"},               {FEATURE_TILT, "tilt"},
    {FEATURE_OPTICAL_FILTER, "opticalFilter"},
}};

std::string Hex(std::uint64_t v, int nDigits) {
  std::ostringstream s;
  s << "0x" << std::hex << std::uppercase;
  s.width(nDigits);
  s.fill('0');
  s << v;
  return s.str();
}

// The shortest decimal that reads back as the same float (0.0001, not
// 9.999999747378752e-05).
json FloatValue(float f) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, f);
  return std::stod(std::string(buffer, result.ptr));
}

// The JSON library's message without its "[json.exception.type.nnn] " tag.
std::string WithoutPrefix(const json::exception& e) {
  const std::string_view what = e.what();
  const std::size_t nEnd = what.find("] ");
  return std::string(nEnd == std::string_view::npos ? what : what.substr(nEnd + 2));
}

// Follows the parser through the text as a field path ("cameras[0].uniqueId"),
// so that an error the parser meets names the field it is in.
class CParsePath {
public:
  bool operator()(int /*depth*/, json::parse_event_t event, json& parsed) {
    switch (event) {
      case json::parse_event_t::object_start:
      case json::parse_event_t::array_start:
        m_levels.push_back({event == json::parse_event_t::array_start, {}, 0});
        break;
      case json::parse_event_t::key:
        if (!m_levels.empty()) m_levels.back().strKey = parsed.get<std::string>();
        break;
      case json::parse_event_t::object_end:
      case json::parse_event_t::array_end:
        if (!m_levels.empty()) m_levels.pop_back();
        [[fallthrough]];
      case json::parse_event_t::value:
        if (!m_levels.empty() && m_levels.back().bArray) ++m_levels.back().nDone;
        break;
    }
    return true;
  }

  // "cameras[0].uniqueId: ", or nothing outside every object.
  std::string Describe() const {
    std::string s;
    for (const Level& level : m_levels) {
      if (level.bArray) {
        s += "[" + std::to_string(level.nDone) + "]";
      } else if (!level.strKey.empty()) {
        s += (s.empty() ? "" : ".") + level.strKey;
      }
    }
    return s.empty() ? s : s + ": ";
  }

private:
  struct Level {
    bool bArray;
    std::string strKey;    // the latest key of an object
    std::size_t nDone;     // the elements of an array read so far
  };
  std::vector<Level> m_levels;
};

// Reads one JSON object, naming every problem by its path in the file.
class CReader {
public:
  CReader(const json& j, std::string strPath, const std::string& strSource)
      : m_j(j), m_strPath(std::move(strPath)), m_strSource(strSource) {
    if (!m_j.is_object()) Fail("", "expected an object");
  }

  [[noreturn]] void Fail(const std::string& strField, const std::string& strWhy) const {
    throw CProfileError(m_strSource + ": " + Path(strField) + (strWhy.empty() ? "" : ": " + strWhy));
  }
  std::string Path(const std::string& strField) const {
    if (strField.empty()) return m_strPath.empty() ? "(top)" : m_strPath;
    return m_strPath.empty() ? strField : m_strPath + "." + strField;
  }

  // Unknown keys are errors, so that a misspelt field is not silently ignored.
  void Allow(std::initializer_list<const char*> keys) const {
    for (const auto& [key, value] : m_j.items()) {
      bool bKnown = false;
      for (const char* k : keys) bKnown = bKnown || key == k;
      if (!bKnown) Fail(key, "unknown field");
    }
  }

  bool Has(const char* key) const { return m_j.contains(key); }
  const json& Raw(const char* key) const { return m_j.at(key); }

  CReader Object(const char* key) const { return CReader(m_j.at(key), Path(key), m_strSource); }

  std::string String(const char* key, bool bRequired, std::string strDefault = {}) const {
    if (!Has(key)) {
      if (bRequired) Fail(key, "missing");
      return strDefault;
    }
    if (!m_j.at(key).is_string()) Fail(key, "expected a string");
    return m_j.at(key).get<std::string>();
  }

  bool Bool(const char* key, bool bDefault) const {
    if (!Has(key)) return bDefault;
    if (!m_j.at(key).is_boolean()) Fail(key, "expected true or false");
    return m_j.at(key).get<bool>();
  }

  std::uint32_t U32(const char* key, std::uint32_t nDefault, bool bRequired = false) const {
    if (!Has(key)) {
      if (bRequired) Fail(key, "missing");
      return nDefault;
    }
    return static_cast<std::uint32_t>(Unsigned(m_j.at(key), key, 0xFFFFFFFFull));
  }

  float Float(const char* key, float fDefault) const {
    if (!Has(key)) return fDefault;
    if (!m_j.at(key).is_number()) Fail(key, "expected a number");
    const double d = m_j.at(key).get<double>();
    if (!std::isfinite(d)) Fail(key, "expected a finite number");
    return static_cast<float>(d);
  }

  // An unsigned number, or a string of one in decimal or 0x hexadecimal.
  std::uint64_t Unsigned(const json& v, const std::string& strField, std::uint64_t ullMax) const {
    std::uint64_t n = 0;
    if (v.is_number_unsigned()) {
      n = v.get<std::uint64_t>();
    } else if (v.is_number_integer()) {
      Fail(strField, "must not be negative");
    } else if (v.is_string()) {
      const std::string s = v.get<std::string>();
      std::size_t nUsed = 0;
      try {
        n = std::stoull(s, &nUsed, 0);
      } catch (const std::exception&) {
        nUsed = 0;
      }
      if (s.empty() || nUsed != s.size() || s[0] == '-') Fail(strField, "expected an unsigned number, got \"" + s + "\"");
    } else {
      Fail(strField, "expected an unsigned integer");
    }
    if (n > ullMax) Fail(strField, "above " + std::to_string(ullMax));
    return n;
  }

  const json& Array(const char* key) const {
    if (!m_j.at(key).is_array()) Fail(key, "expected an array");
    return m_j.at(key);
  }

  // Calls fn(reader) for each object of the array at key, if there is one.
  template <typename Fn>
  void ForEach(const char* key, Fn fn) const {
    if (!Has(key)) return;
    const json& list = Array(key);
    for (std::size_t i = 0; i < list.size(); ++i) {
      const CReader item(list[i], Path(std::string(key) + "[" + std::to_string(i) + "]"), m_strSource);
      // The reader checks every value's type before it takes it; should the
      // JSON library still refuse one, the element it was in is named.
      try {
        fn(item);
      } catch (const json::exception& e) {
        item.Fail("", WithoutPrefix(e));
      }
    }
  }

private:
  const json& m_j;
  std::string m_strPath;
  const std::string& m_strSource;
};

std::uint32_t ReadRates(const CReader& r, const json& rates) {
  std::uint32_t dw = 0;
  for (std::size_t i = 0; i < rates.size(); ++i) {
    const std::string strField = "rates[" + std::to_string(i) + "]";
    if (!rates[i].is_number()) r.Fail(strField, "expected frames per second");
    const auto code = RateCodeFromFps(rates[i].get<double>());
    if (!code) r.Fail(strField, "not an IIDC frame rate (1.875, 3.75, 7.5, 15, 30, 60, 120, 240)");
    dw |= Bit(*code);
  }
  return dw;
}

std::uint32_t ReadColor(const CReader& r, const json& v, const std::string& strField) {
  if (v.is_string()) {
    if (const auto c = ColorCodingFromName(v.get<std::string>())) return *c;
    r.Fail(strField, "unknown colour coding \"" + v.get<std::string>() + "\"");
  }
  const auto c = static_cast<std::uint32_t>(r.Unsigned(v, strField, COLOR_RAW16));
  if (!IsKnownColorCoding(c)) r.Fail(strField, "unknown colour coding " + std::to_string(c));
  return c;
}

StandardModeProfile ReadMode(const CReader& r) {
  r.Allow({"format", "mode", "rates"});
  StandardModeProfile s;
  s.nFormat = r.U32("format", 0, true);
  s.nMode = r.U32("mode", 0, true);
  if (!r.Has("rates")) r.Fail("rates", "missing");
  s.dwRates = ReadRates(r, r.Array("rates"));
  return s;
}

Format7ModeProfile ReadFormat7(const CReader& r) {
  r.Allow({"mode", "maxWidth", "maxHeight", "unitWidth", "unitHeight", "unitLeft", "unitTop", "colorCodings",
           "colorCoding", "left", "top", "width", "height", "unitBytesPerPacket", "maxBytesPerPacket", "address"});
  Format7ModeProfile m;
  m.nMode = r.U32("mode", 0, true);
  m.nMaxWidth = r.U32("maxWidth", 0, true);
  m.nMaxHeight = r.U32("maxHeight", 0, true);
  m.nUnitWidth = r.U32("unitWidth", m.nUnitWidth);
  m.nUnitHeight = r.U32("unitHeight", m.nUnitHeight);
  m.nUnitLeft = r.U32("unitLeft", m.nUnitLeft);
  m.nUnitTop = r.U32("unitTop", m.nUnitTop);
  if (!r.Has("colorCodings")) r.Fail("colorCodings", "missing");
  const json& codings = r.Array("colorCodings");
  for (std::size_t i = 0; i < codings.size(); ++i)
    m.colorCodings.push_back(ReadColor(r, codings[i], "colorCodings[" + std::to_string(i) + "]"));
  m.nColor = r.Has("colorCoding") ? ReadColor(r, r.Raw("colorCoding"), "colorCoding")
                                  : (m.colorCodings.empty() ? 0 : m.colorCodings.front());
  m.nLeft = r.U32("left", 0);
  m.nTop = r.U32("top", 0);
  m.nWidth = r.U32("width", 0);
  m.nHeight = r.U32("height", 0);
  m.nUnitBytesPerPacket = r.U32("unitBytesPerPacket", m.nUnitBytesPerPacket);
  m.nMaxBytesPerPacket = r.U32("maxBytesPerPacket", m.nMaxBytesPerPacket);
  m.dwAddress = r.U32("address", 0);
  return m;
}

FeatureProfile ReadFeature(const CReader& r) {
  r.Allow({"feature", "manual", "auto", "onePush", "onOff", "readOut", "min", "max", "on", "autoMode", "value",
           "value2", "absolute", "triggerModes", "polarity", "polarityHigh", "triggerMode", "softwareTrigger"});
  FeatureProfile f;
  if (!r.Has("feature")) r.Fail("feature", "missing");
  const json& id = r.Raw("feature");
  if (id.is_string()) {
    bool bFound = false;
    for (const FeatureNameEntry& e : FEATURE_NAMES)
      if (e.name == id.get<std::string>()) {
        f.nId = e.nId;
        bFound = true;
      }
    if (!bFound) r.Fail("feature", "unknown feature \"" + id.get<std::string>() + "\"");
  } else {
    f.nId = static_cast<std::uint32_t>(r.Unsigned(id, "feature", 0xFFFFFFFFull));
  }
  f.bManual = r.Bool("manual", f.bManual);
  f.bAuto = r.Bool("auto", f.bAuto);
  f.bOnePush = r.Bool("onePush", f.bOnePush);
  f.bOnOff = r.Bool("onOff", f.bOnOff);
  f.bReadOut = r.Bool("readOut", f.bReadOut);
  f.nMin = r.U32("min", f.nMin);
  f.nMax = r.U32("max", f.nMax);
  f.bOn = r.Bool("on", f.bOn);
  f.bAutoMode = r.Bool("autoMode", f.bAutoMode);
  f.nValue = r.U32("value", f.nValue);
  f.nValue2 = r.U32("value2", f.nValue2);
  if (r.Has("absolute")) {
    const CReader a = r.Object("absolute");
    a.Allow({"min", "max", "value", "active", "address"});
    f.bAbsolute = true;
    f.fAbsMin = a.Float("min", 0);
    f.fAbsMax = a.Float("max", 0);
    f.fAbsValue = a.Float("value", f.fAbsMin);
    f.bAbsMode = a.Bool("active", false);
    f.dwAbsAddress = a.U32("address", 0);
  }
  if (r.Has("triggerModes")) {
    const json& modes = r.Array("triggerModes");
    for (std::size_t i = 0; i < modes.size(); ++i)
      f.wTriggerModes |= 0x8000u >> r.Unsigned(modes[i], "triggerModes[" + std::to_string(i) + "]", 15);
  }
  f.bPolarity = r.Bool("polarity", f.bPolarity);
  f.bPolarityHigh = r.Bool("polarityHigh", f.bPolarityHigh);
  f.nTriggerMode = r.U32("triggerMode", f.nTriggerMode);
  f.bSoftwareTrigger = r.Bool("softwareTrigger", f.bSoftwareTrigger);
  return f;
}

void ReadFaultRange(const CReader& r, const char* key, CFaultRange& range) {
  if (!r.Has(key)) return;
  const json& v = r.Raw(key);
  if (v.is_string() && v.get<std::string>() == "all") {
    range.SetAll();
    return;
  }
  const CReader f = r.Object(key);
  f.Allow({"first", "last", "code"});
  const std::uint32_t dwFirst = f.U32("first", 0, true);
  range.Set(dwFirst, f.U32("last", dwFirst), static_cast<Result>(f.U32("code", static_cast<std::uint32_t>(VCAM_E_FAIL))));
}

void ReadFaults(const CReader& r, CameraFaults& faults) {
  r.Allow({"failReads", "failWrites", "noStreamConfig", "noPropertySet", "noDroppedFrames", "noVideoControl",
           "refuseSetFormat", "refuseArea", "unplugged", "oversize", "unplugAfter", "extraCaps"});
  ReadFaultRange(r, "failReads", faults.readFailure);
  ReadFaultRange(r, "failWrites", faults.writeFailure);
  faults.bNoStreamConfig = r.Bool("noStreamConfig", false);
  faults.bNoPropertySet = r.Bool("noPropertySet", false);
  faults.bNoDroppedFrames = r.Bool("noDroppedFrames", false);
  faults.bNoVideoControl = r.Bool("noVideoControl", false);
  faults.bRefuseSetFormat = r.Bool("refuseSetFormat", false);
  faults.bRefuseArea = r.Bool("refuseArea", false);
  faults.bUnplugged = r.Bool("unplugged", false);
  faults.cbOversize = r.U32("oversize", 0);
  faults.nFramesBeforeLoss = r.U32("unplugAfter", 0);
  faults.nExtraCaps = r.U32("extraCaps", 0);
}

Profile ReadProfile(const CReader& r) {
  r.Allow({"friendlyName", "vendor", "model", "uniqueId", "modes", "format7", "features", "colorFilter",
           "bayerTileMapping", "initial", "iso", "registers", "rom", "clock", "faults"});
  Profile p;
  p.strFriendlyName = r.String("friendlyName", true);
  p.strVendor = r.String("vendor", true);
  p.strModel = r.String("model", true);
  if (!r.Has("uniqueId")) r.Fail("uniqueId", "missing");
  p.ullUniqueId = r.Unsigned(r.Raw("uniqueId"), "uniqueId", ~0ull);
  r.ForEach("modes", [&](const CReader& m) { p.standardModes.push_back(ReadMode(m)); });
  r.ForEach("format7", [&](const CReader& m) { p.format7Modes.push_back(ReadFormat7(m)); });
  r.ForEach("features", [&](const CReader& f) { p.features.push_back(ReadFeature(f)); });
  if (r.Has("colorFilter")) {
    const auto filter = ColorFilterFromName(r.String("colorFilter", true));
    if (!filter) r.Fail("colorFilter", "expected \"RGGB\", \"GBRG\", \"GRBG\" or \"BGGR\"");
    p.nColorFilter = *filter;
  }
  p.bTileMapping = r.Bool("bayerTileMapping", false);

  // Without "initial" the camera starts in its first mode at its fastest rate.
  if (!p.standardModes.empty()) {
    p.nInitialFormat = p.standardModes.front().nFormat;
    p.nInitialMode = p.standardModes.front().nMode;
    p.nInitialRate = FastestRateCode(p.standardModes.front().dwRates).value_or(0);
  } else if (!p.format7Modes.empty()) {
    p.nInitialFormat = FORMAT_7;
    p.nInitialMode = p.format7Modes.front().nMode;
  }
  if (r.Has("initial")) {
    const CReader i = r.Object("initial");
    i.Allow({"format", "mode", "rate"});
    p.nInitialFormat = i.U32("format", 0, true);
    p.nInitialMode = i.U32("mode", 0, true);
    p.nInitialRate = 0;
    if (i.Has("rate")) {
      if (!i.Raw("rate").is_number()) i.Fail("rate", "expected frames per second");
      const auto code = RateCodeFromFps(i.Raw("rate").get<double>());
      if (!code) i.Fail("rate", "not an IIDC frame rate");
      p.nInitialRate = *code;
    } else if (p.nInitialFormat != FORMAT_7) {
      for (const StandardModeProfile& s : p.standardModes)
        if (s.nFormat == p.nInitialFormat && s.nMode == p.nInitialMode)
          p.nInitialRate = FastestRateCode(s.dwRates).value_or(0);
    }
  }
  if (r.Has("iso")) {
    const CReader iso = r.Object("iso");
    iso.Allow({"channel", "speed"});
    p.nIsoChannel = iso.U32("channel", p.nIsoChannel);
    p.nIsoSpeed = iso.U32("speed", p.nIsoSpeed);
  }
  if (r.Has("registers")) {
    const CReader regs = r.Object("registers");
    for (const auto& [key, value] : r.Raw("registers").items()) {
      const auto dwOffset = static_cast<std::uint32_t>(regs.Unsigned(json(key), key, 0xFFFFFFFFull));
      p.rawRegisters[dwOffset] = static_cast<std::uint32_t>(regs.Unsigned(value, key, 0xFFFFFFFFull));
    }
  }
  if (r.Has("rom")) {
    const json& rom = r.Array("rom");
    for (std::size_t i = 0; i < rom.size(); ++i)
      p.rawRom.push_back(static_cast<std::uint32_t>(r.Unsigned(rom[i], "rom[" + std::to_string(i) + "]", 0xFFFFFFFFull)));
  }
  const std::string strClock = r.String("clock", false, "real");
  if (strClock == "real")
    p.clock = ClockKind::Real;
  else if (strClock == "free")
    p.clock = ClockKind::FreeRun;
  else if (strClock == "stepped")
    p.clock = ClockKind::Stepped;
  else
    r.Fail("clock", "expected \"real\", \"free\" or \"stepped\"");
  p.pFaults = std::make_shared<CameraFaults>();
  if (r.Has("faults")) ReadFaults(r.Object("faults"), *p.pFaults);

  if (const auto problems = ValidateProfile(p); !problems.empty()) r.Fail(problems.front(), "");
  return p;
}

// Only the fields that differ from a default feature are written, so files
// stay short and still read back to the same feature.
json FeatureToJson(const FeatureProfile& f) {
  const FeatureProfile d;
  json j;
  const std::string_view name = FeatureName(f.nId);
  j["feature"] = name.empty() ? json(f.nId) : json(std::string(name));
  const auto put = [&j](const char* key, const auto& value, const auto& defaultValue) {
    if (value != defaultValue) j[key] = value;
  };
  put("manual", f.bManual, d.bManual);
  put("auto", f.bAuto, d.bAuto);
  put("onePush", f.bOnePush, d.bOnePush);
  put("onOff", f.bOnOff, d.bOnOff);
  put("readOut", f.bReadOut, d.bReadOut);
  put("min", f.nMin, d.nMin);
  put("max", f.nMax, d.nMax);
  put("on", f.bOn, d.bOn);
  put("autoMode", f.bAutoMode, d.bAutoMode);
  put("value", f.nValue, d.nValue);
  put("value2", f.nValue2, d.nValue2);
  if (f.bAbsolute) {
    j["absolute"] = {{"min", FloatValue(f.fAbsMin)}, {"max", FloatValue(f.fAbsMax)},
                     {"value", FloatValue(f.fAbsValue)}, {"active", f.bAbsMode}};
    if (f.dwAbsAddress) j["absolute"]["address"] = Hex(f.dwAbsAddress, 8);
  }
  if (f.wTriggerModes) {
    json modes = json::array();
    for (unsigned k = 0; k < 16; ++k)
      if (f.wTriggerModes & (0x8000u >> k)) modes.push_back(k);
    j["triggerModes"] = modes;
  }
  put("triggerMode", f.nTriggerMode, d.nTriggerMode);
  put("polarity", f.bPolarity, d.bPolarity);
  put("polarityHigh", f.bPolarityHigh, d.bPolarityHigh);
  put("softwareTrigger", f.bSoftwareTrigger, d.bSoftwareTrigger);
  return j;
}

json FaultsToJson(const CameraFaults& faults) {
  json j = json::object();
  const auto range = [&](const char* key, const CFaultRange& r) {
    if (r.IsOn())
      j[key] = {{"first", Hex(r.First(), 8)}, {"last", Hex(r.Last(), 8)}, {"code", Hex(static_cast<std::uint32_t>(r.Code()), 8)}};
  };
  range("failReads", faults.readFailure);
  range("failWrites", faults.writeFailure);
  const auto flag = [&](const char* key, bool b) {
    if (b) j[key] = true;
  };
  flag("noStreamConfig", faults.bNoStreamConfig);
  flag("noPropertySet", faults.bNoPropertySet);
  flag("noDroppedFrames", faults.bNoDroppedFrames);
  flag("noVideoControl", faults.bNoVideoControl);
  flag("refuseSetFormat", faults.bRefuseSetFormat);
  flag("refuseArea", faults.bRefuseArea);
  flag("unplugged", faults.bUnplugged);
  if (faults.cbOversize) j["oversize"] = faults.cbOversize.load();
  if (faults.nFramesBeforeLoss) j["unplugAfter"] = faults.nFramesBeforeLoss.load();
  if (faults.nExtraCaps) j["extraCaps"] = faults.nExtraCaps.load();
  return j;
}

json ProfileToJson(const Profile& p) {
  json j;
  j["friendlyName"] = p.strFriendlyName;
  j["vendor"] = p.strVendor;
  j["model"] = p.strModel;
  j["uniqueId"] = Hex(p.ullUniqueId, 16);
  json modes = json::array();
  for (const StandardModeProfile& s : p.standardModes) {
    json rates = json::array();
    for (unsigned k = 0; k < RATE_CODE_COUNT; ++k)
      if (s.dwRates & Bit(k)) rates.push_back(RateFromCode(k));
    modes.push_back({{"format", s.nFormat}, {"mode", s.nMode}, {"rates", rates}});
  }
  j["modes"] = modes;
  json f7 = json::array();
  for (const Format7ModeProfile& m : p.format7Modes) {
    json codings = json::array();
    for (std::uint32_t c : m.colorCodings) codings.push_back(std::string(ColorCodingName(c)));
    json mode = {{"mode", m.nMode}, {"maxWidth", m.nMaxWidth}, {"maxHeight", m.nMaxHeight},
                 {"unitWidth", m.nUnitWidth}, {"unitHeight", m.nUnitHeight}, {"unitLeft", m.nUnitLeft},
                 {"unitTop", m.nUnitTop}, {"colorCodings", codings},
                 {"colorCoding", std::string(ColorCodingName(m.nColor))}, {"left", m.nLeft}, {"top", m.nTop},
                 {"width", m.nWidth}, {"height", m.nHeight}, {"unitBytesPerPacket", m.nUnitBytesPerPacket},
                 {"maxBytesPerPacket", m.nMaxBytesPerPacket}};
    if (m.dwAddress) mode["address"] = Hex(m.dwAddress, 8);
    f7.push_back(mode);
  }
  j["format7"] = f7;
  json features = json::array();
  for (const FeatureProfile& f : p.features) features.push_back(FeatureToJson(f));
  j["features"] = features;
  if (p.nColorFilter != FILTER_NONE) j["colorFilter"] = std::string(ColorFilterName(p.nColorFilter));
  if (p.bTileMapping) j["bayerTileMapping"] = true;
  j["initial"] = {{"format", p.nInitialFormat}, {"mode", p.nInitialMode}};
  if (p.nInitialFormat != FORMAT_7) j["initial"]["rate"] = RateFromCode(p.nInitialRate);
  j["iso"] = {{"channel", p.nIsoChannel}, {"speed", p.nIsoSpeed}};
  if (!p.rawRegisters.empty()) {
    json regs = json::object();
    for (const auto& [dwOffset, dwValue] : p.rawRegisters) regs[Hex(dwOffset, 8)] = Hex(dwValue, 8);
    j["registers"] = regs;
  }
  if (!p.rawRom.empty()) {
    json rom = json::array();
    for (std::uint32_t q : p.rawRom) rom.push_back(Hex(q, 8));
    j["rom"] = rom;
  }
  j["clock"] = std::string(ClockKindName(p.clock));
  if (p.pFaults) {
    json faults = FaultsToJson(*p.pFaults);
    if (!faults.empty()) j["faults"] = faults;
  }
  return j;
}

}  // namespace

std::string_view FeatureName(std::uint32_t nId) {
  for (const FeatureNameEntry& e : FEATURE_NAMES)
    if (e.nId == nId) return e.name;
  return {};
}

std::vector<Profile> ParseCameraSet(std::string_view text, const std::string& strSource) {
  json j;
  CParsePath path;
  try {
    j = json::parse(text, std::ref(path));
  } catch (const json::exception& e) {
    // A syntax error, or a value the JSON library cannot hold (a number
    // beyond the double range): named by the field the parser was in.
    throw CProfileError(strSource + ": " + path.Describe() + "not JSON: " + WithoutPrefix(e));
  }
  const CReader top(j, "", strSource);
  top.Allow({"cameras"});
  if (!top.Has("cameras")) top.Fail("cameras", "missing");
  std::vector<Profile> set;
  top.ForEach("cameras", [&](const CReader& r) { set.push_back(ReadProfile(r)); });
  return set;
}

std::vector<Profile> LoadCameraSetFile(const std::string& strPath) {
  std::ifstream in(strPath, std::ios::binary);
  if (!in) throw CProfileError(strPath + ": cannot be opened");
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw CProfileError(strPath + ": cannot be read");
  return ParseCameraSet(text.str(), strPath);
}

std::string CameraSetToJson(const std::vector<Profile>& set) {
  json cameras = json::array();
  for (const Profile& p : set) cameras.push_back(ProfileToJson(p));
  return json{{"cameras", cameras}}.dump(2) + "\n";
}

void SaveCameraSetFile(const std::string& strPath, const std::vector<Profile>& set) {
  std::ofstream out(strPath, std::ios::binary | std::ios::trunc);
  out << CameraSetToJson(set);
  if (!out) throw CProfileError(strPath + ": cannot be written");
}

}  // namespace vcam
