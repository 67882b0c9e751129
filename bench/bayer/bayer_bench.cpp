// Demosaicing speed and quality: our methods beside libdc1394's
// (dc1394_bayer_decoding_8bit) and OpenCV's (cvtColor), on the same images in
// one run.
//
// Images, 2048x1536 each: the virtual camera's colour test pattern (frame 0,
// from PatternAt: no frame number is stamped into it) and three photographs
// from scikit-image's sample data, mirrored edge to edge to fill the size.
// Each true colour image is sampled through a colour filter; every method
// demosaics the mosaic back into 8-bit colour.
//   Gpx/s  pixels per second of CPU time, single-threaded (OpenCV is held to
//          one thread), through the RGGB filter;
//   PSNR   dB against the true colour image over all three colours, leaving
//          out a 2-pixel border for every method alike; the worst of the four
//          filters, so that a method that gets a phase wrong shows it.
// After Google Benchmark's own lines the program prints a table of every
// method (Gpx/s over all images, PSNR per image) and the ratios the targets
// name. For a quick look: bayer_bench --benchmark_filter=ours/ --benchmark_min_time=0.05
#include <benchmark/benchmark.h>
#include <dc1394/conversions.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <optional>
#include <string>
#include <vector>

#include "image/demosaic/demosaic_rows.h"
#include "vcam/model/pattern.h"

