// The virtual cameras driven by an IIDC host nobody here wrote: Debian's
// libdc1394 over the emulated bus, through its public interface only. The
// camera's test pattern (vcam/model/pattern.h) is the oracle for pixels; the
// bus's faults come from its vbus_control, found at run time.
#include <dc1394/dc1394.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/firewire-cdev.h>
#include <linux/firewire-constants.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "vbus/include/vbus_control.h"
#include "vcam/model/formats.h"
#include "vcam/model/pattern.h"

namespace {

using namespace std::chrono_literals;

int Control(const char* pszCommand) {
  static const auto pfn = reinterpret_cast<vbus_control_fn>(dlsym(RTLD_DEFAULT, "vbus_control"));
  return pfn ? pfn(pszCommand) : -1;
}

// What the camera sends for a frame of the given shape and sequence number.
std::vector<std::uint8_t> Pattern(dc1394color_coding_t coding, std::uint32_t nWidth, std::uint32_t nHeight,
                                  std::uint32_t nSequence) {
  const std::uint32_t nColor = vcam::StreamColor(coding - DC1394_COLOR_CODING_MONO8);
  std::vector<std::uint8_t> frame(vcam::FrameBytes(nColor, nWidth, nHeight));
  vcam::DrawTestPattern(nColor, nWidth, nHeight, nSequence, frame);
  return frame;
}

// A register of the card's own CSRs (the isochronous resource manager's),
// read with the kernel interface libdc1394 uses.
std::uint32_t ReadCardCsr(std::uint32_t nOffset) {
  const int fd = open("/dev/fw0", O_RDWR);
  fw_cdev_event_bus_reset reset{};
  fw_cdev_get_info info{};
  info.version = 4;
  info.bus_reset = reinterpret_cast<std::uintptr_t>(&reset);
  fw_cdev_send_request request{};
  request.tcode = TCODE_READ_QUADLET_REQUEST;
  request.length = 4;
  request.offset = 0xFFFFF0000000ull + nOffset;
  std::uint8_t event[64] = {};
  if (ioctl(fd, FW_CDEV_IOC_GET_INFO, &info) == 0) {
    request.generation = reset.generation;
    if (ioctl(fd, FW_CDEV_IOC_SEND_REQUEST, &request) != 0 || read(fd, event, sizeof event) < 0) event[0] = 0;
  }
  close(fd);
  std::uint32_t dwValue = 0;
  std::memcpy(&dwValue, event + offsetof(fw_cdev_event_response, data), 4);
  return be32toh(dwValue);
}

class BusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Control("bandwidth 4915"), 0) << "not running on the emulated bus";
    m_pBus = dc1394_new();
    ASSERT_NE(m_pBus, nullptr);
    ASSERT_EQ(dc1394_camera_enumerate(m_pBus, &m_pList), DC1394_SUCCESS);
  }
  void TearDown() override {
    for (dc1394camera_t* pCamera : m_cameras) {
      dc1394_video_set_transmission(pCamera, DC1394_OFF);
      dc1394_capture_stop(pCamera);
      dc1394_camera_free(pCamera);
    }
    if (m_pList) dc1394_camera_free_list(m_pList);
    if (m_pBus) dc1394_free(m_pBus);
  }

  dc1394camera_t* Open(std::uint32_t nIndex) {
    if (nIndex >= m_pList->num) return nullptr;
    dc1394camera_t* pCamera = dc1394_camera_new_unit(m_pBus, m_pList->ids[nIndex].guid, m_pList->ids[nIndex].unit);
    if (pCamera) m_cameras.push_back(pCamera);
    return pCamera;
  }

  // Sets up capture and transmission; a failure is the returned code.
  static dc1394error_t Start(dc1394camera_t* pCamera, std::uint32_t nFlags = DC1394_CAPTURE_FLAGS_DEFAULT) {
    const dc1394error_t err = dc1394_capture_setup(pCamera, 4, nFlags);
    return err != DC1394_SUCCESS ? err : dc1394_video_set_transmission(pCamera, DC1394_ON);
  }
  static void Stop(dc1394camera_t* pCamera) {
    dc1394_video_set_transmission(pCamera, DC1394_OFF);
    dc1394_capture_stop(pCamera);
  }

  // Takes the next frame, checks it is the camera's pattern and gives its
  // sequence number back to the ring; -1 when capture failed.
  static long TakePatternFrame(dc1394camera_t* pCamera) {
    dc1394video_frame_t* pFrame = nullptr;
    if (dc1394_capture_dequeue(pCamera, DC1394_CAPTURE_POLICY_WAIT, &pFrame) != DC1394_SUCCESS || !pFrame) return -1;
    const std::span<const std::uint8_t> image(pFrame->image, pFrame->image_bytes);
    const std::uint32_t nSequence = vcam::FrameSequence(image);
    const std::vector<std::uint8_t> expected = Pattern(pFrame->color_coding, pFrame->size[0], pFrame->size[1], nSequence);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), image.begin(), image.end()))
        << "mode " << pFrame->video_mode << ", " << pFrame->size[0] << " x " << pFrame->size[1] << ", frame " << nSequence;
    dc1394_capture_enqueue(pCamera, pFrame);
    return nSequence;
  }

  dc1394_t* m_pBus = nullptr;
  dc1394camera_list_t* m_pList = nullptr;
  std::vector<dc1394camera_t*> m_cameras;
};

