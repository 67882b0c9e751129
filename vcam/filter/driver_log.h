// What the driver face of one virtual camera has been asked: the last format
// and area requests as they arrived, before the camera judged them. Shared by
// every filter bound to the camera, so tests can check the requests a library
// sends "at the virtual camera".
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>

#include "winapi.h"
#include "drivers/face/media_format.h"

namespace vcam {

struct FormatRequest {
  GUID subtype{};
  ULONG lSampleSize = 0;
  VideoShape shape;  // picture and AvgTimePerFrame as sent
  HRESULT hrResult = S_OK;
};

struct AreaRequest {
  std::array<BYTE, 64> block{};  // the request exactly as received
  ULONG cbBlock = 0;
  HRESULT hrResult = S_OK;
  std::int32_t Field(ULONG nAt) const;  // a little-endian field of the block
};

// Thread use: any thread; a mutex guards the records.
class CDriverLog {
 public:
  void NoteFormatRequest(const FormatRequest& request);
  void NoteAreaRequest(const void* pBlock, ULONG cbBlock, HRESULT hrResult);

  std::optional<FormatRequest> LastFormatRequest() const;
  std::optional<AreaRequest> LastAreaRequest() const;
  int FormatRequestCount() const;
  int AreaRequestCount() const;
  void Clear();

 private:
  mutable std::mutex m_mutex;
  std::optional<FormatRequest> m_lastFormat;  // guarded by m_mutex
  std::optional<AreaRequest> m_lastArea;      // guarded by m_mutex
  int m_nFormatRequests = 0;                  // guarded by m_mutex
  int m_nAreaRequests = 0;                    // guarded by m_mutex
};

}  // namespace vcam
