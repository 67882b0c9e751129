// iidcsrc and iidcdeviceprovider on the built-in virtual cameras: caps,
// negotiation down to the pixels, frame counts and gaps, features, failures,
// a camera lost while playing, and many state changes without a leak.
#include "gst_fixture.h"

#include <gst/video/video.h>
#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <chrono>
#include <future>
#include <tuple>
#include <utility>

#include "../support/bayer_colours.h"
#include "emul/fault.h"
#include "vcam/model/camera_set.h"
#include "vcam/model/pattern.h"

namespace {

using SourceTest = CGstTest;

TEST_F(SourceTest, DeviceProviderListsEachCameraWithItsCapsAndASourceForIt) {
  const struct { const char *pszName, *pszUniqueId, *pszOffered, *pszNotOffered; } rows[] = {
      {"Virtual Optics VC-1280C", "0100000001",
       "video/x-raw,format=UYVY,width=640,height=480,framerate=30/1;"
       "video/x-raw,format=RGB,width=1280,height=960,framerate=0/1",
       "video/x-raw,format=RGB,width=640,height=480,framerate=30/1"},
      {"Virtual Optics VM-1024M", "0100000002", "video/x-raw,format=GRAY16_BE,width=640,height=480,framerate=15/1",
       "video/x-raw,format=UYVY"},
  };
  // A camera open elsewhere (the second round) is still listed, with every
  // format the source can deliver.
  GstDeviceProvider* provider = gst_device_provider_factory_get_by_name("iidcdeviceprovider");
  iidc_handle h = nullptr;
  for (bool bBusy : {false, true}) {
    ASSERT_TRUE(!bBusy || (iidc_init() && (h = iidc_open(0)) != nullptr));
    GList* devices = gst_device_provider_get_devices(provider);
    ASSERT_EQ(g_list_length(devices), 2u);
    for (GList* item = devices; const auto& row : rows) {
      GstDevice* device = GST_DEVICE(item->data);
      item = item->next;
      gchar *pszName = gst_device_get_display_name(device), *pszCamera = nullptr, *pszUniqueId = nullptr;
      GstStructure* properties = gst_device_get_properties(device);
      g_object_get(device, "unique-id", &pszUniqueId, nullptr);
      EXPECT_STREQ(pszUniqueId, row.pszUniqueId);
      EXPECT_STREQ(gst_structure_get_string(properties, "device.serial"), row.pszUniqueId);
      EXPECT_NE(std::strstr(row.pszName, gst_structure_get_string(properties, "device.product.name")), nullptr);
      GstCaps *caps = gst_device_get_caps(device), *offered = gst_caps_from_string(row.pszOffered),
              *notOffered = gst_caps_from_string(row.pszNotOffered);
      EXPECT_STREQ(pszName, row.pszName);
      EXPECT_TRUE(gst_caps_is_subset(offered, caps)) << row.pszName;
      EXPECT_EQ(gst_caps_can_intersect(notOffered, caps), bBusy && item == devices->next) << row.pszName;
      GstElement* source = gst_device_create_element(device, nullptr);
      g_object_get(source, "camera", &pszCamera, nullptr);
      EXPECT_STREQ(pszCamera, row.pszUniqueId);
      g_free(pszName), g_free(pszCamera), g_free(pszUniqueId), gst_object_unref(source);
      gst_caps_unref(caps), gst_caps_unref(offered), gst_caps_unref(notOffered), gst_structure_free(properties);
    }
    g_list_free_full(devices, gst_object_unref);
  }
  gst_object_unref(provider);
  iidc_close(h);
}

// The first frame of a capture through the C interface, rows top-down (the
// camera's first row begins with the frame's sequence number, 0). A standard
// mode is selected again for the row order the library gives it.
std::vector<uint8_t> LockedFrame(vcam::CSteppedClock& clock, int nCamera, uint32_t standardId, std::size_t nRows) {
  EXPECT_TRUE(iidc_init());
  iidc_handle h = iidc_open(nCamera);
  EXPECT_TRUE((!standardId || iidc_setformat(h, standardId)) && iidc_preparecapture(h) && iidc_allocframe(h, 2));
  clock.Step(1);
  EXPECT_TRUE(iidc_capture(h, IIDC_FALSE));
  const uint8_t* pFrame = iidc_lockdata(h, -1);
  std::vector<uint8_t> frame(pFrame, pFrame + iidc_currentdataframebytes(h));
  iidc_freeframe(h), iidc_close(h);
  const std::size_t cbRow = frame.size() / nRows;
  for (std::size_t top = 0, bottom = vcam::FrameSequence(frame) ? frame.size() - cbRow : 0; top < bottom;
       top += cbRow, bottom -= cbRow)
    std::swap_ranges(frame.begin() + long(top), frame.begin() + long(top + cbRow), frame.begin() + long(bottom));
  return frame;
}

TEST_F(SourceTest, EachCodingNegotiatesItsFormatAndDeliversTheLibrarysFrameTopDown) {
  // A standard id of 0 is a Format 7 mode.
  const struct { int nCamera; const char* pszCaps; uint32_t standardId; int nWidth, nHeight; } rows[] = {
      {0, "format=UYVY,width=320,height=240", IIDC_FORMATID(0, 1, IIDC_COLOR_YUV422), 320, 240},
      {0, "format=IYU1,width=640,height=480", IIDC_FORMATID(0, 2, IIDC_COLOR_YUV411), 640, 480},
      {0, "format=IYU2", IIDC_FORMATID(0, 0, IIDC_COLOR_YUV444), 160, 120},
      {0, "format=RGB,width=640", IIDC_FORMATID(0, 4, IIDC_COLOR_RGB8), 640, 480},
      {0, "format=GRAY8,width=640,height=480,framerate=30/1", IIDC_FORMATID(0, 5, IIDC_COLOR_MONO8), 640, 480},
      {1, "format=GRAY16_BE,width=640,height=480", IIDC_FORMATID(0, 6, IIDC_COLOR_MONO16), 640, 480},
      {0, "format=GRAY8,width=320,height=240", 0, 320, 240},
      {0, "format=RGB,width=1280,height=960", 0, 1280, 960},
      {0, "format=GRAY16_BE,width=200,height=100", 0, 200, 100},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.pszCaps);
    const Pulled pulled = PlayOneFrame("iidcsrc camera=" + std::to_string(row.nCamera) + " ! video/x-raw," +
                                       row.pszCaps + " ! appsink name=sink", row.nCamera);
    ASSERT_FALSE(pulled.bytes.empty());
    EXPECT_EQ(std::pair(pulled.info.width, pulled.info.height), std::pair(row.nWidth, row.nHeight));
    EXPECT_TRUE(pulled.bytes == LockedFrame(*m_clocks[std::size_t(row.nCamera)], row.nCamera, row.standardId,
                                         std::size_t(row.nHeight)));
  }
}

