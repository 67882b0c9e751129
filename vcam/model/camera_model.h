// One virtual IIDC camera as register memory: a flat map of the registers it
// implements, at offsets from the command-register base, with the IIDC
// standard's behaviour on writes. Everything else (the stream geometry, Format
// 7 totals, where the Format 7 and absolute-value CSRs lie) is derived from the
// registers when asked, so nothing is stored twice.
//
// The registers live in a CRegisterStore: the process's own, or shared with
// every process of the user that opens the same camera.
//
// Thread use: every public method may be called from any thread (the
// application's register requests and the capture filter's streaming thread);
// an internal mutex serialises them, and the store's lock the processes.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "vcam/model/camera_device.h"
#include "vcam/model/formats.h"
#include "vcam/model/profile.h"
#include "vcam/model/register_store.h"
#include "vcam/model/result.h"

namespace vcam {

// A one-push adjustment ends this long (100-ns units of the camera's clock)
// after it was started.
constexpr std::int64_t ONE_PUSH_DURATION = 3000000;

// What the camera's isochronous talker acts on: ISO_EN, ONE_SHOT and the
// channel and speed of ISO_CHANNEL.
struct IsoSettings {
  bool bEnabled = false;  // ISO_EN: continuous transmission
  bool bShot = false;     // a one-shot, or a multi-shot with frames left
  std::uint32_t nChannel = 0, nSpeed = 0;
  std::uint32_t nStarts = 0;  // times ISO_EN was switched on: each starts the frame count again
};

class CCameraModel final : public CCameraDevice {
public:
  // The profile should have passed ValidateProfile; an inconsistent one still
  // gives a camera whose registers are what the profile says. bShared asks
  // for the user's shared store; without one (StoreError says why) the
  // camera is the process's own.
  explicit CCameraModel(Profile profile, bool bShared = false);

  bool IsShared() const { return m_pStore->IsShared(); }
  const std::string& StoreError() const { return m_strStoreError; }

  // One stream at a time across processes: false while another process
  // streams this camera. Every successful claim is ended by ReleaseStream.
  bool ClaimStream() { return m_pStore->ClaimStream(); }
  void ReleaseStream() { m_pStore->ReleaseStream(); }

  const Profile& GetProfile() const { return m_profile; }
  const std::shared_ptr<CameraFaults>& Faults() const { return m_pFaults; }
  const std::shared_ptr<CFrameClock>& Clock() const { return m_pClock; }

  // One quadlet at a command-register offset. Unimplemented or unaligned
  // offsets fail with VCAM_E_ADDRESS; fault switches fail with their code.
  // Writes to read-only registers succeed and change nothing.
  Result ReadQuadlet(std::uint32_t dwOffset, std::uint32_t* pdwValue) override;
  Result WriteQuadlet(std::uint32_t dwOffset, std::uint32_t dwValue) override;

  // The Format 7 area request (at least AREA_REQUEST_BYTES): VCAM_E_NOT_FOUND when the camera is not in
  // Format 7, VCAM_E_INVALIDARG when the rectangle is refused (registers then
  // unchanged and VALUE_SETTING's error flag set).
  Result ApplyAreaRequest(const void* pRequest, std::size_t cbRequest) override;

  // A Format 0-2 mode with the offered rate nearest to llInterval (within 1 %;
  // 0 picks the fastest), as a driver does on SetFormat. VCAM_E_INVALIDARG
  // when the mode or rate is not offered or format requests are refused.
  Result SelectStandardMode(std::uint32_t nFormat, std::uint32_t nMode, std::int64_t llInterval) override;

  std::vector<StandardModeInfo> EnumerateStandardModes() override;
  StreamInfo GetStream() override;

  // The talker's settings, as the camera itself sees them: register fault
  // switches do not apply.
  IsoSettings GetIsoSettings();

  // Called by the streaming side after each frame: ends a one-shot, counts
  // down a multi-shot and the frames left before a set loss.
  void NoteFrameSent();

  // The trigger (feature TRIGGER present and switched on): the camera then
  // sends one frame per release, and a write of 1 to SOFTWARE_TRIGGER
  // releases it when the trigger inquiry offers that register.
  bool TriggerIsOn();
  // Streaming side: waits for a release and takes it (true), or returns
  // false without one once the trigger is off, the camera is unplugged or
  // stop is requested.
  bool AwaitTriggerRelease(std::stop_token stop);
  // Takes a waiting release without waiting: false when there is none.
  bool TakeTriggerRelease();

