#include "vbus/bus/bus.h"

#include <linux/firewire-constants.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "vbus/cdev/client.h"
#include "vcam/model/camera_set.h"
#include "vcam/model/config_rom.h"

namespace vbus {
namespace {

constexpr std::uint32_t LOCAL_BUS = 0xFFC0;
constexpr std::int64_t MAX_CATCH_UP = 2 * CYCLES_PER_SECOND;  // a stalled process loses what is older
constexpr auto TICK = std::chrono::milliseconds(1);
// The host's card: an EUI-64 of this bus's own, and a ROM with a root
// directory of vendor and node capabilities, as a Linux host presents it.
constexpr std::uint64_t LOCAL_GUID = 0x02C0DE0000000100ull;
constexpr std::uint32_t LOCAL_VENDOR = 0x02C0DE;

std::atomic<CBus*> g_pBus{nullptr};
pid_t g_threadOwner = 0;  // the process whose thread plays the bus

std::vector<std::uint32_t> LocalRom() {
  std::vector<std::uint32_t> rom = {
      0,                    // bus information block header, below
      vcam::BUS_NAME_1394,  // "1394"
      0xF000A002,           // IRM, cycle master, isochronous and bus manager capable; S400
      static_cast<std::uint32_t>(LOCAL_GUID >> 32),
      static_cast<std::uint32_t>(LOCAL_GUID),
      0,  // root directory header, below
      0x03u << 24 | LOCAL_VENDOR,
      0x0Cu << 24 | 0x0083C0,  // node capabilities
  };
  rom[0] = 4u << 24 | 4u << 16 | vcam::RomCrc16(std::span(rom).subspan(1, 4));
  rom[5] = 2u << 16 | vcam::RomCrc16(std::span(rom).subspan(6, 2));
  return rom;
}

void PutQuadlet(std::vector<std::uint8_t>& out, std::uint32_t dw) {
  for (int b = 0; b < 4; ++b) out.push_back(static_cast<std::uint8_t>(dw >> (24 - 8 * b)));
}

std::uint32_t GetQuadlet(std::span<const std::uint8_t> in, std::size_t nAt) {
  std::uint32_t dw = 0;
  for (std::size_t b = 0; b < 4; ++b) dw = dw << 8 | in[nAt + b];
  return dw;
}

void StopAtExit() {
  CBus* pBus = g_pBus.load();
  if (pBus && g_threadOwner == getpid()) pBus->Stop();
}

}  // namespace

CBus& CBus::Get() {
  static CBus* const pBus = [] {
    auto* p = new CBus();  // lives as long as the process: its thread may still run at exit
    g_pBus = p;
    pthread_atfork([] { if (CBus* b = g_pBus.load()) b->m_mutex.lock(); },
                   [] { if (CBus* b = g_pBus.load()) b->m_mutex.unlock(); },
                   [] { if (CBus* b = g_pBus.load()) { b->m_mutex.unlock(); b->AfterFork(); } });
    return p;
  }();
  return *pBus;
}

CBus::CBus() {
  const std::size_t nCameras = vcam::GetCameraCount();
  const auto nLocal = static_cast<std::uint32_t>(nCameras);  // the card is the root, after the cameras
  m_devices.push_back(std::make_shared<CDevice>(CDevice{"fw0", LOCAL_BUS | nLocal, nullptr, LocalRom(), false, {}}));
  for (std::size_t i = 0; i < nCameras; ++i) {
    auto pCamera = std::make_shared<CCameraNode>(vcam::GetCameraModel(i));
    std::vector<std::uint32_t> rom = pCamera->Rom();
    m_devices.push_back(std::make_shared<CDevice>(
        CDevice{"fw" + std::to_string(i + 1), LOCAL_BUS | static_cast<std::uint32_t>(i), pCamera, std::move(rom), false, {}}));
  }
}

std::shared_ptr<CDevice> CBus::FindDevice(const std::string& strName) const {
  for (const auto& pDevice : m_devices)
    if (pDevice->strName == strName) return pDevice;
  return nullptr;
}

std::shared_ptr<CCameraNode> CBus::Camera(std::size_t nCamera) const {
  return nCamera + 1 < m_devices.size() ? m_devices[nCamera + 1]->pCamera : nullptr;
}

void CBus::AddClient(CClient* pClient) {
  m_clients.push_back(pClient);
  if (!m_pThread) Start();
}

void CBus::RemoveClient(CClient* pClient) { std::erase(m_clients, pClient); }

bool CBus::HasClient(const CClient* pClient) const {
  return std::find(m_clients.begin(), m_clients.end(), pClient) != m_clients.end();
}

std::size_t CBus::ReceiveContexts() const {
  return static_cast<std::size_t>(std::count_if(m_clients.begin(), m_clients.end(),
                                                [](const CClient* c) { return c->Context() != nullptr; }));
}

bool CBus::ChannelHeard(std::uint32_t nChannel) const {
  return std::any_of(m_clients.begin(), m_clients.end(),
                     [&](const CClient* c) { return c->Context() && c->Context()->Channel() == nChannel; });
}

int CBus::AllocateAddress(std::uint64_t qwStart, std::uint64_t qwEnd, std::uint64_t cbLength,
                          std::uint64_t* pqwOffset) {
  if ((qwStart & 0xFFFF000000000003ull) || qwStart >= qwEnd || qwEnd > (std::uint64_t{1} << 48) || cbLength == 0 ||
      cbLength % 4)
    return -EINVAL;
  std::uint64_t qwAt = qwStart;
  while (qwAt + cbLength <= qwEnd) {
    const auto overlap = std::find_if(m_addresses.begin(), m_addresses.end(), [&](const auto& range) {
      return range.first < qwAt + cbLength && qwAt < range.second;
    });
    if (overlap == m_addresses.end()) {
      m_addresses.emplace(qwAt, qwAt + cbLength);
      *pqwOffset = qwAt;
      return 0;
    }
    qwAt = overlap->second;
  }
  return -EBUSY;
}

void CBus::FreeAddress(std::uint64_t qwOffset) { m_addresses.erase(qwOffset); }

Response CBus::Transact(CDevice& device, int nTcode, std::uint64_t qwAddress, std::span<const std::uint8_t> data,
                        std::size_t cbRead) {
  if (!device.pCamera) return LocalTransact(nTcode, qwAddress, data, cbRead);
  // The camera acts on the request at this moment: the cycles before it are
  // played first.
  PlayCycles();
  Response response;
  switch (nTcode) {
    case TCODE_READ_QUADLET_REQUEST:
    case TCODE_READ_BLOCK_REQUEST:
      response.payload.resize(nTcode == TCODE_READ_QUADLET_REQUEST ? 4 : cbRead);
      response.nRcode = device.pCamera->Read(qwAddress, response.payload);
      if (response.nRcode != RCODE_COMPLETE) response.payload.clear();
      return response;
    case TCODE_WRITE_QUADLET_REQUEST:
      response.nRcode = device.pCamera->Write(qwAddress, data.first(4));
      return response;
    case TCODE_WRITE_BLOCK_REQUEST:
      response.nRcode = device.pCamera->Write(qwAddress, data);
      return response;
    default:
      response.nRcode = RCODE_TYPE_ERROR;  // camera registers take no locks
      return response;
  }
}

// The card answers for itself: its ROM, and the resource manager's CSRs,
// read and compare-swapped.
Response CBus::LocalTransact(int nTcode, std::uint64_t qwAddress, std::span<const std::uint8_t> data,
                             std::size_t cbRead) {
  Response response;
  response.nRcode = RCODE_ADDRESS_ERROR;
  const std::vector<std::uint32_t>& rom = m_devices.front()->rom;
  const bool bRead = nTcode == TCODE_READ_QUADLET_REQUEST || nTcode == TCODE_READ_BLOCK_REQUEST;
  const std::size_t cb = nTcode == TCODE_READ_QUADLET_REQUEST ? 4 : cbRead;
  if (bRead && qwAddress >= CONFIG_ROM_ADDRESS && qwAddress % 4 == 0 && cb % 4 == 0 &&
      qwAddress + cb <= CONFIG_ROM_ADDRESS + 4 * rom.size()) {
    for (std::size_t i = 0; i < cb; i += 4) PutQuadlet(response.payload, rom[(qwAddress - CONFIG_ROM_ADDRESS + i) / 4]);
    response.nRcode = RCODE_COMPLETE;
    return response;
  }
  if (qwAddress < REGISTER_SPACE || qwAddress > REGISTER_SPACE + 0xFFC) return response;
  const auto nCsr = static_cast<std::uint32_t>(qwAddress - REGISTER_SPACE);
  std::optional<std::uint32_t> value;
  if (nTcode == TCODE_READ_QUADLET_REQUEST)
    value = m_irm.ReadCsr(nCsr);
  else if (nTcode == TCODE_LOCK_COMPARE_SWAP && data.size() == 8)
    value = m_irm.CompareSwapCsr(nCsr, GetQuadlet(data, 0), GetQuadlet(data, 4));
  if (value) {
    PutQuadlet(response.payload, *value);
    response.nRcode = RCODE_COMPLETE;
  }
  return response;
}

void CBus::Reset() {
  ++m_nGeneration;
  // A reset takes the bus for a moment: a frame on its way loses a packet.
  for (const auto& pDevice : m_devices) {
    if (pDevice->pCamera && pDevice->pCamera->IsSending()) pDevice->pCamera->LosePackets(1);
    if (!pDevice->bShutdown)
      for (CClient* pClient : pDevice->listeners) pClient->QueueBusReset();
  }
}

bool CBus::Unplug(std::size_t nCamera) {
  if (nCamera + 1 >= m_devices.size()) return false;
  CDevice& device = *m_devices[nCamera + 1];
  device.pCamera->Model().Faults()->bUnplugged = true;
  if (device.bShutdown) return true;
  device.bShutdown = true;
  for (CClient* pClient : m_clients)
    if (&pClient->Device() == &device) pClient->Shutdown();
  Reset();
  return true;
}

bool CBus::Replug(std::size_t nCamera) {
  if (nCamera + 1 >= m_devices.size()) return false;
  std::shared_ptr<CDevice>& pDevice = m_devices[nCamera + 1];
  pDevice->pCamera->Model().Faults()->bUnplugged = false;
  if (!pDevice->bShutdown) return true;
  // The files of the camera that left stay dead; the camera comes back as a
  // new device under the same name.
  pDevice = std::make_shared<CDevice>(CDevice{pDevice->strName, pDevice->nNodeId, pDevice->pCamera, pDevice->rom, false, {}});
  Reset();
  return true;
}

void CBus::PlayCycles() {
  const std::int64_t nNow = m_clock.Cycle();
  m_nNextCycle = std::max(m_nNextCycle, nNow - MAX_CATCH_UP);
  for (; m_nNextCycle <= nNow; ++m_nNextCycle) {
    for (const auto& pDevice : m_devices) {
      if (!pDevice->pCamera || pDevice->bShutdown) continue;
      if (const std::optional<IsoPacket> packet = pDevice->pCamera->Transmit(m_nNextCycle))
        for (CClient* pClient : m_clients) pClient->Receive(m_nNextCycle, *packet);
    }
  }
  // A camera the model has lost (its frames before loss ran out) leaves the bus.
  for (std::size_t i = 1; i < m_devices.size(); ++i)
    if (!m_devices[i]->bShutdown && m_devices[i]->pCamera->IsUnplugged()) Unplug(i - 1);
  for (CClient* pClient : m_clients) pClient->Flush();
}

void CBus::Start() {
  m_bStop = false;
  m_nNextCycle = m_clock.Cycle();
  g_threadOwner = getpid();
  m_pThread = new std::thread([this] { Run(); });
  static const bool bRegistered = std::atexit(StopAtExit) == 0;
  (void)bRegistered;
}

void CBus::Stop() {
  std::thread* pThread = nullptr;
  {
    std::lock_guard lock(m_mutex);
    m_bStop = true;
    pThread = m_pThread;
  }
  m_cv.notify_all();
  if (pThread && pThread->joinable()) pThread->join();
}

void CBus::Run() {
  std::unique_lock lock(m_mutex);
  while (!m_bStop) {
    m_cv.wait_for(lock, TICK);
    if (!m_bStop) PlayCycles();
  }
}

void CBus::AfterFork() {
  m_pThread = nullptr;  // the parent's: left alone
  for (CClient* pClient : m_clients) pClient->Orphan();
}

}  // namespace vbus
