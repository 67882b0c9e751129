#include "vcam/model/register_store.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#if defined(__linux__)
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vcam {
namespace {

constexpr std::uint32_t STORE_MAGIC = 0x56434D53;  // "VCMS"
// Raised whenever the layout below changes: a store of another version is
// made anew.
constexpr std::uint32_t STORE_VERSION = 1;
// Room for registers a write adds to what the camera had at power-up.
constexpr std::size_t EXTRA_SLOTS = 64;

template <typename Member>
std::vector<std::uint32_t> Column(const CRegisterStore::RegisterMap& regs, Member member) {
  std::vector<std::uint32_t> v;
  v.reserve(regs.size());
  for (const auto& entry : regs) v.push_back(entry.*member);
  return v;
}

}  // namespace

struct CRegisterStore::Header {
  std::uint32_t dwMagic, dwVersion;
  std::uint64_t ullKey;
  std::uint32_t nPowerUp, nCapacity;
  std::uint32_t nCount;   // slots in use: the power-up registers, then added ones
  std::uint32_t dwReady;  // set last when the store is made: 0 marks a torn one
  CameraCounters counters;
  alignas(16) unsigned char mutex[64];  // a shared store's pthread_mutex_t
};

#if defined(__linux__)
static_assert(sizeof(pthread_mutex_t) <= 64);
#endif

CRegisterStore::CRegisterStore(const RegisterMap& powerUp, int)
    : m_offsets(Column(powerUp, &RegisterMap::value_type::first)),
      m_values(Column(powerUp, &RegisterMap::value_type::second)),
      m_cbMemory(BytesFor(m_offsets.size() + EXTRA_SLOTS)) {}

CRegisterStore::CRegisterStore(const RegisterMap& powerUp) : CRegisterStore(powerUp, 0) {
  m_pPrivate = std::make_unique<std::uint64_t[]>((m_cbMemory + 7) / 8);
  m_pMemory = m_pPrivate.get();
  Format(0);
}

std::size_t CRegisterStore::BytesFor(std::size_t nCapacity) { return sizeof(Header) + nCapacity * sizeof(Slot); }

// Everything at power-up, the ready mark last.
void CRegisterStore::Format(std::uint64_t ullKey) {
  std::memset(m_pMemory, 0, m_cbMemory);
  auto* pHeader = static_cast<Header*>(m_pMemory);
  pHeader->dwMagic = STORE_MAGIC;
  pHeader->dwVersion = STORE_VERSION;
  pHeader->ullKey = ullKey;
  pHeader->nPowerUp = static_cast<std::uint32_t>(m_offsets.size());
  pHeader->nCapacity = static_cast<std::uint32_t>(m_offsets.size() + EXTRA_SLOTS);
#if defined(__linux__)
  if (IsShared()) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_setpshared(&attr, PTHREAD_PROCESS_SHARED);
    pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
    pthread_mutex_init(reinterpret_cast<pthread_mutex_t*>(pHeader->mutex), &attr);
    pthread_mutexattr_destroy(&attr);
  }
#endif
  auto* pSlots = reinterpret_cast<Slot*>(pHeader + 1);
  for (std::size_t i = 0; i < m_offsets.size(); ++i) pSlots[i].dwOffset = m_offsets[i];
  PowerUp();
  pHeader->counters.nIsoStarts = 0;
  pHeader->dwReady = 1;
}

bool CRegisterStore::Matches(std::uint64_t ullKey) const {
  const auto* pHeader = static_cast<const Header*>(m_pMemory);
  if (pHeader->dwMagic != STORE_MAGIC || pHeader->dwVersion != STORE_VERSION || pHeader->ullKey != ullKey ||
      pHeader->nPowerUp != m_offsets.size() || pHeader->nCapacity != m_offsets.size() + EXTRA_SLOTS ||
      pHeader->nCount < pHeader->nPowerUp || pHeader->nCount > pHeader->nCapacity || pHeader->dwReady != 1 ||
      pHeader->counters.nOnePushes > ONE_PUSH_SLOTS)
    return false;
  const auto* pSlots = reinterpret_cast<const Slot*>(pHeader + 1);
  for (std::size_t i = 0; i < m_offsets.size(); ++i)
    if (pSlots[i].dwOffset != m_offsets[i]) return false;
  return true;
}

