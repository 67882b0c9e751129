// Fault switches of one virtual camera. They are shared (Profile::pFaults) by
// every object that plays that camera, so a test can flip them while the
// camera runs. Register switches are honoured by CCameraModel itself; the
// interface, delivery and size switches by the capture filter.
#pragma once

#include <atomic>
#include <cstdint>

#include "vcam/model/result.h"

namespace vcam {

// An inclusive range of register offsets whose transactions fail with a code.
class CFaultRange {
public:
  void Set(std::uint32_t dwFirst, std::uint32_t dwLast, Result hr = VCAM_E_FAIL) {
    m_dwFirst = dwFirst;
    m_dwLast = dwLast;
    m_hr = hr;
    m_bOn = true;
  }
  void SetAll(Result hr = VCAM_E_FAIL) { Set(0, 0xFFFFFFFFu, hr); }
  void Clear() { m_bOn = false; }
  bool IsOn() const { return m_bOn; }
  std::uint32_t First() const { return m_dwFirst; }
  std::uint32_t Last() const { return m_dwLast; }
  Result Code() const { return m_hr; }
  // The code to fail a transaction at dwOffset with, or VCAM_S_OK.
  Result Check(std::uint32_t dwOffset) const {
    return m_bOn && dwOffset >= m_dwFirst && dwOffset <= m_dwLast ? m_hr.load() : VCAM_S_OK;
  }

private:
  // Read by the streaming and application threads; a switch flipped while a
  // transaction runs may or may not hit it, which is what a test expects.
  std::atomic<bool> m_bOn{false};
  std::atomic<std::uint32_t> m_dwFirst{0};
  std::atomic<std::uint32_t> m_dwLast{0};
  std::atomic<Result> m_hr{VCAM_E_FAIL};
};

struct CameraFaults {
  CFaultRange readFailure;   // register reads in the range fail
  CFaultRange writeFailure;  // register writes in the range fail
  // Interfaces the capture filter does not hand out.
  std::atomic<bool> bNoStreamConfig{false};   // IAMStreamConfig on the pin
  std::atomic<bool> bNoPropertySet{false};    // IKsPropertySet
  std::atomic<bool> bNoDroppedFrames{false};  // IAMDroppedFrames
  std::atomic<bool> bNoVideoControl{false};   // IAMVideoControl
  std::atomic<bool> bRefuseSetFormat{false};  // every format request is refused
  std::atomic<bool> bRefuseArea{false};       // every area request is refused
  // The camera is gone: no frames, and every register transaction fails.
  std::atomic<bool> bUnplugged{false};
  // Frames the camera still sends before it is gone as bUnplugged says; 0:
  // no such countdown.
  std::atomic<std::uint32_t> nFramesBeforeLoss{0};
  // Extra bytes appended to each delivered sample beyond the negotiated size.
  std::atomic<std::uint32_t> cbOversize{0};
  // Capabilities the pin counts beyond its modes; asked for one, it answers
  // S_FALSE without a media type, as past its last mode.
  std::atomic<std::uint32_t> nExtraCaps{0};

  void Clear() {
    readFailure.Clear();
    writeFailure.Clear();
    bNoStreamConfig = bNoPropertySet = bNoDroppedFrames = bNoVideoControl = false;
    bRefuseSetFormat = bRefuseArea = bUnplugged = false;
    cbOversize = nExtraCaps = 0;
    nFramesBeforeLoss = 0;
  }
};

}  // namespace vcam
