// The emulation's Windows pieces below DirectShow, each against Windows'
// documented behaviour: kernel events and virtual memory, the COM runtime,
// media types, GDI bitmaps, and the fault switches every platform operation
// passes through. References of COM objects are every emulated suite's
// (CEmulTest counts the live objects).
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "base/com_ptr.h"
#include "base/media_type.h"
#include "base/unknown.h"
#include "emul/class_registry.h"
#include "emul/clock.h"
#include "tests/support/emul_env.h"

namespace {

static_assert(sizeof(LONG) == 4 && sizeof(DWORD) == 4 && sizeof(GUID) == 16);
static_assert(sizeof(BITMAPINFOHEADER) == 40 && sizeof(VIDEOINFOHEADER) == 88);
static_assert(offsetof(VIDEOINFOHEADER, bmiHeader) == 48 && offsetof(VIDEO_STREAM_CONFIG_CAPS, MinFrameInterval) == 104);
static_assert(HRESULT_FROM_WIN32(ERROR_NOT_FOUND) == MakeHresult(0x80070490) && HRESULT_FROM_WIN32(0) == S_OK);

constexpr CLSID CLSID_TestObject{0x5f0d3a41, 0x7c2e, 0x4b8a, {0x9e, 0x11, 0x2a, 0x6c, 0x40, 0x83, 0xd5, 0x17}};
constexpr DWORD BOUND_MS = 10000;

// A minimal COM object with two interfaces.
class CTestObject : public CComBase<IPersist, IMediaEventSink> {
 public:
  CTestObject() : CComBase("test object") {}
  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IPersist) return GetInterface(static_cast<IPersist*>(this), ppv);
    if (riid == IID_IMediaEventSink) return GetInterface(static_cast<IMediaEventSink*>(this), ppv);
    return CComBase::NonDelegatingQueryInterface(riid, ppv);
  }
  STDMETHODIMP GetClassID(CLSID* pClassID) override {
    *pClassID = CLSID_TestObject;
    return S_OK;
  }
  STDMETHODIMP Notify(LONG, LONG_PTR, LONG_PTR) override { return S_OK; }
};

ULONG RefCount(IUnknown* pUnk) {
  pUnk->AddRef();
  return pUnk->Release();
}

class EmulationTest : public CEmulTest {
 protected:
  static ComPtr<IPersist> MakeObject() {
    ComPtr<IPersist> p;
    EXPECT_EQ(CreateComInstance<CTestObject>(nullptr, IID_IPersist, p.ReleaseAndGetVoidAddressOf()), S_OK);
    return p;
  }
  const SIZE_T m_nPage = static_cast<SIZE_T>(sysconf(_SC_PAGESIZE));
};

