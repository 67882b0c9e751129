// iidc serve as a program on the loopback interface, watched by GStreamer
// clients: frames that match the cameras' pattern for two clients of one
// capture, a client leaving, a camera lost, credentials refused over TLS, and
// the command's bad inputs.
#include <gst/app/gstappsink.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "exit_status.h"
#include "frame_stamp.h"
#include "tool.h"
#include "vcam/model/pattern.h"

namespace {

using SamplePtr = std::unique_ptr<GstSample, decltype(&gst_sample_unref)>;

// The program serving: its first camera's URL, its log in a file; stopped with SIGINT.
class CServer {
 public:
  explicit CServer(const std::string& arguments, const std::string& environment = "")
  {
      const std::string command = "exec env " + environment + " " + IIDC_CLI_PATH + " serve --port 0 " + arguments
                                  + " 2>" + m_log;
      int fds[2];
      if (pipe(fds) == 0 && (m_pid = fork()) == 0) {
          dup2(fds[1], STDOUT_FILENO);
          execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
          _exit(127);
      }
      pollfd ready{fds[0], POLLIN, 0};
      char szLine[512] = {};
      close(fds[1]);
      if (poll(&ready, 1, 15000) == 1 && read(fds[0], szLine, sizeof szLine - 1) > 0)
          m_url = std::string(szLine).substr(0, std::string(szLine).find(' '));
      close(fds[0]);
  }
  ~CServer() { Stop(); }

  // The URL of camera 0 by index; empty when the server did not start.
  const std::string& Url() const { return m_url; }
  std::string Log() const { return (std::stringstream() << std::ifstream(m_log).rdbuf()).str(); }
  // The exit status after SIGINT (SIGKILL after five seconds); -1 the second time.
  int Stop()
  {
      if (m_pid <= 0 || kill(m_pid, SIGINT) != 0)
          return -1;
      int nWait = 0;
      for (int i = 0; i < 500 && waitpid(m_pid, &nWait, WNOHANG) == 0; ++i)
          usleep(10000), i == 499 && kill(m_pid, SIGKILL) == 0 && waitpid(m_pid, &nWait, 0);
      m_pid = -1;
      return WIFEXITED(nWait) ? WEXITSTATUS(nWait) : -1;
  }

 private:
  std::string m_log = "/tmp/iidc-serve-test-" + std::to_string(getpid()) + "-" + std::to_string(rand()) + ".log";
  pid_t m_pid = -1;
  std::string m_url;
};

// rtspsrc over TCP, chain (with a depayloader "depay" whose frame stamps are kept), an appsink.
class CClient {
 public:
  CClient(const std::string& url, const std::string& chain, const std::string& credentials = "")
      : m_pPipeline(gst_parse_launch(("rtspsrc location=" + url + " protocols=tcp tls-validation-flags=0 latency=0 "
                                      + credentials + " ! " + chain + " ! appsink name=sink sync=false max-buffers=1 drop=true")
                                         .c_str(),
                                     nullptr))
  {
      for (const auto& [pszElement, probe] : {std::pair{"depay", &OnPacket}, std::pair{"sink", &OnFrame}}) {
          GstElement* element = gst_bin_get_by_name(GST_BIN(m_pPipeline), pszElement);
          GstPad* pad = gst_element_get_static_pad(element, "sink");
          gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, probe, this, nullptr);
          gst_object_unref(pad), gst_object_unref(element);
      }
      gst_element_set_state(m_pPipeline, GST_STATE_PLAYING);
  }
  ~CClient()
  {
      gst_element_set_state(m_pPipeline, GST_STATE_NULL);
      gst_object_unref(m_pPipeline);
  }

