// The colour filter array over a stream's pixels, decided in one place for
// every front end (the tool, the GStreamer source, and through the Bayer
// helper library, Python). In this order:
//
//   1. the user's override;
//   2. COLOR_FILTER_ID of the Format 7 mode in force, when its coding is RAW8
//      or RAW16 (a failed read or a value above 3 counts as absent);
//   3. the vendor register BAYER_TILE_MAPPING (a failed read, "YYYY" or
//      anything but one of the four 2x2 tiles counts as absent);
//   4. none: the stream is grey.
//
// Only codings of one sample per pixel (Mono8, Mono16, RAW8, RAW16) carry a
// filter; every other stream has none, whatever the override says.
//
// The registers and the override name the SENSOR's filter, at its top-left
// pixel: one setting stays right wherever a Format 7 area lies. The image's
// own filter is that filter shifted by the area's left and top position.
#pragma once

#include <cstdint>
#include <optional>

#include "camera_query.h"
#include "demosaic.h"

namespace iidccam {

enum class FilterSource { None, Override, ColorFilterRegister, TileMapping };
// "none", "override", "COLOR_FILTER_ID", "BAYER_TILE_MAPPING".
const char* FilterSourceName(FilterSource source);

struct FilterChoice {
  std::optional<BayerFilter> sensor;  // at the sensor's top-left pixel
  FilterSource source = FilterSource::None;

  // The filter of an image whose top-left pixel lies at (nLeft, nTop) on the
  // sensor.
  std::optional<BayerFilter> ImageFilter(uint32_t nLeft, uint32_t nTop) const
  {
      return sensor ? std::optional(ShiftBayerFilter(*sensor, nLeft, nTop)) : std::nullopt;
  }
};

// Mono8, Mono16, RAW8 and RAW16.
bool CarriesFilter(int nColor);
// The filter of a BAYER_TILE_MAPPING value; nothing for "YYYY" and others.
std::optional<BayerFilter> TileMappingFilter(uint32_t dwValue);

// The filter of a stream of format id (its format and mode) in coding nColor,
// from the registers read answers (RegistersOf(handle) for an open camera).
FilterChoice ChooseFilter(const RegisterReader& read, uint32_t formatId, int nColor,
                          std::optional<BayerFilter> override);

}  // namespace iidccam
