// iidc_lockbits on a 640 x 480 YUV 4:2:2 frame of a virtual camera: the lock,
// the format, area and model-name queries, the platform bitmap and the
// conversion, against the conversion alone (Convert). The difference is what
// a colour image costs beyond its pixels.
#include <benchmark/benchmark.h>

#include <vector>

#include "core/camera.h"
#include "iidc.h"
#include "image/convert/convert.h"
#include "vcam/filter/test_support.h"

namespace {

constexpr int WIDTH = 640, HEIGHT = 480;

// The built-in colour camera in Format 0 mode 3, capturing into two buffers,
// with one frame delivered.
class CCapturingCamera
{
public:
    CCapturingCamera()
    {
        m_clocks = vcam::InstallSteppedCameraSet();
        if (!iidc_init() || (m_hCamera = iidc_open(0)) == nullptr ||
            !iidc_setformat(m_hCamera, IIDC_FORMATID(0, 3, IIDC_COLOR_YUV422)) || !iidc_preparecapture(m_hCamera) ||
            iidc_allocframe(m_hCamera, 2) != 2 || !iidc_capture(m_hCamera, 1))
            return;
        const iidc_waitinfo wait = {IIDC_WAIT_FRAME, 10000};
        m_clocks[0]->Step(1);
        m_bReady = iidc_wait(m_hCamera, &wait, 0) != nullptr;
    }
    ~CCapturingCamera()
    {
        if (m_hCamera) {
            iidc_idle(m_hCamera);
            iidc_freeframe(m_hCamera);
            iidc_clearcapture(m_hCamera);
            iidc_close(m_hCamera);
        }
        iidc_uninit();
        vcam::ResetActiveCameraSet();
    }
    CCapturingCamera(const CCapturingCamera&) = delete;
    CCapturingCamera& operator=(const CCapturingCamera&) = delete;

    bool Ready() const { return m_bReady; }
    iidc_handle Handle() const { return m_hCamera; }
    const CCamera& Camera() const { return *reinterpret_cast<const CCamera*>(m_hCamera); }

private:
    std::vector<std::shared_ptr<vcam::CSteppedClock>> m_clocks;
    iidc_handle m_hCamera = nullptr;
    bool m_bReady = false;
};

void LockBits(benchmark::State& state)
{
    CCapturingCamera camera;
    if (!camera.Ready()) {
        state.SkipWithError("no frame captured");
        return;
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(iidc_lockbits(camera.Handle(), -1));
        iidc_unlockbits(camera.Handle());
    }
    state.SetItemsProcessed(state.iterations() * WIDTH * HEIGHT);
}

void Convert(benchmark::State& state)
{
    const std::vector<uint8_t> frame(size_t(WIDTH) * HEIGHT * 2, 0x80);
    std::vector<uint8_t> image(Bgr24ImageSize(WIDTH, HEIGHT));
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            Yuv422ToBgr24(frame.data(), frame.size(), image.data(), image.size(), WIDTH, HEIGHT, true));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * WIDTH * HEIGHT);
}

BENCHMARK(LockBits)->Unit(benchmark::kMicrosecond);
BENCHMARK(Convert)->Unit(benchmark::kMicrosecond);

}  // namespace
