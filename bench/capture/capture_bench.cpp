// The frame path through the library, measured against its bounds in one run.
//
//   Path/<camera>/{Library,Copy,Draw}   one frame's work on one thread, no
//       waiting: the library's share (the sample callback's copy into the
//       ring and its signals, then iidc_wait with time-out 0, iidc_lockdata,
//       iidc_unlockdata) beside a plain copy of the frame into a ring of the
//       same size, and the virtual camera drawing the frame;
//   Stream/<camera>                     continuous capture from a virtual
//       camera, waiting for and locking every frame: frames per second and
//       process CPU time per frame (camera, platform and library together);
//   Wake/<camera>                       iidc_wait's wake-up latency: from
//       just before a frame is handed to the library's sample callback to
//       the moment the thread waiting for it runs again, p50 and p99 over
//       WAKE_FRAMES frames, beside the same frame copied into a ring and
//       handed over with a bare event, and the bare event alone, taking
//       turns frame by frame;
//   Cameras/<n>                         n free-running cameras at once:
//       aggregate bytes per second and CPU time per frame;
//   Lockbits/{Library,Convert}          iidc_lockbits on a 640x480 YUV422
//       frame beside the conversion alone.
//
// The cameras, both free-running (frames as fast as the path takes them):
// the built-in colour camera (640x480 YUV422) and a 1600x1200 Mono8 camera.
// Path, Wake and Lockbits hand frames to the library themselves, on cameras
// whose own frames never come.
//
// At the end the ratios that matter are printed beside their targets. On a
// busy machine repeat the run (--benchmark_repetitions=5 takes medians);
// docs/performance.md says what bounds each figure.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/sample_grabber_cb.h"
#include "core/camera.h"
#include "iidc.h"
#include "image/convert/convert.h"
#include "vcam/filter/test_support.h"
#include "vcam/model/pattern.h"

namespace {

constexpr LONG RING_BUFFERS = 4;
constexpr int WAKE_FRAMES = 10000;
constexpr DWORD WAIT_TIMEOUT_MS = 100;

struct CAMERA
{
    const char* pszName;
    vcam::Profile profile;
    std::uint32_t nColor, nWidth, nHeight;

    std::size_t FrameBytes() const { return vcam::FrameBytes(nColor, nWidth, nHeight); }
};

CAMERA BuiltInCamera()
{
    vcam::Profile profile = vcam::BuiltInCameraSet()[0];   // 640x480 YUV422
    profile.clock = vcam::ClockKind::FreeRun;
    return {"BuiltIn", profile, vcam::COLOR_YUV422, 640, 480};
}

CAMERA FreeRunningCamera()
{
    vcam::Profile profile = vcam::BuiltInCameraSet()[1];
    constexpr std::uint32_t RATE_15 = 3;
    profile.standardModes = {{2, 5, 0x80000000u >> RATE_15}};   // 1600x1200 Mono8
    profile.nInitialFormat = 2, profile.nInitialMode = 5, profile.nInitialRate = RATE_15;
    profile.clock = vcam::ClockKind::FreeRun;
    return {"FreeRunning", profile, vcam::COLOR_MONO8, 1600, 1200};
}

double Now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double ProcessCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// One frame of the camera's pattern, as its streaming thread hands it on.
std::vector<std::uint8_t> DrawnFrame(const CAMERA& camera)
{
    std::vector<std::uint8_t> frame(camera.FrameBytes());
    vcam::DrawTestPattern(camera.nColor, camera.nWidth, camera.nHeight, 1, frame);
    return frame;
}

// n cameras of one profile, each capturing continuously into a ring of
// RING_BUFFERS. Stepped cameras never deliver a frame of their own.
class CSession
{
public:
    CSession(const CAMERA& camera, std::size_t nCameras, bool bStepped)
    {
        std::vector<vcam::Profile> set(nCameras, camera.profile);
        for (std::size_t i = 0; i < nCameras; ++i) {
            set[i].strFriendlyName += " " + std::to_string(i);
            set[i].ullUniqueId += i;
            set[i].pFaults = nullptr;
        }
        if (bStepped)
            vcam::InstallSteppedCameraSet(set);
        else
            vcam::SetActiveCameraSet(set);
        if (!iidc_init())
            return;
        for (std::size_t i = 0; i < nCameras; ++i) {
            const iidc_handle h = iidc_open(static_cast<int32_t>(i));
            if (h == nullptr)
                return;
            m_handles.push_back(h);
            if (!iidc_preparecapture(h) || iidc_allocframe(h, RING_BUFFERS) != RING_BUFFERS || !iidc_capture(h, 1))
                return;
        }
        m_bReady = true;
    }
    ~CSession()
    {
        for (iidc_handle h : m_handles) {
            iidc_idle(h);
            iidc_freeframe(h);
            iidc_clearcapture(h);
            iidc_close(h);
        }
        iidc_uninit();
        vcam::ResetActiveCameraSet();
    }
    CSession(const CSession&) = delete;
    CSession& operator=(const CSession&) = delete;

