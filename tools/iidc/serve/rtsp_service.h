// The RTSP server of iidc serve: each camera's media at /<unique id> and at
// /<index>, one capture per camera shared by every client, optionally behind
// basic authentication and TLS. It logs clients joining, leaving and refused,
// and a camera whose stream fails ends the sessions of its clients.
#pragma once

#include <gst/rtsp-server/rtsp-server.h>

#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

namespace iidctool {

struct ServedCamera {
  int nIndex = 0;
  std::string uniqueId;  // empty when the camera gives none: served by index only
};

struct ServiceSettings {
  std::string address;
  int nPort = 0;  // 0: a free port
  std::string codec;
  int nBitrate = 0;  // kbit/s
  std::vector<std::pair<std::string, std::string>> users;  // user, password
  std::string certFile, keyFile;  // both or none
};

class CRtspService {
 public:
  // Listens at once; throws CToolError when it cannot (the port in use, a
  // certificate that cannot be read).
  CRtspService(const ServiceSettings& settings, const std::vector<ServedCamera>& cameras, std::ostream& log);
  ~CRtspService();
  CRtspService(const CRtspService&) = delete;
  CRtspService& operator=(const CRtspService&) = delete;

  // The URLs of each camera, as clients on this host write them.
  std::vector<std::string> Urls() const;
  // Serves until SIGINT or SIGTERM, then closes every client, which releases
  // every camera.
  void Run();

 private:
  void Release();
  void Mount(const ServedCamera& camera);
  void SetUpSecurity();
  void Listen();
  // media-configure of a camera's factory: frame stamps, sinks that send at
  // once, and a watch for the errors of the media's pipeline.
  static void ConfigureMedia(GstRTSPMediaFactory* factory, GstRTSPMedia* media, gpointer pService);
  static GstBusSyncReply WatchMedia(GstBus* bus, GstMessage* message, gpointer pWatch);
  void OnClient(GstRTSPClient* client);
  void OnMediaFailed(GstRTSPMedia* media, const std::string& text);
  // Closes the clients of media (every client when null) and ends their sessions.
  void EndSessions(GstRTSPMedia* media);

  const ServiceSettings m_settings;
  const std::vector<ServedCamera> m_cameras;
  std::ostream& m_log;
  GstRTSPServer* m_pServer = nullptr;
  GstRTSPAuth* m_pAuth = nullptr;
  guint m_nSource = 0;
  int m_nPort = 0;
};

}  // namespace iidctool
