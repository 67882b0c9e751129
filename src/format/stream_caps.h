// The capture pin's stream capabilities and the media types the driver hands
// out for them. Every media type obtained here is given back (format block,
// pUnk and the structure) whatever path the caller takes.
#pragma once

#include <vector>

#include "winapi.h"

// Owns an AM_MEDIA_TYPE allocated by the platform (GetStreamCaps, GetFormat).
class CMediaTypePtr
{
public:
    CMediaTypePtr() = default;
    ~CMediaTypePtr() { Reset(); }
    CMediaTypePtr(const CMediaTypePtr&) = delete;
    CMediaTypePtr& operator=(const CMediaTypePtr&) = delete;

    AM_MEDIA_TYPE* Get() const { return m_pType; }
    AM_MEDIA_TYPE* operator->() const { return m_pType; }
    AM_MEDIA_TYPE& operator*() const { return *m_pType; }
    explicit operator bool() const { return m_pType != nullptr; }
    // Gives back the current type and returns the slot for a new one.
    AM_MEDIA_TYPE** ReleaseAndGetAddressOf()
    {
        Reset();
        return &m_pType;
    }
    void Reset();

private:
    AM_MEDIA_TYPE* m_pType = nullptr;
};

// Gives back the format block and pUnk of a media type the caller holds by
// value (GetConnectedMediaType), leaving it empty.
void FreeMediaTypeContents(AM_MEDIA_TYPE& mediaType);

// The frame interval of a video media type, or null when its format block is
// too small to be a VIDEOINFOHEADER (VIDEOINFOHEADER2 keeps the field at the
// same place).
REFERENCE_TIME* FrameIntervalOf(AM_MEDIA_TYPE& mediaType);

// Walks the capabilities of one IAMStreamConfig. Open first; MediaType(i) then
// fetches capability i with a capability buffer of the size the pin asked for.
class CStreamCaps
{
public:
    explicit CStreamCaps(IAMStreamConfig& config) : m_config(config) {}

    HRESULT Open();
    int Count() const { return m_nCount; }
    HRESULT MediaType(int i, CMediaTypePtr& mediaType);

private:
    IAMStreamConfig& m_config;
    int m_nCount = 0;
    int m_nSize = 0;
    std::vector<BYTE> m_caps;
};