TEST_F(EmulationTest, AutoResetEventsReleaseOneWaiterManualResetOnesAll) {
  HANDLE hAuto = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HANDLE hManual = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE hWoken = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  EXPECT_EQ(WaitForSingleObject(hAuto, 20), WAIT_TIMEOUT);
  EXPECT_TRUE(SetEvent(hAuto));
  EXPECT_TRUE(SetEvent(hAuto)) << "setting a set event does not count twice";
  EXPECT_EQ(WaitForSingleObject(hAuto, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(hAuto, 0), WAIT_TIMEOUT);

  constexpr int WAITERS = 3;
  std::atomic<int> nAutoWoken{0};
  std::atomic<int> nManualWoken{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < WAITERS; ++i) {
    waiters.emplace_back([&] {
      if (WaitForSingleObject(hManual, BOUND_MS) == WAIT_OBJECT_0) ++nManualWoken;
      if (WaitForSingleObject(hAuto, BOUND_MS) == WAIT_OBJECT_0) {
        ++nAutoWoken;
        SetEvent(hWoken);
      }
    });
  }
  EXPECT_TRUE(SetEvent(hManual));
  for (int i = 1; i <= WAITERS; ++i) {
    // No ASSERT while threads run: they must still be joined.
    EXPECT_TRUE(SetEvent(hAuto));
    EXPECT_EQ(WaitForSingleObject(hWoken, BOUND_MS), WAIT_OBJECT_0);
    EXPECT_EQ(nAutoWoken.load(), i) << "one set released more than one waiter";
  }
  for (std::thread& waiter : waiters) waiter.join();
  EXPECT_EQ(nManualWoken.load(), WAITERS);
  EXPECT_EQ(WaitForSingleObject(hManual, 0), WAIT_OBJECT_0) << "a manual-reset event stays set";
  EXPECT_TRUE(ResetEvent(hManual));
  EXPECT_EQ(WaitForSingleObject(hManual, 0), WAIT_TIMEOUT);
  HANDLE hSet = CreateEventA(nullptr, FALSE, TRUE, "named");
  EXPECT_EQ(WaitForSingleObject(hSet, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(hSet, 0), WAIT_TIMEOUT);

  for (HANDLE h : {hAuto, hManual, hWoken, hSet}) EXPECT_TRUE(CloseHandle(h));
  EXPECT_FALSE(CloseHandle(hAuto));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_EQ(WaitForSingleObject(hAuto, 0), WAIT_FAILED);
  EXPECT_FALSE(SetEvent(hAuto));
  EXPECT_FALSE(ResetEvent(nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  EXPECT_FALSE(SetEvent(INVALID_HANDLE_VALUE));
}

TEST_F(EmulationTest, VirtualMemoryCommitsWholeZeroedPagesOfAReservation) {
  auto* p = static_cast<BYTE*>(VirtualAlloc(nullptr, 1, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % m_nPage, 0u);
  p[m_nPage - 1] = 0x5A;  // the whole page is usable
  EXPECT_TRUE(VirtualFree(p, 0, MEM_RELEASE));

  auto* pBase = static_cast<BYTE*>(VirtualAlloc(nullptr, 4 * m_nPage, MEM_RESERVE, PAGE_NOACCESS));
  ASSERT_NE(pBase, nullptr);
  // One page's worth starting mid-page touches two pages, whichever page it
  // starts in.
  for (SIZE_T k = 1; k <= 2; ++k) {
    EXPECT_EQ(VirtualAlloc(pBase + k * m_nPage + 100, m_nPage, MEM_COMMIT, PAGE_READWRITE), pBase + k * m_nPage);
  }
  p = pBase + m_nPage;
  std::memset(p, 0x11, 2 * m_nPage);
  ASSERT_EQ(VirtualAlloc(p, m_nPage, MEM_COMMIT, PAGE_READWRITE), p);
  EXPECT_EQ(p[0], 0x11) << "committing again keeps the contents";
  EXPECT_TRUE(VirtualFree(p, m_nPage, MEM_DECOMMIT));
  ASSERT_EQ(VirtualAlloc(p, m_nPage, MEM_COMMIT, PAGE_READWRITE), p);
  EXPECT_EQ(p[0], 0) << "decommitted pages come back zeroed";
  EXPECT_EQ(p[m_nPage - 1], 0);
  EXPECT_EQ(p[m_nPage], 0x11) << "the neighbour was not decommitted";
  EXPECT_FALSE(VirtualFree(pBase, m_nPage, MEM_RELEASE)) << "release takes the base with size 0 only";
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(VirtualFree(p, 0, MEM_RELEASE));
  EXPECT_FALSE(VirtualFree(p, 5 * m_nPage, MEM_DECOMMIT));
  EXPECT_FALSE(VirtualFree(pBase, 0, MEM_RELEASE | MEM_DECOMMIT));
  EXPECT_TRUE(VirtualFree(pBase, 0, MEM_DECOMMIT));
  EXPECT_TRUE(VirtualFree(pBase, 0, MEM_RELEASE));
  EXPECT_FALSE(VirtualFree(pBase, 0, MEM_RELEASE));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_ADDRESS);

  EXPECT_EQ(VirtualAlloc(nullptr, 0, MEM_COMMIT, PAGE_READWRITE), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(VirtualAlloc(nullptr, 16, MEM_COMMIT | MEM_RELEASE, PAGE_READWRITE), nullptr);
  EXPECT_EQ(VirtualAlloc(nullptr, 16, MEM_COMMIT, 0), nullptr);
  EXPECT_EQ(VirtualAlloc(nullptr, SIZE_MAX, MEM_COMMIT, PAGE_READWRITE), nullptr);
  int nOnStack = 0;
  EXPECT_EQ(VirtualAlloc(&nOnStack, 16, MEM_COMMIT, PAGE_READWRITE), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_ADDRESS);
}

TEST_F(EmulationTest, ComRuntimeCountsInitialisationPerApartmentAndCreatesRegisteredClasses) {
  std::thread([] {
    ComPtr<IUnknown> pUnk;
    EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_ALL, IID_IUnknown, pUnk.ReleaseAndGetVoidAddressOf()),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK) << "balanced: the other apartment is free";
    CoUninitialize();
    CoUninitialize();  // one too many is ignored
    EXPECT_EQ(CoInitializeEx(reinterpret_cast<LPVOID>(1), COINIT_MULTITHREADED), E_INVALIDARG);
  }).join();

  CComApartment sta;
  emul::RegisterClass(CLSID_TestObject, &CreateComInstance<CTestObject>);
  ComPtr<IPersist> pPersist;
  ASSERT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_ALL, IID_IPersist, pPersist.ReleaseAndGetVoidAddressOf()),
            S_OK);
  EXPECT_EQ(RefCount(pPersist.Get()), 1u);
  void* pv = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_ALL, IID_IPin, &pv), E_NOINTERFACE);
  EXPECT_EQ(pv, nullptr);
  EXPECT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_REMOTE_SERVER, IID_IUnknown, &pv), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoCreateInstance(CLSID_TestObject, pPersist.Get(), CLSCTX_ALL, IID_IPersist, &pv), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_ALL, IID_IPersist, nullptr), E_POINTER);
  emul::RegisterClass(CLSID_TestObject, nullptr);
  EXPECT_EQ(CoCreateInstance(CLSID_TestObject, nullptr, CLSCTX_ALL, IID_IUnknown, &pv), REGDB_E_CLASSNOTREG);

}

