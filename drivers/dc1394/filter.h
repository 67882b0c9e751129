// The capture source filter of a camera reached through libdc1394: the
// driver face every camera shows (drivers/face/camera_filter.h), so the
// library drives it as it drives a virtual camera, over a camera on the bus
// and frames from libdc1394's ring (CDc1394Stream).
//
// Capture runs from Run to Stop: libdc1394's ring is set up and transmission
// switched on when the filter runs, and everything goes back to the bus when
// it stops, is released, or the camera leaves. A camera that leaves while
// streaming sends EC_DEVICE_LOST once; every later request fails with
// HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED) without touching the bus.
#pragma once

#include <memory>

#include "winapi.h"
#include "drivers/dc1394/stream.h"
#include "drivers/face/camera_filter.h"

namespace dc1394drv {

class CDc1394Camera;

// {8E0C5B1D-6A2F-4C73-B1E4-5D9A0F3C7E21}
inline constexpr CLSID CLSID_Dc1394CaptureFilter{0x8e0c5b1d, 0x6a2f, 0x4c73,
                                                 {0xb1, 0xe4, 0x5d, 0x9a, 0x0f, 0x3c, 0x7e, 0x21}};

class CDc1394Filter final : public vcam::CCameraFilter {
 public:
  explicit CDc1394Filter(std::shared_ptr<CDc1394Camera> pCamera);
  ~CDc1394Filter() override;

  // A new filter with one reference in *ppFilter.
  static HRESULT Create(std::shared_ptr<CDc1394Camera> pCamera, IBaseFilter** ppFilter);

  // CCameraFilter
  vcam::CCameraDevice& Device() const override;
  bool IsCameraLost() const override;

  // For the streaming thread.
  CDc1394Camera& Camera() const { return *m_pCamera; }

 protected:
  vcam::CCameraStream& Stream() override { return m_stream; }

 private:
  const std::shared_ptr<CDc1394Camera> m_pCamera;
  CDc1394Stream m_stream;
};

}  // namespace dc1394drv
