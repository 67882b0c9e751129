// The behaviour suite's common ground: what the two built-in virtual cameras
// are, the library started and ended around every test, and the few facts of
// the cameras' test pattern a test checks frames against.
//
// Everything here goes through the public header only, so the same sources
// run on Linux (emulated platform) and on Windows (iidc.dll over a real
// DirectShow). The cameras run on real time: every wait is bounded, nothing
// is timed.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <utility>
#include <vector>

#include "iidc.h"

namespace behaviour {

// The built-in pair: index 0 a colour camera, index 1 a monochrome one.
constexpr int32_t COLOR_CAMERA = 0;
constexpr int32_t MONO_CAMERA = 1;
constexpr int32_t CAMERA_COUNT = 2;

// Upper bound of any wait for frames. Under a real DirectShow the first frame
// of a run comes a good while after the run starts.
constexpr uint32_t WAIT_MS = 5000;

// True when the suite runs on the cameras of the emulated FireWire bus
// through the library's libdc1394 driver (IIDC_DRIVERS=dc1394), where a few
// figures are the bus's rather than the camera's.
inline bool OnTheBus() {
  const char* pszDrivers = std::getenv("IIDC_DRIVERS");
  return pszDrivers != nullptr && std::strcmp(pszDrivers, "dc1394") == 0;
}

// Format ids as the catalogue lists them, and as the current format reports
// Formats 0-2.
constexpr uint32_t ListedId(uint32_t format, uint32_t mode, uint32_t color) {
  return IIDC_FORMATID_LISTED | mode << 12 | format << 8 | color;
}
constexpr uint32_t CurrentId(uint32_t format, uint32_t mode) {
  return IIDC_FORMATID_CURRENT | mode << 12 | format << 8;
}

// Colour camera: Format 0 mode 3 (640 x 480 YUV422) at 30 frames per second
// at power-up.
constexpr uint32_t COLOR_INITIAL_ID = ListedId(0, 3, IIDC_COLOR_YUV422);
constexpr int32_t VGA_WIDTH = 640;
constexpr int32_t VGA_HEIGHT = 480;
constexpr int32_t VGA_YUV422_BYTES = VGA_WIDTH * VGA_HEIGHT * 2;
constexpr int32_t VGA_MONO8_BYTES = VGA_WIDTH * VGA_HEIGHT;
// Monochrome camera: Format 0 mode 5 (640 x 480 Mono8) at power-up.
constexpr uint32_t MONO_INITIAL_ID = ListedId(0, 5, IIDC_COLOR_MONO8);

// Camera registers, as offsets from the command-register base.
constexpr uint32_t REG_V_FORMAT_INQ = 0x100;
constexpr uint32_t REG_CUR_V_FRM_RATE = 0x600;
constexpr uint32_t REG_CUR_V_MODE = 0x604;
constexpr uint32_t REG_CUR_V_FORMAT = 0x608;
constexpr uint32_t REG_BRIGHTNESS = 0x800;
// Addresses of the initial register space below the base (the configuration
// ROM starts at its byte 0x400) are reached by offsets that wrap.
constexpr uint32_t INITIAL_SPACE = 0xFF100000;

// --- The virtual cameras' test pattern -------------------------------------
//
// Bytes 0-3 of every frame carry its sequence number (least significant byte
// first), counted from 0 each time the camera starts streaming. Luma is a
// diagonal ramp, (x + y + sequence) mod 256; chroma is eight vertical bars,
// 16 pixels wide.

inline uint32_t FrameSequence(const unsigned char* pFrame) {
  return uint32_t{pFrame[0]} | uint32_t{pFrame[1]} << 8 | uint32_t{pFrame[2]} << 16 | uint32_t{pFrame[3]} << 24;
}

struct Yuv {
  uint8_t y, u, v;
};

inline Yuv PatternAt(uint32_t x, uint32_t y, uint32_t nSequence) {
  static constexpr uint8_t BAR_U[8] = {128, 84, 170, 44, 212, 16, 240, 100};
  static constexpr uint8_t BAR_V[8] = {128, 200, 60, 230, 30, 150, 90, 16};
  const uint32_t nBar = (x >> 4) & 7;
  return {static_cast<uint8_t>(x + y + nSequence), BAR_U[nBar], BAR_V[nBar]};
}

// Blue, green and red of a YUV pixel by the library's floating-point formula,
// packed as 0xBBGGRR.
inline uint32_t FloatBgr(Yuv p) {
  const int u = p.u - 128;
  const int v = p.v - 128;
  const auto clamp = [](int n) { return static_cast<uint32_t>(std::clamp(n, 0, 255)); };
  const int b = static_cast<int>(1.771 * u);
  const int g = static_cast<int>(-0.7144 * v - 0.3457 * u);
  const int r = static_cast<int>(1.4022 * v);
  return clamp(p.y + b) << 16 | clamp(p.y + g) << 8 | clamp(p.y + r);
}

// Pixel (x, y) of a bottom-up 24-bit image of the given size, as 0xBBGGRR.
inline uint32_t ImagePixel(const unsigned char* pImage, int32_t nWidth, int32_t nHeight, int32_t x, int32_t y) {
  const unsigned char* p = pImage + (static_cast<size_t>(nHeight - 1 - y) * nWidth + x) * 3;
  return uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
}

// Runs a restoring action when the test body ends, also after a failed
// assertion, so the cameras (shared by every test of one process) keep their
// power-up settings.
class CFinally {
 public:
  explicit CFinally(std::function<void()> fn) : m_fn(std::move(fn)) {}
  ~CFinally() { m_fn(); }
  CFinally(const CFinally&) = delete;
  CFinally& operator=(const CFinally&) = delete;

