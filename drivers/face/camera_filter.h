// The capture source filter every camera driver shows the library: one video
// output pin (CCameraPin), the camera's register and Format 7 area property
// set (IKsPropertySet), frame counters (IAMDroppedFrames) and vertical
// flipping (IAMVideoControl), answered the same way whatever reaches the
// camera, so the library drives any driver's filter without knowing which.
// It is written against the standard interfaces only, so a driver's filter
// can also be registered as a video input device in a real DirectShow.
//
// A driver's filter derives from it: it names the camera (Device) and its
// streaming thread (Stream), and may take interfaces away or hear requests
// through the hooks below, whose defaults suit a camera without fault
// switches. It stops itself in its own destructor, while its stream still
// exists (a graph stops its filters before letting them go; a filter
// released while running decommits its allocator there before the streaming
// thread, which may be waiting for a buffer, is joined).
//
// The streaming thread reports a camera found lost with NoteDeviceLost:
// EC_DEVICE_LOST goes to the graph once.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "winapi.h"
#include "base/filter_base.h"
#include "drivers/face/camera_pin.h"
#include "drivers/face/camera_stream.h"
#include "drivers/face/media_format.h"
#include "vcam/model/camera_device.h"

namespace vcam {

class CCameraFilter : public CFilterBase,
                      public IKsPropertySet,
                      public IAMDroppedFrames,
                      public IAMVideoControl {
 public:
  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // IUnknown, one for all the filter's interfaces.
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return CFilterBase::QueryInterface(riid, ppv); }
  STDMETHODIMP_(ULONG) AddRef() override { return CFilterBase::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return CFilterBase::Release(); }

  // IMediaFilter: a live source cannot cue frames while paused.
  STDMETHODIMP GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* pState) override;

  // IKsPropertySet: PROPSETID_IIDC_CAMERA (property_set.h). Id 5 reads a
  // register (Set names it, Get returns it in bytes 60-63), id 6 writes one,
  // id 0 requests the Format 7 area (0x80070490 when the camera is not in
  // Format 7).
  STDMETHODIMP Set(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                   LPVOID pPropData, DWORD cbPropData) override;
  STDMETHODIMP Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                   LPVOID pPropData, DWORD cbPropData, DWORD* pcbReturned) override;
  STDMETHODIMP QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport) override;

  // IAMDroppedFrames: counts of the current stream.
  STDMETHODIMP GetNumDropped(LONG* plDropped) override;
  STDMETHODIMP GetNumNotDropped(LONG* plNotDropped) override;
  STDMETHODIMP GetDroppedInfo(LONG lSize, LONG* plArray, LONG* plNumCopied) override;
  STDMETHODIMP GetAverageFrameSize(LONG* plAverageSize) override;

  // IAMVideoControl: VideoControlFlag_FlipVertical only.
  STDMETHODIMP GetCaps(IPin* pPin, LONG* pCapsFlags) override;
  STDMETHODIMP SetMode(IPin* pPin, LONG Mode) override;
  STDMETHODIMP GetMode(IPin* pPin, LONG* pMode) override;
  STDMETHODIMP GetCurrentActualFrameRate(IPin* pPin, LONGLONG* pActualFrameRate) override;
  STDMETHODIMP GetMaxAvailableFrameRate(IPin* pPin, LONG iIndex, SIZE Dimensions,
                                        LONGLONG* pMaxAvailableFrameRate) override;
  STDMETHODIMP GetFrameRateList(IPin* pPin, LONG iIndex, SIZE Dimensions, LONG* pListSize,
                                LONGLONG** pFrameRates) override;

  // CFilterBase
  int GetPinCount() override { return 1; }
  CPinBase* GetPin(int n) override;

  // For the pin and the streaming thread.
  // The camera behind the face; it does not change while the filter is
  // connected or streams.
  virtual CCameraDevice& Device() const = 0;
  bool FlipVertical() const {
    return (m_nVideoMode.load(std::memory_order_acquire) & VideoControlFlag_FlipVertical) != 0;
  }
  void NoteDeviceLost();

  // Driver hooks, asked by the filter and its pin.
  // Whether QueryInterface hands out riid: the filter's IKsPropertySet,
  // IAMDroppedFrames and IAMVideoControl, the pin's IAMStreamConfig. Without
  // IKsPropertySet the pin no longer passes the camera property set on.
  virtual bool Offers(REFIID /*riid*/) const { return true; }
  // Capabilities GetNumberOfCapabilities counts past the camera's modes
  // (GetStreamCaps answers S_FALSE for them, as past its last mode).
  virtual std::size_t ExtraCapabilities() const { return 0; }
  // Bytes each sample buffer holds past the connection's sample size,
  // asked when the pin connects.
  virtual std::uint32_t SampleOversize() const { return 0; }
  // Whether SetFormat refuses (E_INVALIDARG) the Format 7 picture in force.
  virtual bool RefusesFormats() const { return false; }
  // Whether the camera has left for good: a SetFormat that names no mode
  // then fails with VCAM_E_NOT_CONNECTED.
  virtual bool IsCameraLost() const { return false; }
  // Every SetFormat with a media type, and every area request, as they
  // arrived, with their results.
  virtual void NoteFormatRequest(const AM_MEDIA_TYPE& /*mt*/, const VideoShape& /*shape*/, HRESULT /*hr*/) {}
  virtual void NoteAreaRequest(const void* /*pRequest*/, DWORD /*cbRequest*/, HRESULT /*hr*/) {}

 protected:
  CCameraFilter(LPCSTR pName, REFCLSID clsid);

  // The driver's streaming thread, fed through Pin().
  virtual CCameraStream& Stream() = 0;
  CCameraPin& Pin() { return m_pin; }

  // Start and stop the stream: counters start again when the filter leaves
  // the stopped state, and frames flow while it runs and its pin is
  // connected.
  HRESULT OnStartStreaming() override;
  HRESULT OnStopStreaming() override;
  HRESULT OnRun(REFERENCE_TIME tStart) override;
  HRESULT OnPauseFromRun() override;

  // For a camera that can come back (a virtual one plugged in again): its
  // next loss is reported again.
  void ForgetDeviceLost() { m_bDeviceLost.store(false, std::memory_order_release); }

 private:
  HRESULT CheckPin(IPin* pPin) const;

  CCameraPin m_pin;
  std::atomic<LONG> m_nVideoMode{0};       // IAMVideoControl mode; read by the streaming thread
  std::atomic<bool> m_bDeviceLost{false};  // EC_DEVICE_LOST sent; set by the streaming thread
};

}  // namespace vcam
