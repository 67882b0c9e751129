// iidcsrc: opens its camera when it goes to READY (so that an unknown or busy
// camera fails that state change), offers the camera's catalogue as caps,
// puts the negotiated format, rate and area into force, and pushes each new
// frame with the camera's frame number as offset. A frame is stamped, as a
// capture device stamps it, with the running time of its arrival less one
// frame period (the time it was exposed), and the latency answered is that
// period; with do-timestamp the base class stamps it as it leaves, and the
// latency is zero. A frame the ring can lend goes downstream as it lies;
// others are copied once, rows top-down, at the strides of the buffer they go
// into. A gap in the numbers is posted as a QoS message.
#include "iidc_src.h"

#include <gst/video/video.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <new>
#include <string>
#include <tuple>

#include "camera.h"
#include "caps.h"
#include "frame_tally.h"

GST_DEBUG_CATEGORY_STATIC(g_iidcSrcDebug);
#define GST_CAT_DEFAULT g_iidcSrcDebug

namespace iidcgst {

constexpr int DEFAULT_BUFFERS = 4;
constexpr guint DEFAULT_TIMEOUT_MS = 5000;

// The element's own state. Properties and the camera are guarded by the
// object lock (queries and property changes come on any thread); the stream
// is the streaming thread's, between set_caps and stop.
// A feature with a property of its own: a value, and automatic control.
// Neither is sent to the camera until it has been set.
struct CControl {
  const char* pszFeature;
  int nValue = -1;  // -1: as the camera has it
  bool bAuto = false, bAutoSet = false;

  // The assignment for the feature's setting, in the features syntax; empty
  // when nothing was set.
  std::string Assignment() const
  {
      if (bAutoSet && bAuto)
          return std::string(pszFeature) + "=auto";
      if (nValue >= 0)
          return std::string(pszFeature) + "=" + std::to_string(nValue);
      return bAutoSet ? std::string(pszFeature) + "=manual" : std::string();
  }
};

struct CSourceState {
  std::string camera = "0";
  int nBuffers = DEFAULT_BUFFERS;
  std::string features;
  guint nTimeoutMs = DEFAULT_TIMEOUT_MS;
  CControl gain{"gain"}, shutter{"shutter"};
  AreaOffset offset;
  std::optional<DemosaicMethod> method;      // nothing: mosaics go as they are
  std::optional<BayerFilter> filterOverride;  // the sensor's, over what the camera tells
  std::shared_ptr<CCamera> pCamera;  // from NULL -> READY to READY -> NULL
  GstClockTime duration = GST_CLOCK_TIME_NONE;

  // The features string, then the controls' settings.
  std::string Settings() const { return features + " " + gain.Assignment() + " " + shutter.Assignment(); }

  FrameLayout layout;
  iidccam::CFrameTally tally;  // of the capture in force
  guint64 nDelivered = 0, nDropped = 0;
  std::atomic<bool> bFlushing{false};
};

}  // namespace iidcgst

struct _GstIidcSrc {
  GstPushSrc parent;
  iidcgst::CSourceState state;  // constructed in init, destroyed in finalize
};

G_DEFINE_TYPE(GstIidcSrc, gst_iidc_src, GST_TYPE_PUSH_SRC)

