#include "display/window_preview.h"

#include <type_traits>

#include "core/camera.h"
#include "format/graph_reset.h"

namespace {

// The owner window as the video window takes it: an HWND on Windows, an X11
// Window id elsewhere. A template, so that only the branch of the platform's
// handle type is compiled.
template <class TWindow>
OAHWND OwnerHandle(TWindow owner)
{
    if constexpr (std::is_pointer_v<TWindow>)
        return reinterpret_cast<OAHWND>(owner);
    else
        return static_cast<OAHWND>(owner);   // an X11 Window id fits the handle
}

// Child window, clipped against its siblings.
constexpr long PREVIEW_WINDOW_STYLE = 0x44000000;   // WS_CHILD | WS_CLIPSIBLINGS

void PlaceVideoWindow(IVideoWindow* pWindow, iidc_window owner, LONG left, LONG top, LONG width, LONG height)
{
    // The renderer judges the values; none of the settings is checked here.
    pWindow->put_Owner(OwnerHandle(owner));
    pWindow->put_Left(left);
    pWindow->put_Top(top);
    pWindow->put_Width(width);
    pWindow->put_Height(height);
    pWindow->put_Visible(OAFALSE);   // shown when the graph runs
    pWindow->put_WindowStyle(PREVIEW_WINDOW_STYLE);
}

} // namespace

PreviewResult SetUpWindowPreview(CCamera& camera, iidc_window owner, LONG left, LONG top, LONG width,
                                 LONG height)
{
    ComPtr<IBaseFilter> pGrabberFilter;
    if (camera.m_pGrabber) {
        camera.m_pGrabber->QueryInterface(IID_IBaseFilter,
                                          reinterpret_cast<void**>(pGrabberFilter.ReleaseAndGetAddressOf()));
        if (pGrabberFilter)
            RemoveDownstreamFilters(camera, pGrabberFilter.Get());
    }
    camera.m_pDroppedFrames.Reset();
    camera.m_pQualProp.Reset();

    ComPtr<IPin> pOutput;
    if (!pGrabberFilter || !camera.m_pBuilder || !camera.m_pGraph ||
        FAILED(camera.m_pBuilder->FindPin(pGrabberFilter.Get(), PINDIR_OUTPUT, nullptr, nullptr, FALSE, 0,
                                          pOutput.ReleaseAndGetAddressOf())))
        return PreviewResult::Failed;
    if (FAILED(camera.m_pGraph->Render(pOutput.Get())))
        return PreviewResult::Failed;
    pOutput.Reset();

    if (FAILED(camera.m_pBuilder->FindInterface(nullptr, nullptr, camera.m_pCaptureFilter.Get(), IID_IQualProp,
                                                reinterpret_cast<void**>(camera.m_pQualProp.ReleaseAndGetAddressOf()))) ||
        !camera.m_pQualProp)
        return PreviewResult::NoQualityInterface;

    ComPtr<IVideoWindow> pWindow;
    if (!camera.m_pGraph ||
        FAILED(camera.m_pGraph->QueryInterface(IID_IVideoWindow,
                                               reinterpret_cast<void**>(pWindow.ReleaseAndGetAddressOf()))))
        return PreviewResult::Failed;
    PlaceVideoWindow(pWindow.Get(), owner, left, top, width, height);

    // Window-mode capture treats a missing media control as a failure.
    camera.m_pGraph->QueryInterface(IID_IMediaControl,
                                    reinterpret_cast<void**>(camera.m_pMediaControl.ReleaseAndGetAddressOf()));
    camera.m_bWindowMode = true;
    camera.m_nState = IIDC_STATE_READY;
    return PreviewResult::Ok;
}
