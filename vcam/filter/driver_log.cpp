#include "vcam/filter/driver_log.h"

#include <algorithm>
#include <cstring>

namespace vcam {

std::int32_t AreaRequest::Field(ULONG nAt) const {
  std::int32_t n = 0;
  if (nAt + sizeof(n) <= block.size()) {
    std::memcpy(&n, block.data() + nAt, sizeof(n));
  }
  return n;
}

void CDriverLog::NoteFormatRequest(const FormatRequest& request) {
  std::lock_guard lock(m_mutex);
  m_lastFormat = request;
  ++m_nFormatRequests;
}

void CDriverLog::NoteAreaRequest(const void* pBlock, ULONG cbBlock, HRESULT hrResult) {
  AreaRequest request;
  request.cbBlock = cbBlock;
  request.hrResult = hrResult;
  if (pBlock != nullptr) {
    std::memcpy(request.block.data(), pBlock, std::min<std::size_t>(cbBlock, request.block.size()));
  }
  std::lock_guard lock(m_mutex);
  m_lastArea = request;
  ++m_nAreaRequests;
}

std::optional<FormatRequest> CDriverLog::LastFormatRequest() const {
  std::lock_guard lock(m_mutex);
  return m_lastFormat;
}

std::optional<AreaRequest> CDriverLog::LastAreaRequest() const {
  std::lock_guard lock(m_mutex);
  return m_lastArea;
}

int CDriverLog::FormatRequestCount() const {
  std::lock_guard lock(m_mutex);
  return m_nFormatRequests;
}

int CDriverLog::AreaRequestCount() const {
  std::lock_guard lock(m_mutex);
  return m_nAreaRequests;
}

void CDriverLog::Clear() {
  std::lock_guard lock(m_mutex);
  m_lastFormat.reset();
  m_lastArea.reset();
  m_nFormatRequests = 0;
  m_nAreaRequests = 0;
}

}  // namespace vcam
