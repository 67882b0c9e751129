// The message for a file that cannot be written.
#pragma once

#include <cerrno>
#include <cstring>
#include <string>

#include <fmt/format.h>

#include "exit_status.h"
#include "session.h"

namespace iidctool {

[[noreturn]] inline void FileError(const std::string& path, int nErrno)
{
    throw CToolError(EXIT_FAILED, fmt::format("cannot write {}: {}; check that the directory exists and is writable",
                                              path, std::strerror(nErrno)));
}

}  // namespace iidctool
