// iidc_getstring walking an arbitrary configuration ROM: every identity text
// of the open camera, whose ROM is the input, by length query and into
// buffers of several sizes, guarded on both sides.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_camera.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t cbData) {
  vcam::Profile camera = fuzz::SmallCamera();
  camera.rawRom = fuzz::Quadlets(pData, cbData);
  if (camera.rawRom.size() > 256) {
    camera.rawRom.resize(256);
  }
  if (camera.rawRom.empty()) {
    camera.rawRom.push_back(0);  // an empty list would mean the generated ROM
  }
  if (fuzz::COpenCamera::Get().Play(camera) == nullptr) {
    return 0;
  }
  constexpr std::uint8_t GUARD = 0xA5;
  for (std::uint32_t id : {IIDC_STRING_UNIQUEID, IIDC_STRING_VENDOR, IIDC_STRING_MODEL}) {
    const int32_t cbNeeded = iidc_getstring(0, id, nullptr, 0);
    if (cbNeeded < 0) {
      std::abort();
    }
    // A leaf may claim far more than the ROM holds; a few kilobytes of room
    // show as well whether a call stays within what it is given.
    for (int32_t cbBuffer : {0, 1, std::min(cbNeeded, int32_t{4096}), 300}) {
      // One heap block with guard bytes after the room the call is given.
      std::vector<char> buffer(static_cast<std::size_t>(cbBuffer) + 16, static_cast<char>(GUARD));
      const int32_t cbWritten = iidc_getstring(0, id, buffer.data(), cbBuffer);
      if (cbWritten < 0 || cbWritten > cbBuffer) {
        std::abort();
      }
      for (std::size_t i = static_cast<std::size_t>(cbBuffer); i < buffer.size(); ++i) {
        if (buffer[i] != static_cast<char>(GUARD)) {
          std::abort();  // written past the size it was given
        }
      }
    }
  }
  return 0;
}
