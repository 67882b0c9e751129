#include "vcam/model/pattern.h"

#include <algorithm>
#include <array>

#include "vcam/model/formats.h"

namespace vcam {
namespace {

constexpr std::array<std::uint8_t, 8> BAR_U = {128, 84, 170, 44, 212, 16, 240, 100};
constexpr std::array<std::uint8_t, 8> BAR_V = {128, 200, 60, 230, 30, 150, 90, 16};

// Walks the pixels of a frame in raster order without divisions.
class CPixelWalk {
public:
  explicit CPixelWalk(std::uint32_t nWidth) : m_nWidth(nWidth) {}
  PatternPixel Next(std::uint32_t nSequence) {
    const PatternPixel p = PatternAt(m_x, m_y, nSequence);
    if (++m_x == m_nWidth) {
      m_x = 0;
      ++m_y;
    }
    return p;
  }

private:
  std::uint32_t m_nWidth;
  std::uint32_t m_x = 0, m_y = 0;
};

// Collects bytes into the frame, dropping what does not fit.
class CByteSink {
public:
  explicit CByteSink(std::span<std::uint8_t> out) : m_out(out) {}
  bool Full() const { return m_n >= m_out.size(); }
  void Put(std::uint8_t b) {
    if (m_n < m_out.size()) m_out[m_n] = b;
    ++m_n;
  }

private:
  std::span<std::uint8_t> m_out;
  std::size_t m_n = 0;
};

// Writes bytes straight on, into a buffer known to hold every group.
class CRawSink {
public:
  explicit CRawSink(std::uint8_t* p) : m_p(p) {}
  static constexpr bool Full() { return false; }
  void Put(std::uint8_t b) { *m_p++ = b; }

private:
  std::uint8_t* m_p;
};

template <class SINK>
void Put16(SINK& sink, std::uint16_t w) {
  sink.Put(static_cast<std::uint8_t>(w >> 8));
  sink.Put(static_cast<std::uint8_t>(w));
}

// One loop per coding, so the coding is decided once per frame, not per group.
template <class SINK>
void DrawGroups(std::uint32_t nColor, std::uint32_t nWidth, std::uint64_t nPixels, std::uint32_t nSequence,
                SINK& sink) {
  CPixelWalk walk(nWidth);
  const auto each = [&](std::uint64_t nGroup, auto put) {
    for (std::uint64_t i = 0; i < nPixels && !sink.Full(); i += nGroup) put();
  };
  switch (nColor) {
    case COLOR_MONO8: each(1, [&] { sink.Put(walk.Next(nSequence).y); }); break;
    case COLOR_MONO16: each(1, [&] { Put16(sink, walk.Next(nSequence).y16); }); break;
    case COLOR_YUV444:
      each(1, [&] {
        const PatternPixel p = walk.Next(nSequence);
        sink.Put(p.u), sink.Put(p.y), sink.Put(p.v);
      });
      break;
    case COLOR_RGB8:
      each(1, [&] {
        const PatternPixel p = walk.Next(nSequence);
        sink.Put(p.r), sink.Put(p.g), sink.Put(p.b);
      });
      break;
    case COLOR_RGB16:
      each(1, [&] {
        const PatternPixel p = walk.Next(nSequence);
        Put16(sink, static_cast<std::uint16_t>(p.r * 257)), Put16(sink, static_cast<std::uint16_t>(p.g * 257));
        Put16(sink, static_cast<std::uint16_t>(p.b * 257));
      });
      break;
    case COLOR_YUV422:  // chroma of the pair's first pixel
      each(2, [&] {
        const PatternPixel p0 = walk.Next(nSequence);
        const PatternPixel p1 = walk.Next(nSequence);
        sink.Put(p0.u), sink.Put(p0.y), sink.Put(p0.v), sink.Put(p1.y);
      });
      break;
    case COLOR_YUV411:  // chroma of the quad's first pixel
      each(4, [&] {
        const PatternPixel p0 = walk.Next(nSequence);
        const PatternPixel p1 = walk.Next(nSequence);
        const PatternPixel p2 = walk.Next(nSequence);
        const PatternPixel p3 = walk.Next(nSequence);
        sink.Put(p0.u), sink.Put(p0.y), sink.Put(p1.y), sink.Put(p0.v), sink.Put(p2.y), sink.Put(p3.y);
      });
      break;
    default: break;
  }
}

std::uint32_t GroupPixels(std::uint32_t nColor) {
  return nColor == COLOR_YUV411 ? 4 : nColor == COLOR_YUV422 ? 2 : 1;
}

}  // namespace

PatternPixel PatternAt(std::uint32_t x, std::uint32_t y, std::uint32_t nSequence) {
  const std::uint32_t nBar = (x >> 4) & 7;
  const std::uint8_t luma = static_cast<std::uint8_t>(x + y + nSequence);
  PatternPixel p{};
  p.y = luma;
  p.u = BAR_U[nBar];
  p.v = BAR_V[nBar];
  p.r = luma;
  p.g = static_cast<std::uint8_t>(nBar * 32 + 16);
  p.b = static_cast<std::uint8_t>(255 - luma);
  p.y16 = static_cast<std::uint16_t>(luma << 8 | ((x ^ y) & 0xFF));
  return p;
}

bool DrawTestPattern(std::uint32_t nColor, std::uint32_t nWidth, std::uint32_t nHeight, std::uint32_t nSequence,
                     std::span<std::uint8_t> frame) {
  if (!IsKnownColorCoding(nColor)) return false;
  nColor = StreamColor(nColor);
  const std::uint64_t cbFrame = FrameBytes(nColor, nWidth, nHeight);
  const std::span<std::uint8_t> out = frame.first(static_cast<std::size_t>(std::min<std::uint64_t>(cbFrame, frame.size())));
  const std::uint64_t nPixels = std::uint64_t{nWidth} * nHeight;
  // The common case, whole rows of whole groups into a buffer of the frame's
  // size, goes without a bounds check per byte.
  if (out.size() == cbFrame && nWidth % GroupPixels(nColor) == 0) {
    CRawSink sink(out.data());
    DrawGroups(nColor, nWidth, nPixels, nSequence, sink);
  } else {
    CByteSink sink(out);
    DrawGroups(nColor, nWidth, nPixels, nSequence, sink);
  }
  for (std::size_t i = 0; i < 4 && i < out.size(); ++i) out[i] = static_cast<std::uint8_t>(nSequence >> (8 * i));
  return true;
}

std::uint32_t FrameSequence(std::span<const std::uint8_t> frame) {
  std::uint32_t n = 0;
  for (std::size_t i = 0; i < 4 && i < frame.size(); ++i) n |= static_cast<std::uint32_t>(frame[i]) << (8 * i);
  return n;
}

}  // namespace vcam
