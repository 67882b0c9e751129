#include "vbus/cdev/iso_context.h"

#include <algorithm>
#include <cstring>

#include "vbus/bus/cycle_clock.h"

namespace vbus {
namespace {

constexpr std::uint32_t TCODE_ISO_DATA = 0xA;

void PutBigEndian(std::vector<std::uint8_t>& out, std::uint32_t dw) {
  for (int b = 0; b < 4; ++b) out.push_back(static_cast<std::uint8_t>(dw >> (24 - 8 * b)));
}

}  // namespace

bool CIsoContext::Queue(const Slot& slot) {
  if (m_slots.size() >= MAX_QUEUED_PACKETS) return false;
  m_slots.push_back(slot);
  return true;
}

void CIsoContext::Start(int nCycle, std::uint32_t nSync, std::uint32_t nTags) {
  m_bRunning = true;
  m_nStartCycle = nCycle < 0 ? -1 : nCycle & 0x7FFF;
  m_nSync = nSync;
  m_nTags = nTags;
}

void CIsoContext::Receive(std::int64_t nCycle, const IsoPacket& packet, std::span<std::uint8_t> buffer,
                          const Completion& done) {
  if (!m_bRunning || packet.nChannel != m_nChannel || !(m_nTags & 1u << packet.nTag)) return;
  const std::uint16_t nStamp = CycleStamp(nCycle);
  if (m_nStartCycle >= 0) {
    const int nNow = static_cast<int>((nCycle / CYCLES_PER_SECOND % 4) << 13 | nCycle % CYCLES_PER_SECOND);
    if (nNow != m_nStartCycle) return;
    m_nStartCycle = -1;
  }
  if (m_slots.empty()) return;  // no buffer: the card drops the packet
  const Slot slot = m_slots.front();
  if (slot.bWait && packet.nSy != m_nSync) return;
  m_slots.pop_front();

  // The header the client gets: the iso packet header and the time stamp,
  // big-endian as on the bus, then the payload quadlets a larger header size
  // takes, which the buffer does not get.
  std::vector<std::uint8_t> header;
  PutBigEndian(header, static_cast<std::uint32_t>(packet.payload.size()) << 16 | packet.nTag << 14 |
                           packet.nChannel << 8 | TCODE_ISO_DATA << 4 | packet.nSy);
  PutBigEndian(header, nStamp);
  const std::size_t cbStripped = std::min<std::size_t>(m_cbHeader > 8 ? m_cbHeader - 8 : 0, packet.payload.size());
  header.insert(header.end(), packet.payload.begin(), packet.payload.begin() + static_cast<std::ptrdiff_t>(cbStripped));
  header.resize(m_cbHeader);

  const std::span<const std::uint8_t> rest = packet.payload.subspan(cbStripped);
  const std::size_t cbCopy = std::min<std::size_t>(rest.size(), slot.cbPayload);
  if (cbCopy != 0) std::memcpy(buffer.data() + slot.nOffset, rest.data(), cbCopy);

  if (m_headers.size() + m_cbHeader > HEADER_BUFFER_BYTES) {
    if (!m_bDropOverflowHeaders) Flush(done);
  }
  if (m_headers.size() + m_cbHeader <= HEADER_BUFFER_BYTES)
    m_headers.insert(m_headers.end(), header.begin(), header.end());
  m_nLastStamp = nStamp;
  if (slot.bInterrupt) Flush(done);
}

void CIsoContext::Flush(const Completion& done) {
  if (m_headers.empty()) return;
  done(m_nLastStamp, m_headers);
  m_headers.clear();
}

}  // namespace vbus
