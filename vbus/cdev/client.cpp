#include "vbus/cdev/client.h"

#include <linux/firewire-cdev.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vbus {
namespace {

// The bus's own calls, past this library's wrappers of the same names.
long SysMmap(void* p, std::size_t cb, int nProt, int nFlags, int fd) {
  return syscall(SYS_mmap, p, cb, nProt, nFlags, fd, 0L);
}
void SysClose(int fd) { syscall(SYS_close, fd); }

constexpr std::size_t PAGE = 4096;

}  // namespace

CClient::CClient(CBus& bus, std::shared_ptr<CDevice> pDevice, int fdEvents)
    : m_bus(bus), m_pDevice(std::move(pDevice)), m_fdEvents(fdEvents) {
  m_bus.AddClient(this);
}

CClient::~CClient() {
  std::erase(m_pDevice->listeners, this);
  m_bus.RemoveClient(this);
  m_pContext.reset();
  if (m_pBuffer) munmap(m_pBuffer, m_cbBuffer);
  // Resources go without events: nobody reads this file any more.
  for (const auto& [nHandle, resource] : m_resources) {
    if (const auto* pIso = std::get_if<IsoResource>(&resource)) ReleaseIsoResource(nHandle, *pIso, false);
    if (const auto* pRange = std::get_if<AddressRange>(&resource)) m_bus.FreeAddress(pRange->qwStart);
  }
  if (m_fdEvents >= 0) SysClose(m_fdEvents);
}

void CClient::QueueEvent(const void* pFirst, std::size_t cbFirst, const void* pSecond, std::size_t cbSecond) {
  if (IsGone()) return;
  std::vector<std::uint8_t> event(cbFirst + cbSecond);
  std::memcpy(event.data(), pFirst, cbFirst);
  if (cbSecond) std::memcpy(event.data() + cbFirst, pSecond, cbSecond);
  m_pending.push_back(std::move(event));
  Flush();
}

void CClient::Flush() {
  while (!m_pending.empty() && m_fdEvents >= 0) {
    const std::vector<std::uint8_t>& event = m_pending.front();
    if (send(m_fdEvents, event.data(), event.size(), MSG_DONTWAIT | MSG_NOSIGNAL) < 0) return;
    m_pending.pop_front();
  }
  // A file whose node has gone ends once its events are out.
  if (m_pending.empty() && m_pDevice->bShutdown && m_fdEvents >= 0) shutdown(m_fdEvents, SHUT_RDWR);
}

fw_cdev_event_bus_reset CClient::ResetRecord() const {
  fw_cdev_event_bus_reset reset{};
  reset.closure = m_qwResetClosure;
  reset.type = FW_CDEV_EVENT_BUS_RESET;
  reset.node_id = m_pDevice->nNodeId;
  reset.local_node_id = reset.bm_node_id = reset.irm_node_id = reset.root_node_id = m_bus.LocalNodeId();
  reset.generation = m_bus.Generation();
  return reset;
}

void CClient::QueueBusReset() {
  if (!m_bListening) return;
  const fw_cdev_event_bus_reset reset = ResetRecord();
  QueueEvent(&reset, sizeof reset);
}

void CClient::Shutdown() {
  if (m_pContext) m_pContext->Stop();
  Flush();
}

void CClient::Orphan() {
  m_bOrphan = true;
  m_pending.clear();
  if (m_fdEvents >= 0) SysClose(m_fdEvents);
  m_fdEvents = -1;
}

long CClient::Map(void* pAddress, std::size_t cbLength, int nProt, int nFlags) {
  if (IsGone()) return -ENODEV;
  if (m_pBuffer) return -EBUSY;  // one buffer a file
  if (!(nFlags & MAP_SHARED)) return -EINVAL;
  const std::size_t cbPages = (cbLength + PAGE - 1) / PAGE * PAGE;
  if (cbPages == 0) return -EINVAL;
  // The pages outlive the client's mapping, as the kernel's do: the bus
  // keeps a view of its own until the file is released.
  const int fdMemory = memfd_create("firewire-iso-buffer", MFD_CLOEXEC);
  if (fdMemory < 0) return -ENOMEM;
  long nResult = -ENOMEM;
  if (ftruncate(fdMemory, static_cast<off_t>(cbPages)) == 0) {
    const long nOwn = SysMmap(nullptr, cbPages, PROT_READ | PROT_WRITE, MAP_SHARED, fdMemory);
    if (nOwn < 0 && nOwn > -4096) {
      nResult = nOwn;
    } else {
      nResult = SysMmap(pAddress, cbLength, nProt, nFlags, fdMemory);
      if (nResult < 0 && nResult > -4096) {
        munmap(reinterpret_cast<void*>(nOwn), cbPages);
      } else {
        m_pBuffer = reinterpret_cast<std::uint8_t*>(nOwn);
        m_cbBuffer = cbPages;
        m_vmStart = static_cast<std::uintptr_t>(nResult);
      }
    }
  }
  SysClose(fdMemory);
  return nResult;
}

void CClient::Receive(std::int64_t nCycle, const IsoPacket& packet) {
  if (!m_pContext || IsGone()) return;
  m_pContext->Receive(nCycle, packet, Buffer(),
                      [this](std::uint16_t nStamp, std::span<const std::uint8_t> headers) { Completed(nStamp, headers); });
}

void CClient::Completed(std::uint16_t nCycle, std::span<const std::uint8_t> headers) {
  fw_cdev_event_iso_interrupt interrupt{};
  interrupt.closure = m_qwIsoClosure;
  interrupt.type = FW_CDEV_EVENT_ISO_INTERRUPT;
  interrupt.cycle = nCycle;
  interrupt.header_length = static_cast<std::uint32_t>(headers.size());
  // The headers follow the record's last field, inside its padding.
  std::vector<std::uint8_t> event(sizeof interrupt + headers.size());
  std::memcpy(event.data(), &interrupt, sizeof interrupt);
  std::memcpy(event.data() + offsetof(fw_cdev_event_iso_interrupt, header), headers.data(), headers.size());
  QueueEvent(event.data(), event.size());
}

}  // namespace vbus
