// iidc grab: captures frames, continuously or one at a time, into PNG, BMP,
// PGM/PPM or raw files, with a progress bar and a per-second readout; with
// --json, lists each file with its frame's number and arrival time.
#include <CLI/CLI.hpp>
#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>

#include "bayer_filter.h"
#include "camera_query.h"
#include "commands.h"
#include "exit_status.h"
#include "file_error.h"
#include "frame_image.h"
#include "frame_tally.h"
#include "names.h"
#include "rate_meter.h"
#include "session.h"
#include "video_settings.h"

namespace iidctool {

namespace {

constexpr int BAR_WIDTH = 30;

struct GrabOptions {
  long nCount = 10;
  bool bSingle = false;
  std::string type = "png";
  std::string output = ".";
  std::string prefix = "frame";
  long nTimeoutMs = 5000;
  int nBuffers = 4;
  bool bJson = false;
  std::string demosaic = "hq";  // or "none"
  std::string filter;           // the sensor's filter; empty: as the camera tells
  VideoSettings video;
  // Parsed forms, filled by CheckOptions.
  std::optional<DemosaicMethod> method;
  std::optional<BayerFilter> filterOverride;
};

double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void CheckOptions(GrabOptions& options)
{
    if (options.nCount < 1 || options.nCount > 1000000)
        throw CToolError(EXIT_BAD_ARGUMENTS, fmt::format("--count {}: grab 1 to 1000000 frames", options.nCount));
    if (options.nTimeoutMs < 1 || options.nTimeoutMs > 3600000)
        throw CToolError(EXIT_BAD_ARGUMENTS,
                         fmt::format("--timeout {}: give 1 to 3600000 milliseconds", options.nTimeoutMs));
    if (options.nBuffers < 2 || options.nBuffers > 64)
        throw CToolError(EXIT_BAD_ARGUMENTS, fmt::format("--buffers {}: use 2 to 64 frame buffers", options.nBuffers));
    if (options.prefix.empty() || options.prefix.find('/') != std::string::npos)
        throw CToolError(EXIT_BAD_ARGUMENTS, "--prefix: give a file name prefix without '/'");
    options.video.Parse();
    options.method = ParseDemosaicMethod(options.demosaic);
    if (!options.method && options.demosaic != "none")
        throw CToolError(EXIT_BAD_ARGUMENTS,
                         fmt::format("--demosaic {}: use nearest, bilinear, hq or none", options.demosaic));
    options.filterOverride = ParseBayerFilter(options.filter);
    if (!options.filter.empty() && !options.filterOverride)
        throw CToolError(EXIT_BAD_ARGUMENTS, fmt::format("--filter {}: use RGGB, GBRG, GRBG or BGGR", options.filter));
    std::error_code error;
    std::filesystem::create_directories(options.output, error);
    if (error || !std::filesystem::is_directory(options.output))
        throw CToolError(EXIT_FAILED, fmt::format("--output {}: cannot use it as a directory ({}); give a writable "
                                                  "directory",
                                                  options.output, error ? error.message() : "not a directory"));
}

// How the frames of the format in force become files.
class CFrameSaver {
 public:
  CFrameSaver(const CCameraSession& camera, const GrabOptions& options, const CurrentFormat& format)
      : m_camera(camera), m_options(options), m_format(format)
  {
      const int nColor = format.nColor;
      m_bRaw = options.type == "raw";
      // The library converts grey and YUV frames into pictures; RGB frames
      // are pictures already, and 16-bit frames keep their depth in the
      // file types that can hold it.
      const auto choice = ChooseFilter(RegistersOf(camera.Handle()), format.id, nColor, options.filterOverride);
      m_filter = choice.ImageFilter(format.area ? uint32_t(format.area->left) : 0,
                                    format.area ? uint32_t(format.area->top) : 0);
      m_filterSource = choice.source;
      // A mosaic, and the Bayer codings whatever the method, are read here;
      // the library converts grey and YUV frames into pictures, RGB frames
      // are pictures already, and 16-bit frames keep their depth in the file
      // types that can hold it.
      m_bMosaic = !m_bRaw && ((m_filter && options.method) || nColor == COLOR_RAW8 || nColor == COLOR_RAW16);
      m_bFromBits = !m_bRaw && !m_bMosaic
                    && (nColor == IIDC_COLOR_MONO8 || nColor == IIDC_COLOR_YUV411 || nColor == IIDC_COLOR_YUV422
                        || nColor == IIDC_COLOR_YUV444);
      const long nDigits = std::max<long>(4, long(std::to_string(options.nCount).size()));
      m_nDigits = int(nDigits);
      const bool bGrey = (nColor == IIDC_COLOR_MONO8 || nColor == IIDC_COLOR_MONO16 || m_bMosaic)
                         && !(m_filter && options.method);
      m_extension = options.type == "pnm" ? (bGrey ? "pgm" : "ppm") : options.type;
  }

