// iidcsrc streamed over RTP on the loopback interface: one pipeline sends a
// YUV 4:2:2 camera's frames (rtpvrawpay, udpsink), another receives them
// (udpsrc, rtpvrawdepay) into an appsink, and each arrives byte for byte.
#include "gst_fixture.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

namespace {

using RtpTest = CGstTest;

TEST_F(RtpTest, AHundredFramesCrossTheLoopbackUnchanged) {
  GstElement* receiver = Launch(
      "udpsrc name=udp address=127.0.0.1 port=0 buffer-size=4194304 caps=\"application/x-rtp,media=video,"
      "clock-rate=90000,encoding-name=RAW,sampling=YCbCr-4:2:2,depth=(string)8,width=(string)320,"
      "height=(string)240,payload=96\" ! rtpvrawdepay ! appsink name=sink sync=false");
  ASSERT_NE(gst_element_set_state(receiver, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  GSocket* socket = nullptr;
  g_object_get(Child(receiver, "udp"), "used-socket", &socket, nullptr);
  ASSERT_NE(socket, nullptr);
  GSocketAddress* address = g_socket_get_local_address(socket, nullptr);
  const guint16 nPort = g_inet_socket_address_get_port(G_INET_SOCKET_ADDRESS(address));
  g_object_unref(address), g_object_unref(socket);

  GstElement* sender = Launch("iidcsrc ! video/x-raw,format=UYVY,width=320,height=240 ! tee name=t ! queue ! "
                              "rtpvrawpay pt=96 ! udpsink host=127.0.0.1 sync=false port=" + std::to_string(nPort) +
                              " t. ! queue ! appsink name=sent sync=false");
  ASSERT_NE(gst_element_set_state(sender, GST_STATE_PLAYING), GST_STATE_CHANGE_FAILURE);
  // One frame at a time, so that the socket never holds more than one.
  for (int i = 0; i < 100; ++i) {
    m_clocks[0]->Step(1);
    SamplePtr sent = Pull(sender, "sent"), received = Pull(receiver);
    ASSERT_TRUE(sent && received) << "frame " << i;
    ASSERT_EQ(Bytes(sent.get()).size(), 320u * 240 * 2);
    ASSERT_TRUE(Bytes(sent.get()) == Bytes(received.get())) << "frame " << i;
  }
}

}  // namespace
