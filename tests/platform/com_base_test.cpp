#include <gtest/gtest.h>

#include "base/com_ptr.h"
#include "tests/platform/test_object.h"
#include "tests/support/emul_env.h"

namespace {

class ComBaseTest : public CEmulTest {
 protected:
  static ComPtr<IPersist> MakeObject() {
    ComPtr<IPersist> pPersist;
    EXPECT_EQ(CreateComInstance<CTestObject>(nullptr, IID_IPersist, pPersist.ReleaseAndGetVoidAddressOf()), S_OK);
    return pPersist;
  }
};

TEST_F(ComBaseTest, CountsReferencesAndDeletesOnLastRelease) {
  IPersist* pPersist = nullptr;
  ASSERT_EQ(CreateComInstance<CTestObject>(nullptr, IID_IPersist, reinterpret_cast<void**>(&pPersist)), S_OK);
  EXPECT_EQ(emul::LiveComObjects(), m_nLiveAtStart + 1);
  EXPECT_EQ(pPersist->AddRef(), 2u);
  EXPECT_EQ(pPersist->Release(), 1u);
  EXPECT_EQ(pPersist->Release(), 0u);
  EXPECT_EQ(emul::LiveComObjects(), m_nLiveAtStart);
}

TEST_F(ComBaseTest, QueryInterfaceAnswersOwnInterfacesWithOneIdentity) {
  ComPtr<IPersist> pPersist = MakeObject();
  ComPtr<IMediaEventSink> pSink;
  ASSERT_EQ(pPersist.As(IID_IMediaEventSink, pSink), S_OK);
  EXPECT_EQ(RefCount(pPersist.Get()), 2u);

  ComPtr<IUnknown> pUnk1;
  ComPtr<IUnknown> pUnk2;
  ASSERT_EQ(pPersist.As(IID_IUnknown, pUnk1), S_OK);
  ASSERT_EQ(pSink.As(IID_IUnknown, pUnk2), S_OK);
  EXPECT_EQ(pUnk1, pUnk2.Get());

  ComPtr<IPin> pPin;
  EXPECT_EQ(pPersist.As(IID_IPin, pPin), E_NOINTERFACE);
  EXPECT_FALSE(pPin);
  EXPECT_EQ(pPersist->QueryInterface(IID_IPersist, nullptr), E_POINTER);
  EXPECT_EQ(RefCount(pPersist.Get()), 4u);
  ComPtr<IPersist> pNull;
  EXPECT_EQ(pNull.As(IID_IUnknown, pUnk1), E_POINTER);
}

TEST_F(ComBaseTest, FailedInterfaceIsRefusedUntilReset) {
  ComPtr<IPersist> pPersist = MakeObject();
  emul::FailInterface(IID_IMediaEventSink);
  ComPtr<IMediaEventSink> pSink;
  EXPECT_EQ(pPersist.As(IID_IMediaEventSink, pSink), E_NOINTERFACE);
  EXPECT_FALSE(pSink);
  ComPtr<IUnknown> pUnk;
  EXPECT_EQ(pPersist.As(IID_IUnknown, pUnk), S_OK);
  // Creation asks for the interface too, so it fails the same way.
  void* pv = reinterpret_cast<void*>(1);
  EXPECT_EQ(CreateComInstance<CTestObject>(nullptr, IID_IMediaEventSink, &pv), E_NOINTERFACE);
  EXPECT_EQ(pv, nullptr);

  emul::ResetFaults();
  EXPECT_EQ(pPersist.As(IID_IMediaEventSink, pSink), S_OK);
}

TEST_F(ComBaseTest, CreateRefusesAggregationAndNullOut) {
  ComPtr<IPersist> pOuter = MakeObject();
  void* pv = nullptr;
  EXPECT_EQ(CreateComInstance<CTestObject>(pOuter.Get(), IID_IUnknown, &pv), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(pv, nullptr);
  EXPECT_EQ(CreateComInstance<CTestObject>(nullptr, IID_IPersist, nullptr), E_POINTER);
}

TEST_F(ComBaseTest, ComPtrCopiesAndMovesReferences) {
  ComPtr<IPersist> pFirst = MakeObject();
  IPersist* pRaw = pFirst.Get();
  {
    ComPtr<IPersist> pCopy(pFirst);
    EXPECT_EQ(RefCount(pRaw), 2u);
    ComPtr<IPersist> pAssigned;
    pAssigned = pCopy;
    EXPECT_EQ(RefCount(pRaw), 3u);
    ComPtr<IPersist>& rSame = pAssigned;
    pAssigned = rSame;  // self-assignment keeps the reference
    EXPECT_EQ(RefCount(pRaw), 3u);
    ComPtr<IPersist> pMoved(std::move(pCopy));
    EXPECT_FALSE(pCopy);
    EXPECT_EQ(RefCount(pRaw), 3u);
  }
  EXPECT_EQ(RefCount(pRaw), 1u);

  ComPtr<IPersist> pFromRaw(pRaw);
  EXPECT_EQ(RefCount(pRaw), 2u);
  pFromRaw = nullptr;
  EXPECT_EQ(RefCount(pRaw), 1u);
}

TEST_F(ComBaseTest, ComPtrAttachDetachAndOutParameter) {
  ComPtr<IPersist> pHolder = MakeObject();
  IPersist* pRaw = pHolder.Detach();
  EXPECT_FALSE(pHolder);
  EXPECT_EQ(RefCount(pRaw), 1u);
  pHolder.Attach(pRaw);  // adopts without a new reference
  EXPECT_EQ(RefCount(pRaw), 1u);

  IPersist* pCopy = nullptr;
  EXPECT_EQ(pHolder.CopyTo(&pCopy), S_OK);
  EXPECT_EQ(pCopy, pRaw);
  EXPECT_EQ(pCopy->Release(), 1u);
  EXPECT_EQ(pHolder.CopyTo(nullptr), E_POINTER);

  // Used as an out parameter the pointer lets go of what it held first.
  IPersist** ppSlot = &pHolder;
  EXPECT_EQ(*ppSlot, nullptr);
  EXPECT_EQ(emul::LiveComObjects(), m_nLiveAtStart);
}

}  // namespace