 private:
  std::function<void()> m_fn;
};

}  // namespace behaviour

// The library started over the built-in pair; cameras opened through Open()
// are brought back to the opened state and closed after the test even when it
// fails half-way, and the library is ended.
class BehaviourTest : public ::testing::Test {
 protected:
  enum class Ring { None, Library, Caller };

  void SetUp() override {
    ASSERT_TRUE(iidc_init());
    ASSERT_EQ(iidc_getcameracount(), behaviour::CAMERA_COUNT) << "the built-in camera pair is expected";
  }

  void TearDown() override {
    for (const auto& [h, ring] : m_open) {
      iidc_idle(h);
      if (ring == Ring::Library) iidc_freeframe(h);
      if (ring == Ring::Caller) iidc_releasebuffer(h);
      iidc_clearcapture(h);
      iidc_close(h);
    }
    m_open.clear();
    iidc_uninit();
  }

  iidc_handle Open(int32_t index) {
    iidc_handle h = iidc_open(index);
    EXPECT_NE(h, nullptr) << "iidc_open(" << index << "): 0x" << std::hex << iidc_getlasterror(-1);
    if (h != nullptr) m_open[h] = Ring::None;
    return h;
  }

  bool Close(iidc_handle h) {
    m_open.erase(h);
    return iidc_close(h) != 0;
  }

  // Prepares the capture graph and allocates a ring of n library buffers.
  bool PrepareWithFrames(iidc_handle h, int32_t n) {
    if (!iidc_preparecapture(h)) return false;
    m_open[h] = Ring::Library;
    return iidc_allocframe(h, n) == n;
  }

  // Prepares the capture graph and attaches the caller's buffers.
  bool PrepareWithBuffers(iidc_handle h, std::vector<std::vector<unsigned char>>& buffers) {
    if (!iidc_preparecapture(h)) return false;
    m_open[h] = Ring::Caller;
    m_pointers.clear();
    for (auto& buffer : buffers) m_pointers.push_back(buffer.data());
    const auto cb = static_cast<int32_t>(m_pointers.size() * sizeof(unsigned char*));
    return iidc_attachbuffer(h, m_pointers.data(), cb) == static_cast<int32_t>(buffers.size());
  }

  // The library's figure of frames delivered since capture started, -1 when
  // it has none.
  static int32_t FramesDelivered(iidc_handle h) {
    iidc_transferinfo info{-1, -1};
    return iidc_gettransferinfo(h, &info, sizeof info) ? info.framecount : -1;
  }

  // Waits for frames until more than nAfter have been delivered, within
  // WAIT_MS. The camera counts a frame as it sends it, before it is in the
  // ring; a frame wait returns once a frame is in the ring, so there is always
  // at least one wait, and the newest buffer is complete afterwards.
  static bool WaitForFramesBeyond(iidc_handle h, int32_t nAfter) {
    const iidc_waitinfo wait{IIDC_WAIT_FRAME, behaviour::WAIT_MS};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(behaviour::WAIT_MS);
    do {
      iidc_wait(h, &wait, 0);
    } while (FramesDelivered(h) <= nAfter && std::chrono::steady_clock::now() < deadline);
    return FramesDelivered(h) > nAfter;
  }

  std::map<iidc_handle, Ring> m_open;
  std::vector<unsigned char*> m_pointers;
};
