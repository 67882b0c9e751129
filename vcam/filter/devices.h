// The virtual cameras as video input devices: one per camera of the active
// camera set (vcam/model/camera_set.h), named by its profile's friendly name,
// each binding to a new capture filter on the camera's one live model.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "winapi.h"

namespace vcam {

class CCameraModel;
class CDriverLog;

struct VirtualDevice {
  std::wstring friendlyName;
  // A new capture filter with one reference. Every filter made by one device
  // shares the camera (and its driver log), as bindings of one physical
  // camera do; a device keeps its camera even if the set is replaced later.
  std::function<HRESULT(IBaseFilter**)> create;
};

// The devices of the active set, in its order.
std::vector<VirtualDevice> ListVirtualDevices();

// The driver log of a camera: one per live camera, made on first use.
std::shared_ptr<CDriverLog> DriverLogOf(const std::shared_ptr<CCameraModel>& pCamera);

// Profile names are UTF-8; device names are wide strings.
std::wstring WidenUtf8(const std::string& text);

}  // namespace vcam
