// Where one virtual camera's live state lives: its register values, the
// trigger releases waiting for a frame, the one-push adjustments running and
// its count of transmission starts.
//
// A private store is memory of this process: a fresh camera, as before the
// store existed. A shared store (Linux) is a file mapped by every process of
// the user that opens the same camera, as one powered camera on a bus is seen
// by every program: the register values survive the process that wrote them
// until INITIALIZE. The file is keyed by the camera's unique id and a hash of
// its power-up registers and ROM, so a changed profile is another camera, and
// lies in $XDG_RUNTIME_DIR/iidc-vcam (else /tmp/iidc-<uid>), a folder of the
// user's own with no access for anyone else.
//
// Locking: the owner serialises its own threads; lock()/unlock() serialise
// the processes of a shared store (a robust mutex in the file: a process
// killed holding it does not block the next one). Everything but
// ClaimStream/ReleaseStream runs with both held.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vcam {

// IIDC_VCAM_STATE=private gives every process its own fresh cameras.
constexpr const char* STATE_ENVIRONMENT_VARIABLE = "IIDC_VCAM_STATE";

// Feature ids are byte offsets 0-0xFC: one slot per feature for a one-push start.
constexpr std::size_t ONE_PUSH_SLOTS = 64;
constexpr std::int64_t NO_ONE_PUSH = INT64_MIN;

// The camera's state besides its registers.
struct CameraCounters {
  std::uint32_t nReleases;   // trigger releases not yet sent
  std::uint32_t nIsoStarts;  // ISO_EN switched on
  std::uint32_t nOnePushes;  // slots of llOnePush in use
  std::uint32_t dwReserved;
  std::int64_t llOnePush[ONE_PUSH_SLOTS];  // feature id / 4 -> start time, or NO_ONE_PUSH
};

class CRegisterStore {
 public:
  using RegisterMap = std::map<std::uint32_t, std::uint32_t>;

  // This process's own camera at power-up.
  explicit CRegisterStore(const RegisterMap& powerUp);
  // The camera shared by the user's processes; a store file found in another
  // layout, torn or of another camera is made anew at power-up. Null, with
  // the reason in *pstrError, when there is no usable folder or file (or on
  // a system without shared stores).
  static std::unique_ptr<CRegisterStore> OpenShared(const RegisterMap& powerUp, const std::vector<std::uint32_t>& rom,
                                                    std::uint64_t ullUniqueId, std::string* pstrError);
  // Whether IIDC_VCAM_STATE asks for shared stores (anything but "private").
  static bool SharingWanted();

  ~CRegisterStore();
  CRegisterStore(const CRegisterStore&) = delete;
  CRegisterStore& operator=(const CRegisterStore&) = delete;

  bool IsShared() const { return m_nFile >= 0; }
  const std::string& Path() const { return m_strPath; }

  void lock();
  void unlock();

  // With the store locked: the value at an offset, or null where the camera
  // has no register; Set adds a register where there was none (writes beyond
  // the store's room for added registers are dropped).
  const std::uint32_t* Find(std::uint32_t dwOffset) const;
  void Set(std::uint32_t dwOffset, std::uint32_t dwValue);
  CameraCounters& Counters();
  // Every register and counter back to power-up.
  void PowerUp();

  // One stream at a time across processes: the first claim of this process
  // takes the camera (false while another process holds it); the claim ends
  // with the last release or with the process. Always true for a private store.
  bool ClaimStream();
  void ReleaseStream();

 private:
  struct Header;
  struct Slot {
    std::uint32_t dwOffset, dwValue;
  };
  // The power-up image without memory yet.
  CRegisterStore(const RegisterMap& powerUp, int);
  static std::size_t BytesFor(std::size_t nCapacity);
  void Format(std::uint64_t ullKey);
  bool Matches(std::uint64_t ullKey) const;
  std::uint32_t* FindSlot(std::uint32_t dwOffset) const;

  const std::vector<std::uint32_t> m_offsets;  // power-up registers, ascending
  const std::vector<std::uint32_t> m_values;   // their power-up values
  std::unique_ptr<std::uint64_t[]> m_pPrivate;  // a private store's memory
  void* m_pMemory = nullptr;                    // header, then the slots
  std::size_t m_cbMemory = 0;
  int m_nFile = -1;  // a shared store's file
  std::string m_strPath;

  std::mutex m_mxClaims;   // guards m_nClaims
  unsigned m_nClaims = 0;  // this process's claims of the stream
};

}  // namespace vcam
