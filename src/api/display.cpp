// Live display in a window of the application.
#include "core/camera.h"
#include "core/library.h"
#include "display/window_preview.h"

extern "C" iidc_bool IIDC_CAPI iidc_setimagetowindow(iidc_handle handle, iidc_window owner, int32_t left,
                                                     int32_t top, int32_t width, int32_t height)
{
    CCamera* pCamera = CameraFromHandle(handle);
    if (!pCamera)
        return 0;
    switch (SetUpWindowPreview(*pCamera, owner, left, top, width, height)) {
    case PreviewResult::Ok:
        return 1;
    case PreviewResult::NoQualityInterface:
        return 0;   // nothing recorded: the graph simply has no frame counter
    case PreviewResult::Failed:
        break;
    }
    SetErrorCode(pCamera->m_nIndex, IIDC_ERR_FAIL);
    return 0;
}