    bool Ready(benchmark::State& state) const
    {
        if (!m_bReady)
            state.SkipWithError("the cameras could not start capturing");
        return m_bReady;
    }
    iidc_handle Handle(std::size_t i = 0) const { return m_handles[i]; }
    // The streaming thread's way into the library.
    CSampleGrabberCB& Callback(std::size_t i = 0) const
    {
        return *reinterpret_cast<CCamera*>(m_handles[i])->m_pCallback;
    }
    // Frames the library took from all cameras since capture started.
    std::int64_t FramesDelivered() const
    {
        std::int64_t n = 0;
        for (iidc_handle h : m_handles) {
            iidc_transferinfo info{};
            iidc_gettransferinfo(h, &info, sizeof info);
            n += info.framecount;
        }
        return n;
    }

private:
    std::vector<iidc_handle> m_handles;
    bool m_bReady = false;
};

// A ring of buffers of one frame size, filled in turn by plain copies.
class CCopyRing
{
public:
    explicit CCopyRing(std::size_t cbFrame) : m_buffers(RING_BUFFERS, std::vector<std::uint8_t>(cbFrame)) {}
    void Copy(const std::vector<std::uint8_t>& frame)
    {
        m_nNext = (m_nNext + 1) % m_buffers.size();
        std::memcpy(m_buffers[m_nNext].data(), frame.data(), frame.size());
    }

private:
    std::vector<std::vector<std::uint8_t>> m_buffers;
    std::size_t m_nNext = 0;
};

void PathLibrary(benchmark::State& state, const CAMERA& camera)
{
    const CSession session(camera, 1, true);
    if (!session.Ready(state))
        return;
    std::vector<std::uint8_t> frame = DrawnFrame(camera);
    const iidc_waitinfo poll = {IIDC_WAIT_FRAME, 0};
    for (auto _ : state) {
        session.Callback().BufferCB(0.0, frame.data(), static_cast<LONG>(frame.size()));
        iidc_wait(session.Handle(), &poll, 0);
        benchmark::DoNotOptimize(iidc_lockdata(session.Handle(), -1));
        iidc_unlockdata(session.Handle());
    }
}

void PathCopy(benchmark::State& state, const CAMERA& camera)
{
    const std::vector<std::uint8_t> frame = DrawnFrame(camera);
    CCopyRing ring(frame.size());
    for (auto _ : state) {
        ring.Copy(frame);
        benchmark::ClobberMemory();
    }
}

void PathDraw(benchmark::State& state, const CAMERA& camera)
{
    std::vector<std::uint8_t> frame(camera.FrameBytes());
    vcam::CPatternPainter painter;
    std::uint32_t nSequence = 0;
    for (auto _ : state) {
        painter.Draw(camera.nColor, camera.nWidth, camera.nHeight, nSequence++, frame);
        benchmark::ClobberMemory();
    }
}

// Frames delivered per second and process CPU time per frame while fnRun
// runs, as counters.
void CountFrames(benchmark::State& state, const CSession& session, const CAMERA& camera,
                 const std::function<void()>& fnRun)
{
    const std::int64_t nFirst = session.FramesDelivered();
    const double dStart = Now(), dCpuStart = ProcessCpuSeconds();
    fnRun();
    const double dSeconds = Now() - dStart, dCpu = ProcessCpuSeconds() - dCpuStart;
    const auto nFrames = static_cast<double>(session.FramesDelivered() - nFirst);
    state.counters["fps"] = nFrames / dSeconds;
    state.counters["GB/s"] = nFrames * static_cast<double>(camera.FrameBytes()) / dSeconds / 1e9;
    state.counters["cpu_us_per_frame"] = nFrames > 0 ? dCpu / nFrames * 1e6 : 0.0;
}

// Waits for the next frame and locks the newest, as an application does.
void TakeFrame(iidc_handle h)
{
    const iidc_waitinfo next = {IIDC_WAIT_FRAME, WAIT_TIMEOUT_MS};
    iidc_wait(h, &next, 0);
    const BYTE* pFrame = iidc_lockdata(h, -1);
    benchmark::DoNotOptimize(pFrame ? pFrame[0] : 0);
    iidc_unlockdata(h);
}

void Stream(benchmark::State& state, const CAMERA& camera)
{
    const CSession session(camera, 1, false);
    if (!session.Ready(state))
        return;
    TakeFrame(session.Handle());   // the stream is under way
    CountFrames(state, session, camera, [&] {
        for (auto _ : state)
            TakeFrame(session.Handle());
    });
}

void Cameras(benchmark::State& state, const CAMERA& camera)
{
    const auto nCameras = static_cast<std::size_t>(state.range(0));
    const CSession session(camera, nCameras, false);
    if (!session.Ready(state))
        return;
    std::atomic<bool> bStop{false};
    std::vector<std::thread> takers;
    for (std::size_t i = 0; i < nCameras; ++i)
        takers.emplace_back([&, i] {
            while (!bStop.load())
                TakeFrame(session.Handle(i));
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));   // every stream under way
    CountFrames(state, session, camera, [&] {
        for (auto _ : state)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    });
    bStop.store(true);
    for (std::thread& t : takers)
        t.join();
}

// An auto-reset event of the standard library, waited on as iidc_wait waits:
// reset, then wait with a time-out.
class CBareEvent
{
public:
    void Set()
    {
        {
            const std::lock_guard lock(m_mutex);
            m_bSignalled = true;
        }
        m_cond.notify_one();
    }
    void ResetAndWait(std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(m_mutex);
        m_bSignalled = false;
        m_cond.wait_for(lock, timeout, [this] { return m_bSignalled; });
        m_bSignalled = false;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cond;
    bool m_bSignalled = false;
};

// One way of handing a frame from one thread to another that waits for it.
struct HANDOFF
{
    const char* pszName;
    std::function<void()> fnWait;   // returns once the frame has come (or on a time-out)
    std::function<void()> fnHand;
};

// Hands frames from this thread to a waiting one, WAKE_FRAMES by each way,
// the ways taking turns frame by frame so that they share the machine's
// conditions: once the waiter has announced its wait and had time to block,
// this thread notes the time and hands the frame over; the waiter notes the
// time when its wait returns. A hand-off that misses the waiter (one that
// came before its wait began, or a wait that timed out) is counted, not
// timed. Counters: p50 and p99 of each way, in microseconds.
void TimeWakeUps(benchmark::State& state, const std::vector<HANDOFF>& ways)
{
    const int nFrames = WAKE_FRAMES * static_cast<int>(ways.size());
    std::atomic<int> nArmed{-1}, nHanded{-1};
    std::atomic<double> dHanded{0.0};
    std::vector<std::vector<double>> latencies(ways.size());
    int nMissed = 0;
    std::thread waiter([&] {
        for (int i = 0; i < nFrames; ++i) {
            nArmed.store(i);
            ways[i % ways.size()].fnWait();
            const double dWoken = Now();
            while (nHanded.load() != i)
                std::this_thread::yield();
            const double dLatency = dWoken - dHanded.load();
            if (dLatency < 0 || dLatency * 1e3 >= WAIT_TIMEOUT_MS / 2.0)
                ++nMissed;
            else
                latencies[i % ways.size()].push_back(dLatency);
        }
    });
    for (auto _ : state) {
        for (int i = 0; i < nFrames; ++i) {
            while (nArmed.load() != i)
                std::this_thread::yield();
            std::this_thread::sleep_for(std::chrono::microseconds(50));
            dHanded.store(Now());
            ways[i % ways.size()].fnHand();
            nHanded.store(i);
        }
    }
    waiter.join();
    for (std::size_t k = 0; k < ways.size(); ++k) {
        std::vector<double>& times = latencies[k];
        std::sort(times.begin(), times.end());
        const auto Percentile = [&](double p) {
            return times.empty() ? 0.0 : times[static_cast<std::size_t>(p * static_cast<double>(times.size() - 1))] * 1e6;
        };
        state.counters[std::string(ways[k].pszName) + "_p50_us"] = Percentile(0.50);
        state.counters[std::string(ways[k].pszName) + "_p99_us"] = Percentile(0.99);
    }
    state.counters["missed"] = nMissed;
}

// iidc_wait beside the same frame copied into a ring and handed over with a
// bare event, and the bare event alone.
void Wake(benchmark::State& state, const CAMERA& camera)
{
    const CSession session(camera, 1, true);
    if (!session.Ready(state))
        return;
    std::vector<std::uint8_t> frame = DrawnFrame(camera);
    CCopyRing ring(frame.size());
    CBareEvent event;
    const iidc_waitinfo next = {IIDC_WAIT_FRAME, WAIT_TIMEOUT_MS};
    const auto WaitBare = [&] { event.ResetAndWait(std::chrono::milliseconds(WAIT_TIMEOUT_MS)); };
    TimeWakeUps(state, {{"library", [&] { iidc_wait(session.Handle(), &next, 0); },
                         [&] { session.Callback().BufferCB(0.0, frame.data(), static_cast<LONG>(frame.size())); }},
                        {"copy", WaitBare,
                         [&] {
                             ring.Copy(frame);
                             event.Set();
                         }},
                        {"event", WaitBare, [&] { event.Set(); }}});
}

void LockbitsLibrary(benchmark::State& state, const CAMERA& camera)
{
    const CSession session(camera, 1, true);
    if (!session.Ready(state))
        return;
    std::vector<std::uint8_t> frame = DrawnFrame(camera);
    session.Callback().BufferCB(0.0, frame.data(), static_cast<LONG>(frame.size()));
    for (auto _ : state) {
        benchmark::DoNotOptimize(iidc_lockbits(session.Handle(), -1));
        iidc_unlockbits(session.Handle());
    }
}

void LockbitsConvert(benchmark::State& state, const CAMERA& camera)
{
    const std::vector<std::uint8_t> frame = DrawnFrame(camera);
    const auto nWidth = static_cast<int>(camera.nWidth), nHeight = static_cast<int>(camera.nHeight);
    std::vector<std::uint8_t> image(Bgr24ImageSize(nWidth, nHeight));
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            Yuv422ToBgr24(frame.data(), frame.size(), image.data(), image.size(), nWidth, nHeight, true));
        benchmark::ClobberMemory();
    }
}

