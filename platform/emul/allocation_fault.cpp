#include "emul/allocation_fault.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

#include "base/operation_fault.h"

namespace {

std::atomic<bool> g_bCounting{false};
std::atomic<long> g_nCount{0};
std::atomic<long> g_nFailAt{0};

// Whether the allocation now being made is the one to fail. The platform's
// own teardown is neither counted nor failed.
bool FailsNow() {
  if (!g_bCounting.load(std::memory_order_relaxed) || InPlatformTeardown()) {
    return false;
  }
  const long n = g_nCount.fetch_add(1, std::memory_order_relaxed) + 1;
  return n == g_nFailAt.load(std::memory_order_relaxed);
}

void* Allocate(std::size_t cb, std::size_t cbAlign) {
  if (FailsNow()) {
    return nullptr;
  }
  if (cb == 0) {
    cb = 1;
  }
  if (cbAlign <= alignof(std::max_align_t)) {
    return std::malloc(cb);
  }
  void* p = nullptr;
  return posix_memalign(&p, cbAlign, cb) == 0 ? p : nullptr;
}

void* AllocateOrThrow(std::size_t cb, std::size_t cbAlign) {
  void* p = Allocate(cb, cbAlign);
  if (p == nullptr) {
    throw std::bad_alloc();
  }
  return p;
}

constexpr std::size_t DEFAULT_ALIGN = alignof(std::max_align_t);

}  // namespace

namespace emul {

void FailAllocation(long nth) {
  g_nFailAt.store(nth, std::memory_order_relaxed);
  g_nCount.store(0, std::memory_order_relaxed);
}

void CountAllocations(bool bOn) { g_bCounting.store(bOn, std::memory_order_relaxed); }

long AllocationCount() { return g_nCount.load(std::memory_order_relaxed); }

}  // namespace emul

void* operator new(std::size_t cb) { return AllocateOrThrow(cb, DEFAULT_ALIGN); }
void* operator new[](std::size_t cb) { return AllocateOrThrow(cb, DEFAULT_ALIGN); }
void* operator new(std::size_t cb, std::align_val_t al) { return AllocateOrThrow(cb, static_cast<std::size_t>(al)); }
void* operator new[](std::size_t cb, std::align_val_t al) { return AllocateOrThrow(cb, static_cast<std::size_t>(al)); }
void* operator new(std::size_t cb, const std::nothrow_t&) noexcept { return Allocate(cb, DEFAULT_ALIGN); }
void* operator new[](std::size_t cb, const std::nothrow_t&) noexcept { return Allocate(cb, DEFAULT_ALIGN); }
void* operator new(std::size_t cb, std::align_val_t al, const std::nothrow_t&) noexcept {
  return Allocate(cb, static_cast<std::size_t>(al));
}
void* operator new[](std::size_t cb, std::align_val_t al, const std::nothrow_t&) noexcept {
  return Allocate(cb, static_cast<std::size_t>(al));
}

void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { std::free(p); }
