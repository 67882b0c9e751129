// How fast a virtual camera can make frames and answer register reads: the
// ceiling of the as-fast-as-possible clock.
#include <benchmark/benchmark.h>

#include <vector>

#include "vcam/model/camera_model.h"
#include "vcam/model/offsets.h"
#include "vcam/model/pattern.h"

namespace {

// 640x480 frames of each coding, drawn by the pattern's per-pixel definition
// or by what the streaming thread draws with: the same bytes; Mono frames also
// as a colour sensor's mosaics.
void BM_Draw(benchmark::State& state, bool bPainter, std::uint32_t nFilter) {
  const auto nColor = static_cast<std::uint32_t>(state.range(0));
  std::vector<std::uint8_t> frame(vcam::FrameBytes(nColor, 640, 480));
  vcam::CPatternPainter painter;
  std::uint32_t nSequence = 0;
  for (auto _ : state) {
    if (bPainter)
      painter.Draw(nColor, 640, 480, nSequence++, frame, false, nFilter);
    else
      vcam::DrawTestPattern(nColor, 640, 480, nSequence++, frame, nFilter);
    benchmark::DoNotOptimize(frame.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * frame.size()));
  state.SetLabel(std::string(vcam::ColorCodingName(nColor)) + " 640x480 " +
                 std::string(nFilter == vcam::FILTER_NONE ? "" : vcam::ColorFilterName(nFilter)));
}
BENCHMARK_CAPTURE(BM_Draw, DrawTestPattern, false, vcam::FILTER_NONE)->DenseRange(vcam::COLOR_MONO8, vcam::COLOR_RGB16);
BENCHMARK_CAPTURE(BM_Draw, PatternPainter, true, vcam::FILTER_NONE)->DenseRange(vcam::COLOR_MONO8, vcam::COLOR_RGB16);
BENCHMARK_CAPTURE(BM_Draw, DrawMosaic, false, vcam::FILTER_GRBG)->Arg(vcam::COLOR_RAW8)->Arg(vcam::COLOR_RAW16);
BENCHMARK_CAPTURE(BM_Draw, PaintMosaic, true, vcam::FILTER_GRBG)->Arg(vcam::COLOR_RAW8)->Arg(vcam::COLOR_RAW16);

void BM_ReadQuadlet(benchmark::State& state) {
  vcam::CCameraModel camera(vcam::BuiltInCameraSet()[0]);
  const auto dwOffset = static_cast<std::uint32_t>(state.range(0));
  std::uint32_t v = 0;
  for (auto _ : state) {
    camera.ReadQuadlet(dwOffset, &v);
    benchmark::DoNotOptimize(v);
  }
}
// A plain register, a Format 7 field found through the inquiry, a ROM quadlet.
BENCHMARK(BM_ReadQuadlet)->Arg(vcam::CUR_V_MODE)->Arg(vcam::F7_BLOCKS_AT + vcam::F7_TOTAL_BYTES_LO_INQ)->Arg(vcam::ROM_OFFSET + 0xC);

}  // namespace
