// The generic pin: connection with media-type negotiation, disconnection and
// the pin queries. Input and output pins (input_pin.h, output_pin.h) add the
// sample transport; specific pins only say which media types they take and
// offer.
#pragma once

#include <string>

#include "winapi.h"
#include "base/com_ptr.h"
#include "base/media_type.h"
#include "base/unknown.h"

class CFilterBase;

// Like CComBase (unknown.h): the Windows headers give interfaces a public
// non-virtual destructor, but pins and samples are never deleted through one.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
// A pin is part of its filter and shares the filter's reference count: AddRef
// and Release on a pin are AddRef and Release on the filter. A pin held
// anywhere therefore keeps its filter alive, and the pin needs no counted
// pointer back to the filter (one would keep the filter alive forever). The
// pin answers QueryInterface itself, through CUnknown so that the platform's
// interface filter applies; CUnknown's own count is unused.
//
// Threads: connection state (m_pConnected, m_mt) is changed only on an
// application thread while the filter is stopped, so the streaming thread,
// which runs only while the filter is paused or running, reads it unlocked.
class CPinBase : public CUnknown, public IPin {
 public:
  CPinBase(CFilterBase* pFilter, PIN_DIRECTION dir, LPCWSTR pszName);
  virtual ~CPinBase();

  // IUnknown: the pin's interfaces, the filter's count.
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override { return OwnQueryInterface(riid, ppv); }
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;
  STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

  // IPin
  STDMETHODIMP Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) override;
  STDMETHODIMP ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) override;
  STDMETHODIMP Disconnect() override;
  STDMETHODIMP ConnectedTo(IPin** ppPin) override;
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* pmt) override;
  STDMETHODIMP QueryPinInfo(PIN_INFO* pInfo) override;
  STDMETHODIMP QueryDirection(PIN_DIRECTION* pPinDir) override;
  STDMETHODIMP QueryId(LPWSTR* ppId) override;
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* pmt) override;
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** ppEnum) override;
  STDMETHODIMP QueryInternalConnections(IPin** apPin, ULONG* nPin) override;
  // Streaming notifications. Output pins receive none of them (E_UNEXPECTED);
  // the input pin base overrides them.
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;
  STDMETHODIMP NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate) override;

  // Hooks of the specific pin.
  // S_OK when the pin takes this type; anything else refuses it.
  virtual HRESULT CheckMediaType(const AM_MEDIA_TYPE* pmt) = 0;
  // The pin's preferred types, position 0, 1, ...: fills *pmt (which the
  // caller frees) and returns S_OK, or VFW_S_NO_MORE_ITEMS past the last.
  virtual HRESULT GetMediaType(int iPosition, AM_MEDIA_TYPE* pmt);
  // Checks the other pin before any media type is tried (direction, transport).
  virtual HRESULT CheckConnect(IPin* pPin);
  // Called once both ends agree on m_mt; a failure undoes the connection.
  virtual HRESULT CompleteConnect(IPin* pReceivePin);
  // Called when the connection goes away.
  virtual void BreakConnect();
  // The filter leaves the stopped state (Active) or enters it (Inactive).
  virtual HRESULT Active();
  virtual HRESULT Inactive();

  bool IsConnected() const { return m_pConnected.Get() != nullptr; }
  IPin* GetConnected() const { return m_pConnected.Get(); }  // not AddRef'd
  const CMediaType& CurrentMediaType() const { return m_mt; }
  CFilterBase* GetFilter() const { return m_pFilter; }
  PIN_DIRECTION GetDirection() const { return m_dir; }
  const std::wstring& GetName() const { return m_wszName; }

 protected:
  // Uncounted: the pin lives inside its filter and dies with it.
  CFilterBase* const m_pFilter;
  const PIN_DIRECTION m_dir;
  const std::wstring m_wszName;
  ComPtr<IPin> m_pConnected;  // counted, as DirectShow pins hold their peer
  CMediaType m_mt;            // the connection's media type

 private:
  HRESULT AgreeMediaType(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt);
  HRESULT TryMediaTypes(IPin* pReceivePin, const AM_MEDIA_TYPE* pmtPartial, IEnumMediaTypes* pEnum);
  HRESULT AttemptConnection(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt);
  bool IsStopped() const;
};
#pragma GCC diagnostic pop

// True when every non-null GUID of the partial type equals the full type's.
bool MediaTypeMatchesPartial(const AM_MEDIA_TYPE& mt, const AM_MEDIA_TYPE& partial);