namespace iidcgst {

namespace {

enum {
  PROP_0,
  PROP_CAMERA,
  PROP_BUFFERS,
  PROP_FEATURES,
  PROP_TIMEOUT,
  PROP_GAIN,
  PROP_GAIN_AUTO,
  PROP_SHUTTER,
  PROP_SHUTTER_AUTO,
  PROP_OFFSET_X,
  PROP_OFFSET_Y,
  PROP_DEMOSAIC,
  PROP_BAYER_FILTER,
};

GstResourceError CodeOf(CCameraError::Kind kind)
{
    switch (kind) {
    case CCameraError::Kind::NotFound: return GST_RESOURCE_ERROR_NOT_FOUND;
    case CCameraError::Kind::Busy: return GST_RESOURCE_ERROR_BUSY;
    case CCameraError::Kind::Settings: return GST_RESOURCE_ERROR_SETTINGS;
    case CCameraError::Kind::Lost:
    case CCameraError::Kind::Timeout: return GST_RESOURCE_ERROR_READ;
    case CCameraError::Kind::Failed: break;
    }
    return GST_RESOURCE_ERROR_FAILED;
}

void Post(GstIidcSrc* src, GstMessageType type, CCameraError::Kind kind, const char* pszText)
{
    gst_element_message_full(GST_ELEMENT(src), type, GST_RESOURCE_ERROR, CodeOf(kind), g_strdup(pszText), nullptr,
                             __FILE__, GST_FUNCTION, __LINE__);
}

// Runs work for a vfunc of the element: whatever it throws is posted (as an
// error, or as a warning) and turned into the failure result.
template <class Result, class Work>
Result Guarded(GstIidcSrc* src, Result failed, const Work& work, GstMessageType type = GST_MESSAGE_ERROR)
{
    try {
        return work();
    } catch (const CCameraError& error) {
        Post(src, type, error.GetKind(), error.what());
    } catch (const std::exception& error) {
        Post(src, type, CCameraError::Kind::Failed, error.what());
    } catch (...) {
        Post(src, type, CCameraError::Kind::Failed, "unexpected failure");
    }
    return failed;
}

CSourceState& StateOf(gpointer object)
{
    return GST_IIDC_SRC(object)->state;
}

std::shared_ptr<CCamera> CameraOf(GstIidcSrc* src)
{
    GST_OBJECT_LOCK(src);
    std::shared_ptr<CCamera> pCamera = src->state.pCamera;
    GST_OBJECT_UNLOCK(src);
    return pCamera;
}

// ---- properties -------------------------------------------------------------

void gst_iidc_src_set_property(GObject* object, guint nId, const GValue* value, GParamSpec* pspec)
{
    GstIidcSrc* src = GST_IIDC_SRC(object);
    CSourceState& state = src->state;
    Guarded(src, false, [&] {
        const char* pszText = G_VALUE_HOLDS_STRING(value) ? g_value_get_string(value) : nullptr;
        const std::string text = pszText ? pszText : "";
        std::string settings;  // what an open camera takes at once
        GST_OBJECT_LOCK(src);
        switch (nId) {
        case PROP_CAMERA: state.camera = text; break;
        case PROP_BUFFERS: state.nBuffers = g_value_get_int(value); break;
        case PROP_FEATURES: state.features = settings = text; break;
        case PROP_TIMEOUT: state.nTimeoutMs = g_value_get_uint(value); break;
        case PROP_GAIN: state.gain.nValue = g_value_get_int(value); settings = state.gain.Assignment(); break;
        case PROP_SHUTTER: state.shutter.nValue = g_value_get_int(value); settings = state.shutter.Assignment(); break;
        case PROP_GAIN_AUTO:
        case PROP_SHUTTER_AUTO: {
            CControl& control = nId == PROP_GAIN_AUTO ? state.gain : state.shutter;
            control.bAuto = g_value_get_boolean(value);
            control.bAutoSet = true;
            settings = control.Assignment();
            break;
        }
        case PROP_OFFSET_X: state.offset.nLeft = g_value_get_int(value); break;
        case PROP_OFFSET_Y: state.offset.nTop = g_value_get_int(value); break;
        case PROP_DEMOSAIC:
            state.method = ParseDemosaicMethod(text);
            if (!state.method && text != "none") {
                GST_OBJECT_UNLOCK(src);
                throw CCameraError(CCameraError::Kind::Settings,
                                   "demosaic=" + text + ": use none, nearest, bilinear or hq");
            }
            break;
        case PROP_BAYER_FILTER:
            state.filterOverride = ParseBayerFilter(text);
            if (!state.filterOverride && !text.empty()) {
                GST_OBJECT_UNLOCK(src);
                throw CCameraError(CCameraError::Kind::Settings,
                                   "bayer-filter=" + text + ": use RGGB, GBRG, GRBG, BGGR or nothing");
            }
            break;
        default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, nId, pspec); break;
        }
        const std::shared_ptr<CCamera> pCamera = state.pCamera;
        GST_OBJECT_UNLOCK(src);
        // An open camera takes new features at once; one that refuses them
        // keeps streaming as it was.
        if (!settings.empty() && pCamera)
            Guarded(src, false, [&] { pCamera->SetFeatures(settings); return true; }, GST_MESSAGE_WARNING);
        return true;
    });
}

void gst_iidc_src_get_property(GObject* object, guint nId, GValue* value, GParamSpec* pspec)
{
    GstIidcSrc* src = GST_IIDC_SRC(object);
    const CSourceState& state = src->state;
    GST_OBJECT_LOCK(src);
    switch (nId) {
    case PROP_CAMERA: g_value_set_string(value, state.camera.c_str()); break;
    case PROP_BUFFERS: g_value_set_int(value, state.nBuffers); break;
    case PROP_FEATURES: g_value_set_string(value, state.features.c_str()); break;
    case PROP_TIMEOUT: g_value_set_uint(value, state.nTimeoutMs); break;
    case PROP_GAIN: g_value_set_int(value, state.gain.nValue); break;
    case PROP_GAIN_AUTO: g_value_set_boolean(value, state.gain.bAuto); break;
    case PROP_SHUTTER: g_value_set_int(value, state.shutter.nValue); break;
    case PROP_SHUTTER_AUTO: g_value_set_boolean(value, state.shutter.bAuto); break;
    case PROP_OFFSET_X: g_value_set_int(value, state.offset.nLeft); break;
    case PROP_OFFSET_Y: g_value_set_int(value, state.offset.nTop); break;
    case PROP_DEMOSAIC:
        g_value_set_string(value, state.method ? std::string(DemosaicMethodName(*state.method)).c_str() : "none");
        break;
    case PROP_BAYER_FILTER:
        g_value_set_string(value,
                           state.filterOverride ? std::string(BayerFilterName(*state.filterOverride)).c_str() : "");
        break;
    default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, nId, pspec); break;
    }
    GST_OBJECT_UNLOCK(src);
}

