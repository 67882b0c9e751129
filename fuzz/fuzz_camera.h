// Shared by the fuzz targets that play a camera: a small valid camera whose
// raw registers or ROM a target fills from its input, and the one open camera
// that plays it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "iidc.h"
#include "vcam/model/camera_model.h"
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

// The library started once over a small camera, which stays open for the
// whole run; each input makes it another camera (Replace), as if one were
// plugged into the same port, so that an input costs its own queries alone.
class COpenCamera {
 public:
  static COpenCamera& Get() {
    static COpenCamera s_camera;
    return s_camera;
  }

  // The open camera, now playing profile; null when profile cannot be played,
  // for a camera that cannot be played is no input for the library.
  iidc_handle Play(const vcam::Profile& profile) {
    if (m_handle == nullptr || !vcam::ValidateProfile(profile).empty()) {
      return nullptr;
    }
    vcam::GetCameraModel(0)->Replace(profile);
    return m_handle;
  }

  // Opens the camera afresh, for what an input left that the interface
  // cannot take away (the filters a failed capture preparation leaves in the
  // graph until the camera closes).
  void Reopen() {
    iidc_close(m_handle);
    m_handle = iidc_open(0);
  }

 private:
  COpenCamera() {
    vcam::SetActiveCameraSet({SmallCamera()});
    if (iidc_init()) {
      m_handle = iidc_open(0);
    }
  }
  ~COpenCamera() {
    iidc_uninit();
    vcam::ResetActiveCameraSet();
  }

  iidc_handle m_handle = nullptr;
};

}  // namespace fuzz
