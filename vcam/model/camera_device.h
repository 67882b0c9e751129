// An IIDC camera as a driver face (drivers/face) reaches it, whatever lies
// behind: its registers, its Format 7 area request, the Format 0-2 modes it
// offers and the stream its registers select. The virtual camera's model
// answers it from its register memory (camera_model.h, which says what each
// call answers), the libdc1394 driver's camera from a camera on the bus.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "vcam/model/formats.h"
#include "vcam/model/result.h"

namespace vcam {

// Byte layout of the Format 7 area request (64 bytes, little-endian).
constexpr std::size_t AREA_REQUEST_BYTES = 64;
constexpr std::size_t AREA_LEFT_AT = 24, AREA_TOP_AT = 28, AREA_WIDTH_AT = 32, AREA_HEIGHT_AT = 36;

// The video stream the registers select.
struct StreamInfo {
  bool bValid = false;  // false when the registers select no mode the camera offers
  std::uint32_t nFormat = 0, nMode = 0;
  std::optional<unsigned> rateCode;  // Formats 0-2 only
  std::uint32_t nColor = 0, nBitsPerPixel = 0;
  std::uint32_t nLeft = 0, nTop = 0, nWidth = 0, nHeight = 0;
  std::uint64_t cbFrame = 0;       // width x height x bits per pixel / 8
  std::int64_t llInterval = 0;     // frame period, 100-ns units
  std::uint32_t cbPacket = 0;      // bytes per isochronous packet; 0: the bus cannot carry it
  // A Bayer mosaic's filter at the frame's top-left pixel; FILTER_NONE for
  // any other frame.
  std::uint32_t nFilter = FILTER_NONE;
};

// One Format 0-2 mode the inquiry registers offer.
struct StandardModeInfo {
  std::uint32_t nFormat = 0, nMode = 0;
  StandardMode geometry{};
  std::uint32_t dwRates = 0;  // V_RATE_INQ_f_m
  std::uint64_t cbFrame = 0;
};

class CCameraDevice {
 public:
  virtual ~CCameraDevice() = default;

  // Offsets from the command-register base, wrapping in 32 bits.
  virtual Result ReadQuadlet(std::uint32_t dwOffset, std::uint32_t* pdwValue) = 0;
  virtual Result WriteQuadlet(std::uint32_t dwOffset, std::uint32_t dwValue) = 0;
  // The Format 7 area request block (at least AREA_REQUEST_BYTES).
  virtual Result ApplyAreaRequest(const void* pRequest, std::size_t cbRequest) = 0;
  // The mode with the offered rate nearest to llInterval (0: the fastest).
  virtual Result SelectStandardMode(std::uint32_t nFormat, std::uint32_t nMode, std::int64_t llInterval) = 0;
  virtual std::vector<StandardModeInfo> EnumerateStandardModes() = 0;
  virtual StreamInfo GetStream() = 0;

 protected:
  CCameraDevice() = default;
  CCameraDevice(const CCameraDevice&) = default;
  CCameraDevice& operator=(const CCameraDevice&) = default;
};

}  // namespace vcam
