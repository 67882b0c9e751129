#include "vbus/bus/irm.h"

#include <algorithm>
#include <cerrno>

namespace vbus {
namespace {

// CHANNELS_AVAILABLE_HI holds channels 0-31 from its most significant bit,
// _LO channels 32-63; a set bit is a free channel.
std::uint32_t ChannelWord(std::uint64_t freeChannels, bool bHigh) {
  std::uint32_t dw = 0;
  for (unsigned n = 0; n < 32; ++n)
    if (freeChannels >> (bHigh ? n : n + 32) & 1) dw |= 0x80000000u >> n;
  return dw;
}

std::uint64_t WithChannelWord(std::uint64_t freeChannels, bool bHigh, std::uint32_t dw) {
  for (unsigned n = 0; n < 32; ++n) {
    const std::uint64_t bit = std::uint64_t{1} << (bHigh ? n : n + 32);
    freeChannels = (dw & 0x80000000u >> n) ? freeChannels | bit : freeChannels & ~bit;
  }
  return freeChannels;
}

}  // namespace

void CIsoResourceManager::Manage(std::uint64_t channels, int* pChannel, int* pBandwidth, bool bAllocate) {
  int nChannel = -EINVAL;
  if (channels != 0) {
    nChannel = -EBUSY;
    for (int n = 0; n < 64; ++n) {
      const std::uint64_t bit = std::uint64_t{1} << n;
      if (!(channels & bit)) continue;
      if (bAllocate == ((m_freeChannels & bit) != 0)) {
        m_freeChannels ^= bit;
        nChannel = n;
        break;
      }
    }
  }
  *pChannel = nChannel;
  if (bAllocate && channels != 0 && nChannel < 0) *pBandwidth = 0;
  if (*pBandwidth == 0) return;
  const bool bFits = bAllocate ? m_nBandwidth >= *pBandwidth
                               : m_nBandwidth + *pBandwidth <= BANDWIDTH_AVAILABLE_INITIAL;
  if (bFits) {
    m_nBandwidth += bAllocate ? -*pBandwidth : *pBandwidth;
    return;
  }
  *pBandwidth = 0;
  if (bAllocate && nChannel >= 0) {
    m_freeChannels |= std::uint64_t{1} << nChannel;
    *pChannel = -EBUSY;
  }
}

std::optional<std::uint32_t> CIsoResourceManager::ReadCsr(std::uint32_t nCsr) const {
  switch (nCsr) {
    case CSR_BANDWIDTH_AVAILABLE: return static_cast<std::uint32_t>(m_nBandwidth);
    case CSR_CHANNELS_AVAILABLE_HI: return ChannelWord(m_freeChannels, true);
    case CSR_CHANNELS_AVAILABLE_LO: return ChannelWord(m_freeChannels, false);
    default: return std::nullopt;
  }
}

std::optional<std::uint32_t> CIsoResourceManager::CompareSwapCsr(std::uint32_t nCsr, std::uint32_t dwArg,
                                                                 std::uint32_t dwData) {
  const std::optional<std::uint32_t> old = ReadCsr(nCsr);
  if (!old || *old != dwArg) return old;
  if (nCsr == CSR_BANDWIDTH_AVAILABLE)
    m_nBandwidth = static_cast<int>(std::min<std::uint32_t>(dwData, BANDWIDTH_AVAILABLE_INITIAL));
  else
    m_freeChannels = WithChannelWord(m_freeChannels, nCsr == CSR_CHANNELS_AVAILABLE_HI, dwData);
  return old;
}

void CIsoResourceManager::LimitBandwidth(int nUnits) {
  m_nBandwidth = std::clamp(nUnits, 0, m_nBandwidth);
}

}  // namespace vbus