// The cameras libdc1394 finds are those the iidc tool lists, by unique id,
// vendor and model: two hosts, one answer (built-in cameras, profile cameras
// and published ROMs of real cameras alike, as ctest runs it). The filter it
// reads of an IIDC 1.31 camera's Format 7 modes is the profile's, or none.
TEST_F(BusTest, EnumeratesTheCamerasTheToolLists) {
  nlohmann::json profiles = nlohmann::json::array();
  if (const char* psz = std::getenv("IIDC_VCAM_PROFILE")) profiles = nlohmann::json::parse(std::ifstream(psz)).at("cameras");
  // The tool's own cameras, not the bus's, which it would list first.
  const std::string command = std::string("IIDC_DRIVERS=virtual ") + IIDC_TOOL + " list --json";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  ASSERT_TRUE(pipe);
  std::string text;
  for (int c; (c = std::fgetc(pipe.get())) != EOF;) text += static_cast<char>(c);
  const nlohmann::json listed = nlohmann::json::parse(text)["cameras"];
  ASSERT_EQ(m_pList->num, listed.size());
  for (std::uint32_t i = 0; i < m_pList->num; ++i) {
    dc1394camera_t* pCamera = Open(i);
    ASSERT_NE(pCamera, nullptr);
    char szChip[16];
    std::snprintf(szChip, sizeof szChip, "%010llx", static_cast<unsigned long long>(pCamera->guid & 0xFFFFFFFFFFull));
    EXPECT_EQ(listed[i]["uniqueId"], szChip);
    EXPECT_EQ(listed[i]["vendor"], pCamera->vendor);
    EXPECT_EQ(listed[i]["model"], pCamera->model);
    const auto filter = vcam::ColorFilterFromName(i < profiles.size() ? profiles[i].value("colorFilter", "") : "");
    dc1394format7modeset_t modes;
    ASSERT_EQ(dc1394_format7_get_modeset(pCamera, &modes), DC1394_SUCCESS);
    for (std::uint32_t m = 0; m < DC1394_VIDEO_MODE_FORMAT7_NUM; ++m) {
      if (!modes.mode[m].present || pCamera->iidc_version < DC1394_IIDC_VERSION_1_31) continue;
      EXPECT_EQ(modes.mode[m].color_filter, DC1394_COLOR_FILTER_MIN + filter.value_or(0xFF)) << i << ":" << m;
    }
  }
}

