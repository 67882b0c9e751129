#include "core/device.h"

#include "base/com_ptr.h"

namespace {

// The category enumerator, or null when either enumerator is not obtained
// (Windows answers S_FALSE and no enumerator for an empty category).
ComPtr<IEnumMoniker> OpenVideoInputCategory()
{
    ComPtr<ICreateDevEnum> pDevEnum;
    CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_ALL, IID_ICreateDevEnum,
                     reinterpret_cast<void**>(pDevEnum.ReleaseAndGetAddressOf()));
    if (!pDevEnum)
        return {};
    ComPtr<IEnumMoniker> pEnum;
    pDevEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, pEnum.ReleaseAndGetAddressOf(), 0);
    return pEnum;
}

} // namespace

BindResult BindVideoInputDevice(LONG index, IBaseFilter** ppFilter)
{
    *ppFilter = nullptr;
    ComPtr<IEnumMoniker> pEnum = OpenVideoInputCategory();
    if (!pEnum)
        return BindResult::NoEnumerator;
    pEnum->Reset();
    for (LONG position = 0;; ++position) {
        ComPtr<IMoniker> pMoniker;
        if (pEnum->Next(1, pMoniker.ReleaseAndGetAddressOf(), nullptr) != S_OK || !pMoniker)
            return BindResult::NoDevice;
        if (position < index)
            continue;
        pMoniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(ppFilter));
        return *ppFilter ? BindResult::Bound : BindResult::NoDevice;
    }
}

LONG CountVideoInputDevices()
{
    ComPtr<IEnumMoniker> pEnum = OpenVideoInputCategory();
    if (!pEnum)
        return -1;
    pEnum->Reset();
    LONG count = 0;
    for (;;) {
        ComPtr<IMoniker> pMoniker;
        if (pEnum->Next(1, pMoniker.ReleaseAndGetAddressOf(), nullptr) != S_OK)
            return count;
        ++count;
    }
}
