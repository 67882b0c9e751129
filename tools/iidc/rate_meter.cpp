#include "rate_meter.h"

#include <fmt/format.h>

#include <algorithm>

namespace iidctool {

namespace {

constexpr double MEGABYTE = 1e6;

}  // namespace

std::optional<Readout> CRateMeter::Add(double fNow, long nDelivered, long nDropped, std::size_t cbFrame)
{
    m_nFrames += nDelivered;
    m_fBytes += double(nDelivered) * double(cbFrame);
    m_nDropped += nDropped;
    m_nWindowFrames += nDelivered;
    m_fWindowBytes += double(nDelivered) * double(cbFrame);
    const double fSpan = fNow - m_fWindowStart;
    if (fSpan < 1.0)
        return std::nullopt;
    Readout readout{double(m_nWindowFrames) / fSpan, m_fWindowBytes / fSpan / MEGABYTE, m_nDropped};
    m_fWindowStart = fNow;
    m_nWindowFrames = 0;
    m_fWindowBytes = 0;
    return readout;
}

Readout CRateMeter::Total(double fNow) const
{
    const double fSpan = fNow - m_fStart;
    if (fSpan <= 0)
        return Readout{0, 0, m_nDropped};
    return Readout{double(m_nFrames) / fSpan, m_fBytes / fSpan / MEGABYTE, m_nDropped};
}

std::string ReadoutText(const Readout& readout)
{
    return fmt::format("{:.1f} fps, {:.1f} MB/s, {} dropped", readout.fFramesPerSecond, readout.fMegabytesPerSecond,
                       readout.nDropped);
}

std::string ProgressBar(long nDone, long nTotal, int nWidth)
{
    const long nClamped = std::clamp(nDone, 0L, std::max(nTotal, 0L));
    const int nFilled = nTotal > 0 ? int(nClamped * nWidth / nTotal) : 0;
    return fmt::format("[{}{}] {}/{}", std::string(std::size_t(nFilled), '#'),
                       std::string(std::size_t(nWidth - nFilled), '.'), nDone, nTotal);
}

}  // namespace iidctool