// Every mode and rate of Formats 0-2 sends the pattern. Where IIDC gives the
// combination no packet size the camera cannot send it, and libdc1394 says so.
TEST_F(BusTest, EveryStandardModeAndRateSendsThePattern) {
  for (std::uint32_t nCamera = 0; nCamera < m_pList->num; ++nCamera) {
    dc1394camera_t* pCamera = Open(nCamera);
    ASSERT_NE(pCamera, nullptr);
    dc1394video_modes_t modes;
    ASSERT_EQ(dc1394_video_get_supported_modes(pCamera, &modes), DC1394_SUCCESS);
    for (std::uint32_t m = 0; m < modes.num; ++m) {
      if (dc1394_is_video_mode_scalable(modes.modes[m])) continue;
      dc1394framerates_t rates;
      ASSERT_EQ(dc1394_video_get_supported_framerates(pCamera, modes.modes[m], &rates), DC1394_SUCCESS);
      for (std::uint32_t r = 0; r < rates.num; ++r) {
        SCOPED_TRACE(testing::Message() << "camera " << nCamera << ", mode " << modes.modes[m] << ", rate "
                                        << rates.framerates[r]);
        ASSERT_EQ(dc1394_video_set_mode(pCamera, modes.modes[m]), DC1394_SUCCESS);
        ASSERT_EQ(dc1394_video_set_framerate(pCamera, rates.framerates[r]), DC1394_SUCCESS);
        // libdc1394 numbers the modes of Formats 0, 1 and 2 from 64, 71 and 79.
        const std::uint32_t nMode = modes.modes[m] - DC1394_VIDEO_MODE_MIN;
        const std::uint32_t nFormat = nMode < 7 ? 0 : nMode < 15 ? 1 : 2;
        const bool bCarried = vcam::StandardPacketBytes(nFormat, nMode - (nFormat == 0 ? 0 : nFormat == 1 ? 7 : 15),
                                                        rates.framerates[r] - DC1394_FRAMERATE_MIN)
                                  .has_value();
        const dc1394error_t err = Start(pCamera);
        EXPECT_EQ(err == DC1394_SUCCESS, bCarried);
        if (err == DC1394_SUCCESS) {
          EXPECT_EQ(TakePatternFrame(pCamera), 0);
        }
        Stop(pCamera);
      }
    }
  }
}

// Format 7 areas at several positions, sizes, packet sizes and colour
// codings, padded and unpadded frames.
TEST_F(BusTest, Format7AreasSendThePattern) {
  struct Area {
    dc1394video_mode_t mode;
    dc1394color_coding_t coding;
    std::uint32_t nPacket, nLeft, nTop, nWidth, nHeight;
  };
  const Area areas[] = {
      {DC1394_VIDEO_MODE_FORMAT7_0, DC1394_COLOR_CODING_MONO8, 4096, 0, 0, 1280, 960},
      {DC1394_VIDEO_MODE_FORMAT7_0, DC1394_COLOR_CODING_YUV422, 2048, 4, 2, 640, 480},
      {DC1394_VIDEO_MODE_FORMAT7_0, DC1394_COLOR_CODING_RGB8, 1000, 1152, 946, 104, 14},
      {DC1394_VIDEO_MODE_FORMAT7_0, DC1394_COLOR_CODING_YUV411, 4, 8, 10, 16, 6},
      {DC1394_VIDEO_MODE_FORMAT7_0, DC1394_COLOR_CODING_MONO16, 3072, 640, 480, 640, 480},
      {DC1394_VIDEO_MODE_FORMAT7_1, DC1394_COLOR_CODING_YUV422, 8, 0, 0, 4, 4},
      {DC1394_VIDEO_MODE_FORMAT7_1, DC1394_COLOR_CODING_MONO8, 2048, 320, 240, 320, 240},
  };
  dc1394camera_t* pCamera = Open(0);
  ASSERT_NE(pCamera, nullptr);
  for (const Area& a : areas) {
    SCOPED_TRACE(testing::Message() << "mode " << a.mode << ", coding " << a.coding << ", " << a.nWidth << " x "
                                    << a.nHeight << " at " << a.nLeft << ", " << a.nTop);
    ASSERT_EQ(dc1394_video_set_mode(pCamera, a.mode), DC1394_SUCCESS);
    ASSERT_EQ(dc1394_format7_set_roi(pCamera, a.mode, a.coding, static_cast<std::int32_t>(a.nPacket),
                                     static_cast<std::int32_t>(a.nLeft), static_cast<std::int32_t>(a.nTop),
                                     static_cast<std::int32_t>(a.nWidth), static_cast<std::int32_t>(a.nHeight)),
              DC1394_SUCCESS);
    ASSERT_EQ(Start(pCamera), DC1394_SUCCESS);
    EXPECT_EQ(TakePatternFrame(pCamera), 0);
    EXPECT_EQ(TakePatternFrame(pCamera), 1);
    Stop(pCamera);
  }
}

