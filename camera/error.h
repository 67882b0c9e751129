// The one failure of the camera layer: a kind, which each front end turns into
// its own signal (the tool an exit status, the GStreamer source an error
// code), and a message for the user that says what was wrong and what to do.
#pragma once

#include <stdexcept>
#include <string>

namespace iidccam {

class CCameraError : public std::runtime_error {
 public:
  enum class Kind {
    NotFound,  // no camera, or none that matches a selector
    Busy,      // the camera is open elsewhere
    Settings,  // words that name no setting, or a setting the camera refused
    Lost,      // the camera stopped answering
    Timeout,   // no frame came in time
    Failed,    // the camera or the library refused an operation
  };
  CCameraError(Kind kind, const std::string& message) : std::runtime_error(message), m_kind(kind) {}
  Kind GetKind() const { return m_kind; }

 private:
  Kind m_kind;
};

}  // namespace iidccam
