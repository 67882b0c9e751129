// Frame-buffer rings, capture and its states, waits, frame access and
// conversion, transfer figures, and close and reopen, on the built-in camera
// pair running on real time.
#include <algorithm>
#include <thread>
#include <vector>

#include "behaviour_fixture.h"

using namespace behaviour;

namespace {

class BehaviourCaptureTest : public BehaviourTest {};

constexpr unsigned char UNTOUCHED = 0xA5;

using Buffers = std::vector<std::vector<unsigned char>>;

Buffers CallerBuffers(size_t n, size_t cb) { return Buffers(n, std::vector<unsigned char>(cb, UNTOUCHED)); }

bool Untouched(const std::vector<unsigned char>& buffer) {
  return std::all_of(buffer.begin(), buffer.end(), [](unsigned char b) { return b == UNTOUCHED; });
}

// A 640 x 480 YUV422 frame of the colour camera: a few pixel pairs of the
// pattern (U Y0 V Y1, chroma of the pair's first pixel), away from the
// sequence number in bytes 0-3.
void ExpectVgaYuv422Frame(const unsigned char* pFrame, uint32_t nSequence) {
  const std::pair<uint32_t, uint32_t> pairs[] = {{2, 0}, {16, 1}, {36, 7}, {320, 240}, {638, 479}};
  for (const auto& [x, y] : pairs) {
    const unsigned char* p = pFrame + (static_cast<size_t>(y) * VGA_WIDTH + x) * 2;
    const Yuv first = PatternAt(x, y, nSequence);
    const Yuv second = PatternAt(x + 1, y, nSequence);
    EXPECT_EQ(p[0], first.u) << "U at " << x << "," << y;
    EXPECT_EQ(p[1], first.y) << "Y at " << x << "," << y;
    EXPECT_EQ(p[2], first.v) << "V at " << x << "," << y;
    EXPECT_EQ(p[3], second.y) << "Y at " << x + 1 << "," << y;
  }
}

TEST_F(BehaviourCaptureTest, RingOfCallerBuffersTakesPointersAndGivesThemBack) {
  iidc_handle h = Open(COLOR_CAMERA);
  ASSERT_NE(h, nullptr);
  ASSERT_TRUE(iidc_preparecapture(h));
  m_open[h] = Ring::Caller;
  Buffers buffers = CallerBuffers(3, VGA_YUV422_BYTES);
  unsigned char* pointers[3] = {buffers[0].data(), nullptr, buffers[2].data()};

  // A null entry ends the ring, though every pointer of the array is taken.
  EXPECT_EQ(iidc_attachbuffer(h, pointers, sizeof pointers), 3);
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_READY);
  EXPECT_EQ(iidc_getframecount(h), 1u);
  EXPECT_EQ(iidc_attachbuffer(h, pointers, sizeof pointers), 0);
  EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), IIDC_ERR_NOT_PREPARED);
  EXPECT_TRUE(iidc_releasebuffer(h));
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_PREPARED);
  EXPECT_EQ(iidc_getframecount(h), 0u);
  EXPECT_TRUE(iidc_releasebuffer(h)) << "nothing to do";

  // Whole pointers only.
  pointers[1] = buffers[1].data();
  EXPECT_EQ(iidc_attachbuffer(h, pointers, static_cast<int32_t>(2 * sizeof(unsigned char*) + 3)), 2);
  EXPECT_EQ(iidc_getframecount(h), 2u);
  ASSERT_TRUE(iidc_capture(h, 0));
  EXPECT_TRUE(iidc_releasebuffer(h));
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_PREPARED);

  // The frame stays in the caller's buffer after the ring is gone.
  EXPECT_TRUE(Untouched(buffers[0]));
  EXPECT_EQ(FrameSequence(buffers[1].data()), 0u);
  ExpectVgaYuv422Frame(buffers[1].data(), 0);
  EXPECT_TRUE(Untouched(buffers[2]));
}