void gst_iidc_src_finalize(GObject* object)
{
    StateOf(object).~CSourceState();
    G_OBJECT_CLASS(gst_iidc_src_parent_class)->finalize(object);
}

// ---- states -----------------------------------------------------------------

bool OpenCamera(GstIidcSrc* src)
{
    return Guarded(src, false, [&] {
        GST_OBJECT_LOCK(src);
        const std::string selector = src->state.camera, settings = src->state.Settings();
        const auto filterOverride = src->state.filterOverride;
        GST_OBJECT_UNLOCK(src);
        std::shared_ptr<CCamera> pCamera = CCamera::Open(selector, filterOverride);
        pCamera->SetFeatures(settings);
        GST_INFO_OBJECT(src, "camera %d open", pCamera->Index());
        GST_OBJECT_LOCK(src);
        src->state.pCamera = std::move(pCamera);
        GST_OBJECT_UNLOCK(src);
        return true;
    });
}

void CloseCamera(GstIidcSrc* src)
{
    GST_OBJECT_LOCK(src);
    std::shared_ptr<CCamera> pCamera = std::move(src->state.pCamera);
    GST_OBJECT_UNLOCK(src);
    pCamera.reset();  // closes it, unless a lent frame still holds it
}

GstStateChangeReturn gst_iidc_src_change_state(GstElement* element, GstStateChange transition)
{
    GstIidcSrc* src = GST_IIDC_SRC(element);
    if (transition == GST_STATE_CHANGE_NULL_TO_READY && !OpenCamera(src))
        return GST_STATE_CHANGE_FAILURE;
    const GstStateChangeReturn result = GST_ELEMENT_CLASS(gst_iidc_src_parent_class)->change_state(element, transition);
    if (transition == GST_STATE_CHANGE_READY_TO_NULL
        || (transition == GST_STATE_CHANGE_NULL_TO_READY && result == GST_STATE_CHANGE_FAILURE))
        CloseCamera(src);
    return result;
}