  // The filter of the pictures, and where it came from.
  std::optional<BayerFilter> Filter() const { return m_filter; }
  FilterSource Source() const { return m_filterSource; }

  std::string Save(long nNumber)
  {
      const std::string path = (std::filesystem::path(m_options.output)
                                / fmt::format("{}-{:0{}}.{}", m_options.prefix, nNumber, m_nDigits, m_extension))
                                   .string();
      if (m_bFromBits) {
          const uint8_t* pBits = iidc_lockbits(m_camera.Handle(), -1);
          if (!pBits) {
              iidc_unlockbits(m_camera.Handle());
              m_camera.Fail("converting a frame");
          }
          CImage image = ImageFromBottomUpBgr(pBits, m_format.nWidth, m_format.nHeight);
          iidc_unlockbits(m_camera.Handle());
          if (m_format.nColor == IIDC_COLOR_MONO8)
              image = GreyOf(image);
          Write(image, path);
          return path;
      }
      const uint8_t* pFrame = iidc_lockdata(m_camera.Handle(), -1);
      if (!pFrame)
          m_camera.Fail("locking a frame");
      if (m_bRaw) {
          const int32_t cbFrame = iidc_currentdataframebytes(m_camera.Handle());
          std::ofstream file(path, std::ios::binary);
          file.write(reinterpret_cast<const char*>(pFrame), std::max<int32_t>(cbFrame, 0));
          iidc_unlockdata(m_camera.Handle());
          file.close();
          if (!file || cbFrame <= 0)
              FileError(path, errno);
          return path;
      }
      if (m_bMosaic) {
          const int nColor = m_format.nColor;
          // Sent as 8-bit bitmaps, Format 7's 8-bit samples come bottom row
          // first (the library turns only the standard Mono8 modes upright).
          const bool bBottomUp = m_format.IsScalable() && (nColor == IIDC_COLOR_MONO8 || nColor == COLOR_RAW8);
          const int32_t cbFrame = iidc_currentdataframebytes(m_camera.Handle());
          const std::size_t cbNeeded = std::size_t(m_format.nWidth) * std::size_t(m_format.nHeight)
                                       * (nColor == IIDC_COLOR_MONO8 || nColor == COLOR_RAW8 ? 1 : 2);
          if (cbFrame < 0 || std::size_t(cbFrame) < cbNeeded) {
              iidc_unlockdata(m_camera.Handle());
              throw CToolError(EXIT_FAILED, fmt::format("camera {} delivers {} bytes per frame, too few for {}x{} {}",
                                                        m_camera.Index(), cbFrame, m_format.nWidth, m_format.nHeight,
                                                        ColorName(nColor)));
          }
          const CImage image = ImageFromMosaic(pFrame, nColor, m_format.nWidth, m_format.nHeight, bBottomUp,
                                               m_filter, m_options.method);
          iidc_unlockdata(m_camera.Handle());
          Write(image, path);
          return path;
      }
      const auto image = ImageFromRawFrame(pFrame, m_format.nColor, m_format.nWidth, m_format.nHeight);
      iidc_unlockdata(m_camera.Handle());
      Write(*image, path);
      return path;
  }

 private:
  void Write(const CImage& image, const std::string& path) const
  {
      if (m_options.type == "png")
          WritePng(image, path);
      else if (m_options.type == "bmp")
          WriteBmp(image, path);
      else
          WritePnm(image, path);
  }

