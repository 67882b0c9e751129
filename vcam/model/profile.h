// A virtual camera described as data: the high-level description (names,
// unique id, modes and rates, Format 7 modes, features) from which its
// register space and configuration ROM are generated, plus raw register values
// and ROM quadlets that override what is generated. Profile files hold the same
// records in JSON (docs/vcam-profiles.md).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "vcam/model/clock.h"
#include "vcam/model/faults.h"
#include "vcam/model/formats.h"

namespace vcam {

// One Format 0-2 mode and the frame-rate codes it offers (IIDC bit k = code k,
// as in V_RATE_INQ).
struct StandardModeProfile {
  std::uint32_t nFormat = 0;
  std::uint32_t nMode = 0;
  std::uint32_t dwRates = 0;
  bool operator==(const StandardModeProfile&) const = default;
};

struct Format7ModeProfile {
  std::uint32_t nMode = 0;
  std::uint32_t nMaxWidth = 0, nMaxHeight = 0;
  std::uint32_t nUnitWidth = 1, nUnitHeight = 1;  // size steps
  std::uint32_t nUnitLeft = 0, nUnitTop = 0;      // position steps; 0 = the size steps
  std::vector<std::uint32_t> colorCodings;        // colour codes offered
  std::uint32_t nColor = 0;                       // colour coding in force
  std::uint32_t nLeft = 0, nTop = 0, nWidth = 0, nHeight = 0;  // 0 size = maximum
  std::uint32_t nUnitBytesPerPacket = 4, nMaxBytesPerPacket = 4096;
  // Address of the register block (lower 32 bits of 0xFFFF xxxx xxxx); 0:
  // where generated blocks go. A raw V_CSR_INQ_7_m of the profile wins.
  std::uint32_t dwAddress = 0;
  bool operator==(const Format7ModeProfile&) const = default;
};

struct FeatureProfile {
  std::uint32_t nId = 0;
  // Capabilities (the feature element inquiry register).
  bool bManual = true, bAuto = false, bOnePush = false, bOnOff = false, bReadOut = true;
  std::uint32_t nMin = 0, nMax = 0;  // integer range (12 bits each)
  // State at power-up (the status and control register).
  bool bOn = true, bAutoMode = false;
  std::uint32_t nValue = 0;   // bits 20-31: value, red (white balance), current temperature
  std::uint32_t nValue2 = 0;  // bits 8-19: blue (white balance), target temperature
  // Absolute-value control.
  bool bAbsolute = false, bAbsMode = false;
  float fAbsMin = 0, fAbsMax = 0, fAbsValue = 0;
  std::uint32_t dwAbsAddress = 0;  // as Format7ModeProfile::dwAddress; a raw 0x700 + id wins
  // Trigger only: modes offered (the inquiry's bits 16-31, so mode k is
  // 0x8000 >> k), polarity, mode and parameter at power-up (nValue holds the
  // parameter).
  std::uint32_t wTriggerModes = 0;
  bool bPolarity = false, bPolarityHigh = false;
  std::uint32_t nTriggerMode = 0;
  bool bSoftwareTrigger = false;  // Software_Trigger_Inq and the SOFTWARE_TRIGGER register
  bool operator==(const FeatureProfile&) const = default;
};

struct Profile {
  std::string strFriendlyName;
  std::string strVendor;
  std::string strModel;
  // EUI-64: node vendor id in the upper 24 bits, chip id in the lower 40.
  std::uint64_t ullUniqueId = 0;

  std::vector<StandardModeProfile> standardModes;
  std::vector<Format7ModeProfile> format7Modes;
  std::vector<FeatureProfile> features;

  // The colour filter over the sensor (FILTER_NONE: monochrome), for its
  // top-left pixel. Mono8, Mono16, Raw8 and Raw16 frames are then mosaics,
  // every Format 7 block's COLOR_FILTER_ID reports it, and so does
  // BAYER_TILE_MAPPING on a camera that has that register.
  std::uint32_t nColorFilter = FILTER_NONE;
  bool bTileMapping = false;

  // Video mode at power-up; a rate code only matters for Formats 0-2.
  std::uint32_t nInitialFormat = 0, nInitialMode = 0, nInitialRate = 0;
  std::uint32_t nIsoChannel = 0, nIsoSpeed = 2;  // speed code 2 = S400

  // Raw register values (offset -> value), applied after generation: they add
  // registers or replace generated ones.
  std::map<std::uint32_t, std::uint32_t> rawRegisters;
  // Raw configuration ROM quadlets; when not empty they replace the generated ROM.
  std::vector<std::uint32_t> rawRom;

  ClockKind clock = ClockKind::Real;

  // Runtime hooks, shared by every copy of the profile and never read from a
  // file: the camera's fault switches (created when missing) and a clock to
  // use instead of one made from `clock` (tests put a CSteppedClock here).
  std::shared_ptr<CameraFaults> pFaults;
  std::shared_ptr<CFrameClock> pClock;

  // Compares the description only, not the runtime hooks.
  bool SameDescription(const Profile& other) const;
  // Whether both describe the same registers at power-up (the ROM aside).
  bool SameRegisters(const Profile& other) const;
};

// The two cameras a new user gets with no setup: a colour camera with
// Format 0, 1 and 7 modes and a full feature set, and a monochrome camera.
std::vector<Profile> BuiltInCameraSet();

// The profile's problems as messages naming the field ("features[3].nMax:
// above 4095"); empty when the profile can be played.
std::vector<std::string> ValidateProfile(const Profile& profile);

}  // namespace vcam
