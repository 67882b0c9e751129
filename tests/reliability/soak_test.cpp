// Soak: open/close and whole capture cycles over and over, with the platform
// resources and the heap the same at the end as after the first cycles. The
// counts are short here; scripts/soak sets IIDC_SOAK_SCALE for a long run.
#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "reliability_fixture.h"

namespace {

int Scaled(int nCycles) {
  const char* pszScale = std::getenv("IIDC_SOAK_SCALE");
  const int nScale = pszScale != nullptr ? std::atoi(pszScale) : 1;
  return nCycles * (nScale > 0 ? nScale : 1);
}

// Bytes of heap in use; 0 where the allocator does not tell (sanitizers,
// whose own leak check covers the heap).
size_t HeapInUse() { return mallinfo2().uordblks; }

class SoakTest : public CReliabilityTest {
 protected:
  // Runs cycle nCycles times after warm-up turns (first-use caches and
  // containers of the emulation that grow to their working size), then
  // compares platform resources and heap with the state after warm-up.
  // The emulation's call log, which grows with every platform call, is
  // emptied after each cycle so that only the library's heap is compared.
  template <typename Cycle>
  void Soak(int nCycles, Cycle cycle) {
    const int nWarmUp = std::max(8, nCycles / 4);
    for (int i = 0; i < nWarmUp; ++i) {
      cycle(i);
      emul::ResetFaults();
      if (HasFatalFailure()) {
        return;
      }
    }
    // The log keeps its capacity when emptied: room for far more than one
    // cycle logs, so that its growth is not taken for a leak.
    for (int i = 0; i < 4096; ++i) {
      CloseHandle(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    }
    emul::ResetFaults();
    const CLiveResources before;
    const size_t cbHeapBefore = HeapInUse();
    for (int i = 0; i < nCycles; ++i) {
      cycle(i);
      emul::ResetFaults();
      if (HasFatalFailure()) {
        FAIL() << "cycle " << i;
      }
    }
    EXPECT_EQ(CLiveResources(), before);
    // A byte per cycle would show; allocator bookkeeping stays far below.
    if (cbHeapBefore != 0) {
      EXPECT_LE(HeapInUse(), cbHeapBefore + 4096) << "heap grew over " << nCycles << " cycles";
    }
  }
};

// Open and close, and identity reads of the camera left closed, which bind
// its device for the call only.
TEST_F(SoakTest, OpenAndCloseThousandsOfTimes) {
  Start();
  Soak(Scaled(2000), [](int i) {
    iidc_handle h = iidc_open(i % 2);
    ASSERT_NE(h, nullptr);
    char text[64];
    ASSERT_GT(iidc_getstring(1 - i % 2, IIDC_STRING_MODEL, text, sizeof text), 0);
    ASSERT_TRUE(iidc_close(h));
  });
}

TEST_F(SoakTest, HundredsOfWholeCaptureCycles) {
  Start();
  iidc_handle h = Open(0);
  ASSERT_TRUE(iidc_setformat(h, SMALL_ID));
  std::shared_ptr<vcam::CSteppedClock> pClock = m_clocks[0];
  Soak(Scaled(200), [h, pClock](int i) {
    ASSERT_TRUE(iidc_preparecapture(h));
    ASSERT_EQ(iidc_allocframe(h, 3), 3);
    if (i % 2 == 0) {
      ASSERT_TRUE(iidc_capture(h, 1));
      pClock->Step(2);
      const iidc_waitinfo wait{IIDC_WAIT_FRAME, 0};
      iidc_wait(h, &wait, 0);
      ASSERT_NE(iidc_lockdata(h, -1), nullptr);
      iidc_unlockdata(h);
      ASSERT_TRUE(iidc_idle(h));
    } else {
      pClock->Step(1);
      ASSERT_TRUE(iidc_capture(h, 0));
    }
    ASSERT_TRUE(iidc_freeframe(h));
    ASSERT_TRUE(iidc_clearcapture(h));
  });
  EXPECT_TRUE(iidc_close(h));
}

}  // namespace