  // The configuration ROM quadlets (generated or from the profile).
  const std::vector<std::uint32_t>& Rom() const { return m_rom; }

  // Becomes the camera profile describes, as if another camera were plugged
  // into the same port: its ROM and its registers (shared if this camera's
  // were). The clock and the fault switches stay. For harnesses that play
  // many cameras through one open device; not while the camera streams.
  void Replace(const Profile& profile);

private:
  using RegisterMap = std::map<std::uint32_t, std::uint32_t>;

  // This process's threads, then the store's processes.
  class CLock {
   public:
    explicit CLock(CCameraModel& model) : m_model(model) {}
    void lock() {
      m_model.m_mutex.lock();
      m_model.m_pStore->lock();
    }
    void unlock() {
      m_model.m_pStore->unlock();
      m_model.m_mutex.unlock();
    }

   private:
    CCameraModel& m_model;
  };

  struct Format7Block {
    std::uint32_t nMode;
    std::uint32_t dwBase;
  };
  struct Area {
    std::uint32_t nLeft, nTop, nWidth, nHeight;
  };

  // All below run with m_lock held.
  std::uint32_t Get(std::uint32_t dwOffset) const;
  bool Has(std::uint32_t dwOffset) const { return m_pStore->Find(dwOffset) != nullptr; }
  void Set(std::uint32_t dwOffset, std::uint32_t dwValue) { m_pStore->Set(dwOffset, dwValue); }
  CameraCounters& Counters() { return m_pStore->Counters(); }
  std::optional<Format7Block> FindFormat7Block(std::uint32_t dwOffset) const;
  std::optional<Format7Block> Format7BlockOfMode(std::uint32_t nMode) const;
  std::optional<std::uint32_t> FindAbsCsrFeature(std::uint32_t dwOffset) const;
  std::uint32_t AbsCsrBase(std::uint32_t nId) const;
  Result ReadLocked(std::uint32_t dwOffset, std::uint32_t* pdwValue);
  Result WriteLocked(std::uint32_t dwOffset, std::uint32_t dwValue);
  std::optional<std::uint32_t> ReadFormat7(const Format7Block& block, std::uint32_t nField) const;
  bool WriteFormat7(const Format7Block& block, std::uint32_t nField, std::uint32_t dwValue);
  bool AreaFits(const Format7Block& block, const Area& area) const;
  std::uint64_t Format7FrameBytes(const Format7Block& block) const;
  std::uint32_t Format7BytesPerPacket(const Format7Block& block) const;
  void WriteVideoFormat(std::uint32_t nFormat);
  void WriteVideoMode(std::uint32_t nMode);
  void WriteFrameRate(std::uint32_t nRate);
  void MakeModeAndRateValid();
  void WriteFeature(std::uint32_t nId, std::uint32_t dwValue);
  void WriteTrigger(std::uint32_t dwValue);
  void WriteAbsValue(std::uint32_t nId, std::uint32_t dwBits);
  void SetIntegerValue(std::uint32_t nId, std::uint32_t nValue, bool bSyncAbs);
  void FinishOnePushes();
  StreamInfo StreamLocked() const;
  bool TriggerIsOnLocked() const;
  void WriteSoftwareTrigger(std::uint32_t dwValue);
  bool StreamIsValid() const { return StreamLocked().bValid; }

  Profile m_profile;
  const std::shared_ptr<CameraFaults> m_pFaults;
  const std::shared_ptr<CFrameClock> m_pClock;
  std::vector<std::uint32_t> m_rom;
  RegisterMap m_powerUp;  // what INITIALIZE restores

  std::mutex m_mutex;
  std::string m_strStoreError;               // why a wanted shared store is not there (made before the store)
  std::unique_ptr<CRegisterStore> m_pStore;  // replaced under m_mutex; its contents guarded by m_lock
  CLock m_lock{*this};
  // A release, or the trigger switched, in this process; another process's
  // is seen at the next poll.
  std::condition_variable_any m_cvTrigger;
};

// The register map a profile describes at power-up (raw registers applied).
std::map<std::uint32_t, std::uint32_t> BuildRegisterImage(const Profile& profile);

}  // namespace vcam
