// The video capture devices the system device enumerator lists. Each driver
// (the virtual cameras, the cameras on the FireWire bus) registers a function
// that lists its devices; the enumerator asks them afresh at every
// CreateClassEnumerator for CLSID_VideoInputDeviceCategory.
//
// Which drivers are asked, and in which order, is the device layer's choice:
// IIDC_DRIVERS names them, comma-separated ("dc1394,virtual"); without it,
// the cameras on the bus come first, then the virtual cameras. A name no
// driver registered lists nothing.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "winapi.h"

namespace emul {

struct CaptureDevice {
  std::wstring friendlyName;
  // Creates the device's capture filter (one reference in *ppFilter); called
  // by IMoniker::BindToObject on the binding thread.
  std::function<HRESULT(IBaseFilter**)> create;
};

using DeviceLister = std::function<std::vector<CaptureDevice>()>;

// Registers (or, with an empty function, removes) the driver called name.
// Thread-safe; returns true so that it can initialise a static.
bool RegisterDeviceDriver(const std::string& name, DeviceLister lister);

// The drivers in the order they are asked: IIDC_DRIVERS's names, or the
// default order.
std::vector<std::string> ChosenDeviceDrivers();

// The devices now present, in enumeration order.
std::vector<CaptureDevice> CurrentCaptureDevices();

}  // namespace emul
