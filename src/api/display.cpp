// Live display in a window of the application.
#include "core/barrier.h"
#include "core/camera.h"
#include "core/library.h"
#include "display/window_preview.h"

extern "C" iidc_bool IIDC_CAPI iidc_setimagetowindow(iidc_handle handle, iidc_window owner, int32_t left,
                                                     int32_t top, int32_t width, int32_t height)
{
    return WithCamera(handle, [&](CCamera& camera) {
        switch (SetUpWindowPreview(camera, owner, left, top, width, height)) {
        case PreviewResult::Ok:
            return true;
        case PreviewResult::NoQualityInterface:
            return false;   // nothing recorded: the graph simply has no frame counter
        case PreviewResult::Failed:
            break;
        }
        SetErrorCode(camera.m_nIndex, IIDC_ERR_FAIL);
        return false;
    });
}
