// The ioctls of a FireWire device file, with the kernel's checks and results:
// the command's number picks the handler, its size and direction say how
// many bytes are copied in before and out after, whatever the caller's
// record really is.
#include <linux/firewire-cdev.h>
#include <linux/firewire-constants.h>
#include <sys/ioctl.h>
#include <time.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "vbus/cdev/client.h"
#include "vbus/cdev/user_memory.h"

namespace vbus {
namespace {

// What this bus reports as the kernel's ABI version: that of Linux 6.1.
constexpr std::uint32_t KERNEL_ABI_VERSION = 5;
constexpr std::uint32_t ABI_REQUEST2 = 4, ABI_AUTO_FLUSH_ISO_OVERFLOW = 5;
constexpr int SPEED = SCODE_400;           // every link of this bus
constexpr std::uint32_t RECEIVE_CONTEXTS = 4;  // receive contexts of the card
constexpr std::uint64_t CSR_REGISTER_END = 0xFFFFF0000800ull;  // CSRs and configuration ROM

union IoctlArg {
  fw_cdev_get_info getInfo;
  fw_cdev_send_request sendRequest;
  fw_cdev_allocate allocate;
  fw_cdev_deallocate deallocate;
  fw_cdev_send_response sendResponse;
  fw_cdev_initiate_bus_reset initiateBusReset;
  fw_cdev_add_descriptor addDescriptor;
  fw_cdev_remove_descriptor removeDescriptor;
  fw_cdev_create_iso_context createIsoContext;
  fw_cdev_queue_iso queueIso;
  fw_cdev_start_iso startIso;
  fw_cdev_stop_iso stopIso;
  fw_cdev_get_cycle_timer getCycleTimer;
  fw_cdev_allocate_iso_resource allocateIsoResource;
  fw_cdev_send_stream_packet sendStreamPacket;
  fw_cdev_get_cycle_timer2 getCycleTimer2;
  fw_cdev_send_phy_packet sendPhyPacket;
  fw_cdev_receive_phy_packets receivePhyPackets;
  fw_cdev_set_iso_channels setIsoChannels;
  fw_cdev_flush_iso flushIso;
};

template <class T>
T& As(void* pArg) {
  return *static_cast<T*>(pArg);
}

bool IsRequestTcode(std::uint32_t nTcode) {
  switch (nTcode) {
    case TCODE_WRITE_QUADLET_REQUEST: case TCODE_WRITE_BLOCK_REQUEST:
    case TCODE_READ_QUADLET_REQUEST: case TCODE_READ_BLOCK_REQUEST:
    case TCODE_LOCK_MASK_SWAP: case TCODE_LOCK_COMPARE_SWAP: case TCODE_LOCK_FETCH_ADD:
    case TCODE_LOCK_LITTLE_ADD: case TCODE_LOCK_BOUNDED_ADD: case TCODE_LOCK_WRAP_ADD:
    case TCODE_LOCK_VENDOR_DEPENDENT:
      return true;
    default:
      return false;
  }
}

bool IsRead(int nTcode) { return nTcode == TCODE_READ_QUADLET_REQUEST || nTcode == TCODE_READ_BLOCK_REQUEST; }
bool IsLock(int nTcode) { return nTcode >= TCODE_LOCK_MASK_SWAP && nTcode <= TCODE_LOCK_VENDOR_DEPENDENT; }

}  // namespace

const CClient::Handler CClient::HANDLERS[] = {
    &CClient::GetInfo,          &CClient::SendRequest,
    &CClient::Allocate,         &CClient::Deallocate,
    &CClient::SendResponse,     &CClient::InitiateBusReset,
    &CClient::AddDescriptor,    &CClient::RemoveDescriptor,
    &CClient::CreateIsoContext, &CClient::QueueIso,
    &CClient::StartIso,         &CClient::StopIso,
    &CClient::GetCycleTimer,    &CClient::AllocateIsoResource,
    &CClient::DeallocateIsoResource, &CClient::AllocateIsoResourceOnce,
    &CClient::DeallocateIsoResourceOnce, &CClient::GetSpeed,
    &CClient::SendBroadcastRequest, &CClient::SendStreamPacket,
    &CClient::GetCycleTimer2,   &CClient::SendPhyPacket,
    &CClient::ReceivePhyPackets, &CClient::SetIsoChannels,
    &CClient::FlushIso,
};

int CClient::Ioctl(unsigned long nCmd, void* pArg) {
  if (IsGone()) return -ENODEV;
  const std::size_t cbArg = _IOC_SIZE(nCmd);
  if (_IOC_TYPE(nCmd) != '#' || _IOC_NR(nCmd) >= std::size(HANDLERS) || cbArg > sizeof(IoctlArg)) return -ENOTTY;
  IoctlArg arg{};
  const auto qwUser = reinterpret_cast<std::uintptr_t>(pArg);
  if ((_IOC_DIR(nCmd) & _IOC_WRITE) && !CopyFromUser(&arg, qwUser, cbArg)) return -EFAULT;
  const int nResult = (this->*HANDLERS[_IOC_NR(nCmd)])(&arg);
  if (nResult < 0) return nResult;
  if ((_IOC_DIR(nCmd) & _IOC_READ) && !CopyToUser(qwUser, &arg, cbArg)) return -EFAULT;
  return nResult;
}

int CClient::GetInfo(void* pArg) {
  auto& a = As<fw_cdev_get_info>(pArg);
  m_nVersion = a.version;
  a.version = KERNEL_ABI_VERSION;
  a.card = 0;
  const std::vector<std::uint32_t>& rom = m_pDevice->rom;
  const std::size_t cbRom = 4 * rom.size();
  if (a.rom != 0 && !CopyToUser(a.rom, rom.data(), std::min<std::size_t>(a.rom_length, cbRom))) return -EFAULT;
  a.rom_length = static_cast<std::uint32_t>(cbRom);
  m_qwResetClosure = a.bus_reset_closure;
  if (a.bus_reset != 0) {
    const fw_cdev_event_bus_reset reset = ResetRecord();
    // The record's unpadded size.
    if (!CopyToUser(a.bus_reset, &reset, offsetof(fw_cdev_event_bus_reset, generation) + 4)) return -EFAULT;
  }
  if (!m_bListening) m_pDevice->listeners.push_back(this);
  m_bListening = true;
  return 0;
}

int CClient::Transact(CDevice& device, int nTcode, std::uint64_t qwAddress, std::uint32_t cbLength,
                      std::uint64_t qwData, std::uint64_t qwClosure, std::uint32_t nGeneration) {
  if (nTcode == TCODE_WRITE_QUADLET_REQUEST && cbLength < 4) return -EINVAL;
  std::vector<std::uint8_t> data(cbLength);
  if (qwData != 0 && !CopyFromUser(data.data(), qwData, cbLength)) return -EFAULT;
  Response response;
  if (nGeneration != m_bus.Generation())
    response.nRcode = RCODE_GENERATION;
  else
    response = m_bus.Transact(device, nTcode, qwAddress, data, IsRead(nTcode) || IsLock(nTcode) ? cbLength : 0);
  QueueResponse(qwClosure, response, cbLength);
  return 0;
}

void CClient::QueueResponse(std::uint64_t qwClosure, const Response& response, std::uint32_t cbRequest) {
  fw_cdev_event_response rsp{};
  rsp.closure = qwClosure;
  rsp.type = FW_CDEV_EVENT_RESPONSE;
  rsp.rcode = static_cast<std::uint32_t>(response.nRcode);
  rsp.length = static_cast<std::uint32_t>(std::min<std::size_t>(cbRequest, response.payload.size()));
  // The data starts at the record's last field, inside its padding. A short
  // one is repeated after the record, as old kernels did and clients rely on.
  const std::size_t cbInRecord = sizeof rsp - offsetof(fw_cdev_event_response, data);
  std::vector<std::uint8_t> event(sizeof rsp + rsp.length);
  std::memcpy(event.data(), &rsp, sizeof rsp);
  if (rsp.length != 0) {
    std::memcpy(event.data() + offsetof(fw_cdev_event_response, data), response.payload.data(), rsp.length);
    if (rsp.length <= cbInRecord) std::memcpy(event.data() + sizeof rsp, response.payload.data(), rsp.length);
  }
  QueueEvent(event.data(), event.size());
}

int CClient::SendRequest(void* pArg) {
  const auto& a = As<fw_cdev_send_request>(pArg);
  if (!IsRequestTcode(a.tcode)) return -EINVAL;
  if (a.length > 4096 || a.length > 512u << SPEED) return -EIO;
  return Transact(*m_pDevice, static_cast<int>(a.tcode), a.offset, a.length, a.data, a.closure, a.generation);
}

int CClient::SendBroadcastRequest(void* pArg) {
  const auto& a = As<fw_cdev_send_request>(pArg);
  if (a.tcode != TCODE_WRITE_QUADLET_REQUEST && a.tcode != TCODE_WRITE_BLOCK_REQUEST) return -EINVAL;
  if (a.offset < CSR_REGISTER_END) return -EACCES;  // units space only
  if (a.length > 512u << SCODE_100) return -EIO;
  // Every camera takes the write; nobody answers a broadcast, so the
  // request completes once sent.
  std::vector<std::uint8_t> data(a.length);
  if (a.data != 0 && !CopyFromUser(data.data(), a.data, a.length)) return -EFAULT;
  Response response;
  response.nRcode = a.generation == m_bus.Generation() ? RCODE_COMPLETE : RCODE_GENERATION;
  if (response.nRcode == RCODE_COMPLETE)
    for (const auto& pDevice : m_bus.Devices())
      if (pDevice->pCamera && !pDevice->bShutdown) m_bus.Transact(*pDevice, static_cast<int>(a.tcode), a.offset, data, 0);
  QueueResponse(a.closure, response, a.length);
  return 0;
}

int CClient::SendStreamPacket(void* pArg) {
  const auto& a = As<fw_cdev_send_stream_packet>(pArg);
  if (a.speed > SPEED || a.length > 1024u << a.speed) return -EIO;
  if (a.tag > 3 || a.channel > 63 || a.sy > 15) return -EINVAL;
  // Nobody on this bus listens to asynchronous streams: the packet is sent.
  QueueResponse(a.closure, Response{}, a.length);
  return 0;
}

int CClient::Allocate(void* pArg) {
  auto& a = As<fw_cdev_allocate>(pArg);
  const std::uint64_t qwEnd = m_nVersion < ABI_REQUEST2 ? a.offset + a.length : a.region_end;
  std::uint64_t qwOffset = 0;
  if (const int nResult = m_bus.AllocateAddress(a.offset, qwEnd, a.length, &qwOffset); nResult < 0) return nResult;
  a.offset = qwOffset;
  a.handle = AddResource(AddressRange{qwOffset, qwOffset + a.length});
  return 0;
}

int CClient::Deallocate(void* pArg) {
  const auto it = m_resources.find(As<fw_cdev_deallocate>(pArg).handle);
  if (it == m_resources.end() || !std::holds_alternative<AddressRange>(it->second)) return -EINVAL;
  m_bus.FreeAddress(std::get<AddressRange>(it->second).qwStart);
  m_resources.erase(it);
  return 0;
}

// No request ever reaches this host, so no response is owed.
int CClient::SendResponse(void*) { return -EINVAL; }

int CClient::InitiateBusReset(void*) {
  m_bus.Reset();
  return 0;
}

int CClient::AddDescriptor(void* pArg) {
  auto& a = As<fw_cdev_add_descriptor>(pArg);
  if (m_pDevice->pCamera) return -ENOSYS;  // local node only
  if (a.length > 256) return -EINVAL;
  std::vector<std::uint32_t> data(a.length);
  if (!CopyFromUser(data.data(), a.data, 4u * a.length)) return -EFAULT;
  a.handle = AddResource(Descriptor{});
  return 0;
}

int CClient::RemoveDescriptor(void* pArg) {
  const auto it = m_resources.find(As<fw_cdev_remove_descriptor>(pArg).handle);
  if (it == m_resources.end() || !std::holds_alternative<Descriptor>(it->second)) return -EINVAL;
  m_resources.erase(it);
  return 0;
}

int CClient::CreateIsoContext(void* pArg) {
  auto& a = As<fw_cdev_create_iso_context>(pArg);
  switch (a.type) {
    case FW_CDEV_ISO_CONTEXT_TRANSMIT:
      if (a.speed > SCODE_3200 || a.channel > 63) return -EINVAL;
      return -EBUSY;  // the card lends no transmit context
    case FW_CDEV_ISO_CONTEXT_RECEIVE:
      if (a.header_size < 4 || a.header_size % 4 || a.channel > 63) return -EINVAL;
      break;
    case FW_CDEV_ISO_CONTEXT_RECEIVE_MULTICHANNEL:
      return -EBUSY;  // nor a multichannel one
    default:
      return -EINVAL;
  }
  if (m_bus.ReceiveContexts() >= RECEIVE_CONTEXTS || m_bus.ChannelHeard(a.channel)) return -EBUSY;
  if (m_pContext) return -EBUSY;  // one context a file
  m_pContext.emplace(a.channel, a.header_size, m_nVersion < ABI_AUTO_FLUSH_ISO_OVERFLOW);
  m_qwIsoClosure = a.closure;
  a.handle = 0;
  return 0;
}

int CClient::QueueIso(void* pArg) {
  auto& a = As<fw_cdev_queue_iso>(pArg);
  if (!m_pContext || a.handle != 0) return -EINVAL;
  std::uint64_t nPayload = a.data - m_vmStart;
  std::uint64_t nBufferEnd = m_cbBuffer;
  if (a.data == 0 || !m_pBuffer || nPayload >= nBufferEnd) nPayload = nBufferEnd = 0;

  const std::uint64_t qwStart = a.packets;
  std::uint64_t p = a.packets;
  const std::uint64_t qwEnd = a.packets + a.size;
  int nCount = 0;
  while (p < qwEnd) {
    std::uint32_t dwControl = 0;
    if (!CopyFromUser(&dwControl, p, sizeof dwControl)) return -EFAULT;
    const std::uint32_t cbPayload = dwControl & 0xFFFF;
    const bool bInterrupt = dwControl >> 16 & 1, bSkip = dwControl >> 17 & 1;
    const std::uint32_t cbHeaders = dwControl >> 24;
    if (cbHeaders == 0 || cbHeaders % m_pContext->HeaderSize() != 0) return -EINVAL;
    const std::uint64_t next = p + sizeof(fw_cdev_iso_packet);
    if (next > qwEnd) return -EINVAL;
    if (nPayload + cbPayload > nBufferEnd) return -EINVAL;
    // One entry may stand for several packets, sharing its payload evenly.
    const std::uint32_t nPackets = cbHeaders / m_pContext->HeaderSize();
    bool bQueued = true;
    for (std::uint32_t i = 0; i < nPackets && bQueued; ++i)
      bQueued = m_pContext->Queue({static_cast<std::size_t>(nPayload) + std::size_t{i} * (cbPayload / nPackets),
                                   cbPayload / nPackets, bSkip && i == 0, bInterrupt && i + 1 == nPackets});
    if (!bQueued) break;
    p = next;
    nPayload += cbPayload;
    ++nCount;
  }
  a.size -= static_cast<std::uint32_t>(p - qwStart);
  a.packets = p;
  a.data = m_vmStart + nPayload;
  return nCount;
}

int CClient::StartIso(void* pArg) {
  const auto& a = As<fw_cdev_start_iso>(pArg);
  if (!m_pContext || a.handle != 0) return -EINVAL;
  if (a.tags == 0 || a.tags > 15 || a.sync > 15) return -EINVAL;
  m_pContext->Start(a.cycle, a.sync, a.tags);
  return 0;
}

int CClient::StopIso(void* pArg) {
  if (!m_pContext || As<fw_cdev_stop_iso>(pArg).handle != 0) return -EINVAL;
  m_pContext->Stop();
  return 0;
}

int CClient::FlushIso(void* pArg) {
  if (!m_pContext || As<fw_cdev_flush_iso>(pArg).handle != 0) return -EINVAL;
  m_pContext->Flush([this](std::uint16_t nStamp, std::span<const std::uint8_t> headers) { Completed(nStamp, headers); });
  return 0;
}

int CClient::SetIsoChannels(void* pArg) {
  // Only multichannel contexts listen to a set of channels.
  (void)As<fw_cdev_set_iso_channels>(pArg);
  return -EINVAL;
}

int CClient::GetCycleTimer2(void* pArg) {
  auto& a = As<fw_cdev_get_cycle_timer2>(pArg);
  if (a.clk_id != CLOCK_REALTIME && a.clk_id != CLOCK_MONOTONIC && a.clk_id != CLOCK_MONOTONIC_RAW) return -EINVAL;
  timespec ts{};
  a.cycle_timer = m_bus.Clock().TimerAt(CCycleClock::Clock::now());
  clock_gettime(a.clk_id, &ts);
  a.tv_sec = ts.tv_sec;
  a.tv_nsec = static_cast<std::int32_t>(ts.tv_nsec);
  return 0;
}

int CClient::GetCycleTimer(void* pArg) {
  fw_cdev_get_cycle_timer2 timer2{};
  timer2.clk_id = CLOCK_REALTIME;
  GetCycleTimer2(&timer2);
  auto& a = As<fw_cdev_get_cycle_timer>(pArg);
  a.local_time = static_cast<std::uint64_t>(timer2.tv_sec) * 1000000 + static_cast<std::uint64_t>(timer2.tv_nsec) / 1000;
  a.cycle_timer = timer2.cycle_timer;
  return 0;
}

int CClient::AllocateIsoResource(void* pArg) {
  auto& a = As<fw_cdev_allocate_iso_resource>(pArg);
  if ((a.channels == 0 && a.bandwidth == 0) || a.bandwidth > BANDWIDTH_AVAILABLE_INITIAL) return -EINVAL;
  int nChannel = 0, nBandwidth = static_cast<int>(a.bandwidth);
  m_bus.Irm().Manage(a.channels, &nChannel, &nBandwidth, true);
  const bool bSuccess = nChannel >= 0 || nBandwidth > 0;
  a.handle = AddResource(IsoResource{a.closure, nChannel >= 0 ? std::uint64_t{1} << nChannel : 0, nBandwidth});
  const int nHandle = static_cast<int>(a.handle);
  QueueIsoResourceEvent(FW_CDEV_EVENT_ISO_RESOURCE_ALLOCATED, a.closure, nHandle, nChannel, nBandwidth);
  // What could not be had is no resource of the file.
  if (!bSuccess) m_resources.erase(a.handle);
  return 0;
}

int CClient::DeallocateIsoResource(void* pArg) {
  const auto it = m_resources.find(As<fw_cdev_deallocate>(pArg).handle);
  if (it == m_resources.end() || !std::holds_alternative<IsoResource>(it->second)) return -EINVAL;
  const IsoResource resource = std::get<IsoResource>(it->second);
  const std::uint32_t nHandle = it->first;
  m_resources.erase(it);
  ReleaseIsoResource(nHandle, resource, true);
  return 0;
}

void CClient::ReleaseIsoResource(std::uint32_t nHandle, const IsoResource& r, bool bQueueEvent) {
  int nChannel = 0, nBandwidth = r.nBandwidth;
  m_bus.Irm().Manage(r.qwChannels, &nChannel, &nBandwidth, false);
  if (bQueueEvent)
    QueueIsoResourceEvent(FW_CDEV_EVENT_ISO_RESOURCE_DEALLOCATED, r.qwClosure, static_cast<int>(nHandle), nChannel,
                          nBandwidth);
}

int CClient::IsoResourceOnce(void* pArg, bool bAllocate) {
  auto& a = As<fw_cdev_allocate_iso_resource>(pArg);
  if ((a.channels == 0 && a.bandwidth == 0) || a.bandwidth > BANDWIDTH_AVAILABLE_INITIAL) return -EINVAL;
  int nChannel = 0, nBandwidth = static_cast<int>(a.bandwidth);
  m_bus.Irm().Manage(a.channels, &nChannel, &nBandwidth, bAllocate);
  a.handle = static_cast<std::uint32_t>(-1);
  QueueIsoResourceEvent(bAllocate ? FW_CDEV_EVENT_ISO_RESOURCE_ALLOCATED : FW_CDEV_EVENT_ISO_RESOURCE_DEALLOCATED,
                        a.closure, -1, nChannel, nBandwidth);
  return 0;
}

int CClient::AllocateIsoResourceOnce(void* pArg) { return IsoResourceOnce(pArg, true); }
int CClient::DeallocateIsoResourceOnce(void* pArg) { return IsoResourceOnce(pArg, false); }

void CClient::QueueIsoResourceEvent(std::uint32_t nType, std::uint64_t qwClosure, int nHandle, int nChannel,
                                    int nBandwidth) {
  fw_cdev_event_iso_resource event{};
  event.closure = qwClosure;
  event.type = nType;
  event.handle = nHandle;
  event.channel = nChannel;
  event.bandwidth = nBandwidth;
  QueueEvent(&event, sizeof event);
}

std::uint32_t CClient::AddResource(Resource resource) {
  std::uint32_t nHandle = 0;
  while (m_resources.count(nHandle)) ++nHandle;
  m_resources.emplace(nHandle, std::move(resource));
  return nHandle;
}

int CClient::GetSpeed(void*) { return SPEED; }

int CClient::SendPhyPacket(void* pArg) {
  const auto& a = As<fw_cdev_send_phy_packet>(pArg);
  if (m_pDevice->pCamera) return -ENOSYS;  // local node only
  fw_cdev_event_phy_packet sent{};
  sent.closure = a.closure;
  sent.type = FW_CDEV_EVENT_PHY_PACKET_SENT;
  sent.rcode = RCODE_COMPLETE;
  QueueEvent(&sent, sizeof sent);
  return 0;
}

int CClient::ReceivePhyPackets(void*) {
  // No node of this bus sends PHY packets the client would get.
  return m_pDevice->pCamera ? -ENOSYS : 0;
}

}  // namespace vbus
