// Page allocation with Windows' reserve/commit model on top of mmap:
// a reservation is an inaccessible mapping; committing makes pages
// accessible (zero-filled the first time and after a decommit); decommitting
// discards their contents; releasing unmaps the whole reservation.
// Reservations start on page boundaries (Windows aligns them to 64 KiB).
#include <sys/mman.h>
#include <unistd.h>

#include <map>
#include <mutex>

#include "emul/fault.h"
#include "emul/kernel.h"

namespace {

std::uintptr_t PageSize() {
  static const auto s_nPageSize = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  return s_nPageSize;
}

std::uintptr_t RoundDown(std::uintptr_t n) { return n & ~(PageSize() - 1); }

class CReservations {
 public:
  // The reservation that holds [begin, end), as its base and size, or
  // {0, 0} when no single reservation holds the whole range.
  std::pair<std::uintptr_t, std::size_t> Find(std::uintptr_t begin, std::uintptr_t end) const {
    auto it = m_regions.upper_bound(begin);
    if (it == m_regions.begin()) {
      return {0, 0};
    }
    --it;
    if (end > it->first + it->second) {
      return {0, 0};
    }
    return *it;
  }

  void Add(std::uintptr_t base, std::size_t size) { m_regions.emplace(base, size); }
  void Remove(std::uintptr_t base) { m_regions.erase(base); }
  long Count() const { return static_cast<long>(m_regions.size()); }

  std::mutex m_mutex;

 private:
  std::map<std::uintptr_t, std::size_t> m_regions;  // base -> size, guarded by m_mutex
};

CReservations& Reservations() {
  static CReservations s_reservations;
  return s_reservations;
}

bool ProtectionOf(DWORD flProtect, int* pnProt) {
  switch (flProtect) {
    case PAGE_NOACCESS:
      *pnProt = PROT_NONE;
      return true;
    case PAGE_READONLY:
      *pnProt = PROT_READ;
      return true;
    case PAGE_READWRITE:
      *pnProt = PROT_READ | PROT_WRITE;
      return true;
    default:
      return false;
  }
}

LPVOID Fail(DWORD dwError) {
  SetLastError(dwError);
  return nullptr;
}

}  // namespace

LPVOID WINAPI VirtualAlloc(LPVOID lpAddress, SIZE_T dwSize, DWORD flAllocationType, DWORD flProtect) {
  if (emul::FaultForWin32("VirtualAlloc")) {
    return nullptr;
  }
  int nProt = PROT_NONE;
  const DWORD dwKnownTypes = MEM_COMMIT | MEM_RESERVE;
  if (dwSize == 0 || (flAllocationType & ~dwKnownTypes) != 0 || (flAllocationType & dwKnownTypes) == 0 ||
      !ProtectionOf(flProtect, &nProt)) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  const auto address = reinterpret_cast<std::uintptr_t>(lpAddress);
  if (dwSize > SIZE_MAX - PageSize() || address > UINTPTR_MAX - dwSize) {
    return Fail(ERROR_INVALID_PARAMETER);
  }
  // Pages are the unit: every page the range touches is included.
  const std::uintptr_t begin = RoundDown(address);
  const std::uintptr_t end = RoundDown(address + dwSize + PageSize() - 1);
  const std::size_t size = end - begin;

  CReservations& reservations = Reservations();
  std::lock_guard lock(reservations.m_mutex);
  if ((flAllocationType & MEM_RESERVE) != 0 || lpAddress == nullptr) {
    // A new reservation, committed at once unless only reserved.
    const int nMapProt = (flAllocationType & MEM_COMMIT) != 0 ? nProt : PROT_NONE;
    int nFlags = MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE;
    if (lpAddress != nullptr) {
      nFlags |= MAP_FIXED_NOREPLACE;
    }
    void* p = mmap(lpAddress == nullptr ? nullptr : reinterpret_cast<void*>(begin), size, nMapProt, nFlags, -1, 0);
    if (p == MAP_FAILED) {
      return Fail(lpAddress == nullptr ? ERROR_NOT_ENOUGH_MEMORY : ERROR_INVALID_ADDRESS);
    }
    if (lpAddress != nullptr && reinterpret_cast<std::uintptr_t>(p) != begin) {
      munmap(p, size);  // kernels without MAP_FIXED_NOREPLACE treat it as a hint
      return Fail(ERROR_INVALID_ADDRESS);
    }
    reservations.Add(reinterpret_cast<std::uintptr_t>(p), size);
    return p;
  }

  // Committing pages of an existing reservation; committed pages keep their
  // contents.
  if (reservations.Find(begin, end).second == 0) {
    return Fail(ERROR_INVALID_ADDRESS);
  }
  if (mprotect(reinterpret_cast<void*>(begin), size, nProt) != 0) {
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
  return reinterpret_cast<LPVOID>(begin);
}

BOOL WINAPI VirtualFree(LPVOID lpAddress, SIZE_T dwSize, DWORD dwFreeType) {
  if (emul::FaultForWin32("VirtualFree")) {
    return FALSE;
  }
  if (lpAddress == nullptr || (dwFreeType != MEM_RELEASE && dwFreeType != MEM_DECOMMIT)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const auto address = reinterpret_cast<std::uintptr_t>(lpAddress);
  CReservations& reservations = Reservations();
  std::lock_guard lock(reservations.m_mutex);
  const auto [base, regionSize] = reservations.Find(address, address + 1);
  if (regionSize == 0) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }

  if (dwFreeType == MEM_RELEASE) {
    // Only a whole reservation, named by its base and a size of 0.
    if (address != base || dwSize != 0) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    munmap(reinterpret_cast<void*>(base), regionSize);
    reservations.Remove(base);
    return TRUE;
  }

  // Decommit: a size of 0 from the base means the whole reservation.
  std::uintptr_t begin = RoundDown(address);
  std::uintptr_t end = 0;
  if (dwSize == 0) {
    if (address != base) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    end = base + regionSize;
  } else {
    if (dwSize > base + regionSize - address) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    end = RoundDown(address + dwSize + PageSize() - 1);
  }
  // Dropping the pages' contents first makes a later commit read zeros.
  void* pBegin = reinterpret_cast<void*>(begin);
  if (madvise(pBegin, end - begin, MADV_DONTNEED) != 0 || mprotect(pBegin, end - begin, PROT_NONE) != 0) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }
  return TRUE;
}

namespace emul {

long LiveVirtualReservations() {
  CReservations& reservations = Reservations();
  std::lock_guard lock(reservations.m_mutex);
  return reservations.Count();
}

}  // namespace emul
