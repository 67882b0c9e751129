// iidcsrc's buffers as a sink sees them: time stamps and the latency they
// agree with, on a test clock; which frames are lent and which copied, a lent
// frame read after the pipeline has gone to NULL, copies into padded rows and
// renegotiation while playing.
#include "gst_fixture.h"

#include <gst/check/gsttestclock.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>

#include <tuple>

#include "vcam/model/camera_set.h"
#include "vcam/model/pattern.h"

namespace {


constexpr GstClockTime PERIOD = GST_SECOND / 30;

bool Lent(GstSample* sample) {
  return GST_MEMORY_FLAG_IS_SET(gst_buffer_peek_memory(gst_sample_get_buffer(sample), 0), GST_MEMORY_FLAG_READONLY);
}

class TimingTest : public CGstTest {
 protected:
  // What the source named src answers to a latency query: live, minimum, maximum.
  static std::tuple<gboolean, GstClockTime, GstClockTime> Latency(GstElement* pipeline) {
    GstPad* pad = gst_element_get_static_pad(Child(pipeline, "src"), "src");
    GstQuery* query = gst_query_new_latency();
    gboolean bLive = FALSE;
    GstClockTime min = 0, max = 0;
    EXPECT_TRUE(gst_pad_query(pad, query));
    gst_query_parse_latency(query, &bLive, &min, &max);
    gst_query_unref(query), gst_object_unref(pad);
    return {bLive, min, max};
  }
};

// A camera without a time-out (one that waits for its trigger) may hold a
// frame back without limit; otherwise as long as its ring of four buffers.
TEST_F(TimingTest, PtsIsTheArrivalLessOnePeriodOrWithDoTimestampTheBaseClasssStamp) {
  const struct { const char* pszSource; GstClockTime before, latency, max; } rows[] = {
      {"iidcsrc name=src", PERIOD, PERIOD, PERIOD * 4},
      {"iidcsrc name=src do-timestamp=true timeout=0", 0, 0, GST_CLOCK_TIME_NONE},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.pszSource);
    GstElement* pipeline =
        Launch(std::string(row.pszSource) + " ! video/x-raw,framerate=30/1 ! appsink name=sink sync=false");
    GstClock* clock = gst_test_clock_new_with_start_time(10 * GST_SECOND);
    gst_pipeline_use_clock(GST_PIPELINE(pipeline), clock);
    ASSERT_NE(gst_element_set_state(pipeline, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
    ASSERT_TRUE(NextSample(pipeline));  // frame 0, once playing
    const GstClockTime base = gst_element_get_base_time(pipeline);
    for (int i = 1; i <= 3; ++i) {
      gst_test_clock_set_time(GST_TEST_CLOCK(clock), base + GstClockTime(i) * GST_SECOND);
      SamplePtr sample = NextSample(pipeline);
      ASSERT_TRUE(sample);
      GstBuffer* buffer = gst_sample_get_buffer(sample.get());
      EXPECT_EQ(GST_BUFFER_PTS(buffer), GstClockTime(i) * GST_SECOND - row.before) << i;
      EXPECT_EQ(GST_BUFFER_DURATION(buffer), PERIOD);
      EXPECT_EQ(GST_BUFFER_OFFSET(buffer), guint64(i));
      EXPECT_EQ(GST_BUFFER_OFFSET_END(buffer), guint64(i) + 1);
    }
    EXPECT_EQ(Latency(pipeline), std::tuple(TRUE, row.latency, row.max));
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(clock);
  }
}

TEST_F(TimingTest, OneFrameIsLentTheOthersCopiedAndALentFrameOutlivesThePipeline) {
  GstElement* pipeline = Launch("iidcsrc ! video/x-raw,format=UYVY,width=320,height=240 ! appsink name=sink");
  ASSERT_NE(gst_element_set_state(pipeline, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  SamplePtr lent = NextSample(pipeline);
  SamplePtr copied = NextSample(pipeline);  // while the first is held
  ASSERT_TRUE(lent && copied);
  EXPECT_TRUE(Lent(lent.get()));
  EXPECT_FALSE(Lent(copied.get()));
  ASSERT_EQ(gst_element_set_state(pipeline, GST_STATE_NULL), GST_STATE_CHANGE_SUCCESS);
  // Read whole after the camera has closed: the sanitizer run would see a freed ring.
  const std::vector<uint8_t> bytes = Bytes(lent.get());
  ASSERT_EQ(bytes.size(), 320u * 240 * 2);
  EXPECT_EQ(vcam::FrameSequence(bytes), 0u);
}

TEST_F(TimingTest, RowsThatGStreamerPadsAreCopiedIntoThePadding) {
  // Format 7 widths in steps of 2: a Mono8 row of 322 bytes, which
  // GStreamer pads to 324.
  auto set = vcam::BuiltInCameraSet();
  set[0].format7Modes[0].nUnitWidth = 2;
  m_clocks = vcam::InstallSteppedCameraSet(set);
  GstElement* pipeline = Launch("iidcsrc ! video/x-raw,format=GRAY8,width=322,height=240 ! appsink name=sink");
  ASSERT_NE(gst_element_set_state(pipeline, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  SamplePtr sample = NextSample(pipeline);
  ASSERT_TRUE(sample);
  EXPECT_FALSE(Lent(sample.get()));
  GstVideoInfo info;
  ASSERT_TRUE(gst_video_info_from_caps(&info, gst_sample_get_caps(sample.get())));
  ASSERT_EQ(GST_VIDEO_INFO_PLANE_STRIDE(&info, 0), 324);
  const std::vector<uint8_t> bytes = Bytes(sample.get());
  ASSERT_EQ(bytes.size(), 324u * 240);
  // The top row begins with the frame's sequence number.
  EXPECT_EQ(vcam::FrameSequence(bytes), 0u);
  for (uint32_t y : {0u, 1u, 120u, 239u})
    for (uint32_t x : {100u, 321u})
      EXPECT_EQ(bytes[y * 324 + x], vcam::PatternAt(x, y, 0).y) << x << "," << y;
}

TEST_F(TimingTest, CapsChangedWhilePlayingRenegotiateTheCamera) {
  GstElement* pipeline =
      Launch("iidcsrc ! capsfilter name=filter caps=video/x-raw,width=320,height=240 ! appsink name=sink");
  ASSERT_NE(gst_element_set_state(pipeline, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  ASSERT_TRUE(NextSample(pipeline));
  GstCaps* caps = gst_caps_from_string("video/x-raw,format=GRAY8,width=640,height=480");
  g_object_set(Child(pipeline, "filter"), "caps", caps, nullptr);
  gst_caps_unref(caps);
  // A frame released while the camera is restarted is not seen: release another.
  GstVideoInfo info{};
  for (int i = 0; i < 10 && info.width != 640; ++i) {
    m_clocks[0]->Step(1);
    if (SamplePtr sample = Pull(pipeline, "sink", GST_SECOND / 2)) {
      ASSERT_TRUE(gst_video_info_from_caps(&info, gst_sample_get_caps(sample.get())));
    }
  }
  EXPECT_EQ(GST_VIDEO_INFO_FORMAT(&info), GST_VIDEO_FORMAT_GRAY8);
  EXPECT_EQ(info.height, 480);
}

}  // namespace
