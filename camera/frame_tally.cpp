#include "frame_tally.h"

#include <algorithm>
#include <chrono>

namespace iidccam {

int64_t MonotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

FrameStamp CFrameTally::Take(int32_t nFrameCount, int64_t nArrivalNs)
{
    const int64_t nNumber = std::max<int64_t>(int64_t(nFrameCount) - 1, m_nNumber + 1);
    if (m_nNumber >= 0)
        m_nDropped += nNumber - m_nNumber - 1;
    m_nNumber = nNumber;
    return FrameStamp{nNumber, nArrivalNs, m_nDropped};
}

}  // namespace iidccam
