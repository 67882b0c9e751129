// Frames per second from a free-running virtual camera, delivered to an
// application through the C interface (wait, lock the newest frame, unlock)
// and through iidcsrc into a fakesink, in the same run. The source should
// reach at least 80 % of the interface's rate. Its variants: every frame lent
// (the sink keeps no buffer), and frames copied (a queue holds the lent one).
//
//   build/test/bench/gst/bench_gst_source --benchmark_min_time=3
#include "vcam/filter/test_support.h"
#include "vcam/model/camera_set.h"

#include <benchmark/benchmark.h>
#include <gst/gst.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>

#include "iidc.h"

namespace {

struct Mode {
  uint32_t id;
  const char* pszCaps;
};
constexpr Mode MODES[] = {
    {IIDC_FORMATID(0, 3, IIDC_COLOR_YUV422), "video/x-raw,format=UYVY,width=640,height=480"},
    {IIDC_FORMATID(1, 5, IIDC_COLOR_MONO8), "video/x-raw,format=GRAY8,width=1024,height=768"},
};

void CInterface(benchmark::State& state)
{
    const Mode& mode = MODES[state.range(0)];
    iidc_handle h = iidc_init() ? iidc_open(0) : nullptr;
    if (!h || !iidc_setformat(h, mode.id) || !iidc_preparecapture(h) || iidc_allocframe(h, 4) != 4
        || !iidc_capture(h, IIDC_TRUE)) {
        state.SkipWithError("the camera did not start");
    } else {
        const iidc_waitinfo wait{IIDC_WAIT_FRAME, 1000};
        iidc_transferinfo last{}, now{};
        for (auto _ : state) {
            do {
                iidc_wait(h, &wait, 0);
                iidc_gettransferinfo(h, &now, sizeof now);
            } while (now.framecount == last.framecount);
            last = now;
            benchmark::DoNotOptimize(*iidc_lockdata(h, -1));
            iidc_unlockdata(h);
        }
    }
    iidc_idle(h), iidc_freeframe(h), iidc_close(h);
    iidc_uninit();  // the plugin starts the library on a thread of its own
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(mode.pszCaps);
}

// Counts the buffers that reach the sink.
struct CCounter {
  std::mutex mutex;
  std::condition_variable arrived;
  uint64_t nBuffers = 0;

  static GstPadProbeReturn Probe(GstPad*, GstPadProbeInfo*, gpointer pCounter)
  {
      auto* p = static_cast<CCounter*>(pCounter);
      std::lock_guard lock(p->mutex);
      ++p->nBuffers;
      p->arrived.notify_one();
      return GST_PAD_PROBE_OK;
  }
};

void Source(benchmark::State& state)
{
    const Mode& mode = MODES[state.range(0)];
    const char* pszSink = state.range(1) ? "queue max-size-buffers=4 ! fakesink name=sink sync=false"
                                         : "fakesink name=sink sync=false enable-last-sample=false";
    const std::string description = std::string("iidcsrc ! ") + mode.pszCaps + " ! " + pszSink;
    GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
    GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
    GstPad* pad = gst_element_get_static_pad(sink, "sink");
    CCounter counter;
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, CCounter::Probe, &counter, nullptr);
    if (gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE)
        state.SkipWithError("the pipeline did not start");
    else
        for (auto _ : state) {
            std::unique_lock lock(counter.mutex);
            const uint64_t nSeen = counter.nBuffers;
            if (!counter.arrived.wait_for(lock, std::chrono::seconds(5), [&] { return counter.nBuffers > nSeen; })) {
                state.SkipWithError("no frame within 5 s");
                break;
            }
        }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pad), gst_object_unref(sink), gst_object_unref(pipeline);
    state.SetItemsProcessed(state.iterations());
    state.SetLabel(std::string(mode.pszCaps) + (state.range(1) ? ", copied" : ", lent"));
}

BENCHMARK(CInterface)->DenseRange(0, 1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(Source)->ArgsProduct({{0, 1}, {0, 1}})->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    gst_init(&argc, &argv);
    if (!gst_plugin_load_file(IIDC_GST_PLUGIN, nullptr)) {
        std::fprintf(stderr, "cannot load %s\n", IIDC_GST_PLUGIN);
        return 1;
    }
    auto cameras = vcam::BuiltInCameraSet();
    for (auto& camera : cameras)
        camera.clock = vcam::ClockKind::FreeRun;
    vcam::SetActiveCameraSet(cameras);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