// Keeps every run for the ratios, printing as the console does.
class CRatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            std::string key = run.run_name.function_name;
            if (!run.run_name.args.empty())
                key += "/" + run.run_name.args;
            if (run.run_type == Run::RT_Aggregate)
                key += "_" + run.aggregate_name;
            m_runs[key] = run;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    // A counter of a benchmark, or its CPU time per iteration ("cpu"); the
    // median when the run was repeated. 0 when it did not run.
    double Figure(const std::string& strName, const std::string& strCounter) const
    {
        auto it = m_runs.find(strName + "_median");
        if (it == m_runs.end())
            it = m_runs.find(strName);
        if (it == m_runs.end() || it->second.error_occurred)
            return 0.0;
        if (strCounter == "cpu")
            return it->second.GetAdjustedCPUTime();
        const auto counter = it->second.counters.find(strCounter);
        return counter == it->second.counters.end() ? 0.0 : counter->second.value;
    }

    void PrintRatio(const char* pszWhat, double dNumerator, double dDenominator, const char* pszTarget) const
    {
        if (dNumerator > 0 && dDenominator > 0)
            std::printf("  %-64s %7.2f   %s\n", pszWhat, dNumerator / dDenominator, pszTarget);
        else
            std::printf("  %-64s %7s   %s\n", pszWhat, "-", pszTarget);
    }