gboolean gst_iidc_src_start(GstBaseSrc* base)
{
    CSourceState& state = StateOf(base);
    state.nDelivered = state.nDropped = 0;
    return TRUE;
}

gboolean gst_iidc_src_stop(GstBaseSrc* base)
{
    GstIidcSrc* src = GST_IIDC_SRC(base);
    const auto pCamera = CameraOf(src);
    return Guarded(src, FALSE, [&] {
        if (pCamera)
            pCamera->Stop();
        return TRUE;
    });
}

gboolean gst_iidc_src_unlock(GstBaseSrc* base)
{
    StateOf(base).bFlushing = true;
    return TRUE;
}

gboolean gst_iidc_src_unlock_stop(GstBaseSrc* base)
{
    StateOf(base).bFlushing = false;
    return TRUE;
}

// ---- caps -------------------------------------------------------------------

GstCaps* gst_iidc_src_get_caps(GstBaseSrc* base, GstCaps* filter)
{
    GstIidcSrc* src = GST_IIDC_SRC(base);
    const auto pCamera = CameraOf(src);
    GST_OBJECT_LOCK(src);
    const auto method = src->state.method;
    const AreaOffset offset = src->state.offset;
    GST_OBJECT_UNLOCK(src);
    return Guarded(src, static_cast<GstCaps*>(nullptr), [&] {
        GstCaps* caps = pCamera ? CapsOfCatalogue(pCamera->Formats(), {pCamera->SensorFilters(), method}, offset)
                                : TemplateCaps();
        if (filter) {
            GstCaps* both = gst_caps_intersect_full(filter, caps, GST_CAPS_INTERSECT_FIRST);
            gst_caps_unref(caps);
            caps = both;
        }
        return caps;
    });
}

GstCaps* gst_iidc_src_fixate(GstBaseSrc*, GstCaps* caps)
{
    return FixateCaps(caps);
}

gboolean gst_iidc_src_set_caps(GstBaseSrc* base, GstCaps* caps)
{
    GstIidcSrc* src = GST_IIDC_SRC(base);
    CSourceState& state = src->state;
    const auto pCamera = CameraOf(src);
    return Guarded(src, FALSE, [&] {
        if (!pCamera)
            throw CCameraError(CCameraError::Kind::Failed, "the camera is not open");
        gchar* pszCaps = gst_caps_to_string(caps);
        const std::string capsText = pszCaps;
        g_free(pszCaps);
        GST_OBJECT_LOCK(src);
        const int nBuffers = state.nBuffers;
        const AreaOffset offset = state.offset;
        const auto method = state.method;
        GST_OBJECT_UNLOCK(src);
        const auto choice = ChooseStream(pCamera->Formats(), caps, offset, {pCamera->SensorFilters(), method});
        if (!choice)
            throw CCameraError(CCameraError::Kind::Settings,
                               "camera " + std::to_string(pCamera->Index()) + " offers no format for " + capsText);
        pCamera->Start(*choice, nBuffers);
        const auto layout = LayoutOf(caps, *choice, pCamera->BottomUp());
        if (!layout || pCamera->FrameBytes() < layout->FrameBytes()) {
            pCamera->Stop();
            throw CCameraError(CCameraError::Kind::Settings,
                               "camera " + std::to_string(pCamera->Index()) + " delivers "
                                   + std::to_string(pCamera->FrameBytes()) + " bytes per frame, too few for "
                                   + capsText);
        }
        state.layout = *layout;
        state.tally = iidccam::CFrameTally();
        int nRateN = 0, nRateD = 1;
        gst_structure_get_fraction(gst_caps_get_structure(caps, 0), "framerate", &nRateN, &nRateD);
        const double fRate = nRateN > 0 ? double(nRateN) / nRateD : pCamera->FrameRate();
        GST_OBJECT_LOCK(src);
        state.duration = fRate > 0 ? GstClockTime(double(GST_SECOND) / fRate) : GST_CLOCK_TIME_NONE;
        GST_OBJECT_UNLOCK(src);
        GST_INFO_OBJECT(src, "streaming %s, frames %s", capsText.c_str(), layout->InPlace() ? "lent" : "copied");
        return TRUE;
    });
}