  // The next frame, with the number of the last packet before it as offset; null after a few seconds.
  SamplePtr Pull()
  {
      GstElement* sink = gst_bin_get_by_name(GST_BIN(m_pPipeline), "sink");
      gst_object_unref(sink);  // the pipeline keeps it
      return {gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 5 * GST_SECOND), gst_sample_unref};
  }
  // The text of the error or warning that ended the stream within a few seconds, or nothing.
  std::string End() const
  {
      GstBus* bus = gst_element_get_bus(m_pPipeline);
      GstMessage* message = gst_bus_timed_pop_filtered(bus, 8 * GST_SECOND, GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_WARNING));
      GError* error = nullptr;
      if (message)
          (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR ? gst_message_parse_error : gst_message_parse_warning)(message, &error, nullptr), gst_message_unref(message);
      const std::string text = error ? error->message : "";
      g_clear_error(&error), gst_object_unref(bus);
      return text;
  }

 private:
  // Depayloader and appsink run on one thread: the frame is the last packets'.
  static GstPadProbeReturn OnFrame(GstPad*, GstPadProbeInfo* info, gpointer p)
  {
      GstBuffer* buffer = gst_buffer_make_writable(gst_pad_probe_info_get_buffer(info));
      GST_BUFFER_OFFSET(buffer) = static_cast<CClient*>(p)->m_nLast;
      GST_PAD_PROBE_INFO_DATA(info) = buffer;
      return GST_PAD_PROBE_OK;
  }

  static GstPadProbeReturn OnPacket(GstPad*, GstPadProbeInfo* info, gpointer p)
  {
      auto* pClient = static_cast<CClient*>(p);
      if (const auto stamp = iidctool::ReadFrameStamp(gst_pad_probe_info_get_buffer(info))) {
          EXPECT_GE(stamp->nNumber, pClient->m_nLast);
          pClient->m_nLast = stamp->nNumber;
      }
      return GST_PAD_PROBE_OK;
  }

  GstElement* m_pPipeline;
  std::atomic<uint64_t> m_nLast{0};
};

// A UYVY frame as it arrived, and the number it came with.
struct FRAME_RECEIVED {
  std::vector<uint8_t> bytes;
  int nWidth = 0, nHeight = 0;
  uint64_t nNumber = 0;
};

FRAME_RECEIVED Received(GstSample* sample)
{
    GstVideoInfo info;
    gst_video_info_from_caps(&info, gst_sample_get_caps(sample));
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    FRAME_RECEIVED frame{std::vector<uint8_t>(gst_buffer_get_size(buffer)), info.width, info.height, GST_BUFFER_OFFSET(buffer)};
    gst_buffer_extract(buffer, 0, frame.bytes.data(), frame.bytes.size());
    if (frame.bytes.size() != info.size)
        frame.bytes.clear();
    return frame;
}

// The camera's own count of the frame, in its first four bytes (lost by a
// lossy codec).
uint32_t SequenceOf(const FRAME_RECEIVED& frame)
{
    uint32_t nSequence = 0;
    for (std::size_t i = 0; i < 4 && i < frame.bytes.size(); ++i)
        nSequence |= uint32_t(frame.bytes[i]) << (8 * i);
    return nSequence;
}

// The mean difference of a frame from the pattern's frame nSequence.
double PatternDistance(const FRAME_RECEIVED& frame, uint32_t nSequence)
{
    std::vector<uint8_t> pattern(frame.bytes.size());
    vcam::DrawTestPattern(2, uint32_t(frame.nWidth), uint32_t(frame.nHeight), nSequence, pattern);
    double fSum = 0;
    for (std::size_t i = 0; i < frame.bytes.size(); ++i)
        fSum += std::abs(int(frame.bytes[i]) - int(pattern[i]));
    return frame.bytes.empty() ? 1e9 : fSum / double(frame.bytes.size());
}

class ServeTest : public ::testing::Test {
 protected:
  // Plugins scanned here, once, for the servers too: GStreamer's scanner cannot load a sanitized plugin.
  static void SetUpTestSuite()
  {
      setenv("GST_PLUGIN_PATH", IIDC_GST_PLUGIN_DIR, 1);
      setenv("GST_REGISTRY_FORK", "no", 1);
      setenv("GST_REGISTRY", (testing::TempDir() + "iidc-serve-registry.bin").c_str(), 1);
      gst_init(nullptr, nullptr);
  }
};