// Values, absolute values and modes written through libdc1394 read back as
// the camera took them.
TEST_F(BusTest, FeaturesRoundTrip) {
  dc1394camera_t* pCamera = Open(0);
  ASSERT_NE(pCamera, nullptr);
  dc1394featureset_t features;
  ASSERT_EQ(dc1394_feature_get_all(pCamera, &features), DC1394_SUCCESS);
  int nChecked = 0;
  for (const dc1394feature_info_t& f : features.feature) {
    if (!f.available || f.id == DC1394_FEATURE_TRIGGER || f.id == DC1394_FEATURE_WHITE_BALANCE ||
        f.id == DC1394_FEATURE_TEMPERATURE)
      continue;
    SCOPED_TRACE(testing::Message() << "feature " << f.id);
    if (f.on_off_capable) {
      ASSERT_EQ(dc1394_feature_set_power(pCamera, f.id, DC1394_ON), DC1394_SUCCESS);
    }
    ASSERT_EQ(dc1394_feature_set_mode(pCamera, f.id, DC1394_FEATURE_MODE_MANUAL), DC1394_SUCCESS);
    const std::uint32_t nValue = (f.min + f.max) / 2 + 1;
    std::uint32_t nRead = 0;
    ASSERT_EQ(dc1394_feature_set_value(pCamera, f.id, nValue), DC1394_SUCCESS);
    ASSERT_EQ(dc1394_feature_get_value(pCamera, f.id, &nRead), DC1394_SUCCESS);
    EXPECT_EQ(nRead, nValue);
    if (f.absolute_capable) {
      float fMin = 0, fMax = 0, fRead = 0;
      ASSERT_EQ(dc1394_feature_set_absolute_control(pCamera, f.id, DC1394_ON), DC1394_SUCCESS);
      ASSERT_EQ(dc1394_feature_get_absolute_boundaries(pCamera, f.id, &fMin, &fMax), DC1394_SUCCESS);
      ASSERT_EQ(dc1394_feature_set_absolute_value(pCamera, f.id, (fMin + fMax) / 4), DC1394_SUCCESS);
      ASSERT_EQ(dc1394_feature_get_absolute_value(pCamera, f.id, &fRead), DC1394_SUCCESS);
      EXPECT_FLOAT_EQ(fRead, (fMin + fMax) / 4);
      ASSERT_EQ(dc1394_feature_set_absolute_control(pCamera, f.id, DC1394_OFF), DC1394_SUCCESS);
    }
    // Last to first: a one-push adjustment starts from manual mode only.
    dc1394feature_mode_t mode;
    for (std::uint32_t i = f.modes.num; i-- > 0;) {
      ASSERT_EQ(dc1394_feature_set_mode(pCamera, f.id, f.modes.modes[i]), DC1394_SUCCESS);
      ASSERT_EQ(dc1394_feature_get_mode(pCamera, f.id, &mode), DC1394_SUCCESS);
      // A one-push adjustment ends by itself, back in manual mode.
      for (int n = 0; mode == DC1394_FEATURE_MODE_ONE_PUSH_AUTO && n < 100; ++n) {
        std::this_thread::sleep_for(20ms);
        ASSERT_EQ(dc1394_feature_get_mode(pCamera, f.id, &mode), DC1394_SUCCESS);
      }
      EXPECT_EQ(mode, f.modes.modes[i] == DC1394_FEATURE_MODE_ONE_PUSH_AUTO ? DC1394_FEATURE_MODE_MANUAL
                                                                            : f.modes.modes[i]);
    }
    ++nChecked;
  }
  EXPECT_GE(nChecked, 10);
}

// With the trigger on, the camera sends a frame per software release; the
// POLL policy finds none before it and none after the frame.
TEST_F(BusTest, SoftwareTriggerSendsOneFramePerRelease) {
  dc1394camera_t* pCamera = Open(0);
  ASSERT_NE(pCamera, nullptr);
  ASSERT_EQ(dc1394_external_trigger_set_mode(pCamera, DC1394_TRIGGER_MODE_0), DC1394_SUCCESS);
  ASSERT_EQ(dc1394_external_trigger_set_power(pCamera, DC1394_ON), DC1394_SUCCESS);
  ASSERT_EQ(Start(pCamera), DC1394_SUCCESS);
  for (long nFrame = 0; nFrame < 3; ++nFrame) {
    std::this_thread::sleep_for(100ms);
    dc1394video_frame_t* pFrame = nullptr;
    ASSERT_EQ(dc1394_capture_dequeue(pCamera, DC1394_CAPTURE_POLICY_POLL, &pFrame), DC1394_SUCCESS);
    EXPECT_EQ(pFrame, nullptr);
    ASSERT_EQ(dc1394_software_trigger_set_power(pCamera, DC1394_ON), DC1394_SUCCESS);
    EXPECT_EQ(TakePatternFrame(pCamera), nFrame);
  }
}

