// Taking down whatever capture or display a camera still runs, for iidc_close.
#pragma once

class CCamera;

// Stops a running graph, unregisters and destroys the callback object, and
// gives back the frame buffers the library allocated, the list and the
// conversion buffer. Buffers the caller attached stay the caller's.
void TeardownCapture(CCamera& camera);