  const CCameraSession& m_camera;
  const GrabOptions& m_options;
  const CurrentFormat m_format;
  bool m_bRaw = false;
  bool m_bFromBits = false;
  bool m_bMosaic = false;
  std::optional<BayerFilter> m_filter;
  FilterSource m_filterSource = FilterSource::None;
  int m_nDigits = 4;
  std::string m_extension;
};

int32_t FrameCount(const CCameraSession& camera)
{
    iidc_transferinfo info{};
    return iidc_gettransferinfo(camera.Handle(), &info, sizeof info) ? info.framecount : 0;
}

// A frame that did not come: the camera is gone, or just silent.
[[noreturn]] void NoFrame(const CCameraSession& camera, long nTimeoutMs)
{
    if (!camera.Answers())
        throw CToolError(EXIT_DEVICE_LOST, fmt::format("camera {} was lost during the grab: it no longer answers; "
                                                       "check its cable and power, then grab again",
                                                       camera.Index()));
    throw CToolError(EXIT_TIMEOUT, fmt::format("no frame within {} ms: check the camera's trigger settings ('iidc get "
                                               "trigger') or give a longer --timeout",
                                               nTimeoutMs));
}

// Waits until the camera's frame count passes nLastCount. A wake-up with
// no new frame before the time-out (the frame that woke us was already
// counted when the capture started) waits again for what time is left.
int32_t WaitForNewFrames(const CCameraSession& camera, long nTimeoutMs, int32_t nLastCount)
{
    const double fDeadline = Now() + double(nTimeoutMs) / 1000.0;
    for (;;) {
        const double fLeft = std::max(0.0, fDeadline - Now());
        const iidc_waitinfo wait{IIDC_WAIT_FRAME, uint32_t(std::ceil(fLeft * 1000.0))};
        if (!iidc_wait(camera.Handle(), &wait, 0))
            camera.Fail("waiting for a frame");
        const int32_t nCount = FrameCount(camera);
        if (nCount != nLastCount)
            return nCount;
        if (Now() >= fDeadline)
            NoFrame(camera, nTimeoutMs);
    }
}

int RunGrab(CommandLine& line, GrabOptions& options)
{
    CheckOptions(options);
    CLibrarySession library;
    CCameraSession camera(library, line.camera);
    ApplyVideoSettings(camera, options.video, nullptr);
    CurrentFormat format = ReadCurrentFormat(camera);
    if (!options.video.formatSpec && !format.IsScalable()) {
        // Selecting the mode in force sets the library's row order for it;
        // the frame rate is kept.
        if (!iidc_setformat(camera.Handle(), format.id))
            camera.Fail(fmt::format("selecting format {}", FormatIdText(format.id)));
        if (format.fRate > 0 && iidc_currentframerate(camera.Handle()) != format.fRate)
            iidc_setframerate(camera.Handle(), format.fRate);
        format = ReadCurrentFormat(camera);
    }
    CFrameSaver saver(camera, options, format);

    if (!iidc_preparecapture(camera.Handle()))
        camera.Fail("preparing capture");
    if (iidc_allocframe(camera.Handle(), options.nBuffers) < 2)
        camera.Fail("allocating frame buffers");
    const int32_t cbFrame = iidc_currentdataframebytes(camera.Handle());
    line.context.err << fmt::format("camera {}: format {} {} {}x{}{}{}, {} frames as {} into {}\n", camera.Index(),
                                    FormatIdText(format.id), ColorName(format.nColor), format.nWidth, format.nHeight,
                                    format.IsScalable() ? std::string() : fmt::format(" at {:g} fps", format.fRate),
                                    saver.Filter() ? fmt::format(", filter {} ({})", BayerFilterName(*saver.Filter()),
                                                                 FilterSourceName(saver.Source()))
                                                   : std::string(),
                                    options.nCount, options.type, options.output);
    if (!options.bSingle && !iidc_capture(camera.Handle(), IIDC_TRUE))
        camera.FailStart("starting capture");
    // The record's 8-bit speed cannot hold S400 and above; the camera's
    // register tells the speed.
    iidc1394_isotransmissioninfo iso{};
    const auto settings = ReadIsoSettings(camera);
    if (!options.bSingle && settings && iidc1394_currentisotransmissioninfo(camera.Handle(), &iso) == 4)
        line.context.err << fmt::format("isochronous channel {}, {} Mbit/s\n", iso.channel, settings->nSpeed);

    // The meter starts at the first frame saved: rates are the intervals
    // after it over the time they took.
    std::optional<CRateMeter> meter;
    double fLastFrame = 0;
    int32_t nLastCount = 0;
    std::string lastPath;
    CFrameTally tally;
    nlohmann::ordered_json saved = nlohmann::ordered_json::array();
    for (long nSaved = 0; nSaved < options.nCount;) {
        // A single shot is a capture of its own: its number counts the shots.
        if (options.bSingle) {
            if (!iidc_capture(camera.Handle(), IIDC_FALSE))
                NoFrame(camera, options.nTimeoutMs);
            nLastCount = int32_t(nSaved + 1);
        } else {
            nLastCount = WaitForNewFrames(camera, options.nTimeoutMs, nLastCount);
        }
        const int64_t nDroppedBefore = tally.Dropped();
        const FrameStamp stamp = tally.Take(nLastCount, MonotonicNs());
        const long nDropped = long(stamp.nDropped - nDroppedBefore);
        long nNew = nDropped + 1;
        fLastFrame = Now();  // when the frames were counted, before the file takes its time
        lastPath = saver.Save(++nSaved);
        saved.push_back({{"file", lastPath}, {"number", stamp.nNumber}, {"timestamp", stamp.nArrivalNs}});
        if (line.context.onFrameSaved)
            line.context.onFrameSaved(int(nSaved));
        if (!meter) {
            meter.emplace(fLastFrame);
            nNew = 0;
        }
        const auto readout = meter->Add(fLastFrame, nNew, nDropped, std::size_t(std::max(cbFrame, 0)));
        if (line.context.bTerminal)
            ReportProgress(line.context,
                           fmt::format("{} {}", ProgressBar(nSaved, options.nCount, BAR_WIDTH),
                                       ReadoutText(readout.value_or(meter->Total(fLastFrame)))),
                           false);
        else if (readout)
            ReportProgress(line.context,
                           fmt::format("{}/{} frames, {}", nSaved, options.nCount, ReadoutText(*readout)), false);
    }
    const Readout total = meter ? meter->Total(fLastFrame) : Readout{};
    if (!options.bSingle && !iidc_idle(camera.Handle()))
        camera.Fail("stopping capture");
    ReportProgress(line.context,
                   fmt::format("{} {}", ProgressBar(options.nCount, options.nCount, BAR_WIDTH), ReadoutText(total)),
                   true);
    if (options.bJson)
        line.context.out << nlohmann::ordered_json{{"camera", camera.Index()},
                                                   {"format", FormatIdText(format.id)},
                                                   {"frames", saved},
                                                   {"dropped", tally.Dropped()}}
                                .dump(2)
                         << '\n';
    else
        line.context.out << fmt::format("saved {} frames, the last as {}; {}\n", options.nCount, lastPath,
                                        ReadoutText(total));
    return EXIT_OK;
}

}  // namespace

void AddGrabCommand(CLI::App& app, CommandLine& line)
{
    auto* pCommand = app.add_subcommand("grab", "capture frames into files (PNG, BMP, PGM/PPM or raw)");
    auto pOptions = std::make_shared<GrabOptions>();
    pCommand->add_option("-n,--count", pOptions->nCount, "number of frames to save (default 10)");
    pCommand->add_flag("-1,--single", pOptions->bSingle, "capture each frame by itself (single-shot)");
    pCommand->add_option("-t,--type", pOptions->type, "file type: png (default), bmp, pnm (PGM/PPM) or raw")
        ->check(CLI::IsMember({"png", "bmp", "pnm", "raw"}));
    pCommand->add_option("-o,--output", pOptions->output, "directory for the files (created if missing)");
    pCommand->add_option("--prefix", pOptions->prefix, "file name prefix (default frame)");
    pCommand->add_option("--timeout", pOptions->nTimeoutMs, "milliseconds to wait for a frame (default 5000)");
    pCommand->add_option("--buffers", pOptions->nBuffers, "frame buffers in the ring (default 4)");
    pCommand->add_flag("--json", pOptions->bJson,
                       "print JSON: each file with its frame's number and arrival time (ns, monotonic clock)");
    pCommand->add_option("--demosaic", pOptions->demosaic,
                         "colour from a Bayer camera: nearest, bilinear, hq (default; gradient-corrected, the best "
                         "picture) or none (the raw mosaic as a grey picture)");
    pCommand->add_option("--filter", pOptions->filter,
                         "the sensor's colour filter at its top-left pixel, RGGB, GBRG, GRBG or BGGR, over what the "
                         "camera tells (a Format 7 area's position is taken into account)");
    AddVideoOptions(*pCommand, pOptions->video);
    pCommand->callback([&line, pOptions] { line.run = [&line, pOptions] { return RunGrab(line, *pOptions); }; });
}

}  // namespace iidctool
