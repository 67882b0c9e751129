// The capture pin's stream capabilities and the media types the driver hands
// out for them. Every media type obtained here is held by a CMediaTypePtr, so
// it is given back (format block, pUnk and the structure) on every path.
#pragma once

#include <vector>

#include "base/media_type.h"
#include "winapi.h"

// The frame interval of a video media type (its VIDEOINFOHEADER's
// AvgTimePerFrame), or null when the format block is not one.
REFERENCE_TIME* FrameIntervalOf(const CMediaTypePtr& pType);

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
