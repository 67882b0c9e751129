// Puts a format into force on an open camera; every front end selects formats
// through here. Standard modes (Formats 0 to 2) go through the library. The
// library selects no Format 7 mode, so a Format 7 mode and its colour coding
// are chosen in the camera's own registers, as IIDC defines them:
//
//   CUR_V_FORMAT <- 7 << 29, CUR_V_MODE <- mode << 29;
//   V_CSR_INQ_7_mode names the mode's register block, whose
//   COLOR_CODING_ID <- coding << 24;
//   the camera must then report that mode and coding (iidc_currentformat),
//   and the image area goes through the library (iidc_setarea).
#pragma once

#include <cstdint>
#include <optional>

#include "iidc.h"

namespace iidccam {

class CCameraSession;

// A standard mode, at fRate frames per second unless fRate is 0 (the rate the
// library keeps or chooses).
void SelectStandardFormat(const CCameraSession& camera, uint32_t id, float fRate);
// A Format 7 mode and coding with the area given, or else the area the mode's
// registers hold. Settings when the camera does not take the mode.
void SelectFormat7(const CCameraSession& camera, uint32_t id, const std::optional<iidc_area>& area);

}  // namespace iidccam
