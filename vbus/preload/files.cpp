// The C library calls that act on files, wrapped: on the bus's device files
// they act as the kernel's FireWire driver does; everything else goes to the
// C library unchanged. Whether a descriptor is an emulated file is one bit
// read without a lock, so other files pay next to nothing.
#include "vbus/preload/files.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <map>
#include <optional>
#include <string>

#include "vbus/cdev/client.h"
#include "vbus/preload/libc.h"

extern "C" {
int __open_2(const char*, int);
int __open64_2(const char*, int);
int __openat_2(int, const char*, int);
int __openat64_2(int, const char*, int);
ssize_t __read_chk(int, void*, size_t, size_t);
int __xstat(int, const char*, struct stat*);
int __lxstat(int, const char*, struct stat*);
int __fxstat(int, int, struct stat*);
int __xstat64(int, const char*, struct stat64*);
int __lxstat64(int, const char*, struct stat64*);
int __fxstat64(int, int, struct stat64*);
}

namespace vbus {
namespace {

constexpr int FD_BITS = 65536;
constexpr unsigned DEVICE_MAJOR = 244;  // the driver's character major on a typical system
constexpr int EVENT_SOCKET_BUFFER = 4 << 20;
constexpr int EVENT_FD_FLOOR = 512;  // the bus's own descriptors stay out of the program's way

std::array<std::atomic<std::uint64_t>, FD_BITS / 64> g_emulated{};
std::atomic<int> g_nHighFds{0};  // emulated descriptors at or above FD_BITS
std::map<int, std::shared_ptr<CClient>>& Table() {
  static auto* const pTable = new std::map<int, std::shared_ptr<CClient>>();  // guarded by the bus mutex
  return *pTable;
}

bool MaybeEmulated(int fd) {
  if (fd < 0) return false;
  if (fd >= FD_BITS) return g_nHighFds.load(std::memory_order_acquire) != 0;
  return g_emulated[static_cast<std::size_t>(fd) / 64].load(std::memory_order_acquire) >> (fd % 64) & 1;
}

void Mark(int fd, bool bOn) {
  if (fd >= FD_BITS) {
    g_nHighFds.fetch_add(bOn ? 1 : -1);
    return;
  }
  const std::uint64_t bit = std::uint64_t{1} << (fd % 64);
  auto& word = g_emulated[static_cast<std::size_t>(fd) / 64];
  if (bOn)
    word.fetch_or(bit, std::memory_order_release);
  else
    word.fetch_and(~bit, std::memory_order_release);
}

// With the bus mutex held.
std::shared_ptr<CClient> Find(int fd) {
  const auto it = Table().find(fd);
  return it == Table().end() ? nullptr : it->second;
}

// Forgets fd; the client goes with its last descriptor. With the bus mutex held.
void Forget(int fd) {
  const auto it = Table().find(fd);
  if (it == Table().end()) return;
  Table().erase(it);
  Mark(fd, false);
}

int Fail(int nErrno) {
  errno = nErrno;
  return -1;
}

std::optional<std::string> DeviceName(std::string_view path) {
  if (!IsDevicePath(path)) return std::nullopt;
  return std::string(path.substr(5));
}

// An emulated file opened, or nullopt when the path is not the bus's.
std::optional<int> OpenDevice(const char* pszPath, int nFlags) {
  if (!pszPath) return std::nullopt;
  const std::string_view path(pszPath);
  if (IsHiddenPath(path) && !IsDevicePath(path)) return Fail(ENOENT);
  const std::optional<std::string> name = DeviceName(path);
  if (!name) return std::nullopt;
  CBus& bus = TheBus();
  std::lock_guard lock(bus.Mutex());
  const std::shared_ptr<CDevice> pDevice = bus.FindDevice(*name);
  if (!pDevice) return Fail(ENOENT);
  if (pDevice->bShutdown) return Fail(ENODEV);
  int sv[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sv) != 0) return -1;
  const int fdEvents = fcntl(sv[1], F_DUPFD_CLOEXEC, EVENT_FD_FLOOR);
  if (fdEvents >= 0) {
    REAL(close)(sv[1]);
    sv[1] = fdEvents;
  }
  setsockopt(sv[1], SOL_SOCKET, SO_SNDBUF, &EVENT_SOCKET_BUFFER, sizeof EVENT_SOCKET_BUFFER);
  if (!(nFlags & O_CLOEXEC)) fcntl(sv[0], F_SETFD, 0);
  if (nFlags & O_NONBLOCK) fcntl(sv[0], F_SETFL, O_NONBLOCK);
  try {
    Table()[sv[0]] = std::make_shared<CClient>(bus, pDevice, sv[1]);
  } catch (...) {
    REAL(close)(sv[0]);
    REAL(close)(sv[1]);
    return Fail(ENOMEM);
  }
  Mark(sv[0], true);
  return sv[0];
}

void FillDeviceStat(struct stat* pStat, unsigned nMinor) {
  std::memset(pStat, 0, sizeof *pStat);
  pStat->st_mode = S_IFCHR | 0660;
  pStat->st_nlink = 1;
  pStat->st_rdev = makedev(DEVICE_MAJOR, nMinor);
  pStat->st_blksize = 4096;
}

// stat of a path: nullopt when it is not the bus's to answer.
std::optional<int> StatPath(const char* pszPath, struct stat* pStat) {
  if (!pszPath || !IsHiddenPath(pszPath)) return std::nullopt;
  const std::optional<std::string> name = DeviceName(pszPath);
  if (!name) return Fail(ENOENT);
  CBus& bus = TheBus();
  std::lock_guard lock(bus.Mutex());
  const std::shared_ptr<CDevice> pDevice = bus.FindDevice(*name);
  if (!pDevice || pDevice->bShutdown) return Fail(ENOENT);
  FillDeviceStat(pStat, static_cast<unsigned>(std::stoul(name->substr(2))));
  return 0;
}

std::optional<int> StatFd(int fd, struct stat* pStat) {
  if (!MaybeEmulated(fd)) return std::nullopt;
  CBus& bus = TheBus();
  std::lock_guard lock(bus.Mutex());
  const std::shared_ptr<CClient> pClient = Find(fd);
  if (!pClient) return std::nullopt;
  FillDeviceStat(pStat, static_cast<unsigned>(std::stoul(pClient->Device().strName.substr(2))));
  return 0;
}

// After a descriptor was duplicated: the copy names the same file.
int Duplicated(int fdOld, int fdNew) {
  if (fdNew < 0 || !MaybeEmulated(fdOld)) return fdNew;
  CBus& bus = TheBus();
  std::lock_guard lock(bus.Mutex());
  if (std::shared_ptr<CClient> pClient = Find(fdOld)) {
    Table()[fdNew] = std::move(pClient);
    Mark(fdNew, true);
  }
  return fdNew;
}

// A descriptor that dup2 is about to reuse stops naming its file.
void Replacing(int fdOld, int fdNew) {
  if (fdOld == fdNew || !MaybeEmulated(fdNew)) return;
  CBus& bus = TheBus();
  std::lock_guard lock(bus.Mutex());
  Forget(fdNew);
}

int OpenWith(const char* pszPath, int nFlags, mode_t mode, int (*pfnReal)(const char*, int, ...)) {
  if (const std::optional<int> fd = OpenDevice(pszPath, nFlags)) return *fd;
  return pfnReal(pszPath, nFlags, mode);
}

// A path the bus may answer for: absolute, or relative to the working directory.
bool NamesBusPath(int fdDir, const char* pszPath) { return pszPath && (pszPath[0] == '/' || fdDir == AT_FDCWD); }

int OpenAtWith(int fdDir, const char* pszPath, int nFlags, mode_t mode, int (*pfnReal)(int, const char*, int, ...)) {
  if (NamesBusPath(fdDir, pszPath))
    if (const std::optional<int> fd = OpenDevice(pszPath, nFlags)) return *fd;
  return pfnReal(fdDir, pszPath, nFlags, mode);
}

mode_t ModeArgument(int nFlags, va_list args) {
  return (nFlags & O_CREAT) || (nFlags & O_TMPFILE) == O_TMPFILE ? static_cast<mode_t>(va_arg(args, int)) : 0;
}

}  // namespace

