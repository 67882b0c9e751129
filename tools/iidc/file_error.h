// Writing a whole file, and the message for a file that cannot be written.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "exit_status.h"
#include "session.h"

namespace iidctool {

[[noreturn]] inline void FileError(const std::string& path, int nErrno)
{
    throw CToolError(EXIT_FAILED, fmt::format("cannot write {}: {}; check that the directory exists and is writable",
                                              path, std::strerror(nErrno)));
}

inline void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream file(path, std::ios::binary);
    if (!file)
        FileError(path, errno);
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    file.close();
    if (!file)
        FileError(path, errno);
}

}  // namespace iidctool
