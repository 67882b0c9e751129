// The Format 7 image area: limits and steps of a mode and the rectangle in
// force, read from the camera's Format 7 registers; a new rectangle is handed
// whole to the driver, which applies it.
#pragma once

#include "iidc.h"
#include "winapi.h"

class CCamera;

// Each returns 1 on success and 0 on failure; fields filled before a failed
// read stay.
int32_t GetAreaInfo(CCamera& camera, iidc_areainfo* pInfo, uint32_t id);
int32_t GetCurrentArea(CCamera& camera, iidc_area* pArea);
// Tears the capture graph down first (once the arguments are usable), whether
// or not the driver accepts the rectangle.
int32_t SetArea(CCamera& camera, const iidc_area* pArea);
