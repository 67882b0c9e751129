// The active camera set: the virtual cameras the device enumerator lists.
// It comes from the profile file named by IIDC_VCAM_PROFILE, else from the
// built-in set; tests install their own with SetActiveCameraSet.
//
// Each camera of the set is one live CCameraModel, shared by every filter
// bound to it, as one physical camera is: state written through one binding
// is seen through the next. Installing or resetting the set makes new cameras.
// All functions are thread-safe.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "vcam/model/camera_model.h"
#include "vcam/model/profile.h"

namespace vcam {

constexpr const char* PROFILE_ENVIRONMENT_VARIABLE = "IIDC_VCAM_PROFILE";

// The profiles of the active set (loading it on first use). When the file
// named by IIDC_VCAM_PROFILE cannot be used, the set is empty and
// ActiveCameraSetError tells why (the message is also written once to stderr).
std::vector<Profile> GetActiveCameraSet();
std::string ActiveCameraSetError();

// Installs a set. Profiles without fault switches get their own. Throws
// CProfileError naming the camera and field if a profile fails ValidateProfile.
void SetActiveCameraSet(std::vector<Profile> set);
// Drops an installed set: the next use loads from the environment again.
void ResetActiveCameraSet();

std::size_t GetCameraCount();
// The live camera at a position of the active set; null outside the set.
std::shared_ptr<CCameraModel> GetCameraModel(std::size_t nIndex);

}  // namespace vcam