// A Bayer camera for each filter: its Raw8 mode as video/x-bayer in the
// area's own phase, coloured by bayer2rgb; its standard Mono8 mode, grey to
// the camera, seen through an override and demosaiced by the source itself.
TEST_F(SourceTest, BayerModesGiveColourInThePatternsColoursForEveryFilterAndAreaPosition) {
  if (!gst_registry_check_feature_version(gst_registry_get(), "bayer2rgb", 1, 0, 0))
    GTEST_SKIP() << "no bayer2rgb (gstreamer1.0-plugins-bad)";
  for (uint32_t nFilter = 0; nFilter < 4; ++nFilter) {
    std::vector<vcam::Profile> set = vcam::BuiltInCameraSet();
    set[0].nColorFilter = nFilter;
    set[0].format7Modes[0].colorCodings.push_back(vcam::COLOR_RAW8);
    set[0].format7Modes[0].nUnitLeft = set[0].format7Modes[0].nUnitTop = 1;
    set[1].nColorFilter = nFilter;
    m_clocks = vcam::InstallSteppedCameraSet(set);
    const auto phase = [&](uint32_t nLeft, uint32_t nTop) {
      std::string name(vcam::ColorFilterName(vcam::ShiftFilter(nFilter, nLeft, nTop)));
      for (char& c : name) c = char(std::tolower(c));
      return name;
    };
    const std::string filter(vcam::ColorFilterName(nFilter));
    // Camera 1's 800x600 mode at 1.875 fps is Mono16: 16-bit samples give 8-bit colour.
    const struct { int nCamera; std::string pipeline; std::array<std::size_t, 3> rgb; } rows[] = {
        // Centred at 480, 361, the area steps back a row to keep the phase asked
        // for; so does one centred at row 1, its position step.
        {0, "iidcsrc ! video/x-bayer,format=" + phase(0, 0) + ",width=320,height=238", {0, 1, 2}},
        {0, "iidcsrc ! video/x-bayer,format=" + phase(0, 0) + ",width=320,height=958", {0, 1, 2}},
        {0, "iidcsrc offset-x=3 offset-y=1 ! video/x-bayer,format=" + phase(3, 1) + ",width=320,height=240", {0, 1, 2}},
        {0, "iidcsrc demosaic=hq bayer-filter=" + filter + " ! video/x-raw,format=BGR,width=640,height=480", {2, 1, 0}},
        {1, "iidcsrc camera=1 demosaic=bilinear bayer-filter=" + filter +
                " ! video/x-raw,format=RGB,width=800,height=600,framerate=15/8", {0, 1, 2}},
    };
    for (const auto& row : rows) {
      SCOPED_TRACE(row.pipeline);
      const bool bBayer = row.pipeline.find("x-bayer") != std::string::npos;
      const Pulled pulled = PlayOneFrame(
          row.pipeline + (bBayer ? " ! bayer2rgb ! video/x-raw,format=RGBx" : "") + " ! appsink name=sink", row.nCamera);
      ASSERT_FALSE(pulled.bytes.empty());
      const GstVideoInfo& info = pulled.info;
      EXPECT_EQ(PatternColourMisses(pulled.bytes.data(), std::size_t(info.stride[0]),
                                    std::size_t(info.finfo->pixel_stride[0]), row.rgb, info.width, info.height),
                0);
    }
  }
}

