#include "emul/class_registry.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace emul {
namespace {

struct CClassEntry {
  CLSID clsid;
  PFN_CREATEINSTANCE pfnCreate;
};

struct CClassTable {
  std::mutex mutex;
  std::vector<CClassEntry> entries;
};

// Built on first use: registrars run during static initialisation, in an
// order no translation unit controls.
CClassTable& Table() {
  static CClassTable s_table;
  return s_table;
}

}  // namespace

bool RegisterClass(REFCLSID rclsid, PFN_CREATEINSTANCE pfnCreate) {
  CClassTable& table = Table();
  std::lock_guard lock(table.mutex);
  std::erase_if(table.entries, [&](const CClassEntry& entry) { return entry.clsid == rclsid; });
  if (pfnCreate != nullptr) {
    table.entries.push_back(CClassEntry{rclsid, pfnCreate});
  }
  return true;
}

PFN_CREATEINSTANCE FindClass(REFCLSID rclsid) {
  CClassTable& table = Table();
  std::lock_guard lock(table.mutex);
  const auto it = std::find_if(table.entries.begin(), table.entries.end(),
                               [&](const CClassEntry& entry) { return entry.clsid == rclsid; });
  return it == table.entries.end() ? nullptr : it->pfnCreate;
}

}  // namespace emul
