// Bad input everywhere: every export called with handles that are not open
// cameras, null pointers, zero, negative and huge sizes and indexes, and ids
// outside their tables answers its failure value and writes nothing it should
// not (the buffers around each output carry guard bytes).
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "core/library.h"
#include "reliability_fixture.h"

namespace {

constexpr uint32_t MARK = 0x0BADC0DEu;
constexpr unsigned char GUARD = 0xA5;

// A call of one export with the handle under test; true when it answered its
// failure value.
struct HandleCall {
  const char* pszName;
  std::function<bool(iidc_handle)> fails;
  bool bRecords;  // records IIDC_ERR_INVALID_HANDLE in the global slot
};

std::vector<HandleCall> EveryHandleCall() {
  static iidc_formatinfo format;
  static iidc_framerateinfo rates;
  static iidc_areainfo areaInfo;
  static iidc_area area{0, 0, 64, 64};
  static iidc_transferinfo transfer;
  static iidc1394_isotransmissioninfo iso;
  static iidc_featureinfo featureInfo{IIDC_FEATURE_BRIGHTNESS, 0, 0, 0, 0};
  static iidc_feature feature{IIDC_FEATURE_BRIGHTNESS, IIDC_FEATURESTATE_MANUAL, 1, 0};
  static uint32_t ids[64];
  static uint32_t dwValue = 0;
  static unsigned char buffer[64];
  static unsigned char* ring[2] = {buffer, nullptr};
  static const iidc_waitinfo wait{IIDC_WAIT_FRAME, 0};
  const uint32_t id = IIDC_FORMATID(0, 0, 3);
  return {
      {"iidc_close", [](iidc_handle h) { return iidc_close(h) == 0; }, true},
      {"iidc_handletoindex", [](iidc_handle h) { return iidc_handletoindex(h) == -1; }, true},
      {"iidc1394_asyncreadquadlet", [](iidc_handle h) { return iidc1394_asyncreadquadlet(h, 0, &dwValue, 4) == 0; }, false},
      {"iidc1394_asyncwritequadlet", [](iidc_handle h) { return iidc1394_asyncwritequadlet(h, 0, &dwValue, 4) == 0; }, false},
      {"iidc_getformatcount", [](iidc_handle h) { return iidc_getformatcount(h) == 0; }, true},
      {"iidc_getformatidlist", [](iidc_handle h) { return iidc_getformatidlist(h, ids, sizeof ids) == 0; }, true},
      {"iidc_getformatinfo", [id](iidc_handle h) { return iidc_getformatinfo(h, &format, sizeof format, id) == 0; }, true},
      {"iidc_currentformat", [](iidc_handle h) { return iidc_currentformat(h) == 0; }, true},
      {"iidc_setformat", [id](iidc_handle h) { return iidc_setformat(h, id) == 0; }, true},
      {"iidc_getframerateinfo", [id](iidc_handle h) { return iidc_getframerateinfo(h, &rates, sizeof rates, id) == 0; }, true},
      {"iidc_currentframerate", [](iidc_handle h) { return iidc_currentframerate(h) == 0.0f; }, true},
      {"iidc_setframerate", [](iidc_handle h) { return iidc_setframerate(h, 15.0f) == 0.0f; }, true},
      {"iidc_getareainfo", [](iidc_handle h) { return iidc_getareainfo(h, &areaInfo, sizeof areaInfo, IIDC_FORMATID(7, 0, 0)) == 0; }, true},
      {"iidc_currentarea", [](iidc_handle h) { return iidc_currentarea(h, &area, sizeof area) == 0; }, true},
      {"iidc_setarea", [](iidc_handle h) { return iidc_setarea(h, &area, sizeof area) == 0; }, true},
      {"iidc_currentdataframebytes", [](iidc_handle h) { return iidc_currentdataframebytes(h) == 0; }, true},
      {"iidc_gettransferinfo", [](iidc_handle h) { return iidc_gettransferinfo(h, &transfer, sizeof transfer) == 0; }, false},
      {"iidc1394_currentisotransmissioninfo", [](iidc_handle h) { return iidc1394_currentisotransmissioninfo(h, &iso) == 0; }, true},
      {"iidc_currentfeatureinfo", [](iidc_handle h) { return iidc_currentfeatureinfo(h, &featureInfo, 0) == 0; }, false},
      {"iidc_currentfeature", [](iidc_handle h) { return iidc_currentfeature(h, &feature, 0) == 0; }, true},
      {"iidc_setfeature", [](iidc_handle h) { return iidc_setfeature(h, &feature, 0) == 0; }, false},
      {"iidc_allocframe", [](iidc_handle h) { return iidc_allocframe(h, 2) == 0; }, true},
      {"iidc_freeframe", [](iidc_handle h) { return iidc_freeframe(h) == 0; }, true},
      {"iidc_attachbuffer", [](iidc_handle h) { return iidc_attachbuffer(h, ring, sizeof ring) == 0; }, true},
      {"iidc_releasebuffer", [](iidc_handle h) { return iidc_releasebuffer(h) == 0; }, true},
      {"iidc_getframecount", [](iidc_handle h) { return iidc_getframecount(h) == 0; }, true},
      {"iidc_preparecapture", [](iidc_handle h) { return iidc_preparecapture(h) == 0; }, true},
      {"iidc_capture", [](iidc_handle h) { return iidc_capture(h, 1) == 0; }, true},
      {"iidc_idle", [](iidc_handle h) { return iidc_idle(h) == 0; }, true},
      {"iidc_clearcapture", [](iidc_handle h) { return iidc_clearcapture(h) == 0; }, true},
      {"iidc_getstatus", [](iidc_handle h) { return iidc_getstatus(h) == 0; }, true},
      {"iidc_wait", [](iidc_handle h) { return iidc_wait(h, &wait, 0) == nullptr; }, true},
      {"iidc_waitabort", [](iidc_handle h) { return iidc_waitabort(h, nullptr) == 0; }, true},
      {"iidc_lockdata", [](iidc_handle h) { return iidc_lockdata(h, 0) == nullptr; }, true},
      {"iidc_unlockdata", [](iidc_handle h) { iidc_unlockdata(h); return true; }, true},
      {"iidc_getbits", [](iidc_handle h) { return iidc_getbits(h) == 0; }, true},
      {"iidc_getbitslutrange", [](iidc_handle h) { return iidc_getbitslutrange(h, 0, 255) == 0; }, false},
      {"iidc_setbitslutrange", [](iidc_handle h) { return iidc_setbitslutrange(h, 0, 255) == 0; }, false},
  };
}

class BadInputTest : public CReliabilityTest {
 protected:
  // Calls every per-camera export with h, which is not an open camera: a
  // code goes to the global slot only. Without a started library there is
  // no slot to record in.
  void ExpectRefusedEverywhere(iidc_handle h, const char* pszWhat, bool bStarted = true) {
    for (const HandleCall& call : EveryHandleCall()) {
      SetErrorCode(0, MARK);
      EXPECT_TRUE(call.fails(h)) << call.pszName << " accepted " << pszWhat;
      if (call.bRecords && bStarted) {
        EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_HANDLE) << call.pszName << " with " << pszWhat;
      }
      if (bStarted) {
        EXPECT_EQ(iidc_getlasterror(0), MARK) << call.pszName << " with " << pszWhat;
      }
    }
  }
};