gboolean gst_iidc_src_query(GstBaseSrc* base, GstQuery* query)
{
    if (GST_QUERY_TYPE(query) != GST_QUERY_LATENCY)
        return GST_BASE_SRC_CLASS(gst_iidc_src_parent_class)->query(base, query);
    // A frame is stamped one period before it arrived whole, unless the base
    // class stamps it as it leaves. The ring can hold a frame back by as many
    // frames as it has buffers; a camera without a time-out (one that waits
    // for its trigger) holds it back without limit.
    const bool bDoTimestamp = gst_base_src_get_do_timestamp(base);
    GST_OBJECT_LOCK(base);
    const GstClockTime duration = StateOf(base).duration;
    const int nBuffers = StateOf(base).nBuffers;
    const bool bTimeout = StateOf(base).nTimeoutMs > 0;
    GST_OBJECT_UNLOCK(base);
    const bool bKnown = GST_CLOCK_TIME_IS_VALID(duration);
    gst_query_set_latency(query, TRUE, bKnown && !bDoTimestamp ? duration : 0,
                          bKnown && bTimeout ? duration * guint(nBuffers) : GST_CLOCK_TIME_NONE);
    return TRUE;
}

// Buffers of a downstream pool carry the pool's strides in a GstVideoMeta
// when both ends can: the copies honour them.
gboolean gst_iidc_src_decide_allocation(GstBaseSrc* base, GstQuery* query)
{
    if (!GST_BASE_SRC_CLASS(gst_iidc_src_parent_class)->decide_allocation(base, query))
        return FALSE;
    GstBufferPool* pool = nullptr;
    if (gst_query_get_n_allocation_pools(query) > 0)
        gst_query_parse_nth_allocation_pool(query, 0, &pool, nullptr, nullptr, nullptr);
    if (pool && gst_query_find_allocation_meta(query, GST_VIDEO_META_API_TYPE, nullptr)
        && gst_buffer_pool_has_option(pool, GST_BUFFER_POOL_OPTION_VIDEO_META)) {
        GstStructure* config = gst_buffer_pool_get_config(pool);
        gst_buffer_pool_config_add_option(config, GST_BUFFER_POOL_OPTION_VIDEO_META);
        gst_buffer_pool_set_config(pool, config);
    }
    if (pool)
        gst_object_unref(pool);
    return TRUE;
}

// ---- frames -----------------------------------------------------------------

GstClockTime RunningTimeNow(GstIidcSrc* src)
{
    GstClock* clock = gst_element_get_clock(GST_ELEMENT(src));
    if (!clock)
        return GST_CLOCK_TIME_NONE;
    const GstClockTime now = gst_clock_get_time(clock);
    gst_object_unref(clock);
    const GstClockTime base = gst_element_get_base_time(GST_ELEMENT(src));
    return now > base ? now - base : 0;
}

void ReleaseLoan(gpointer pLoan)
{
    delete static_cast<std::shared_ptr<void>*>(pLoan);
}

GstBuffer* LentBuffer(const CFrame& frame, const FrameLayout& layout)
{
    auto* pLoan = new std::shared_ptr<void>(frame.pLoan);
    const gsize cbBuffer = GST_VIDEO_INFO_SIZE(&layout.info);
    return gst_buffer_new_wrapped_full(GST_MEMORY_FLAG_READONLY, const_cast<uint8_t*>(frame.pData), cbBuffer, 0,
                                       cbBuffer, pLoan, ReleaseLoan);
}

