// iidcsrc: opens its camera when it goes to READY (so that an unknown or busy
// camera fails that state change), offers the camera's catalogue as caps,
// puts the negotiated format, rate and area into force, and pushes each new
// frame stamped with the pipeline clock at its arrival and the camera's frame
// count as offset. A frame the ring can lend goes downstream as it lies;
// others are copied once, rows top-down. A gap in the count is posted as a
// QoS message.
#include "iidc_src.h"

#include <gst/video/video.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <new>
#include <string>

#include "camera.h"
#include "caps.h"

GST_DEBUG_CATEGORY_STATIC(g_iidcSrcDebug);
#define GST_CAT_DEFAULT g_iidcSrcDebug

namespace iidcgst {

constexpr int DEFAULT_BUFFERS = 4;
constexpr guint DEFAULT_TIMEOUT_MS = 5000;

// The element's own state. Properties and the camera are guarded by the
// object lock (queries and property changes come on any thread); the stream
// is the streaming thread's, between set_caps and stop.
struct CSourceState {
  std::string camera = "0";
  int nBuffers = DEFAULT_BUFFERS;
  std::string features;
  guint nTimeoutMs = DEFAULT_TIMEOUT_MS;
  std::shared_ptr<CCamera> pCamera;  // from NULL -> READY to READY -> NULL
  GstClockTime duration = GST_CLOCK_TIME_NONE;

