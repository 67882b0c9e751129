// The virtual camera's video output pin: it offers the format in force,
// answers stream configuration (one capability per standard mode the camera
// offers) and the capture pin category, and sizes the samples the streaming
// thread fills.
#pragma once

#include <cstdint>
#include <memory>

#include "winapi.h"
#include "base/output_pin.h"
#include "vcam/filter/media_format.h"

namespace vcam {

class CVcamFilter;
class CCameraModel;

class CVcamPin final : public COutputPinBase, public IAMStreamConfig, public IKsPropertySet {
 public:
  // The pin lives inside pFilter (uncounted back-pointer, see CPinBase).
  explicit CVcamPin(CVcamFilter* pFilter);

  // IUnknown, shared by the three interfaces and delegated to the filter.
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return CPinBase::QueryInterface(riid, ppv); }
  STDMETHODIMP_(ULONG) AddRef() override { return CPinBase::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return CPinBase::Release(); }
  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // IAMStreamConfig
  STDMETHODIMP SetFormat(AM_MEDIA_TYPE* pmt) override;
  STDMETHODIMP GetFormat(AM_MEDIA_TYPE** ppmt) override;
  STDMETHODIMP GetNumberOfCapabilities(int* piCount, int* piSize) override;
  STDMETHODIMP GetStreamCaps(int iIndex, AM_MEDIA_TYPE** ppmt, BYTE* pSCC) override;

  // IKsPropertySet: the pin category here; other sets go to the filter.
  STDMETHODIMP Set(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                   LPVOID pPropData, DWORD cbPropData) override;
  STDMETHODIMP Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                   LPVOID pPropData, DWORD cbPropData, DWORD* pcbReturned) override;
  STDMETHODIMP QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport) override;

  // CPinBase hooks.
  HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) override;
  HRESULT GetMediaType(int iPosition, AM_MEDIA_TYPE* pmt) override;

  // The picture the camera's registers select, with its frame interval;
  // false when they select nothing the camera offers.
  bool CurrentShape(VideoShape* pShape) const;
  // Sample bytes the connection agreed (0 when not connected); the streaming
  // thread reads it while the filter runs, when it cannot change.
  ULONG ConnectedSampleSize() const { return IsConnected() ? CurrentMediaType().lSampleSize : 0; }

 protected:
  // Buffers hold the frame plus the oversize the camera's fault switch asks
  // for at connection time, so an oversized sample reaches downstream whole.
  HRESULT DecideBufferSize(IMemAllocator* pAllocator, ALLOCATOR_PROPERTIES* pRequest) override;

 private:
  HRESULT ApplyFormat(const AM_MEDIA_TYPE* pmt, const VideoShape& shape);

  // The camera of the filter (which may be rebound before it connects).
  CCameraModel& Camera() const;

  CVcamFilter* const m_pVcamFilter;  // uncounted: the pin is part of it
};

}  // namespace vcam
