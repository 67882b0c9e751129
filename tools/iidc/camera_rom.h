// The configuration ROM as the tool reads it through the register channel:
// the camera's vendor and model names, and the ROM's quadlets for a dump.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "iidc.h"

namespace iidctool {

struct CameraNames {
  std::string vendor, model;
  // Which walk gave each name: "interface" (the fixed walk of iidc_getstring),
  // "keys" (the walk by directory keys) or "none".
  std::string vendorWalk, modelWalk;
};

// The names of camera nIndex. Where the interface's walk yields no name (an
// empty text, or one with bytes that are not printable ASCII), the ROM is
// walked by its directory keys through the register reads of hCamera, an
// open handle of that camera; with null the camera is opened for the walk if
// it can be.
CameraNames ReadCameraNames(int nIndex, iidc_handle hCamera);

// The ROM up to the length its blocks declare, or up to the first quadlet
// that cannot be read.
std::vector<uint32_t> ReadRom(iidc_handle hCamera);

}  // namespace iidctool
