#include "frame_stamp.h"

#include <gst/rtp/gstrtpbuffer.h>

#include <array>
#include <memory>
#include <mutex>

namespace iidctool {

namespace {

constexpr std::size_t STAMP_BYTES = 16;

// The running time of a buffer time at a pad (encoders may move timestamps
// and their segment together, x264enc by 1000 hours).
GstClockTime RunningTime(GstPad* pad, GstClockTime time)
{
    GstEvent* event = gst_pad_get_sticky_event(pad, GST_EVENT_SEGMENT, 0);
    if (!event)
        return time;
    const GstSegment* segment = nullptr;
    gst_event_parse_segment(event, &segment);
    const GstClockTime running = gst_segment_to_running_time(segment, GST_FORMAT_TIME, time);
    gst_event_unref(event);
    return running;
}

// The last frames the source sent, by running time. The source's streaming thread
// writes; the payloader's reads (the same thread unless a queue splits them).
class CFrameStamper {
 public:
  void Remember(GstClockTime pts, const FrameStamp& stamp)
  {
      std::lock_guard lock(m_mutex);
      m_frames[m_nNext++ % m_frames.size()] = {pts, stamp};
  }

  std::optional<FrameStamp> Find(GstClockTime pts)
  {
      std::lock_guard lock(m_mutex);
      for (const auto& [framePts, stamp] : m_frames)
          if (framePts == pts)
              return stamp;
      return std::nullopt;
  }

 private:
  std::mutex m_mutex;
  std::array<std::pair<GstClockTime, FrameStamp>, 64> m_frames{};
  std::size_t m_nNext = 0;
};

void ReleaseStamper(gpointer p)
{
    delete static_cast<std::shared_ptr<CFrameStamper>*>(p);
}

GstPadProbeReturn OnSourceBuffer(GstPad* pad, GstPadProbeInfo* info, gpointer p)
{
    GstBuffer* buffer = gst_pad_probe_info_get_buffer(info);
    GstElement* source = gst_pad_get_parent_element(pad);
    if (!buffer || !source || !GST_BUFFER_PTS_IS_VALID(buffer) || !GST_BUFFER_OFFSET_IS_VALID(buffer)) {
        if (source)
            gst_object_unref(source);
        return GST_PAD_PROBE_OK;
    }
    // The source stamps the pipeline clock's time; the wire gets Unix time.
    GstClock* clock = gst_element_get_clock(source);
    const GstClockTime running = RunningTime(pad, GST_BUFFER_PTS(buffer));
    const GstClockTime captured = running + gst_element_get_base_time(source);
    const GstClockTime now = clock ? gst_clock_get_time(clock) : captured;
    const uint64_t nUnixNow = uint64_t(g_get_real_time()) * 1000;
    const uint64_t nAge = now > captured ? now - captured : 0;
    (*static_cast<std::shared_ptr<CFrameStamper>*>(p))
        ->Remember(running, {GST_BUFFER_OFFSET(buffer), nUnixNow > nAge ? nUnixNow - nAge : 0});
    if (clock)
        gst_object_unref(clock);
    gst_object_unref(source);
    return GST_PAD_PROBE_OK;
}

struct PacketContext {
  GstPad* pad;
  CFrameStamper* pStamper;
};

void WriteStamp(GstBuffer* buffer, const PacketContext& context)
{
    const auto stamp = context.pStamper->Find(RunningTime(context.pad, GST_BUFFER_PTS(buffer)));
    GstRTPBuffer rtp = GST_RTP_BUFFER_INIT;
    if (!stamp || !gst_rtp_buffer_map(buffer, GST_MAP_READWRITE, &rtp))
        return;
    guint8 data[STAMP_BYTES];
    for (std::size_t i = 0; i < 8; ++i) {
        data[i] = guint8(stamp->nNumber >> (56 - 8 * i));
        data[8 + i] = guint8(stamp->nCaptureNs >> (56 - 8 * i));
    }
    gst_rtp_buffer_add_extension_onebyte_header(&rtp, FRAME_STAMP_ID, data, STAMP_BYTES);
    gst_rtp_buffer_unmap(&rtp);
}

GstPadProbeReturn OnPacket(GstPad* pad, GstPadProbeInfo* info, gpointer p)
{
    PacketContext context{pad, static_cast<std::shared_ptr<CFrameStamper>*>(p)->get()};
    if (info->type & GST_PAD_PROBE_TYPE_BUFFER) {
        GstBuffer* buffer = gst_buffer_make_writable(gst_pad_probe_info_get_buffer(info));
        GST_PAD_PROBE_INFO_DATA(info) = buffer;
        WriteStamp(buffer, context);
    } else if (info->type & GST_PAD_PROBE_TYPE_BUFFER_LIST) {
        GstBufferList* list = gst_buffer_list_make_writable(gst_pad_probe_info_get_buffer_list(info));
        GST_PAD_PROBE_INFO_DATA(info) = list;
        gst_buffer_list_foreach(
            list,
            [](GstBuffer** pBuffer, guint, gpointer pContext) -> gboolean {
                *pBuffer = gst_buffer_make_writable(*pBuffer);
                WriteStamp(*pBuffer, *static_cast<PacketContext*>(pContext));
                return TRUE;
            },
            &context);
    }
    return GST_PAD_PROBE_OK;
}

void AddProbe(GstElement* bin, const char* pszElement, GstPadProbeType type, GstPadProbeCallback callback,
              const std::shared_ptr<CFrameStamper>& pStamper)
{
    GstElement* element = gst_bin_get_by_name(GST_BIN(bin), pszElement);
    GstPad* pad = element ? gst_element_get_static_pad(element, "src") : nullptr;
    if (pad)
        gst_pad_add_probe(pad, type, callback, new std::shared_ptr<CFrameStamper>(pStamper), ReleaseStamper);
    if (pad)
        gst_object_unref(pad);
    if (element)
        gst_object_unref(element);
}

}  // namespace

void StampFrames(GstElement* bin)
{
    const auto pStamper = std::make_shared<CFrameStamper>();
    AddProbe(bin, "src", GST_PAD_PROBE_TYPE_BUFFER, OnSourceBuffer, pStamper);
    AddProbe(bin, "pay0", GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_BUFFER_LIST), OnPacket,
             pStamper);
}

std::optional<FrameStamp> ReadFrameStamp(GstBuffer* buffer)
{
    GstRTPBuffer rtp = GST_RTP_BUFFER_INIT;
    if (!gst_rtp_buffer_map(buffer, GST_MAP_READ, &rtp))
        return std::nullopt;
    gpointer pData = nullptr;
    guint cbData = 0;
    std::optional<FrameStamp> stamp;
    if (gst_rtp_buffer_get_extension_onebyte_header(&rtp, FRAME_STAMP_ID, 0, &pData, &cbData)
        && cbData == STAMP_BYTES) {
        const auto* pBytes = static_cast<const guint8*>(pData);
        stamp.emplace();
        for (std::size_t i = 0; i < 8; ++i) {
            stamp->nNumber = stamp->nNumber << 8 | pBytes[i];
            stamp->nCaptureNs = stamp->nCaptureNs << 8 | pBytes[8 + i];
        }
    }
    gst_rtp_buffer_unmap(&rtp);
    return stamp;
}

}  // namespace iidctool