TEST_F(EmulationTest, MediaTypesOwnTheirFormatAndUnknownOnEveryPath) {
  ComPtr<IPersist> pUnk = MakeObject();
  AM_MEDIA_TYPE src{};
  src.majortype = MEDIATYPE_Video;
  src.subtype = MEDIASUBTYPE_RGB24;
  src.formattype = FORMAT_VideoInfo;
  src.cbFormat = sizeof(VIDEOINFOHEADER);
  src.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(src.cbFormat));
  VIDEOINFOHEADER vih{};
  vih.bmiHeader.biWidth = 320;
  std::memcpy(src.pbFormat, &vih, sizeof vih);
  src.pUnk = pUnk.Get();
  src.pUnk->AddRef();

  AM_MEDIA_TYPE* pCopy = CreateMediaType(&src);
  ASSERT_NE(pCopy, nullptr);
  EXPECT_NE(pCopy->pbFormat, src.pbFormat);
  EXPECT_EQ(std::memcmp(pCopy->pbFormat, src.pbFormat, src.cbFormat), 0);
  EXPECT_EQ(RefCount(pUnk.Get()), 3u);
  DeleteMediaType(pCopy);
  emul::FailOperation("CoTaskMemAlloc", E_OUTOFMEMORY, 1);
  AM_MEDIA_TYPE failed{};
  EXPECT_EQ(CopyMediaType(&failed, &src), E_OUTOFMEMORY);
  EXPECT_EQ(failed.pbFormat, nullptr);
  EXPECT_EQ(failed.pUnk, nullptr) << "a failed copy takes no reference";
  EXPECT_EQ(RefCount(pUnk.Get()), 2u);
  {
    CMediaType first(src);
    CMediaType second(first);
    EXPECT_NE(second.pbFormat, first.pbFormat);
    ASSERT_NE(second.VideoInfo(), nullptr);
    EXPECT_EQ(second.VideoInfo()->bmiHeader.biWidth, 320);
    CMediaType third(std::move(second));
    EXPECT_EQ(second.pbFormat, nullptr);
    third = first;
    CMediaType& rSame = third;
    third = rSame;
    EXPECT_EQ(RefCount(pUnk.Get()), 4u);
    first.Clear();
    EXPECT_EQ(first.VideoInfo(), nullptr);
    EXPECT_EQ(RefCount(pUnk.Get()), 3u);
    CMediaTypePtr pmt(CreateMediaType(&src));
    AM_MEDIA_TYPE** ppSlot = &pmt;  // as an out parameter: the old type goes
    EXPECT_EQ(*ppSlot, nullptr);
    EXPECT_EQ(RefCount(pUnk.Get()), 3u);
    CMediaType partial;
    partial.formattype = FORMAT_VideoInfo;
    ASSERT_NE(partial.AllocFormatBuffer(sizeof(VIDEOINFOHEADER) - 1), nullptr);
    EXPECT_EQ(partial.VideoInfo(), nullptr) << "a video info needs a whole header";
  }
  EXPECT_EQ(RefCount(pUnk.Get()), 2u);
  FreeMediaType(src);
  EXPECT_EQ(src.pbFormat, nullptr);
  EXPECT_EQ(src.pUnk, nullptr);
  EXPECT_EQ(RefCount(pUnk.Get()), 1u);
  FreeMediaType(src);  // freeing twice is harmless
}

