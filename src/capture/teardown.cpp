#include "capture/teardown.h"

#include "core/camera.h"

void TeardownCapture(CCamera& camera)
{
    if (camera.m_pMediaControl)
        camera.m_pMediaControl->Stop();
}
