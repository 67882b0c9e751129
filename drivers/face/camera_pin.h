// A camera filter's video output pin (camera_filter.h): it offers the format
// the camera's registers select, answers stream configuration (one
// capability per Format 0-2 mode the camera offers; a media type set on it
// goes to the camera's mode and rate registers) and the capture pin
// category, passes the camera property set on to its filter, and sizes the
// samples the streaming thread fills.
#pragma once

#include "winapi.h"
#include "base/output_pin.h"
#include "drivers/face/media_format.h"

namespace vcam {

class CCameraDevice;
class CCameraFilter;

class CCameraPin final : public COutputPinBase, public IAMStreamConfig, public IKsPropertySet {
 public:
  // The pin lives inside pFilter (uncounted back-pointer, see CPinBase).
  explicit CCameraPin(CCameraFilter* pFilter);

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
  // false when they select nothing the camera offers (or it is lost).
  bool CurrentShape(VideoShape* pShape) const;
  // Sample bytes the connection agreed (0 when not connected); the streaming
  // thread reads it while the filter runs, when it cannot change.
  ULONG ConnectedSampleSize() const { return IsConnected() ? CurrentMediaType().lSampleSize : 0; }

 protected:
  // Buffers hold the frame plus the filter's SampleOversize, asked at
  // connection time, so an oversized sample reaches downstream whole.
  HRESULT DecideBufferSize(IMemAllocator* pAllocator, ALLOCATOR_PROPERTIES* pRequest) override;

 private:
  HRESULT ApplyFormat(const AM_MEDIA_TYPE* pmt, const VideoShape& shape);
  bool OffersPropertySet() const;
  // The filter's camera (which may change before the pin connects).
  CCameraDevice& Device() const;

  CCameraFilter* const m_pCameraFilter;  // uncounted: the pin is part of it
};

}  // namespace vcam
