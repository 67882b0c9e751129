// The wait of a single-frame capture in normal mode, once the graph runs with
// a one-shot grabber: for a free-running camera within a bound, for a camera
// whose trigger is on until the frame comes, the wait is aborted or the
// camera is lost.
#pragma once

#include "winapi.h"

class CCamera;

// How often a triggered single frame looks at the graph, the abort flag and
// the camera, and how often a completion looks for its frame in the callback.
constexpr DWORD SINGLE_FRAME_POLL_MS = 10;

// Waits for this run's frame. True once it is in the ring and the graph has
// stopped; otherwise records the code and returns false:
// IIDC_ERR_NO_FRAMES when the bound passed, the camera was lost or the graph
// ended the run another way, IIDC_ERR_WAIT_ABORTED when iidc_waitabort ended
// a triggered wait, E_FAIL when the graph could not be waited on.
bool WaitForSingleFrame(CCamera& camera, IMediaEvent* pEvent);