// A hundred set-ups and stops leave every channel and all the bandwidth free.
TEST_F(BusTest, SetupAndStopLeakNoIsoResources) {
  dc1394camera_t* pCamera = Open(0);
  ASSERT_NE(pCamera, nullptr);
  for (int n = 0; n < 100; ++n) {
    ASSERT_EQ(dc1394_capture_setup(pCamera, 4, DC1394_CAPTURE_FLAGS_DEFAULT), DC1394_SUCCESS) << n;
    ASSERT_EQ(dc1394_capture_stop(pCamera), DC1394_SUCCESS) << n;
  }
  // libdc1394 cannot read the resource manager: its registers are read
  // through the card's own device file.
  EXPECT_EQ(ReadCardCsr(0x220), 4915u);        // BANDWIDTH_AVAILABLE
  EXPECT_EQ(ReadCardCsr(0x224), 0xFFFFFFFFu);  // CHANNELS_AVAILABLE_HI
}

// Two cameras share the bus on channels of their own, and the second one's
// mode is refused once it does not fit the bandwidth the first left.
TEST_F(BusTest, TwoCamerasShareTheBusAsTheBandwidthAllows) {
  dc1394camera_t* pColour = Open(0);
  dc1394camera_t* pMono = Open(1);
  ASSERT_TRUE(pColour && pMono);
  ASSERT_EQ(dc1394_video_set_mode(pColour, DC1394_VIDEO_MODE_640x480_YUV422), DC1394_SUCCESS);
  ASSERT_EQ(dc1394_video_set_framerate(pColour, DC1394_FRAMERATE_30), DC1394_SUCCESS);
  ASSERT_EQ(dc1394_video_set_mode(pMono, DC1394_VIDEO_MODE_640x480_MONO8), DC1394_SUCCESS);
  ASSERT_EQ(dc1394_video_set_framerate(pMono, DC1394_FRAMERATE_60), DC1394_SUCCESS);
  ASSERT_EQ(Start(pColour), DC1394_SUCCESS);
  // 2,572 units each: the kernel gives back the channel with the bandwidth
  // it could not have, so libdc1394 names the channel unless it asked for
  // bandwidth alone.
  EXPECT_EQ(dc1394_capture_setup(pMono, 4, DC1394_CAPTURE_FLAGS_BANDWIDTH_ALLOC), DC1394_NO_BANDWIDTH);
  EXPECT_EQ(dc1394_capture_setup(pMono, 4, DC1394_CAPTURE_FLAGS_DEFAULT), DC1394_NO_ISO_CHANNEL);

  ASSERT_EQ(dc1394_video_set_framerate(pMono, DC1394_FRAMERATE_30), DC1394_SUCCESS);
  ASSERT_EQ(Start(pMono), DC1394_SUCCESS);
  std::uint32_t nColourChannel = 0, nMonoChannel = 0;
  ASSERT_EQ(dc1394_video_get_iso_channel(pColour, &nColourChannel), DC1394_SUCCESS);
  ASSERT_EQ(dc1394_video_get_iso_channel(pMono, &nMonoChannel), DC1394_SUCCESS);
  EXPECT_NE(nColourChannel, nMonoChannel);
  for (long n = 0; n < 3; ++n) {
    EXPECT_GE(TakePatternFrame(pColour), n);
    EXPECT_GE(TakePatternFrame(pMono), n);
  }
}

// A bus reset while capturing costs at most the frame on its way: register
// access goes on in the new generation and frames keep coming.
TEST_F(BusTest, BusResetDuringCaptureLosesAtMostAFrame) {
  dc1394camera_t* pCamera = Open(1);
  ASSERT_NE(pCamera, nullptr);
  ASSERT_EQ(Start(pCamera), DC1394_SUCCESS);
  EXPECT_EQ(TakePatternFrame(pCamera), 0);
  ASSERT_EQ(Control("reset"), 0);
  dc1394video_mode_t mode;
  EXPECT_EQ(dc1394_video_get_mode(pCamera, &mode), DC1394_SUCCESS);
  dc1394video_frame_t* pFrame = nullptr;
  ASSERT_EQ(dc1394_capture_dequeue(pCamera, DC1394_CAPTURE_POLICY_WAIT, &pFrame), DC1394_SUCCESS);
  dc1394_capture_enqueue(pCamera, pFrame);  // may hold the packet the reset took
  long nLast = 0;
  for (int n = 0; n < 3; ++n) {
    const long nSequence = TakePatternFrame(pCamera);
    EXPECT_GT(nSequence, nLast);
    nLast = nSequence;
  }
}