TEST_F(BadInputTest, HandlesThatAreNotOpenCamerasAreRefusedByEveryExport) {
  Start();
  iidc_handle hOpen = Open(0);
  ASSERT_NE(hOpen, nullptr);
  iidc_handle hStale = Open(1);
  ASSERT_TRUE(iidc_close(hStale));

  // Looks like a camera to anything that reads it; must never be read.
  std::array<unsigned char, 4096> junk;
  junk.fill(0xFF);
  ExpectRefusedEverywhere(nullptr, "a null handle");
  ExpectRefusedEverywhere(hStale, "a closed camera");
  ExpectRefusedEverywhere(reinterpret_cast<iidc_handle>(junk.data()), "a pointer to junk");
  ExpectRefusedEverywhere(reinterpret_cast<iidc_handle>(reinterpret_cast<unsigned char*>(hOpen) + 4),
                          "a pointer into an open camera");
  ExpectRefusedEverywhere(reinterpret_cast<iidc_handle>(~uintptr_t{0} & ~uintptr_t{7}), "an invented address");

  // The open camera was left alone by all of that.
  EXPECT_EQ(iidc_getstatus(hOpen), IIDC_STATE_OPENED);
  EXPECT_TRUE(iidc_close(hOpen));
}

TEST_F(BadInputTest, NothingWorksBeforeTheLibraryIsStarted) {
  vcam::InstallSteppedCameraSet();
  char text[16];
  EXPECT_EQ(iidc_getcameracount(), 0);
  EXPECT_EQ(iidc_open(0), nullptr);
  EXPECT_EQ(iidc_getstring(0, IIDC_STRING_VENDOR, text, sizeof text), 0);
  EXPECT_EQ(iidc_getbustype(0), 0u);
  EXPECT_EQ(iidc_getlasterror(-1), 0u);
  EXPECT_EQ(iidc_getlasterror(0), 0u);
  iidc_uninit();  // not started: nothing to do
  ExpectRefusedEverywhere(nullptr, "no library", false);
}

