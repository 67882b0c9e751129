// The library on the cameras of the emulated FireWire bus, through its
// libdc1394 driver (IIDC_DRIVERS=dc1394, as ctest runs these): the bus's
// faults give the documented results without a hang, and the driver choice
// and a missing libdc1394 leave the right cameras in the device list. Faults
// come from the bus's vbus_control, found at run time.
#include <dlfcn.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "base/com_ptr.h"
#include "core/camera.h"
#include "drivers/dc1394/library.h"
#include "iidc.h"
#include "vbus/include/vbus_control.h"

// The tool's runs fork this process, which ThreadSanitizer would end.
extern "C" const char* __tsan_default_options() { return "die_after_fork=0"; }

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr uint32_t SMALL_ID = IIDC_FORMATID(0, 0, IIDC_COLOR_YUV444);  // 160 x 120 at up to 30 fps
constexpr uint32_t REG_BRIGHTNESS = 0x800;
constexpr uint32_t REG_ISO_EN = 0x614;
constexpr uint32_t WAIT_MS = 5000;

int Control(const char* pszCommands) {
  static const auto pfn = reinterpret_cast<vbus_control_fn>(dlsym(RTLD_DEFAULT, "vbus_control"));
  return pfn != nullptr ? pfn(pszCommands) : -1;
}

class BusDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Control("bandwidth 4915"), 0) << "not running on the emulated bus";
    ASSERT_TRUE(iidc_init());
  }
  void TearDown() override { iidc_uninit(); }

  // Camera 0 in the small format (or the one it has), capturing continuously
  // into three buffers.
  static iidc_handle StartCapturing(bool bSmall = true) {
    iidc_handle h = iidc_open(0);
    EXPECT_NE(h, nullptr);
    if (h == nullptr) return nullptr;
    if (bSmall) {
      EXPECT_TRUE(iidc_setformat(h, SMALL_ID));
    }
    EXPECT_TRUE(iidc_preparecapture(h));
    EXPECT_EQ(iidc_allocframe(h, 3), 3);
    EXPECT_TRUE(iidc_capture(h, 1));
    return h;
  }

  static int32_t Frames(iidc_handle h) {
    iidc_transferinfo info{-1, -1};
    return iidc_gettransferinfo(h, &info, sizeof info) ? info.framecount : -1;
  }

  // Waits (bounded) until more than nAfter frames have landed.
  static bool FramesBeyond(iidc_handle h, int32_t nAfter) {
    const iidc_waitinfo wait{IIDC_WAIT_FRAME, 200};
    const auto deadline = Clock::now() + std::chrono::milliseconds(WAIT_MS);
    while (Frames(h) <= nAfter && Clock::now() < deadline) iidc_wait(h, &wait, 0);
    return Frames(h) > nAfter;
  }

  static void Finish(iidc_handle h) {
    EXPECT_TRUE(iidc_idle(h));
    EXPECT_TRUE(iidc_freeframe(h));
    EXPECT_TRUE(iidc_close(h));
  }
};

// A bus reset and packets lost on the wire cost at most the frame on its
// way: capture goes on.
TEST_F(BusDriverTest, ResetsAndLostPacketsLeaveCaptureRunning) {
  for (const char* pszFault : {"reset", "lose 0 40"}) {
    SCOPED_TRACE(pszFault);
    iidc_handle h = StartCapturing();
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(FramesBeyond(h, 1));
    ASSERT_EQ(Control(pszFault), 0);
    const int32_t nBefore = Frames(h);
    EXPECT_TRUE(FramesBeyond(h, nBefore + 3)) << "frames stopped after the fault";
    uint32_t value = 0;
    EXPECT_EQ(iidc1394_asyncreadquadlet(h, REG_BRIGHTNESS, &value, 4), 4) << "registers after the fault";
    Finish(h);
  }
}