TEST_F(BehaviourCaptureTest, RepeatedSingleFramesEachDeliverOneNewFrame) {
  iidc_handle h = Open(COLOR_CAMERA);
  ASSERT_NE(h, nullptr);
  Buffers buffers = CallerBuffers(3, VGA_YUV422_BYTES);
  ASSERT_TRUE(PrepareWithBuffers(h, buffers));

  const iidc_waitinfo shortWait{IIDC_WAIT_FRAME, 200};
  for (int nCapture = 0; nCapture < 4; ++nCapture) {
    SCOPED_TRACE(nCapture);
    for (auto& buffer : buffers) std::fill(buffer.begin(), buffer.end(), UNTOUCHED);

    // Each capture starts its own stream and a fresh ring position: its one
    // frame is the stream's first and lands in buffer 1.
    ASSERT_TRUE(iidc_capture(h, 0)) << std::hex << iidc_getlasterror(COLOR_CAMERA);
    EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_READY);
    iidc_transferinfo info{-1, -1};
    ASSERT_EQ(iidc_gettransferinfo(h, &info, sizeof info), 1);
    EXPECT_EQ(info.lastbuffer, 1);
    EXPECT_LE(info.framecount, 1);
    EXPECT_TRUE(Untouched(buffers[0]));
    EXPECT_FALSE(Untouched(buffers[1]));
    EXPECT_TRUE(Untouched(buffers[2]));
    EXPECT_EQ(FrameSequence(buffers[1].data()), 0u);
    ExpectVgaYuv422Frame(buffers[1].data(), 0);

    // Nothing follows once the call has returned.
    EXPECT_NE(iidc_wait(h, &shortWait, 0), nullptr) << "a time-out returns the event too";
    EXPECT_TRUE(Untouched(buffers[0]));
    EXPECT_TRUE(Untouched(buffers[2]));
    EXPECT_EQ(FrameSequence(buffers[1].data()), 0u);
  }

  // A continuous capture follows on the same ring.
  ASSERT_TRUE(iidc_capture(h, 1));
  EXPECT_TRUE(WaitForFramesBeyond(h, 1));
  EXPECT_TRUE(iidc_idle(h));
  EXPECT_TRUE(iidc_releasebuffer(h));
}

TEST_F(BehaviourCaptureTest, ContinuousFramesCarryRisingSequenceNumbers) {
  iidc_handle h = Open(COLOR_CAMERA);
  ASSERT_NE(h, nullptr);
  ASSERT_TRUE(PrepareWithFrames(h, 4));
  ASSERT_TRUE(iidc_capture(h, 1));

  uint32_t nLast = 0;
  int32_t nDelivered = 0;
  for (int nRound = 0; nRound < 3; ++nRound) {
    SCOPED_TRACE(nRound);
    ASSERT_TRUE(WaitForFramesBeyond(h, nDelivered)) << "no frame within the wait";
    nDelivered = FramesDelivered(h);
    const unsigned char* pFrame = iidc_lockdata(h, -1);
    ASSERT_NE(pFrame, nullptr);
    const uint32_t nSequence = FrameSequence(pFrame);
    if (nRound > 0) {
      EXPECT_GT(nSequence, nLast);
    }
    ExpectVgaYuv422Frame(pFrame, nSequence);
    nLast = nSequence;
    iidc_unlockdata(h);
  }

  iidc_transferinfo info{-1, -1};
  ASSERT_EQ(iidc_gettransferinfo(h, &info, sizeof info), 1);
  EXPECT_GE(info.framecount, 3);
  EXPECT_GE(info.lastbuffer, 0);
  EXPECT_LT(info.lastbuffer, 4);
  EXPECT_TRUE(iidc_idle(h));
  EXPECT_TRUE(iidc_freeframe(h));
}

