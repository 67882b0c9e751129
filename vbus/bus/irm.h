// The bus's isochronous resource manager: 64 channels and 4,915 bandwidth
// allocation units (80 % of the 6,144 a cycle has; the rest stays for
// asynchronous traffic), as the IRM node's CSRs BANDWIDTH_AVAILABLE and
// CHANNELS_AVAILABLE_HI/LO hold them. Not thread-safe: the bus serialises it.
#pragma once

#include <cstdint>
#include <optional>

namespace vbus {

constexpr int BANDWIDTH_AVAILABLE_INITIAL = 4915;

// CSR offsets from the register base 0xFFFF F000 0000.
constexpr std::uint32_t CSR_BANDWIDTH_AVAILABLE = 0x220;
constexpr std::uint32_t CSR_CHANNELS_AVAILABLE_HI = 0x224;
constexpr std::uint32_t CSR_CHANNELS_AVAILABLE_LO = 0x228;

class CIsoResourceManager {
 public:
  // Allocates (or gives back) at most one channel of the mask (bit n =
  // channel n, the lowest free one first) and the bandwidth, all or nothing.
  // Results as the kernel reports them: *pChannel the channel, or a negative
  // errno (-EINVAL: no channel asked for, -EBUSY: none free or no
  // bandwidth); *pBandwidth the units held, 0 when they were not there.
  void Manage(std::uint64_t channels, int* pChannel, int* pBandwidth, bool bAllocate);

  // The CSRs: their value, and the compare-swap lock of IEEE 1212 (the old
  // value is returned; the new one is stored when old equals arg).
  std::optional<std::uint32_t> ReadCsr(std::uint32_t nCsr) const;
  std::optional<std::uint32_t> CompareSwapCsr(std::uint32_t nCsr, std::uint32_t dwArg, std::uint32_t dwData);

  // Another node's share: only nUnits stay for this bus's clients.
  void LimitBandwidth(int nUnits);
  int AvailableBandwidth() const { return m_nBandwidth; }
  std::uint64_t FreeChannels() const { return m_freeChannels; }

 private:
  int m_nBandwidth = BANDWIDTH_AVAILABLE_INITIAL;
  std::uint64_t m_freeChannels = ~std::uint64_t{0};  // bit n: channel n is free
};

}  // namespace vbus