// A register the camera answers busy to fails once libdc1394's retries are
// spent, and the camera's other registers keep working.
TEST_F(BusDriverTest, BusyRegisterFailsAloneAndRecovers) {
  iidc_handle h = iidc_open(0);
  ASSERT_NE(h, nullptr);
  ASSERT_EQ(Control("busy 0 0x800 0x800"), 0);
  uint32_t value = 0x5A5A5A5A;
  const auto start = Clock::now();
  EXPECT_EQ(iidc1394_asyncreadquadlet(h, REG_BRIGHTNESS, &value, 4), 0);
  EXPECT_LT(Clock::now() - start, 1s);
  EXPECT_EQ(value, 0x5A5A5A5Au);
  EXPECT_EQ(iidc1394_asyncreadquadlet(h, REG_BRIGHTNESS + 4, &value, 4), 4);
  ASSERT_EQ(Control("busy 0 off"), 0);
  EXPECT_EQ(iidc1394_asyncreadquadlet(h, REG_BRIGHTNESS, &value, 4), 4);

  // Transmission that cannot be switched on: the ring set up for it goes
  // back, so capture starts once the camera answers again; idle switches
  // transmission off.
  ASSERT_TRUE(iidc_preparecapture(h));
  ASSERT_EQ(iidc_allocframe(h, 3), 3);
  ASSERT_EQ(Control("busy 0 0x614 0x614"), 0);
  EXPECT_EQ(iidc_capture(h, 1), 0);
  ASSERT_EQ(Control("busy 0 off"), 0);
  EXPECT_TRUE(iidc_capture(h, 1));
  EXPECT_TRUE(FramesBeyond(h, 0));
  EXPECT_EQ(iidc1394_asyncreadquadlet(h, REG_ISO_EN, &value, 4), 4);
  EXPECT_EQ(value, 0x80000000u);
  EXPECT_TRUE(iidc_idle(h));
  EXPECT_EQ(iidc1394_asyncreadquadlet(h, REG_ISO_EN, &value, 4), 4);
  EXPECT_EQ(value, 0u);
  EXPECT_TRUE(iidc_freeframe(h));
  EXPECT_TRUE(iidc_close(h));
}

// With most of the bus's bandwidth held by others, a mode that needs more
// cannot capture: the camera stays ready, and a smaller mode then captures
// on the channel the refused set-up gave back.
TEST_F(BusDriverTest, ModeBeyondTheBandwidthLeftIsRefused) {
  iidc_handle h = iidc_open(0);
  ASSERT_NE(h, nullptr);
  ASSERT_TRUE(iidc_preparecapture(h));
  ASSERT_EQ(iidc_allocframe(h, 3), 3);
  ASSERT_EQ(Control("bandwidth 300"), 0);
  EXPECT_EQ(iidc_capture(h, 1), 0) << "640 x 480 YUV422 at 30 frames per second";
  EXPECT_EQ(iidc_getlasterror(0), static_cast<uint32_t>(IIDC_ERR_FAIL));
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_READY);
  ASSERT_TRUE(iidc_freeframe(h));
  ASSERT_TRUE(iidc_setformat(h, SMALL_ID));
  ASSERT_TRUE(iidc_preparecapture(h));
  ASSERT_EQ(iidc_allocframe(h, 3), 3);
  EXPECT_TRUE(iidc_capture(h, 1));
  EXPECT_TRUE(FramesBeyond(h, 0));
  iidc1394_isotransmissioninfo iso{0xEE, 0xEE, 0xEEEE};
  EXPECT_EQ(iidc1394_currentisotransmissioninfo(h, &iso), 4);
  EXPECT_EQ(iso.channel, 0);
  Finish(h);
}

