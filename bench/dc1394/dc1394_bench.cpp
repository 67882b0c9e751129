// Continuous capture through the library's libdc1394 driver on the emulated
// FireWire bus, beside the same camera in-process, in one run:
//
//   Capture/<driver>   camera 0 (the built-in colour camera) in 640 x 480
//       Mono8 at 60 frames per second, a mode the bus carries, every frame
//       awaited and locked: frames per second and process CPU time per frame.
//
// The bus keeps real 1394 timing, so both run at the camera's rate and the
// figure to compare is the CPU time per frame. It includes each camera's own
// work: the in-process camera drawing its pattern, and on the bus the camera
// drawing it and the emulated kernel moving it in packets, which a real
// camera and card do in hardware. Run it on the bus:
//   scripts/virtual-bus build/test/bench/dc1394/bench_dc1394
#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <string>

#include "iidc.h"

namespace {

constexpr uint32_t MONO8_VGA = IIDC_FORMATID(0, 5, IIDC_COLOR_MONO8);
constexpr int32_t FRAMES = 240;

std::map<std::string, double> g_cpuPerFrame;  // microseconds, by driver

double ProcessCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void Capture(benchmark::State& state, const char* pszDriver) {
  setenv("IIDC_DRIVERS", pszDriver, 1);
  if (!iidc_init()) {
    state.SkipWithError("no camera");
    return;
  }
  iidc_handle h = iidc_open(0);
  const bool bReady = h != nullptr && iidc_setformat(h, MONO8_VGA) && iidc_setframerate(h, 60.0f) &&
                      iidc_preparecapture(h) && iidc_allocframe(h, 4) == 4 && iidc_capture(h, 1);
  if (!bReady) {
    state.SkipWithError("capture did not start");
  }
  const iidc_waitinfo wait{IIDC_WAIT_FRAME, 1000};
  for (auto _ : state) {
    int32_t nFrames = 0;
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = ProcessCpuSeconds();
    while (bReady && nFrames < FRAMES && iidc_wait(h, &wait, 0) != nullptr) {
      iidc_lockdata(h, -1);
      iidc_unlockdata(h);
      ++nFrames;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = ProcessCpuSeconds() - cpuStart;
    state.SetIterationTime(seconds);
    state.counters["fps"] = nFrames / seconds;
    state.counters["cpu_us_per_frame"] = nFrames > 0 ? cpu * 1e6 / nFrames : 0;
    g_cpuPerFrame[pszDriver] = state.counters["cpu_us_per_frame"];
  }
  if (h != nullptr) {
    iidc_idle(h);
    iidc_freeframe(h);
    iidc_close(h);
  }
  iidc_uninit();
}

}  // namespace

int main(int argc, char** argv) {
  if (dlsym(RTLD_DEFAULT, "vbus_control") == nullptr) {
    std::fprintf(stderr, "run on the emulated bus: scripts/virtual-bus %s\n", argv[0]);
    return 2;
  }
  for (const char* pszDriver : {"virtual", "dc1394"}) {
    benchmark::RegisterBenchmark((std::string("Capture/") + pszDriver).c_str(), Capture, pszDriver)
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_cpuPerFrame["virtual"] > 0) {
    std::printf("CPU time per frame, dc1394 driver on the bus / in-process camera: %.2f\n",
                g_cpuPerFrame["dc1394"] / g_cpuPerFrame["virtual"]);
  }
  return 0;
}
