#include "capture/capture_graph.h"

#include "base/media_type.h"
#include "core/camera.h"
#include "core/library.h"

namespace {

// Accepts any video the capture filter has been set to: only the major type
// is given, the actual format comes from the capture pin.
CMediaType GrabberMediaType()
{
    CMediaType mt;
    mt.bFixedSizeSamples = TRUE;
    mt.lSampleSize = 1;
    mt.majortype = MEDIATYPE_Video;
    return mt;
}

// The steps that can fail with a platform error, in the order the graph is
// built. Local references are released on every way out.
bool BuildCaptureGraph(CCamera& camera)
{
    if (FAILED(CoCreateInstance(CLSID_SampleGrabber, nullptr, CLSCTX_ALL, IID_ISampleGrabber,
                                camera.m_pGrabber.ReleaseAndGetVoidAddressOf())))
        return false;
    // A grabber without a filter interface cannot join the graph (below).
    ComPtr<IBaseFilter> pGrabberFilter;
    camera.m_pGrabber->QueryInterface(IID_IBaseFilter, pGrabberFilter.ReleaseAndGetVoidAddressOf());

    const CMediaType mt = GrabberMediaType();
    if (FAILED(camera.m_pGrabber->SetMediaType(&mt)))
        return false;
    if (!pGrabberFilter || FAILED(camera.m_pGraph->AddFilter(pGrabberFilter.Get(), L"Sample Grabber Origin")))
        return false;

    {
        ComPtr<IPin> pCaptureOut;
        ComPtr<IPin> pGrabberIn;
        if (FAILED(camera.m_pBuilder->FindPin(camera.m_pCaptureFilter.Get(), PINDIR_OUTPUT, nullptr, &MEDIATYPE_Video,
                                              TRUE, 0, pCaptureOut.ReleaseAndGetAddressOf())))
            return false;
        if (FAILED(camera.m_pBuilder->FindPin(pGrabberFilter.Get(), PINDIR_INPUT, nullptr, nullptr, TRUE, 0,
                                              pGrabberIn.ReleaseAndGetAddressOf())))
            return false;
        if (FAILED(camera.m_pGraph->Connect(pCaptureOut.Get(), pGrabberIn.Get())))
            return false;
    }

    ComPtr<IPin> pGrabberOut;
    if (FAILED(camera.m_pBuilder->FindPin(pGrabberFilter.Get(), PINDIR_OUTPUT, nullptr, nullptr, FALSE, 0,
                                          pGrabberOut.ReleaseAndGetAddressOf())))
        return false;
    ComPtr<IBaseFilter> pRenderer;
    if (FAILED(CoCreateInstance(CLSID_NullRenderer, nullptr, CLSCTX_ALL, IID_IBaseFilter,
                                pRenderer.ReleaseAndGetVoidAddressOf())))
        return false;
    if (FAILED(camera.m_pGraph->AddFilter(pRenderer.Get(), L"Null Renderer")))
        return false;
    ComPtr<IPin> pRendererIn;
    if (FAILED(camera.m_pBuilder->FindPin(pRenderer.Get(), PINDIR_INPUT, nullptr, nullptr, FALSE, 0,
                                          pRendererIn.ReleaseAndGetAddressOf())))
        return false;
    return SUCCEEDED(camera.m_pGraph->Connect(pGrabberOut.Get(), pRendererIn.Get()));
}

} // namespace

bool PrepareCapture(CCamera& camera)
{
    if (camera.m_nState != IIDC_STATE_OPENED) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_ALREADY_PREPARED);
        return false;
    }
    if (!BuildCaptureGraph(camera)) {
        SetErrorCode(camera.m_nIndex, E_FAIL);
        return false;
    }
    // Its result is not needed: a capture filter without the interface leaves
    // the field null, which fails the preparation without a code of its own.
    camera.m_pBuilder->FindInterface(nullptr, nullptr, camera.m_pCaptureFilter.Get(), IID_IAMDroppedFrames,
                                     camera.m_pDroppedFrames.ReleaseAndGetVoidAddressOf());
    if (!camera.m_pDroppedFrames)
        return false;
    // A graph without media control is caught when capture starts.
    camera.m_pGraph->QueryInterface(IID_IMediaControl,
                                    camera.m_pMediaControl.ReleaseAndGetVoidAddressOf());
    camera.m_bWindowMode = false;
    camera.m_nState = IIDC_STATE_PREPARED;
    return true;
}