TEST_F(BehaviourCaptureTest, LockDataAndLockBitsOfASingleColourFrame) {
  iidc_handle h = Open(COLOR_CAMERA);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(iidc_getbits(h), 0u);
  EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), IIDC_ERR_NOT_SUPPORTED);
  EXPECT_EQ(iidc_getbitslutrange(h, 0, 255), 0u);
  EXPECT_EQ(iidc_setbitslutrange(h, 0, 255), 0u);
  EXPECT_EQ(iidc_lockdata(h, -1), nullptr) << "no ring";
  EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), IIDC_ERR_NO_FRAMES);

  ASSERT_TRUE(PrepareWithFrames(h, 3));
  ASSERT_TRUE(iidc_capture(h, 0));

  unsigned char* pFrame = iidc_lockdata(h, -1);
  ASSERT_NE(pFrame, nullptr);
  EXPECT_EQ(iidc_lockdata(h, 1), pFrame) << "the single frame is in buffer 1";
  EXPECT_EQ(FrameSequence(pFrame), 0u);
  ExpectVgaYuv422Frame(pFrame, 0);
  const uint32_t before = iidc_getlasterror(COLOR_CAMERA);
  EXPECT_EQ(iidc_lockdata(h, 3), nullptr) << "one past the ring";
  EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), before) << "records nothing";
  unsigned char* pBuffer0 = iidc_lockdata(h, 0);
  EXPECT_NE(pBuffer0, nullptr);
  EXPECT_NE(pBuffer0, pFrame);
  iidc_unlockdata(h);

  // 24-bit BGR, bottom-up, of the whole 640 x 480 picture, by the
  // floating-point formula (this model is not one of the integer ones).
  const unsigned char* pImage = iidc_lockbits(h, 1);
  ASSERT_NE(pImage, nullptr);
  const std::pair<int32_t, int32_t> pixels[] = {{2, 0},    {3, 0},     {639, 0},   {16, 1}, {17, 1},
                                                {40, 100}, {100, 240}, {333, 401}, {0, 479}, {639, 479}};
  for (const auto& [x, y] : pixels) {
    const Yuv luma = PatternAt(static_cast<uint32_t>(x), static_cast<uint32_t>(y), 0);
    const Yuv chroma = PatternAt(static_cast<uint32_t>(x & ~1), static_cast<uint32_t>(y), 0);
    EXPECT_EQ(ImagePixel(pImage, VGA_WIDTH, VGA_HEIGHT, x, y), FloatBgr({luma.y, chroma.u, chroma.v}))
        << "pixel " << x << "," << y;
  }
  iidc_unlockbits(h);
  EXPECT_EQ(iidc_lockbits(h, 3), nullptr);

  EXPECT_TRUE(iidc_idle(h));
  const uint32_t idle = iidc_getlasterror(-1);
  iidc_unlockdata(h);
  iidc_unlockbits(h);
  EXPECT_EQ(iidc_getlasterror(-1), idle) << "nothing to unlock, nothing recorded";
  EXPECT_TRUE(iidc_freeframe(h));
  EXPECT_EQ(iidc_lockbits(h, -1), nullptr);
  EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), IIDC_ERR_NO_FRAMES);
}

TEST_F(BehaviourCaptureTest, LockBitsConvertsEveryCodingOfTheColourCamera) {
  iidc_handle h = Open(COLOR_CAMERA);
  ASSERT_NE(h, nullptr);
  CFinally restore([h] { iidc_setformat(h, COLOR_INITIAL_ID); });
  struct Mode {
    uint32_t id;
    int32_t nWidth, nHeight, cbFrame;
    uint32_t dwChromaMask;  // pixels sharing one U, V pair
  };
  const Mode modes[] = {{ListedId(0, 0, IIDC_COLOR_YUV444), 160, 120, 160 * 120 * 3, ~0u},
                        {ListedId(0, 2, IIDC_COLOR_YUV411), 640, 480, 640 * 480 * 3 / 2, ~3u},
                        {ListedId(0, 1, IIDC_COLOR_YUV422), 320, 240, 320 * 240 * 2, ~1u},
                        {ListedId(1, 2, IIDC_COLOR_MONO8), 800, 600, 800 * 600, 0}};
  for (const Mode& mode : modes) {
    SCOPED_TRACE(mode.nWidth);
    ASSERT_TRUE(iidc_setformat(h, mode.id));
    ASSERT_TRUE(PrepareWithFrames(h, 2));
    EXPECT_EQ(iidc_currentdataframebytes(h), mode.cbFrame);
    ASSERT_TRUE(iidc_capture(h, 0));
    const unsigned char* pImage = iidc_lockbits(h, -1);
    ASSERT_NE(pImage, nullptr);
    const int32_t xLast = mode.nWidth - 1;
    const int32_t yLast = mode.nHeight - 1;
    const std::pair<int32_t, int32_t> pixels[] = {{8, 0},     {xLast, 0},        {5, 1},    {19, 1},
                                                  {50, 77},   {xLast - 2, 100}, {0, yLast}, {xLast, yLast}};
    for (const auto& [x, y] : pixels) {
      const Yuv luma = PatternAt(static_cast<uint32_t>(x), static_cast<uint32_t>(y), 0);
      const Yuv chroma = PatternAt(static_cast<uint32_t>(x) & mode.dwChromaMask, static_cast<uint32_t>(y), 0);
      const uint32_t expected = mode.dwChromaMask == 0 ? uint32_t{luma.y} * 0x010101u
                                                       : FloatBgr({luma.y, chroma.u, chroma.v});
      EXPECT_EQ(ImagePixel(pImage, mode.nWidth, mode.nHeight, x, y), expected) << "pixel " << x << "," << y;
    }
    iidc_unlockbits(h);
    EXPECT_TRUE(iidc_idle(h));
    EXPECT_TRUE(iidc_freeframe(h));
  }
}

