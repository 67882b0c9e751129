#include "vbus/cdev/user_memory.h"

#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vbus {
namespace {

// The process reads and writes its own memory through the kernel, which
// checks every page; where that is not allowed (no such call, a sandbox),
// the copy is made directly.
bool Copy(void* pLocal, std::uint64_t qwRemote, std::size_t cb, bool bWrite) {
  if (cb == 0) return true;
  if (qwRemote == 0) return false;
  iovec local{pLocal, cb};
  iovec remote{reinterpret_cast<void*>(static_cast<std::uintptr_t>(qwRemote)), cb};
  const ssize_t n = bWrite ? process_vm_writev(getpid(), &local, 1, &remote, 1, 0)
                           : process_vm_readv(getpid(), &local, 1, &remote, 1, 0);
  if (n == static_cast<ssize_t>(cb)) return true;
  if (n < 0 && (errno == ENOSYS || errno == EPERM)) {
    if (bWrite)
      std::memcpy(remote.iov_base, pLocal, cb);
    else
      std::memcpy(pLocal, remote.iov_base, cb);
    return true;
  }
  return false;
}

}  // namespace

bool CopyFromUser(void* pTo, std::uint64_t qwFrom, std::size_t cb) { return Copy(pTo, qwFrom, cb, false); }

bool CopyToUser(std::uint64_t qwTo, const void* pFrom, std::size_t cb) {
  return Copy(const_cast<void*>(pFrom), qwTo, cb, true);
}

}  // namespace vbus
