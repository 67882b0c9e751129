// Feature assignments as users type them ("gain=200 shutter=auto
// brightness=one-push"): parsed, checked against what each feature of the
// camera can do, and turned into the requests iidc_setfeature takes. The
// tool's set command and the GStreamer source's features property share
// them. Failures throw CCameraError (Settings) with a message that
// says what is accepted.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "iidc.h"

namespace iidccam {

class CCameraSession;

struct FeatureAssignment {
  std::string text;  // as typed, for messages
  uint32_t nId = 0;
  std::string value;
};

// The feature of a name; an unknown name fails with the list of names.
uint32_t FeatureOrFail(const std::string& name);

// One FEATURE=VALUE.
FeatureAssignment ParseAssignment(const std::string& text);
// Assignments separated by white space, as one string holds them.
std::vector<FeatureAssignment> ParseAssignments(const std::string& text);

// The requests for the assignments, every one checked against the camera
// before any is made.
std::vector<iidc_feature> FeatureRequests(const CCameraSession& camera,
                                          const std::vector<FeatureAssignment>& assignments);
// Makes one request; a refusal fails the camera session with the text.
void SetFeature(const CCameraSession& camera, const iidc_feature& request, const std::string& text);

}  // namespace iidccam
