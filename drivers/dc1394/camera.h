// One IIDC camera reached through libdc1394: its registers, its modes and
// the stream they select, and its isochronous capture. The capture filter
// (filter.h) is this camera's driver face; everything it knows of the camera
// comes through here.
//
// Register offsets are the driver face's: bytes from the camera's
// command-register base, wrapping in 32 bits, so that offsets below the base
// reach the configuration ROM as they do on a Windows driver.
//
// A camera that leaves the bus (unplugged, or lost in a bus reset) is noticed
// by the first call that fails; from then on every call fails at once with
// VCAM_E_NOT_CONNECTED, and the camera never comes back on this object: a new
// enumeration finds it again.
//
// Thread use: the application's calls are serialised by a mutex; Dequeue and
// Enqueue belong to the streaming thread, between StartCapture and
// StopCapture, and take no lock (libdc1394 keeps capture on a file of its own).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "drivers/dc1394/library.h"
#include "vcam/model/camera_device.h"
#include "vcam/model/result.h"

namespace dc1394drv {

// A context of libdc1394 (one enumeration) shared by the cameras opened
// from it: it must outlive them.
using ContextPtr = std::shared_ptr<dc1394_t>;

// HRESULT_FROM_WIN32(ERROR_NO_SYSTEM_RESOURCES): capture could not be set up,
// most often because the bus has no bandwidth or channel left for the mode.
constexpr vcam::Result DC1394_E_NO_RESOURCES = static_cast<vcam::Result>(0x800705AAu);

class CDc1394Camera final : public vcam::CCameraDevice {
 public:
  // Null when libdc1394 cannot open the camera.
  static std::shared_ptr<CDc1394Camera> Open(ContextPtr pContext, std::uint64_t qwGuid, int nUnit);
  ~CDc1394Camera() override;
  CDc1394Camera(const CDc1394Camera&) = delete;
  CDc1394Camera& operator=(const CDc1394Camera&) = delete;

  vcam::Result ReadQuadlet(std::uint32_t dwOffset, std::uint32_t* pdwValue) override;
  vcam::Result WriteQuadlet(std::uint32_t dwOffset, std::uint32_t dwValue) override;

  // The Format 7 area request block (vcam/model/camera_device.h has its
  // layout): VCAM_E_NOT_FOUND outside Format 7, VCAM_E_INVALIDARG for a
  // rectangle the mode's inquiry registers do not allow.
  vcam::Result ApplyAreaRequest(const void* pRequest, std::size_t cbRequest) override;

  // The Format 0-2 modes the camera offers, and the mode and rate nearest to
  // llInterval (0: the fastest), as the virtual camera has them.
  std::vector<vcam::StandardModeInfo> EnumerateStandardModes() override;
  vcam::Result SelectStandardMode(std::uint32_t nFormat, std::uint32_t nMode, std::int64_t llInterval) override;
  // The stream the registers select; not valid when the camera is lost or
  // selects nothing it offers.
  vcam::StreamInfo GetStream() override;

  // Sets up libdc1394's DMA ring of nBuffers frames and switches
  // transmission on; DC1394_E_NO_RESOURCES when the bus cannot carry the
  // mode. StopCapture switches it off and gives back the ring, the channel
  // and the bandwidth; harmless when not capturing.
  vcam::Result StartCapture(std::uint32_t nBuffers);
  void StopCapture();
  // Streaming thread: the file to poll for frames, and the ring itself.
  int CaptureFile() const { return m_nCaptureFile; }
  dc1394error_t Dequeue(dc1394video_frame_t** ppFrame);
  void Enqueue(dc1394video_frame_t* pFrame);

  bool IsLost() const { return m_bLost.load(std::memory_order_acquire); }
  // Called when a call failed: finds out whether the camera is still on the
  // bus, and remembers when it is not.
  bool CheckLost();

 private:
  CDc1394Camera(ContextPtr pContext, dc1394camera_t* pCamera);

  // With m_mutex held.
  vcam::Result Failure();
  bool Format7Mode(dc1394video_mode_t* pMode);
  void ReleaseLostRing();

  const Dc1394Functions& m_fn;
  const ContextPtr m_pContext;   // keeps libdc1394's context alive for m_pCamera
  dc1394camera_t* const m_pCamera;
  std::mutex m_mutex;            // serialises libdc1394 calls outside the ring
  bool m_bCapturing = false;     // guarded by m_mutex
  int m_nCaptureFile = -1;       // set before the streaming thread starts
  int m_nDeadRingFile = -1;      // the ring's descriptor of a lost camera, now /dev/null; guarded by m_mutex
  std::atomic<bool> m_bLost{false};
};

}  // namespace dc1394drv
