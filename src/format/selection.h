// Putting a standard mode (Formats 0-2) into force: the driver's matching
// stream capability, at the fastest rate the camera reports for the mode,
// handed to the capture pin.
#pragma once

#include <cstdint>

#include "winapi.h"

class CCamera;

// Tears the capture graph down first, whatever the outcome. Returns false
// after recording the failure for the camera.
bool SelectFormat(CCamera& camera, uint32_t id);
