// The library and one open camera for the span of a front end's work with it.
// Failures are CCameraError (error.h).
#pragma once

#include <cstdint>
#include <string>

#include "error.h"
#include "iidc.h"

namespace iidccam {

// What a library error code means, in words.
std::string ErrorText(uint32_t dwCode);

// Starts the library for the life of the object; iidc_uninit at the end.
class CLibrarySession {
 public:
  CLibrarySession();  // throws NotFound when there is no camera
  ~CLibrarySession();
  CLibrarySession(const CLibrarySession&) = delete;
  CLibrarySession& operator=(const CLibrarySession&) = delete;

  int CameraCount() const { return m_nCount; }

 private:
  int m_nCount = 0;
};

// A camera picked by a selector among nCameraCount: a decimal index, or a
// unique id of IIDC_UNIQUEID_LENGTH hexadecimal digits. Empty means camera 0.
int FindCamera(int nCameraCount, const std::string& selector);

// Identity text of a camera index; empty when it cannot be read.
std::string CameraString(int nIndex, uint32_t nId);

// An open camera (Busy when another program holds it); the destructor stops capture and takes everything down in
// the order the library asks for.
class CCameraSession {
 public:
  CCameraSession(const CLibrarySession& library, const std::string& selector);
  // For a library that someone else started, with nCameraCount cameras.
  CCameraSession(int nCameraCount, const std::string& selector);
  ~CCameraSession();
  CCameraSession(const CCameraSession&) = delete;
  CCameraSession& operator=(const CCameraSession&) = delete;

  iidc_handle Handle() const { return m_hCamera; }
  int Index() const { return m_nIndex; }
  // Throws for a failed library call: what failed and the camera's code
  // (Failed), or Lost when the camera no longer answers.
  [[noreturn]] void Fail(const std::string& what) const;
  // Fail for a capture that did not start: a camera that answers but cannot
  // stream is taken to be streaming to another program (Busy).
  [[noreturn]] void FailStart(const std::string& what) const;
  // True when the camera still answers a register read.
  bool Answers() const;

 private:
  iidc_handle m_hCamera = nullptr;
  int m_nIndex = -1;
};

}  // namespace iidccam
