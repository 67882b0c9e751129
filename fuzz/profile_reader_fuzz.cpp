// The profile reader over arbitrary text: it either returns camera sets that
// validate and write back to text it reads again, or throws CProfileError.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "vcam/model/profile.h"
#include "vcam/model/profile_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t cbData) {
  const std::string_view text(reinterpret_cast<const char*>(pData), cbData);
  std::vector<vcam::Profile> set;
  try {
    set = vcam::ParseCameraSet(text, "fuzz.json");
  } catch (const vcam::CProfileError&) {
    return 0;
  }
  for (const vcam::Profile& profile : set) {
    if (!vcam::ValidateProfile(profile).empty()) {
      std::abort();  // the reader let through a camera that cannot be played
    }
  }
  const std::vector<vcam::Profile> again = vcam::ParseCameraSet(vcam::CameraSetToJson(set), "written.json");
  if (again.size() != set.size()) {
    std::abort();
  }
  for (std::size_t i = 0; i < set.size(); ++i) {
    if (!again[i].SameDescription(set[i])) {
      std::abort();  // what was written does not read back the same
    }
  }
  return 0;
}
