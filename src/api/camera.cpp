// Opening and closing a camera.
#include <memory>
#include <new>

#include "api/camera_close.h"
#include "capture/teardown.h"
#include "core/barrier.h"
#include "core/camera.h"
#include "core/device.h"
#include "core/library.h"

namespace {

// Steps of iidc_open after the device is bound: the filter graph with the
// capture filter in it, the capture graph builder, the register property set
// and the stream configuration of the capture pin.
bool BuildCameraGraph(CCamera& camera)
{
    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_ALL, IID_IGraphBuilder,
                                reinterpret_cast<void**>(camera.m_pGraph.ReleaseAndGetAddressOf()))))
        return false;
    if (FAILED(camera.m_pGraph->AddFilter(camera.m_pCaptureFilter.Get(), L"Camera")))
        return false;
    if (FAILED(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_ALL, IID_ICaptureGraphBuilder2,
                                reinterpret_cast<void**>(camera.m_pBuilder.ReleaseAndGetAddressOf()))))
        return false;
    if (FAILED(camera.m_pBuilder->SetFiltergraph(camera.m_pGraph.Get())))
        return false;
    if (FAILED(camera.m_pCaptureFilter->QueryInterface(
            IID_IKsPropertySet, reinterpret_cast<void**>(camera.m_pKsPropertySet.ReleaseAndGetAddressOf()))))
        return false;
    ComPtr<IPin> pPin;
    if (FAILED(camera.m_pBuilder->FindPin(camera.m_pCaptureFilter.Get(), PINDIR_OUTPUT, nullptr,
                                          &MEDIATYPE_Video, TRUE, 0, pPin.ReleaseAndGetAddressOf())))
        return false;
    // A pin without stream configuration still opens; the format functions
    // report it when asked.
    pPin->QueryInterface(IID_IAMStreamConfig,
                         reinterpret_cast<void**>(camera.m_pStreamConfig.ReleaseAndGetAddressOf()));
    return true;
}

} // namespace

extern "C" iidc_handle IIDC_API iidc_open(int32_t index)
{
    return Guarded(nullptr, [&]() -> iidc_handle {
        if (index < 0 || index >= CameraCount()) {
            SetErrorCode(0, IIDC_ERR_INVALID_HANDLE);   // recorded under camera 0 by design
            return nullptr;
        }
        if (g_ppOpenCameras[index]) {
            SetErrorCode(index, IIDC_ERR_ALREADY_OPEN);
            return nullptr;
        }
        ComPtr<IBaseFilter> pFilter;
        switch (BindVideoInputDevice(index, pFilter.ReleaseAndGetAddressOf())) {
        case BindResult::NoEnumerator:
            SetErrorCode(index, E_FAIL);
            return nullptr;
        case BindResult::NoDevice:
            SetErrorCode(index, IIDC_ERR_NO_DEVICE);
            return nullptr;
        case BindResult::Bound:
            break;
        }
        std::unique_ptr<CCamera> pCamera(new (std::nothrow) CCamera);
        if (!pCamera) {
            SetErrorCode(index, IIDC_ERR_NO_MEMORY);
            return nullptr;
        }
        pCamera->m_pCaptureFilter = std::move(pFilter);
        if (!BuildCameraGraph(*pCamera)) {
            SetErrorCode(index, E_FAIL);
            return nullptr;   // the destructor releases what was obtained
        }
        pCamera->m_nIndex = index;
        pCamera->m_nState = IIDC_STATE_OPENED;
        pCamera->m_hFrameEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        pCamera->m_hRingEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        g_ppOpenCameras[index] = pCamera.get();
        return HandleOf(pCamera.release());
    });
}

void CloseCamera(CCamera* pCamera)
{
    g_ppOpenCameras[pCamera->m_nIndex] = nullptr;
    g_pErrorCodes[pCamera->m_nIndex] = 0;
    TeardownCapture(*pCamera);
    pCamera->m_pStreamConfig.Reset();
    pCamera->m_pCaptureFilter.Reset();
    pCamera->m_pMediaControl.Reset();
    pCamera->m_pBuilder.Reset();
    pCamera->m_pGraph.Reset();
    pCamera->m_pGrabber.Reset();
    pCamera->m_pDroppedFrames.Reset();
    pCamera->m_pQualProp.Reset();
    pCamera->m_pKsPropertySet.Reset();
    delete pCamera;
}

extern "C" iidc_bool IIDC_API iidc_close(iidc_handle handle)
{
    return WithCamera(handle, [&](CCamera& camera) {
        CloseCamera(&camera);
        return true;
    });
}
