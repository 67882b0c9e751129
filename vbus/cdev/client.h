// One open file of an emulated FireWire device, as the kernel's firewire-cdev
// keeps it: the client's ABI version, its events, its resources (iso
// resources, address ranges, descriptors, under handles that are always the
// lowest free ones), its isochronous receive context and the buffer it
// mapped for it.
//
// Events travel through a datagram socket whose other end the client reads:
// reads block, poll and truncate as the kernel's do. Events the socket has
// no room for wait here and follow as the client reads. When the node
// leaves the bus the socket ends after the last event, and the file answers
// ENODEV from then on.
//
// Not thread-safe: every call holds the bus mutex.
#pragma once

#include <cstddef>
#include <cstdint>
#include <linux/firewire-cdev.h>

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

#include "vbus/bus/bus.h"
#include "vbus/cdev/iso_context.h"

namespace vbus {

class CClient {
 public:
  // fdEvents is the bus's end of the event socket; the client owns it.
  CClient(CBus& bus, std::shared_ptr<CDevice> pDevice, int fdEvents);
  ~CClient();  // the file's release: its context, buffer and resources go
  CClient(const CClient&) = delete;
  CClient& operator=(const CClient&) = delete;

  const CDevice& Device() const { return *m_pDevice; }
  // The file answers ENODEV: its node left the bus, or it was inherited
  // across fork.
  bool IsGone() const { return m_pDevice->bShutdown || m_bOrphan; }
  bool IsOrphan() const { return m_bOrphan; }

  // The ioctl: the kernel's result, >= 0 or -errno.
  int Ioctl(unsigned long nCmd, void* pArg);
  // mmap of the file: the client's mapping or -errno.
  long Map(void* pAddress, std::size_t cbLength, int nProt, int nFlags);

  // Sends what the socket takes of the events waiting.
  void Flush();
  void QueueBusReset();
  // The node left the bus: the events go, then the end of the file.
  void Shutdown();
  // Inherited by a forked child: the parent keeps the file.
  void Orphan();
  void Receive(std::int64_t nCycle, const IsoPacket& packet);
  const CIsoContext* Context() const { return m_pContext ? &*m_pContext : nullptr; }

 private:
  struct IsoResource {
    std::uint64_t qwClosure;
    std::uint64_t qwChannels;
    int nBandwidth;
  };
  struct AddressRange {
    std::uint64_t qwStart, qwEnd;
  };
  struct Descriptor {};
  using Resource = std::variant<IsoResource, AddressRange, Descriptor>;

  using Handler = int (CClient::*)(void* pArg);
  static const Handler HANDLERS[];

  int GetInfo(void* pArg);
  int SendRequest(void* pArg);
  int Allocate(void* pArg);
  int Deallocate(void* pArg);
  int SendResponse(void* pArg);
  int InitiateBusReset(void* pArg);
  int AddDescriptor(void* pArg);
  int RemoveDescriptor(void* pArg);
  int CreateIsoContext(void* pArg);
  int QueueIso(void* pArg);
  int StartIso(void* pArg);
  int StopIso(void* pArg);
  int GetCycleTimer(void* pArg);
  int AllocateIsoResource(void* pArg);
  int DeallocateIsoResource(void* pArg);
  int AllocateIsoResourceOnce(void* pArg);
  int DeallocateIsoResourceOnce(void* pArg);
  int GetSpeed(void* pArg);
  int SendBroadcastRequest(void* pArg);
  int SendStreamPacket(void* pArg);
  int GetCycleTimer2(void* pArg);
  int SendPhyPacket(void* pArg);
  int ReceivePhyPackets(void* pArg);
  int SetIsoChannels(void* pArg);
  int FlushIso(void* pArg);

  int Transact(CDevice& device, int nTcode, std::uint64_t qwAddress, std::uint32_t cbLength,
               std::uint64_t qwData, std::uint64_t qwClosure, std::uint32_t nGeneration);
  fw_cdev_event_bus_reset ResetRecord() const;
  void QueueResponse(std::uint64_t qwClosure, const Response& response, std::uint32_t cbRequest);
  int IsoResourceOnce(void* pArg, bool bAllocate);
  void QueueIsoResourceEvent(std::uint32_t nType, std::uint64_t qwClosure, int nHandle, int nChannel,
                             int nBandwidth);
  std::uint32_t AddResource(Resource resource);
  void ReleaseIsoResource(std::uint32_t nHandle, const IsoResource& r, bool bQueueEvent);
  void QueueEvent(const void* pFirst, std::size_t cbFirst, const void* pSecond = nullptr, std::size_t cbSecond = 0);
  void Completed(std::uint16_t nCycle, std::span<const std::uint8_t> headers);
  std::span<std::uint8_t> Buffer() { return {m_pBuffer, m_pBuffer ? m_cbBuffer : 0}; }

  CBus& m_bus;
  const std::shared_ptr<CDevice> m_pDevice;
  int m_fdEvents;
  std::uint32_t m_nVersion = 0;
  bool m_bListening = false;  // asked for the bus-reset record: gets bus-reset events
  std::uint64_t m_qwResetClosure = 0;
  bool m_bOrphan = false;
  std::deque<std::vector<std::uint8_t>> m_pending;  // events the socket had no room for
  std::map<std::uint32_t, Resource> m_resources;
  std::optional<CIsoContext> m_pContext;
  std::uint64_t m_qwIsoClosure = 0;
  std::uint8_t* m_pBuffer = nullptr;  // the bus's own view of the mapped buffer
  std::size_t m_cbBuffer = 0;
  std::uintptr_t m_vmStart = 0;       // where the client mapped it
};

}  // namespace vbus
