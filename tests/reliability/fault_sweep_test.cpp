// Fault sweep: each application scenario is run once to learn the platform
// calls it makes, then again once per call with exactly that call failing
// (and once per operation with all its calls failing).
// After every faulted run the exports must have answered with their failure
// value and a documented code (or success), the camera must close with
// nothing left alive, and the same scenario must then run cleanly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <iostream>
#include <initializer_list>
#include <map>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "core/library.h"
#include "emul/allocation_fault.h"
#include "reliability_fixture.h"
#include "tests/display/x11_test_display.h"

namespace {

// A code no export records, put in the global slot before each call so that a
// failure that records nothing shows as this value.
constexpr uint32_t NOTHING_RECORDED = 0x0BADC0DEu;

constexpr uint32_t STANDARD_ID = IIDC_FORMATID(0, 0, IIDC_COLOR_YUV444);  // 160 x 120
constexpr uint32_t SCALABLE_ID = IIDC_FORMATID(IIDC_FORMAT_SCALABLE, 0, IIDC_COLOR_MONO8);

// One run of a scenario: every export's result is checked as it comes back,
// and the scenario stops at the first failure, as an application would.
class CRun {
 public:
  // Frames an earlier run released but never took (a fault stopped its
  // capture first) are taken back: they would pour into this run's capture
  // at once and wrap the ring under a frame the scenario has locked.
  explicit CRun(vcam::CSteppedClock& clock) : m_clock(clock) { m_clock.DropPending(); }

  // Before each export call. Written as run.Mark().Check(..., call, ...):
  // the object expression run.Mark() is sequenced before the arguments,
  // which allocate nothing, so that allocations are counted in the calls
  // under test alone.
  CRun& Mark() {
    SetErrorCode(-1, NOTHING_RECORDED);
    emul::CountAllocations(true);
    return *this;
  }

  // After it: bSucceeded is whether the result was the success value. On
  // failure the global slot must hold one of codes, or the marker when the
  // export may fail without recording anything. An exception thrown inside
  // may also leave the code every export records for it: IIDC_ERR_NO_MEMORY
  // for an allocation failure, IIDC_ERR_FAIL for any.
  bool Check(const char* pszExport, bool bSucceeded, std::span<const uint32_t> codes,
             bool bMayRecordNothing = false) {
    emul::CountAllocations(false);
    if (bSucceeded) {
      return true;
    }
    m_bFailed = true;
    const uint32_t dwCode = iidc_getlasterror(-1);
    const bool bThrowCode = (m_bThrows && dwCode == IIDC_ERR_FAIL) || (m_bOutOfMemory && dwCode == IIDC_ERR_NO_MEMORY);
    if (dwCode == NOTHING_RECORDED) {
      if (!bMayRecordNothing) {
        Problem() << pszExport << " failed and recorded nothing";
      }
    } else if (std::find(codes.begin(), codes.end(), dwCode) == codes.end() && !bThrowCode) {
      Problem() << pszExport << " failed with undocumented code 0x" << std::hex << dwCode;
    }
    return false;
  }
  bool Check(const char* pszExport, bool bSucceeded, std::initializer_list<uint32_t> codes,
             bool bMayRecordNothing = false) {
    return Check(pszExport, bSucceeded, std::span(codes.begin(), codes.size()), bMayRecordNothing);
  }

  std::ostringstream& Problem() {
    m_problems.emplace_back();
    return m_problems.back();
  }

