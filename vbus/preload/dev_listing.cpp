// The /dev directory as the program lists it: the bus's device files in
// place of any FireWire nodes the machine really has.
#include <dirent.h>

#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "vbus/preload/files.h"
#include "vbus/preload/libc.h"

namespace vbus {
namespace {

struct Listing {
  std::vector<std::string> names;  // the bus's files still to list
  dirent entry{};
  dirent64 entry64{};
};

std::mutex g_mutex;
std::map<DIR*, Listing>& Listings() {
  static auto* const pListings = new std::map<DIR*, Listing>();  // guarded by g_mutex
  return *pListings;
}

bool IsDevDirectory(const char* pszPath) {
  return pszPath && (std::strcmp(pszPath, "/dev") == 0 || std::strcmp(pszPath, "/dev/") == 0);
}

std::vector<std::string> DeviceNames() {
  CBus& bus = TheBus();
  std::lock_guard lock(bus.Mutex());
  std::vector<std::string> names;
  for (const auto& pDevice : bus.Devices())
    if (!pDevice->bShutdown) names.push_back(pDevice->strName);
  return names;
}

template <class Entry>
void Fill(Entry& entry, const std::string& strName) {
  std::memset(&entry, 0, sizeof entry);
  entry.d_type = DT_CHR;
  entry.d_reclen = sizeof entry;
  std::strncpy(entry.d_name, strName.c_str(), sizeof entry.d_name - 1);
}

// The next entry: the bus's files first, then the directory's own but for
// the ones the bus hides. Real is the C library's readdir of Entry.
template <class Entry, class Real>
Entry* Next(DIR* pDir, Real* pfnReal, Entry Listing::*member) {
  {
    std::lock_guard lock(g_mutex);
    const auto it = Listings().find(pDir);
    if (it != Listings().end() && !it->second.names.empty()) {
      Entry& entry = it->second.*member;
      Fill(entry, it->second.names.back());
      it->second.names.pop_back();
      return &entry;
    }
    if (it == Listings().end()) return pfnReal(pDir);
  }
  for (;;) {
    Entry* const pEntry = pfnReal(pDir);
    if (!pEntry || !IsHiddenPath("/dev/" + std::string(pEntry->d_name))) return pEntry;
  }
}

}  // namespace
}  // namespace vbus

using namespace vbus;

extern "C" {

__attribute__((visibility("default"))) DIR* opendir(const char* pszPath) {
  DIR* const pDir = REAL(opendir)(pszPath);
  if (pDir && IsDevDirectory(pszPath)) {
    std::vector<std::string> names = DeviceNames();
    std::lock_guard lock(g_mutex);
    try {
      Listings()[pDir].names.assign(names.rbegin(), names.rend());
    } catch (...) {
      // Without memory for the listing the directory lists as it is.
    }
  }
  return pDir;
}

__attribute__((visibility("default"))) dirent* readdir(DIR* pDir) { return Next(pDir, REAL(readdir), &Listing::entry); }

__attribute__((visibility("default"))) dirent64* readdir64(DIR* pDir) {
  return Next(pDir, REAL(readdir64), &Listing::entry64);
}

__attribute__((visibility("default"))) void rewinddir(DIR* pDir) {
  REAL(rewinddir)(pDir);
  bool bListed = false;
  {
    std::lock_guard lock(g_mutex);
    bListed = Listings().count(pDir) != 0;
  }
  if (!bListed) return;
  std::vector<std::string> names = DeviceNames();
  std::lock_guard lock(g_mutex);
  Listings()[pDir].names.assign(names.rbegin(), names.rend());
}

__attribute__((visibility("default"))) int closedir(DIR* pDir) {
  {
    std::lock_guard lock(g_mutex);
    Listings().erase(pDir);
  }
  return REAL(closedir)(pDir);
}

}  // extern "C"
