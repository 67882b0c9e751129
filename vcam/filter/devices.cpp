#include "vcam/filter/devices.h"

#include <map>
#include <mutex>
#include <utility>

#include "vcam/filter/capture_filter.h"
#include "vcam/filter/driver_log.h"
#include "vcam/model/camera_set.h"

namespace vcam {
namespace {

struct LogEntry {
  std::weak_ptr<CCameraModel> pCamera;
  std::shared_ptr<CDriverLog> pLog;
};

std::mutex g_mxLogs;
std::map<const CCameraModel*, LogEntry> g_logs;  // guarded by g_mxLogs

}  // namespace

std::shared_ptr<CDriverLog> DriverLogOf(const std::shared_ptr<CCameraModel>& pCamera) {
  if (!pCamera) {
    return nullptr;
  }
  std::lock_guard lock(g_mxLogs);
  // Cameras of replaced sets die with their last filter; their logs go too,
  // so an address reused by a new camera never inherits an old log.
  for (auto it = g_logs.begin(); it != g_logs.end();) {
    it = it->second.pCamera.expired() ? g_logs.erase(it) : std::next(it);
  }
  LogEntry& entry = g_logs[pCamera.get()];
  if (!entry.pLog) {
    entry.pCamera = pCamera;
    entry.pLog = std::make_shared<CDriverLog>();
  }
  return entry.pLog;
}

std::vector<VirtualDevice> ListVirtualDevices() {
  std::vector<VirtualDevice> devices;
  const std::vector<Profile> profiles = GetActiveCameraSet();
  for (std::size_t i = 0; i < profiles.size(); ++i) {
    std::shared_ptr<CCameraModel> pCamera = GetCameraModel(i);
    if (!pCamera) {
      break;  // the set was replaced meanwhile; the next enumeration sees the new one
    }
    std::shared_ptr<CDriverLog> pLog = DriverLogOf(pCamera);
    devices.push_back(VirtualDevice{WidenUtf8(profiles[i].strFriendlyName),
                                    [pCamera, pLog](IBaseFilter** ppFilter) {
                                      return CVcamFilter::Create(pCamera, pLog, ppFilter);
                                    }});
  }
  return devices;
}

std::wstring WidenUtf8(const std::string& text) {
  std::wstring wide;
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const std::size_t nLength = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    char32_t code = nLength == 1 ? c : nLength == 2 ? c & 0x1F : nLength == 3 ? c & 0x0F : c & 0x07;
    bool bValid = nLength != 0 && i + nLength <= text.size();
    for (std::size_t k = 1; bValid && k < nLength; ++k) {
      const auto cc = static_cast<unsigned char>(text[i + k]);
      bValid = (cc >> 6) == 0x2;
      code = (code << 6) | (cc & 0x3F);
    }
    if (!bValid) {
      wide.push_back(L'\xFFFD');
      ++i;
      continue;
    }
    if (sizeof(wchar_t) == 2 && code > 0xFFFF) {
      code -= 0x10000;
      wide.push_back(static_cast<wchar_t>(0xD800 + (code >> 10)));
      wide.push_back(static_cast<wchar_t>(0xDC00 + (code & 0x3FF)));
    } else {
      wide.push_back(static_cast<wchar_t>(code));
    }
    i += nLength;
  }
  return wide;
}

}  // namespace vcam
