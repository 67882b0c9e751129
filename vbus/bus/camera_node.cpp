#include "vbus/bus/camera_node.h"

#include <linux/firewire-constants.h>

#include <algorithm>
#include <cstring>

#include "vbus/bus/cycle_clock.h"
#include "vcam/model/config_rom.h"
#include "vcam/model/offsets.h"

namespace vbus {
namespace {

constexpr std::uint64_t COMMAND_REGISTERS = REGISTER_SPACE + vcam::COMMAND_BASE;
constexpr std::int64_t CYCLE_100NS = CYCLE_NS / 100;

std::vector<std::uint32_t> ReadableRom(vcam::CCameraModel& model) {
  const std::vector<std::uint32_t>& rom = model.Rom();
  const auto cbRom = static_cast<std::uint32_t>(4 * rom.size());
  const std::uint32_t cbExtent = vcam::RomExtent(
      [&](std::uint32_t nByte, std::uint32_t* pdw) {
        if (nByte / 4 >= rom.size()) return false;
        *pdw = rom[nByte / 4];
        return true;
      },
      cbRom);
  return {rom.begin(), rom.begin() + cbExtent / 4};
}

// How the camera answers a register transaction the model failed.
int ResponseCode(vcam::Result hr) {
  switch (hr) {
    case vcam::VCAM_E_ADDRESS: return RCODE_ADDRESS_ERROR;
    case vcam::VCAM_E_NOT_CONNECTED: return RCODE_NO_ACK;
    case vcam::VCAM_E_FAIL: return RCODE_BUSY;  // a register the camera cannot serve just now
    default: return RCODE_DATA_ERROR;
  }
}

// The register offset of a quadlet address, or nothing outside the initial
// register space.
std::optional<std::uint32_t> RegisterOffset(std::uint64_t qwAddress) {
  if (qwAddress < REGISTER_SPACE || qwAddress > 0xFFFFFFFFFFFCull) return std::nullopt;
  return static_cast<std::uint32_t>(qwAddress - COMMAND_REGISTERS);
}

// The largest isochronous payload at a speed code (S100 = 0).
constexpr std::uint32_t MaxPayload(std::uint32_t nSpeed) { return 1024u << nSpeed; }

}  // namespace

CCameraNode::CCameraNode(std::shared_ptr<vcam::CCameraModel> pModel)
    : m_pModel(std::move(pModel)), m_rom(ReadableRom(*m_pModel)) {}

CCameraNode::~CCameraNode() {
  if (m_bClaimed) m_pModel->ReleaseStream();
}

int CCameraNode::Read(std::uint64_t qwAddress, std::span<std::uint8_t> data) {
  if (data.size() % 4 != 0 || data.empty()) return RCODE_TYPE_ERROR;
  for (std::size_t i = 0; i < data.size(); i += 4) {
    const auto offset = RegisterOffset(qwAddress + i);
    if (!offset) return RCODE_ADDRESS_ERROR;
    std::uint32_t dw = 0;
    if (const vcam::Result hr = m_pModel->ReadQuadlet(*offset, &dw); vcam::Failed(hr)) return ResponseCode(hr);
    for (int b = 0; b < 4; ++b) data[i + b] = static_cast<std::uint8_t>(dw >> (24 - 8 * b));
  }
  return RCODE_COMPLETE;
}

int CCameraNode::Write(std::uint64_t qwAddress, std::span<const std::uint8_t> data) {
  if (data.size() % 4 != 0 || data.empty()) return RCODE_TYPE_ERROR;
  for (std::size_t i = 0; i < data.size(); i += 4) {
    const auto offset = RegisterOffset(qwAddress + i);
    if (!offset) return RCODE_ADDRESS_ERROR;
    std::uint32_t dw = 0;
    for (int b = 0; b < 4; ++b) dw = dw << 8 | data[i + b];
    if (const vcam::Result hr = m_pModel->WriteQuadlet(*offset, dw); vcam::Failed(hr)) return ResponseCode(hr);
  }
  return RCODE_COMPLETE;
}

std::optional<IsoPacket> CCameraNode::Transmit(std::int64_t nCycle) {
  if (IsUnplugged()) return std::nullopt;
  const vcam::IsoSettings iso = m_pModel->GetIsoSettings();
  if (iso.nStarts != m_nStarts) {
    // Switched off and on again since the last cycle: a new transmission.
    m_nStarts = iso.nStarts;
    m_bSending = m_bInFrame = false;
  }
  if (!iso.bEnabled && !iso.bShot) {
    // Transmission stops at once, the frame on its way with it, and the
    // camera's stream is free for others.
    m_bSending = m_bInFrame = false;
    if (m_bClaimed) m_pModel->ReleaseStream();
    m_bClaimed = false;
    m_nRetryAt = 0;
    return std::nullopt;
  }
  const std::int64_t llNow = nCycle * CYCLE_100NS;
  if (!m_bClaimed) {
    if (nCycle < m_nRetryAt) return std::nullopt;
    m_bClaimed = m_pModel->ClaimStream();
    if (!m_bClaimed) {
      m_nRetryAt = nCycle + CLAIM_RETRY_CYCLES;
      return std::nullopt;
    }
  }
  if (!m_bSending) {
    m_bSending = true;
    m_llNextDue = llNow;
    m_nSequence = 0;
  }
  if (!m_bInFrame && !StartFrame(llNow, iso)) return std::nullopt;

  IsoPacket packet;
  packet.nChannel = m_nChannel;
  packet.nSy = m_nPacket == 0 ? 1 : 0;
  packet.payload = std::span<const std::uint8_t>(m_frame).subspan(std::size_t{m_nPacket} * m_cbPacket, m_cbPacket);
  if (++m_nPacket == m_nPackets) {
    m_bInFrame = false;
    m_pModel->NoteFrameSent();
  }
  if (m_nLose != 0) {
    --m_nLose;
    return std::nullopt;
  }
  return packet;
}

bool CCameraNode::StartFrame(std::int64_t llNow, const vcam::IsoSettings& iso) {
  const bool bTriggered = m_pModel->TriggerIsOn();
  if (!bTriggered && llNow < m_llNextDue) return false;
  const vcam::StreamInfo stream = m_pModel->GetStream();
  // A mode without a packet size, or one too large for the camera's speed,
  // cannot go on the bus: the camera sends nothing.
  if (!stream.bValid || stream.cbPacket == 0 || stream.cbPacket > MaxPayload(iso.nSpeed) || stream.cbFrame == 0)
    return false;
  if (bTriggered && !m_pModel->TakeTriggerRelease()) return false;
  if (!bTriggered)
    m_llNextDue = (llNow - m_llNextDue >= stream.llInterval ? llNow : m_llNextDue) + stream.llInterval;

  m_cbPacket = stream.cbPacket;
  m_nPackets = static_cast<std::uint32_t>((stream.cbFrame + m_cbPacket - 1) / m_cbPacket);
  m_nPacket = 0;
  m_nChannel = iso.nChannel;
  m_frame.resize(std::size_t{m_nPackets} * m_cbPacket);
  const auto cbFrame = static_cast<std::size_t>(stream.cbFrame);
  m_painter.Draw(stream.nColor, stream.nWidth, stream.nHeight, m_nSequence++,
                 std::span<std::uint8_t>(m_frame.data(), cbFrame), false, stream.nFilter);
  std::fill(m_frame.begin() + static_cast<std::ptrdiff_t>(cbFrame), m_frame.end(), std::uint8_t{0});
  m_bInFrame = true;
  return true;
}

}  // namespace vbus
