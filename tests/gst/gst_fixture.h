// CGstTest: pipelines around the plugin built beside the tests, over the
// built-in virtual cameras on stepped clocks, with CEmulTest's leak check. The
// test thread is in COM's multithreaded apartment, so that the plugin's
// library thread can use a library the test started itself.
#pragma once

// Before GLib, which would make the emulation's TRUE and FALSE macros.
#include "../support/emul_env.h"
#include "iidc.h"
#include "vcam/filter/test_support.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

using SamplePtr = std::unique_ptr<GstSample, decltype(&gst_sample_unref)>;
using MessagePtr = std::unique_ptr<GstMessage, decltype(&gst_message_unref)>;

class CGstTest : public CEmulTest {
 protected:
  void SetUp() override {
    CEmulTest::SetUp();
    static GstPlugin* const plugin = (gst_init(nullptr, nullptr), gst_plugin_load_file(IIDC_GST_PLUGIN, nullptr));
    ASSERT_NE(plugin, nullptr) << IIDC_GST_PLUGIN;
    m_pApartment = std::make_unique<CComApartment>(COINIT_MULTITHREADED);
    m_clocks = vcam::InstallSteppedCameraSet();
  }

  void TearDown() override {
    for (GstElement* pipeline : m_pipelines) {
      gst_element_set_state(pipeline, GST_STATE_NULL);
      gst_object_unref(pipeline);
    }
    iidc_uninit();
    vcam::ResetActiveCameraSet();
    m_pApartment.reset();
    CEmulTest::TearDown();
  }

  GstElement* Launch(const std::string& description) {
    GError* error = nullptr;
    m_pipelines.push_back(gst_parse_launch(description.c_str(), &error));
    EXPECT_EQ(error, nullptr) << description << ": " << error->message;
    return m_pipelines.back();
  }

  static GstElement* Child(GstElement* pipeline, const char* pszName) {
    GstElement* element = gst_bin_get_by_name(GST_BIN(pipeline), pszName);
    gst_object_unref(element);  // the pipeline keeps it
    return element;
  }

  // The next sample of an appsink, or null after a few seconds.
  static SamplePtr Pull(GstElement* pipeline, const char* pszSink = "sink", GstClockTime timeout = 5 * GST_SECOND) {
    return {gst_app_sink_try_pull_sample(GST_APP_SINK(Child(pipeline, pszSink)), timeout), gst_sample_unref};
  }

  // Releases one frame of a camera and pulls the sample it became.
  SamplePtr NextSample(GstElement* pipeline, int nCamera = 0) {
    m_clocks[std::size_t(nCamera)]->Step(1);
    return Pull(pipeline);
  }

  // The first message of these types on the bus (dropping others), or null after a few seconds.
  static MessagePtr Await(GstElement* pipeline, int types) {
    GstBus* bus = gst_element_get_bus(pipeline);
    MessagePtr message{gst_bus_timed_pop_filtered(bus, 5 * GST_SECOND, GstMessageType(types)), gst_message_unref};
    gst_object_unref(bus);
    return message;
  }

  static void ExpectError(GstElement* pipeline, GstResourceError code, const char* pszText) {
    MessagePtr message = Await(pipeline, GST_MESSAGE_ERROR);
    ASSERT_TRUE(message) << "no error";
    GError* error = nullptr;
    gst_message_parse_error(message.get(), &error, nullptr);
    EXPECT_TRUE(g_error_matches(error, GST_RESOURCE_ERROR, code)) << error->message;
    EXPECT_NE(std::strstr(error->message, pszText), nullptr) << error->message;
    g_error_free(error);
  }

  static std::vector<uint8_t> Bytes(GstSample* sample) {
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    std::vector<uint8_t> bytes(gst_buffer_get_size(buffer));
    gst_buffer_extract(buffer, 0, bytes.data(), bytes.size());
    return bytes;
  }

  struct Pulled {
    GstVideoInfo info{};
    std::vector<uint8_t> bytes;  // empty when no sample came
  };
  // Plays a pipeline that ends in an appsink named sink, releases one frame of
  // a camera and stops the pipeline again: the sample that frame became.
  Pulled PlayOneFrame(const std::string& description, int nCamera = 0) {
    Pulled pulled;
    GstElement* pipeline = Launch(description);
    EXPECT_NE(gst_element_set_state(pipeline, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    if (SamplePtr sample = NextSample(pipeline, nCamera);
        sample && gst_video_info_from_caps(&pulled.info, gst_sample_get_caps(sample.get())))
      pulled.bytes = Bytes(sample.get());
    gst_element_set_state(pipeline, GST_STATE_NULL);
    return pulled;
  }

  std::vector<std::shared_ptr<vcam::CSteppedClock>> m_clocks;

 private:
  std::unique_ptr<CComApartment> m_pApartment;
  std::vector<GstElement*> m_pipelines;
};