namespace {

constexpr int WIDTH = 2048, HEIGHT = 1536;
constexpr int BORDER = 2;
constexpr BayerFilter FILTERS[] = {BayerFilter::Rggb, BayerFilter::Gbrg, BayerFilter::Grbg, BayerFilter::Bggr};

// Red, green, blue bytes per pixel, rows packed.
struct IMAGE
{
    std::string name;
    int w = 0, h = 0;
    std::vector<uint8_t> rgb;
};

IMAGE PatternImage()
{
    IMAGE image{"pattern", WIDTH, HEIGHT, std::vector<uint8_t>(3 * WIDTH * HEIGHT)};
    for (int y = 0; y < HEIGHT; ++y) {
        for (int x = 0; x < WIDTH; ++x) {
            const vcam::PatternPixel p = vcam::PatternAt(static_cast<uint32_t>(x), static_cast<uint32_t>(y), 0);
            uint8_t* q = &image.rgb[3 * (static_cast<size_t>(y) * WIDTH + x)];
            q[0] = p.r, q[1] = p.g, q[2] = p.b;
        }
    }
    return image;
}

std::optional<IMAGE> ReadPng(const std::string& name)
{
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    const std::string path = std::string(IIDC_SKIMAGE_DATA) + "/" + name + ".png";
    if (!png_image_begin_read_from_file(&png, path.c_str()))
        return std::nullopt;
    png.format = PNG_FORMAT_RGB;
    IMAGE image{name, static_cast<int>(png.width), static_cast<int>(png.height),
                std::vector<uint8_t>(PNG_IMAGE_SIZE(png))};
    if (!png_image_finish_read(&png, nullptr, image.rgb.data(), 0, nullptr)) {
        png_image_free(&png);
        return std::nullopt;
    }
    return image;
}

// The image mirrored about its edges until it fills WIDTH x HEIGHT: no seams.
IMAGE Mirrored(const IMAGE& image)
{
    auto Fold = [] (int i, int n) {
        i %= 2 * n;
        return i < n ? i : 2 * n - 1 - i;
    };
    IMAGE big{image.name, WIDTH, HEIGHT, std::vector<uint8_t>(3 * WIDTH * HEIGHT)};
    for (int y = 0; y < HEIGHT; ++y)
        for (int x = 0; x < WIDTH; ++x)
            for (int c = 0; c < 3; ++c)
                big.rgb[3 * (static_cast<size_t>(y) * WIDTH + x) + c] =
                    image.rgb[3 * (static_cast<size_t>(Fold(y, image.h)) * image.w + Fold(x, image.w)) + c];
    return big;
}

std::vector<uint8_t> MosaicOf(const IMAGE& image, BayerFilter filter)
{
    const std::string_view name = BayerFilterName(filter);
    std::vector<uint8_t> mosaic(static_cast<size_t>(image.w) * image.h);
    for (int y = 0; y < image.h; ++y) {
        for (int x = 0; x < image.w; ++x) {
            const char c = name[(y & 1) * 2 + (x & 1)];
            const int i = c == 'R' ? 0 : c == 'G' ? 1 : 2;
            mosaic[static_cast<size_t>(y) * image.w + x] = image.rgb[3 * (static_cast<size_t>(y) * image.w + x) + i];
        }
    }
    return mosaic;
}

// One demosaicing method: mosaic in, 3 bytes per pixel out (bRgb: red
// first, else blue first).
struct METHOD
{
    std::string name;
    bool bRgb;
    std::function<void(const uint8_t*, uint8_t*, BayerFilter)> run;
};

std::vector<METHOD> Methods()
{
    std::vector<METHOD> methods;
    const std::pair<const char*, DemosaicMethod> ours[] = {
        {"nearest", DemosaicMethod::Nearest}, {"bilinear", DemosaicMethod::Bilinear}, {"hq", DemosaicMethod::HighQuality}};
    for (const auto& [pszSet, pRows] : {std::pair{"ours/", &ActiveDemosaicRows()},
                                        std::pair{"ours-reference/", &ReferenceDemosaicRows()}}) {
        for (const auto& [pszName, method] : ours) {
            methods.push_back({std::string(pszSet) + pszName, false,
                               [pRows = pRows, method = method] (const uint8_t* pSrc, uint8_t* pDst, BayerFilter f) {
                                   DemosaicFrame8(*pRows, pSrc, WIDTH * HEIGHT, WIDTH, pDst, 3 * WIDTH * HEIGHT,
                                                  3 * WIDTH, WIDTH, HEIGHT, f, method, ColourOrder::Bgr);
                               }});
        }
    }
    const std::pair<const char*, dc1394bayer_method_t> dc1394[] = {
        {"nearest", DC1394_BAYER_METHOD_NEAREST},     {"simple", DC1394_BAYER_METHOD_SIMPLE},
        {"bilinear", DC1394_BAYER_METHOD_BILINEAR},   {"hqlinear", DC1394_BAYER_METHOD_HQLINEAR},
        {"edgesense", DC1394_BAYER_METHOD_EDGESENSE}, {"vng", DC1394_BAYER_METHOD_VNG},
        {"ahd", DC1394_BAYER_METHOD_AHD}};
    for (const auto& [pszName, method] : dc1394) {
        methods.push_back({std::string("libdc1394/") + pszName, true,
                           [method = method] (const uint8_t* pSrc, uint8_t* pDst, BayerFilter f) {
                               const auto tile = static_cast<dc1394color_filter_t>(DC1394_COLOR_FILTER_RGGB
                                                                                   + static_cast<int>(f));
                               dc1394_bayer_decoding_8bit(pSrc, pDst, WIDTH, HEIGHT, tile, method);
                           }});
    }
    // OpenCV names a filter by the colours of the second row's second and
    // third pixels: its BayerBG is RGGB.
    const std::pair<const char*, std::array<int, 4>> opencv[] = {
        {"bilinear", {cv::COLOR_BayerBG2BGR, cv::COLOR_BayerGR2BGR, cv::COLOR_BayerGB2BGR, cv::COLOR_BayerRG2BGR}},
        {"ea", {cv::COLOR_BayerBG2BGR_EA, cv::COLOR_BayerGR2BGR_EA, cv::COLOR_BayerGB2BGR_EA, cv::COLOR_BayerRG2BGR_EA}},
        {"vng",
         {cv::COLOR_BayerBG2BGR_VNG, cv::COLOR_BayerGR2BGR_VNG, cv::COLOR_BayerGB2BGR_VNG, cv::COLOR_BayerRG2BGR_VNG}}};
    for (const auto& [pszName, codes] : opencv) {
        methods.push_back({std::string("opencv/") + pszName, false,
                           [codes = codes] (const uint8_t* pSrc, uint8_t* pDst, BayerFilter f) {
                               const cv::Mat src(HEIGHT, WIDTH, CV_8UC1, const_cast<uint8_t*>(pSrc));
                               cv::Mat dst(HEIGHT, WIDTH, CV_8UC3, pDst);
                               cv::cvtColor(src, dst, codes[static_cast<int>(f)]);
                           }});
    }
    return methods;
}

double Psnr(const IMAGE& truth, const std::vector<uint8_t>& out, bool bRgb)
{
    double sum = 0;
    for (int y = BORDER; y < truth.h - BORDER; ++y) {
        for (int x = BORDER; x < truth.w - BORDER; ++x) {
            const size_t i = 3 * (static_cast<size_t>(y) * truth.w + x);
            for (int c = 0; c < 3; ++c) {
                const double d = truth.rgb[i + c] - out[i + (bRgb ? c : 2 - c)];
                sum += d * d;
            }
        }
    }
    const double mse = sum / (3.0 * (truth.w - 2 * BORDER) * (truth.h - 2 * BORDER));
    return mse == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

struct SCENE
{
    IMAGE truth;
    std::vector<std::vector<uint8_t>> mosaics;   // by filter
};

// Every method's figures, for the summary.
struct FIGURES
{
    double gpxPerSecond;
    double psnr;
};
std::map<std::string, std::map<std::string, FIGURES>> g_figures;   // method, image

// Pointers: Google Benchmark keeps a copy of each argument.
void Demosaic(benchmark::State& state, const METHOD* pMethod, const SCENE* pScene)
{
    const METHOD& method = *pMethod;
    const SCENE& scene = *pScene;
    std::vector<uint8_t> out(3 * WIDTH * HEIGHT);
    // Google Benchmark may call this more than once: the quality once.
    static std::map<std::pair<const METHOD*, const SCENE*>, double> s_psnr;
    const auto [it, bNew] = s_psnr.try_emplace({&method, &scene}, 999.0);
    for (BayerFilter filter : FILTERS) {
        if (!bNew)
            break;
        method.run(scene.mosaics[static_cast<int>(filter)].data(), out.data(), filter);
        it->second = std::min(it->second, Psnr(scene.truth, out, method.bRgb));
    }
    for (auto _ : state) {
        method.run(scene.mosaics[0].data(), out.data(), BayerFilter::Rggb);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.counters["Gpx/s"] = benchmark::Counter(WIDTH * HEIGHT / 1e9, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["PSNR"] = it->second;
}

// Google Benchmark's console lines, and the figures kept for the summary.
class CSummaryReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const std::string name = run.benchmark_name();
            const size_t iSlash = name.rfind('/');
            if (run.run_type != Run::RT_Iteration || iSlash == std::string::npos || run.error_occurred)
                continue;
            g_figures[name.substr(0, iSlash)][name.substr(iSlash + 1)] =
                {run.counters.at("Gpx/s").value, run.counters.at("PSNR").value};
        }
    }
};

// Pixels over time across images (they are the same size), and PSNR per image.
double Rate(const std::string& method)
{
    const auto& images = g_figures[method];
    double seconds = 0;
    for (const auto& [image, figures] : images)
        seconds += 1 / figures.gpxPerSecond;
    return images.empty() ? 0 : static_cast<double>(images.size()) / seconds;
}

void PrintSummary(const std::vector<std::string>& imageNames)
{
    std::printf("\n| method | Gpx/s |");
    for (const std::string& image : imageNames)
        std::printf(" PSNR %s |", image.c_str());
    std::printf("\n|---|---:|");
    for (size_t i = 0; i < imageNames.size(); ++i)
        std::printf("---:|");
    std::printf("\n");
    for (const auto& [method, images] : g_figures) {
        std::printf("| %s | %.3f |", method.c_str(), Rate(method));
        for (const std::string& image : imageNames) {
            const auto it = images.find(image);
            if (it == images.end())
                std::printf(" |");
            else
                std::printf(" %.2f |", it->second.psnr);
        }
        std::printf("\n");
    }
    // PSNR of a method over all images: the mean of its per-image figures.
    auto MeanPsnr = [&] (const std::string& method) {
        double sum = 0;
        for (const auto& [image, figures] : g_figures[method])
            sum += figures.psnr;
        return g_figures[method].empty() ? 0 : sum / static_cast<double>(g_figures[method].size());
    };
    // The speed ratio to reach and, where the quality counts, whether our
    // mean PSNR must be at least the peer's or above it.
    enum class QUALITY { Any, NotLower, Higher };
    struct TARGET
    {
        const char* pszOurs;
        const char* pszPeer;
        double minRatio;
        QUALITY quality;
    };
    const TARGET targets[] = {{"ours/bilinear", "opencv/bilinear", 1.5, QUALITY::Any},
                              {"ours/bilinear", "libdc1394/bilinear", 4.0, QUALITY::Any},
                              {"ours/hq", "libdc1394/hqlinear", 3.0, QUALITY::NotLower},
                              {"ours/hq", "opencv/ea", 1.0, QUALITY::Higher}};
    const char* const QUALITY_TEXT[] = {"", " (target: not lower)", " (target: higher)"};
    std::printf("\n");
    for (const TARGET& t : targets) {
        if (g_figures.count(t.pszOurs) == 0 || g_figures.count(t.pszPeer) == 0)
            continue;
        const double ratio = Rate(t.pszOurs) / Rate(t.pszPeer);
        const double ours = MeanPsnr(t.pszOurs), peer = MeanPsnr(t.pszPeer);
        const bool bQuality = t.quality == QUALITY::Any || (t.quality == QUALITY::NotLower && ours >= peer)
                              || (t.quality == QUALITY::Higher && ours > peer);
        const bool bMet = (t.minRatio > 1 ? ratio >= t.minRatio : ratio > t.minRatio) && bQuality;
        std::printf("%s vs %s: %.2fx speed (target %s%.1fx), mean PSNR %.2f vs %.2f dB%s: %s\n", t.pszOurs,
                    t.pszPeer, ratio, t.minRatio > 1 ? ">= " : "> ", t.minRatio, ours, peer,
                    QUALITY_TEXT[static_cast<int>(t.quality)], bMet ? "met" : "NOT met");
    }
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    cv::setNumThreads(1);
    std::vector<SCENE> scenes;
    scenes.push_back({PatternImage(), {}});
    for (const char* pszName : {"astronaut", "chelsea", "coffee"}) {
        if (std::optional<IMAGE> photo = ReadPng(pszName))
            scenes.push_back({Mirrored(*photo), {}});
        else
            std::fprintf(stderr, "bayer_bench: %s/%s.png not readable: left out\n", IIDC_SKIMAGE_DATA, pszName);
    }
    std::vector<std::string> imageNames;
    for (SCENE& scene : scenes) {
        for (BayerFilter filter : FILTERS)
            scene.mosaics.push_back(MosaicOf(scene.truth, filter));
        imageNames.push_back(scene.truth.name);
    }
    const std::vector<METHOD> methods = Methods();
    for (const METHOD& method : methods)
        for (const SCENE& scene : scenes)
            benchmark::RegisterBenchmark((method.name + "/" + scene.truth.name).c_str(), Demosaic, &method, &scene)
                ->Unit(benchmark::kMillisecond);
    CSummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintSummary(imageNames);
    benchmark::Shutdown();
    return 0;
}