  FrameLayout layout;
  int64_t nNextNumber = -1;  // the frame expected next; -1 before the first
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

enum { PROP_0, PROP_CAMERA, PROP_BUFFERS, PROP_FEATURES, PROP_TIMEOUT };

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

void SetProperty(GObject* object, guint nId, const GValue* value, GParamSpec* pspec)
{
    GstIidcSrc* src = GST_IIDC_SRC(object);
    CSourceState& state = src->state;
    Guarded(src, false, [&] {
        const char* pszText = G_VALUE_HOLDS_STRING(value) ? g_value_get_string(value) : nullptr;
        const std::string text = pszText ? pszText : "";
        GST_OBJECT_LOCK(src);
        switch (nId) {
        case PROP_CAMERA: state.camera = text; break;
        case PROP_BUFFERS: state.nBuffers = g_value_get_int(value); break;
        case PROP_FEATURES: state.features = text; break;
        case PROP_TIMEOUT: state.nTimeoutMs = g_value_get_uint(value); break;
        default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, nId, pspec); break;
        }
        const std::shared_ptr<CCamera> pCamera = state.pCamera;
        GST_OBJECT_UNLOCK(src);
        // An open camera takes new features at once; one that refuses them
        // keeps streaming as it was.
        if (nId == PROP_FEATURES && pCamera)
            Guarded(src, false, [&] { pCamera->SetFeatures(text); return true; }, GST_MESSAGE_WARNING);
        return true;
    });
}

void GetProperty(GObject* object, guint nId, GValue* value, GParamSpec* pspec)
{
    GstIidcSrc* src = GST_IIDC_SRC(object);
    const CSourceState& state = src->state;
    GST_OBJECT_LOCK(src);
    switch (nId) {
    case PROP_CAMERA: g_value_set_string(value, state.camera.c_str()); break;
    case PROP_BUFFERS: g_value_set_int(value, state.nBuffers); break;
    case PROP_FEATURES: g_value_set_string(value, state.features.c_str()); break;
    case PROP_TIMEOUT: g_value_set_uint(value, state.nTimeoutMs); break;
    default: G_OBJECT_WARN_INVALID_PROPERTY_ID(object, nId, pspec); break;
    }
    GST_OBJECT_UNLOCK(src);
}

void Finalize(GObject* object)
{
    StateOf(object).~CSourceState();
    G_OBJECT_CLASS(gst_iidc_src_parent_class)->finalize(object);
}

// ---- states -----------------------------------------------------------------

bool OpenCamera(GstIidcSrc* src)
{
    return Guarded(src, false, [&] {
        GST_OBJECT_LOCK(src);
        const std::string selector = src->state.camera, features = src->state.features;
        GST_OBJECT_UNLOCK(src);
        std::shared_ptr<CCamera> pCamera = CCamera::Open(selector);
        pCamera->SetFeatures(features);
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

GstStateChangeReturn ChangeState(GstElement* element, GstStateChange transition)
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

gboolean Start(GstBaseSrc* base)
{
    CSourceState& state = StateOf(base);
    state.nNextNumber = -1;
    state.nDelivered = state.nDropped = 0;
    return TRUE;
}

gboolean Stop(GstBaseSrc* base)
{
    GstIidcSrc* src = GST_IIDC_SRC(base);
    const auto pCamera = CameraOf(src);
    return Guarded(src, FALSE, [&] {
        if (pCamera)
            pCamera->Stop();
        return TRUE;
    });
}

gboolean Unlock(GstBaseSrc* base)
{
    StateOf(base).bFlushing = true;
    return TRUE;
}

gboolean UnlockStop(GstBaseSrc* base)
{
    StateOf(base).bFlushing = false;
    return TRUE;
}

// ---- caps -------------------------------------------------------------------

GstCaps* GetCaps(GstBaseSrc* base, GstCaps* filter)
{
    GstIidcSrc* src = GST_IIDC_SRC(base);
    const auto pCamera = CameraOf(src);
    return Guarded(src, static_cast<GstCaps*>(nullptr), [&] {
        GstCaps* caps = pCamera ? CapsOfCatalogue(pCamera->Formats()) : TemplateCaps();
        if (filter) {
            GstCaps* both = gst_caps_intersect_full(filter, caps, GST_CAPS_INTERSECT_FIRST);
            gst_caps_unref(caps);
            caps = both;
        }
        return caps;
    });
}

GstCaps* Fixate(GstBaseSrc*, GstCaps* caps)
{
    return FixateCaps(caps);
}

gboolean SetCaps(GstBaseSrc* base, GstCaps* caps)
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
        const auto choice = ChooseStream(pCamera->Formats(), caps);
        if (!choice)
            throw CCameraError(CCameraError::Kind::Settings,
                               "camera " + std::to_string(pCamera->Index()) + " offers no format for " + capsText);
        GST_OBJECT_LOCK(src);
        const int nBuffers = state.nBuffers;
        GST_OBJECT_UNLOCK(src);
        pCamera->Start(*choice, nBuffers);
        const auto layout = LayoutOf(caps, pCamera->BottomUp());
        if (!layout || pCamera->FrameBytes() < layout->FrameBytes()) {
            pCamera->Stop();
            throw CCameraError(CCameraError::Kind::Settings,
                               "camera " + std::to_string(pCamera->Index()) + " delivers "
                                   + std::to_string(pCamera->FrameBytes()) + " bytes per frame, too few for "
                                   + capsText);
        }
        state.layout = *layout;
        state.nNextNumber = -1;
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

gboolean Query(GstBaseSrc* base, GstQuery* query)
{
    if (GST_QUERY_TYPE(query) != GST_QUERY_LATENCY)
        return GST_BASE_SRC_CLASS(gst_iidc_src_parent_class)->query(base, query);
    // A frame is pushed once it has arrived whole; the ring can hold it back
    // by as many frames as it has buffers.
    GST_OBJECT_LOCK(base);
    const GstClockTime duration = StateOf(base).duration;
    const int nBuffers = StateOf(base).nBuffers;
    GST_OBJECT_UNLOCK(base);
    const bool bKnown = GST_CLOCK_TIME_IS_VALID(duration);
    gst_query_set_latency(query, TRUE, bKnown ? duration : 0,
                          bKnown ? duration * guint(nBuffers) : GST_CLOCK_TIME_NONE);
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
    return gst_buffer_new_wrapped_full(GST_MEMORY_FLAG_READONLY, const_cast<uint8_t*>(frame.pData), layout.cbBuffer,
                                       0, layout.cbBuffer, pLoan, ReleaseLoan);
}

GstBuffer* CopiedBuffer(GstBaseSrc* base, const CFrame& frame, const FrameLayout& layout)
{
    // A buffer of the pipeline's pool, unless the pool lays rows out otherwise.
    GstBuffer* buffer = nullptr;
    const GstFlowReturn result = GST_BASE_SRC_CLASS(gst_iidc_src_parent_class)
                                     ->alloc(base, GST_BUFFER_OFFSET_NONE, guint(layout.cbBuffer), &buffer);
    const GstVideoMeta* meta = result == GST_FLOW_OK ? gst_buffer_get_video_meta(buffer) : nullptr;
    if (result != GST_FLOW_OK || gst_buffer_get_size(buffer) < layout.cbBuffer
        || (meta && gsize(meta->stride[0]) != layout.nStride)) {
        if (buffer)
            gst_buffer_unref(buffer);
        buffer = gst_buffer_new_allocate(nullptr, layout.cbBuffer, nullptr);
    }
    gst_buffer_set_size(buffer, gssize(layout.cbBuffer));
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
        gst_buffer_unref(buffer);
        throw std::bad_alloc();
    }
    CopyRows(frame.pData, layout, map.data);
    gst_buffer_unmap(buffer, &map);
    return buffer;
}

void Stamp(GstIidcSrc* src, GstBuffer* buffer, int64_t nNumber, GstClockTime arrival)
{
    CSourceState& state = src->state;
    GST_OBJECT_LOCK(src);
    const GstClockTime duration = state.duration;
    GST_OBJECT_UNLOCK(src);
    GST_BUFFER_PTS(buffer) = arrival;
    GST_BUFFER_DURATION(buffer) = duration;
    GST_BUFFER_OFFSET(buffer) = guint64(nNumber);
    GST_BUFFER_OFFSET_END(buffer) = guint64(nNumber) + 1;
    if (state.nNextNumber >= 0 && nNumber > state.nNextNumber) {
        const guint64 nLost = guint64(nNumber - state.nNextNumber);
        state.nDropped += nLost;
        GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DISCONT);
        GST_WARNING_OBJECT(src, "%" G_GUINT64_FORMAT " frames dropped before frame %" G_GINT64_FORMAT, nLost, nNumber);
        GstMessage* qos = gst_message_new_qos(GST_OBJECT(src), TRUE, arrival, GST_CLOCK_TIME_NONE, arrival, duration);
        gst_message_set_qos_stats(qos, GST_FORMAT_BUFFERS, state.nDelivered, state.nDropped);
        gst_element_post_message(GST_ELEMENT(src), qos);
    }
    state.nNextNumber = nNumber + 1;
    ++state.nDelivered;
}

GstFlowReturn Create(GstPushSrc* push, GstBuffer** pBuffer)
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
            Stamp(src, buffer, frame->nNumber, arrival);
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
    objectClass->set_property = SetProperty;
    objectClass->get_property = GetProperty;
    objectClass->finalize = Finalize;

    constexpr auto FLAGS = GParamFlags(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS);
    g_object_class_install_property(
        objectClass, PROP_CAMERA,
        g_param_spec_string("camera", "Camera",
                            "Camera index (0, 1, ...) or unique id (10 hexadecimal digits, as 'iidc list' shows); "
                            "read when the element opens the camera, going to READY",
                            "0", FLAGS));
    g_object_class_install_property(
        objectClass, PROP_BUFFERS,
        g_param_spec_int("buffers", "Buffers",
                         "Frame buffers in the camera's ring; a lent frame keeps one of them while downstream holds it",
                         3, 64, DEFAULT_BUFFERS, FLAGS));
    g_object_class_install_property(
        objectClass, PROP_FEATURES,
        g_param_spec_string("features", "Features",
                            "Camera features to set, as the iidc tool takes them: \"gain=200 shutter=auto\"", "",
                            GParamFlags(FLAGS | GST_PARAM_MUTABLE_PLAYING)));
    g_object_class_install_property(
        objectClass, PROP_TIMEOUT,
        g_param_spec_uint("timeout", "Timeout", "Milliseconds to wait for a frame before failing (0: no limit)", 0,
                          G_MAXUINT, DEFAULT_TIMEOUT_MS, FLAGS));

    gst_element_class_set_static_metadata(elementClass, "IIDC camera source", "Source/Video/Hardware",
                                          "Captures video from an IIDC 1394 camera", "The iidc developers");
    GstCaps* caps = TemplateCaps();
    gst_element_class_add_pad_template(elementClass, gst_pad_template_new("src", GST_PAD_SRC, GST_PAD_ALWAYS, caps));
    gst_caps_unref(caps);
    elementClass->change_state = ChangeState;

    baseClass->get_caps = GetCaps;
    baseClass->fixate = Fixate;
    baseClass->set_caps = SetCaps;
    baseClass->start = Start;
    baseClass->stop = Stop;
    baseClass->unlock = Unlock;
    baseClass->unlock_stop = UnlockStop;
    baseClass->query = Query;
    GST_PUSH_SRC_CLASS(klass)->create = Create;

    GST_DEBUG_CATEGORY_INIT(g_iidcSrcDebug, "iidcsrc", 0, "IIDC camera source");
}

static void gst_iidc_src_init(GstIidcSrc* src)
{
    new (&src->state) iidcgst::CSourceState;  // nothing in it throws
    gst_base_src_set_live(GST_BASE_SRC(src), TRUE);
    gst_base_src_set_format(GST_BASE_SRC(src), GST_FORMAT_TIME);
}
