// Frames per second of the colour converters, as megapixels per second.
//
// Every case converts the same 640x480 and 1600x1200 frames into a bottom-up
// 24-bit image, single-threaded:
//   Ours/<coding>/<kernels>  our frame conversion with the dispatched kernels
//                            and with each instruction set the processor has;
//   Libyuv/...               the fastest libyuv chains for the same work (its
//                            coefficients differ, the work is the same);
//   Memcpy/<coding>          reading the input bytes and writing the output
//                            bytes, the bound of any converter.
// On a busy machine compare medians of repeated runs, e.g.
//   convert_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true
// (the MP/s counters are taken over CPU time).
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "image/convert/convert.h"
#include "image/convert/convert_rows.h"

#if IIDC_BENCH_LIBYUV
#include <libyuv.h>
#include <libyuv/row.h>
#endif

namespace {

struct FRAME_SIZE
{
    int nWidth;
    int nHeight;
};

constexpr FRAME_SIZE SIZES[] = {{640, 480}, {1600, 1200}};

// Source and output of one frame, reused by every iteration.
class CFrame
{
public:
    CFrame(RawCoding coding, FRAME_SIZE size)
        : m_nWidth(size.nWidth),
          m_nHeight(size.nHeight),
          m_src(RawRowBytes(coding, size.nWidth) * size.nHeight),
          m_dst(Bgr24ImageSize(size.nWidth, size.nHeight))
    {
        uint32_t x = 12345;
        for (uint8_t& b : m_src) {
            x = x * 1103515245u + 12345u;
            b = static_cast<uint8_t>(x >> 23);
        }
    }

    int m_nWidth;
    int m_nHeight;
    std::vector<uint8_t> m_src;
    std::vector<uint8_t> m_dst;
};

void SetRate(benchmark::State& state, const CFrame& frame)
{
    const double pixels = static_cast<double>(frame.m_nWidth) * frame.m_nHeight;
    state.counters["MP/s"] =
        benchmark::Counter(pixels * static_cast<double>(state.iterations()) / 1e6, benchmark::Counter::kIsRate);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(frame.m_src.size() + frame.m_dst.size()));
}

void BM_Ours(benchmark::State& state, RawCoding coding, bool bFloatYuv, const CONVERT_ROWS* pRows,
             FRAME_SIZE size)
{
    CFrame frame(coding, size);
    for (auto _ : state) {
        const bool bOk = ConvertFrameToBgr24(*pRows, coding, frame.m_src.data(), frame.m_src.size(),
                                             frame.m_dst.data(), frame.m_dst.size(), frame.m_nWidth,
                                             frame.m_nHeight, bFloatYuv);
        benchmark::DoNotOptimize(bOk);
        benchmark::ClobberMemory();
    }
    SetRate(state, frame);
}

void BM_Memcpy(benchmark::State& state, RawCoding coding, FRAME_SIZE size)
{
    CFrame frame(coding, size);
    for (auto _ : state) {
        // Reads the whole input at least once and writes the whole output once.
        for (size_t cbDone = 0; cbDone < frame.m_dst.size();) {
            const size_t cb = std::min(frame.m_src.size(), frame.m_dst.size() - cbDone);
            std::memcpy(frame.m_dst.data() + cbDone, frame.m_src.data(), cb);
            cbDone += cb;
        }
        benchmark::ClobberMemory();
    }
    SetRate(state, frame);
}

#if IIDC_BENCH_LIBYUV

