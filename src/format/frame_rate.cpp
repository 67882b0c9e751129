#include "format/frame_rate.h"

#include <limits>

#include "core/camera.h"
#include "core/library.h"
#include "format/camera_registers.h"
#include "format/format_id.h"
#include "format/graph_reset.h"
#include "format/stream_caps.h"
#include "format/tables.h"
#include "registers/offsets.h"

namespace {

// Formats 3-5 are reserved in IIDC (an id outside the table); 6 and 7 have
// no fixed rates to report.
constexpr DWORD FIRST_FORMAT_WITHOUT_RATES = 6;

// The media type in force and its frame interval, or null after recording
// E_FAIL when the driver gives none or one without a video header.
REFERENCE_TIME* ReadFormatInForce(CCamera& camera, CMediaTypePtr& pType)
{
    REFERENCE_TIME* pInterval = nullptr;
    if (SUCCEEDED(camera.m_pStreamConfig->GetFormat(&pType)) && pType)
        pInterval = FrameIntervalOf(pType);
    if (!pInterval)
        SetErrorCode(camera.m_nIndex, E_FAIL);
    return pInterval;
}

} // namespace

int32_t GetFrameRateInfo(CCamera& camera, iidc_framerateinfo* pInfo, uint32_t id)
{
    if (!pInfo) {
        SetErrorCode(-1, IIDC_ERR_INVALID_PARAMETER);
        return 0;
    }
    const DWORD format = FormatOfId(id);
    const DWORD mode = ModeOfId(id);
    if (!IsStandardFormat(format)) {
        SetErrorCode(camera.m_nIndex,
                     format >= FIRST_FORMAT_WITHOUT_RATES ? IIDC_ERR_NOT_SUPPORTED : IIDC_ERR_INVALID_PARAMETER);
        return 0;
    }
    DWORD rates = 0;
    if (!ReadCameraRegister(camera, iidc_reg::V_RATE_INQ(format, mode), &rates))
        return 0;
    const int lowest = LowestRateCode(rates);
    if (lowest >= 0) {
        pInfo->lowest = FRAME_RATES[lowest];
        pInfo->highest = FRAME_RATES[HighestRateCode(rates)];
    }
    pInfo->flags = 1;
    return 1;
}

float GetCurrentFrameRate(CCamera& camera)
{
    if (!camera.m_pStreamConfig) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_INVALID_HANDLE);
        return 0.0f;
    }
    CMediaTypePtr pType;
    const REFERENCE_TIME* pInterval = ReadFormatInForce(camera, pType);
    if (!pInterval)
        return 0.0f;
    // An interval of 0 names no rate at all.
    if (*pInterval == 0) {
        SetErrorCode(camera.m_nIndex, E_FAIL);
        return 0.0f;
    }
    return float(INTERVAL_UNITS_PER_SECOND / double(*pInterval));
}

float SetFrameRate(CCamera& camera, float rate)
{
    if (!camera.m_pStreamConfig) {
        SetErrorCode(-1, IIDC_ERR_INVALID_HANDLE);
        return 0.0f;
    }
    ResetCaptureGraph(camera);
    // Zero, negative and NaN rates have no interval; neither has a rate so
    // slow that its interval overflows 64 bits.
    const double interval = INTERVAL_UNITS_PER_SECOND / double(rate);
    if (!(rate > 0.0f) || !(interval < double(std::numeric_limits<REFERENCE_TIME>::max()))) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_INVALID_PARAMETER);
        return 0.0f;
    }
    CMediaTypePtr pType;
    REFERENCE_TIME* pInterval = ReadFormatInForce(camera, pType);
    if (!pInterval)
        return 0.0f;
    *pInterval = FrameInterval(double(rate));
    if (FAILED(camera.m_pStreamConfig->SetFormat(pType.Get()))) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_INVALID_PARAMETER);   // the driver refused the rate
        return 0.0f;
    }
    return rate;
}
