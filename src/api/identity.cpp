// Identity texts of a camera, open or not.
#include "core/barrier.h"
#include "core/camera.h"
#include "core/device.h"
#include "core/library.h"
#include "features/identity.h"

extern "C" int32_t IIDC_API iidc_getstring(int32_t index, uint32_t id, char* buffer, int32_t size)
{
    return Guarded(nullptr, [&]() -> int32_t {
        if (!g_bInitialized) {
            SetErrorCode(index, IIDC_ERR_NOT_INITIALIZED);
            return 0;
        }
        if (index < 0 || index >= CameraCount()) {
            SetErrorCode(index, IIDC_ERR_INVALID_HANDLE);
            return 0;
        }
        // An open camera answers through its own property set; a closed index is
        // bound for the duration of this call only.
        ComPtr<IKsPropertySet> pProps;
        if (const CCamera* pCamera = g_ppOpenCameras[index]) {
            pProps = pCamera->m_pKsPropertySet;
        } else {
            ComPtr<IBaseFilter> pFilter;
            switch (BindVideoInputDevice(index, pFilter.ReleaseAndGetAddressOf())) {
            case BindResult::NoEnumerator:
                SetErrorCode(index, E_FAIL);
                return 0;
            case BindResult::NoDevice:
                SetErrorCode(index, IIDC_ERR_INVALID_HANDLE);
                return 0;
            case BindResult::Bound:
                break;
            }
            if (FAILED(pFilter->QueryInterface(IID_IKsPropertySet,
                                               reinterpret_cast<void**>(pProps.ReleaseAndGetAddressOf()))) ||
                !pProps) {
                SetErrorCode(index, E_FAIL);
                return 0;
            }
        }
        const StringResult result = ReadIdentityString(pProps.Get(), id, reinterpret_cast<BYTE*>(buffer), size);
        if (result.dwError)
            SetErrorCode(index, result.dwError);
        return result.nLength;
    });
}
