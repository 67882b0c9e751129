// The power-up register map of a profile: inquiry registers from the modes,
// Format 7 modes and features it describes, the CSRs the inquiry offsets point
// to, the status registers at their power-up values, then the raw registers.
#include <bit>

#include "vcam/model/camera_model.h"
#include "vcam/model/offsets.h"

namespace vcam {
namespace {

std::uint32_t FloatBits(float f) { return std::bit_cast<std::uint32_t>(f); }

std::uint32_t FeatureInquiry(const FeatureProfile& f) {
  std::uint32_t q = INQ_PRESENCE;
  if (f.bAbsolute) q |= INQ_ABS_CONTROL;
  if (f.bOnePush) q |= INQ_ONE_PUSH;
  if (f.bReadOut) q |= INQ_READOUT;
  if (f.bOnOff) q |= INQ_ON_OFF;
  if (f.bAuto) q |= INQ_AUTO;
  if (f.bManual) q |= INQ_MANUAL;
  if (f.nId == FEATURE_TRIGGER) {
    q &= ~(INQ_ONE_PUSH | INQ_AUTO);
    if (f.bPolarity) q |= TRIGGER_INQ_POLARITY;
    if (f.bSoftwareTrigger) q |= TRIGGER_INQ_SOFTWARE;
    return q | (f.wTriggerModes & 0xFFFF);
  }
  return q | (f.nMin & 0xFFF) << VALUE_HI_SHIFT | (f.nMax & 0xFFF);
}

std::uint32_t FeatureControl(const FeatureProfile& f) {
  std::uint32_t q = CTL_PRESENCE;
  if (f.bAbsolute && f.bAbsMode) q |= CTL_ABS_CONTROL;
  // A feature that cannot be switched off is always on.
  if (f.bOn || !f.bOnOff) q |= CTL_ON_OFF;
  if (f.nId == FEATURE_TRIGGER) {
    if (f.bPolarity && f.bPolarityHigh) q |= TRIGGER_POLARITY;
    return q | (f.nTriggerMode & 0xF) << TRIGGER_MODE_SHIFT | (f.nValue & 0xFFF);
  }
  if (f.bAutoMode && f.bAuto) q |= CTL_AUTO;
  return q | (f.nValue2 & 0xFFF) << VALUE_HI_SHIFT | (f.nValue & 0xFFF);
}

void AddFormat7Block(std::map<std::uint32_t, std::uint32_t>& regs, const Format7ModeProfile& m,
                     std::uint32_t dwBase, std::uint32_t nFilter) {
  std::uint32_t dwCodings = 0;
  for (std::uint32_t c : m.colorCodings) dwCodings |= Bit(c);
  const std::uint32_t nWidth = m.nWidth ? m.nWidth : m.nMaxWidth;
  const std::uint32_t nHeight = m.nHeight ? m.nHeight : m.nMaxHeight;
  regs[dwBase + F7_MAX_IMAGE_SIZE_INQ] = m.nMaxWidth << 16 | (m.nMaxHeight & 0xFFFF);
  regs[dwBase + F7_UNIT_SIZE_INQ] = m.nUnitWidth << 16 | (m.nUnitHeight & 0xFFFF);
  regs[dwBase + F7_IMAGE_POSITION] = m.nLeft << 16 | (m.nTop & 0xFFFF);
  regs[dwBase + F7_IMAGE_SIZE] = nWidth << 16 | (nHeight & 0xFFFF);
  regs[dwBase + F7_COLOR_CODING_ID] = m.nColor << 24;
  regs[dwBase + F7_COLOR_CODING_INQ] = dwCodings;
  regs[dwBase + F7_PACKET_PARA_INQ] = m.nUnitBytesPerPacket << 16 | (m.nMaxBytesPerPacket & 0xFFFF);
  // Packets start at the largest size; the recommended size is the same.
  regs[dwBase + F7_BYTE_PER_PACKET] = m.nMaxBytesPerPacket << 16 | (m.nMaxBytesPerPacket & 0xFFFF);
  regs[dwBase + F7_UNIT_POSITION_INQ] = m.nUnitLeft << 16 | (m.nUnitTop & 0xFFFF);
  regs[dwBase + F7_COLOR_FILTER_ID] = nFilter < FILTER_NONE ? nFilter << 24 : COLOR_FILTER_ID_NONE;
  regs[dwBase + F7_VALUE_SETTING] = VS_PRESENCE;
}

// Where a described CSR goes: where the profile's raw inquiry register points
// (a dump's own address), else the address the profile states, else the
// generated place.
std::uint32_t CsrPlace(const Profile& profile, std::uint32_t dwInquiry, std::uint32_t dwAddress,
                       std::uint32_t dwGenerated) {
  if (const auto it = profile.rawRegisters.find(dwInquiry); it != profile.rawRegisters.end())
    return CsrQuadletToOffset(it->second);
  return dwAddress ? AddressToOffset(dwAddress) : dwGenerated;
}

}  // namespace

std::map<std::uint32_t, std::uint32_t> BuildRegisterImage(const Profile& profile) {
  std::map<std::uint32_t, std::uint32_t> regs;
  regs[INITIALIZE] = 0;

  std::uint32_t dwFormats = 0;
  std::uint32_t dwModes[MODES_PER_FORMAT] = {};
  for (std::uint32_t f = 0; f < STANDARD_FORMATS; ++f)
    for (std::uint32_t m = 0; m < MODES_PER_FORMAT; ++m) regs[VRateInq(f, m)] = 0;
  for (const StandardModeProfile& s : profile.standardModes) {
    if (s.nFormat >= STANDARD_FORMATS || s.nMode >= MODES_PER_FORMAT) continue;
    dwFormats |= Bit(s.nFormat);
    dwModes[s.nFormat] |= Bit(s.nMode);
    regs[VRateInq(s.nFormat, s.nMode)] = s.dwRates;
  }
  for (std::uint32_t m = 0; m < MODES_PER_FORMAT; ++m) regs[VCsrInq7(m)] = 0;
  for (const Format7ModeProfile& m : profile.format7Modes) {
    if (m.nMode >= MODES_PER_FORMAT) continue;
    dwFormats |= Bit(FORMAT_7);
    dwModes[FORMAT_7] |= Bit(m.nMode);
    const std::uint32_t dwBase = CsrPlace(profile, VCsrInq7(m.nMode), m.dwAddress, F7_BLOCKS_AT + 0x100 * m.nMode);
    regs[VCsrInq7(m.nMode)] = OffsetToCsrQuadlet(dwBase);
    AddFormat7Block(regs, m, dwBase, profile.nColorFilter);
  }
  regs[V_FORMAT_INQ] = dwFormats;
  for (std::uint32_t f = 0; f < MODES_PER_FORMAT; ++f) regs[VModeInq(f)] = dwModes[f];

  regs[BASIC_FUNC_INQ] = BASIC_CAM_POWER | BASIC_ONE_SHOT | BASIC_MULTI_SHOT;
  regs[OPT_FUNCTION_INQ] = 0;
  regs[ADVANCED_FEATURE_INQ] = 0;
  for (std::uint32_t id = 0; id < FEATURE_ID_LIMIT; id += 4) {
    regs[FEATURE_INQ_BASE + id] = 0;
    regs[ABS_CSR_OFFSET_BASE + id] = 0;
    regs[FEATURE_CONTROL_BASE + id] = 0;
  }
  std::uint32_t dwHi = 0, dwLo = 0;
  for (const FeatureProfile& f : profile.features) {
    if (f.nId % 4 != 0 || f.nId >= FEATURE_ID_LIMIT) continue;
    (f.nId < 0x80 ? dwHi : dwLo) |= Bit((f.nId % 0x80) / 4);
    regs[FEATURE_INQ_BASE + f.nId] = FeatureInquiry(f);
    regs[FEATURE_CONTROL_BASE + f.nId] = FeatureControl(f);
    if (f.nId == FEATURE_TRIGGER && f.bSoftwareTrigger) regs[SOFTWARE_TRIGGER] = 0;
    if (f.bAbsolute) {
      const std::uint32_t dwCsr =
          CsrPlace(profile, ABS_CSR_OFFSET_BASE + f.nId, f.dwAbsAddress, ABS_CSRS_AT + 4 * f.nId);
      regs[ABS_CSR_OFFSET_BASE + f.nId] = OffsetToCsrQuadlet(dwCsr);
      regs[dwCsr + ABS_MIN] = FloatBits(f.fAbsMin);
      regs[dwCsr + ABS_MAX] = FloatBits(f.fAbsMax);
      regs[dwCsr + ABS_VALUE] = FloatBits(f.fAbsValue);
    }
  }
  regs[FEATURE_HI_INQ] = dwHi;
  regs[FEATURE_LO_INQ] = dwLo;
  if (profile.bTileMapping) regs[BAYER_TILE_MAPPING] = TileMappingOf(profile.nColorFilter);

  regs[CUR_V_FRM_RATE] = profile.nInitialRate << 29;
  regs[CUR_V_MODE] = profile.nInitialMode << 29;
  regs[CUR_V_FORMAT] = profile.nInitialFormat << 29;
  regs[ISO_CHANNEL] = (profile.nIsoChannel & 0xF) << 28 | (profile.nIsoSpeed & 0x3) << 24;
  regs[CAMERA_POWER] = Bit(0);
  regs[ISO_EN] = 0;
  regs[ONE_SHOT] = 0;

  for (const auto& [dwOffset, dwValue] : profile.rawRegisters) regs[dwOffset] = dwValue;
  return regs;
}

}  // namespace vcam