  vcam::CSteppedClock& m_clock;
  iidc_handle m_hCamera = nullptr;
  bool m_bAttached = false;
  std::vector<std::vector<unsigned char>> m_buffers;  // the caller's ring, outliving the camera
  bool m_bFailed = false;
  bool m_bThrows = false;       // an operation or an allocation is made to throw
  bool m_bOutOfMemory = false;  // ... and what it throws is an allocation failure
  std::vector<std::ostringstream> m_problems;
};

// The documented codes of the calls the scenarios make.
const std::vector<uint32_t> HANDLE_OR_FAIL = {IIDC_ERR_INVALID_HANDLE, IIDC_ERR_FAIL};
const std::vector<uint32_t> ALLOC_CODES = {IIDC_ERR_INVALID_HANDLE, IIDC_ERR_CAPTURING, IIDC_ERR_NOT_PREPARED,
                                           IIDC_ERR_FAIL};
const std::vector<uint32_t> CAPTURE_CODES = {IIDC_ERR_INVALID_HANDLE, IIDC_ERR_CAPTURING, IIDC_ERR_NO_FRAMES,
                                             IIDC_ERR_FAIL};
const std::vector<uint32_t> FRAME_BYTES_CODES = {IIDC_ERR_INVALID_HANDLE, IIDC_ERR_FORMAT_UNAVAILABLE, IIDC_ERR_FAIL};
const std::vector<uint32_t> LOCK_CODES = {IIDC_ERR_INVALID_HANDLE, IIDC_ERR_NO_FRAMES};

bool Open(CRun& run) {
  return run.Mark().Check("iidc_open", (run.m_hCamera = iidc_open(0)) != nullptr,
                          {IIDC_ERR_INVALID_HANDLE, IIDC_ERR_ALREADY_OPEN, IIDC_ERR_NO_DEVICE, IIDC_ERR_FAIL});
}

bool SetSmallFormat(CRun& run) {
  return run.Mark().Check("iidc_setformat", iidc_setformat(run.m_hCamera, STANDARD_ID) == 1,
                          {IIDC_ERR_INVALID_HANDLE, IIDC_ERR_FORMAT_UNAVAILABLE, IIDC_ERR_FAIL});
}

bool OpenAndPrepare(CRun& run) {
  return Open(run) && SetSmallFormat(run) &&
         run.Mark().Check("iidc_preparecapture", iidc_preparecapture(run.m_hCamera) == 1,
                          {IIDC_ERR_INVALID_HANDLE, IIDC_ERR_ALREADY_PREPARED, IIDC_ERR_FAIL}, true);
}

// A frame counter that cannot be read is a platform failure.
bool ReadTransferInfo(CRun& run) {
  iidc_transferinfo transfer{};
  return run.Mark().Check("iidc_gettransferinfo",
                          iidc_gettransferinfo(run.m_hCamera, &transfer, sizeof transfer) == 1, HANDLE_OR_FAIL, true);
}

bool Idle(CRun& run) { return run.Mark().Check("iidc_idle", iidc_idle(run.m_hCamera) == 1, HANDLE_OR_FAIL); }

// Clears the graph and closes the camera.
bool ClearAndClose(CRun& run) {
  if (!run.Mark().Check("iidc_clearcapture", iidc_clearcapture(run.m_hCamera) == 1,
                        {IIDC_ERR_INVALID_HANDLE, IIDC_ERR_CAPTURING}) ||
      !run.Mark().Check("iidc_close", iidc_close(run.m_hCamera) == 1, {IIDC_ERR_INVALID_HANDLE})) {
    return false;
  }
  run.m_hCamera = nullptr;
  return true;
}

// Open the camera, read its catalogue, choose a format and rate, read and
// change a feature, read its identity, close.
void OpenAndConfigure(CRun& run) {
  int32_t nCount = 0;
  std::vector<uint32_t> ids;
  int32_t cbIds = 0;
  iidc_formatinfo format{};
  iidc_framerateinfo rates{};
  iidc_areainfo area{};
  iidc_featureinfo info{};
  info.id = IIDC_FEATURE_BRIGHTNESS;
  iidc_feature feature{IIDC_FEATURE_BRIGHTNESS, IIDC_FEATURESTATE_MANUAL | IIDC_FEATURESTATE_VALUE1, 100.0f, 0.0f};
  char szVendor[64];
  uint32_t dwInquiry = 0;
  if (!Open(run)) {
    return;
  }
  iidc_handle h = run.m_hCamera;
  if (run.Mark().Check("iidc_getformatcount", (nCount = iidc_getformatcount(h)) > 0, HANDLE_OR_FAIL) &&
      (ids.resize(static_cast<size_t>(nCount)), true) &&
      run.Mark().Check("iidc_getformatidlist",
                       (cbIds = iidc_getformatidlist(h, ids.data(), nCount * 4)) > 0 && cbIds <= nCount * 4,
                       {IIDC_ERR_INVALID_HANDLE, IIDC_ERR_INVALID_PARAMETER, IIDC_ERR_FAIL}) &&
      run.Mark().Check("iidc_getformatinfo", iidc_getformatinfo(h, &format, sizeof format, SCALABLE_ID) == 1,
                       {IIDC_ERR_INVALID_HANDLE, IIDC_ERR_INVALID_PARAMETER, IIDC_ERR_FORMAT_UNAVAILABLE,
                        IIDC_ERR_FAIL}) &&
      SetSmallFormat(run) &&
      run.Mark().Check("iidc_getframerateinfo", iidc_getframerateinfo(h, &rates, sizeof rates, STANDARD_ID) == 1,
                       {IIDC_ERR_INVALID_HANDLE, IIDC_ERR_INVALID_PARAMETER, IIDC_ERR_NOT_SUPPORTED, IIDC_ERR_FAIL}) &&
      run.Mark().Check("iidc_setframerate", iidc_setframerate(h, 15.0f) == 15.0f,
                       {IIDC_ERR_INVALID_HANDLE, IIDC_ERR_INVALID_PARAMETER, IIDC_ERR_FAIL}) &&
      run.Mark().Check("iidc_currentframerate", iidc_currentframerate(h) > 0.0f, HANDLE_OR_FAIL) &&
      run.Mark().Check("iidc_currentformat", iidc_currentformat(h) != 0, HANDLE_OR_FAIL) &&
      run.Mark().Check("iidc_getareainfo", iidc_getareainfo(h, &area, sizeof area, SCALABLE_ID) == 1,
                       {IIDC_ERR_INVALID_HANDLE, IIDC_ERR_INVALID_PARAMETER, IIDC_ERR_NOT_SUPPORTED,
                        IIDC_ERR_FORMAT_UNAVAILABLE, IIDC_ERR_FAIL}) &&
      run.Mark().Check("iidc_currentfeatureinfo", iidc_currentfeatureinfo(h, &info, 0) == 1,
                       {IIDC_ERR_INVALID_HANDLE}, true) &&
      run.Mark().Check("iidc_setfeature", iidc_setfeature(h, &feature, 0) != 0,
                       {IIDC_ERR_INVALID_HANDLE, IIDC_ERR_FAIL}, true) &&
      run.Mark().Check("iidc_currentfeature", iidc_currentfeature(h, &feature, 0) == 1,
                       {IIDC_ERR_INVALID_HANDLE, IIDC_ERR_INVALID_FEATURE, IIDC_ERR_FAIL}) &&
      run.Mark().Check("iidc_getstring", iidc_getstring(0, IIDC_STRING_VENDOR, szVendor, sizeof szVendor) > 0,
                       {IIDC_ERR_INVALID_HANDLE, IIDC_ERR_INVALID_PARAMETER, IIDC_ERR_NO_MEMORY, IIDC_ERR_FAIL}) &&
      run.Mark().Check("iidc1394_asyncreadquadlet", iidc1394_asyncreadquadlet(h, 0x100, &dwInquiry, 4) == 4, {},
                       true) &&
      run.Mark().Check("iidc_close", iidc_close(h) == 1, {IIDC_ERR_INVALID_HANDLE})) {
    run.m_hCamera = nullptr;
  }
}

// Whether the newest frame could be converted to a picture.
bool ConvertAndUnlock(iidc_handle h) {
  const bool bConverted = iidc_lockbits(h, -1) != nullptr;
  iidc_unlockbits(h);
  return bConverted;
}

// Prepare, allocate a ring, capture continuously while frames arrive, read
// the figures, a frame and its picture, stop and take everything down again.
void ContinuousCapture(CRun& run) {
  if (!OpenAndPrepare(run)) {
    return;
  }
  iidc_handle h = run.m_hCamera;
  iidc1394_isotransmissioninfo iso{};
  const iidc_waitinfo wait{IIDC_WAIT_FRAME, 0};
  // A ring short of its three buffers is a shortfall, for which nothing is
  // recorded; it ends the scenario, because the newest frame is locked
  // without waiting for the second one, and in a shorter ring that frame can
  // land in the buffer being read (a lock counts from the callback's next
  // choice of buffer). A picture that cannot be made records nothing; the
  // format queries it makes record theirs.
  if (run.Mark().Check("iidc_currentdataframebytes", iidc_currentdataframebytes(h) == 160 * 120 * 3,
                       FRAME_BYTES_CODES) &&
      run.Mark().Check("iidc_allocframe", iidc_allocframe(h, 3) == 3, ALLOC_CODES, true) &&
      run.Mark().Check("iidc_capture", iidc_capture(h, 1) == 1, CAPTURE_CODES) && (run.m_clock.Step(2), true) &&
      run.Mark().Check("iidc1394_currentisotransmissioninfo", iidc1394_currentisotransmissioninfo(h, &iso) == 4,
                       {IIDC_ERR_INVALID_HANDLE, IIDC_ERR_NOT_CAPTURING, IIDC_ERR_FAIL}) &&
      ReadTransferInfo(run) && run.Mark().Check("iidc_wait", iidc_wait(h, &wait, 0) != nullptr, {}, true) &&
      run.Mark().Check("iidc_lockdata", iidc_lockdata(h, -1) != nullptr, LOCK_CODES, true) &&
      (iidc_unlockdata(h), true) &&
      run.Mark().Check("iidc_lockbits", ConvertAndUnlock(h),
                       {IIDC_ERR_INVALID_HANDLE, IIDC_ERR_NO_FRAMES, IIDC_ERR_FORMAT_UNAVAILABLE,
                        IIDC_ERR_INVALID_PARAMETER, IIDC_ERR_FAIL},
                       true) &&
      Idle(run) &&
      run.Mark().Check("iidc_freeframe", iidc_freeframe(h) == 1,
                       {IIDC_ERR_INVALID_HANDLE, IIDC_ERR_CAPTURING, IIDC_ERR_FAIL}, true)) {
    ClearAndClose(run);
  }
}

// The application's own two buffers as the ring, one frame captured and
// read, the ring taken away again.
void SingleFrame(CRun& run) {
  int32_t cbFrame = 0;
  if (!OpenAndPrepare(run) ||
      !run.Mark().Check("iidc_currentdataframebytes",
                        (cbFrame = iidc_currentdataframebytes(run.m_hCamera)) == 160 * 120 * 3, FRAME_BYTES_CODES)) {
    return;
  }
  iidc_handle h = run.m_hCamera;
  run.m_buffers.assign(2, std::vector<unsigned char>(static_cast<size_t>(cbFrame)));
  unsigned char* ring[2] = {run.m_buffers[0].data(), run.m_buffers[1].data()};
  run.Mark();
  const int32_t nTaken = iidc_attachbuffer(h, ring, sizeof ring);
  run.m_bAttached = nTaken > 0;
  if (run.Check("iidc_attachbuffer", nTaken == 2,
                {IIDC_ERR_INVALID_HANDLE, IIDC_ERR_CAPTURING, IIDC_ERR_NOT_PREPARED, IIDC_ERR_NO_MEMORY,
                 IIDC_ERR_FAIL}) &&
      (run.m_clock.Step(1), true) && run.Mark().Check("iidc_capture", iidc_capture(h, 0) == 1, CAPTURE_CODES) &&
      run.Mark().Check("iidc_lockdata", iidc_lockdata(h, 0) != nullptr, LOCK_CODES, true) &&
      (iidc_unlockdata(h), true) &&
      run.Mark().Check("iidc_releasebuffer", iidc_releasebuffer(h) == 1,
                       {IIDC_ERR_INVALID_HANDLE, IIDC_ERR_CAPTURING, IIDC_ERR_FAIL})) {
    run.m_bAttached = false;
    ClearAndClose(run);
  }
}

// An application that quits while capturing: close has to stop and give
// back everything itself.
void CloseWhileCapturing(CRun& run) {
  if (OpenAndPrepare(run) &&
      run.Mark().Check("iidc_allocframe", iidc_allocframe(run.m_hCamera, 2) > 0, ALLOC_CODES, true) &&
      run.Mark().Check("iidc_capture", iidc_capture(run.m_hCamera, 1) == 1, CAPTURE_CODES)) {
    run.m_clock.Step(1);
    if (run.Mark().Check("iidc_close", iidc_close(run.m_hCamera) == 1, {IIDC_ERR_INVALID_HANDLE})) {
      run.m_hCamera = nullptr;
    }
  }
}

// The live display in the application's window: prepared, shown, run,
// stopped, taken down. A renderer without the quality interface fails
// without a code.
void WindowPreview(CRun& run, Window hOwner) {
  if (OpenAndPrepare(run) &&
      run.Mark().Check("iidc_setimagetowindow", iidc_setimagetowindow(run.m_hCamera, hOwner, 0, 0, 160, 120) == 1,
                       HANDLE_OR_FAIL, true) &&
      run.Mark().Check("iidc_capture", iidc_capture(run.m_hCamera, 1) == 1, HANDLE_OR_FAIL, true) &&
      (run.m_clock.Step(2), true) && ReadTransferInfo(run) && Idle(run)) {
    ClearAndClose(run);
  }
}

// Failures of these leave the platform holding what they were to give back;
// the library cannot do better than the platform here.
bool ReleasesPlatformResource(const std::string& strOp) {
  return strOp == "CloseHandle" || strOp == "VirtualFree";
}

// The failure an operation meets in the field besides E_FAIL, or E_FAIL.
HRESULT NaturalFailure(const std::string& strOp) {
  if (strOp == "CoTaskMemAlloc" || strOp == "CoTaskMemRealloc" || strOp == "SysAllocString" ||
      strOp == "SysAllocStringLen" || strOp == "VirtualAlloc" || strOp == "CreateEventA") {
    return E_OUTOFMEMORY;
  }
  if (strOp == "CoCreateInstance") {
    return REGDB_E_CLASSNOTREG;
  }
  return E_FAIL;
}

// How a failure point fails.
enum class Fault { Fails, ThrowsOutOfMemory, Throws, Allocation };

// One failure point: op failing with hr (or throwing) on its nth call, or on
// every call when nth is 0; or the nth allocation failing.
struct FailurePoint {
  Fault fault;
  std::string strOp;
  int nth;
  HRESULT hr = E_FAIL;

