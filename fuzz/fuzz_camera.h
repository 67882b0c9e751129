// Shared by the fuzz targets that play a camera: a small valid camera whose
// raw registers or ROM a target fills from its input, and the library started
// over that camera alone for one input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "iidc.h"
#include "vcam/model/camera_set.h"
#include "vcam/model/profile.h"
#include "vcam/model/profile_file.h"

namespace fuzz {

inline vcam::Profile SmallCamera() {
  vcam::Profile profile;
  profile.strFriendlyName = "Fuzz Camera";
  profile.strVendor = "Fuzz Vendor";
  profile.strModel = "Fuzz Model";
  profile.ullUniqueId = 0x00A0B0C0D0E0F001ull;
  profile.standardModes = {{0, 0, 0x38000000u}, {0, 5, 0x10000000u}};
  vcam::Format7ModeProfile mode;
  mode.nMaxWidth = 64;
  mode.nMaxHeight = 48;
  mode.colorCodings = {0, 2};
  profile.format7Modes = {mode};
  vcam::FeatureProfile brightness;
  brightness.nId = IIDC_FEATURE_BRIGHTNESS;
  brightness.nMax = 255;
  profile.features = {brightness};
  profile.nInitialRate = 4;
  profile.clock = vcam::ClockKind::Stepped;
  return profile;
}

// Reads quadlets (little-endian) from the input.
inline std::vector<std::uint32_t> Quadlets(const std::uint8_t* pData, std::size_t cbData) {
  std::vector<std::uint32_t> quadlets(cbData / 4);
  if (!quadlets.empty()) {
    std::memcpy(quadlets.data(), pData, quadlets.size() * 4);
  }
  return quadlets;
}

// The library started over profile as the only camera, for one input.
class CLibraryOver {
 public:
  explicit CLibraryOver(vcam::Profile profile) {
    try {
      vcam::SetActiveCameraSet({std::move(profile)});
    } catch (const vcam::CProfileError&) {
      return;  // a camera that cannot be played is no input for the library
    }
    m_bStarted = iidc_init() != 0;
  }
  ~CLibraryOver() {
    if (m_bStarted) {
      iidc_uninit();
    }
    vcam::ResetActiveCameraSet();
  }
  CLibraryOver(const CLibraryOver&) = delete;
  CLibraryOver& operator=(const CLibraryOver&) = delete;

  bool Started() const { return m_bStarted; }

 private:
  bool m_bStarted = false;
};

}  // namespace fuzz
