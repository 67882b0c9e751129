// --format, --rate and --area, shared by set, grab and view: parsed when the
// command line is read, checked against what the camera offers, and only then
// handed to the library.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "iidc.h"
#include "exit_status.h"
#include "names.h"

namespace CLI {
class App;
}

namespace iidccam {
class CCameraSession;
}

namespace iidctool {

using iidccam::CCameraSession;

struct VideoSettings {
  std::string format, rate, area;  // as typed; empty: leave as it is
  // Parsed forms, filled by Parse.
  std::optional<FormatSpec> formatSpec;
  std::optional<float> fRate;
  std::optional<iidc_area> areaValue;

  void Parse();
  bool Any() const { return formatSpec || fRate || areaValue; }
};

void AddVideoOptions(CLI::App& command, VideoSettings& settings);

// Puts the settings into force, each after checking it against the camera;
// reports what changed to out when given.
void ApplyVideoSettings(const CCameraSession& camera, const VideoSettings& settings, std::ostream* pOut);

}  // namespace iidctool