// Two clients of one capture, by index and by unique id; the first leaves and
// the second goes on.
TEST_F(ServeTest, TwoClientsSeeThePatternAndOneLeaves)
{
    const struct { const char* pszCodec; const char* pszChain; double fTolerance; } cases[] = {
        {"raw", "rtpvrawdepay name=depay", 0},
        {"jpeg", "rtpjpegdepay name=depay ! jpegdec ! videoconvert ! video/x-raw,format=UYVY", 2},
        {"h264", "rtph264depay name=depay ! avdec_h264 max-threads=1 output-corrupt=false ! videoconvert ! video/x-raw,format=UYVY", 3},
    };
    for (const auto& c : cases) {
        CServer server(std::string("-c 0 --codec ") + c.pszCodec);
        ASSERT_FALSE(server.Url().empty()) << server.Log();
        auto pFirst = std::make_unique<CClient>(server.Url(), c.pszChain);
        CClient second(server.Url().substr(0, server.Url().rfind('/')) + "/0100000001", c.pszChain);
        // A client that joins a raw stream mid-frame gets the rest of that frame.
        ASSERT_TRUE(pFirst->Pull() && second.Pull()) << c.pszCodec << server.Log();
        // Raw frames keep the camera's count: each is its pattern exactly, and
        // the number it came with keeps one distance from that count (the
        // library's numbering starts where the capture did). A lossy frame is
        // the pattern of one of the frames up to the number it came with (a
        // decoder may hold frames back while later packets arrive).
        std::optional<uint64_t> nDistance;
        for (int i = 0; i < 6; ++i) {
            CClient* pClient = i % 2 ? &second : pFirst.get();
            const SamplePtr sample = pClient->Pull();
            ASSERT_TRUE(sample) << c.pszCodec << server.Log();
            const FRAME_RECEIVED frame = Received(sample.get());
            const bool bExact = c.fTolerance == 0;
            double fDistance = 1e9;
            for (uint64_t n = frame.nNumber; !bExact && n + 8 > frame.nNumber; --n)
                fDistance = std::min(fDistance, PatternDistance(frame, uint32_t(n)));
            const uint32_t nSequence = bExact ? SequenceOf(frame) : uint32_t(frame.nNumber);
            EXPECT_LE(bExact ? PatternDistance(frame, nSequence) : fDistance, c.fTolerance) << c.pszCodec;
            if (bExact) {
                EXPECT_EQ(frame.nNumber - nSequence, nDistance.value_or(frame.nNumber - nSequence));
            }
            nDistance = frame.nNumber - nSequence;
        }
        pFirst.reset();
        for (int i = 0; i < 5; ++i)
            ASSERT_TRUE(second.Pull()) << c.pszCodec << " after the first client left";
        EXPECT_EQ(server.Stop(), iidctool::EXIT_OK) << server.Log();
        EXPECT_NE(server.Log().find("client 127.0.0.1 left"), std::string::npos) << server.Log();
    }
}

// Over TLS when openssl can make a certificate: refusals while an
// authorised client streams.
TEST_F(ServeTest, ClientsWithoutValidCredentialsAreRefused)
{
    const std::string dir = testing::TempDir(), tls = "--cert " + dir + "cert.pem --key " + dir + "key.pem";
    const bool bTls = std::system(("openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=localhost -days 1 -keyout " +
                                   dir + "key.pem -out " + dir + "cert.pem 2>/dev/null").c_str()) == 0;
    std::cerr << (bTls ? "" : "openssl is not installed: credentials tested without TLS\n");
    CServer server("-c 0 --codec jpeg --auth ann:secret " + (bTls ? tls : ""));
    ASSERT_EQ(server.Url().rfind(bTls ? "rtsps://" : "rtsp://", 0), 0u) << server.Url() << server.Log();
    CClient authorised(server.Url(), "rtpjpegdepay name=depay", "user-id=ann user-pw=secret");
    ASSERT_TRUE(authorised.Pull()) << server.Log();
    for (const auto& [pszCredentials, pszLogged] : {std::pair{"", "no"}, std::pair{"user-id=ann user-pw=wrong", "wrong"}}) {
        CClient refused(server.Url(), "rtpjpegdepay name=depay", pszCredentials);
        EXPECT_NE(refused.End().find("Unauthorized"), std::string::npos) << pszCredentials;
        EXPECT_NE(server.Log().find(std::string("refused (401): ") + pszLogged), std::string::npos) << server.Log();
        EXPECT_TRUE(authorised.Pull());
    }
}