TEST_F(SourceTest, NumBuffersEndsTheStreamAndAGapInTheCountIsFlaggedAndReported) {
  // The sink holds one sample and blocks the source on the next, so that the
  // frames that come meanwhile are passed over for the newest.
  GstElement* pipeline = Launch("iidcsrc num-buffers=5 ! appsink name=sink max-buffers=1");
  ASSERT_NE(gst_element_set_state(pipeline, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  std::vector<SamplePtr> samples;
  for (int i = 0; i < 2; ++i)
    samples.push_back(NextSample(pipeline));
  // Frames 2 to 6 come at once, while the sink is full: the source takes one
  // or two of them, the rest are passed over. Then a frame per sample.
  m_clocks[0]->Step(5);
  ASSERT_TRUE(m_clocks[0]->WaitForTaken(7, std::chrono::seconds(5)));
  while (samples.size() < 5) {
    SamplePtr sample = Pull(pipeline, "sink", GST_SECOND / 2);
    samples.push_back(sample ? std::move(sample) : NextSample(pipeline));
  }
  int64_t nPrevious = -1, nGaps = 0;
  for (const SamplePtr& sample : samples) {
    ASSERT_TRUE(sample);
    GstBuffer* buffer = gst_sample_get_buffer(sample.get());
    const int64_t nOffset = int64_t(GST_BUFFER_OFFSET(buffer));
    const bool bGap = nPrevious >= 0 && nOffset > nPrevious + 1;
    EXPECT_GT(nOffset, nPrevious);
    EXPECT_EQ(GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DISCONT) && nPrevious >= 0, bGap) << nOffset;
    nGaps += bGap ? nOffset - nPrevious - 1 : 0;
    nPrevious = nOffset;
  }
  EXPECT_GT(nGaps, 0);
  guint64 nDropped = 0;  // as the last QoS message before the end of stream says
  MessagePtr message{nullptr, gst_message_unref};
  while ((message = Await(pipeline, GST_MESSAGE_QOS | GST_MESSAGE_EOS)) && message->type == GST_MESSAGE_QOS)
    gst_message_parse_qos_stats(message.get(), nullptr, nullptr, &nDropped);
  EXPECT_EQ(int64_t(nDropped), nGaps);
  EXPECT_TRUE(message) << "no end of stream";
}

TEST_F(SourceTest, FeaturesControlsAndOffsetsReachTheCameraRegistersAtOpenAndWhilePlaying) {
  constexpr uint32_t GAIN = 0x800 + IIDC_FEATURE_GAIN, SHUTTER = 0x800 + IIDC_FEATURE_SHUTTER, AUTO = 0x01000000;
  const auto camera = vcam::GetCameraModel(0);
  auto reg = [&](uint32_t dwOffset) { uint32_t dwValue = 0; camera->ReadQuadlet(dwOffset, &dwValue); return dwValue; };
  GstElement* pipeline = Launch("iidcsrc name=src features=\"gain=200 shutter=auto\" offset-x=16 offset-y=0 ! "
                                "video/x-raw,format=GRAY8,width=320,height=240 ! appsink name=sink");
  ASSERT_NE(gst_element_set_state(pipeline, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  EXPECT_EQ(reg(GAIN) & 0xFFF, 200u);
  EXPECT_EQ(reg(SHUTTER) & AUTO, AUTO);
  ASSERT_TRUE(NextSample(pipeline));
  EXPECT_EQ(reg(4 * reg(0x2E0) - 0xF00000 + 0x008), 16u << 16);  // IMAGE_POSITION of Format 7 mode 0
  g_object_set(Child(pipeline, "src"), "features", "gain=300 shutter=100", nullptr);
  EXPECT_EQ(reg(GAIN) & 0xFFF, 300u);
  EXPECT_EQ(reg(SHUTTER) & (AUTO | 0xFFF), 100u);
  g_object_set(Child(pipeline, "src"), "gain", 0, nullptr);
  EXPECT_EQ(reg(GAIN) & (AUTO | 0xFFF), 0u);
  g_object_set(Child(pipeline, "src"), "gain", 220, "shutter-auto", TRUE, nullptr);
  EXPECT_EQ(reg(GAIN) & (AUTO | 0xFFF), 220u);
  EXPECT_EQ(reg(SHUTTER) & AUTO, AUTO);
  g_object_set(Child(pipeline, "src"), "gain-auto", TRUE, "shutter-auto", FALSE, nullptr);
  EXPECT_EQ(reg(GAIN) & AUTO, AUTO);
  EXPECT_EQ(reg(SHUTTER) & AUTO, 0u);
  g_object_set(Child(pipeline, "src"), "features", "gain=9999", nullptr);  // refused: a warning, and on it goes
  EXPECT_TRUE(Await(pipeline, GST_MESSAGE_WARNING));
  EXPECT_TRUE(NextSample(pipeline));
}

TEST_F(SourceTest, BadCameraOrFeaturesFailTheStateChangeAndARefusedFormatTheStream) {
  enum Setup { NONE, OPEN_ELSEWHERE, REFUSE_FORMATS };
  const struct { const char* pszSource; Setup setup; GstState state; GstResourceError code; const char* pszText; }
      rows[] = {
      {"iidcsrc camera=7", NONE, GST_STATE_READY, GST_RESOURCE_ERROR_NOT_FOUND, "there is no camera 7"},
      {"iidcsrc camera=02000000ff", NONE, GST_STATE_READY, GST_RESOURCE_ERROR_NOT_FOUND, "no camera has the unique id"},
      {"iidcsrc camera=x", NONE, GST_STATE_READY, GST_RESOURCE_ERROR_SETTINGS, "give a camera index"},
      {"iidcsrc camera=0100000001", OPEN_ELSEWHERE, GST_STATE_READY, GST_RESOURCE_ERROR_BUSY, "already open"},
      {"iidcsrc features=\"warp=9\"", NONE, GST_STATE_READY, GST_RESOURCE_ERROR_SETTINGS, "unknown feature 'warp'"},
      {"iidcsrc features=\"gain=9999\"", NONE, GST_STATE_READY, GST_RESOURCE_ERROR_SETTINGS, "from 0 to 680"},
      {"iidcsrc", REFUSE_FORMATS, GST_STATE_PLAYING, GST_RESOURCE_ERROR_SETTINGS, "selecting format 0:3"},
      {"iidcsrc offset-x=2 ! video/x-raw,format=GRAY8,width=320", NONE, GST_STATE_PLAYING, GST_RESOURCE_ERROR_SETTINGS,
       "offset-x=2: a side of 320 takes offsets in steps of 4 up to 960"},
      {"iidcsrc timeout=50", NONE, GST_STATE_PLAYING, GST_RESOURCE_ERROR_READ, "sent no frame within 50 ms"},
      {"iidcsrc timeout=1", NONE, GST_STATE_PLAYING, GST_RESOURCE_ERROR_READ, "sent no frame within 1 ms"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.pszSource);
    iidc_handle h = nullptr;
    if (row.setup == OPEN_ELSEWHERE) {
      ASSERT_TRUE(iidc_init() && (h = iidc_open(0)) != nullptr);
    }
    vcam::GetCameraFaults(0)->bRefuseSetFormat = row.setup == REFUSE_FORMATS;
    GstElement* pipeline = Launch(std::string(row.pszSource) + " ! fakesink");
    const GstStateChangeReturn result = gst_element_set_state(pipeline, row.state);
    EXPECT_EQ(result == GST_STATE_CHANGE_FAILURE, row.state == GST_STATE_READY);
    ExpectError(pipeline, row.code, row.pszText);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    iidc_close(h);
  }
}

TEST_F(SourceTest, ACameraLostWhilePlayingEndsInAnErrorAndTheWayDownDoesNotHang) {
  GstElement* pipeline = Launch("iidcsrc ! appsink name=sink");
  ASSERT_NE(gst_element_set_state(pipeline, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  ASSERT_TRUE(NextSample(pipeline));
  vcam::GetCameraFaults(0)->bUnplugged = true;
  m_clocks[0]->Step(1);
  ExpectError(pipeline, GST_RESOURCE_ERROR_READ, "was lost during streaming");
  auto down = std::async(std::launch::async, [pipeline] { return gst_element_set_state(pipeline, GST_STATE_NULL); });
  if (down.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
    ADD_FAILURE() << "the pipeline did not reach NULL";
    std::_Exit(1);  // the hung state change would keep the test from ending
  }
  EXPECT_EQ(down.get(), GST_STATE_CHANGE_SUCCESS);
}

TEST_F(SourceTest, FiftyRoundsOfPlayingAndNullLeaveNothingBehind) {
  auto live = [] {
    return std::tuple(emul::LiveComObjects(), emul::LiveKernelHandles(), emul::LiveVirtualReservations());
  };
  const auto before = live();
  GstElement* pipeline = Launch("iidcsrc ! appsink name=sink");
  for (int i = 0; i < 50; ++i) {
    ASSERT_NE(gst_element_set_state(pipeline, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    ASSERT_TRUE(NextSample(pipeline)) << "round " << i;
    ASSERT_EQ(gst_element_set_state(pipeline, GST_STATE_NULL), GST_STATE_CHANGE_SUCCESS);
  }
  EXPECT_EQ(live(), before);
}

}  // namespace
