#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstring>

#include "tests/support/emul_env.h"

namespace {

class VirtualMemoryTest : public CEmulTest {
 protected:
  const SIZE_T m_nPage = static_cast<SIZE_T>(sysconf(_SC_PAGESIZE));
};

bool AllZero(const BYTE* p, SIZE_T n) {
  for (SIZE_T i = 0; i < n; ++i) {
    if (p[i] != 0) {
      return false;
    }
  }
  return true;
}

TEST_F(VirtualMemoryTest, CommitRoundsUpToWholeZeroedPages) {
  auto* p = static_cast<BYTE*>(VirtualAlloc(nullptr, 1, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % m_nPage, 0u);
  EXPECT_TRUE(AllZero(p, m_nPage));
  p[m_nPage - 1] = 0x5A;  // the whole page is usable
  EXPECT_TRUE(VirtualFree(p, 0, MEM_RELEASE));
}

TEST_F(VirtualMemoryTest, CommitInsideReservationCoversTouchedPages) {
  auto* pBase = static_cast<BYTE*>(VirtualAlloc(nullptr, 4 * m_nPage, MEM_RESERVE, PAGE_NOACCESS));
  ASSERT_NE(pBase, nullptr);
  // One page's worth starting mid-page touches two pages.
  BYTE* pMid = pBase + m_nPage + 100;
  auto* p = static_cast<BYTE*>(VirtualAlloc(pMid, m_nPage, MEM_COMMIT, PAGE_READWRITE));
  EXPECT_EQ(p, pBase + m_nPage);
  std::memset(p, 0x11, 2 * m_nPage);

  // Committing again keeps the contents.
  ASSERT_EQ(VirtualAlloc(p, m_nPage, MEM_COMMIT, PAGE_READWRITE), p);
  EXPECT_EQ(p[0], 0x11);

  // Decommitted pages come back zeroed.
  EXPECT_TRUE(VirtualFree(p, m_nPage, MEM_DECOMMIT));
  ASSERT_EQ(VirtualAlloc(p, m_nPage, MEM_COMMIT, PAGE_READWRITE), p);
  EXPECT_TRUE(AllZero(p, m_nPage));
  EXPECT_EQ(p[m_nPage], 0x11);  // the neighbour was not decommitted

  EXPECT_TRUE(VirtualFree(pBase, 0, MEM_DECOMMIT));  // the whole reservation
  EXPECT_TRUE(VirtualFree(pBase, 0, MEM_RELEASE));
}

TEST_F(VirtualMemoryTest, ReleaseTakesOnlyTheBaseWithSizeZero) {
  auto* p = static_cast<BYTE*>(VirtualAlloc(nullptr, 2 * m_nPage, MEM_COMMIT, PAGE_READWRITE));
  ASSERT_NE(p, nullptr);
  EXPECT_FALSE(VirtualFree(p, m_nPage, MEM_RELEASE));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(VirtualFree(p + m_nPage, 0, MEM_RELEASE));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(VirtualFree(p + m_nPage, 0, MEM_DECOMMIT));
  EXPECT_FALSE(VirtualFree(p, 3 * m_nPage, MEM_DECOMMIT));
  EXPECT_FALSE(VirtualFree(p, 0, MEM_RELEASE | MEM_DECOMMIT));
  EXPECT_TRUE(VirtualFree(p, 0, MEM_RELEASE));
  EXPECT_FALSE(VirtualFree(p, 0, MEM_RELEASE));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_ADDRESS);
}

TEST_F(VirtualMemoryTest, BadRequestsFail) {
  EXPECT_EQ(VirtualAlloc(nullptr, 0, MEM_COMMIT, PAGE_READWRITE), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(VirtualAlloc(nullptr, 16, 0, PAGE_READWRITE), nullptr);
  EXPECT_EQ(VirtualAlloc(nullptr, 16, MEM_COMMIT | MEM_RELEASE, PAGE_READWRITE), nullptr);
  EXPECT_EQ(VirtualAlloc(nullptr, 16, MEM_COMMIT, 0), nullptr);
  EXPECT_EQ(VirtualAlloc(nullptr, SIZE_MAX, MEM_COMMIT, PAGE_READWRITE), nullptr);
  EXPECT_FALSE(VirtualFree(nullptr, 0, MEM_RELEASE));

  // Committing outside any reservation.
  int nOnStack = 0;
  EXPECT_EQ(VirtualAlloc(&nOnStack, 16, MEM_COMMIT, PAGE_READWRITE), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_ADDRESS);
  EXPECT_FALSE(VirtualFree(&nOnStack, 0, MEM_RELEASE));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_ADDRESS);

  // Reserving an address already taken.
  void* p = VirtualAlloc(nullptr, m_nPage, MEM_RESERVE, PAGE_READWRITE);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(VirtualAlloc(p, m_nPage, MEM_RESERVE, PAGE_READWRITE), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_ADDRESS);
  EXPECT_TRUE(VirtualFree(p, 0, MEM_RELEASE));
}

}  // namespace
