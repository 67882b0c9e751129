// libdc1394, loaded at run time: the functions the driver calls, resolved
// from libdc1394.so.25 on first use. A machine without it has no dc1394
// cameras and nothing else changes; the library never links against it.
//
// libdc1394's own messages go nowhere: the library writes nothing to the
// process's streams. Its log handlers are process-wide, so a program that
// also uses libdc1394 itself loses its messages too once the driver loaded it.
#pragma once

#include <dc1394/dc1394.h>

namespace dc1394drv {

struct Dc1394Functions {
  decltype(&dc1394_new) pfnNew;
  decltype(&dc1394_free) pfnFree;
  decltype(&dc1394_log_register_handler) pfnLogRegisterHandler;
  decltype(&dc1394_camera_enumerate) pfnCameraEnumerate;
  decltype(&dc1394_camera_free_list) pfnCameraFreeList;
  decltype(&dc1394_camera_new_unit) pfnCameraNewUnit;
  decltype(&dc1394_camera_free) pfnCameraFree;
  decltype(&dc1394_camera_get_node) pfnCameraGetNode;
  decltype(&dc1394_get_registers) pfnGetRegisters;
  decltype(&dc1394_set_registers) pfnSetRegisters;
  decltype(&dc1394_video_get_supported_modes) pfnGetSupportedModes;
  decltype(&dc1394_video_get_supported_framerates) pfnGetSupportedFramerates;
  decltype(&dc1394_video_get_mode) pfnGetMode;
  decltype(&dc1394_video_set_mode) pfnSetMode;
  decltype(&dc1394_video_get_framerate) pfnGetFramerate;
  decltype(&dc1394_video_set_framerate) pfnSetFramerate;
  decltype(&dc1394_video_set_transmission) pfnSetTransmission;
  decltype(&dc1394_format7_get_image_size) pfnF7GetImageSize;
  decltype(&dc1394_format7_get_image_position) pfnF7GetImagePosition;
  decltype(&dc1394_format7_get_color_coding) pfnF7GetColorCoding;
  decltype(&dc1394_format7_get_packet_size) pfnF7GetPacketSize;
  decltype(&dc1394_format7_get_max_image_size) pfnF7GetMaxImageSize;
  decltype(&dc1394_format7_get_unit_size) pfnF7GetUnitSize;
  decltype(&dc1394_format7_get_unit_position) pfnF7GetUnitPosition;
  decltype(&dc1394_set_format7_register) pfnSetFormat7Register;
  decltype(&dc1394_capture_setup) pfnCaptureSetup;
  decltype(&dc1394_capture_stop) pfnCaptureStop;
  decltype(&dc1394_capture_get_fileno) pfnCaptureGetFileno;
  decltype(&dc1394_capture_dequeue) pfnCaptureDequeue;
  decltype(&dc1394_capture_enqueue) pfnCaptureEnqueue;
};

// The functions, or null when the library or one of them is missing. The
// first call loads it (thread-safe); the library stays loaded until the
// process ends, as cameras and contexts may outlive any one user.
const Dc1394Functions* Dc1394();

// For tests: the file name to load instead of libdc1394.so.25, before the
// first Dc1394() call of the process.
void SetDc1394LibraryName(const char* pszName);

}  // namespace dc1394drv