TEST_F(BehaviourCaptureTest, LockBitsRefusesRgbFramesButKeepsThemLocked) {
  iidc_handle h = Open(COLOR_CAMERA);
  ASSERT_NE(h, nullptr);
  CFinally restore([h] { iidc_setformat(h, COLOR_INITIAL_ID); });
  ASSERT_TRUE(iidc_setformat(h, ListedId(0, 4, IIDC_COLOR_RGB8)));
  ASSERT_TRUE(PrepareWithFrames(h, 2));
  EXPECT_EQ(iidc_currentdataframebytes(h), VGA_WIDTH * VGA_HEIGHT * 3);
  ASSERT_TRUE(iidc_capture(h, 1));
  ASSERT_TRUE(WaitForFramesBeyond(h, 2)) << "both buffers hold a frame";

  const uint32_t before = iidc_getlasterror(-1);
  EXPECT_EQ(iidc_lockbits(h, -1), nullptr);
  EXPECT_EQ(iidc_getlasterror(-1), before) << "no code for a coding it does not convert";

  // The frame stays locked all the same: buffer 0 is left alone while frames
  // arrive, until it is unlocked. Its raw frame is R G B per pixel.
  const unsigned char* pFrame = iidc_lockdata(h, 0);
  ASSERT_NE(pFrame, nullptr);
  iidc_unlockdata(h);
  ASSERT_EQ(iidc_lockbits(h, 0), nullptr);
  EXPECT_EQ(iidc_lockdata(h, 2), nullptr) << "past the ring: the lock stays";
  const uint32_t nLocked = FrameSequence(pFrame);
  ASSERT_TRUE(WaitForFramesBeyond(h, FramesDelivered(h) + 2));
  EXPECT_EQ(FrameSequence(pFrame), nLocked);
  const unsigned char* p = pFrame + (VGA_WIDTH + 16) * 3;
  const uint8_t luma = PatternAt(16, 1, nLocked).y;
  EXPECT_EQ(p[0], luma);
  EXPECT_EQ(p[1], 48) << "green is the bar: 32 x 1 + 16";
  EXPECT_EQ(p[2], 255 - luma);

  iidc_unlockbits(h);
  ASSERT_TRUE(WaitForFramesBeyond(h, FramesDelivered(h) + 2));
  EXPECT_NE(FrameSequence(pFrame), nLocked);
  EXPECT_TRUE(iidc_idle(h));
  EXPECT_TRUE(iidc_freeframe(h));
}

TEST_F(BehaviourCaptureTest, TransferFiguresFollowTheGraph) {
  iidc_handle hColor = Open(COLOR_CAMERA);
  iidc_handle hMono = Open(MONO_CAMERA);
  ASSERT_NE(hColor, nullptr);
  ASSERT_NE(hMono, nullptr);

  // Without a capture graph there is neither a frame size nor a counter.
  EXPECT_EQ(iidc_currentdataframebytes(hColor), 0);
  EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), IIDC_ERR_FORMAT_UNAVAILABLE);
  iidc_transferinfo info{-7, -7};
  EXPECT_EQ(iidc_gettransferinfo(hColor, &info, sizeof info), 0);
  EXPECT_EQ(info.framecount, -7);
  EXPECT_EQ(info.lastbuffer, -7);
  iidc1394_isotransmissioninfo iso{};
  EXPECT_EQ(iidc1394_currentisotransmissioninfo(hColor, &iso), 0);
  EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), IIDC_ERR_NOT_CAPTURING);

  ASSERT_TRUE(PrepareWithFrames(hColor, 3));
  ASSERT_TRUE(PrepareWithFrames(hMono, 3));
  EXPECT_EQ(iidc_currentdataframebytes(hColor), VGA_YUV422_BYTES);
  EXPECT_EQ(iidc_currentdataframebytes(hMono), VGA_MONO8_BYTES);
  EXPECT_EQ(iidc1394_currentisotransmissioninfo(hMono, &iso), 0) << "ready is not capturing";
  EXPECT_EQ(iidc_getlasterror(MONO_CAMERA), IIDC_ERR_NOT_CAPTURING);

  // Channel 0; quadlets per packet of the mode at 30 frames per second.
  // Cameras sharing one bus each take a channel of their own, the lowest
  // free one, in the order they start.
  ASSERT_TRUE(iidc_capture(hColor, 1));
  ASSERT_TRUE(iidc_capture(hMono, 1));
  iso = iidc1394_isotransmissioninfo{0xEE, 0xEE, 0xEEEE};
  ASSERT_EQ(iidc1394_currentisotransmissioninfo(hColor, &iso), 4);
  EXPECT_EQ(iso.channel, 0);
  EXPECT_EQ(iso.packetsize, 640);
  ASSERT_EQ(iidc1394_currentisotransmissioninfo(hMono, &iso), 4);
  EXPECT_EQ(iso.channel, OnTheBus() ? 1 : 0);
  EXPECT_EQ(iso.packetsize, 320);

  EXPECT_TRUE(WaitForFramesBeyond(hColor, 2));
  EXPECT_TRUE(WaitForFramesBeyond(hMono, 2));
  ASSERT_EQ(iidc_gettransferinfo(hMono, &info, sizeof info), 1);
  EXPECT_GE(info.framecount, 3);
  EXPECT_GE(info.lastbuffer, 0);
  EXPECT_LT(info.lastbuffer, 3);

  EXPECT_TRUE(iidc_idle(hColor));
  EXPECT_TRUE(iidc_idle(hMono));
  EXPECT_EQ(iidc1394_currentisotransmissioninfo(hColor, &iso), 0);
  EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), IIDC_ERR_NOT_CAPTURING);
  EXPECT_TRUE(iidc_freeframe(hColor));
  EXPECT_TRUE(iidc_freeframe(hMono));
}