  std::string Describe() const {
    std::ostringstream s;
    if (fault == Fault::Allocation) {
      s << "allocation #" << nth << " failing";
      return s.str();
    }
    s << strOp << (nth == 0 ? " always" : " #" + std::to_string(nth));
    if (fault == Fault::Fails) {
      s << " failing (0x" << std::hex << static_cast<uint32_t>(hr) << ")";
    } else {
      s << (fault == Fault::Throws ? " throwing" : " throwing std::bad_alloc");
    }
    return s.str();
  }
};

// Every call of the log failing alone with E_FAIL, and again with its natural
// failure where that differs; every operation failing on all its calls, as a
// platform that has gone bad for good; every call throwing instead, of both
// kinds; and every allocation the exports make failing.
std::vector<FailurePoint> FailurePoints(const std::vector<std::string>& log, long nAllocations) {
  std::vector<FailurePoint> points;
  std::map<std::string, int> occurrences;
  for (const std::string& strOp : log) {
    const int nth = ++occurrences[strOp];
    points.push_back({Fault::Fails, strOp, nth});
    if (NaturalFailure(strOp) != E_FAIL) {
      points.push_back({Fault::Fails, strOp, nth, NaturalFailure(strOp)});
    }
    points.push_back({Fault::Throws, strOp, nth});
    points.push_back({Fault::ThrowsOutOfMemory, strOp, nth});
  }
  for (const auto& [strOp, nCalls] : occurrences) {
    points.push_back({Fault::Fails, strOp, 0});
  }
  for (long n = 1; n <= nAllocations; ++n) {
    points.push_back({Fault::Allocation, {}, static_cast<int>(n)});
  }
  return points;
}

// Arms the fault of point.
void Arm(const FailurePoint& point) {
  switch (point.fault) {
    case Fault::Fails:
      emul::FailOperation(point.strOp, point.hr, point.nth);
      break;
    case Fault::Throws:
    case Fault::ThrowsOutOfMemory:
      emul::ThrowFromOperation(point.strOp, point.fault == Fault::ThrowsOutOfMemory, point.nth);
      break;
    case Fault::Allocation:
      emul::FailAllocation(point.nth);
      break;
  }
}

// Whether the faulted call or allocation was reached in the run.
bool Reached(const FailurePoint& point) {
  return point.fault == Fault::Allocation ? emul::AllocationCount() >= point.nth
                                          : emul::CallCount(point.strOp) >= std::max(point.nth, 1);
}

class FaultSweepTest : public CReliabilityTest {
 protected:
  using Scenario = std::function<void(CRun&)>;

