// iidc serve on loopback, one codec per run: the latency from a frame's
// capture time (as it travels in the frame stamp) to a client's appsink, and
// the server's CPU time per frame (user and system, from /proc). One
// iteration is one frame at the camera's rate (camera 0, 640 x 480 UYVY at
// 30 fps); the target for raw and JPEG is latency_ms at most one frame period
// (period_ms) + 10 ms above what the capture stamp itself adds.
//
//   build/test/bench/serve/bench_serve
#include <benchmark/benchmark.h>
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "frame_stamp.h"

namespace {

struct Codec {
  const char* pszName;
  const char* pszDecoder;
};
constexpr Codec CODECS[] = {
    {"raw", "rtpvrawdepay name=depay"},
    {"jpeg", "rtpjpegdepay name=depay ! jpegdec"},
    {"h264", "rtph264depay name=depay ! avdec_h264 max-threads=1"},
};

double CpuSeconds(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string field;
    double fTicks = 0;
    for (int i = 1; i <= 15 && stat >> field; ++i)
        if (i == 14 || i == 15)
            fTicks += std::stod(field);
    return fTicks / double(sysconf(_SC_CLK_TCK));
}

uint64_t UnixNs()
{
    return uint64_t(g_get_real_time()) * 1000;
}

// The newest packet's capture time, then each frame's latency at the appsink.
struct Probe {
  std::atomic<uint64_t> nCaptureNs{0};
  std::vector<double> latencies;
};

void BM_Serve(benchmark::State& state)
{
    const Codec& codec = CODECS[state.range(0)];
    int fds[2];
    if (pipe(fds) != 0)
        return state.SkipWithError("pipe");
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], STDOUT_FILENO);
        execl(IIDC_CLI_PATH, "iidc", "serve", "-c", "0", "--port", "0", "--codec", codec.pszName, nullptr);
        _exit(127);
    }
    close(fds[1]);
    pollfd ready{fds[0], POLLIN, 0};
    char szLine[512] = {};
    if (poll(&ready, 1, 15000) != 1 || read(fds[0], szLine, sizeof szLine - 1) <= 0)
        return kill(pid, SIGKILL), state.SkipWithError("the server did not start");
    close(fds[0]);
    const std::string url = std::string(szLine).substr(0, std::string(szLine).find(' '));
    GstElement* client = gst_parse_launch(("rtspsrc location=" + url + " protocols=tcp latency=0 ! " + codec.pszDecoder
                                           + " ! appsink name=sink sync=false max-buffers=4 drop=true")
                                              .c_str(),
                                          nullptr);
    Probe probe;
    GstElement* depay = gst_bin_get_by_name(GST_BIN(client), "depay");
    GstElement* sink = gst_bin_get_by_name(GST_BIN(client), "sink");
    GstPad* depayPad = gst_element_get_static_pad(depay, "sink");
    GstPad* sinkPad = gst_element_get_static_pad(sink, "sink");
    gst_pad_add_probe(depayPad, GST_PAD_PROBE_TYPE_BUFFER, [](GstPad*, GstPadProbeInfo* info, gpointer p) {
        if (const auto stamp = iidctool::ReadFrameStamp(gst_pad_probe_info_get_buffer(info)))
            static_cast<Probe*>(p)->nCaptureNs = stamp->nCaptureNs;
        return GST_PAD_PROBE_OK;
    }, &probe, nullptr);
    gst_pad_add_probe(sinkPad, GST_PAD_PROBE_TYPE_BUFFER, [](GstPad*, GstPadProbeInfo*, gpointer p) {
        auto* pProbe = static_cast<Probe*>(p);
        if (pProbe->nCaptureNs)
            pProbe->latencies.push_back(double(UnixNs() - pProbe->nCaptureNs) / 1e6);
        return GST_PAD_PROBE_OK;
    }, &probe, nullptr);
    gst_element_set_state(client, GST_STATE_PLAYING);
    for (int i = 0; i < 10; ++i)  // the stream under way
        if (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 5 * GST_SECOND))
            gst_sample_unref(sample);
    probe.latencies.clear();
    const double fCpuStart = CpuSeconds(pid);
    int64_t nFrames = 0;
    for (auto _ : state) {
        GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 5 * GST_SECOND);
        if (!sample) {
            state.SkipWithError("no frame");
            break;
        }
        gst_sample_unref(sample);
        ++nFrames;
    }
    const double fCpu = CpuSeconds(pid) - fCpuStart;
    gst_element_set_state(client, GST_STATE_NULL);
    std::vector<double> latencies = probe.latencies;
    std::sort(latencies.begin(), latencies.end());
    if (!latencies.empty()) {
        state.counters["latency_ms"] = latencies[latencies.size() / 2];
        state.counters["latency_p95_ms"] = latencies[latencies.size() * 95 / 100];
    }
    state.counters["period_ms"] = 1000.0 / 30;
    state.counters["server_cpu_ms_per_frame"] = nFrames ? fCpu * 1000 / double(nFrames) : 0;
    gst_object_unref(depayPad), gst_object_unref(sinkPad), gst_object_unref(depay), gst_object_unref(sink);
    gst_object_unref(client);
    kill(pid, SIGINT);
    waitpid(pid, nullptr, 0);
}
BENCHMARK(BM_Serve)->DenseRange(0, 2)->Iterations(150)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv)
{
    setenv("GST_PLUGIN_PATH", IIDC_GST_PLUGIN_DIR, 1);
    setenv("IIDC_VCAM_STATE", "private", 1);
    gst_init(&argc, &argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
