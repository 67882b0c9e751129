// Registers the virtual cameras as the emulated platform's video input
// devices, the driver "virtual", when the library is loaded. The enumerator
// asks afresh at every enumeration, so a camera set installed later (a
// test's, or one loaded from IIDC_VCAM_PROFILE on first use) is what it
// lists.
#include "emul/devices.h"
#include "vcam/filter/devices.h"

namespace vcam {
namespace {

std::vector<emul::CaptureDevice> ListCaptureDevices() {
  std::vector<emul::CaptureDevice> devices;
  for (VirtualDevice& device : ListVirtualDevices()) {
    devices.push_back(emul::CaptureDevice{std::move(device.friendlyName), std::move(device.create)});
  }
  return devices;
}

// The device layer keeps its drivers in a function-local static, so
// registering during static initialisation is safe in any order.
const bool g_bRegistered = emul::RegisterDeviceDriver("virtual", &ListCaptureDevices);

}  // namespace
}  // namespace vcam