// The frame copied into a buffer of the pipeline's pool, at the strides the
// buffer's GstVideoMeta gives, or else into a buffer of its own.
GstBuffer* CopiedBuffer(GstBaseSrc* base, const CFrame& frame, const FrameLayout& layout)
{
    FrameLayout target = layout;
    GstBuffer* buffer = nullptr;
    GstVideoFrame mapped;
    const GstFlowReturn result = GST_BASE_SRC_CLASS(gst_iidc_src_parent_class)
                                     ->alloc(base, GST_BUFFER_OFFSET_NONE, guint(GST_VIDEO_INFO_SIZE(&layout.info)),
                                             &buffer);
    if (result != GST_FLOW_OK || !gst_video_frame_map(&mapped, &target.info, buffer, GST_MAP_WRITE)) {
        if (buffer)
            gst_buffer_unref(buffer);
        buffer = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&layout.info), nullptr);
        if (!buffer || !gst_video_frame_map(&mapped, &target.info, buffer, GST_MAP_WRITE)) {
            if (buffer)
                gst_buffer_unref(buffer);
            throw std::bad_alloc();
        }
    }
    CopyRows(frame.pData, layout, &mapped);
    gst_video_frame_unmap(&mapped);
    return buffer;
}

// Stamps a buffer and tells of the frames lost before it.
void Stamp(GstIidcSrc* src, GstBuffer* buffer, int32_t nFrameCount, GstClockTime arrival)
{
    CSourceState& state = src->state;
    const int64_t nDroppedBefore = state.tally.Dropped();
    const iidccam::FrameStamp stamp = state.tally.Take(nFrameCount, iidccam::MonotonicNs());
    GST_OBJECT_LOCK(src);
    const GstClockTime duration = state.duration;
    GST_OBJECT_UNLOCK(src);
    const bool bKnown = GST_CLOCK_TIME_IS_VALID(duration);
    GstClockTime pts = GST_CLOCK_TIME_NONE;
    if (!gst_base_src_get_do_timestamp(GST_BASE_SRC(src)) && GST_CLOCK_TIME_IS_VALID(arrival))
        pts = !bKnown ? arrival : arrival > duration ? arrival - duration : 0;
    GST_BUFFER_PTS(buffer) = pts;
    GST_BUFFER_DURATION(buffer) = duration;
    GST_BUFFER_OFFSET(buffer) = guint64(stamp.nNumber);
    GST_BUFFER_OFFSET_END(buffer) = guint64(stamp.nNumber) + 1;
    if (stamp.nDropped > nDroppedBefore) {
        const guint64 nLost = guint64(stamp.nDropped - nDroppedBefore);
        state.nDropped += nLost;
        GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DISCONT);
        GST_WARNING_OBJECT(src, "%" G_GUINT64_FORMAT " frames dropped before frame %" G_GINT64_FORMAT, nLost,
                           stamp.nNumber);
        // The lost frames came one period apart just before this one.
        const GstClockTime lost = bKnown ? duration * nLost : GST_CLOCK_TIME_NONE;
        const GstClockTime first =
            bKnown && GST_CLOCK_TIME_IS_VALID(pts) && pts > lost ? pts - lost : GST_CLOCK_TIME_NONE;
        GstMessage* qos = gst_message_new_qos(GST_OBJECT(src), TRUE, first, GST_CLOCK_TIME_NONE, first, lost);
        gst_message_set_qos_stats(qos, GST_FORMAT_BUFFERS, state.nDelivered, state.nDropped);
        gst_element_post_message(GST_ELEMENT(src), qos);
    }
    ++state.nDelivered;
}

