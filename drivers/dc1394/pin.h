// The dc1394 capture filter's video output pin: the format the camera's
// registers select, one stream capability per Format 0-2 mode the camera
// offers, and a media type set on the pin carried to the camera's mode and
// rate registers. It answers as the virtual camera's pin does
// (vcam/filter/capture_pin.h), so the library sees no difference.
#pragma once

#include "winapi.h"
#include "base/output_pin.h"
#include "vcam/filter/media_format.h"

namespace dc1394drv {

class CDc1394Camera;
class CDc1394Filter;

class CDc1394Pin final : public COutputPinBase, public IAMStreamConfig, public IKsPropertySet {
 public:
  // The pin lives inside pFilter (uncounted back-pointer, see CPinBase).
  explicit CDc1394Pin(CDc1394Filter* pFilter);

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return CPinBase::QueryInterface(riid, ppv); }
  STDMETHODIMP_(ULONG) AddRef() override { return CPinBase::AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return CPinBase::Release(); }
  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // IAMStreamConfig
  STDMETHODIMP SetFormat(AM_MEDIA_TYPE* pmt) override;
  STDMETHODIMP GetFormat(AM_MEDIA_TYPE** ppmt) override;
  STDMETHODIMP GetNumberOfCapabilities(int* piCount, int* piSize) override;
  STDMETHODIMP GetStreamCaps(int iIndex, AM_MEDIA_TYPE** ppmt, BYTE* pSCC) override;

  // IKsPropertySet: the pin category here; the camera's set goes to the filter.
  STDMETHODIMP Set(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                   LPVOID pPropData, DWORD cbPropData) override;
  STDMETHODIMP Get(REFGUID guidPropSet, DWORD dwPropID, LPVOID pInstanceData, DWORD cbInstanceData,
                   LPVOID pPropData, DWORD cbPropData, DWORD* pcbReturned) override;
  STDMETHODIMP QuerySupported(REFGUID guidPropSet, DWORD dwPropID, DWORD* pTypeSupport) override;

  // CPinBase hooks.
  HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) override;
  HRESULT GetMediaType(int iPosition, AM_MEDIA_TYPE* pmt) override;

  // The picture the registers select; false when they select nothing the
  // camera offers, or the camera is lost.
  bool CurrentShape(vcam::VideoShape* pShape) const;
  // Sample bytes the connection agreed (0 when not connected); read by the
  // streaming thread while the filter runs, when it cannot change.
  ULONG ConnectedSampleSize() const { return IsConnected() ? CurrentMediaType().lSampleSize : 0; }

 private:
  HRESULT ApplyFormat(const AM_MEDIA_TYPE* pmt, const vcam::VideoShape& shape);
  CDc1394Camera& Camera() const;

  CDc1394Filter* const m_pDc1394Filter;  // uncounted: the pin is part of it
};

}  // namespace dc1394drv