TEST_F(BadInputTest, CameraIndexesAndIdentityRequestsOutsideTheirRange) {
  Start();
  // A camera plugged in after the start names index 2 but is not counted.
  const std::vector<vcam::Profile> pair = vcam::BuiltInCameraSet();
  vcam::InstallSteppedCameraSet({pair[0], pair[1], pair[0]});
  char text[64];
  for (int32_t index : {-1, 2, 3, INT_MAX, INT_MIN}) {
    SetErrorCode(-1, MARK);
    EXPECT_EQ(iidc_open(index), nullptr) << index;
    EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_HANDLE) << index;
    for (uint32_t id : {IIDC_STRING_UNIQUEID, IIDC_STRING_VENDOR, IIDC_STRING_MODEL}) {
      SetErrorCode(-1, MARK);
      std::memset(text, GUARD, sizeof text);
      EXPECT_EQ(iidc_getstring(index, id, text, sizeof text), 0) << index << " " << id;
      EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_HANDLE) << index << " " << id;
      EXPECT_EQ(text[0], static_cast<char>(GUARD)) << index << " " << id;
    }
    // The bus type of any negative index is known; no slot past the last.
    EXPECT_EQ(iidc_getbustype(index), index < 0 ? IIDC_BUSTYPE_1394 : 0u) << index;
    EXPECT_EQ(iidc_getlasterror(index), index < 0 ? IIDC_ERR_INVALID_HANDLE : 0u) << index;
  }
  EXPECT_EQ(iidc_getcapability(3, IIDC_CAPABILITY_INTERFACE), 0u);
  EXPECT_EQ(iidc_getcapability(INT_MAX, IIDC_CAPABILITY_INTERFACE), 0u);
  EXPECT_EQ(iidc_getcapability(0, UINT32_MAX), 0u);

  const int32_t cbVendor = iidc_getstring(0, IIDC_STRING_VENDOR, nullptr, 0);
  ASSERT_GT(cbVendor, 1);
  for (uint32_t id : {0u, 0x7Fu, 0x83u, 0xFFFFFFFFu}) {
    std::memset(text, GUARD, sizeof text);
    EXPECT_EQ(iidc_getstring(0, id, text, sizeof text), 0) << id;
    EXPECT_EQ(iidc_getlasterror(0), IIDC_ERR_INVALID_PARAMETER) << id;
  }
  for (int32_t size : {0, -1, INT_MIN, cbVendor - 1}) {
    std::memset(text, GUARD, sizeof text);
    EXPECT_EQ(iidc_getstring(0, IIDC_STRING_VENDOR, text, size), 0) << size;
    EXPECT_EQ(text[0], static_cast<char>(GUARD)) << size;
  }
  // Exactly the text, no terminating zero, whatever room there is.
  std::memset(text, GUARD, sizeof text);
  EXPECT_EQ(iidc_getstring(0, IIDC_STRING_VENDOR, text, INT_MAX), cbVendor);
  EXPECT_EQ(text[cbVendor], static_cast<char>(GUARD));
}