GstFlowReturn gst_iidc_src_create(GstPushSrc* push, GstBuffer** pBuffer)
{
    GstIidcSrc* src = GST_IIDC_SRC(push);
    CSourceState& state = src->state;
    const auto pCamera = CameraOf(src);
    GST_OBJECT_LOCK(src);
    const std::chrono::milliseconds timeout(state.nTimeoutMs);
    GST_OBJECT_UNLOCK(src);
    return Guarded(src, GST_FLOW_ERROR, [&] {
        if (!pCamera)
            throw CCameraError(CCameraError::Kind::Failed, "the camera is not open");
        for (;;) {
            const auto frame = pCamera->NextFrame(state.layout.InPlace(), timeout, state.bFlushing);
            if (!frame)
                return GST_FLOW_FLUSHING;
            const GstClockTime arrival = RunningTimeNow(src);
            GstBuffer* buffer = frame->pLoan ? LentBuffer(*frame, state.layout)
                                             : CopiedBuffer(GST_BASE_SRC(push), *frame, state.layout);
            if (!frame->pLoan && !pCamera->Intact(*frame)) {
                gst_buffer_unref(buffer);  // overwritten while it was copied
                continue;
            }
            Stamp(src, buffer, frame->nCountAtTake, arrival);
            *pBuffer = buffer;
            return GST_FLOW_OK;
        }
    });
}

}  // namespace

}  // namespace iidcgst