bool IsDevicePath(std::string_view path) {
  if (!path.starts_with("/dev/fw") || path.size() == 7 || path.size() > 10) return false;
  return path.substr(7).find_first_not_of("0123456789") == std::string_view::npos;
}

bool IsHiddenPath(std::string_view path) { return IsDevicePath(path) || path == "/dev/raw1394"; }

}  // namespace vbus

using namespace vbus;

extern "C" {

__attribute__((visibility("default"))) int open(const char* pszPath, int nFlags, ...) {
  va_list args;
  va_start(args, nFlags);
  const mode_t mode = ModeArgument(nFlags, args);
  va_end(args);
  return OpenWith(pszPath, nFlags, mode, REAL(open));
}

__attribute__((visibility("default"))) int open64(const char* pszPath, int nFlags, ...) {
  va_list args;
  va_start(args, nFlags);
  const mode_t mode = ModeArgument(nFlags, args);
  va_end(args);
  return OpenWith(pszPath, nFlags, mode, REAL(open64));
}

__attribute__((visibility("default"))) int openat(int fdDir, const char* pszPath, int nFlags, ...) {
  va_list args;
  va_start(args, nFlags);
  const mode_t mode = ModeArgument(nFlags, args);
  va_end(args);
  return OpenAtWith(fdDir, pszPath, nFlags, mode, REAL(openat));
}

__attribute__((visibility("default"))) int openat64(int fdDir, const char* pszPath, int nFlags, ...) {
  va_list args;
  va_start(args, nFlags);
  const mode_t mode = ModeArgument(nFlags, args);
  va_end(args);
  return OpenAtWith(fdDir, pszPath, nFlags, mode, REAL(openat64));
}

__attribute__((visibility("default"))) int __open_2(const char* pszPath, int nFlags) {
  return OpenWith(pszPath, nFlags, 0, REAL(open));
}
__attribute__((visibility("default"))) int __open64_2(const char* pszPath, int nFlags) {
  return OpenWith(pszPath, nFlags, 0, REAL(open64));
}
__attribute__((visibility("default"))) int __openat_2(int fdDir, const char* pszPath, int nFlags) {
  return OpenAtWith(fdDir, pszPath, nFlags, 0, REAL(openat));
}
__attribute__((visibility("default"))) int __openat64_2(int fdDir, const char* pszPath, int nFlags) {
  return OpenAtWith(fdDir, pszPath, nFlags, 0, REAL(openat64));
}

__attribute__((visibility("default"))) int close(int fd) {
  if (MaybeEmulated(fd)) {
    CBus& bus = TheBus();
    std::lock_guard lock(bus.Mutex());
    Forget(fd);
  }
  return REAL(close)(fd);
}

__attribute__((visibility("default"))) int ioctl(int fd, unsigned long nRequest, ...) {
  va_list args;
  va_start(args, nRequest);
  void* const pArg = va_arg(args, void*);
  va_end(args);
  // The generic requests on any file are the system's, not the driver's.
  const bool bGeneric = nRequest == FIOCLEX || nRequest == FIONCLEX || nRequest == FIONBIO || nRequest == FIOASYNC;
  if (MaybeEmulated(fd) && !bGeneric) {
    CBus& bus = TheBus();
    std::lock_guard lock(bus.Mutex());
    if (const std::shared_ptr<CClient> pClient = Find(fd)) {
      const int nResult = pClient->Ioctl(nRequest, pArg);
      return nResult < 0 ? Fail(-nResult) : nResult;
    }
  }
  return REAL(ioctl)(fd, nRequest, pArg);
}

// An event, as the driver hands them out: a read takes one, truncated to the
// size asked for; at the end of a file whose node has gone, ENODEV.
static ssize_t ReadEvent(int fd, void* pBuffer, size_t cb) {
  CBus& bus = TheBus();
  {
    std::lock_guard lock(bus.Mutex());
    const std::shared_ptr<CClient> pClient = Find(fd);
    if (!pClient) return REAL(read)(fd, pBuffer, cb);
    if (pClient->IsOrphan()) return Fail(ENODEV);
    pClient->Flush();
  }
  const ssize_t n = REAL(read)(fd, pBuffer, cb);
  std::lock_guard lock(bus.Mutex());
  if (const std::shared_ptr<CClient> pClient = Find(fd)) {
    pClient->Flush();
    if (n == 0 && cb != 0) return Fail(ENODEV);
  }
  return n;
}

__attribute__((visibility("default"))) ssize_t read(int fd, void* pBuffer, size_t cb) {
  return MaybeEmulated(fd) ? ReadEvent(fd, pBuffer, cb) : REAL(read)(fd, pBuffer, cb);
}

__attribute__((visibility("default"))) ssize_t __read_chk(int fd, void* pBuffer, size_t cb, size_t cbBuffer) {
  if (cb > cbBuffer) __builtin_trap();  // what the checked read does with an overflow
  return read(fd, pBuffer, cb);
}

static void* MapDevice(void* pAddress, size_t cb, int nProt, int nFlags, int fd, bool* pbMine) {
  *pbMine = false;
  if (!MaybeEmulated(fd)) return nullptr;
  CBus& bus = TheBus();
  std::lock_guard lock(bus.Mutex());
  const std::shared_ptr<CClient> pClient = Find(fd);
  if (!pClient) return nullptr;
  *pbMine = true;
  const long nResult = pClient->Map(pAddress, cb, nProt, nFlags);
  if (nResult < 0 && nResult > -4096) {
    errno = static_cast<int>(-nResult);
    return MAP_FAILED;
  }
  return reinterpret_cast<void*>(nResult);
}

__attribute__((visibility("default"))) void* mmap(void* pAddress, size_t cb, int nProt, int nFlags, int fd, off_t off) {
  bool bMine = false;
  void* const p = MapDevice(pAddress, cb, nProt, nFlags, fd, &bMine);
  return bMine ? p : REAL(mmap)(pAddress, cb, nProt, nFlags, fd, off);
}

__attribute__((visibility("default"))) void* mmap64(void* pAddress, size_t cb, int nProt, int nFlags, int fd,
                                                   off64_t off) {
  bool bMine = false;
  void* const p = MapDevice(pAddress, cb, nProt, nFlags, fd, &bMine);
  return bMine ? p : REAL(mmap64)(pAddress, cb, nProt, nFlags, fd, off);
}

__attribute__((visibility("default"))) int dup(int fd) { return Duplicated(fd, REAL(dup)(fd)); }

__attribute__((visibility("default"))) int dup2(int fd, int fdNew) {
  Replacing(fd, fdNew);
  return Duplicated(fd, REAL(dup2)(fd, fdNew));
}

__attribute__((visibility("default"))) int dup3(int fd, int fdNew, int nFlags) {
  Replacing(fd, fdNew);
  return Duplicated(fd, REAL(dup3)(fd, fdNew, nFlags));
}

__attribute__((visibility("default"))) int fcntl(int fd, int nCommand, ...) {
  va_list args;
  va_start(args, nCommand);
  const long nArg = va_arg(args, long);
  va_end(args);
  const int nResult = REAL(fcntl)(fd, nCommand, nArg);
  return nCommand == F_DUPFD || nCommand == F_DUPFD_CLOEXEC ? Duplicated(fd, nResult) : nResult;
}

__attribute__((visibility("default"))) int stat(const char* pszPath, struct stat* pStat) {
  const std::optional<int> r = StatPath(pszPath, pStat);
  return r ? *r : REAL(stat)(pszPath, pStat);
}

__attribute__((visibility("default"))) int lstat(const char* pszPath, struct stat* pStat) {
  const std::optional<int> r = StatPath(pszPath, pStat);
  return r ? *r : REAL(lstat)(pszPath, pStat);
}

__attribute__((visibility("default"))) int fstat(int fd, struct stat* pStat) {
  const std::optional<int> r = StatFd(fd, pStat);
  return r ? *r : REAL(fstat)(fd, pStat);
}

static_assert(sizeof(struct stat) == sizeof(struct stat64), "one layout for both stat records");

__attribute__((visibility("default"))) int stat64(const char* pszPath, struct stat64* pStat) {
  const std::optional<int> r = StatPath(pszPath, reinterpret_cast<struct stat*>(pStat));
  return r ? *r : REAL(stat64)(pszPath, pStat);
}

__attribute__((visibility("default"))) int lstat64(const char* pszPath, struct stat64* pStat) {
  const std::optional<int> r = StatPath(pszPath, reinterpret_cast<struct stat*>(pStat));
  return r ? *r : REAL(lstat64)(pszPath, pStat);
}

__attribute__((visibility("default"))) int fstat64(int fd, struct stat64* pStat) {
  const std::optional<int> r = StatFd(fd, reinterpret_cast<struct stat*>(pStat));
  return r ? *r : REAL(fstat64)(fd, pStat);
}

// The stat entry points of programs built against older C libraries.
__attribute__((visibility("default"))) int __xstat(int nVersion, const char* pszPath, struct stat* pStat) {
  const std::optional<int> r = StatPath(pszPath, pStat);
  return r ? *r : REAL(__xstat)(nVersion, pszPath, pStat);
}

__attribute__((visibility("default"))) int __lxstat(int nVersion, const char* pszPath, struct stat* pStat) {
  const std::optional<int> r = StatPath(pszPath, pStat);
  return r ? *r : REAL(__lxstat)(nVersion, pszPath, pStat);
}

__attribute__((visibility("default"))) int __fxstat(int nVersion, int fd, struct stat* pStat) {
  const std::optional<int> r = StatFd(fd, pStat);
  return r ? *r : REAL(__fxstat)(nVersion, fd, pStat);
}

__attribute__((visibility("default"))) int __xstat64(int nVersion, const char* pszPath, struct stat64* pStat) {
  const std::optional<int> r = StatPath(pszPath, reinterpret_cast<struct stat*>(pStat));
  return r ? *r : REAL(__xstat64)(nVersion, pszPath, pStat);
}

__attribute__((visibility("default"))) int __lxstat64(int nVersion, const char* pszPath, struct stat64* pStat) {
  const std::optional<int> r = StatPath(pszPath, reinterpret_cast<struct stat*>(pStat));
  return r ? *r : REAL(__lxstat64)(nVersion, pszPath, pStat);
}

__attribute__((visibility("default"))) int __fxstat64(int nVersion, int fd, struct stat64* pStat) {
  const std::optional<int> r = StatFd(fd, reinterpret_cast<struct stat*>(pStat));
  return r ? *r : REAL(__fxstat64)(nVersion, fd, pStat);
}

__attribute__((visibility("default"))) int fstatat(int fdDir, const char* pszPath, struct stat* pStat, int nFlags) {
  const bool bOurs = NamesBusPath(fdDir, pszPath);
  const std::optional<int> r = bOurs ? StatPath(pszPath, pStat) : std::nullopt;
  return r ? *r : REAL(fstatat)(fdDir, pszPath, pStat, nFlags);
}

__attribute__((visibility("default"))) int fstatat64(int fdDir, const char* pszPath, struct stat64* pStat,
                                                    int nFlags) {
  const bool bOurs = NamesBusPath(fdDir, pszPath);
  const std::optional<int> r = bOurs ? StatPath(pszPath, reinterpret_cast<struct stat*>(pStat)) : std::nullopt;
  return r ? *r : REAL(fstatat64)(fdDir, pszPath, pStat, nFlags);
}

__attribute__((visibility("default"))) int statx(int fdDir, const char* pszPath, int nFlags, unsigned int nMask,
                                                 struct statx* pStatx) {
  struct stat st;
  const bool bOurs = NamesBusPath(fdDir, pszPath);
  const std::optional<int> r = bOurs ? StatPath(pszPath, &st) : std::nullopt;
  if (!r) return REAL(statx)(fdDir, pszPath, nFlags, nMask, pStatx);
  if (*r == 0) {
    std::memset(pStatx, 0, sizeof *pStatx);
    pStatx->stx_mask = STATX_TYPE | STATX_MODE | STATX_NLINK;
    pStatx->stx_mode = static_cast<std::uint16_t>(st.st_mode);
    pStatx->stx_nlink = 1;
    pStatx->stx_blksize = 4096;
    pStatx->stx_rdev_major = major(st.st_rdev);
    pStatx->stx_rdev_minor = minor(st.st_rdev);
  }
  return *r;
}

__attribute__((visibility("default"))) int access(const char* pszPath, int nMode) {
  struct stat st;
  const std::optional<int> r = StatPath(pszPath, &st);
  return r ? *r : REAL(access)(pszPath, nMode);
}

}  // extern "C"