// UYVY to 32-bit, then to 24-bit, one row at a time through a row buffer that
// stays in the first-level cache; rows written bottom-up as ours are.
void BM_LibyuvUyvyViaArgb(benchmark::State& state, FRAME_SIZE size)
{
    CFrame frame(RawCoding::Yuv422, size);
    const size_t cbStride = Bgr24Stride(frame.m_nWidth);
    std::vector<uint8_t> argb(4 * static_cast<size_t>(frame.m_nWidth) + 64);
    for (auto _ : state) {
        const uint8_t* pSrc = frame.m_src.data();
        uint8_t* pDst = frame.m_dst.data() + cbStride * (frame.m_nHeight - 1);
        for (int r = 0; r < frame.m_nHeight; ++r, pSrc += 2 * frame.m_nWidth, pDst -= cbStride) {
            libyuv::UYVYToARGBRow_AVX2(pSrc, argb.data(), &libyuv::kYuvI601Constants, frame.m_nWidth);
            libyuv::ARGBToRGB24Row_AVX2(argb.data(), pDst, frame.m_nWidth);
        }
        benchmark::ClobberMemory();
    }
    SetRate(state, frame);
}

// UYVY split into planes, then planar 4:2:2 straight to 24-bit, per row.
void BM_LibyuvUyvyViaPlanes(benchmark::State& state, FRAME_SIZE size)
{
    CFrame frame(RawCoding::Yuv422, size);
    const size_t cbStride = Bgr24Stride(frame.m_nWidth);
    std::vector<uint8_t> y(frame.m_nWidth + 64), u(frame.m_nWidth / 2 + 64), v(frame.m_nWidth / 2 + 64);
    for (auto _ : state) {
        const uint8_t* pSrc = frame.m_src.data();
        uint8_t* pDst = frame.m_dst.data() + cbStride * (frame.m_nHeight - 1);
        for (int r = 0; r < frame.m_nHeight; ++r, pSrc += 2 * frame.m_nWidth, pDst -= cbStride) {
            libyuv::UYVYToUV422Row_AVX2(pSrc, u.data(), v.data(), frame.m_nWidth);
            libyuv::UYVYToYRow_AVX2(pSrc, y.data(), frame.m_nWidth);
            libyuv::I422ToRGB24Row_AVX2(y.data(), u.data(), v.data(), pDst, &libyuv::kYuvI601Constants,
                                        frame.m_nWidth);
        }
        benchmark::ClobberMemory();
    }
    SetRate(state, frame);
}

// The public frame functions: whole frame to 32-bit, then to 24-bit
// (a negative height writes bottom-up).
void BM_LibyuvUyvyFrames(benchmark::State& state, FRAME_SIZE size)
{
    CFrame frame(RawCoding::Yuv422, size);
    std::vector<uint8_t> argb(4 * static_cast<size_t>(frame.m_nWidth) * frame.m_nHeight);
    for (auto _ : state) {
        libyuv::UYVYToARGB(frame.m_src.data(), 2 * frame.m_nWidth, argb.data(), 4 * frame.m_nWidth, frame.m_nWidth,
                           frame.m_nHeight);
        libyuv::ARGBToRGB24(argb.data(), 4 * frame.m_nWidth, frame.m_dst.data(),
                            static_cast<int>(Bgr24Stride(frame.m_nWidth)), frame.m_nWidth, -frame.m_nHeight);
        benchmark::ClobberMemory();
    }
    SetRate(state, frame);
}

// Grey to 32-bit (full range, a plain copy of the grey value), then to 24-bit,
// per row.
void BM_LibyuvGreyViaArgb(benchmark::State& state, FRAME_SIZE size)
{
    CFrame frame(RawCoding::Mono8, size);
    const size_t cbStride = Bgr24Stride(frame.m_nWidth);
    std::vector<uint8_t> argb(4 * static_cast<size_t>(frame.m_nWidth) + 64);
    for (auto _ : state) {
        const uint8_t* pSrc = frame.m_src.data();
        uint8_t* pDst = frame.m_dst.data() + cbStride * (frame.m_nHeight - 1);
        for (int r = 0; r < frame.m_nHeight; ++r, pSrc += frame.m_nWidth, pDst -= cbStride) {
            libyuv::J400ToARGBRow_SSE2(pSrc, argb.data(), frame.m_nWidth);
            libyuv::ARGBToRGB24Row_AVX2(argb.data(), pDst, frame.m_nWidth);
        }
        benchmark::ClobberMemory();
    }
    SetRate(state, frame);
}

