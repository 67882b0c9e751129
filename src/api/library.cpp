// Library start-up and shut-down, camera count, last errors and the static
// capability and bus-type queries.
#include <new>

#include "api/camera_close.h"
#include "core/barrier.h"
#include "core/camera.h"
#include "core/device.h"
#include "core/library.h"

namespace {

void FreeLibraryState()
{
    delete[] g_pErrorCodes;
    delete[] g_ppOpenCameras;
    g_pErrorCodes = nullptr;
    g_ppOpenCameras = nullptr;
    g_nSlotCount = 0;
}

void UninitializeComIfOurs()
{
    // An application that initialised COM in the multithreaded apartment keeps
    // it: the library only undoes the initialisation it made itself.
    if (g_bComInitialized)
        CoUninitialize();
    g_bComInitialized = false;
}

// COM as iidc_init started it, undone when the start goes no further, also
// when it ends in an exception.
class CComStartup {
public:
    CComStartup() = default;
    CComStartup(const CComStartup&) = delete;
    CComStartup& operator=(const CComStartup&) = delete;
    ~CComStartup()
    {
        if (!m_bKept)
            UninitializeComIfOurs();
    }
    void Keep() { m_bKept = true; }

private:
    bool m_bKept = false;
};

} // namespace

extern "C" iidc_bool IIDC_API iidc_init(void)
{
    return Guarded(nullptr, [] {
        if (g_bInitialized)
            return true;
        const HRESULT hr = CoInitialize(nullptr);
        if (hr == RPC_E_CHANGED_MODE)
            g_bComInitialized = false;     // COM already runs on this thread, in the other apartment
        else if (FAILED(hr))
            return false;
        else
            g_bComInitialized = true;      // S_OK or S_FALSE: one CoUninitialize owed either way
        CComStartup startup;

        const LONG nCameras = CountVideoInputDevices();
        if (nCameras < 0)
            return false;
        g_pErrorCodes = new (std::nothrow) DWORD[nCameras + 1]();
        g_ppOpenCameras = new (std::nothrow) CCamera*[nCameras > 0 ? nCameras : 1]();
        if (!g_pErrorCodes || !g_ppOpenCameras) {
            FreeLibraryState();
            return false;
        }
        g_nSlotCount = nCameras + 1;
        g_bInitialized = true;
        startup.Keep();
        return true;
    });
}

extern "C" void IIDC_API iidc_uninit(void)
{
    Guarded(nullptr, [] {
        if (!g_bInitialized)
            return;
        // Cameras the application left open are closed, so nothing they hold leaks.
        for (LONG i = 0; i < CameraCount(); ++i)
            if (g_ppOpenCameras[i])
                CloseCamera(g_ppOpenCameras[i]);
        FreeLibraryState();
        UninitializeComIfOurs();
        g_bInitialized = false;
    });
}

extern "C" int32_t IIDC_API iidc_getcameracount(void)
{
    return CameraCount();
}

extern "C" uint32_t IIDC_API iidc_getlasterror(int32_t index)
{
    if (!g_bInitialized)
        return 0;   // no slots exist, not even the global one
    if (index < 0)
        return g_pErrorCodes[CameraCount()];
    return index < CameraCount() ? g_pErrorCodes[index] : 0;
}

extern "C" int32_t IIDC_API iidc_handletoindex(iidc_handle handle)
{
    return WithCamera(handle, [&](CCamera& camera) { return camera.m_nIndex; }, LONG{-1});
}

extern "C" uint32_t IIDC_API iidc_getcapability(int32_t index, uint32_t item)
{
    // The camera count itself and negative indexes pass this check.
    if (index > g_nSlotCount - 1) {
        SetErrorCode(index, IIDC_ERR_INVALID_HANDLE);
        return 0;
    }
    switch (item) {
    case 0: return 0x01000000;
    case 1: return 0x01000001;
    case 2: return 6;
    default:
        SetErrorCode(index, IIDC_ERR_INVALID_PARAMETER);
        return 0;
    }
}

extern "C" uint32_t IIDC_CAPI iidc_getbustype(int32_t index)
{
    if (!g_bInitialized) {
        SetErrorCode(index, IIDC_ERR_NOT_INITIALIZED);
        return 0;
    }
    if (index > CameraCount() - 1) {
        SetErrorCode(index, IIDC_ERR_INVALID_HANDLE);
        return 0;
    }
    return 0x00010001;
}
