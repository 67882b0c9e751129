// Nothing thrown inside the library leaves an export. Every export runs its
// body through Guarded, or through WithCamera, which also turns the handle
// into its camera as every per-camera export must:
//
//   extern "C" int32_t IIDC_API iidc_getformatcount(iidc_handle handle)
//   {
//       return WithCamera(handle, [&](CCamera& camera) { return GetFormatCount(camera); });
//   }
//
// An exception ends the export with its failure value (by default the
// value-initialised result: 0, false, 0.0 or null) and records
// IIDC_ERR_NO_MEMORY for a failed allocation, IIDC_ERR_FAIL for anything
// else, in the global slot and, when handle is an open camera, in its slot.
#pragma once

#include <type_traits>

#include "core/library.h"

// Records the exception being handled; call it only in a catch block.
void RecordCaughtException(iidc_handle handle) noexcept;

template <class F, class R = std::invoke_result_t<F&>>
    requires(!std::is_void_v<R>)
R Guarded(iidc_handle handle, F&& body, R failure = R()) noexcept
{
    try {
        return body();
    } catch (...) {
        RecordCaughtException(handle);
        return failure;
    }
}

template <class F>
    requires std::is_void_v<std::invoke_result_t<F&>>
void Guarded(iidc_handle handle, F&& body) noexcept
{
    try {
        body();
    } catch (...) {
        RecordCaughtException(handle);
    }
}

// body(camera) for an open camera; for any other handle the failure value,
// with IIDC_ERR_INVALID_HANDLE recorded.
template <class F, class R = std::invoke_result_t<F&, CCamera&>>
    requires(!std::is_void_v<R>)
R WithCamera(iidc_handle handle, F&& body, R failure = R()) noexcept
{
    return Guarded(handle, [&]() -> R {
        CCamera* pCamera = CameraFromHandle(handle);
        return pCamera ? body(*pCamera) : failure;
    }, failure);
}

template <class F>
    requires std::is_void_v<std::invoke_result_t<F&, CCamera&>>
void WithCamera(iidc_handle handle, F&& body) noexcept
{
    Guarded(handle, [&] {
        if (CCamera* pCamera = CameraFromHandle(handle))
            body(*pCamera);
    });
}
