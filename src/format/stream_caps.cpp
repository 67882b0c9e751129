#include "format/stream_caps.h"

#include <algorithm>

REFERENCE_TIME* FrameIntervalOf(const CMediaTypePtr& pType)
{
    VIDEOINFOHEADER* pInfo = pType.VideoInfo();
    return pInfo ? &pInfo->AvgTimePerFrame : nullptr;
}

HRESULT CStreamCaps::Open()
{
    m_nCount = 0;
    m_nSize = 0;
    const HRESULT hr = m_config.GetNumberOfCapabilities(&m_nCount, &m_nSize);
    if (FAILED(hr))
        m_nCount = 0;
    return hr;
}

HRESULT CStreamCaps::MediaType(int i, CMediaTypePtr& mediaType)
{
    // A pin that reports a capability size smaller than the structure it
    // fills would write past the buffer: never hand out less than the video one.
    const size_t size = std::max<size_t>(size_t(std::max(m_nSize, 0)), sizeof(VIDEO_STREAM_CONFIG_CAPS));
    if (m_caps.size() < size)
        m_caps.resize(size);
    return m_config.GetStreamCaps(i, &mediaType, m_caps.data());
}
