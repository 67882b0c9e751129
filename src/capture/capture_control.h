// Capture control: starting and stopping capture, taking the capture graph
// down, and the bound on how long a single frame may take.
#pragma once

#include "winapi.h"

class CCamera;

// How long a single-frame capture waits for its frame, and a window-mode
// single frame for the graph to run, before giving up: 5 s, over nine frame
// periods at the slowest IIDC rate (1.875 frames per second). A normal-mode
// single frame waits at least three frame intervals of the format in force,
// and without a bound while the camera's trigger is on.
constexpr DWORD SINGLE_FRAME_TIMEOUT_MS = 5000;

// The bound in force; tests shorten it to cover a camera that never delivers.
DWORD SingleFrameTimeout();
void SetSingleFrameTimeout(DWORD dwMilliseconds);

// Starts capture in state 2: continuous (to state 1) or one frame (back in
// state 2 once the frame is in the ring). In window mode, RunWindowCapture.
bool StartCapture(CCamera& camera, bool bContinuous);

// Runs the window display: continuously, or for one frame.
bool RunWindowCapture(CCamera& camera, bool bContinuous);

// Stops a continuous capture (state 1 to 2) and drops the callback object.
bool IdleCapture(CCamera& camera);

// Takes the capture graph down (to state 4); refused while capturing.
bool ClearCapture(CCamera& camera);