void BM_LibyuvGreyFrames(benchmark::State& state, FRAME_SIZE size)
{
    CFrame frame(RawCoding::Mono8, size);
    std::vector<uint8_t> argb(4 * static_cast<size_t>(frame.m_nWidth) * frame.m_nHeight);
    for (auto _ : state) {
        libyuv::J400ToARGB(frame.m_src.data(), frame.m_nWidth, argb.data(), 4 * frame.m_nWidth, frame.m_nWidth,
                           frame.m_nHeight);
        libyuv::ARGBToRGB24(argb.data(), 4 * frame.m_nWidth, frame.m_dst.data(),
                            static_cast<int>(Bgr24Stride(frame.m_nWidth)), frame.m_nWidth, -frame.m_nHeight);
        benchmark::ClobberMemory();
    }
    SetRate(state, frame);
}

#endif

std::string SizeName(FRAME_SIZE size)
{
    return std::to_string(size.nWidth) + "x" + std::to_string(size.nHeight);
}

void RegisterAll()
{
    struct CODING_CASE
    {
        const char* pszName;
        RawCoding coding;
        bool bFloatYuv;
    };
    const CODING_CASE codings[] = {
        {"Mono8", RawCoding::Mono8, false},           {"Mono16", RawCoding::Mono16, false},
        {"YUV422", RawCoding::Yuv422, true},          {"YUV422_Integer", RawCoding::Yuv422, false},
        {"YUV411", RawCoding::Yuv411, true},          {"YUV411_Integer", RawCoding::Yuv411, false},
        {"YUV444", RawCoding::Yuv444, true},          {"YUV444_Integer", RawCoding::Yuv444, false},
    };
    std::vector<const CONVERT_ROWS*> sets = {&ActiveConvertRows()};
    for (ConvertIsa isa : {ConvertIsa::Avx512, ConvertIsa::Avx2, ConvertIsa::Ssse3, ConvertIsa::Reference}) {
        if (const CONVERT_ROWS* pRows = FindConvertRows(isa))
            sets.push_back(pRows);
    }
    for (FRAME_SIZE size : SIZES) {
        for (const CODING_CASE& c : codings) {
            const std::string prefix = std::string(c.pszName) + "/" + SizeName(size) + "/";
            for (size_t i = 0; i < sets.size(); ++i) {
                const std::string name = i == 0 ? "dispatched" : sets[i]->pszName;
                benchmark::RegisterBenchmark(("Ours/" + prefix + name).c_str(), BM_Ours, c.coding, c.bFloatYuv,
                                             sets[i], size);
            }
#if IIDC_BENCH_LIBYUV
            if (c.coding == RawCoding::Yuv422 && c.bFloatYuv) {
                benchmark::RegisterBenchmark(("Libyuv/" + prefix + "row_via_argb").c_str(), BM_LibyuvUyvyViaArgb, size);
                benchmark::RegisterBenchmark(("Libyuv/" + prefix + "row_via_planes").c_str(), BM_LibyuvUyvyViaPlanes, size);
                benchmark::RegisterBenchmark(("Libyuv/" + prefix + "frames_via_argb").c_str(), BM_LibyuvUyvyFrames, size);
            }
            if (c.coding == RawCoding::Mono8) {
                benchmark::RegisterBenchmark(("Libyuv/" + prefix + "row_via_argb").c_str(), BM_LibyuvGreyViaArgb, size);
                benchmark::RegisterBenchmark(("Libyuv/" + prefix + "frames_via_argb").c_str(), BM_LibyuvGreyFrames, size);
            }
#endif
            if (std::string(c.pszName).find("_Integer") == std::string::npos)
                benchmark::RegisterBenchmark(("Memcpy/" + prefix + "bound").c_str(), BM_Memcpy, c.coding, size);
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    RegisterAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
