#include "camera_dump.h"

#include <fmt/format.h>

#include <initializer_list>
#include <map>
#include <optional>
#include <set>

#include "camera_query.h"
#include "camera_rom.h"
#include "names.h"
#include "exit_status.h"
#include "session.h"
#include "vcam/model/config_rom.h"
#include "vcam/model/formats.h"
#include "vcam/model/offsets.h"

namespace iidctool {

namespace {

using namespace vcam;

// The Format 7 block fields IIDC defines, up to VALUE_SETTING.
constexpr std::initializer_list<uint32_t> FORMAT7_FIELDS = {
    F7_MAX_IMAGE_SIZE_INQ, F7_UNIT_SIZE_INQ,      F7_IMAGE_POSITION,       F7_IMAGE_SIZE,
    F7_COLOR_CODING_ID,    F7_COLOR_CODING_INQ,   F7_PIXEL_NUMBER_INQ,     F7_TOTAL_BYTES_HI_INQ,
    F7_TOTAL_BYTES_LO_INQ, F7_PACKET_PARA_INQ,    F7_BYTE_PER_PACKET,      F7_PACKET_PER_FRAME_INQ,
    F7_UNIT_POSITION_INQ,  0x50 /* FRAME_INTERVAL_INQ */, F7_DATA_DEPTH_INQ, F7_COLOR_FILTER_ID,
    F7_VALUE_SETTING};

// Reads registers once each, keeping what was read and what failed.
class CRegisterReader {
 public:
  CRegisterReader(iidc_handle hCamera, const DumpProgress& progress) : m_hCamera(hCamera), m_progress(progress) {}

  void Stage(std::string stage) { m_stage = std::move(stage); }

  std::optional<uint32_t> Read(uint32_t dwOffset)
  {
      if (const auto it = m_values.find(dwOffset); it != m_values.end())
          return it->second;
      if (m_unreadable.count(dwOffset))
          return std::nullopt;
      const auto dwValue = ReadRegister(m_hCamera, dwOffset);
      if (dwValue)
          m_values[dwOffset] = *dwValue;
      else
          m_unreadable.insert(dwOffset);
      if (m_progress)
          m_progress(m_stage, m_values.size() + m_unreadable.size());
      return dwValue;
  }

  uint32_t ValueOr0(uint32_t dwOffset) { return Read(dwOffset).value_or(0); }

  // A register few cameras have: kept when read, not reported when not.
  std::optional<uint32_t> Probe(uint32_t dwOffset)
  {
      const auto dwValue = Read(dwOffset);
      if (!dwValue)
          m_unreadable.erase(dwOffset);
      return dwValue;
  }

  const std::map<uint32_t, uint32_t>& Values() const { return m_values; }
  std::vector<uint32_t> Unreadable() const { return {m_unreadable.begin(), m_unreadable.end()}; }

