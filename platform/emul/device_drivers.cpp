// The drivers behind the device enumerator, and the choice among them.
#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string_view>
#include <utility>

#include "emul/devices.h"

namespace emul {
namespace {

constexpr std::string_view DEFAULT_DRIVERS = "dc1394,virtual";

std::mutex g_mxDrivers;
std::map<std::string, DeviceLister>& Drivers() {  // guarded by g_mxDrivers
  static std::map<std::string, DeviceLister> drivers;
  return drivers;
}

}  // namespace

bool RegisterDeviceDriver(const std::string& name, DeviceLister lister) {
  std::lock_guard lock(g_mxDrivers);
  if (lister) {
    Drivers()[name] = std::move(lister);
  } else {
    Drivers().erase(name);
  }
  return true;
}

std::vector<std::string> ChosenDeviceDrivers() {
  const char* pszChosen = std::getenv("IIDC_DRIVERS");
  const std::string_view chosen = pszChosen != nullptr && *pszChosen != '\0' ? pszChosen : DEFAULT_DRIVERS;
  std::vector<std::string> names;
  for (std::size_t nStart = 0; nStart <= chosen.size();) {
    const std::size_t nEnd = std::min(chosen.find(',', nStart), chosen.size());
    std::string_view name = chosen.substr(nStart, nEnd - nStart);
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end()) names.emplace_back(name);
    nStart = nEnd + 1;
  }
  return names;
}

// The listers run outside the lock: they may take locks of their own.
std::vector<CaptureDevice> CurrentCaptureDevices() {
  std::vector<DeviceLister> listers;
  {
    std::lock_guard lock(g_mxDrivers);
    for (const std::string& name : ChosenDeviceDrivers()) {
      if (auto it = Drivers().find(name); it != Drivers().end()) listers.push_back(it->second);
    }
  }
  std::vector<CaptureDevice> devices;
  for (const DeviceLister& lister : listers) {
    for (CaptureDevice& device : lister()) devices.push_back(std::move(device));
  }
  return devices;
}

}  // namespace emul