TEST_F(EmulationTest, BitmapRowsArePaddedToWordsAndBitsStayWithinThem) {
  std::vector<BYTE> bits(20);
  for (std::size_t i = 0; i < bits.size(); ++i) bits[i] = static_cast<BYTE>(i + 1);
  HBITMAP hBitmap = CreateBitmap(3, 2, 1, 24, bits.data());  // 9 bytes a row, padded to 10
  ASSERT_NE(hBitmap, nullptr);
  BITMAP info{};
  ASSERT_EQ(GetObjectA(hBitmap, sizeof info, &info), static_cast<int>(sizeof info));
  EXPECT_EQ(info.bmWidthBytes, 10);
  EXPECT_EQ(info.bmBitsPixel, 24);
  EXPECT_EQ(GetBitmapBits(hBitmap, 0, nullptr), 20);
  std::vector<BYTE> readBack(32, 0xEE);
  EXPECT_EQ(GetBitmapBits(hBitmap, static_cast<LONG>(readBack.size()), readBack.data()), 20);
  EXPECT_TRUE(std::equal(bits.begin(), bits.end(), readBack.begin()));
  EXPECT_EQ(readBack[20], 0xEE);
  const BYTE one[1] = {9};
  EXPECT_EQ(SetBitmapBits(hBitmap, 1, one), 1);
  EXPECT_EQ(SetBitmapBits(hBitmap, 40, readBack.data()), 20);
  EXPECT_EQ(SetBitmapBits(hBitmap, 2, nullptr), 0);
  EXPECT_EQ(GetObjectA(hBitmap, sizeof info - 1, &info), 0);
  EXPECT_EQ(GetBitmapBits(hBitmap, -1, &info), 0);
  EXPECT_TRUE(DeleteObject(hBitmap));
  EXPECT_FALSE(DeleteObject(hBitmap));
  EXPECT_EQ(GetBitmapBits(hBitmap, 4, &info), 0);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

  // Zero size makes a 1 x 1 monochrome bitmap; odd depths round up.
  for (const auto& [nWidth, nDepth, nBits] : {std::tuple{0, 24, 1}, std::tuple{1, 12, 16}}) {
    hBitmap = CreateBitmap(nWidth, 5, 1, static_cast<UINT>(nDepth), nullptr);
    ASSERT_NE(GetObjectA(hBitmap, sizeof info, &info), 0);
    EXPECT_EQ(info.bmWidth, 1);
    EXPECT_EQ(info.bmBitsPixel, nBits);
    EXPECT_TRUE(DeleteObject(hBitmap));
  }
  EXPECT_EQ(CreateBitmap(-1, 1, 1, 24, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(CreateBitmap(1, -1, 1, 24, nullptr), nullptr);
  EXPECT_EQ(CreateBitmap(1, 1, 2, 24, nullptr), nullptr);
  EXPECT_EQ(CreateBitmap(1, 1, 1, 33, nullptr), nullptr);
  EXPECT_EQ(CreateBitmap(1 << 20, 1 << 20, 1, 32, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
  HANDLE hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  EXPECT_FALSE(DeleteObject(hEvent)) << "a kernel handle is not a GDI object";
  EXPECT_TRUE(CloseHandle(hEvent));
}

// Whether CreateEventA succeeded, closing what it made.
bool CreateEventSucceeds() {
  HANDLE h = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  return h != nullptr && CloseHandle(h);
}

TEST_F(EmulationTest, FaultsFireOnTheirCallCountedFromWhenTheyWereSet) {
  emul::FailOperation("CreateEventA", E_FAIL, -1);  // ignored
  emul::FailOperation("CreateEventA", E_OUTOFMEMORY, 2);
  EXPECT_TRUE(CreateEventSucceeds());
  EXPECT_FALSE(CreateEventSucceeds());
  EXPECT_EQ(GetLastError(), 14u) << "E_OUTOFMEMORY carries ERROR_OUTOFMEMORY";
  EXPECT_TRUE(CreateEventSucceeds());
  emul::FailOperation("CreateEventA", E_FAIL);
  EXPECT_FALSE(CreateEventSucceeds());
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(E_FAIL)) << "not a Win32 code: passed whole";
  EXPECT_FALSE(CreateEventSucceeds()) << "0: every call until reset";
  emul::ResetFaults();
  EXPECT_TRUE(CreateEventSucceeds());

  CComApartment sta;
  void* pv = nullptr;
  emul::FailOperation("CoCreateInstance", E_FAIL, 2);
  EXPECT_EQ(CoCreateInstance(GUID_NULL, nullptr, CLSCTX_ALL, IID_IUnknown, &pv), REGDB_E_CLASSNOTREG);
  emul::FailOperation("CoCreateInstance", E_ABORT, 2);
  emul::FailOperation("CoCreateInstance", E_ACCESSDENIED, 3);
  EXPECT_EQ(CoCreateInstance(GUID_NULL, nullptr, CLSCTX_ALL, IID_IUnknown, &pv), E_FAIL);
  EXPECT_EQ(CoCreateInstance(GUID_NULL, nullptr, CLSCTX_ALL, IID_IUnknown, &pv), E_ABORT);
  EXPECT_EQ(CoCreateInstance(GUID_NULL, nullptr, CLSCTX_ALL, IID_IUnknown, &pv), E_ACCESSDENIED);
  EXPECT_EQ(CoCreateInstance(GUID_NULL, nullptr, CLSCTX_ALL, IID_IUnknown, &pv), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(emul::CallCount("CoCreateInstance"), 5);
  emul::FailOperation("SetEvent", E_ABORT, 1);
  emul::FailOperation("SetEvent", E_FAIL, 0);
  SetEvent(nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(E_ABORT)) << "the earlier fault wins";
  SetEvent(nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(E_FAIL));

  emul::ResetFaults();
  EXPECT_TRUE(emul::CallLog().empty());
  emul::FailOperation("WaitForSingleObject", HRESULT_FROM_WIN32(ERROR_NOT_FOUND));
  emul::FailOperation("VirtualAlloc", E_OUTOFMEMORY);
  emul::FailOperation("VirtualFree", E_FAIL);
  HANDLE h = CreateEventA(nullptr, TRUE, TRUE, nullptr);
  EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_FAILED);
  EXPECT_EQ(GetLastError(), ERROR_NOT_FOUND);
  EXPECT_EQ(VirtualAlloc(nullptr, 1, MEM_COMMIT, PAGE_READWRITE), nullptr);
  EXPECT_FALSE(VirtualFree(nullptr, 0, MEM_RELEASE));
  CloseHandle(h);
  EXPECT_EQ(emul::CallLog(),
            (std::vector<std::string>{"CreateEventA", "WaitForSingleObject", "VirtualAlloc", "VirtualFree", "CloseHandle"}));

  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([] {
      for (int n = 0; n < 500; ++n) emul::FaultFor("IMediaControl::Run");
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(emul::CallCount("IMediaControl::Run"), 2000);
}

TEST_F(EmulationTest, VirtualTimeAdvancesBySleeping) {
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
