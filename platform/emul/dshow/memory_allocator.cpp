// CLSID_MemoryAllocator in the class table: the portable allocator of the
// filter base.
#include "base/mem_allocator.h"
#include "base/unknown.h"
#include "emul/class_registry.h"

namespace {

const bool g_bRegistered = emul::RegisterClass(CLSID_MemoryAllocator, &CreateComInstance<CMemAllocator>);

}  // namespace
