// Closing a camera, shared by iidc_close and iidc_uninit.
#pragma once

class CCamera;

// Stops what the camera still runs, gives back what the library owns for it,
// clears its table entry and its error slot, and destroys it.
void CloseCamera(CCamera* pCamera);
