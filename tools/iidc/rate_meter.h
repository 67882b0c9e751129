// The grab readout: frames per second, megabytes per second and dropped
// frames, measured over each second, and the progress bar. Times are seconds
// handed in by the caller, so any clock (or none) can drive it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace iidctool {

struct Readout {
  double fFramesPerSecond = 0;
  double fMegabytesPerSecond = 0;
  long nDropped = 0;  // since the start
};

class CRateMeter {
 public:
  explicit CRateMeter(double fStart) : m_fStart(fStart), m_fWindowStart(fStart) {}

  // nDelivered frames of cbFrame bytes arrived by time fNow, nDropped of
  // them not saved. Returns the readout of the last second once a second
  // has passed since the previous one.
  std::optional<Readout> Add(double fNow, long nDelivered, long nDropped, std::size_t cbFrame);
  // The figures over the whole run up to fNow.
  Readout Total(double fNow) const;

 private:
  double m_fStart;
  double m_fWindowStart;
  long m_nWindowFrames = 0;
  double m_fWindowBytes = 0;
  long m_nFrames = 0;
  double m_fBytes = 0;
  long m_nDropped = 0;
};

std::string ReadoutText(const Readout& readout);
// "[#######.............]  7/20" in nWidth characters of bar.
std::string ProgressBar(long nDone, long nTotal, int nWidth);

}  // namespace iidctool