// Unplugged while capturing: waits end at their bound, every call on the
// handle fails within a second, the handle closes; after the library is
// started again the camera, plugged back, is found and captures. It captures
// 640 x 480 YUV422 at 30 frames per second, more than half the bus's
// bandwidth: had the lost capture kept its share, the new one would not fit.
TEST_F(BusDriverTest, UnpluggedCameraFailsFastAndIsFoundAgainAfterARestart) {
  iidc_handle h = StartCapturing(false);
  ASSERT_NE(h, nullptr);
  ASSERT_TRUE(FramesBeyond(h, 1));
  ASSERT_EQ(Control("unplug 0"), 0);

  const auto start = Clock::now();
  const iidc_waitinfo wait{IIDC_WAIT_FRAME, 300};
  for (int i = 0; i < 3; ++i) iidc_wait(h, &wait, 0);  // frames in flight, then the bound
  const int32_t nFrames = Frames(h);
  EXPECT_EQ(Frames(h), nFrames) << "frames after the loss";
  const auto lost = Clock::now();
  uint32_t value = 0;
  EXPECT_EQ(iidc1394_asyncreadquadlet(h, REG_BRIGHTNESS, &value, 4), 0);
  iidc_feature feature{IIDC_FEATURE_BRIGHTNESS, 0, 0, 0};
  EXPECT_EQ(iidc_currentfeature(h, &feature, 0), 0);
  iidc1394_isotransmissioninfo iso{};
  EXPECT_EQ(iidc1394_currentisotransmissioninfo(h, &iso), 0);
  EXPECT_EQ(iidc_getlasterror(0), static_cast<uint32_t>(IIDC_ERR_FAIL));
  EXPECT_LT(Clock::now() - lost, 1s) << "calls on the lost camera";
  EXPECT_TRUE(iidc_idle(h));
  EXPECT_TRUE(iidc_freeframe(h));
  EXPECT_TRUE(iidc_close(h));
  EXPECT_LT(Clock::now() - start, 5s);

  iidc_uninit();
  ASSERT_EQ(Control("plug 0"), 0);
  ASSERT_TRUE(iidc_init());
  ASSERT_EQ(iidc_getcameracount(), 2);
  h = StartCapturing(false);
  ASSERT_NE(h, nullptr);
  EXPECT_TRUE(FramesBeyond(h, 1));
  Finish(h);
}

// Single frames from a camera that leaves between or during them end at
// once with a defined result, and the library's resources and the bus's go
// back.
TEST_F(BusDriverTest, SingleFramesFromACameraThatLeavesEndAtOnce) {
  iidc_handle h = iidc_open(1);
  ASSERT_NE(h, nullptr);
  ASSERT_TRUE(iidc_preparecapture(h));
  ASSERT_EQ(iidc_allocframe(h, 2), 2);
  ASSERT_TRUE(iidc_capture(h, 0));
  std::thread unplug([] {
    std::this_thread::sleep_for(5ms);
    Control("unplug 1");
  });
  for (int i = 0; i < 20 && iidc_capture(h, 0); ++i) {
  }
  unplug.join();
  // Lost while its frame was awaited, the camera gives none; lost before
  // the capture started, it refuses to run: either way at once.
  const auto start = Clock::now();
  EXPECT_EQ(iidc_capture(h, 0), 0);
  EXPECT_LT(Clock::now() - start, 1s);
  const uint32_t nError = iidc_getlasterror(1);
  EXPECT_TRUE(nError == static_cast<uint32_t>(IIDC_ERR_NO_FRAMES) || nError == static_cast<uint32_t>(IIDC_ERR_FAIL))
      << std::hex << nError;
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_READY);
  EXPECT_TRUE(iidc_freeframe(h));
  EXPECT_TRUE(iidc_close(h));
}

