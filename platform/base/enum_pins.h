// IEnumPins over a filter's pins, and IEnumMediaTypes over a pin's preferred
// media types. Both hold a counted reference to what they walk (a pin's
// reference is its filter's), so they stay valid after the caller lets go of
// the filter.
#pragma once

#include "winapi.h"
#include "base/com_ptr.h"
#include "base/unknown.h"

class CFilterBase;
class CPinBase;

class CEnumPins final : public CComBase<IEnumPins> {
 public:
  CEnumPins(CFilterBase* pFilter, ULONG nPosition);

  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  STDMETHODIMP Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) override;
  STDMETHODIMP Skip(ULONG cPins) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumPins** ppEnum) override;

 private:
  ComPtr<IBaseFilter> m_pFilterRef;  // keeps m_pFilter alive
  CFilterBase* m_pFilter;
  ULONG m_nPosition;
};

class CEnumMediaTypes final : public CComBase<IEnumMediaTypes> {
 public:
  CEnumMediaTypes(CPinBase* pPin, ULONG nPosition);

  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  STDMETHODIMP Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes, ULONG* pcFetched) override;
  STDMETHODIMP Skip(ULONG cMediaTypes) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumMediaTypes** ppEnum) override;

 private:
  ComPtr<IPin> m_pPinRef;  // keeps m_pPin (and its filter) alive
  CPinBase* m_pPin;
  ULONG m_nPosition;
};
