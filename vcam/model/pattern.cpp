#include "vcam/model/pattern.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>

#include "vcam/model/formats.h"

namespace vcam {
namespace {

constexpr std::array<std::uint8_t, 8> BAR_U = {128, 84, 170, 44, 212, 16, 240, 100};
constexpr std::array<std::uint8_t, 8> BAR_V = {128, 200, 60, 230, 30, 150, 90, 16};

// Luma wraps every 256 steps in x + y + sequence, and the bars depend on x
// only, so row y + 256 repeats row y.
constexpr std::uint32_t PERIOD_ROWS = 256;

// What a sensor behind a filter whose top-left pixel is nFilter takes of the
// colour p at (x, y): red and blue on one diagonal of each 2x2 tile, green on
// the other.
std::uint8_t SensorSample(const PatternPixel& p, std::uint32_t x, std::uint32_t y, std::uint32_t nFilter) {
  const bool bOddColumn = ((x ^ nFilter >> 1) & 1) != 0;
  const bool bOddRow = ((y ^ nFilter) & 1) != 0;
  if (bOddColumn != bOddRow) return p.g;
  return bOddRow ? p.b : p.r;
}

// The filter a frame is drawn through: none but for the codings that send
// the sensor's samples.
std::uint32_t MosaicFilter(std::uint32_t nColor, std::uint32_t nFilter) {
  return IsSensorCoding(nColor) && nFilter < FILTER_NONE ? nFilter : FILTER_NONE;
}

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
  std::uint8_t NextSample(std::uint32_t nSequence, std::uint32_t nFilter) {
    const std::uint32_t x = m_x, y = m_y;
    return SensorSample(Next(nSequence), x, y, nFilter);
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
void DrawGroups(std::uint32_t nColor, std::uint32_t nFilter, std::uint32_t nWidth, std::uint64_t nPixels,
                std::uint32_t nSequence, SINK& sink) {
  CPixelWalk walk(nWidth);
  const auto each = [&](std::uint64_t nGroup, auto put) {
    for (std::uint64_t i = 0; i < nPixels && !sink.Full(); i += nGroup) put();
  };
  switch (nColor) {
    case COLOR_MONO8:
      if (nFilter != FILTER_NONE)
        each(1, [&] { sink.Put(walk.NextSample(nSequence, nFilter)); });
      else
        each(1, [&] { sink.Put(walk.Next(nSequence).y); });
      break;
    case COLOR_MONO16:  // 16-bit samples as RGB16 has them
      if (nFilter != FILTER_NONE)
        each(1, [&] { Put16(sink, static_cast<std::uint16_t>(walk.NextSample(nSequence, nFilter) * 257)); });
      else
        each(1, [&] { Put16(sink, walk.Next(nSequence).y16); });
      break;
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

// The bytes of the frame that the buffer holds.
std::span<std::uint8_t> FrameSpan(std::uint32_t nColor, std::uint32_t nWidth, std::uint32_t nHeight,
                                  std::span<std::uint8_t> frame) {
  const std::uint64_t cbFrame = FrameBytes(nColor, nWidth, nHeight);
  return frame.first(static_cast<std::size_t>(std::min<std::uint64_t>(cbFrame, frame.size())));
}

// The pattern's pixels, without the sequence number, into out (a FrameSpan).
void DrawPixels(std::uint32_t nColor, std::uint32_t nFilter, std::uint32_t nWidth, std::uint32_t nHeight,
                std::uint32_t nSequence, std::span<std::uint8_t> out) {
  const std::uint64_t nPixels = std::uint64_t{nWidth} * nHeight;
  // The common case, whole rows of whole groups into a buffer of the frame's
  // size, goes without a bounds check per byte.
  if (out.size() == FrameBytes(nColor, nWidth, nHeight) && nWidth % GroupPixels(nColor) == 0) {
    CRawSink sink(out.data());
    DrawGroups(nColor, nFilter, nWidth, nPixels, nSequence, sink);
  } else {
    CByteSink sink(out);
    DrawGroups(nColor, nFilter, nWidth, nPixels, nSequence, sink);
  }
}

void StampSequence(std::uint32_t nSequence, std::span<std::uint8_t> out) {
  for (std::size_t i = 0; i < 4 && i < out.size(); ++i) out[i] = static_cast<std::uint8_t>(nSequence >> (8 * i));
}

// pDst = pRow + pAdd byte by byte, modulo 256. Blocks of 16 bytes, which
// compilers turn into single vector additions, then the tail.
void AddBytes(const std::uint8_t* pRow, const std::uint8_t* pAdd, std::uint8_t* pDst, std::size_t cb) {
  constexpr std::size_t BLOCK = 16;
  std::size_t i = 0;
  for (; i + BLOCK <= cb; i += BLOCK) {
    std::array<std::uint8_t, BLOCK> sum;
    for (std::size_t k = 0; k < BLOCK; ++k) sum[k] = static_cast<std::uint8_t>(pRow[i + k] + pAdd[i + k]);
    std::memcpy(pDst + i, sum.data(), BLOCK);
  }
  for (; i < cb; ++i) pDst[i] = static_cast<std::uint8_t>(pRow[i] + pAdd[i]);
}

void ReverseRows(std::uint8_t* pFrame, std::size_t cbRow, std::uint32_t nRows) {
  for (std::uint32_t nTop = 0, nBottom = nRows - 1; nTop < nBottom; ++nTop, --nBottom)
    std::swap_ranges(pFrame + cbRow * nTop, pFrame + cbRow * (nTop + 1), pFrame + cbRow * nBottom);
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
                     std::span<std::uint8_t> frame, std::uint32_t nFilter) {
  if (!IsKnownColorCoding(nColor)) return false;
  nFilter = MosaicFilter(nColor, nFilter);
  nColor = StreamColor(nColor);
  const std::span<std::uint8_t> out = FrameSpan(nColor, nWidth, nHeight, frame);
  DrawPixels(nColor, nFilter, nWidth, nHeight, nSequence, out);
  StampSequence(nSequence, out);
  return true;
}

std::uint32_t FrameSequence(std::span<const std::uint8_t> frame) {
  std::uint32_t n = 0;
  for (std::size_t i = 0; i < 4 && i < frame.size(); ++i) n |= static_cast<std::uint32_t>(frame[i]) << (8 * i);
  return n;
}

bool CPatternPainter::Draw(std::uint32_t nColor, std::uint32_t nWidth, std::uint32_t nHeight,
                           std::uint32_t nSequence, std::span<std::uint8_t> frame, bool bReverseRows,
                           std::uint32_t nFilter) {
  if (!IsKnownColorCoding(nColor)) return false;
  nFilter = MosaicFilter(nColor, nFilter);
  nColor = StreamColor(nColor);
  const std::uint64_t cbFrame = FrameBytes(nColor, nWidth, nHeight);
  const bool bWhole = frame.size() >= cbFrame;
  if (!bWhole || !HoldPeriod(nColor, nFilter, nWidth, std::min<std::uint32_t>(nHeight, PERIOD_ROWS))) {
    DrawTestPattern(nColor, nWidth, nHeight, nSequence, frame, nFilter);
    if (bReverseRows && bWhole && nHeight > 1) ReverseRows(frame.data(), cbFrame / nHeight, nHeight);
    return true;
  }
  const std::size_t cbRow = m_period.size() / m_nRows;
  const std::size_t nStepRows = m_step.size() / cbRow;
  for (std::size_t i = 0; i < m_step.size(); ++i) m_advance[i] = static_cast<std::uint8_t>(m_step[i] * nSequence);
  const auto row = [&](std::uint32_t y) { return frame.data() + cbRow * (bReverseRows ? nHeight - 1 - y : y); };
  for (std::uint32_t y = 0; y < nHeight; ++y) {
    if (y < PERIOD_ROWS)
      AddBytes(m_period.data() + cbRow * y, m_advance.data() + cbRow * (y % nStepRows), row(y), cbRow);
    else
      std::memcpy(row(y), row(y - PERIOD_ROWS), cbRow);
  }
  StampSequence(nSequence, std::span<std::uint8_t>(row(0), cbRow));
  return true;
}

bool CPatternPainter::HoldPeriod(std::uint32_t nColor, std::uint32_t nFilter, std::uint32_t nWidth,
                                 std::uint32_t nRows) {
  if (nColor == m_nColor && nFilter == m_nFilter && nWidth == m_nWidth && nRows == m_nRows && m_nRows != 0)
    return true;
  m_nRows = 0;
  // The stamp must lie within the first row, wherever that row goes.
  const std::uint64_t cbRow = FrameBytes(nColor, nWidth, 1);
  if (nWidth % GroupPixels(nColor) != 0 || cbRow < 4 || nRows == 0) return false;
  // A mosaic's rows alternate between two kinds of sample, so the steps are
  // those of two rows.
  const std::uint32_t nStepRows = std::min<std::uint32_t>(nRows, 2);
  try {
    m_period.resize(static_cast<std::size_t>(cbRow * nRows));
    m_step.resize(static_cast<std::size_t>(cbRow * nStepRows));
    m_advance.resize(static_cast<std::size_t>(cbRow * nStepRows));
  } catch (const std::exception&) {  // no memory for the rows: pixel by pixel
    return false;
  }
  DrawPixels(nColor, nFilter, nWidth, nRows, 0, m_period);
  DrawPixels(nColor, nFilter, nWidth, nStepRows, 1, m_step);
  for (std::size_t i = 0; i < m_step.size(); ++i) m_step[i] = static_cast<std::uint8_t>(m_step[i] - m_period[i]);
  m_nColor = nColor;
  m_nFilter = nFilter;
  m_nWidth = nWidth;
  m_nRows = nRows;
  return true;
}

}  // namespace vcam
