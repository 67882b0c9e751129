// What a program on the bus, or its user through IIDC_VBUS_CONTROL, may do
// to the bus: the faults of a real one. Commands, one per call or separated
// by ';' in the variable:
//   reset                  a bus reset
//   unplug N / plug N      camera N (0 first) leaves the bus / comes back
//   lose N COUNT           the next COUNT packets of camera N are lost
//   busy N FIRST LAST      camera N answers busy at register offsets FIRST
//                          to LAST (command-register offsets); busy N off
//   bandwidth UNITS        other nodes hold all but UNITS of the bandwidth
#include <cerrno>
#include <cstdlib>
#include <iomanip>
#include <mutex>
#include <sstream>
#include <string>

#include "vbus/preload/files.h"
#include "vbus/include/vbus_control.h"

namespace vbus {
namespace {

// One command, with the bus mutex held; false when it makes no sense.
bool Run(CBus& bus, const std::string& strCommand) {
  std::istringstream in(strCommand);
  std::string verb;
  if (!(in >> verb)) return true;  // nothing to do
  in >> std::setbase(0);
  if (verb == "reset") {
    bus.Reset();
    return true;
  }
  if (verb == "bandwidth") {
    int nUnits = 0;
    if (!(in >> nUnits)) return false;
    bus.Irm().LimitBandwidth(nUnits);
    return true;
  }
  std::size_t nCamera = 0;
  if (!(in >> nCamera) || !bus.Camera(nCamera)) return false;
  if (verb == "unplug") return bus.Unplug(nCamera);
  if (verb == "plug") return bus.Replug(nCamera);
  if (verb == "lose") {
    std::uint32_t nCount = 0;
    if (!(in >> nCount)) return false;
    bus.Camera(nCamera)->LosePackets(nCount);
    return true;
  }
  if (verb == "busy") {
    vcam::CameraFaults& faults = *bus.Camera(nCamera)->Model().Faults();
    std::string first;
    if (!(in >> first)) return false;
    if (first == "off") {
      faults.readFailure.Clear();
      faults.writeFailure.Clear();
      return true;
    }
    std::uint32_t nLast = 0;
    char* pEnd = nullptr;
    const auto nFirst = static_cast<std::uint32_t>(std::strtoul(first.c_str(), &pEnd, 0));
    if (*pEnd != '\0' || !(in >> nLast)) return false;
    faults.readFailure.Set(nFirst, nLast);
    faults.writeFailure.Set(nFirst, nLast);
    return true;
  }
  return false;
}

bool RunAll(CBus& bus, const std::string& strCommands) {
  std::istringstream in(strCommands);
  bool bOk = true;
  for (std::string command; std::getline(in, command, ';');) bOk = Run(bus, command) && bOk;
  return bOk;
}

}  // namespace

CBus& TheBus() {
  CBus& bus = CBus::Get();
  static std::once_flag once;
  std::call_once(once, [&] {
    if (const char* pszCommands = std::getenv("IIDC_VBUS_CONTROL")) {
      std::lock_guard lock(bus.Mutex());
      RunAll(bus, pszCommands);
    }
  });
  return bus;
}

}  // namespace vbus

extern "C" __attribute__((visibility("default"))) int vbus_control(const char* pszCommands) {
  if (!pszCommands) {
    errno = EINVAL;
    return -1;
  }
  try {
    vbus::CBus& bus = vbus::TheBus();
    std::lock_guard lock(bus.Mutex());
    if (vbus::RunAll(bus, pszCommands)) return 0;
  } catch (...) {
    errno = ENOMEM;
    return -1;
  }
  errno = EINVAL;
  return -1;
}