TEST_F(BadInputTest, QueriesRefuseNullRecordsAndIdsOutsideTheirTables) {
  iidc_handle h = Open(0);
  const int32_t nCount = iidc_getformatcount(h);
  ASSERT_GT(nCount, 0);
  // The list: refused without room, and never past the ids there are.
  std::vector<uint32_t> ids(static_cast<size_t>(nCount) + 4, 0xA5A5A5A5u);
  EXPECT_EQ(iidc_getformatidlist(h, nullptr, 64), 0);
  EXPECT_EQ(iidc_getlasterror(0), IIDC_ERR_INVALID_PARAMETER);
  for (int32_t size : {0, -4, INT_MIN, 3}) {
    EXPECT_LE(iidc_getformatidlist(h, ids.data(), size), 0) << size;
  }
  EXPECT_EQ(ids[0], 0xA5A5A5A5u) << "an id written into fewer than four bytes";
  const int32_t cbList = iidc_getformatidlist(h, ids.data(), INT_MAX);
  ASSERT_GT(cbList, 0);
  EXPECT_LE(cbList, nCount * 4);
  for (size_t i = static_cast<size_t>(cbList) / 4; i < ids.size(); ++i) {
    EXPECT_EQ(ids[i], 0xA5A5A5A5u) << "written past the list at " << i;
  }
  iidc_formatinfo format{};
  EXPECT_EQ(iidc_getformatinfo(h, nullptr, sizeof format, IIDC_FORMATID(0, 0, 3)), 0);
  EXPECT_EQ(iidc_getlasterror(0), IIDC_ERR_INVALID_PARAMETER);
  EXPECT_EQ(iidc_getformatinfo(h, &format, 0, IIDC_FORMATID(0, 0, 3)), 0);
  for (uint32_t format3to6 : {3u, 4u, 5u, 6u}) {
    EXPECT_EQ(iidc_getformatinfo(h, &format, sizeof format, IIDC_FORMATID(format3to6, 0, 0)), 0);
    EXPECT_EQ(iidc_getlasterror(0), IIDC_ERR_FORMAT_UNAVAILABLE);
  }
  EXPECT_EQ(iidc_getformatinfo(h, &format, sizeof format, 0xFFFFFFFFu), 0) << "Format 7 mode 7: absent";
  EXPECT_EQ(iidc_getframerateinfo(h, nullptr, 12, IIDC_FORMATID(0, 0, 3)), 0);
  EXPECT_EQ(iidc_getlasterror(-1), IIDC_ERR_INVALID_PARAMETER);
  iidc_areainfo areaInfo{};
  iidc_area area{};
  EXPECT_EQ(iidc_getareainfo(h, nullptr, 24, IIDC_FORMATID(7, 0, 0)), 0);
  EXPECT_EQ(iidc_getlasterror(0), IIDC_ERR_INVALID_PARAMETER);
  EXPECT_EQ(iidc_getareainfo(h, &areaInfo, 24, IIDC_FORMATID(7, 7, 0)), 0);
  EXPECT_EQ(iidc_getlasterror(0), IIDC_ERR_FORMAT_UNAVAILABLE);
  EXPECT_EQ(iidc_currentarea(h, nullptr, 16), 0);
  for (const iidc_area& bad : {iidc_area{-8, -8, 64, 64}, iidc_area{0, 0, -64, 64}, iidc_area{0, 0, 0, 0},
                               iidc_area{INT_MAX, INT_MAX, INT_MAX, INT_MAX}, iidc_area{INT_MIN, 0, 8, INT_MIN}}) {
    area = bad;
    EXPECT_EQ(iidc_setarea(h, &area, sizeof area), 0) << bad.left << "," << bad.top << " " << bad.width;
  }
  EXPECT_EQ(iidc_setformat(h, IIDC_FORMATID(0, 7, 0)), 0);
  EXPECT_EQ(iidc_setformat(h, IIDC_FORMATID(4, 0, 0)), 0);
  for (float rate : {-1.0f, 0.0f, -std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN(),
                     29.0f}) {
    EXPECT_EQ(iidc_setframerate(h, rate), 0.0f) << rate;
  }
  // 10^7 / (78125 * 2^-56) is 2^63 exactly: just past a 64-bit interval.
  EXPECT_EQ(iidc_setframerate(h, std::ldexp(78125.0f, -56)), 0.0f);
  EXPECT_EQ(iidc_getlasterror(0), IIDC_ERR_INVALID_PARAMETER);
  // Rates whose interval rounds to nothing are the driver's to judge.
  iidc_setframerate(h, 1e30f);
  iidc_setframerate(h, std::numeric_limits<float>::infinity());
  EXPECT_GT(iidc_currentframerate(h), 0.0f) << "a refused rate left no rate in force";

  // Features and registers: null records, ids of no feature (which the
  // setter takes as given: some register, never memory), wild values.
  EXPECT_EQ(iidc_currentfeatureinfo(h, nullptr, 0), 0);
  EXPECT_EQ(iidc_currentfeature(h, nullptr, 0), 0);
  EXPECT_EQ(iidc_setfeature(h, nullptr, 0), 0u);
  EXPECT_EQ(iidc_getlasterror(0), IIDC_ERR_INVALID_PARAMETER);
  for (uint32_t id : {1u, 52u, 124u, 144u, 0x80000000u, 0xFFFFFFFFu}) {
    iidc_featureinfo info{id, 7, 7, 1.0f, 2.0f};
    EXPECT_EQ(iidc_currentfeatureinfo(h, &info, 0), 0) << id;
    EXPECT_EQ(info.flags, 0u) << "the inquiry clears the flags";
    iidc_feature feature{id, IIDC_FEATURESTATE_MANUAL | IIDC_FEATURESTATE_VALUE1, 1.0f, 1.0f};
    EXPECT_EQ(iidc_currentfeature(h, &feature, 0), 0) << id;
    EXPECT_EQ(iidc_getlasterror(0), IIDC_ERR_INVALID_FEATURE) << id;
    iidc_setfeature(h, &feature, 0);
  }
  iidc_feature wild{IIDC_FEATURE_SHUTTER, 0xFFFFFFFFu, -1e30f, std::numeric_limits<float>::quiet_NaN()};
  iidc_setfeature(h, &wild, 0);
  uint32_t dwValue = 0;
  EXPECT_EQ(iidc1394_asyncreadquadlet(h, 0, nullptr, 4), 0);
  EXPECT_EQ(iidc1394_asyncwritequadlet(h, 0, nullptr, 4), 0);
  for (uint32_t offset : {1u, 2u, 0xFFFFFFFCu, 0x7FFFFFFCu, 0xF0000000u}) {
    iidc1394_asyncreadquadlet(h, offset, &dwValue, 4);
    iidc1394_asyncreadquadlet(h, offset, &dwValue, -1);
    iidc1394_asyncreadquadlet(h, offset, &dwValue, INT_MAX);
  }
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_OPENED);
}

