// Exit statuses of the iidc tool, distinct per kind of failure so that
// scripts can react to them, and the failures that carry them: the tool's own
// (CToolError) and the camera layer's, whose kinds map to statuses here.
#pragma once

#include <stdexcept>
#include <string>

#include "error.h"

namespace iidctool {

// The tool is built on the camera layer and names its parts unqualified.
using namespace iidccam;

constexpr int EXIT_OK = 0;
constexpr int EXIT_FAILED = 1;        // the camera or the library refused an operation
constexpr int EXIT_BAD_ARGUMENTS = 2; // the command line is unusable
constexpr int EXIT_NO_CAMERA = 3;     // no camera at all, or none that matches --camera
constexpr int EXIT_TIMEOUT = 4;       // no frame arrived within --timeout
constexpr int EXIT_DEVICE_LOST = 5;   // the camera stopped answering

class CToolError : public std::runtime_error {
 public:
  CToolError(int nStatus, const std::string& message) : std::runtime_error(message), m_nStatus(nStatus) {}
  int Status() const { return m_nStatus; }

 private:
  int m_nStatus;
};

constexpr int ExitStatusOf(CCameraError::Kind kind)
{
    switch (kind) {
    case CCameraError::Kind::NotFound:
    case CCameraError::Kind::Busy: return EXIT_NO_CAMERA;
    case CCameraError::Kind::Settings: return EXIT_BAD_ARGUMENTS;
    case CCameraError::Kind::Lost: return EXIT_DEVICE_LOST;
    case CCameraError::Kind::Timeout: return EXIT_TIMEOUT;
    case CCameraError::Kind::Failed: break;
    }
    return EXIT_FAILED;
}

}  // namespace iidctool