  void SetUp() override {
    CReliabilityTest::SetUp();
    Start();
  }

  void TearDown() override {
    emul::FailAllocation(0);
    CReliabilityTest::TearDown();
  }

  // Runs the scenario, closes what it left open, and reports its problems.
  // Returns whether every export succeeded; *pbReached receives whether the
  // point's fault was reached.
  bool RunOnce(const Scenario& scenario, const std::string& strWhat, const FailurePoint* pPoint = nullptr,
               bool* pbReached = nullptr) {
    CRun run(*m_clocks[0]);
    run.m_bThrows = pPoint != nullptr && pPoint->fault != Fault::Fails;
    run.m_bOutOfMemory = run.m_bThrows && pPoint->fault != Fault::Throws;
    scenario(run);
    emul::CountAllocations(false);
    const bool bFailed = run.m_bFailed;
    if (pbReached != nullptr) {
      *pbReached = Reached(*pPoint);
    }
    emul::ResetFaults();
    emul::FailAllocation(0);
    CloseAny(run.m_hCamera, run.m_bAttached);
    for (const auto& problem : run.m_problems) {
      ADD_FAILURE() << strWhat << ": " << problem.str();
    }
    return !bFailed;
  }

  void Sweep(const std::string& strName, const Scenario& scenario) {
    CLiveResources baseline;
    ASSERT_TRUE(RunOnce(scenario, strName + " warm-up"));
    ASSERT_EQ(CLiveResources(), baseline) << strName << " leaks without faults";

    emul::ResetFaults();
    emul::FailAllocation(0);
    CRun learn(*m_clocks[0]);
    scenario(learn);
    const std::vector<std::string> log = emul::CallLog();
    const long nAllocations = emul::AllocationCount();
    ASSERT_FALSE(learn.m_bFailed);
    ASSERT_EQ(learn.m_hCamera, nullptr);

    size_t nPoints = 0, nReached = 0;
    for (const FailurePoint& point : FailurePoints(log, nAllocations)) {
      const std::string strPoint = strName + " with " + point.Describe();
      emul::ResetFaults();
      Arm(point);
      bool bReached = false;
      // A single frame that a fault keeps from arriving gives up soon; the
      // clean runs keep the full bound, which a busy machine may need.
      SetSingleFrameTimeout(200);
      RunOnce(scenario, strPoint, &point, &bReached);
      SetSingleFrameTimeout(SINGLE_FRAME_TIMEOUT_MS);
      ++nPoints;
      nReached += bReached ? 1 : 0;

      if (point.fault == Fault::Fails && ReleasesPlatformResource(point.strOp)) {
        baseline = CLiveResources();
      }
      EXPECT_EQ(CLiveResources(), baseline) << strPoint << ": left behind";
      baseline = CLiveResources();
      EXPECT_TRUE(RunOnce(scenario, strPoint + ", then clean")) << strPoint << ": no clean run afterwards";
      EXPECT_EQ(CLiveResources(), baseline) << strPoint << ", then clean: left behind";
      if (HasFailure()) {
        return;  // one broken point is enough to read; the rest would repeat it
      }
    }
    std::cout << "[ sweep ] " << strName << ": " << nPoints << " failure points (" << nAllocations
              << " allocations), " << nReached << " reached\n";
    RecordProperty("failure_points", static_cast<int>(nPoints));
  }
};

TEST_F(FaultSweepTest, OpenAndConfigure) { Sweep("open and configure", OpenAndConfigure); }
TEST_F(FaultSweepTest, ContinuousCapture) { Sweep("continuous capture", ContinuousCapture); }
TEST_F(FaultSweepTest, SingleFrameIntoCallerBuffers) { Sweep("single frame", SingleFrame); }
TEST_F(FaultSweepTest, CloseWhileCapturing) { Sweep("close while capturing", CloseWhileCapturing); }
TEST_F(FaultSweepTest, WindowPreview) {
  CX11TestDisplay display;
  if (!display.IsOpen()) GTEST_SKIP() << "the display needs an X server (DISPLAY)";
  const Window hOwner = display.CreateOwner(320, 240, 0x000000);
  Sweep("window preview", [hOwner](CRun& run) { WindowPreview(run, hOwner); });
}

}  // namespace