// A camera that answers busy fails libdc1394's reads once its retries are
// spent; a frame whose first packet is lost is not received; bandwidth other
// nodes hold is not there to allocate.
TEST_F(BusTest, FaultsShowAsOnARealBus) {
  dc1394camera_t* pCamera = Open(1);
  ASSERT_NE(pCamera, nullptr);
  dc1394video_mode_t mode;
  ASSERT_EQ(Control("busy 1 0x604 0x604"), 0);
  EXPECT_EQ(dc1394_video_get_mode(pCamera, &mode), DC1394_FAILURE);
  ASSERT_EQ(Control("busy 1 off"), 0);
  EXPECT_EQ(dc1394_video_get_mode(pCamera, &mode), DC1394_SUCCESS);

  // Triggered, the camera sends a frame per release: the one whose first
  // packet is lost never reaches the buffer waiting for a frame's start.
  ASSERT_EQ(dc1394_external_trigger_set_power(pCamera, DC1394_ON), DC1394_SUCCESS);
  ASSERT_EQ(Start(pCamera), DC1394_SUCCESS);
  ASSERT_EQ(Control("lose 1 1"), 0);
  ASSERT_EQ(dc1394_software_trigger_set_power(pCamera, DC1394_ON), DC1394_SUCCESS);
  std::this_thread::sleep_for(100ms);
  dc1394video_frame_t* pFrame = nullptr;
  ASSERT_EQ(dc1394_capture_dequeue(pCamera, DC1394_CAPTURE_POLICY_POLL, &pFrame), DC1394_SUCCESS);
  EXPECT_EQ(pFrame, nullptr);
  ASSERT_EQ(dc1394_software_trigger_set_power(pCamera, DC1394_ON), DC1394_SUCCESS);
  EXPECT_EQ(TakePatternFrame(pCamera), 1);
  Stop(pCamera);

  ASSERT_EQ(Control("bandwidth 1000"), 0);
  EXPECT_EQ(dc1394_capture_setup(pCamera, 4, DC1394_CAPTURE_FLAGS_BANDWIDTH_ALLOC), DC1394_NO_BANDWIDTH);
  EXPECT_EQ(Control("bandwidth"), -1);
  EXPECT_EQ(Control("unplug 9"), -1);
}

// A camera pulled while it streams: the waiting dequeue ends in an error, the
// others' calls too, and nothing hangs; plugged back, it is found again.
TEST_F(BusTest, CameraUnpluggedDuringCaptureEndsInErrors) {
  dc1394camera_t* pCamera = Open(0);
  ASSERT_NE(pCamera, nullptr);
  ASSERT_EQ(Start(pCamera), DC1394_SUCCESS);
  EXPECT_EQ(TakePatternFrame(pCamera), 0);
  std::thread pull([] {
    std::this_thread::sleep_for(50ms);
    Control("unplug 0");
  });
  dc1394error_t err = DC1394_SUCCESS;
  for (int n = 0; n < 100 && err == DC1394_SUCCESS; ++n) {
    dc1394video_frame_t* pFrame = nullptr;
    err = dc1394_capture_dequeue(pCamera, DC1394_CAPTURE_POLICY_WAIT, &pFrame);
    if (pFrame) dc1394_capture_enqueue(pCamera, pFrame);
  }
  pull.join();
  EXPECT_NE(err, DC1394_SUCCESS);
  dc1394video_mode_t mode;
  EXPECT_NE(dc1394_video_get_mode(pCamera, &mode), DC1394_SUCCESS);

  ASSERT_EQ(Control("plug 0"), 0);
  dc1394camera_list_t* pList = nullptr;
  ASSERT_EQ(dc1394_camera_enumerate(m_pBus, &pList), DC1394_SUCCESS);
  EXPECT_EQ(pList->num, m_pList->num);
  dc1394_camera_free_list(pList);
}

}  // namespace
