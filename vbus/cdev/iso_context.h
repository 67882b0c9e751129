// An isochronous receive context in packet-per-buffer mode, as an OHCI card
// runs it for one client: a queue of packet slots in the client's mapped
// buffer, each taking one packet of the context's channel; a slot may wait
// for a packet whose sy field matches the context's sync (the first packet
// of a frame) and may ask for an interrupt, which completes the headers
// gathered so far into one event. A packet that finds no slot is dropped.
//
// Not thread-safe: the bus serialises every call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <vector>

#include "vbus/bus/camera_node.h"

namespace vbus {

// The card keeps at most a page of headers between interrupts.
constexpr std::size_t HEADER_BUFFER_BYTES = 4096;
// Descriptor memory of one context: at most this many queued packets.
constexpr std::size_t MAX_QUEUED_PACKETS = 262144;

class CIsoContext {
 public:
  struct Slot {
    std::size_t nOffset = 0;     // where the payload goes in the buffer
    std::uint32_t cbPayload = 0; // room for it; more is dropped
    bool bWait = false;          // wait for sy == sync
    bool bInterrupt = false;     // complete an event once filled
  };
  // Completed headers: the cycle stamp of the last packet, and the headers.
  using Completion = std::function<void(std::uint16_t nCycle, std::span<const std::uint8_t> headers)>;

  CIsoContext(std::uint32_t nChannel, std::uint32_t cbHeader, bool bDropOverflowHeaders)
      : m_nChannel(nChannel), m_cbHeader(cbHeader), m_bDropOverflowHeaders(bDropOverflowHeaders) {}

  std::uint32_t Channel() const { return m_nChannel; }
  std::uint32_t HeaderSize() const { return m_cbHeader; }
  bool IsRunning() const { return m_bRunning; }

  // False when the descriptor memory is used up.
  bool Queue(const Slot& slot);
  // nCycle < 0: at once; else at the cycle whose low 15 bits (2 bits of
  // seconds, 13 of cycle count) match.
  void Start(int nCycle, std::uint32_t nSync, std::uint32_t nTags);
  void Stop() { m_bRunning = false; }

  // A packet on the wire in cycle nCycle; buffer is the client's mapping.
  void Receive(std::int64_t nCycle, const IsoPacket& packet, std::span<std::uint8_t> buffer, const Completion& done);
  // Completes the headers gathered since the last interrupt, if any.
  void Flush(const Completion& done);

 private:
  const std::uint32_t m_nChannel, m_cbHeader;
  const bool m_bDropOverflowHeaders;  // clients before ABI 5 lose headers past a page
  std::deque<Slot> m_slots;
  bool m_bRunning = false;
  int m_nStartCycle = -1;
  std::uint32_t m_nSync = 0, m_nTags = 0;
  std::vector<std::uint8_t> m_headers;
  std::uint16_t m_nLastStamp = 0;
};

}  // namespace vbus