TEST_F(BehaviourCaptureTest, FrameAndRingWaits) {
  iidc_handle h = Open(COLOR_CAMERA);
  ASSERT_NE(h, nullptr);
  ASSERT_TRUE(PrepareWithFrames(h, 3));

  const uint32_t before = iidc_getlasterror(-1);
  const iidc_waitinfo noKind{3, WAIT_MS};
  EXPECT_EQ(iidc_wait(h, &noKind, 0), nullptr);
  EXPECT_EQ(iidc_getlasterror(-1), before) << "not a wait: nothing recorded";

  // Without frames, a wait ends by its time-out and still names its event.
  const iidc_waitinfo frameNow{IIDC_WAIT_FRAME, 0};
  const iidc_waitinfo ringNow{IIDC_WAIT_RING, 0};
  const iidc_event hFrameEvent = iidc_wait(h, &frameNow, 0);
  const iidc_event hRingEvent = iidc_wait(h, &ringNow, 0);
  ASSERT_NE(hFrameEvent, nullptr);
  ASSERT_NE(hRingEvent, nullptr);
  EXPECT_NE(hFrameEvent, hRingEvent);

  // A frame wait ends with the next frame.
  ASSERT_TRUE(iidc_capture(h, 1));
  const iidc_waitinfo frameWait{IIDC_WAIT_FRAME, WAIT_MS};
  EXPECT_EQ(iidc_wait(h, &frameWait, 0), hFrameEvent);
  EXPECT_GE(FramesDelivered(h), 1);
  EXPECT_TRUE(WaitForFramesBeyond(h, 0));

  // A ring wait ends once per turn of the ring of three; the start of the
  // count may or may not include the stream's first frame.
  const iidc_waitinfo ringWait{IIDC_WAIT_RING, WAIT_MS};
  EXPECT_EQ(iidc_wait(h, &ringWait, 0), hRingEvent);
  EXPECT_EQ(iidc_wait(h, &ringWait, 0), hRingEvent);
  EXPECT_GE(FramesDelivered(h), 5);
  EXPECT_TRUE(iidc_idle(h));
  EXPECT_TRUE(iidc_freeframe(h));
}

