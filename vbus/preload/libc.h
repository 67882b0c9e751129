// The C library's own functions behind the ones this library wraps, found
// once by name (the next definition after this library's).
#pragma once

#include <dlfcn.h>

namespace vbus {

template <class Fn>
Fn* NextFunction(const char* pszName) {
  return reinterpret_cast<Fn*>(dlsym(RTLD_NEXT, pszName));
}

// REAL(open) is the C library's open, of open's own type.
#define REAL(name)                                                                  \
  ([]() {                                                                           \
    static auto* const pfn = ::vbus::NextFunction<decltype(::name)>(#name);         \
    return pfn;                                                                     \
  }())

}  // namespace vbus
