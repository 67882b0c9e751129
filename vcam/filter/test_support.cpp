#include "vcam/filter/test_support.h"

#include <span>

#include "vcam/filter/capture_filter.h"
#include "vcam/filter/devices.h"
#include "vcam/model/pattern.h"

namespace vcam {

std::vector<std::shared_ptr<CSteppedClock>> InstallSteppedCameraSet(std::vector<Profile> set) {
  std::vector<std::shared_ptr<CSteppedClock>> clocks;
  for (Profile& profile : set) {
    auto pClock = std::make_shared<CSteppedClock>();
    profile.clock = ClockKind::Stepped;
    profile.pClock = pClock;
    clocks.push_back(std::move(pClock));
  }
  SetActiveCameraSet(std::move(set));
  return clocks;
}

std::shared_ptr<CSteppedClock> GetSteppedClock(std::size_t nIndex) {
  const std::shared_ptr<CCameraModel> pCamera = GetCameraModel(nIndex);
  return pCamera ? std::dynamic_pointer_cast<CSteppedClock>(pCamera->Clock()) : nullptr;
}

std::shared_ptr<CameraFaults> GetCameraFaults(std::size_t nIndex) {
  const std::shared_ptr<CCameraModel> pCamera = GetCameraModel(nIndex);
  return pCamera ? pCamera->Faults() : nullptr;
}

std::shared_ptr<CDriverLog> GetDriverLog(std::size_t nIndex) { return DriverLogOf(GetCameraModel(nIndex)); }

std::shared_ptr<CCameraModel> CameraOfFilter(IBaseFilter* pFilter) {
  CLSID clsid{};
  if (pFilter == nullptr || FAILED(pFilter->GetClassID(&clsid)) || !IsEqualGUID(clsid, CLSID_VcamCaptureFilter)) {
    return nullptr;
  }
  return static_cast<CVcamFilter*>(pFilter)->CameraShared();
}

std::uint32_t SampleSequence(const BYTE* pSample, std::size_t cbSample, const VideoShape& shape, bool bFlipVertical) {
  if (pSample == nullptr) {
    return 0;
  }
  const std::uint64_t cbFrame = shape.FrameBytes();
  std::size_t nAt = 0;
  const bool bBottomUp = shape.nColor == COLOR_MONO8;
  if (bBottomUp != bFlipVertical && shape.nHeight > 1 && cbFrame <= cbSample) {
    nAt = static_cast<std::size_t>(cbFrame / shape.nHeight * (shape.nHeight - 1));
  }
  return FrameSequence(std::span<const std::uint8_t>(pSample + nAt, cbSample - nAt));
}

}  // namespace vcam
