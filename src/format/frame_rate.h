// Frame rates: the range a standard mode supports (from V_RATE_INQ_f_m), and
// the rate of the media type in force at the capture pin, read and changed
// through its frame interval.
#pragma once

#include "iidc.h"
#include "winapi.h"

class CCamera;

// 1 on success, 0 on failure. A mode with no supported rate 0-4 only gets its
// flag word written.
int32_t GetFrameRateInfo(CCamera& camera, iidc_framerateinfo* pInfo, uint32_t id);

// Frames per second of the media type in force; 0.0 on failure.
float GetCurrentFrameRate(CCamera& camera);

// Tears the capture graph down, then asks the driver for the rate. Returns
// the rate on success, 0.0 on failure.
float SetFrameRate(CCamera& camera, float rate);