// Camera 1 is lost after a second or so of streaming; camera 0 goes on.
TEST_F(ServeTest, ALostCameraEndsItsStreamOnly)
{
    const std::string profile = testing::TempDir() + "serve-loss.json";
    std::ofstream(profile) << R"({"cameras": [)"
        R"({"friendlyName": "A", "vendor": "V", "model": "A", "uniqueId": "0x0000010000000011", "modes": [{"format": 0, "mode": 1, "rates": [30]}]},)"
        R"({"friendlyName": "B", "vendor": "V", "model": "B", "uniqueId": "0x0000010000000012", "modes": [{"format": 0, "mode": 1, "rates": [30]}], "faults": {"unplugAfter": 40}}]})";
    CServer server("--codec raw", "IIDC_VCAM_PROFILE=" + profile);
    ASSERT_FALSE(server.Url().empty()) << server.Log();
    const std::string url = server.Url().substr(0, server.Url().rfind('/'));
    CClient steady(url + "/0", "rtpvrawdepay name=depay"), lost(url + "/1", "rtpvrawdepay name=depay");
    ASSERT_TRUE(lost.Pull()) << server.Log();
    EXPECT_FALSE(lost.End().empty()) << server.Log();
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(steady.Pull()) << server.Log();
    EXPECT_NE(server.Log().find("camera 1 ("), std::string::npos) << server.Log();
    EXPECT_EQ(server.Stop(), iidctool::EXIT_OK) << server.Log();
}

// In-process: each bad command line ends before anything is served.
TEST_F(ServeTest, BadInputsGiveTheirStatus)
{
    const CServer holder("-c 1");  // holds a port
    const std::string url = holder.Url(), missing = testing::TempDir() + "missing";
    const std::string busyPort = url.substr(url.rfind(':') + 1, url.rfind('/') - url.rfind(':') - 1);
    std::ofstream(testing::TempDir() + "viewers") << "# nobody\n\nann\n";
    const struct { std::vector<std::string> args; int nStatus; const char* pszText; } cases[] = {
        {{"--port", "70000"}, iidctool::EXIT_BAD_ARGUMENTS, "--port 70000"},
        {{"--port", busyPort}, iidctool::EXIT_FAILED, "cannot listen"},
        {{"--codec", "vp9"}, iidctool::EXIT_BAD_ARGUMENTS, "--codec"},
        {{"--bitrate", "0"}, iidctool::EXIT_BAD_ARGUMENTS, "--bitrate"},
        {{"-c", "7"}, iidctool::EXIT_NO_CAMERA, "no camera 7"},
        {{"--features", "gain=loud"}, iidctool::EXIT_BAD_ARGUMENTS, "gain"},
        {{"--auth", "ann"}, iidctool::EXIT_BAD_ARGUMENTS, "USER:PASSWORD"},
        {{"--auth", "ann:"}, iidctool::EXIT_BAD_ARGUMENTS, "USER:PASSWORD"},
        {{"--auth-file", missing}, iidctool::EXIT_BAD_ARGUMENTS, "cannot read"},
        {{"--auth-file", testing::TempDir() + "viewers"}, iidctool::EXIT_BAD_ARGUMENTS, "viewers line 3"},
        {{"--cert", missing}, iidctool::EXIT_BAD_ARGUMENTS, "--cert and --key"},
        {{"--port", "0", "--cert", missing, "--key", missing}, iidctool::EXIT_BAD_ARGUMENTS, "PEM"},
    };
    for (const auto& c : cases) {
        std::ostringstream out, err;
        iidctool::ToolContext context{out, err, false, {}};
        std::vector<std::string> args{"serve"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        if (std::find(args.begin(), args.end(), "--port") == args.end())  // no serving should the input pass
            args.insert(args.end(), {"--port", busyPort});
        EXPECT_EQ(iidctool::RunTool(args, context), c.nStatus) << c.args.back() << ": " << err.str();
        EXPECT_NE(err.str().find(c.pszText), std::string::npos) << err.str();
    }
}

}  // namespace

// The servers this program starts are leak-checked as they exit; the program
// itself, a GStreamer client, leaves without the check: LeakSanitizer's scan
// at exit can crash on the thread-local storage of the TLS threads GLib keeps.
int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    const int nResult = RUN_ALL_TESTS();
    std::fflush(nullptr);
    _exit(nResult);
}
