#include "format/graph_reset.h"

#include "core/camera.h"
#include "iidc.h"

void RemoveDownstreamFilters(CCamera& camera, IBaseFilter* pFilter)
{
    if (!pFilter || !camera.m_pGraph)
        return;
    ComPtr<IEnumPins> pEnum;
    if (pFilter->EnumPins(pEnum.ReleaseAndGetAddressOf()) != S_OK || !pEnum)
        return;
    pEnum->Reset();
    for (;;) {
        ComPtr<IPin> pPin;
        if (pEnum->Next(1, pPin.ReleaseAndGetAddressOf(), nullptr) != S_OK)
            break;
        if (!pPin)
            continue;
        ComPtr<IPin> pPeer;
        pPin->ConnectedTo(pPeer.ReleaseAndGetAddressOf());
        if (!pPeer)
            continue;
        PIN_INFO info{};
        const HRESULT hr = pPeer->QueryPinInfo(&info);
        ComPtr<IBaseFilter> pOwner;
        pOwner.Attach(info.pFilter);   // the query's reference, given back on every path
        if (hr != S_OK)
            break;   // a caller one level up goes on with its own pins
        // A peer that is an output pin is this filter's own upstream side.
        if (info.dir == PINDIR_INPUT && pOwner) {
            RemoveDownstreamFilters(camera, pOwner.Get());
            camera.m_pGraph->Disconnect(pPeer.Get());
            camera.m_pGraph->Disconnect(pPin.Get());
            camera.m_pGraph->RemoveFilter(pOwner.Get());
        }
    }
}

void ResetCaptureGraph(CCamera& camera)
{
    RemoveDownstreamFilters(camera, camera.m_pCaptureFilter.Get());
    camera.m_pGrabber.Reset();
    camera.m_pDroppedFrames.Reset();
    camera.m_pQualProp.Reset();
    camera.m_nState = IIDC_STATE_OPENED;
}
