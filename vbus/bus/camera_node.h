// A virtual camera as a node of the bus: its configuration ROM as the kernel
// reads it, transactions on its register space, and its isochronous talker,
// which sends what the camera's registers ask for, one packet per cycle.
//
// Not thread-safe: the bus serialises every call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "vcam/model/camera_model.h"
#include "vcam/model/pattern.h"

namespace vbus {

// The 48-bit address of the initial register space and of the configuration
// ROM in it.
constexpr std::uint64_t REGISTER_SPACE = 0xFFFFF0000000ull;
constexpr std::uint64_t CONFIG_ROM_ADDRESS = REGISTER_SPACE + 0x400;

// One isochronous packet on the wire (tcode 0xA, the data block).
struct IsoPacket {
  std::uint32_t nChannel = 0;
  std::uint32_t nTag = 1;  // IIDC video data
  std::uint32_t nSy = 0;   // 1 on the first packet of a frame
  std::span<const std::uint8_t> payload;
};

// How often a talker refused the camera's stream asks again (1/8 s).
constexpr std::int64_t CLAIM_RETRY_CYCLES = 1000;

class CCameraNode {
 public:
  explicit CCameraNode(std::shared_ptr<vcam::CCameraModel> pModel);
  ~CCameraNode();
  CCameraNode(const CCameraNode&) = delete;
  CCameraNode& operator=(const CCameraNode&) = delete;

  vcam::CCameraModel& Model() { return *m_pModel; }
  bool IsUnplugged() const { return m_pModel->Faults()->bUnplugged; }

  // The ROM in host order, as far as its blocks reach: what the kernel reads
  // of a node when it appears.
  const std::vector<std::uint32_t>& Rom() const { return m_rom; }

  // A read or write at a 48-bit address; the 1394 response code. Registers
  // are quadlets: lengths that are not whole quadlets get a type error.
  int Read(std::uint64_t qwAddress, std::span<std::uint8_t> data);
  int Write(std::uint64_t qwAddress, std::span<const std::uint8_t> data);

  // What the camera sends in cycle nCycle (cycles come in order, one call
  // each): a packet, or nothing. The payload stays valid until the next call.
  // The talker holds the camera's stream while transmission is on; while
  // another process streams the camera it sends nothing and asks again
  // every CLAIM_RETRY_CYCLES.
  std::optional<IsoPacket> Transmit(std::int64_t nCycle);
  // Whether a frame is on its way.
  bool IsSending() const { return m_bInFrame; }
  // The next n packets the camera sends never reach anybody.
  void LosePackets(std::uint32_t n) { m_nLose += n; }

 private:
  bool StartFrame(std::int64_t llNow, const vcam::IsoSettings& iso);

  const std::shared_ptr<vcam::CCameraModel> m_pModel;
  const std::vector<std::uint32_t> m_rom;

  bool m_bSending = false;         // transmission is on
  bool m_bClaimed = false;         // the camera's stream is this talker's
  std::int64_t m_nRetryAt = 0;     // the cycle to ask for a refused stream again
  std::uint32_t m_nStarts = 0;     // the camera's count of transmission starts, as last seen
  bool m_bInFrame = false;         // a frame is on its way
  std::int64_t m_llNextDue = 0;    // 100-ns units of bus time
  std::uint32_t m_nSequence = 0;   // frames started since transmission came on
  std::uint32_t m_nPacket = 0, m_nPackets = 0, m_cbPacket = 0, m_nChannel = 0;
  std::uint32_t m_nLose = 0;
  std::vector<std::uint8_t> m_frame;  // the frame being sent, padded to whole packets
  vcam::CPatternPainter m_painter;
};

}  // namespace vbus
