#include "capture/teardown.h"

#include "capture/ring.h"
#include "core/camera.h"

void TeardownCapture(CCamera& camera)
{
    // Stopping first means the streaming thread is done with the callback and
    // the ring before either goes.
    if (camera.m_pMediaControl)
        camera.m_pMediaControl->Stop();
    DiscardRing(camera);
}
