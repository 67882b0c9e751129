#include "format/selection.h"

#include "core/camera.h"
#include "core/library.h"
#include "format/camera_registers.h"
#include "format/format_id.h"
#include "format/graph_reset.h"
#include "format/stream_caps.h"
#include "format/tables.h"
#include "registers/offsets.h"

namespace {

// S_OK with pType holding the first capability whose subtype and frame size
// equal the row's; S_FALSE when none does. A format without standard modes
// (no row) walks the capabilities and matches none.
HRESULT FindCapability(CStreamCaps& caps, const STANDARD_MODE* pRow, CMediaTypePtr& pType)
{
    for (int i = 0; i < caps.Count(); ++i) {
        if (FAILED(caps.MediaType(i, pType)) || !pType)
            return E_FAIL;
        if (pRow && SameGuid(pType->subtype, COLOUR_SUBTYPES[pRow->nColour])
            && LONG(pType->lSampleSize) == pRow->FrameBytes())
            return S_OK;
    }
    pType.Reset();
    return S_FALSE;
}

// Mono8 travels as an 8-bit RGB subtype, whose rows DirectShow lays out
// bottom-up; flipping keeps it the same way up as the other codings. Results
// are not examined: a filter without orientation control keeps its own.
void ApplyOrientation(CCamera& camera, LONG colour)
{
    if (!camera.m_pCaptureFilter || !camera.m_pBuilder)
        return;
    ComPtr<IAMVideoControl> pControl;
    if (FAILED(camera.m_pCaptureFilter->QueryInterface(IID_IAMVideoControl,
                                                       pControl.ReleaseAndGetVoidAddressOf()))
        || !pControl)
        return;
    ComPtr<IPin> pPin;
    camera.m_pBuilder->FindPin(camera.m_pCaptureFilter.Get(), PINDIR_OUTPUT, nullptr, nullptr, FALSE, 0,
                               pPin.ReleaseAndGetAddressOf());
    pControl->SetMode(pPin.Get(), colour == IIDC_COLOR_MONO8 ? VideoControlFlag_FlipVertical : 0);
}

} // namespace

bool SelectFormat(CCamera& camera, uint32_t id)
{
    ResetCaptureGraph(camera);
    const DWORD format = FormatOfId(id);
    const DWORD mode = ModeOfId(id);
    if (!camera.m_pStreamConfig) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_INVALID_HANDLE);
        return false;
    }
    CStreamCaps caps(*camera.m_pStreamConfig.Get());
    if (FAILED(caps.Open())) {
        SetErrorCode(camera.m_nIndex, E_FAIL);
        return false;
    }
    const STANDARD_MODE* pRow = IsStandardFormat(format) ? &StandardMode(format, mode) : nullptr;
    CMediaTypePtr pType;
    const HRESULT hr = FindCapability(caps, pRow, pType);
    if (hr != S_OK) {
        SetErrorCode(camera.m_nIndex, FAILED(hr) ? E_FAIL : IIDC_ERR_FORMAT_UNAVAILABLE);
        return false;
    }
    DWORD rates = 0;
    if (!ReadCameraRegister(camera, iidc_reg::V_RATE_INQ(format, mode), &rates))
        return false;
    // A mode with no rate the library knows is as good as not offered.
    const int code = HighestRateCode(rates);
    if (code < 0) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_FORMAT_UNAVAILABLE);
        return false;
    }
    REFERENCE_TIME* pInterval = FrameIntervalOf(pType);
    if (!pInterval) {
        SetErrorCode(camera.m_nIndex, E_FAIL);
        return false;
    }
    *pInterval = FrameInterval(FRAME_RATES[code]);
    if (FAILED(camera.m_pStreamConfig->SetFormat(pType.Get()))) {
        SetErrorCode(camera.m_nIndex, E_FAIL);
        return false;
    }
    ApplyOrientation(camera, pRow->nColour);
    return true;
}