// The driver turns the rows over when the orientation flag and the coding
// ask for it, as the virtual camera's filter does (Mono8 travels bottom row
// first unless flipped, every other coding top row first unless flipped).
// The library always asks for the camera's own order, so the test turns the
// flag on the library's filter itself; every single frame on the bus is the
// camera's frame 0, so the two frames are one picture.
TEST_F(BusDriverTest, OrientationFlagTurnsTheRowsOver) {
  struct Case {
    int32_t nCamera;
    uint32_t id;
    int32_t nHeight;
  };
  for (const Case& c : {Case{1, IIDC_FORMATID(0, 5, IIDC_COLOR_MONO8), 480}, Case{0, SMALL_ID, 120}}) {
    SCOPED_TRACE(c.nCamera);
    iidc_handle h = iidc_open(c.nCamera);
    ASSERT_NE(h, nullptr);
    ASSERT_TRUE(iidc_setformat(h, c.id));
    ASSERT_TRUE(iidc_preparecapture(h));
    ASSERT_EQ(iidc_allocframe(h, 1), 1);
    const auto cbFrame = static_cast<size_t>(iidc_currentdataframebytes(h));
    const size_t cbRow = cbFrame / static_cast<size_t>(c.nHeight);
    ASSERT_TRUE(iidc_capture(h, 0));
    const unsigned char* pFrame = iidc_lockdata(h, -1);
    ASSERT_NE(pFrame, nullptr);
    const std::vector<unsigned char> upright(pFrame, pFrame + cbFrame);
    iidc_unlockdata(h);

    CCamera& camera = *reinterpret_cast<CCamera*>(h);
    ComPtr<IAMVideoControl> pControl;
    ASSERT_EQ(camera.m_pCaptureFilter->QueryInterface(IID_IAMVideoControl, pControl.ReleaseAndGetVoidAddressOf()),
              S_OK);
    ComPtr<IEnumPins> pPins;
    ComPtr<IPin> pPin;
    ASSERT_EQ(camera.m_pCaptureFilter->EnumPins(pPins.ReleaseAndGetAddressOf()), S_OK);
    ASSERT_EQ(pPins->Next(1, pPin.ReleaseAndGetAddressOf(), nullptr), S_OK);
    LONG nMode = 0;
    ASSERT_EQ(pControl->GetMode(pPin.Get(), &nMode), S_OK);
    ASSERT_EQ(pControl->SetMode(pPin.Get(), nMode ^ VideoControlFlag_FlipVertical), S_OK);

    ASSERT_TRUE(iidc_capture(h, 0));
    pFrame = iidc_lockdata(h, -1);
    ASSERT_NE(pFrame, nullptr);
    for (int32_t y = 0; y < c.nHeight; ++y) {
      const unsigned char* pRow = upright.data() + static_cast<size_t>(c.nHeight - 1 - y) * cbRow;
      ASSERT_TRUE(std::equal(pRow, pRow + cbRow, pFrame + static_cast<size_t>(y) * cbRow)) << "row " << y;
    }
    iidc_unlockdata(h);
    EXPECT_TRUE(iidc_freeframe(h));
    EXPECT_TRUE(iidc_close(h));
  }
}

// The driver choice: the bus's cameras first by default, either kind alone
// when IIDC_DRIVERS names it, in the order it names. The two kinds are told
// apart by a register written through the bus.
TEST_F(BusDriverTest, DriverChoiceOrdersAndHidesTheCameras) {
  iidc_uninit();
  ASSERT_EQ(setenv("IIDC_DRIVERS", "dc1394", 1), 0);
  ASSERT_TRUE(iidc_init());
  ASSERT_EQ(iidc_getcameracount(), 2);
  iidc_handle h = iidc_open(0);
  ASSERT_NE(h, nullptr);
  const uint32_t marked = 0x82000000u | 33;
  ASSERT_EQ(iidc1394_asyncwritequadlet(h, REG_BRIGHTNESS, &marked, 4), 4);
  iidc_close(h);
  iidc_uninit();

  struct Choice {
    const char* pszDrivers;
    int32_t nCount;
    int32_t nBusIndex;  // where camera 0 of the bus is listed; -1: nowhere
  };
  for (const Choice& c : {Choice{"", 4, 0}, Choice{"virtual", 2, -1}, Choice{"virtual,dc1394", 4, 2},
                          Choice{" dc1394 , nothing", 2, 0}}) {
    SCOPED_TRACE(c.pszDrivers);
    ASSERT_EQ(setenv("IIDC_DRIVERS", c.pszDrivers, 1), 0);
    ASSERT_TRUE(iidc_init());
    EXPECT_EQ(iidc_getcameracount(), c.nCount);
    for (int32_t i = 0; i < iidc_getcameracount(); i += 2) {
      h = iidc_open(i);
      ASSERT_NE(h, nullptr);
      uint32_t value = 0;
      EXPECT_EQ(iidc1394_asyncreadquadlet(h, REG_BRIGHTNESS, &value, 4), 4);
      EXPECT_EQ((value & 0xFFF) == 33, i == c.nBusIndex) << "camera " << i;
      iidc_close(h);
    }
    iidc_uninit();
  }
  ASSERT_EQ(setenv("IIDC_DRIVERS", "dc1394", 1), 0);
  ASSERT_TRUE(iidc_init());
}

