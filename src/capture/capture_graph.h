// The capture graph: capture filter -> Sample Grabber -> Null Renderer.
#pragma once

class CCamera;

// Builds the capture graph below the capture filter of an opened camera
// (state 4 to 3). False with the code recorded on failure; filters already
// added stay in the graph until the capture graph is cleared.
bool PrepareCapture(CCamera& camera);