TEST_F(BadInputTest, RingCallsRefuseCountsSizesAndIndexesThatAreNoRing) {
  iidc_handle h = Open(0);
  ASSERT_TRUE(iidc_setformat(h, SMALL_ID));
  ASSERT_TRUE(iidc_preparecapture(h));
  for (int32_t count : {0, -1, INT_MIN}) {
    EXPECT_EQ(iidc_allocframe(h, count), 0) << count;
    EXPECT_EQ(iidc_getframecount(h), 0u) << count;
  }
  std::vector<unsigned char> frame(static_cast<size_t>(iidc_currentdataframebytes(h)));
  unsigned char* noRing[2] = {nullptr, frame.data()};
  EXPECT_EQ(iidc_attachbuffer(h, nullptr, 16), 0);
  EXPECT_EQ(iidc_attachbuffer(h, noRing, sizeof noRing), 0);
  unsigned char* ring[2] = {frame.data(), nullptr};
  for (int32_t size : {0, -8, INT_MIN, static_cast<int32_t>(sizeof(void*)) - 1}) {
    EXPECT_EQ(iidc_attachbuffer(h, ring, size), 0) << size;
  }
  EXPECT_EQ(iidc_getstatus(h), IIDC_STATE_PREPARED);
  // A ring of one caller buffer: indexes past it are refused, the lock of a
  // good index stays.
  ASSERT_EQ(iidc_attachbuffer(h, ring, sizeof(void*)), 1);
  ASSERT_TRUE(iidc_capture(h, 1));
  EXPECT_EQ(iidc_lockdata(h, 0), frame.data());
  for (int32_t index : {1, 2, 32, 33, INT_MAX}) {
    EXPECT_EQ(iidc_lockdata(h, index), nullptr) << index;
  }
  EXPECT_EQ(iidc_lockdata(h, INT_MIN), frame.data());
  iidc_unlockdata(h);
  // Null records of a running capture, each refused with its own code.
  for (const auto& [pszName, refuses] : std::vector<std::pair<const char*, std::function<bool()>>>{
           {"transfer", [h] { return iidc_gettransferinfo(h, nullptr, 8) == 0; }},
           {"iso", [h] { return iidc1394_currentisotransmissioninfo(h, nullptr) == 0; }},
           {"wait", [h] { return iidc_wait(h, nullptr, 0) == nullptr; }}}) {
    SetErrorCode(0, MARK);
    EXPECT_TRUE(refuses()) << pszName;
    EXPECT_EQ(iidc_getlasterror(0), IIDC_ERR_INVALID_PARAMETER) << pszName;
  }
  for (uint32_t kind : {0u, 1u, 3u, 5u, 0xFFFFFFFFu}) {
    const iidc_waitinfo wait{kind, DEADLINE_MS};
    SetErrorCode(0, MARK);
    EXPECT_EQ(iidc_wait(h, &wait, 0), nullptr) << "kind " << kind << " is no wait";
    EXPECT_EQ(iidc_getlasterror(0), MARK) << "kind " << kind << " recorded a code";
  }
  // An abort with an event that is none signals nothing, but still ends the
  // next wait as aborted once that wait wakes.
  EXPECT_TRUE(iidc_waitabort(h, reinterpret_cast<iidc_event>(uintptr_t{0x7FFF0000})));
  EXPECT_TRUE(iidc_waitabort(h, nullptr));
  const iidc_waitinfo brief{IIDC_WAIT_FRAME, 0};
  EXPECT_EQ(iidc_wait(h, &brief, 0), nullptr);
  EXPECT_EQ(iidc_getlasterror(0), IIDC_ERR_WAIT_ABORTED);
  EXPECT_TRUE(iidc_idle(h));
  EXPECT_TRUE(iidc_releasebuffer(h));

  // A huge count costs only the buffers obtained: the platform runs out of
  // pages after 100, and the ring has 100, not a list sized for two
  // thousand million first.
  emul::FailOperation("VirtualAlloc", E_OUTOFMEMORY, 101);
  EXPECT_EQ(iidc_allocframe(h, INT_MAX), 100);
  emul::ResetFaults();
  EXPECT_TRUE(iidc_freeframe(h));
  ASSERT_EQ(iidc_allocframe(h, 65), 65) << "exactly the count asked for when the platform has enough";
  EXPECT_TRUE(iidc_freeframe(h));
  EXPECT_TRUE(iidc_close(h));
}

}  // namespace