private:
    std::map<std::string, Run> m_runs;
};

void PrintRatios(const CRatioReporter& r, const std::vector<CAMERA>& cameras)
{
    std::printf("\nRatios of this run\n");
    for (const CAMERA& c : cameras) {
        const std::string name = c.pszName;
        std::printf("%s (%ux%u %s)\n", c.pszName, c.nWidth, c.nHeight,
                    std::string(vcam::ColorCodingName(c.nColor)).c_str());
        const double dCopy = r.Figure("Path/" + name + "/Copy", "cpu");
        r.PrintRatio("library's own cost per frame / plain copy into a ring",
                     r.Figure("Path/" + name + "/Library", "cpu"), dCopy, "target <= 1.25");
        r.PrintRatio("virtual camera drawing a frame / plain copy", r.Figure("Path/" + name + "/Draw", "cpu"), dCopy,
                     "memory speed: about 1");
        r.PrintRatio("streaming CPU per frame (camera + library) / plain copy",
                     r.Figure("Stream/" + name, "cpu_us_per_frame"), dCopy, "bound: draw + copy, about 2");
        r.PrintRatio("streamed frames per second / plain copies per second", r.Figure("Stream/" + name, "fps"),
                     dCopy > 0 ? 1e6 / dCopy : 0.0, "");
        r.PrintRatio("iidc_wait wake-up p50 / copy and bare event", r.Figure("Wake/" + name, "library_p50_us"),
                     r.Figure("Wake/" + name, "copy_p50_us"), "");
        r.PrintRatio("iidc_wait wake-up p99 / copy and bare event", r.Figure("Wake/" + name, "library_p99_us"),
                     r.Figure("Wake/" + name, "copy_p99_us"), "target <= 3");
    }
    std::printf("Scaling (%s cameras)\n", cameras.back().pszName);
    const double dOne = r.Figure("Cameras/1", "GB/s");
    for (const char* pszCount : {"2", "4", "8"})
        r.PrintRatio((std::string("aggregate bytes per second, ") + pszCount + " cameras / 1 camera").c_str(),
                     r.Figure(std::string("Cameras/") + pszCount, "GB/s"), dOne,
                     pszCount == std::string("2") ? "target >= 1.7 on 2 free cores" : "");
    std::printf("Colour images\n");
    r.PrintRatio("iidc_lockbits per frame / the conversion alone", r.Figure("Lockbits/Library", "cpu"),
                 r.Figure("Lockbits/Convert", "cpu"), "");
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<CAMERA> cameras = {BuiltInCamera(), FreeRunningCamera()};
    const auto Register = [](const std::string& name, auto fn, auto... args) {
        return benchmark::RegisterBenchmark(name.c_str(), fn, args...)->Unit(benchmark::kMicrosecond);
    };
    for (const CAMERA& c : cameras) {
        const std::string name = c.pszName;
        Register("Path/" + name + "/Library", PathLibrary, c);
        Register("Path/" + name + "/Copy", PathCopy, c);
        Register("Path/" + name + "/Draw", PathDraw, c);
        Register("Stream/" + name, Stream, c)->UseRealTime();
        Register("Wake/" + name, Wake, c)->Iterations(1)->UseRealTime();
    }
    Register("Cameras", Cameras, cameras.back())->RangeMultiplier(2)->Range(1, 8)->UseRealTime();
    Register("Lockbits/Library", LockbitsLibrary, cameras.front());
    Register("Lockbits/Convert", LockbitsConvert, cameras.front());

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    CRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintRatios(reporter, cameras);
    benchmark::Shutdown();
    return 0;
}
