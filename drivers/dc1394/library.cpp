#include "drivers/dc1394/library.h"

#include <dlfcn.h>

#include <mutex>
#include <string>

namespace dc1394drv {
namespace {

std::string& LibraryName() {
  static std::string name = "libdc1394.so.25";
  return name;
}

void DiscardMessage(dc1394log_t /*type*/, const char* /*message*/, void* /*user*/) {}

template <class T>
bool Resolve(void* pLibrary, const char* pszName, T* ppfn) {
  *ppfn = reinterpret_cast<T>(dlsym(pLibrary, pszName));
  return *ppfn != nullptr;
}

bool Load(Dc1394Functions* p) {
  void* pLibrary = dlopen(LibraryName().c_str(), RTLD_NOW | RTLD_LOCAL);
  if (pLibrary == nullptr) {
    return false;
  }
  const bool bComplete =
      Resolve(pLibrary, "dc1394_new", &p->pfnNew) && Resolve(pLibrary, "dc1394_free", &p->pfnFree) &&
      Resolve(pLibrary, "dc1394_log_register_handler", &p->pfnLogRegisterHandler) &&
      Resolve(pLibrary, "dc1394_camera_enumerate", &p->pfnCameraEnumerate) &&
      Resolve(pLibrary, "dc1394_camera_free_list", &p->pfnCameraFreeList) &&
      Resolve(pLibrary, "dc1394_camera_new_unit", &p->pfnCameraNewUnit) &&
      Resolve(pLibrary, "dc1394_camera_free", &p->pfnCameraFree) &&
      Resolve(pLibrary, "dc1394_camera_get_node", &p->pfnCameraGetNode) &&
      Resolve(pLibrary, "dc1394_get_registers", &p->pfnGetRegisters) &&
      Resolve(pLibrary, "dc1394_set_registers", &p->pfnSetRegisters) &&
      Resolve(pLibrary, "dc1394_video_get_supported_modes", &p->pfnGetSupportedModes) &&
      Resolve(pLibrary, "dc1394_video_get_supported_framerates", &p->pfnGetSupportedFramerates) &&
      Resolve(pLibrary, "dc1394_video_get_mode", &p->pfnGetMode) &&
      Resolve(pLibrary, "dc1394_video_set_mode", &p->pfnSetMode) &&
      Resolve(pLibrary, "dc1394_video_get_framerate", &p->pfnGetFramerate) &&
      Resolve(pLibrary, "dc1394_video_set_framerate", &p->pfnSetFramerate) &&
      Resolve(pLibrary, "dc1394_video_set_transmission", &p->pfnSetTransmission) &&
      Resolve(pLibrary, "dc1394_format7_get_image_size", &p->pfnF7GetImageSize) &&
      Resolve(pLibrary, "dc1394_format7_get_image_position", &p->pfnF7GetImagePosition) &&
      Resolve(pLibrary, "dc1394_format7_get_color_coding", &p->pfnF7GetColorCoding) &&
      Resolve(pLibrary, "dc1394_format7_get_packet_size", &p->pfnF7GetPacketSize) &&
      Resolve(pLibrary, "dc1394_format7_get_max_image_size", &p->pfnF7GetMaxImageSize) &&
      Resolve(pLibrary, "dc1394_format7_get_unit_size", &p->pfnF7GetUnitSize) &&
      Resolve(pLibrary, "dc1394_format7_get_unit_position", &p->pfnF7GetUnitPosition) &&
      Resolve(pLibrary, "dc1394_set_format7_register", &p->pfnSetFormat7Register) &&
      Resolve(pLibrary, "dc1394_capture_setup", &p->pfnCaptureSetup) &&
      Resolve(pLibrary, "dc1394_capture_stop", &p->pfnCaptureStop) &&
      Resolve(pLibrary, "dc1394_capture_get_fileno", &p->pfnCaptureGetFileno) &&
      Resolve(pLibrary, "dc1394_capture_dequeue", &p->pfnCaptureDequeue) &&
      Resolve(pLibrary, "dc1394_capture_enqueue", &p->pfnCaptureEnqueue);
  if (!bComplete) {
    dlclose(pLibrary);
    return false;
  }
  for (const dc1394log_t type : {DC1394_LOG_ERROR, DC1394_LOG_WARNING}) {
    p->pfnLogRegisterHandler(type, &DiscardMessage, nullptr);
  }
  return true;
}

}  // namespace

const Dc1394Functions* Dc1394() {
  static Dc1394Functions functions{};
  static std::once_flag once;
  static bool bLoaded = false;
  std::call_once(once, [] { bLoaded = Load(&functions); });
  return bLoaded ? &functions : nullptr;
}

void SetDc1394LibraryName(const char* pszName) { LibraryName() = pszName != nullptr ? pszName : ""; }

}  // namespace dc1394drv
