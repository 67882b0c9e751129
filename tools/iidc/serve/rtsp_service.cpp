#include "rtsp_service.h"

#include <fmt/format.h>
#include <glib-unix.h>
#include <gst/base/gstbasesink.h>

#include <csignal>
#include <ostream>

#include "exit_status.h"
#include "frame_stamp.h"
#include "stream_line.h"

namespace iidctool {

namespace {

constexpr const char* VIEWER_ROLE = "viewer";
constexpr const char* CAMERA_KEY = "iidc-camera";  // the label of a factory's camera
constexpr const char* ADDRESS_KEY = "iidc-address";  // a client's address
constexpr const char* FAILED_KEY = "iidc-failed";  // set on a media that failed
constexpr guint SESSION_CLEANUP_SECONDS = 2;

// Every path of a camera's factory leads to one media: the default key is
// the path, which would give /0 and /<unique id> a capture each.
gchar* CameraKey(GstRTSPMediaFactory*, const GstRTSPUrl*)
{
    return g_strdup(CAMERA_KEY);
}

GType CameraFactoryType()
{
    static const GType type = g_type_register_static_simple(
        GST_TYPE_RTSP_MEDIA_FACTORY, "IidcCameraMediaFactory", sizeof(GstRTSPMediaFactoryClass),
        [](gpointer pClass, gpointer) { GST_RTSP_MEDIA_FACTORY_CLASS(pClass)->gen_key = CameraKey; },
        sizeof(GstRTSPMediaFactory), nullptr, GTypeFlags(0));
    return type;
}

std::string Label(GObject* object, const char* pszKey)
{
    const auto* psz = static_cast<const char*>(g_object_get_data(object, pszKey));
    return psz ? psz : "?";
}

// A media's pipeline as its bus handler knows it, and a failure it posted as
// carried to the main loop. The handler's media is uncounted (the pipeline,
// its bus and the handler die with the media); a failure's is counted.
struct MediaFailure {
  CRtspService* pService;
  GstRTSPMedia* pMedia;
  std::string text;  // "camera N (UID): ", then what failed
};

bool SessionPlays(GstRTSPSession* session, GstRTSPMedia* media)
{
    std::pair<GstRTSPMedia*, bool> search{media, false};
    gst_rtsp_session_filter(
        session,
        [](GstRTSPSession*, GstRTSPSessionMedia* sessionMedia, gpointer p) {
            auto* pSearch = static_cast<std::pair<GstRTSPMedia*, bool>*>(p);
            pSearch->second = pSearch->second || gst_rtsp_session_media_get_media(sessionMedia) == pSearch->first;
            return GST_RTSP_FILTER_KEEP;
        },
        &search);
    return search.second;
}

bool ClientPlays(GstRTSPClient* client, GstRTSPMedia* media)
{
    std::pair<GstRTSPMedia*, bool> search{media, false};
    gst_rtsp_client_session_filter(
        client,
        [](GstRTSPClient*, GstRTSPSession* session, gpointer p) {
            auto* pSearch = static_cast<std::pair<GstRTSPMedia*, bool>*>(p);
            pSearch->second = pSearch->second || SessionPlays(session, pSearch->first);
            return GST_RTSP_FILTER_KEEP;
        },
        &search);
    return search.second;
}

}  // namespace

CRtspService::CRtspService(const ServiceSettings& settings, const std::vector<ServedCamera>& cameras,
                           std::ostream& log)
    : m_settings(settings), m_cameras(cameras), m_log(log), m_pServer(gst_rtsp_server_new())
{
    try {
        SetUpSecurity();
        for (const ServedCamera& camera : m_cameras)
            Mount(camera);
        g_signal_connect(m_pServer, "client-connected",
                         G_CALLBACK(+[](GstRTSPServer*, GstRTSPClient* client, gpointer pService) {
                             static_cast<CRtspService*>(pService)->OnClient(client);
                         }),
                         this);
        Listen();
    } catch (...) {
        Release();
        throw;
    }
}

CRtspService::~CRtspService()
{
    Release();
}

void CRtspService::Release()
{
    if (m_nSource)
        g_source_remove(m_nSource);
    m_nSource = 0;
    g_clear_object(&m_pServer);
    g_clear_object(&m_pAuth);
}

void CRtspService::SetUpSecurity()
{
    if (m_settings.users.empty() && m_settings.certFile.empty())
        return;
    m_pAuth = gst_rtsp_auth_new();
    GstRTSPToken* token = gst_rtsp_token_new(GST_RTSP_TOKEN_MEDIA_FACTORY_ROLE, G_TYPE_STRING, VIEWER_ROLE, nullptr);
    if (m_settings.users.empty())
        gst_rtsp_auth_set_default_token(m_pAuth, token);  // TLS alone: everyone may watch
    for (const auto& [user, password] : m_settings.users) {
        gchar* basic = gst_rtsp_auth_make_basic(user.c_str(), password.c_str());
        gst_rtsp_auth_add_basic(m_pAuth, basic, token);
        g_free(basic);
    }
    gst_rtsp_token_unref(token);
    if (!m_settings.certFile.empty()) {
        GError* error = nullptr;
        GTlsCertificate* certificate =
            g_tls_certificate_new_from_files(m_settings.certFile.c_str(), m_settings.keyFile.c_str(), &error);
        if (!certificate) {
            const std::string text = error ? error->message : "unknown error";
            g_clear_error(&error);
            throw CToolError(EXIT_BAD_ARGUMENTS, fmt::format("--cert {} --key {}: {}; give a PEM certificate and its "
                                                             "private key",
                                                             m_settings.certFile, m_settings.keyFile, text));
        }
        gst_rtsp_auth_set_tls_certificate(m_pAuth, certificate);
        g_object_unref(certificate);
    }
    gst_rtsp_server_set_auth(m_pServer, m_pAuth);
}

void CRtspService::Mount(const ServedCamera& camera)
{
    auto* factory = GST_RTSP_MEDIA_FACTORY(g_object_new(CameraFactoryType(), nullptr));
    // By unique id, which stays with the camera when others come or go.
    const std::string selector = camera.uniqueId.empty() ? std::to_string(camera.nIndex) : camera.uniqueId;
    gst_rtsp_media_factory_set_launch(factory, StreamLine(selector, m_settings.codec, m_settings.nBitrate).c_str());
    gst_rtsp_media_factory_set_shared(factory, TRUE);
    if (m_pAuth)
        gst_rtsp_media_factory_add_role(factory, VIEWER_ROLE, GST_RTSP_PERM_MEDIA_FACTORY_ACCESS, G_TYPE_BOOLEAN,
                                        TRUE, GST_RTSP_PERM_MEDIA_FACTORY_CONSTRUCT, G_TYPE_BOOLEAN, TRUE, nullptr);
    g_object_set_data_full(G_OBJECT(factory), CAMERA_KEY,
                           g_strdup(fmt::format("{} ({})", camera.nIndex, camera.uniqueId).c_str()), g_free);
    g_signal_connect(factory, "media-configure", G_CALLBACK(ConfigureMedia), this);
    GstRTSPMountPoints* mounts = gst_rtsp_server_get_mount_points(m_pServer);
    if (!camera.uniqueId.empty())
        gst_rtsp_mount_points_add_factory(mounts, ("/" + camera.uniqueId).c_str(),
                                          GST_RTSP_MEDIA_FACTORY(g_object_ref(factory)));
    gst_rtsp_mount_points_add_factory(mounts, fmt::format("/{}", camera.nIndex).c_str(), factory);
    g_object_unref(mounts);
}

void CRtspService::ConfigureMedia(GstRTSPMediaFactory* factory, GstRTSPMedia* media, gpointer pService)
{
    GstElement* bin = gst_rtsp_media_get_element(media);
    StampFrames(bin);
    GstObject* pipeline = gst_object_get_parent(GST_OBJECT(bin));
    gst_object_unref(bin);
    if (!pipeline)
        return;
    // The sinks that send the packets would hold each one for their default
    // processing deadline (20 ms) beyond the frame's latency; the frames are
    // encoded well within the latency the source answers.
    g_signal_connect(pipeline, "deep-element-added", G_CALLBACK(+[](GstBin*, GstBin*, GstElement* element, gpointer) {
                         if (GST_IS_BASE_SINK(element))
                             gst_base_sink_set_processing_deadline(GST_BASE_SINK(element), 0);
                     }),
                     nullptr);
    // The media watches the bus itself; a sync handler sees its errors too.
    GstBus* bus = gst_element_get_bus(GST_ELEMENT(pipeline));
    gst_bus_set_sync_handler(bus, WatchMedia,
                             new MediaFailure{static_cast<CRtspService*>(pService), media,
                                              fmt::format("camera {}: ", Label(G_OBJECT(factory), CAMERA_KEY))},
                             [](gpointer p) { delete static_cast<MediaFailure*>(p); });
    gst_object_unref(bus);
    gst_object_unref(pipeline);
}

GstBusSyncReply CRtspService::WatchMedia(GstBus*, GstMessage* message, gpointer pWatch)
{
    if (GST_MESSAGE_TYPE(message) != GST_MESSAGE_ERROR)
        return GST_BUS_PASS;
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    auto* pFailure = new MediaFailure(*static_cast<MediaFailure*>(pWatch));
    pFailure->text += error ? error->message : "stream failed";
    g_clear_error(&error);
    g_object_ref(pFailure->pMedia);
    // On the posting thread, maybe inside a state change of the media: the
    // main loop takes it from here.
    g_idle_add_full(
        G_PRIORITY_DEFAULT,
        [](gpointer p) -> gboolean {
            auto* pFailed = static_cast<MediaFailure*>(p);
            pFailed->pService->OnMediaFailed(pFailed->pMedia, pFailed->text);
            return G_SOURCE_REMOVE;
        },
        pFailure,
        [](gpointer p) {
            g_object_unref(static_cast<MediaFailure*>(p)->pMedia);
            delete static_cast<MediaFailure*>(p);
        });
    return GST_BUS_PASS;
}

void CRtspService::Listen()
{
    gst_rtsp_server_set_address(m_pServer, m_settings.address.c_str());
    gst_rtsp_server_set_service(m_pServer, std::to_string(m_settings.nPort).c_str());
    GError* error = nullptr;
    GSource* source = gst_rtsp_server_create_source(m_pServer, nullptr, &error);
    if (!source) {
        const std::string text = error ? error->message : "unknown error";
        g_clear_error(&error);
        throw CToolError(EXIT_FAILED, fmt::format("cannot listen on {} port {}: {}; choose another --port (0 picks a "
                                                  "free one) or --address",
                                                  m_settings.address, m_settings.nPort, text));
    }
    m_nSource = g_source_attach(source, nullptr);
    g_source_unref(source);
    m_nPort = gst_rtsp_server_get_bound_port(m_pServer);
}

std::vector<std::string> CRtspService::Urls() const
{
    std::string host = m_settings.address;
    if (host == "0.0.0.0" || host == "::")
        host = g_get_host_name();
    else if (host.find(':') != std::string::npos)
        host = "[" + host + "]";
    const std::string base =
        fmt::format("{}://{}:{}", m_settings.certFile.empty() ? "rtsp" : "rtsps", host, m_nPort);
    std::vector<std::string> urls;
    for (const ServedCamera& camera : m_cameras)
        urls.push_back(camera.uniqueId.empty() ? fmt::format("{}/{}", base, camera.nIndex)
                                               : fmt::format("{}/{} {}/{}", base, camera.nIndex, base, camera.uniqueId));
    return urls;
}

void CRtspService::OnClient(GstRTSPClient* client)
{
    GstRTSPConnection* connection = gst_rtsp_client_get_connection(client);
    const char* pszAddress = connection ? gst_rtsp_connection_get_ip(connection) : nullptr;
    g_object_set_data_full(G_OBJECT(client), ADDRESS_KEY, g_strdup(pszAddress ? pszAddress : "?"), g_free);
    m_log << fmt::format("client {} connected\n", Label(G_OBJECT(client), ADDRESS_KEY)) << std::flush;
    g_signal_connect(client, "closed", G_CALLBACK(+[](GstRTSPClient* pClient, gpointer pService) {
                         static_cast<CRtspService*>(pService)->m_log
                             << fmt::format("client {} left\n", Label(G_OBJECT(pClient), ADDRESS_KEY)) << std::flush;
                     }),
                     this);
    g_signal_connect(client, "play-request", G_CALLBACK(+[](GstRTSPClient* pClient, GstRTSPContext* ctx, gpointer pService) {
                         static_cast<CRtspService*>(pService)->m_log
                             << fmt::format("client {} plays {}\n", Label(G_OBJECT(pClient), ADDRESS_KEY),
                                            ctx && ctx->uri ? ctx->uri->abspath : "?")
                             << std::flush;
                     }),
                     this);
    g_signal_connect(client, "send-message",
                     G_CALLBACK(+[](GstRTSPClient* pClient, GstRTSPContext* ctx, GstRTSPMessage* message,
                                    gpointer pService) {
                         GstRTSPStatusCode code = GST_RTSP_STS_OK;
                         if (gst_rtsp_message_get_type(message) != GST_RTSP_MESSAGE_RESPONSE
                             || gst_rtsp_message_parse_response(message, &code, nullptr, nullptr) != GST_RTSP_OK
                             || code != GST_RTSP_STS_UNAUTHORIZED)
                             return;
                         // A client asks without credentials first, and
                         // again with them once challenged.
                         gchar* pszGiven = nullptr;
                         const bool bGiven = ctx && ctx->request
                                             && gst_rtsp_message_get_header(ctx->request, GST_RTSP_HDR_AUTHORIZATION,
                                                                            &pszGiven, 0) == GST_RTSP_OK;
                         static_cast<CRtspService*>(pService)->m_log
                             << fmt::format("client {} refused (401): {} credentials\n",
                                            Label(G_OBJECT(pClient), ADDRESS_KEY), bGiven ? "wrong" : "no")
                             << std::flush;
                     }),
                     this);
}

void CRtspService::OnMediaFailed(GstRTSPMedia* media, const std::string& text)
{
    // The first error says why; those after it follow from it.
    if (g_object_get_data(G_OBJECT(media), FAILED_KEY))
        return;
    g_object_set_data(G_OBJECT(media), FAILED_KEY, media);
    m_log << text << "; its clients are disconnected\n" << std::flush;
    EndSessions(media);
}

void CRtspService::EndSessions(GstRTSPMedia* media)
{
    gst_rtsp_server_client_filter(
        m_pServer,
        [](GstRTSPServer*, GstRTSPClient* client, gpointer pMedia) {
            return !pMedia || ClientPlays(client, static_cast<GstRTSPMedia*>(pMedia)) ? GST_RTSP_FILTER_REMOVE
                                                                                      : GST_RTSP_FILTER_KEEP;
        },
        media);
    // Sessions over UDP outlive their connection: they go too, and with the
    // last of them the media, so that the next client tries the camera anew.
    GstRTSPSessionPool* pool = gst_rtsp_server_get_session_pool(m_pServer);
    gst_rtsp_session_pool_filter(
        pool,
        [](GstRTSPSessionPool*, GstRTSPSession* session, gpointer pMedia) {
            return !pMedia || SessionPlays(session, static_cast<GstRTSPMedia*>(pMedia)) ? GST_RTSP_FILTER_REMOVE
                                                                                        : GST_RTSP_FILTER_KEEP;
        },
        media);
    g_object_unref(pool);
}

void CRtspService::Run()
{
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    const auto quit = [](gpointer pLoop) -> gboolean {
        g_main_loop_quit(static_cast<GMainLoop*>(pLoop));
        return G_SOURCE_CONTINUE;
    };
    const guint nInterrupt = g_unix_signal_add(SIGINT, quit, loop);
    const guint nTerminate = g_unix_signal_add(SIGTERM, quit, loop);
    // Sessions of clients that vanished without a word end at their timeout.
    const guint nCleanup = g_timeout_add_seconds(
        SESSION_CLEANUP_SECONDS,
        [](gpointer pServer) -> gboolean {
            GstRTSPSessionPool* pool = gst_rtsp_server_get_session_pool(static_cast<GstRTSPServer*>(pServer));
            gst_rtsp_session_pool_cleanup(pool);
            g_object_unref(pool);
            return G_SOURCE_CONTINUE;
        },
        m_pServer);
    g_main_loop_run(loop);
    g_source_remove(nInterrupt);
    g_source_remove(nTerminate);
    g_source_remove(nCleanup);
    m_log << "stopping: closing every client\n" << std::flush;
    EndSessions(nullptr);  // which releases every camera
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    g_main_loop_unref(loop);
}

}  // namespace iidctool