void CRegisterStore::PowerUp() {
  auto* pHeader = static_cast<Header*>(m_pMemory);
  auto* pSlots = reinterpret_cast<Slot*>(pHeader + 1);
  for (std::size_t i = 0; i < m_values.size(); ++i) pSlots[i].dwValue = m_values[i];
  pHeader->nCount = pHeader->nPowerUp;
  CameraCounters& c = pHeader->counters;
  c.nReleases = 0;
  c.nOnePushes = 0;
  std::fill(std::begin(c.llOnePush), std::end(c.llOnePush), NO_ONE_PUSH);
}

CameraCounters& CRegisterStore::Counters() { return static_cast<Header*>(m_pMemory)->counters; }

std::uint32_t* CRegisterStore::FindSlot(std::uint32_t dwOffset) const {
  auto* pHeader = static_cast<Header*>(m_pMemory);
  auto* pSlots = reinterpret_cast<Slot*>(pHeader + 1);
  const auto it = std::lower_bound(m_offsets.begin(), m_offsets.end(), dwOffset);
  if (it != m_offsets.end() && *it == dwOffset) return &pSlots[it - m_offsets.begin()].dwValue;
  for (std::uint32_t i = pHeader->nPowerUp; i < pHeader->nCount; ++i)
    if (pSlots[i].dwOffset == dwOffset) return &pSlots[i].dwValue;
  return nullptr;
}

const std::uint32_t* CRegisterStore::Find(std::uint32_t dwOffset) const { return FindSlot(dwOffset); }

void CRegisterStore::Set(std::uint32_t dwOffset, std::uint32_t dwValue) {
  if (std::uint32_t* p = FindSlot(dwOffset)) {
    *p = dwValue;
    return;
  }
  auto* pHeader = static_cast<Header*>(m_pMemory);
  if (pHeader->nCount >= pHeader->nCapacity) return;
  reinterpret_cast<Slot*>(pHeader + 1)[pHeader->nCount++] = {dwOffset, dwValue};
}

bool CRegisterStore::SharingWanted() {
  const char* psz = std::getenv(STATE_ENVIRONMENT_VARIABLE);
  return !psz || std::strcmp(psz, "private") != 0;
}

#if defined(__linux__)

