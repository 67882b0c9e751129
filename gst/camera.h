// An open camera of the plugin: what it offers, the stream the caps chose,
// and its frames. The camera's calls into the library are serialised by its
// own lock; graph work runs on the library thread (library_thread.h), frame
// work on the streaming thread that asks for frames.
//
// Frames are captured into a ring of the camera's own buffers. The library
// keeps one buffer of the ring locked at a time, so the ring can lend one
// frame at a time: a lent frame keeps its buffer locked until the last
// holder of its loan lets go. Other frames are read in place and copied,
// and the copy is trusted only if the ring did not come round to that
// buffer meanwhile (Intact).
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "bayer_filter.h"
#include "camera_query.h"
#include "error.h"
#include "iidc.h"
#include "library_thread.h"

namespace iidccam {
class CCameraSession;
}

namespace iidcgst {

// A failure in words for the user; its kind picks the GStreamer error.
using iidccam::CCameraError;

// The stream the caps chose: a catalogue entry, with the frame rate of a
// standard mode or the image area of a Format 7 mode.
struct StreamChoice {
  uint32_t id = 0;
  int nWidth = 0, nHeight = 0;
  float fRate = 0;    // standard modes
  iidc_area area{};   // Format 7
  // A mosaic's own filter (at the image's top-left pixel), for x-bayer caps
  // and for colour demosaiced by method; nothing: frames go as they are.
  std::optional<BayerFilter> filter;
  std::optional<DemosaicMethod> method;
  ColourOrder order = ColourOrder::Bgr;
};

// A camera of the system, for the device provider.
struct CameraName {
  int nIndex = 0;
  std::string uniqueId, vendor, model;
};

struct CFrame {
  const uint8_t* pData = nullptr;
  std::size_t cbData = 0;
  std::shared_ptr<void> pLoan;  // set when lent: the frame's buffer stays locked while this lives
  int32_t nCountAtTake = 0;     // the camera's frame count when it was taken (iidccam::CFrameTally)
};

class CRing;

class CCamera : public std::enable_shared_from_this<CCamera> {
 public:
  // The cameras the library sees.
  static std::vector<CameraName> List();
  // Opens the camera a selector names (an index, or a unique id; empty is
  // camera 0) and reads its catalogue, the mode in force first, with the
  // sensor's colour filter of each entry (the override where it applies).
  static std::shared_ptr<CCamera> Open(const std::string& selector,
                                       std::optional<BayerFilter> filterOverride = std::nullopt);
  ~CCamera();
  CCamera(const CCamera&) = delete;
  CCamera& operator=(const CCamera&) = delete;

  int Index() const { return m_nIndex; }
  const std::vector<iidccam::FormatEntry>& Formats() const { return m_formats; }
  // The sensor's filter of each entry of Formats(); nothing for grey.
  const std::vector<std::optional<BayerFilter>>& SensorFilters() const { return m_filters; }

  // Sets features from assignments as the iidc tool takes them
  // ("gain=200 shutter=auto"); all are checked before any is set.
  void SetFeatures(const std::string& text);

  // Puts the stream into force and captures continuously into a ring of
  // nBuffers (at least 3); a running capture is stopped first.
  void Start(const StreamChoice& choice, int nBuffers);
  void Stop();
  // Of the running stream: whether frames arrive bottom row first, the frame
  // rate the driver reports (0 when unknown) and the bytes of one frame.
  bool BottomUp() const { return m_bBottomUp; }
  float FrameRate() const { return m_fRate; }
  std::size_t FrameBytes() const { return m_cbFrame; }

  // Waits for a frame newer than the last one taken, and lends it when bLend
  // and no other frame is lent. Nothing when bStop was set. Throws Lost when
  // the camera stops answering, Timeout after timeout without a frame (zero:
  // no limit).
  std::optional<CFrame> NextFrame(bool bLend, std::chrono::milliseconds timeout, const std::atomic<bool>& bStop);
  // Whether a frame read in place without a loan was not overwritten by the
  // time its reader is done with it.
  bool Intact(const CFrame& frame);

 private:
  CCamera(const std::string& selector, std::optional<BayerFilter> filterOverride);
  void StopCapture();
  void SelectStream(const StreamChoice& choice);
  std::optional<CFrame> TakeNewest(const iidc_transferinfo& info, bool bLend);
  bool Answers();
  CCameraError LostError() const;
  void EndLoan(uint64_t nRun);
  int32_t SafeLead() const { return m_nBuffers - 3; }

  friend class CLoan;

  CLibraryHold m_hold;  // first: outlives the session it holds the library for
  std::mutex m_mutex;   // every library call on the camera
  std::unique_ptr<iidccam::CCameraSession> m_pSession;
  int m_nIndex = -1;
  std::vector<iidccam::FormatEntry> m_formats;
  std::vector<std::optional<BayerFilter>> m_filters;
  // Since open: whether the library's last format selection turned Mono8
  // rows the other way up (it does so for the standard Mono8 modes).
  bool m_bMono8Flipped = false;

  // The running stream; written by Start and Stop, read by the streaming
  // thread between them.
  std::shared_ptr<CRing> m_pRing;
  int32_t m_nBuffers = 0;
  std::size_t m_cbFrame = 0;
  bool m_bBottomUp = false;
  float m_fRate = 0;
  uint64_t m_nRun = 0;      // counts captures, so a loan of an earlier one unlocks nothing
  int32_t m_nTaken = 0;       // frame count at the last frame taken
  int32_t m_nLastBuffer = 0;  // its ring position; the library starts at 0
  bool m_bLent = false;     // a loan holds the library's frame lock
};

}  // namespace iidcgst
