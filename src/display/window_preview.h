// Live display: the grabber's output rendered into a child window of the
// application's window instead of the frame ring.
#pragma once

#include "iidc.h"
#include "winapi.h"

class CCamera;

enum class PreviewResult { Ok, Failed, NoQualityInterface };

// Replaces everything below the sample grabber by the graph's own rendering
// of its output, places the renderer's video window (hidden) as a child of
// owner at the rectangle, and switches the camera to window mode. The graph
// is not started.
PreviewResult SetUpWindowPreview(CCamera& camera, iidc_window owner, LONG left, LONG top, LONG width,
                                 LONG height);
