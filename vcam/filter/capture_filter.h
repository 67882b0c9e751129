// The virtual IIDC camera's DirectShow capture source filter: one video
// output pin (CVcamPin), the camera's register and Format 7 area property set
// (IKsPropertySet), frame counters (IAMDroppedFrames) and vertical flipping
// (IAMVideoControl). It is written against the standard interfaces only, so
// the same filter could be registered as a video input device in a real
// DirectShow.
//
// The camera's fault switches (vcam/model/faults.h) take effect here: an
// interface switched off is not handed out by QueryInterface; register, format
// and area refusals come back from the camera model; an unplugged camera sends
// EC_DEVICE_LOST once and no more frames; an oversize makes samples longer
// than the connection's sample size.
//
// Registered as a device, one class serves every camera of the active set:
// a new filter is camera 0, and the device's property bag, which the device
// enumerator hands to IPersistPropertyBag::Load, names the camera it is.
#pragma once

#include <atomic>
#include <memory>

#include "winapi.h"
#include "base/filter_base.h"
#include "vcam/filter/capture_pin.h"
#include "vcam/filter/frame_stream.h"
#include "vcam/filter/property_set.h"

namespace vcam {

class CCameraModel;
class CDriverLog;

// {6B1F6E2A-3C41-4D8E-9A57-2E0C9D7B4F10}: the filter's class id.
inline constexpr CLSID CLSID_VcamCaptureFilter{0x6b1f6e2a, 0x3c41, 0x4d8e,
                                               {0x9a, 0x57, 0x2e, 0x0c, 0x9d, 0x7b, 0x4f, 0x10}};

// The property of a device's bag that holds its camera's index in the
// active set (a 32-bit integer).
inline constexpr wchar_t CAMERA_INDEX_PROPERTY[] = L"IidcCameraIndex";

class CVcamFilter final : public CFilterBase,
                          public IKsPropertySet,
                          public IAMDroppedFrames,
                          public IAMVideoControl,
                          public IPersistPropertyBag {
 public:
  CVcamFilter(std::shared_ptr<CCameraModel> pCamera, std::shared_ptr<CDriverLog> pLog);
  ~CVcamFilter() override;

  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // A new filter with one reference in *ppFilter.
  static HRESULT Create(std::shared_ptr<CCameraModel> pCamera, std::shared_ptr<CDriverLog> pLog,
                        IBaseFilter** ppFilter);

  // IUnknown, one for all the filter's interfaces.
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return CFilterBase::QueryInterface(riid, ppv); }
  STDMETHODIMP_(ULONG) AddRef() override { return CFilterBase::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return CFilterBase::Release(); }

  // IPersist, shared by IBaseFilter and IPersistPropertyBag.
  STDMETHODIMP GetClassID(CLSID* pClassID) override { return CFilterBase::GetClassID(pClassID); }

  // IPersistPropertyBag: Load binds the filter to the camera the bag names
  // (CAMERA_INDEX_PROPERTY); a bag without it leaves the filter on its
  // camera. Only a stopped, unconnected filter can change its camera.
  STDMETHODIMP InitNew() override { return S_OK; }
  STDMETHODIMP Load(IPropertyBag* pPropBag, IErrorLog* pErrorLog) override;
  STDMETHODIMP Save(IPropertyBag* pPropBag, BOOL fClearDirty, BOOL fSaveAllProperties) override;

  // IMediaFilter: a live source cannot cue frames while paused.
  STDMETHODIMP GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* pState) override;

  // IKsPropertySet: PROPSETID_IIDC_CAMERA. Id 5 reads a register (Set names
  // it, Get returns it in bytes 60-63), id 6 writes one, id 0 requests the
  // Format 7 area (0x80070490 when the camera is not in Format 7).
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
  CCameraModel& Camera() const { return *m_pCamera; }
  const std::shared_ptr<CCameraModel>& CameraShared() const { return m_pCamera; }
  CDriverLog& Log() const { return *m_pLog; }
  bool FlipVertical() const { return (m_nVideoMode.load(std::memory_order_acquire) & VideoControlFlag_FlipVertical) != 0; }
  // True once the camera was found unplugged while streaming.
  bool DeviceLost() const { return m_bDeviceLost.load(std::memory_order_acquire); }
  void NoteDeviceLost();
  // The camera property set for the pin's forwarding; honours the fault
  // switch that takes the property set away.
  bool HasPropertySet() const;

 protected:
  HRESULT OnStartStreaming() override;
  HRESULT OnStopStreaming() override;
  HRESULT OnRun(REFERENCE_TIME tStart) override;
  HRESULT OnPauseFromRun() override;

 private:
  HRESULT CheckPin(IPin* pPin) const;
  CameraPropertyAccess PropertyAccess() const;

  // Fixed once the filter connects or streams (see Load).
  std::shared_ptr<CCameraModel> m_pCamera;
  std::shared_ptr<CDriverLog> m_pLog;
  CVcamPin m_pin;
  CFrameStream m_stream;
  std::atomic<LONG> m_nVideoMode{0};      // IAMVideoControl mode; read by the streaming thread
  std::atomic<bool> m_bDeviceLost{false};  // set by the streaming thread
};

}  // namespace vcam
