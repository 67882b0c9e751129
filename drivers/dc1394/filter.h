// The capture source filter of a camera reached through libdc1394: the same
// driver face as the virtual camera's filter (vcam/filter/capture_filter.h),
// so the library drives either without knowing which. One video output pin
// (CDc1394Pin), the register and Format 7 area property set (IKsPropertySet),
// frame counters (IAMDroppedFrames) and vertical flipping (IAMVideoControl).
//
// Capture runs from Run to Stop: libdc1394's ring is set up and transmission
// switched on when the filter runs, and everything goes back to the bus when
// it stops, is released, or the camera leaves. A camera that leaves while
// streaming sends EC_DEVICE_LOST once; every later request fails with
// HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED) without touching the bus.
#pragma once

#include <atomic>
#include <memory>

#include "winapi.h"
#include "base/filter_base.h"
#include "drivers/dc1394/pin.h"
#include "drivers/dc1394/stream.h"
#include "vcam/filter/property_set.h"

namespace dc1394drv {

class CDc1394Camera;

// {8E0C5B1D-6A2F-4C73-B1E4-5D9A0F3C7E21}
inline constexpr CLSID CLSID_Dc1394CaptureFilter{0x8e0c5b1d, 0x6a2f, 0x4c73,
                                                 {0xb1, 0xe4, 0x5d, 0x9a, 0x0f, 0x3c, 0x7e, 0x21}};

class CDc1394Filter final : public CFilterBase,
                            public IKsPropertySet,
                            public IAMDroppedFrames,
                            public IAMVideoControl {
 public:
  explicit CDc1394Filter(std::shared_ptr<CDc1394Camera> pCamera);
  ~CDc1394Filter() override;

  // A new filter with one reference in *ppFilter.
  static HRESULT Create(std::shared_ptr<CDc1394Camera> pCamera, IBaseFilter** ppFilter);

  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return CFilterBase::QueryInterface(riid, ppv); }
  STDMETHODIMP_(ULONG) AddRef() override { return CFilterBase::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return CFilterBase::Release(); }

  // IMediaFilter: a live source cannot cue frames while paused.
  STDMETHODIMP GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* pState) override;

  // IKsPropertySet: PROPSETID_IIDC_CAMERA, as the virtual camera's filter
  // answers it (vcam/filter/property_set.h).
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
  CDc1394Camera& Camera() const { return *m_pCamera; }
  bool FlipVertical() const {
    return (m_nVideoMode.load(std::memory_order_acquire) & VideoControlFlag_FlipVertical) != 0;
  }
  void NoteDeviceLost();
  const CDc1394Stream& Stream() const { return m_stream; }

 protected:
  HRESULT OnStartStreaming() override;
  HRESULT OnStopStreaming() override;
  HRESULT OnRun(REFERENCE_TIME tStart) override;
  HRESULT OnPauseFromRun() override;

 private:
  HRESULT CheckPin(IPin* pPin) const;
  vcam::CameraPropertyAccess PropertyAccess() const;

  const std::shared_ptr<CDc1394Camera> m_pCamera;
  CDc1394Pin m_pin;
  CDc1394Stream m_stream;
  std::atomic<LONG> m_nVideoMode{0};       // read by the streaming thread
  std::atomic<bool> m_bDeviceLost{false};  // EC_DEVICE_LOST sent
};

}  // namespace dc1394drv
