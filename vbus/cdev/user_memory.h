// Copies to and from the memory a client names in its ioctl arguments, as
// the kernel's copy_from_user and copy_to_user do: an address the process
// cannot read or write gives EFAULT instead of a crash.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vbus {

// True when all cb bytes were copied.
bool CopyFromUser(void* pTo, std::uint64_t qwFrom, std::size_t cb);
bool CopyToUser(std::uint64_t qwTo, const void* pFrom, std::size_t cb);

}  // namespace vbus