namespace {

std::uint64_t Fnv1a(std::uint64_t h, std::uint32_t q) {
  for (int i = 0; i < 4; ++i) {
    h ^= (q >> (8 * i)) & 0xFF;
    h *= 0x100000001B3ull;
  }
  return h;
}

std::string SystemError(const std::string& strWhat) { return strWhat + ": " + std::strerror(errno); }

// The user's folder for camera stores, made on first use; it must be the
// user's own and closed to everyone else. A runtime folder of another user
// (one that sudo passed on) is not used.
std::string StoreFolder(std::string* pstrError) {
  const char* pszRuntime = std::getenv("XDG_RUNTIME_DIR");
  struct stat st {};
  const bool bRuntime = pszRuntime && *pszRuntime == '/' && stat(pszRuntime, &st) == 0 && st.st_uid == geteuid();
  const std::string strFolder =
      bRuntime ? std::string(pszRuntime) + "/iidc-vcam" : "/tmp/iidc-" + std::to_string(geteuid());
  if (mkdir(strFolder.c_str(), 0700) != 0 && errno != EEXIST) {
    *pstrError = SystemError("cannot make " + strFolder);
    return {};
  }
  if (lstat(strFolder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid() ||
      (st.st_mode & 077) != 0) {
    *pstrError = strFolder + " is not a folder of this user's own with mode 0700";
    return {};
  }
  return strFolder;
}

// An open file description's lock on one byte: byte 0 while a store is
// checked or made, byte 1 while a process streams the camera.
bool LockByte(int nFile, short nType, off_t nByte, bool bWait) {
  struct flock fl {};
  fl.l_type = nType;
  fl.l_whence = SEEK_SET;
  fl.l_start = nByte;
  fl.l_len = 1;
  int r;
  do {
    r = fcntl(nFile, bWait ? F_OFD_SETLKW : F_OFD_SETLK, &fl);
  } while (r != 0 && errno == EINTR);
  return r == 0;
}

}  // namespace

std::unique_ptr<CRegisterStore> CRegisterStore::OpenShared(const RegisterMap& powerUp,
                                                           const std::vector<std::uint32_t>& rom,
                                                           std::uint64_t ullUniqueId, std::string* pstrError) {
  std::uint64_t ullKey = 0xCBF29CE484222325ull;
  for (const auto& [dwOffset, dwValue] : powerUp) ullKey = Fnv1a(Fnv1a(ullKey, dwOffset), dwValue);
  for (const std::uint32_t q : rom) ullKey = Fnv1a(ullKey, q);
  const std::string strFolder = StoreFolder(pstrError);
  if (strFolder.empty()) return nullptr;
  char szName[64];
  std::snprintf(szName, sizeof szName, "/camera-%016llx-%016llx", static_cast<unsigned long long>(ullUniqueId),
                static_cast<unsigned long long>(ullKey));

  std::unique_ptr<CRegisterStore> pStore(new CRegisterStore(powerUp, 0));
  pStore->m_strPath = strFolder + szName;
  pStore->m_nFile = open(pStore->m_strPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (pStore->m_nFile < 0) {
    *pstrError = SystemError("cannot open " + pStore->m_strPath);
    return nullptr;
  }
  if (!LockByte(pStore->m_nFile, F_WRLCK, 0, true)) {
    *pstrError = SystemError("cannot lock " + pStore->m_strPath);
    return nullptr;
  }
  struct stat st {};
  if (fstat(pStore->m_nFile, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != geteuid()) {
    *pstrError = pStore->m_strPath + " is not a file of this user's own";
    return nullptr;
  }
  const bool bSized = static_cast<std::size_t>(st.st_size) == pStore->m_cbMemory;
  if (!bSized && (ftruncate(pStore->m_nFile, 0) != 0 ||
                  ftruncate(pStore->m_nFile, static_cast<off_t>(pStore->m_cbMemory)) != 0)) {
    *pstrError = SystemError("cannot size " + pStore->m_strPath);
    return nullptr;
  }
  void* p = mmap(nullptr, pStore->m_cbMemory, PROT_READ | PROT_WRITE, MAP_SHARED, pStore->m_nFile, 0);
  if (p == MAP_FAILED) {
    *pstrError = SystemError("cannot map " + pStore->m_strPath);
    return nullptr;
  }
  pStore->m_pMemory = p;
  if (!bSized || !pStore->Matches(ullKey)) pStore->Format(ullKey);
  LockByte(pStore->m_nFile, F_UNLCK, 0, false);
  return pStore;
}

CRegisterStore::~CRegisterStore() {
  if (m_nFile >= 0) {
    if (m_pMemory) munmap(m_pMemory, m_cbMemory);
    close(m_nFile);
  }
}

void CRegisterStore::lock() {
  if (!IsShared()) return;
  auto* pMutex = reinterpret_cast<pthread_mutex_t*>(static_cast<Header*>(m_pMemory)->mutex);
  // A process that died holding the lock left at most one register
  // transaction half done; the camera goes on from there.
  if (pthread_mutex_lock(pMutex) == EOWNERDEAD) pthread_mutex_consistent(pMutex);
}

void CRegisterStore::unlock() {
  if (IsShared()) pthread_mutex_unlock(reinterpret_cast<pthread_mutex_t*>(static_cast<Header*>(m_pMemory)->mutex));
}

bool CRegisterStore::ClaimStream() {
  std::lock_guard lock(m_mxClaims);
  if (IsShared() && m_nClaims == 0 && !LockByte(m_nFile, F_WRLCK, 1, false)) return false;
  ++m_nClaims;
  return true;
}

void CRegisterStore::ReleaseStream() {
  std::lock_guard lock(m_mxClaims);
  if (m_nClaims == 0) return;
  if (--m_nClaims == 0 && IsShared()) LockByte(m_nFile, F_UNLCK, 1, false);
}

#else  // a system without shared stores: every camera is the process's own

std::unique_ptr<CRegisterStore> CRegisterStore::OpenShared(const RegisterMap&, const std::vector<std::uint32_t>&,
                                                           std::uint64_t, std::string* pstrError) {
  *pstrError = "cameras cannot share their state on this system";
  return nullptr;
}

CRegisterStore::~CRegisterStore() = default;
void CRegisterStore::lock() {}
void CRegisterStore::unlock() {}

bool CRegisterStore::ClaimStream() {
  std::lock_guard lock(m_mxClaims);
  ++m_nClaims;
  return true;
}

void CRegisterStore::ReleaseStream() {
  std::lock_guard lock(m_mxClaims);
  if (m_nClaims != 0) --m_nClaims;
}

#endif

}  // namespace vcam
