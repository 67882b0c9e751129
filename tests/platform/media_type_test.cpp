#include <gtest/gtest.h>

#include <cstring>

#include "base/com_ptr.h"
#include "base/media_type.h"
#include "tests/platform/test_object.h"
#include "tests/support/emul_env.h"

namespace {

class MediaTypeTest : public CEmulTest {
 protected:
  void SetUp() override {
    CEmulTest::SetUp();
    ASSERT_EQ(CreateComInstance<CTestObject>(nullptr, IID_IUnknown, m_pUnk.ReleaseAndGetVoidAddressOf()), S_OK);
  }
  void TearDown() override {
    m_pUnk.Reset();
    CEmulTest::TearDown();
  }

  // A video media type with a format block and a reference to m_pUnk.
  AM_MEDIA_TYPE MakeVideoType(LONG nWidth) {
    AM_MEDIA_TYPE mt{};
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = MEDIASUBTYPE_RGB24;
    mt.formattype = FORMAT_VideoInfo;
    mt.cbFormat = sizeof(VIDEOINFOHEADER);
    mt.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(mt.cbFormat));
    VIDEOINFOHEADER vih{};
    vih.bmiHeader.biWidth = nWidth;
    std::memcpy(mt.pbFormat, &vih, sizeof(vih));
    mt.pUnk = m_pUnk.Get();
    mt.pUnk->AddRef();
    return mt;
  }

  ComPtr<IUnknown> m_pUnk;
};

TEST_F(MediaTypeTest, FreeReleasesFormatAndUnknown) {
  AM_MEDIA_TYPE mt = MakeVideoType(640);
  EXPECT_EQ(RefCount(m_pUnk.Get()), 2u);
  FreeMediaType(mt);
  EXPECT_EQ(mt.cbFormat, 0u);
  EXPECT_EQ(mt.pbFormat, nullptr);
  EXPECT_EQ(mt.pUnk, nullptr);
  EXPECT_EQ(RefCount(m_pUnk.Get()), 1u);
  FreeMediaType(mt);  // freeing twice is harmless
}

TEST_F(MediaTypeTest, CopyIsDeepAndCounted) {
  AM_MEDIA_TYPE src = MakeVideoType(640);
  AM_MEDIA_TYPE* pCopy = CreateMediaType(&src);
  ASSERT_NE(pCopy, nullptr);
  EXPECT_NE(pCopy->pbFormat, src.pbFormat);
  EXPECT_EQ(std::memcmp(pCopy->pbFormat, src.pbFormat, src.cbFormat), 0);
  EXPECT_TRUE(pCopy->subtype == MEDIASUBTYPE_RGB24);
  EXPECT_EQ(RefCount(m_pUnk.Get()), 3u);
  DeleteMediaType(pCopy);
  FreeMediaType(src);
  EXPECT_EQ(RefCount(m_pUnk.Get()), 1u);
  DeleteMediaType(nullptr);
}

TEST_F(MediaTypeTest, FailedCopyTakesNoReference) {
  AM_MEDIA_TYPE src = MakeVideoType(640);
  emul::FailOperation("CoTaskMemAlloc", E_OUTOFMEMORY, 1);
  AM_MEDIA_TYPE dst{};
  EXPECT_EQ(CopyMediaType(&dst, &src), E_OUTOFMEMORY);
  EXPECT_EQ(dst.pbFormat, nullptr);
  EXPECT_EQ(dst.cbFormat, 0u);
  EXPECT_EQ(dst.pUnk, nullptr);
  EXPECT_EQ(RefCount(m_pUnk.Get()), 2u);
  FreeMediaType(src);
  EXPECT_EQ(CopyMediaType(nullptr, &src), E_POINTER);
}

TEST_F(MediaTypeTest, OwnerFreesOnEveryPath) {
  AM_MEDIA_TYPE plain = MakeVideoType(320);
  {
    CMediaType first(plain);
    CMediaType second(first);
    EXPECT_NE(second.pbFormat, first.pbFormat);
    ASSERT_NE(second.VideoInfo(), nullptr);
    EXPECT_EQ(second.VideoInfo()->bmiHeader.biWidth, 320);
    EXPECT_EQ(RefCount(m_pUnk.Get()), 4u);
    CMediaType third(std::move(second));
    EXPECT_EQ(second.pbFormat, nullptr);
    EXPECT_EQ(RefCount(m_pUnk.Get()), 4u);
    third = first;
    EXPECT_EQ(RefCount(m_pUnk.Get()), 4u);
    first.Clear();
    EXPECT_EQ(first.VideoInfo(), nullptr);
    EXPECT_EQ(RefCount(m_pUnk.Get()), 3u);
    CMediaType& rSame = third;
    third = rSame;
    EXPECT_EQ(RefCount(m_pUnk.Get()), 3u);
  }
  EXPECT_EQ(RefCount(m_pUnk.Get()), 2u);
  FreeMediaType(plain);
  EXPECT_EQ(RefCount(m_pUnk.Get()), 1u);
}

TEST_F(MediaTypeTest, VideoInfoNeedsAWholeHeader) {
  CMediaType mt;
  mt.formattype = FORMAT_VideoInfo;
  ASSERT_NE(mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER) - 1), nullptr);
  EXPECT_EQ(mt.VideoInfo(), nullptr);
  ASSERT_NE(mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)), nullptr);
  EXPECT_NE(mt.VideoInfo(), nullptr);
  mt.formattype = FORMAT_None;
  EXPECT_EQ(mt.VideoInfo(), nullptr);
}

TEST_F(MediaTypeTest, PointerOwnerDeletesBeforeReuse) {
  AM_MEDIA_TYPE src = MakeVideoType(640);
  CMediaTypePtr pmt(CreateMediaType(&src));
  EXPECT_EQ(RefCount(m_pUnk.Get()), 3u);
  AM_MEDIA_TYPE** ppSlot = &pmt;  // as an out parameter: the old type goes
  EXPECT_EQ(*ppSlot, nullptr);
  EXPECT_EQ(RefCount(m_pUnk.Get()), 2u);
  *ppSlot = CreateMediaType(&src);
  ASSERT_NE(pmt.VideoInfo(), nullptr);
  EXPECT_EQ(pmt.VideoInfo()->bmiHeader.biWidth, 640);
  CMediaTypePtr moved(std::move(pmt));
  EXPECT_FALSE(pmt);
  moved.Reset();
  FreeMediaType(src);
  EXPECT_EQ(RefCount(m_pUnk.Get()), 1u);
}

}  // namespace
