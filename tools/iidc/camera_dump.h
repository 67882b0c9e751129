// What iidc dump reads from a camera through the library's register reads:
// the configuration ROM and every register a virtual-camera profile needs to
// replay the camera, gathered into such a profile (raw registers and ROM
// quadlets, docs/vcam-profiles.md).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "vcam/model/profile.h"

namespace iidccam {
class CCameraSession;
}

namespace iidctool {

using iidccam::CCameraSession;

struct CameraDump {
  vcam::Profile profile;
  std::vector<uint32_t> unreadable;  // register offsets whose read failed, left out
};

// Called after each register read: what is being read, and how many
// registers have been read so far.
using DumpProgress = std::function<void(const std::string& stage, std::size_t nRead)>;

CameraDump DumpCamera(const CCameraSession& camera, const DumpProgress& progress);

}  // namespace iidctool
