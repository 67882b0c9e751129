// Profile files: JSON camera sets (schema in docs/vcam-profiles.md).
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "vcam/model/profile.h"

namespace vcam {

// A profile that cannot be used. The message names the source and the field,
// e.g. "cams.json: cameras[1].features[2].max: must be below 4096".
class CProfileError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// Parses a camera set: an object {"cameras": [...]}. strSource names the text
// in messages. Every profile is also checked with ValidateProfile. Throws
// CProfileError.
std::vector<Profile> ParseCameraSet(std::string_view text, const std::string& strSource);
std::vector<Profile> LoadCameraSetFile(const std::string& strPath);

// Writes a camera set as JSON that ParseCameraSet reads back to the same
// descriptions (runtime hooks other than the fault switches are not written).
std::string CameraSetToJson(const std::vector<Profile>& set);
void SaveCameraSetFile(const std::string& strPath, const std::vector<Profile>& set);

// Feature names used in files ("brightness", "whiteBalance", ...); empty for
// ids without a name.
std::string_view FeatureName(std::uint32_t nId);

}  // namespace vcam
