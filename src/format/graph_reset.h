// Taking the capture graph down to the capture filter. Format, frame-rate and
// area changes and iidc_clearcapture start with ResetCaptureGraph; window
// display removes what hangs below the sample grabber. Both assume a stopped
// graph.
#pragma once

#include "winapi.h"

class CCamera;

// Disconnects and removes from the camera's graph every filter connected
// below pFilter, bottom-up, depth first. pFilter itself stays.
void RemoveDownstreamFilters(CCamera& camera, IBaseFilter* pFilter);

// Removes everything below the capture filter, releases the grabber, the
// dropped-frame counter and the quality interface, and puts the camera back
// into IIDC_STATE_OPENED.
void ResetCaptureGraph(CCamera& camera);
