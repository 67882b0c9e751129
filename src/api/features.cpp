// IIDC feature inquiry, state and control.
#include "core/barrier.h"
#include "core/camera.h"
#include "core/library.h"
#include "features/feature_control.h"

extern "C" int32_t IIDC_API iidc_currentfeatureinfo(iidc_handle handle, iidc_featureinfo* pInfo, uint32_t /*reserved*/)
{
    return WithCamera(handle, [&](CCamera& camera) -> int32_t {
        if (!pInfo) {
            SetErrorCode(camera.m_nIndex, IIDC_ERR_INVALID_PARAMETER);
            return 0;
        }
        // An unknown id or a failed read is reported by the result alone.
        return ReadFeatureInfo(camera, *pInfo) ? 1 : 0;
    });
}

extern "C" int32_t IIDC_API iidc_currentfeature(iidc_handle handle, iidc_feature* pFeature, uint32_t /*reserved*/)
{
    return WithCamera(handle, [&](CCamera& camera) -> int32_t {
        if (!pFeature) {
            SetErrorCode(camera.m_nIndex, IIDC_ERR_INVALID_PARAMETER);
            return 0;
        }
        switch (ReadFeature(camera, *pFeature)) {
        case FeatureResult::Ok:
            return 1;
        case FeatureResult::UnknownFeature:
            SetErrorCode(camera.m_nIndex, IIDC_ERR_INVALID_FEATURE);
            return 0;
        case FeatureResult::ReadFailed:
            break;
        }
        SetErrorCode(camera.m_nIndex, E_FAIL);
        return 0;
    });
}

extern "C" uint32_t IIDC_API iidc_setfeature(iidc_handle handle, const iidc_feature* pFeature, uint32_t /*reserved*/)
{
    return WithCamera(handle, [&](CCamera& camera) -> uint32_t {
        if (!pFeature) {
            SetErrorCode(camera.m_nIndex, IIDC_ERR_INVALID_PARAMETER);
            return 0;
        }
        bool bReadFailed = false;
        const DWORD written = WriteFeature(camera, *pFeature, &bReadFailed);
        if (bReadFailed)
            SetErrorCode(camera.m_nIndex, E_FAIL);
        return written;   // a failed write is reported by the result alone
    });
}
