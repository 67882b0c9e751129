// The emulated FireWire bus of one process: the host's card with its local
// node, one node per virtual camera of the active camera set, their device
// files (/dev/fw0 the local node, /dev/fw1... the cameras), generations and
// bus resets, the isochronous resource manager and the bus clock.
//
// The bus plays its cycles on a thread of its own, started with the first
// open file: each camera's packet of the cycle goes to every receive context
// on its channel. Everything here is guarded by one mutex, which the thread
// holds only while it plays the cycles due; nothing blocks while holding it.
// After fork the child has its own bus: the files it inherited answer ENODEV
// (their events would otherwise be written twice), new ones work.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "vbus/bus/camera_node.h"
#include "vbus/bus/cycle_clock.h"
#include "vbus/bus/irm.h"

namespace vbus {

class CClient;

// A node as the kernel presents it: one device file.
struct CDevice {
  std::string strName;                   // "fw0", "fw1", ...
  std::uint32_t nNodeId = 0;             // 0xFFC0 | physical id
  std::shared_ptr<CCameraNode> pCamera;  // null for the local node
  std::vector<std::uint32_t> rom;        // host order, as far as its blocks reach
  bool bShutdown = false;                // the node left the bus: its files answer ENODEV
  std::vector<CClient*> listeners;       // clients that asked for the bus-reset record
};

// A response as a transaction completes.
struct Response {
  int nRcode = 0;
  std::vector<std::uint8_t> payload;  // what a read or lock returns
};

class CBus {
 public:
  // The process's bus, made with its cameras on first use.
  static CBus& Get();

  std::mutex& Mutex() { return m_mutex; }

  // All below with Mutex() held.
  std::shared_ptr<CDevice> FindDevice(const std::string& strName) const;
  const std::vector<std::shared_ptr<CDevice>>& Devices() const { return m_devices; }
  std::uint32_t Generation() const { return m_nGeneration; }
  std::uint32_t LocalNodeId() const { return m_devices.front()->nNodeId; }
  const CCycleClock& Clock() const { return m_clock; }
  CIsoResourceManager& Irm() { return m_irm; }

  // An open file of a device: the bus starts playing with the first one.
  void AddClient(CClient* pClient);
  void RemoveClient(CClient* pClient);
  bool HasClient(const CClient* pClient) const;
  // The receive contexts of the card: their number and whether one listens on a channel.
  std::size_t ReceiveContexts() const;
  bool ChannelHeard(std::uint32_t nChannel) const;

  // Address ranges of the card that clients handle (fw_cdev_allocate):
  // the first free one of cbLength bytes in [qwStart, qwEnd) goes to
  // *pqwOffset. -EINVAL for a region or length that is no such range,
  // -EBUSY when the region has no room left.
  int AllocateAddress(std::uint64_t qwStart, std::uint64_t qwEnd, std::uint64_t cbLength, std::uint64_t* pqwOffset);
  void FreeAddress(std::uint64_t qwOffset);

  // A transaction to a device (writes carry data; reads ask for cbRead bytes).
  Response Transact(CDevice& device, int nTcode, std::uint64_t qwAddress, std::span<const std::uint8_t> data,
                    std::size_t cbRead);

  // Bus events: a reset (new generation, the record to every listener), a
  // camera leaving (its files shut down, then a reset) or coming back as a
  // new device file of the same name.
  void Reset();
  bool Unplug(std::size_t nCamera);
  bool Replug(std::size_t nCamera);
  std::shared_ptr<CCameraNode> Camera(std::size_t nCamera) const;

  // Plays the cycles up to now (the thread does this every millisecond).
  void PlayCycles();
  // Ends the thread (at exit); without Mutex() held.
  void Stop();

 private:
  CBus();
  void Start();
  void Run();
  Response LocalTransact(int nTcode, std::uint64_t qwAddress, std::span<const std::uint8_t> data, std::size_t cbRead);
  void AfterFork();

  std::mutex m_mutex;
  std::condition_variable m_cv;
  CCycleClock m_clock;
  CIsoResourceManager m_irm;
  std::uint32_t m_nGeneration = 1;
  std::vector<std::shared_ptr<CDevice>> m_devices;  // [0] the local node
  std::vector<CClient*> m_clients;
  std::map<std::uint64_t, std::uint64_t> m_addresses;  // allocated ranges: start -> end
  std::int64_t m_nNextCycle = 0;
  bool m_bStop = false;
  // Never destroyed: a forked child cannot join the parent's thread.
  std::thread* m_pThread = nullptr;
};

}  // namespace vbus