 private:
  iidc_handle m_hCamera;
  const DumpProgress& m_progress;
  std::string m_stage;
  std::map<uint32_t, uint32_t> m_values;
  std::set<uint32_t> m_unreadable;
};

void ReadVideoInquiry(CRegisterReader& reader)
{
    reader.Stage("video format inquiry");
    reader.Read(V_FORMAT_INQ);
    for (uint32_t f = 0; f < MODES_PER_FORMAT; ++f)
        reader.Read(VModeInq(f));
    for (uint32_t f = 0; f < STANDARD_FORMATS; ++f)
        for (uint32_t m = 0; m < MODES_PER_FORMAT; ++m)
            reader.Read(VRateInq(f, m));
    reader.Stage("Format 7 blocks");
    const uint32_t dwModes7 = reader.ValueOr0(VModeInq(FORMAT_7));
    for (uint32_t m = 0; m < MODES_PER_FORMAT; ++m) {
        if (!(dwModes7 & Bit(m)))
            continue;
        if (const auto q = reader.Read(VCsrInq7(m)))
            for (uint32_t dwField : FORMAT7_FIELDS)
                reader.Read(CsrQuadletToOffset(*q) + dwField);
  }
}

// Every feature the library names, and any other the presence registers
// announce: inquiry, absolute-value offset, status and control, and the
// absolute-value CSR the offset points to.
void ReadFeatureRegisters(CRegisterReader& reader)
{
    reader.Stage("features");
    for (uint32_t dwOffset : {BASIC_FUNC_INQ, FEATURE_HI_INQ, FEATURE_LO_INQ, OPT_FUNCTION_INQ, ADVANCED_FEATURE_INQ})
        reader.Read(dwOffset);
    std::set<uint32_t> ids;
    for (const auto& feature : Features())
        ids.insert(feature.nId);
    const uint32_t dwPresent[2] = {reader.ValueOr0(FEATURE_HI_INQ), reader.ValueOr0(FEATURE_LO_INQ)};
    for (uint32_t n = 0; n < 64; ++n)
        if (dwPresent[n / 32] & Bit(n % 32))
            ids.insert(4 * n);
    for (uint32_t nId : ids) {
        const uint32_t dwInq = reader.ValueOr0(FEATURE_INQ_BASE + nId);
        const auto q = reader.Read(ABS_CSR_OFFSET_BASE + nId);
        reader.Read(FEATURE_CONTROL_BASE + nId);
        if ((dwInq & INQ_PRESENCE) && (dwInq & INQ_ABS_CONTROL) && q)
            for (uint32_t dwField : {ABS_MIN, ABS_MAX, ABS_VALUE})
                reader.Read(CsrQuadletToOffset(*q) + dwField);
  }
    if (reader.ValueOr0(FEATURE_INQ_BASE + FEATURE_TRIGGER) & TRIGGER_INQ_SOFTWARE)
        reader.Read(SOFTWARE_TRIGGER);
}

// The sensor's colour filter as the registers read give it: COLOR_FILTER_ID
// of a Format 7 mode that offers a Raw coding (a monochrome camera may answer
// 0 there too), else BAYER_TILE_MAPPING.
uint32_t ColorFilterOf(CRegisterReader& reader, std::optional<uint32_t> dwTileMapping)
{
    const uint32_t dwModes7 = reader.ValueOr0(VModeInq(FORMAT_7));
    for (uint32_t m = 0; m < MODES_PER_FORMAT; ++m) {
        const auto q = dwModes7 & Bit(m) ? reader.Read(VCsrInq7(m)) : std::nullopt;
        if (!q || !(reader.ValueOr0(CsrQuadletToOffset(*q) + F7_COLOR_CODING_INQ) & (Bit(vcam::COLOR_RAW8) | Bit(vcam::COLOR_RAW16))))
            continue;
        if (const auto dwId = reader.Read(CsrQuadletToOffset(*q) + F7_COLOR_FILTER_ID); dwId && *dwId >> 24 < FILTER_NONE)
            return *dwId >> 24;
    }
    return dwTileMapping ? FilterOfTileMapping(*dwTileMapping).value_or(FILTER_NONE) : FILTER_NONE;
}

}  // namespace

CameraDump DumpCamera(const CCameraSession& camera, const DumpProgress& progress)
{
    CameraDump dump;
    Profile& profile = dump.profile;
    if (progress)
        progress("configuration ROM", 0);
    profile.rawRom = ReadRom(camera.Handle());
    const CameraNames names = ReadCameraNames(camera.Index(), camera.Handle());
    profile.strVendor = names.vendor;
    profile.strModel = names.model;
    profile.ullUniqueId = WalkConfigRom(profile.rawRom).ullUniqueId.value_or(0);
    const bool bNamed = !names.vendor.empty() || !names.model.empty();
    profile.strFriendlyName = bNamed ? fmt::format("{} {} (dump)", names.vendor, names.model)
                                     : fmt::format("Camera {} (dump)", camera.Index());

    CRegisterReader reader(camera.Handle(), progress);
    ReadVideoInquiry(reader);
    ReadFeatureRegisters(reader);
    reader.Stage("colour filter");
    const auto dwTileMapping = reader.Probe(BAYER_TILE_MAPPING);
    profile.bTileMapping = dwTileMapping.has_value();
    profile.nColorFilter = ColorFilterOf(reader, dwTileMapping);
    reader.Stage("settings in force");
    profile.nInitialRate = reader.ValueOr0(CUR_V_FRM_RATE) >> 29;
    profile.nInitialMode = reader.ValueOr0(CUR_V_MODE) >> 29;
    profile.nInitialFormat = reader.ValueOr0(CUR_V_FORMAT) >> 29;
    const uint32_t dwIso = reader.ValueOr0(ISO_CHANNEL);
    profile.nIsoChannel = dwIso >> 28;
    profile.nIsoSpeed = (dwIso >> 24) & 0x3;
    profile.rawRegisters = reader.Values();
    dump.unreadable = reader.Unreadable();
    return dump;
}

}  // namespace iidctool