// Where libdc1394 cannot be loaded the library starts all the same, with
// its virtual cameras, and the bus's driver lists nothing.
TEST(MissingLibdc1394, LeavesTheVirtualCameras) {
  dc1394drv::SetDc1394LibraryName("libdc1394-not-here.so.25");
  ASSERT_EQ(setenv("IIDC_DRIVERS", "dc1394,virtual", 1), 0);
  ASSERT_TRUE(iidc_init());
  EXPECT_EQ(iidc_getcameracount(), 2);
  iidc_handle h = iidc_open(0);
  EXPECT_NE(h, nullptr);
  iidc_close(h);
  iidc_uninit();
  ASSERT_EQ(setenv("IIDC_DRIVERS", "dc1394", 1), 0);
  EXPECT_FALSE(iidc_init()) << "no camera";
  EXPECT_EQ(dc1394drv::Dc1394(), nullptr);
}

// The tool's output, run with the drivers named (the bus stays preloaded
// for both: with "virtual" the library simply does not use it).
std::string Tool(const char* pszDrivers, const std::string& args) {
  const std::string command = std::string("IIDC_DRIVERS=") + pszDrivers + " " + IIDC_TOOL + " " + args + " 2>&1";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  std::string text;
  for (int c; pipe && (c = std::fgetc(pipe.get())) != EOF;) text += static_cast<char>(c);
  return text;
}

std::string FileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The tool tells the bus's cameras from the in-process ones by nothing:
// listing, every camera's formats and features, its registers and ROM as a
// profile, and single frames byte for byte (ctest runs this on the built-in
// pair, the example profiles and the published ROMs of real cameras).
TEST(ToolOverTheBus, SeesEveryCameraAsInProcess) {
  const std::string list = Tool("virtual", "list --json");
  ASSERT_EQ(Tool("dc1394", "list --json"), list);
  const std::size_t nCameras = nlohmann::json::parse(list)["cameras"].size();
  ASSERT_GT(nCameras, 0u);
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("iidc-bus-" + std::to_string(getpid()));
  for (std::size_t i = 0; i < nCameras; ++i) {
    const std::string camera = " --camera " + std::to_string(i);
    SCOPED_TRACE(camera);
    EXPECT_EQ(Tool("dc1394", "info --json" + camera), Tool("virtual", "info --json" + camera));
    EXPECT_EQ(Tool("dc1394", "dump" + camera), Tool("virtual", "dump" + camera));
    for (const char* pszDrivers : {"virtual", "dc1394"}) {
      Tool(pszDrivers, "grab --single --count 1 --type raw" + camera + " -o " + (dir / pszDrivers).string());
    }
    const std::string frame = FileText(dir / "virtual" / "frame-0001.raw");
    EXPECT_FALSE(frame.empty());
    EXPECT_TRUE(frame == FileText(dir / "dc1394" / "frame-0001.raw")) << "the frames differ";
    std::filesystem::remove_all(dir);
  }
}

}  // namespace