static void gst_iidc_src_class_init(GstIidcSrcClass* klass)
{
    using namespace iidcgst;
    GObjectClass* objectClass = G_OBJECT_CLASS(klass);
    GstElementClass* elementClass = GST_ELEMENT_CLASS(klass);
    GstBaseSrcClass* baseClass = GST_BASE_SRC_CLASS(klass);
    objectClass->set_property = GST_DEBUG_FUNCPTR(gst_iidc_src_set_property);
    objectClass->get_property = GST_DEBUG_FUNCPTR(gst_iidc_src_get_property);
    objectClass->finalize = GST_DEBUG_FUNCPTR(gst_iidc_src_finalize);

    constexpr auto FLAGS = GParamFlags(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS);
    constexpr auto AT_READY = GParamFlags(FLAGS | GST_PARAM_MUTABLE_READY);
    constexpr auto AT_ONCE = GParamFlags(FLAGS | GST_PARAM_MUTABLE_PLAYING);
    g_object_class_install_property(
        objectClass, PROP_CAMERA,
        g_param_spec_string("camera", "Camera",
                            "Camera index (0, 1, ...) or unique id (10 hexadecimal digits, as 'iidc list' shows); "
                            "read when the element opens the camera, going to READY",
                            "0", AT_READY));
    g_object_class_install_property(
        objectClass, PROP_BUFFERS,
        g_param_spec_int("buffers", "Buffers",
                         "Frame buffers in the camera's ring; a lent frame keeps one of them while downstream holds it",
                         3, 64, DEFAULT_BUFFERS, AT_READY));
    g_object_class_install_property(
        objectClass, PROP_FEATURES,
        g_param_spec_string("features", "Features",
                            "Camera features to set, as the iidc tool takes them: \"gain=200 shutter=auto\"", "",
                            AT_ONCE));
    g_object_class_install_property(
        objectClass, PROP_TIMEOUT,
        g_param_spec_uint("timeout", "Timeout", "Milliseconds to wait for a frame before failing (0: no limit)", 0,
                          G_MAXUINT, DEFAULT_TIMEOUT_MS, AT_ONCE));
    for (const auto& [nValue, nAuto, pszName, pszAuto, pszBlurb] :
         {std::tuple{PROP_GAIN, PROP_GAIN_AUTO, "gain", "gain-auto", "Gain in the camera's units"},
          std::tuple{PROP_SHUTTER, PROP_SHUTTER_AUTO, "shutter", "shutter-auto", "Shutter in the camera's units"}}) {
        g_object_class_install_property(
            objectClass, guint(nValue),
            g_param_spec_int(pszName, pszName, (std::string(pszBlurb) + " (-1: as the camera has it)").c_str(), -1,
                             4095, -1, GParamFlags(G_PARAM_READWRITE | GST_PARAM_MUTABLE_PLAYING)));
        g_object_class_install_property(
            objectClass, guint(nAuto),
            g_param_spec_boolean(pszAuto, pszAuto,
                                 (std::string("Whether the camera controls ") + pszName + " itself; false sets manual "
                                  "control, unset leaves the camera as it is").c_str(),
                                 FALSE, GParamFlags(G_PARAM_READWRITE | GST_PARAM_MUTABLE_PLAYING)));
    }
    g_object_class_install_property(
        objectClass, PROP_OFFSET_X,
        g_param_spec_int("offset-x", "Offset X",
                         "Left edge of a Format 7 area on the sensor, on the mode's position steps (-1: centred)", -1,
                         65535, -1, AT_READY));
    g_object_class_install_property(
        objectClass, PROP_OFFSET_Y,
        g_param_spec_int("offset-y", "Offset Y",
                         "Top edge of a Format 7 area on the sensor, on the mode's position steps (-1: centred)", -1,
                         65535, -1, AT_READY));

    g_object_class_install_property(
        objectClass, PROP_DEMOSAIC,
        g_param_spec_string("demosaic", "Demosaic",
                            "Colour from a Bayer camera in the source: none (video/x-bayer and grey as they come), "
                            "nearest, bilinear or hq (gradient-corrected), which offer BGR and RGB first",
                            "none", AT_READY));
    g_object_class_install_property(
        objectClass, PROP_BAYER_FILTER,
        g_param_spec_string("bayer-filter", "Bayer filter",
                            "The sensor's colour filter at its top-left pixel (RGGB, GBRG, GRBG or BGGR) over what "
                            "the camera tells; a Format 7 area's position shifts the image's phase from it. Empty: "
                            "as the camera tells",
                            "", AT_READY));

    gst_element_class_set_static_metadata(elementClass, "IIDC camera source", "Source/Video/Hardware",
                                          "Captures video from an IIDC 1394 camera", "The iidc developers");
    GstCaps* caps = TemplateCaps();
    gst_element_class_add_pad_template(elementClass, gst_pad_template_new("src", GST_PAD_SRC, GST_PAD_ALWAYS, caps));
    gst_caps_unref(caps);
    elementClass->change_state = GST_DEBUG_FUNCPTR(gst_iidc_src_change_state);

    baseClass->get_caps = GST_DEBUG_FUNCPTR(gst_iidc_src_get_caps);
    baseClass->fixate = GST_DEBUG_FUNCPTR(gst_iidc_src_fixate);
    baseClass->set_caps = GST_DEBUG_FUNCPTR(gst_iidc_src_set_caps);
    baseClass->start = GST_DEBUG_FUNCPTR(gst_iidc_src_start);
    baseClass->stop = GST_DEBUG_FUNCPTR(gst_iidc_src_stop);
    baseClass->unlock = GST_DEBUG_FUNCPTR(gst_iidc_src_unlock);
    baseClass->unlock_stop = GST_DEBUG_FUNCPTR(gst_iidc_src_unlock_stop);
    baseClass->query = GST_DEBUG_FUNCPTR(gst_iidc_src_query);
    baseClass->decide_allocation = GST_DEBUG_FUNCPTR(gst_iidc_src_decide_allocation);
    GST_PUSH_SRC_CLASS(klass)->create = GST_DEBUG_FUNCPTR(gst_iidc_src_create);

    GST_DEBUG_CATEGORY_INIT(g_iidcSrcDebug, "iidcsrc", 0, "IIDC camera source");
}

static void gst_iidc_src_init(GstIidcSrc* src)
{
    new (&src->state) iidcgst::CSourceState;  // nothing in it throws
    gst_base_src_set_live(GST_BASE_SRC(src), TRUE);
    gst_base_src_set_format(GST_BASE_SRC(src), GST_FORMAT_TIME);
}
