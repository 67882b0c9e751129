// The device files of the emulated bus among the process's file
// descriptors: which descriptors are emulated files, and their clients.
#pragma once

#include <memory>
#include <string_view>

#include "vbus/bus/bus.h"

namespace vbus {

class CClient;

// The bus, with what IIDC_VBUS_CONTROL asks done once it is up.
CBus& TheBus();

// A path names one of the bus's device files: "/dev/fw" and a number.
bool IsDevicePath(std::string_view path);
// A path the emulation hides: other FireWire nodes, the old raw1394 node.
bool IsHiddenPath(std::string_view path);

}  // namespace vbus
