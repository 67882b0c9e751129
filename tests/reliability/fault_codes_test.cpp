// What each export answers when one platform call or one camera interface
// fails under it: its result, the code it records and the state it leaves,
// one row per failure. After every row the camera closes with nothing left
// alive and opens again.
#include <functional>
#include <string>
#include <vector>

#include "core/library.h"
#include "reliability_fixture.h"

namespace {

enum class From { NotStarted, Started, Opened, Prepared, Ready, Capturing };

constexpr uint32_t NOTHING = 0xFFFFFFFFu;  // no code recorded: the mark stays
constexpr uint32_t ANY = 0;                // the code is not part of the row
constexpr int32_t NO_HANDLE = -1;          // no camera to ask for its state

using Fail = std::function<void()>;

Fail Op(const char* pszOperation, int nCall = 0, HRESULT hr = E_FAIL) {
  return [=] { emul::FailOperation(pszOperation, hr, nCall); };
}
Fail Interface(REFIID riid) {
  const IID iid = riid;
  return [iid] { emul::FailInterface(iid); };
}
Fail Camera0(std::atomic<bool> vcam::CameraFaults::*pSwitch) {
  return [pSwitch] { vcam::GetCameraFaults(0).get()->*pSwitch = true; };
}

struct FaultRow {
  const char* pszWhat;
  From from;
  Fail fail;
  std::function<int64_t(iidc_handle)> call;
  int64_t nResult;
  uint32_t dwCode;
  int32_t nState;
  long nReservationsKept = 0;  // buffers the platform refused to give back
};

int64_t Opens(iidc_handle) { return iidc_open(0) != nullptr; }
int64_t Prepares(iidc_handle h) { return iidc_preparecapture(h); }
int64_t Captures(iidc_handle h) { return iidc_capture(h, 1); }
int64_t SetsRate(iidc_handle h) { return iidc_setframerate(h, 7.5f) == 7.5f; }
int64_t ReadsVendor(iidc_handle) {
  char text[32];
  return iidc_getstring(0, IIDC_STRING_VENDOR, text, sizeof text);
}
int64_t ShowsPreview(iidc_handle h) { return iidc_setimagetowindow(h, 0, 0, 0, 320, 240); }
int64_t ReadsRegister(iidc_handle h) {
  uint32_t value = 0x5A5A5A5A;
  return iidc1394_asyncreadquadlet(h, 0x100, &value, 4) + (value == 0x5A5A5A5A ? 0 : 100);
}
int64_t ListsFormats(iidc_handle h) {
  uint32_t ids[64];
  return iidc_getformatidlist(h, ids, sizeof ids);
}
int64_t ReadsShutter(iidc_handle h) {
  iidc_featureinfo info{IIDC_FEATURE_SHUTTER, 0, 0, 0.0f, 0.0f};
  iidc_feature feature{IIDC_FEATURE_SHUTTER, 0, 0.0f, 0.0f};
  return iidc_currentfeatureinfo(h, &info, 0) + 10 * iidc_currentfeature(h, &feature, 0);
}
int64_t ReadsGain(iidc_handle h) {
  iidc_feature feature{IIDC_FEATURE_GAIN, 0, 0.0f, 0.0f};
  return iidc_currentfeature(h, &feature, 0);
}
int64_t SetsGain(iidc_handle h) {
  const iidc_feature feature{IIDC_FEATURE_GAIN, IIDC_FEATURESTATE_MANUAL | IIDC_FEATURESTATE_VALUE1, 9.0f, 0.0f};
  return iidc_setfeature(h, &feature, 0) != 0;
}

const std::vector<FaultRow>& Rows() {
  const uint32_t E_FAIL_CODE = static_cast<uint32_t>(E_FAIL);
  static const std::vector<FaultRow> rows = {
      // Starting the library.
      {"start: device enumerator", From::NotStarted, Op("CoCreateInstance", 1), [](iidc_handle) { return int64_t{iidc_init()}; }, 0, ANY, NO_HANDLE},
      {"start: class enumerator", From::NotStarted, Op("ICreateDevEnum::CreateClassEnumerator", 1), [](iidc_handle) { return int64_t{iidc_init()}; }, 0, ANY, NO_HANDLE},
      // Opening: every step of the way.
      {"open: device enumerator", From::Started, Op("CoCreateInstance", 1), Opens, 0, IIDC_ERR_FAIL, NO_HANDLE},
      {"open: class enumerator", From::Started, Op("ICreateDevEnum::CreateClassEnumerator", 1), Opens, 0, IIDC_ERR_FAIL, NO_HANDLE},
      {"open: binding", From::Started, Op("IMoniker::BindToObject", 1), Opens, 0, IIDC_ERR_NO_DEVICE, NO_HANDLE},
      {"open: filter graph", From::Started, Op("CoCreateInstance", 2), Opens, 0, IIDC_ERR_FAIL, NO_HANDLE},
      {"open: adding the filter", From::Started, Op("IGraphBuilder::AddFilter", 1), Opens, 0, IIDC_ERR_FAIL, NO_HANDLE},
      {"open: graph builder", From::Started, Op("CoCreateInstance", 3), Opens, 0, IIDC_ERR_FAIL, NO_HANDLE},
      {"open: builder's graph", From::Started, Op("ICaptureGraphBuilder2::SetFiltergraph", 1), Opens, 0, IIDC_ERR_FAIL, NO_HANDLE},
      {"open: capture pin", From::Started, Op("ICaptureGraphBuilder2::FindPin", 1), Opens, 0, IIDC_ERR_FAIL, NO_HANDLE},
      {"open: no stream configuration", From::Started, Camera0(&vcam::CameraFaults::bNoStreamConfig), [](iidc_handle) {
         // It opens, but lists no format and selects none.
         iidc_handle h = iidc_open(0);
         const int64_t nFormats = iidc_getformatcount(h) + iidc_setformat(h, SMALL_ID);
         return int64_t{iidc_close(h)} + 10 * nFormats;
       }, 1, ANY, NO_HANDLE},
      {"open: no register access", From::Started, Camera0(&vcam::CameraFaults::bNoPropertySet), Opens, 0, IIDC_ERR_FAIL, NO_HANDLE},
      // Identity texts of a closed camera.
      {"identity: registers", From::Started, [] { vcam::GetCameraFaults(0)->readFailure.SetAll(); }, ReadsVendor, 0, IIDC_ERR_FAIL, NO_HANDLE},
      {"identity: no register access", From::Started, Camera0(&vcam::CameraFaults::bNoPropertySet), ReadsVendor, 0, IIDC_ERR_FAIL, NO_HANDLE},
      {"identity: binding", From::Started, Op("IMoniker::BindToObject", 1), ReadsVendor, 0, IIDC_ERR_INVALID_HANDLE, NO_HANDLE},
      {"identity: device enumerator", From::Started, Op("CoCreateInstance", 1), ReadsVendor, 0, IIDC_ERR_FAIL, NO_HANDLE},
      // Registers and features: a failed transfer leaves the value and
      // records nothing; a feature that cannot be read is a failure.
      {"register: address", From::Opened, Op("IKsPropertySet::Set", 1), ReadsRegister, 0, NOTHING, IIDC_STATE_OPENED},
      {"register: value", From::Opened, Op("IKsPropertySet::Get", 1), ReadsRegister, 0, NOTHING, IIDC_STATE_OPENED},
      {"feature: read", From::Opened, [] { vcam::GetCameraFaults(0)->readFailure.SetAll(); }, ReadsGain, 0, IIDC_ERR_FAIL, IIDC_STATE_OPENED},
      {"feature: absolute-value address", From::Opened, [] { vcam::GetCameraFaults(0)->readFailure.Set(0x700 + IIDC_FEATURE_SHUTTER, 0x700 + IIDC_FEATURE_SHUTTER); }, ReadsShutter, 0, IIDC_ERR_FAIL, IIDC_STATE_OPENED},
      {"feature: set, read", From::Opened, [] { vcam::GetCameraFaults(0)->readFailure.SetAll(); }, SetsGain, 0, ANY, IIDC_STATE_OPENED},
      {"feature: set, write", From::Opened, [] { vcam::GetCameraFaults(0)->writeFailure.SetAll(); }, SetsGain, 0, ANY, IIDC_STATE_OPENED},
      // The catalogue: a capability the driver cannot describe fails the
      // whole list, also after entries were written.
      {"catalogue: capability", From::Opened, Op("IAMStreamConfig::GetStreamCaps", 2), ListsFormats, 0, IIDC_ERR_FAIL, IIDC_STATE_OPENED},
      {"catalogue: capability without a type", From::Opened, [] { vcam::GetCameraFaults(0)->nExtraCaps = 1; }, ListsFormats, 0, IIDC_ERR_FAIL, IIDC_STATE_OPENED},
      // Preparing the capture graph: every step fails it.
      {"prepare: grabber", From::Opened, Op("CoCreateInstance", 1), Prepares, 0, IIDC_ERR_FAIL, IIDC_STATE_OPENED},
      {"prepare: grabber type", From::Opened, Op("ISampleGrabber::SetMediaType", 1), Prepares, 0, IIDC_ERR_FAIL, IIDC_STATE_OPENED},
      {"prepare: adding the grabber", From::Opened, Op("IGraphBuilder::AddFilter", 1), Prepares, 0, IIDC_ERR_FAIL, IIDC_STATE_OPENED},
      {"prepare: capture output", From::Opened, Op("ICaptureGraphBuilder2::FindPin", 1), Prepares, 0, IIDC_ERR_FAIL, IIDC_STATE_OPENED},
      {"prepare: grabber input", From::Opened, Op("ICaptureGraphBuilder2::FindPin", 2), Prepares, 0, IIDC_ERR_FAIL, IIDC_STATE_OPENED},
      {"prepare: first connection", From::Opened, Op("IGraphBuilder::Connect", 1), Prepares, 0, IIDC_ERR_FAIL, IIDC_STATE_OPENED},
      {"prepare: grabber output", From::Opened, Op("ICaptureGraphBuilder2::FindPin", 3), Prepares, 0, IIDC_ERR_FAIL, IIDC_STATE_OPENED},
      {"prepare: null renderer", From::Opened, Op("CoCreateInstance", 2), Prepares, 0, IIDC_ERR_FAIL, IIDC_STATE_OPENED},
      {"prepare: adding the renderer", From::Opened, Op("IGraphBuilder::AddFilter", 2), Prepares, 0, IIDC_ERR_FAIL, IIDC_STATE_OPENED},
      {"prepare: renderer input", From::Opened, Op("ICaptureGraphBuilder2::FindPin", 4), Prepares, 0, IIDC_ERR_FAIL, IIDC_STATE_OPENED},
      {"prepare: second connection", From::Opened, Op("IGraphBuilder::Connect", 2), Prepares, 0, IIDC_ERR_FAIL, IIDC_STATE_OPENED},
      {"prepare: frame counter", From::Opened, Camera0(&vcam::CameraFaults::bNoDroppedFrames), Prepares, 0, NOTHING, IIDC_STATE_OPENED},
      // Starting a capture: every step fails it but the counter's start.
      {"capture: one-shot mode", From::Ready, Op("ISampleGrabber::SetOneShot", 1), Captures, 0, IIDC_ERR_FAIL, IIDC_STATE_READY},
      {"capture: buffering mode", From::Ready, Op("ISampleGrabber::SetBufferSamples", 1), Captures, 0, IIDC_ERR_FAIL, IIDC_STATE_READY},
      {"capture: callback", From::Ready, Op("ISampleGrabber::SetCallback", 1), Captures, 0, IIDC_ERR_FAIL, IIDC_STATE_READY},
      {"capture: run", From::Ready, Op("IMediaControl::Run", 1), Captures, 0, IIDC_ERR_FAIL, IIDC_STATE_READY},
      {"capture: events", From::Ready, Interface(IID_IMediaEvent), Captures, 0, IIDC_ERR_FAIL, IIDC_STATE_READY},
      {"capture: counter's start", From::Ready, Op("IAMDroppedFrames::GetNumNotDropped", 1), Captures, 1, ANY, IIDC_STATE_CAPTURING},
      {"single frame: completion", From::Ready, Op("IMediaEvent::WaitForCompletion", 1), [](iidc_handle h) { return int64_t{iidc_capture(h, 0)}; }, 0, IIDC_ERR_FAIL, IIDC_STATE_READY},
      {"idle: stop", From::Capturing, Op("IMediaControl::Stop", 1), [](iidc_handle h) { return int64_t{iidc_idle(h)}; }, 0, IIDC_ERR_FAIL, IIDC_STATE_CAPTURING},
      // The ring: as many buffers as could be made; a format that cannot be
      // read; a graph that cannot settle; a buffer that cannot be freed.
      {"ring: third buffer", From::Prepared, Op("VirtualAlloc", 3, E_OUTOFMEMORY), [](iidc_handle h) { return int64_t{iidc_allocframe(h, 4)}; }, 2, NOTHING, IIDC_STATE_READY},
      {"ring: first buffer", From::Prepared, Op("VirtualAlloc", 1, E_OUTOFMEMORY), [](iidc_handle h) { return int64_t{iidc_allocframe(h, 4)}; }, 0, ANY, IIDC_STATE_PREPARED},
      {"ring: frame format", From::Prepared, Op("ISampleGrabber::GetConnectedMediaType"), [](iidc_handle h) { return int64_t{iidc_allocframe(h, 2)}; }, 0, IIDC_ERR_FAIL, IIDC_STATE_PREPARED},
      {"ring: free, frame format", From::Ready, Op("ISampleGrabber::GetConnectedMediaType"), [](iidc_handle h) { return int64_t{iidc_freeframe(h) + 10 * iidc_getframecount(h)}; }, 30, ANY, IIDC_STATE_READY},
      {"ring: release, settling", From::Ready, Op("IMediaControl::GetState", 1), [](iidc_handle h) { return int64_t{iidc_releasebuffer(h)}; }, 0, IIDC_ERR_FAIL, IIDC_STATE_READY},
      {"ring: free, one buffer", From::Ready, Op("VirtualFree", 2), [](iidc_handle h) { return int64_t{iidc_freeframe(h) + 10 * iidc_getframecount(h)}; }, 0, ANY, IIDC_STATE_PREPARED, 1},
      // Changes of format and rate: a refused rate is the caller's value;
      // the orientation and the pin's search are best effort; a failing step
      // of the teardown ends the walk there, and the change goes on.
      {"rate: refused", From::Opened, Op("IAMStreamConfig::SetFormat"), SetsRate, 0, IIDC_ERR_INVALID_PARAMETER, IIDC_STATE_OPENED},
      {"area: refused", From::Opened, Op("IKsPropertySet::Set"), [](iidc_handle h) { const iidc_area area{0, 0, 320, 240}; return int64_t{iidc_setarea(h, &area, sizeof area)}; }, 0, IIDC_ERR_INVALID_PARAMETER, IIDC_STATE_OPENED},
      {"format: pin search", From::Opened, Op("ICaptureGraphBuilder2::FindPin"), [](iidc_handle h) { return int64_t{iidc_setformat(h, IIDC_FORMATID(0, 5, 0))}; }, 1, ANY, IIDC_STATE_OPENED},
      {"format: orientation", From::Opened, Op("IAMVideoControl::SetMode"), [](iidc_handle h) { return int64_t{iidc_setformat(h, IIDC_FORMATID(0, 5, 0))}; }, 1, ANY, IIDC_STATE_OPENED},
      {"format: no orientation control", From::Opened, Camera0(&vcam::CameraFaults::bNoVideoControl), [](iidc_handle h) { return int64_t{iidc_setformat(h, IIDC_FORMATID(0, 5, 0))}; }, 1, ANY, IIDC_STATE_OPENED},
      {"teardown: pins", From::Prepared, Op("IBaseFilter::EnumPins"), SetsRate, 1, ANY, IIDC_STATE_OPENED},
      {"teardown: next pin", From::Prepared, Op("IEnumPins::Next"), SetsRate, 1, ANY, IIDC_STATE_OPENED},
      {"teardown: peer", From::Prepared, Op("IPin::ConnectedTo"), SetsRate, 1, ANY, IIDC_STATE_OPENED},
      {"teardown: peer's filter", From::Prepared, Op("IPin::QueryPinInfo"), SetsRate, 1, ANY, IIDC_STATE_OPENED},
      {"teardown: disconnection", From::Prepared, Op("IFilterGraph::Disconnect"), SetsRate, 1, ANY, IIDC_STATE_OPENED},
      {"teardown: removal", From::Prepared, Op("IFilterGraph::RemoveFilter"), SetsRate, 1, ANY, IIDC_STATE_OPENED},
      // The preview: the platform's own code where it gives one.
      {"preview: grabber output", From::Prepared, Op("ICaptureGraphBuilder2::FindPin"), ShowsPreview, 0, E_FAIL_CODE, IIDC_STATE_PREPARED},
      {"preview: render", From::Prepared, Op("IGraphBuilder::Render", 0, VFW_E_CANNOT_RENDER), ShowsPreview, 0, E_FAIL_CODE, IIDC_STATE_PREPARED},
  };
  return rows;
}

class FaultCodesTest : public CReliabilityTest {
 protected:
  // Camera 0 in the small format, walked to the row's starting state.
  iidc_handle Enter(From from) {
    if (from == From::NotStarted) {
      iidc_uninit();
      return nullptr;
    }
    if (from == From::Started) return nullptr;
    iidc_handle h = Open(0);
    EXPECT_TRUE(iidc_setformat(h, SMALL_ID));
    if (from >= From::Prepared) {
      EXPECT_TRUE(iidc_preparecapture(h));
    }
    if (from >= From::Ready) {
      EXPECT_EQ(iidc_allocframe(h, 3), 3);
    }
    if (from >= From::Capturing) {
      EXPECT_TRUE(iidc_capture(h, 1));
    }
    return h;
  }
};

TEST_F(FaultCodesTest, EachFailureAnswersAsItsRowSays) {
  // Camera 0's shutter in absolute mode, on registers that answer where an
  // absolute-value CSR whose address was never read would be taken to lie.
  std::vector<vcam::Profile> set = vcam::BuiltInCameraSet();
  for (vcam::FeatureProfile& f : set[0].features) f.bAbsMode = f.nId == IIDC_FEATURE_SHUTTER;
  set[0].rawRegisters = {{0x4, 0}, {0x8, 0}};
  Start(set);
  for (const FaultRow& row : Rows()) {
    SCOPED_TRACE(row.pszWhat);
    CLiveResources expected;
    expected.nReservations += row.nReservationsKept;
    iidc_handle h = Enter(row.from);
    m_clocks[0]->Step(1);  // a frame for a single-frame capture
    SetErrorCode(-1, NOTHING);
    SetErrorCode(0, NOTHING);
    row.fail();
    EXPECT_EQ(row.call(h), row.nResult);
    if (row.dwCode != ANY && row.from != From::NotStarted) {
      EXPECT_EQ(iidc_getlasterror(0), row.dwCode) << std::hex << iidc_getlasterror(0);
    }
    if (row.nState != NO_HANDLE) {
      EXPECT_EQ(iidc_getstatus(h), row.nState);
    }
    emul::ResetFaults();
    vcam::GetCameraFaults(0)->Clear();
    m_clocks[0]->DropPending();
    CloseAny(h);
    if (row.from == From::NotStarted) {
      ASSERT_TRUE(iidc_init());
    }
    EXPECT_EQ(CLiveResources(), expected) << "left behind";
    iidc_handle hAgain = Enter(From::Ready);
    ASSERT_NE(hAgain, nullptr);
    EXPECT_TRUE(iidc_capture(hAgain, 1)) << "the camera does not work again";
    CloseAny(hAgain);
  }
}

}  // namespace
