#include <gtest/gtest.h>

#include <cstddef>

#include "emul/clock.h"
#include "tests/support/emul_env.h"

namespace {

// Layouts that media types and capability blocks share with Windows.
static_assert(sizeof(LONG) == 4 && sizeof(DWORD) == 4 && sizeof(ULONG) == 4);
static_assert(sizeof(GUID) == 16);
static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(offsetof(VIDEOINFOHEADER, AvgTimePerFrame) == 40);
static_assert(offsetof(VIDEOINFOHEADER, bmiHeader) == 48);
static_assert(sizeof(VIDEOINFOHEADER) == 88);
static_assert(offsetof(VIDEO_STREAM_CONFIG_CAPS, MinFrameInterval) == 104);
static_assert(sizeof(VIDEO_STREAM_CONFIG_CAPS) == 128);

static_assert(HRESULT_FROM_WIN32(ERROR_NOT_FOUND) == MakeHresult(0x80070490));
static_assert(HRESULT_FROM_WIN32(ERROR_SUCCESS) == S_OK);
static_assert(SUCCEEDED(S_FALSE) && FAILED(E_FAIL) && !FAILED(VFW_S_STATE_INTERMEDIATE));
static_assert(!(CLSID_SampleGrabber == CLSID_NullRenderer));

// Media subtypes of the YUV family carry their FOURCC in Data1.
static_assert(MEDIASUBTYPE_UYVY.Data1 == 0x59565955);
static_assert(MEDIATYPE_Video.Data1 == 0x73646976);

class KernelClockTest : public CEmulTest {};

TEST_F(KernelClockTest, VirtualTimeAdvancesBySleeping) {
  emul::UseVirtualTime(true);
  const DWORD dwStart = GetTickCount();
  Sleep(100);
  Sleep(250);
  EXPECT_EQ(GetTickCount() - dwStart, 350u);
  EXPECT_EQ(emul::VirtualSleepTotal(), 350u);
  emul::UseVirtualTime(false);
  EXPECT_EQ(emul::VirtualSleepTotal(), 0u);
}

}  // namespace