TEST_F(BehaviourCaptureTest, WaitAbortEndsAWaitOnAnotherThread) {
  iidc_handle h = Open(COLOR_CAMERA);
  ASSERT_NE(h, nullptr);
  ASSERT_TRUE(PrepareWithFrames(h, 2));
  const iidc_waitinfo ringNow{IIDC_WAIT_RING, 0};
  const iidc_event hRingEvent = iidc_wait(h, &ringNow, 0);
  ASSERT_NE(hRingEvent, nullptr);

  // The global slot holds another code, which the abort leaves alone.
  EXPECT_EQ(iidc_getcapability(CAMERA_COUNT + 1, 0), 0u);
  ASSERT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_HANDLE);

  // No frames come (the camera is not capturing); only the abort can end this
  // wait before its bound. The ring event is not reset by the wait, so the
  // abort ends it whether it comes before or after the wait began.
  iidc_event hWaited = hRingEvent;
  std::thread waiter([&] {
    const iidc_waitinfo wait{IIDC_WAIT_RING, WAIT_MS};
    hWaited = iidc_wait(h, &wait, 0);
  });
  EXPECT_TRUE(iidc_waitabort(h, hRingEvent));
  waiter.join();
  EXPECT_EQ(hWaited, nullptr);
  EXPECT_EQ(iidc_getlasterror(COLOR_CAMERA), IIDC_ERR_WAIT_ABORTED);
  EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_HANDLE) << "the global slot is not written";

  // The abort was used up by that wait.
  EXPECT_EQ(iidc_wait(h, &ringNow, 0), hRingEvent);

  // An abort while nobody waits ends the next wait.
  const iidc_waitinfo frameShort{IIDC_WAIT_FRAME, 100};
  const iidc_event hFrameEvent = iidc_wait(h, &frameShort, 0);
  ASSERT_NE(hFrameEvent, nullptr);
  EXPECT_TRUE(iidc_waitabort(h, hFrameEvent));
  EXPECT_EQ(iidc_wait(h, &frameShort, 0), nullptr);
  EXPECT_EQ(iidc_wait(h, &frameShort, 0), hFrameEvent);
  EXPECT_TRUE(iidc_freeframe(h));
}

TEST_F(BehaviourCaptureTest, CloseAndReopenKeepsTheCamerasSettings) {
  iidc_handle h = Open(COLOR_CAMERA);
  ASSERT_NE(h, nullptr);
  uint32_t brightness = 0;
  ASSERT_EQ(iidc1394_asyncreadquadlet(h, REG_BRIGHTNESS, &brightness, 4), 4);
  const iidc_feature manual{IIDC_FEATURE_BRIGHTNESS, IIDC_FEATURESTATE_MANUAL | IIDC_FEATURESTATE_VALUE1, 77.0f, 0.0f};
  ASSERT_NE(iidc_setfeature(h, &manual, 0), 0u);
  ASSERT_TRUE(iidc_setformat(h, ListedId(1, 3, IIDC_COLOR_YUV422)));
  ASSERT_TRUE(iidc_setframerate(h, 3.75f));
  ASSERT_TRUE(PrepareWithFrames(h, 2));
  ASSERT_TRUE(iidc_capture(h, 0));
  EXPECT_TRUE(iidc_idle(h));
  EXPECT_TRUE(iidc_freeframe(h));
  EXPECT_TRUE(iidc_clearcapture(h));
  ASSERT_TRUE(Close(h));
  EXPECT_EQ(iidc_getstatus(h), 0) << "the old handle is gone";
  EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_HANDLE);

  iidc_handle hAgain = Open(COLOR_CAMERA);
  ASSERT_NE(hAgain, nullptr);
  CFinally restore([&] {
    iidc_setformat(hAgain, COLOR_INITIAL_ID);
    iidc1394_asyncwritequadlet(hAgain, REG_BRIGHTNESS, &brightness, 4);
  });
  EXPECT_EQ(iidc_getstatus(hAgain), IIDC_STATE_OPENED);
  EXPECT_EQ(iidc_currentformat(hAgain), CurrentId(1, 3));
  EXPECT_NEAR(iidc_currentframerate(hAgain), 3.75f, 0.01f);
  iidc_feature f{IIDC_FEATURE_BRIGHTNESS, 0, 0.0f, 0.0f};
  ASSERT_EQ(iidc_currentfeature(hAgain, &f, 0), 1);
  EXPECT_EQ(f.value1, 77.0f);

  // The reopened camera captures in the mode it kept.
  ASSERT_TRUE(PrepareWithFrames(hAgain, 2));
  EXPECT_EQ(iidc_currentdataframebytes(hAgain), 1024 * 768 * 2);
  ASSERT_TRUE(iidc_capture(hAgain, 0));
  const unsigned char* pFrame = iidc_lockdata(hAgain, -1);
  ASSERT_NE(pFrame, nullptr);
  EXPECT_EQ(FrameSequence(pFrame), 0u);
  iidc_unlockdata(hAgain);
  EXPECT_TRUE(iidc_idle(hAgain));
  EXPECT_TRUE(iidc_freeframe(hAgain));
}

}  // namespace
