#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "tests/support/emul_env.h"

namespace {

// Generous bound for waits that must succeed; they end as soon as the event
// is set.
constexpr DWORD BOUND_MS = 10000;

class EventTest : public CEmulTest {
 protected:
  void TearDown() override {
    for (HANDLE h : m_handles) {
      EXPECT_TRUE(CloseHandle(h));
    }
    CEmulTest::TearDown();
  }

  HANDLE MakeEvent(BOOL bManualReset, BOOL bInitialState) {
    HANDLE h = CreateEventA(nullptr, bManualReset, bInitialState, nullptr);
    EXPECT_NE(h, nullptr);
    m_handles.push_back(h);
    return h;
  }

  std::vector<HANDLE> m_handles;
};

TEST_F(EventTest, AutoResetReleasesOnceManualResetStaysSet) {
  HANDLE h = MakeEvent(FALSE, FALSE);
  EXPECT_EQ(WaitForSingleObject(h, 20), WAIT_TIMEOUT);
  EXPECT_TRUE(SetEvent(h));
  EXPECT_TRUE(SetEvent(h));  // setting a set event does not count twice
  EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_TIMEOUT);
  HANDLE hInitiallySet = MakeEvent(FALSE, TRUE);
  EXPECT_EQ(WaitForSingleObject(hInitiallySet, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(hInitiallySet, 0), WAIT_TIMEOUT);

  HANDLE hManual = MakeEvent(TRUE, TRUE);
  EXPECT_EQ(WaitForSingleObject(hManual, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(hManual, INFINITE), WAIT_OBJECT_0);
  EXPECT_TRUE(ResetEvent(hManual));
  EXPECT_EQ(WaitForSingleObject(hManual, 0), WAIT_TIMEOUT);
}

TEST_F(EventTest, AutoResetEventWakesExactlyOneWaiter) {
  constexpr int WAITERS = 3;
  HANDLE hEvent = MakeEvent(FALSE, FALSE);
  HANDLE hWoken = MakeEvent(FALSE, FALSE);
  std::atomic<int> nWoken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < WAITERS; ++i) {
    waiters.emplace_back([&] {
      if (WaitForSingleObject(hEvent, BOUND_MS) == WAIT_OBJECT_0) {
        ++nWoken;
        SetEvent(hWoken);
      }
    });
  }
  for (int i = 1; i <= WAITERS; ++i) {
    // No ASSERT while threads run: they must still be joined.
    EXPECT_TRUE(SetEvent(hEvent));
    EXPECT_EQ(WaitForSingleObject(hWoken, BOUND_MS), WAIT_OBJECT_0);
    // Had one SetEvent released more than one waiter, the count would run
    // ahead here.
    EXPECT_EQ(nWoken.load(), i);
  }
  for (std::thread& waiter : waiters) {
    waiter.join();
  }
  EXPECT_EQ(nWoken.load(), WAITERS);
}

TEST_F(EventTest, ManualResetEventWakesAllWaiters) {
  constexpr int WAITERS = 3;
  HANDLE hEvent = MakeEvent(TRUE, FALSE);
  std::vector<DWORD> results(WAITERS, WAIT_FAILED);
  std::vector<std::thread> waiters;
  for (int i = 0; i < WAITERS; ++i) {
    waiters.emplace_back([&, i] { results[i] = WaitForSingleObject(hEvent, BOUND_MS); });
  }
  EXPECT_TRUE(SetEvent(hEvent));
  for (std::thread& waiter : waiters) {
    waiter.join();
  }
  for (DWORD dwResult : results) {
    EXPECT_EQ(dwResult, WAIT_OBJECT_0);
  }
}

TEST_F(EventTest, InvalidHandlesFail) {
  HANDLE h = CreateEventA(nullptr, FALSE, TRUE, "named");
  ASSERT_NE(h, nullptr);
  EXPECT_TRUE(CloseHandle(h));
  EXPECT_FALSE(CloseHandle(h));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_FAILED);
  EXPECT_FALSE(SetEvent(h));
  EXPECT_FALSE(ResetEvent(nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(SetEvent(INVALID_HANDLE_VALUE));
}

TEST_F(EventTest, InterlockedOperationsReturnNewValues) {
  volatile LONG nValue = 0;
  EXPECT_EQ(InterlockedIncrement(&nValue), 1);
  EXPECT_EQ(InterlockedDecrement(&nValue), 0);
  EXPECT_EQ(InterlockedDecrement(&nValue), -1);
  EXPECT_EQ(InterlockedExchange(&nValue, 7), -1);
  EXPECT_EQ(nValue, 7);
}

}  // namespace
