#include "core/camera.h"

CCamera::~CCamera()
{
    m_pKsPropertySet.Reset();
    m_pGrabber.Reset();
    m_pQualProp.Reset();
    m_pDroppedFrames.Reset();
    m_pStreamConfig.Reset();
    m_pMediaControl.Reset();
    m_pBuilder.Reset();
    m_pGraph.Reset();
    m_pCaptureFilter.Reset();
    if (m_hFrameEvent)
        CloseHandle(m_hFrameEvent);
    if (m_hRingEvent)
        CloseHandle(m_hRingEvent);
}
