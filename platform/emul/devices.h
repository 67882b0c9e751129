// The video capture devices the system device enumerator lists. Whoever owns
// the devices (the virtual camera, a test) installs a provider; the
// enumerator asks it afresh at every CreateClassEnumerator for
// CLSID_VideoInputDeviceCategory.
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

// Replaces the provider; an empty function means no devices. Thread-safe.
void SetDeviceProvider(std::function<std::vector<CaptureDevice>()> provider);

// The devices now present, in enumeration order (the provider's answer).
std::vector<CaptureDevice> CurrentCaptureDevices();

}  // namespace emul
