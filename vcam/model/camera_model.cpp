#include "vcam/model/camera_model.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstring>

#include "vcam/model/config_rom.h"
#include "vcam/model/offsets.h"

namespace vcam {
namespace {

constexpr std::uint32_t Top3(std::uint32_t q) { return q >> 29; }
constexpr std::uint32_t Hi16(std::uint32_t q) { return q >> 16; }
constexpr std::uint32_t Lo16(std::uint32_t q) { return q & 0xFFFF; }
constexpr std::uint32_t Pack16(std::uint32_t hi, std::uint32_t lo) { return hi << 16 | (lo & 0xFFFF); }

std::uint32_t ReadLe32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// Feature value fields: bits 20-31 (low) and bits 8-19 (high).
constexpr std::uint32_t LoField(std::uint32_t q) { return q & VALUE_LO_MASK; }
constexpr std::uint32_t HiField(std::uint32_t q) { return (q >> VALUE_HI_SHIFT) & VALUE_LO_MASK; }
constexpr std::uint32_t WithLo(std::uint32_t q, std::uint32_t v) { return (q & ~VALUE_LO_MASK) | (v & VALUE_LO_MASK); }
constexpr std::uint32_t WithHi(std::uint32_t q, std::uint32_t v) {
  return (q & ~(VALUE_LO_MASK << VALUE_HI_SHIFT)) | (v & VALUE_LO_MASK) << VALUE_HI_SHIFT;
}
constexpr std::uint32_t WithBit(std::uint32_t q, std::uint32_t bit, bool b) { return b ? q | bit : q & ~bit; }

// A pull of the cable is a flag without a signal: a wait for the trigger
// looks at it this often.
constexpr std::chrono::milliseconds TRIGGER_UNPLUG_POLL{20};

std::shared_ptr<CameraFaults> FaultsOf(const Profile& p) {
  return p.pFaults ? p.pFaults : std::make_shared<CameraFaults>();
}

std::shared_ptr<CFrameClock> ClockOf(const Profile& p) { return p.pClock ? p.pClock : CreateClock(p.clock); }

std::vector<std::uint32_t> RomOf(const Profile& p) {
  return p.rawRom.empty() ? BuildConfigRom(p.strVendor, p.strModel, p.ullUniqueId) : p.rawRom;
}

// The shared store when asked for and possible, else one of the process's own.
std::unique_ptr<CRegisterStore> OpenStore(const std::map<std::uint32_t, std::uint32_t>& powerUp,
                                          const std::vector<std::uint32_t>& rom, std::uint64_t ullUniqueId,
                                          bool bShared, std::string* pstrError) {
  if (bShared)
    if (auto pStore = CRegisterStore::OpenShared(powerUp, rom, ullUniqueId, pstrError)) return pStore;
  return std::make_unique<CRegisterStore>(powerUp);
}

}  // namespace

CCameraModel::CCameraModel(Profile profile, bool bShared)
    : m_profile(std::move(profile)),
      m_pFaults(FaultsOf(m_profile)),
      m_pClock(ClockOf(m_profile)),
      m_rom(RomOf(m_profile)),
      m_powerUp(BuildRegisterImage(m_profile)),
      m_pStore(OpenStore(m_powerUp, m_rom, m_profile.ullUniqueId, bShared, &m_strStoreError)) {}

// Only what differs is built anew: a camera with the same registers and
// another ROM keeps its power-up image. Everything is built before anything
// changes, so a failed allocation leaves the camera as it was.
void CCameraModel::Replace(const Profile& profile) {
  std::lock_guard lock(m_mutex);
  std::optional<RegisterMap> powerUp;
  if (!profile.SameRegisters(m_profile)) powerUp = BuildRegisterImage(profile);
  std::vector<std::uint32_t> rom = RomOf(profile);
  Profile copy = profile;
  std::string strError;
  auto pStore = OpenStore(powerUp ? *powerUp : m_powerUp, rom, profile.ullUniqueId, m_pStore->IsShared(), &strError);
  if (powerUp) m_powerUp = std::move(*powerUp);
  m_rom = std::move(rom);
  m_profile = std::move(copy);
  m_pStore = std::move(pStore);
  m_strStoreError = std::move(strError);
}

std::uint32_t CCameraModel::Get(std::uint32_t dwOffset) const {
  const std::uint32_t* p = m_pStore->Find(dwOffset);
  return p ? *p : 0;
}

// ---------------------------------------------------------------------------
// Locating the CSRs the inquiry registers point to.

std::optional<CCameraModel::Format7Block> CCameraModel::Format7BlockOfMode(std::uint32_t nMode) const {
  if (nMode >= MODES_PER_FORMAT || !(Get(V_FORMAT_INQ) & Bit(FORMAT_7)) || !(Get(VModeInq(FORMAT_7)) & Bit(nMode)))
    return std::nullopt;
  return Format7Block{nMode, CsrQuadletToOffset(Get(VCsrInq7(nMode)))};
}

std::optional<CCameraModel::Format7Block> CCameraModel::FindFormat7Block(std::uint32_t dwOffset) const {
  for (std::uint32_t m = 0; m < MODES_PER_FORMAT; ++m) {
    const auto block = Format7BlockOfMode(m);
    if (block && dwOffset - block->dwBase < F7_BLOCK_BYTES) return block;
  }
  return std::nullopt;
}

std::uint32_t CCameraModel::AbsCsrBase(std::uint32_t nId) const {
  return CsrQuadletToOffset(Get(ABS_CSR_OFFSET_BASE + nId));
}

std::optional<std::uint32_t> CCameraModel::FindAbsCsrFeature(std::uint32_t dwOffset) const {
  for (std::uint32_t id = 0; id < FEATURE_ID_LIMIT; id += 4) {
    const std::uint32_t dwInq = Get(FEATURE_INQ_BASE + id);
    if ((dwInq & (INQ_PRESENCE | INQ_ABS_CONTROL)) != (INQ_PRESENCE | INQ_ABS_CONTROL)) continue;
    if (dwOffset - AbsCsrBase(id) < ABS_CSR_BYTES) return id;
  }
  return std::nullopt;
}

// ---------------------------------------------------------------------------
// Register transactions.

Result CCameraModel::ReadQuadlet(std::uint32_t dwOffset, std::uint32_t* pdwValue) {
  if (!pdwValue) return VCAM_E_POINTER;
  if (m_pFaults->bUnplugged) return VCAM_E_NOT_CONNECTED;
  if (const Result hr = m_pFaults->readFailure.Check(dwOffset); Failed(hr)) return hr;
  std::lock_guard lock(m_lock);
  FinishOnePushes();
  return ReadLocked(dwOffset, pdwValue);
}

Result CCameraModel::WriteQuadlet(std::uint32_t dwOffset, std::uint32_t dwValue) {
  if (m_pFaults->bUnplugged) return VCAM_E_NOT_CONNECTED;
  if (const Result hr = m_pFaults->writeFailure.Check(dwOffset); Failed(hr)) return hr;
  std::lock_guard lock(m_lock);
  FinishOnePushes();
  return WriteLocked(dwOffset, dwValue);
}

Result CCameraModel::ReadLocked(std::uint32_t dwOffset, std::uint32_t* pdwValue) {
  if (dwOffset % 4 != 0) return VCAM_E_ADDRESS;
  if (const std::uint32_t nRomByte = dwOffset - ROM_OFFSET; nRomByte < 4 * m_rom.size()) {
    *pdwValue = m_rom[nRomByte / 4];
    return VCAM_S_OK;
  }
  if (const auto block = FindFormat7Block(dwOffset)) {
    const auto value = ReadFormat7(*block, dwOffset - block->dwBase);
    if (!value) return VCAM_E_ADDRESS;
    *pdwValue = *value;
    return VCAM_S_OK;
  }
  if (dwOffset == VMODE_ERROR_STATUS) {
    *pdwValue = StreamIsValid() ? 0 : Bit(0);
    return VCAM_S_OK;
  }
  if (dwOffset == SOFTWARE_TRIGGER && Has(dwOffset)) {  // busy while a release waits for its frame
    *pdwValue = Counters().nReleases ? Bit(0) : 0;
    return VCAM_S_OK;
  }
  const std::uint32_t* p = m_pStore->Find(dwOffset);
  if (!p) return VCAM_E_ADDRESS;
  *pdwValue = *p;
  return VCAM_S_OK;
}

Result CCameraModel::WriteLocked(std::uint32_t dwOffset, std::uint32_t dwValue) {
  if (dwOffset % 4 != 0) return VCAM_E_ADDRESS;
  if (dwOffset - ROM_OFFSET < 4 * m_rom.size()) return VCAM_S_OK;  // read-only memory
  if (const auto block = FindFormat7Block(dwOffset))
    return WriteFormat7(*block, dwOffset - block->dwBase, dwValue) ? VCAM_S_OK : VCAM_E_ADDRESS;
  if (const auto id = FindAbsCsrFeature(dwOffset)) {
    if (dwOffset - AbsCsrBase(*id) == ABS_VALUE) WriteAbsValue(*id, dwValue);
    return VCAM_S_OK;  // minimum and maximum are read-only
  }
  if (dwOffset == VMODE_ERROR_STATUS) return VCAM_S_OK;
  if (!Has(dwOffset)) return VCAM_E_ADDRESS;

  switch (dwOffset) {
    case INITIALIZE:
      if (dwValue & Bit(0)) {  // back to the power-up state; the bit clears itself
        m_pStore->PowerUp();
        m_cvTrigger.notify_all();
      }
      return VCAM_S_OK;
    case CUR_V_FORMAT: WriteVideoFormat(Top3(dwValue)); return VCAM_S_OK;
    case CUR_V_MODE: WriteVideoMode(Top3(dwValue)); return VCAM_S_OK;
    case CUR_V_FRM_RATE: WriteFrameRate(Top3(dwValue)); return VCAM_S_OK;
    case ISO_CHANNEL: Set(dwOffset, dwValue & 0xF3000000u); return VCAM_S_OK;
    case CAMERA_POWER:
      if (Get(BASIC_FUNC_INQ) & BASIC_CAM_POWER) Set(dwOffset, dwValue & Bit(0));
      return VCAM_S_OK;
    case ISO_EN:
      if ((dwValue & Bit(0)) && !(Get(ISO_EN) & Bit(0))) ++Counters().nIsoStarts;
      Set(dwOffset, dwValue & Bit(0));
      return VCAM_S_OK;
    case ONE_SHOT: {
      const std::uint32_t dwBasic = Get(BASIC_FUNC_INQ);
      std::uint32_t dwMask = 0;
      if (dwBasic & BASIC_ONE_SHOT) dwMask |= Bit(0);
      if (dwBasic & BASIC_MULTI_SHOT) dwMask |= Bit(1) | 0xFFFF;
      Set(dwOffset, dwValue & dwMask);
      return VCAM_S_OK;
    }
    case SOFTWARE_TRIGGER: WriteSoftwareTrigger(dwValue); return VCAM_S_OK;
    case BAYER_TILE_MAPPING: return VCAM_S_OK;  // read-only
    default: break;
  }
  if (dwOffset - FEATURE_CONTROL_BASE < FEATURE_BLOCK_BYTES) {
    const std::uint32_t nId = dwOffset - FEATURE_CONTROL_BASE;
    if (nId == FEATURE_TRIGGER)
      WriteTrigger(dwValue);
    else
      WriteFeature(nId, dwValue);
    return VCAM_S_OK;
  }
  // Inquiry registers and absolute-value offsets are read-only.
  if (dwOffset >= V_FORMAT_INQ && dwOffset < CUR_V_FRM_RATE) return VCAM_S_OK;
  if (dwOffset - ABS_CSR_OFFSET_BASE < FEATURE_BLOCK_BYTES) return VCAM_S_OK;
  // Any other implemented register (a raw one from the profile) is plain memory.
  Set(dwOffset, dwValue);
  return VCAM_S_OK;
}

// ---------------------------------------------------------------------------
// Video format, mode and rate.

void CCameraModel::WriteVideoFormat(std::uint32_t nFormat) {
  if (!(Get(V_FORMAT_INQ) & Bit(nFormat))) return;  // not offered: ignored
  Set(CUR_V_FORMAT, nFormat << 29);
  MakeModeAndRateValid();
}

void CCameraModel::WriteVideoMode(std::uint32_t nMode) {
  const std::uint32_t nFormat = Top3(Get(CUR_V_FORMAT));
  if (!(Get(VModeInq(nFormat)) & Bit(nMode))) return;
  if (nFormat < STANDARD_FORMATS && !LookUpStandardMode(nFormat, nMode)) return;
  Set(CUR_V_MODE, nMode << 29);
  MakeModeAndRateValid();
}

void CCameraModel::WriteFrameRate(std::uint32_t nRate) {
  const std::uint32_t nFormat = Top3(Get(CUR_V_FORMAT));
  const std::uint32_t nMode = Top3(Get(CUR_V_MODE));
  // Format 7 runs at the rate its packet size gives; the field is kept as written.
  if (nFormat < STANDARD_FORMATS && !(Get(VRateInq(nFormat, nMode)) & Bit(nRate))) return;
  Set(CUR_V_FRM_RATE, nRate << 29);
}

// After a format or mode switch the camera keeps streaming something it
// offers: the first offered mode of the new format, the fastest offered rate.
void CCameraModel::MakeModeAndRateValid() {
  const std::uint32_t nFormat = Top3(Get(CUR_V_FORMAT));
  const std::uint32_t dwModes = Get(VModeInq(nFormat));
  if (!(dwModes & Bit(Top3(Get(CUR_V_MODE))))) {
    for (std::uint32_t m = 0; m < MODES_PER_FORMAT; ++m)
      if (dwModes & Bit(m)) {
        Set(CUR_V_MODE, m << 29);
        break;
      }
  }
  if (nFormat >= STANDARD_FORMATS) return;
  const std::uint32_t dwRates = Get(VRateInq(nFormat, Top3(Get(CUR_V_MODE))));
  if (!(dwRates & Bit(Top3(Get(CUR_V_FRM_RATE)))))
    if (const auto code = FastestRateCode(dwRates)) Set(CUR_V_FRM_RATE, *code << 29);
}

Result CCameraModel::SelectStandardMode(std::uint32_t nFormat, std::uint32_t nMode, std::int64_t llInterval) {
  if (m_pFaults->bRefuseSetFormat) return VCAM_E_INVALIDARG;
  std::lock_guard lock(m_lock);
  if (nFormat >= STANDARD_FORMATS || nMode >= MODES_PER_FORMAT || !LookUpStandardMode(nFormat, nMode) ||
      !(Get(V_FORMAT_INQ) & Bit(nFormat)) || !(Get(VModeInq(nFormat)) & Bit(nMode)))
    return VCAM_E_INVALIDARG;
  const auto code = RateCodeForInterval(llInterval, Get(VRateInq(nFormat, nMode)));
  if (!code) return VCAM_E_INVALIDARG;
  Set(CUR_V_FORMAT, nFormat << 29);
  Set(CUR_V_MODE, nMode << 29);
  Set(CUR_V_FRM_RATE, *code << 29);
  return VCAM_S_OK;
}

std::vector<StandardModeInfo> CCameraModel::EnumerateStandardModes() {
  std::lock_guard lock(m_lock);
  std::vector<StandardModeInfo> modes;
  for (std::uint32_t f = 0; f < STANDARD_FORMATS; ++f) {
    if (!(Get(V_FORMAT_INQ) & Bit(f))) continue;
    for (std::uint32_t m = 0; m < MODES_PER_FORMAT; ++m) {
      const auto row = LookUpStandardMode(f, m);
      if (!row || !(Get(VModeInq(f)) & Bit(m))) continue;
      modes.push_back({f, m, *row, Get(VRateInq(f, m)), FrameBytes(row->nColor, row->nWidth, row->nHeight)});
    }
  }
  return modes;
}

StreamInfo CCameraModel::GetStream() {
  std::lock_guard lock(m_lock);
  StreamInfo s = StreamLocked();
  // The area's position on the sensor decides the colour of its first pixel.
  if (IsSensorCoding(s.nColor)) s.nFilter = ShiftFilter(m_profile.nColorFilter, s.nLeft, s.nTop);
  return s;
}

StreamInfo CCameraModel::StreamLocked() const {
  StreamInfo s;
  s.nFormat = Top3(Get(CUR_V_FORMAT));
  s.nMode = Top3(Get(CUR_V_MODE));
  if (s.nFormat == FORMAT_7) {
    const auto block = Format7BlockOfMode(s.nMode);
    if (!block) return s;
    s.nColor = StreamColor(Get(block->dwBase + F7_COLOR_CODING_ID) >> 24);
    const std::uint32_t dwPos = Get(block->dwBase + F7_IMAGE_POSITION);
    const std::uint32_t dwSize = Get(block->dwBase + F7_IMAGE_SIZE);
    s.nLeft = Hi16(dwPos);
    s.nTop = Lo16(dwPos);
    s.nWidth = Hi16(dwSize);
    s.nHeight = Lo16(dwSize);
    s.nBitsPerPixel = BitsPerPixel(s.nColor);
    s.cbFrame = FrameBytes(s.nColor, s.nWidth, s.nHeight);
    const std::uint64_t cbPacket = Format7BytesPerPacket(*block);
    s.cbPacket = static_cast<std::uint32_t>(cbPacket);
    const std::uint64_t nPackets = cbPacket ? (s.cbFrame + cbPacket - 1) / cbPacket : 0;
    s.llInterval = std::max<std::int64_t>(1, static_cast<std::int64_t>(nPackets) * ISO_CYCLE_100NS);
    s.bValid = s.nBitsPerPixel != 0 && s.cbFrame != 0 && cbPacket != 0;
    return s;
  }
  const auto row = LookUpStandardMode(s.nFormat, s.nMode);
  if (!row) return s;
  const unsigned nRate = Top3(Get(CUR_V_FRM_RATE));
  s.rateCode = nRate;
  s.nColor = row->nColor;
  s.nWidth = row->nWidth;
  s.nHeight = row->nHeight;
  s.nBitsPerPixel = row->nBitsPerPixel;
  s.cbFrame = FrameBytes(row->nColor, row->nWidth, row->nHeight);
  s.llInterval = IntervalFromCode(nRate);
  s.cbPacket = StandardPacketBytes(s.nFormat, s.nMode, nRate).value_or(0);
  s.bValid = (Get(V_FORMAT_INQ) & Bit(s.nFormat)) && (Get(VModeInq(s.nFormat)) & Bit(s.nMode)) &&
             (Get(VRateInq(s.nFormat, s.nMode)) & Bit(nRate));
  return s;
}

IsoSettings CCameraModel::GetIsoSettings() {
  std::lock_guard lock(m_lock);
  const std::uint32_t dwShot = Get(ONE_SHOT);
  const std::uint32_t dwChannel = Get(ISO_CHANNEL);
  IsoSettings s;
  s.bEnabled = (Get(ISO_EN) & Bit(0)) != 0;
  s.bShot = (dwShot & Bit(0)) || ((dwShot & Bit(1)) && Lo16(dwShot) != 0);
  s.nChannel = dwChannel >> 28;
  s.nSpeed = (dwChannel >> 24) & 3;
  s.nStarts = Counters().nIsoStarts;
  return s;
}

void CCameraModel::NoteFrameSent() {
  std::lock_guard lock(m_lock);
  std::uint32_t q = Get(ONE_SHOT);
  if (q & Bit(0)) {
    q &= ~Bit(0);
  } else if (q & Bit(1)) {
    const std::uint32_t nLeft = Lo16(q) ? Lo16(q) - 1 : 0;
    q = nLeft ? (q & ~0xFFFFu) | nLeft : 0;
  }
  if (Has(ONE_SHOT)) Set(ONE_SHOT, q);
  const std::uint32_t nLeft = m_pFaults->nFramesBeforeLoss.load();
  if (nLeft != 0) {
    m_pFaults->nFramesBeforeLoss = nLeft - 1;
    if (nLeft == 1) m_pFaults->bUnplugged = true;
  }
}

// ---------------------------------------------------------------------------
// Format 7.

std::uint32_t CCameraModel::Format7BytesPerPacket(const Format7Block& block) const {
  const std::uint32_t cb = Hi16(Get(block.dwBase + F7_BYTE_PER_PACKET));
  return cb ? cb : Lo16(Get(block.dwBase + F7_PACKET_PARA_INQ));
}

std::uint64_t CCameraModel::Format7FrameBytes(const Format7Block& block) const {
  const std::uint32_t dwSize = Get(block.dwBase + F7_IMAGE_SIZE);
  return FrameBytes(Get(block.dwBase + F7_COLOR_CODING_ID) >> 24, Hi16(dwSize), Lo16(dwSize));
}

std::optional<std::uint32_t> CCameraModel::ReadFormat7(const Format7Block& block, std::uint32_t nField) const {
  const std::uint32_t dwSize = Get(block.dwBase + F7_IMAGE_SIZE);
  const std::uint64_t cbFrame = Format7FrameBytes(block);
  switch (nField) {
    case F7_PIXEL_NUMBER_INQ: return Hi16(dwSize) * Lo16(dwSize);
    case F7_DATA_DEPTH_INQ: {  // what a host needs to size the samples of the coding
      if (const std::uint32_t* p = m_pStore->Find(block.dwBase + nField)) return *p;  // a dump's own
      const std::uint32_t nColor = StreamColor(Get(block.dwBase + F7_COLOR_CODING_ID) >> 24);
      const bool bWide = nColor == COLOR_MONO16 || nColor == COLOR_RGB16;
      return IsKnownColorCoding(nColor) ? (bWide ? 16u : 8u) << 24 : 0u;
    }
    case F7_TOTAL_BYTES_HI_INQ: return static_cast<std::uint32_t>(cbFrame >> 32);
    case F7_TOTAL_BYTES_LO_INQ: return static_cast<std::uint32_t>(cbFrame);
    case F7_PACKET_PER_FRAME_INQ: {
      const std::uint64_t cbPacket = Format7BytesPerPacket(block);
      return cbPacket ? static_cast<std::uint32_t>((cbFrame + cbPacket - 1) / cbPacket) : 0;
    }
    default: break;
  }
  const std::uint32_t* p = m_pStore->Find(block.dwBase + nField);
  if (!p) return std::nullopt;
  return *p;
}

bool CCameraModel::AreaFits(const Format7Block& block, const Area& a) const {
  const std::uint32_t dwMax = Get(block.dwBase + F7_MAX_IMAGE_SIZE_INQ);
  const std::uint32_t dwUnit = Get(block.dwBase + F7_UNIT_SIZE_INQ);
  const std::uint32_t dwPosUnit = Get(block.dwBase + F7_UNIT_POSITION_INQ);
  const std::uint32_t nUnitW = Hi16(dwUnit), nUnitH = Lo16(dwUnit);
  // A camera that leaves UNIT_POSITION_INQ at zero positions in size units.
  const std::uint32_t nPosW = Hi16(dwPosUnit) ? Hi16(dwPosUnit) : nUnitW;
  const std::uint32_t nPosH = Lo16(dwPosUnit) ? Lo16(dwPosUnit) : nUnitH;
  if (!nUnitW || !nUnitH || !nPosW || !nPosH) return false;
  return a.nWidth > 0 && a.nHeight > 0 && a.nWidth % nUnitW == 0 && a.nHeight % nUnitH == 0 &&
         a.nLeft % nPosW == 0 && a.nTop % nPosH == 0 && std::uint64_t{a.nLeft} + a.nWidth <= Hi16(dwMax) &&
         std::uint64_t{a.nTop} + a.nHeight <= Lo16(dwMax);
}

bool CCameraModel::WriteFormat7(const Format7Block& block, std::uint32_t nField, std::uint32_t dwValue) {
  const std::uint32_t dwSetting = block.dwBase + F7_VALUE_SETTING;
  const auto report = [&](std::uint32_t dwFlag, bool bError) {
    if (Has(dwSetting)) Set(dwSetting, WithBit(Get(dwSetting) & ~VS_SETTING_1, dwFlag, bError));
  };
  const std::uint32_t dwPos = Get(block.dwBase + F7_IMAGE_POSITION);
  const std::uint32_t dwSize = Get(block.dwBase + F7_IMAGE_SIZE);
  switch (nField) {
    case F7_IMAGE_POSITION:
    case F7_IMAGE_SIZE: {
      const bool bPos = nField == F7_IMAGE_POSITION;
      const Area a = bPos ? Area{Hi16(dwValue), Lo16(dwValue), Hi16(dwSize), Lo16(dwSize)}
                          : Area{Hi16(dwPos), Lo16(dwPos), Hi16(dwValue), Lo16(dwValue)};
      const bool bFits = AreaFits(block, a);
      if (bFits) Set(block.dwBase + nField, dwValue);
      report(VS_ERROR_FLAG_1, !bFits);
      return true;
    }
    case F7_COLOR_CODING_ID: {
      const std::uint32_t nColor = dwValue >> 24;
      const bool bOffered = IsKnownColorCoding(nColor) && (Get(block.dwBase + F7_COLOR_CODING_INQ) & Bit(nColor));
      if (bOffered) Set(block.dwBase + nField, nColor << 24);
      report(VS_ERROR_FLAG_1, !bOffered);
      return true;
    }
    case F7_BYTE_PER_PACKET: {
      const std::uint32_t dwPara = Get(block.dwBase + F7_PACKET_PARA_INQ);
      const std::uint32_t cb = Hi16(dwValue), cbUnit = Hi16(dwPara), cbMax = Lo16(dwPara);
      const bool bFits = cb > 0 && cbUnit > 0 && cb % cbUnit == 0 && cb <= cbMax;
      if (bFits) Set(block.dwBase + nField, Pack16(cb, Lo16(Get(block.dwBase + nField))));
      report(VS_ERROR_FLAG_2, !bFits);
      return true;
    }
    case F7_VALUE_SETTING:
      // Setting_1 checks the settings in force; it is done at once, so it
      // always reads back as zero.
      if (dwValue & VS_SETTING_1)
        report(VS_ERROR_FLAG_1, !AreaFits(block, {Hi16(dwPos), Lo16(dwPos), Hi16(dwSize), Lo16(dwSize)}));
      return true;
    default:
      // Inquiry fields are read-only; anything else in the block is not there.
      return ReadFormat7(block, nField).has_value();
  }
}

Result CCameraModel::ApplyAreaRequest(const void* pRequest, std::size_t cbRequest) {
  if (!pRequest) return VCAM_E_POINTER;
  if (cbRequest < AREA_REQUEST_BYTES) return VCAM_E_INVALIDARG;
  if (m_pFaults->bUnplugged) return VCAM_E_NOT_CONNECTED;
  const auto* p = static_cast<const unsigned char*>(pRequest);
  const Area a{ReadLe32(p + AREA_LEFT_AT), ReadLe32(p + AREA_TOP_AT), ReadLe32(p + AREA_WIDTH_AT),
               ReadLe32(p + AREA_HEIGHT_AT)};
  std::lock_guard lock(m_lock);
  if (Top3(Get(CUR_V_FORMAT)) != FORMAT_7) return VCAM_E_NOT_FOUND;
  const auto block = Format7BlockOfMode(Top3(Get(CUR_V_MODE)));
  if (!block) return VCAM_E_NOT_FOUND;
  const std::uint32_t dwSetting = block->dwBase + F7_VALUE_SETTING;
  // Fields arrive as signed 32-bit integers; anything beyond 16 bits cannot fit.
  const bool bFits = !m_pFaults->bRefuseArea && a.nLeft <= 0xFFFF && a.nTop <= 0xFFFF && a.nWidth <= 0xFFFF &&
                     a.nHeight <= 0xFFFF && AreaFits(*block, a);
  if (Has(dwSetting)) Set(dwSetting, WithBit(Get(dwSetting), VS_ERROR_FLAG_1, !bFits));
  if (!bFits) return VCAM_E_INVALIDARG;
  Set(block->dwBase + F7_IMAGE_POSITION, Pack16(a.nLeft, a.nTop));
  Set(block->dwBase + F7_IMAGE_SIZE, Pack16(a.nWidth, a.nHeight));
  return VCAM_S_OK;
}

// ---------------------------------------------------------------------------
// Features.

void CCameraModel::WriteFeature(std::uint32_t nId, std::uint32_t dwValue) {
  const std::uint32_t dwInq = Get(FEATURE_INQ_BASE + nId);
  if (!(dwInq & INQ_PRESENCE)) return;  // absent: every bit is read-only
  const std::uint32_t dwCtl = FEATURE_CONTROL_BASE + nId;
  std::uint32_t q = Get(dwCtl);
  if (dwInq & INQ_ON_OFF) q = WithBit(q, CTL_ON_OFF, dwValue & CTL_ON_OFF);
  if (!(q & CTL_ON_OFF)) {  // a feature that is off takes no other setting
    Set(dwCtl, q);
    return;
  }
  if (dwInq & INQ_ABS_CONTROL) q = WithBit(q, CTL_ABS_CONTROL, dwValue & CTL_ABS_CONTROL);
  const bool bWantAuto = dwValue & CTL_AUTO;
  if (dwInq & (bWantAuto ? INQ_AUTO : INQ_MANUAL)) q = WithBit(q, CTL_AUTO, bWantAuto);
  const bool bManual = !(q & CTL_AUTO) && (dwInq & INQ_MANUAL);
  // One-push only starts in manual mode, and a running one goes on.
  if ((dwValue & CTL_ONE_PUSH) && (dwInq & INQ_ONE_PUSH) && bManual && !(q & CTL_ONE_PUSH)) {
    q |= CTL_ONE_PUSH;
    CameraCounters& c = Counters();
    if (c.llOnePush[nId / 4] == NO_ONE_PUSH) ++c.nOnePushes;
    c.llOnePush[nId / 4] = m_pClock->Now();
  }
  Set(dwCtl, q);
  if (!bManual || (q & CTL_ABS_CONTROL)) return;  // values come from the camera or the absolute CSR
  const std::uint32_t nMin = HiField(dwInq), nMax = LoField(dwInq);
  const auto clamp = [&](std::uint32_t v) { return std::clamp(v, nMin, std::max(nMin, nMax)); };
  if (nId == FEATURE_WHITE_BALANCE || nId == FEATURE_TEMPERATURE)
    Set(dwCtl, WithHi(Get(dwCtl), clamp(HiField(dwValue))));
  if (nId != FEATURE_TEMPERATURE)  // the current temperature is measured, not set
    SetIntegerValue(nId, clamp(LoField(dwValue)), true);
}

void CCameraModel::SetIntegerValue(std::uint32_t nId, std::uint32_t nValue, bool bSyncAbs) {
  const std::uint32_t dwCtl = FEATURE_CONTROL_BASE + nId;
  const std::uint32_t dwInq = Get(FEATURE_INQ_BASE + nId);
  const bool bChanged = LoField(Get(dwCtl)) != nValue;
  Set(dwCtl, WithLo(Get(dwCtl), nValue));
  if (!bSyncAbs || !bChanged || !(dwInq & INQ_ABS_CONTROL) || nId == FEATURE_WHITE_BALANCE ||
      nId == FEATURE_TEMPERATURE)
    return;
  // Keep the absolute value on the same point of its range as the integer.
  const std::uint32_t nMin = HiField(dwInq), nMax = LoField(dwInq);
  const std::uint32_t dwCsr = AbsCsrBase(nId);
  if (nMax <= nMin || !Has(dwCsr + ABS_VALUE)) return;
  const float fMin = std::bit_cast<float>(Get(dwCsr + ABS_MIN));
  const float fMax = std::bit_cast<float>(Get(dwCsr + ABS_MAX));
  const double t = static_cast<double>(nValue - nMin) / (nMax - nMin);
  Set(dwCsr + ABS_VALUE, std::bit_cast<std::uint32_t>(static_cast<float>(fMin + t * (fMax - fMin))));
}

void CCameraModel::WriteAbsValue(std::uint32_t nId, std::uint32_t dwBits) {
  const std::uint32_t dwCsr = AbsCsrBase(nId);
  const float f = std::bit_cast<float>(dwBits);
  if (std::isnan(f) || !Has(dwCsr + ABS_VALUE)) return;
  const float fMin = std::bit_cast<float>(Get(dwCsr + ABS_MIN));
  const float fMax = std::bit_cast<float>(Get(dwCsr + ABS_MAX));
  const float fValue = std::clamp(f, fMin, std::max(fMin, fMax));
  Set(dwCsr + ABS_VALUE, std::bit_cast<std::uint32_t>(fValue));
  const std::uint32_t dwInq = Get(FEATURE_INQ_BASE + nId);
  const std::uint32_t nMin = HiField(dwInq), nMax = LoField(dwInq);
  if (nId == FEATURE_WHITE_BALANCE || nId == FEATURE_TEMPERATURE || nId == FEATURE_TRIGGER || !(fMax > fMin) ||
      nMax <= nMin)
    return;
  const double t = (static_cast<double>(fValue) - fMin) / (static_cast<double>(fMax) - fMin);
  SetIntegerValue(nId, nMin + static_cast<std::uint32_t>(std::lround(t * (nMax - nMin))), false);
}

void CCameraModel::WriteTrigger(std::uint32_t dwValue) {
  const std::uint32_t dwInq = Get(FEATURE_INQ_BASE + FEATURE_TRIGGER);
  if (!(dwInq & INQ_PRESENCE)) return;
  const std::uint32_t dwCtl = FEATURE_CONTROL_BASE + FEATURE_TRIGGER;
  std::uint32_t q = Get(dwCtl);
  if (dwInq & INQ_ON_OFF) q = WithBit(q, CTL_ON_OFF, dwValue & CTL_ON_OFF);
  if (q & CTL_ON_OFF) {
    if (dwInq & INQ_ABS_CONTROL) q = WithBit(q, CTL_ABS_CONTROL, dwValue & CTL_ABS_CONTROL);
    if (dwInq & TRIGGER_INQ_POLARITY) q = WithBit(q, TRIGGER_POLARITY, dwValue & TRIGGER_POLARITY);
    const std::uint32_t nMode = (dwValue >> TRIGGER_MODE_SHIFT) & 0xF;
    if (dwInq & Bit(16 + nMode)) q = (q & ~(0xFu << TRIGGER_MODE_SHIFT)) | nMode << TRIGGER_MODE_SHIFT;
    q = WithLo(q, LoField(dwValue));  // the parameter has no range of its own
  }
  Set(dwCtl, q);
  if (!TriggerIsOnLocked()) Counters().nReleases = 0;
  m_cvTrigger.notify_all();
}

bool CCameraModel::TriggerIsOnLocked() const {
  const std::uint32_t dwCtl = Get(FEATURE_CONTROL_BASE + FEATURE_TRIGGER);
  return (Get(FEATURE_INQ_BASE + FEATURE_TRIGGER) & INQ_PRESENCE) && (dwCtl & CTL_PRESENCE) && (dwCtl & CTL_ON_OFF);
}

bool CCameraModel::TriggerIsOn() {
  std::lock_guard lock(m_lock);
  return TriggerIsOnLocked();
}

// A release while the trigger is off, or on a camera without the register's
// inquiry bit, does nothing.
void CCameraModel::WriteSoftwareTrigger(std::uint32_t dwValue) {
  if (!(dwValue & Bit(0)) || !(Get(FEATURE_INQ_BASE + FEATURE_TRIGGER) & TRIGGER_INQ_SOFTWARE) ||
      !TriggerIsOnLocked())
    return;
  ++Counters().nReleases;
  m_cvTrigger.notify_all();
}

bool CCameraModel::TakeTriggerRelease() {
  std::lock_guard lock(m_lock);
  if (!TriggerIsOnLocked() || Counters().nReleases == 0) return false;
  --Counters().nReleases;
  return true;
}

bool CCameraModel::AwaitTriggerRelease(std::stop_token stop) {
  std::unique_lock lock(m_lock);
  while (TriggerIsOnLocked() && !m_pFaults->bUnplugged && !stop.stop_requested()) {
    if (Counters().nReleases != 0) {
      --Counters().nReleases;
      return true;
    }
    m_cvTrigger.wait_for(lock, stop, TRIGGER_UNPLUG_POLL, [&] { return Counters().nReleases != 0 || !TriggerIsOnLocked(); });
  }
  return false;
}

// One-push adjustments that have run their time settle in the middle of the
// feature's range; they are finished lazily, whenever the camera is accessed.
void CCameraModel::FinishOnePushes() {
  CameraCounters& c = Counters();
  if (c.nOnePushes == 0) return;
  const std::int64_t llNow = m_pClock->Now();
  for (std::uint32_t nSlot = 0; nSlot < ONE_PUSH_SLOTS; ++nSlot) {
    const std::int64_t llStart = c.llOnePush[nSlot];
    if (llStart == NO_ONE_PUSH || llNow - llStart < ONE_PUSH_DURATION) continue;
    const std::uint32_t nId = 4 * nSlot;
    const std::uint32_t dwInq = Get(FEATURE_INQ_BASE + nId);
    const std::uint32_t nMiddle = (HiField(dwInq) + LoField(dwInq)) / 2;
    const std::uint32_t dwCtl = FEATURE_CONTROL_BASE + nId;
    Set(dwCtl, Get(dwCtl) & ~CTL_ONE_PUSH);
    if (nId == FEATURE_WHITE_BALANCE) Set(dwCtl, WithHi(Get(dwCtl), nMiddle));
    if (nId != FEATURE_TEMPERATURE) SetIntegerValue(nId, nMiddle, true);
    c.llOnePush[nSlot] = NO_ONE_PUSH;
    --c.nOnePushes;
  }
}

}  // namespace vcam
