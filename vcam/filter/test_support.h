// Test controls for the virtual cameras behind the device enumerator, so that
// tests can check at the camera what a library did through the driver: the
// camera's registers and fault switches, its stepped clock, and the format
// and area requests its driver face received. Cameras are addressed by their
// position in the active set, which is their position in the device list.
//
//   auto clocks = vcam::InstallSteppedCameraSet();     // built-in pair, stepped
//   ... open camera 0, start capturing ...
//   clocks[0]->Step(3);                                 // three frames go
//   vcam::GetDriverLog(0)->LastFormatRequest()->shape.llInterval == 333333
//   vcam::GetCameraModel(0)->Faults()->bUnplugged = true;
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "winapi.h"
#include "vcam/filter/driver_log.h"
#include "drivers/face/media_format.h"
#include "vcam/model/camera_model.h"
#include "vcam/model/camera_set.h"
#include "vcam/model/clock.h"
#include "vcam/model/profile.h"

namespace vcam {

// Installs set as the active camera set with every camera on a new stepped
// clock (frames go only when a test steps them); returns the clocks in set
// order. Throws CProfileError for a profile that fails validation.
std::vector<std::shared_ptr<CSteppedClock>> InstallSteppedCameraSet(std::vector<Profile> set = BuiltInCameraSet());

// Camera nIndex's stepped clock, or null when it has another clock or is
// outside the set.
std::shared_ptr<CSteppedClock> GetSteppedClock(std::size_t nIndex);

// Camera nIndex's fault switches, or null outside the set.
std::shared_ptr<CameraFaults> GetCameraFaults(std::size_t nIndex);

// What camera nIndex's driver face received, or null outside the set.
std::shared_ptr<CDriverLog> GetDriverLog(std::size_t nIndex);

// The camera behind a virtual camera's capture filter; null for any other
// filter (or null).
std::shared_ptr<CCameraModel> CameraOfFilter(IBaseFilter* pFilter);

// The sequence number a delivered sample of that shape carries, wherever the
// delivery's row order put the camera's first row (see frame_stream.h): a
// Mono8 sample without FlipVertical, or any other with it, has it at the
// start of its last row.
std::uint32_t SampleSequence(const BYTE* pSample, std::size_t cbSample, const VideoShape& shape, bool bFlipVertical);

}  // namespace vcam
