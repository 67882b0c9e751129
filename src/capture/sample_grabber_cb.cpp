#include "capture/sample_grabber_cb.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "base/barrier.h"
#include "capture/ring.h"
#include "core/camera.h"

CSampleGrabberCB::CSampleGrabberCB(const CCamera& camera)
    : CComBase("SGCB"),
      m_ppFrames(camera.m_ppFrames),
      m_cbFrame(camera.m_cbFrame),
      m_hFrameEvent(camera.m_hFrameEvent),
      m_hRingEvent(camera.m_hRingEvent)
{
}

STDMETHODIMP CSampleGrabberCB::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_ISampleGrabberCB) {
        if (!ppv)
            return E_POINTER;
        return GetInterface(static_cast<ISampleGrabberCB*>(this), ppv);
    }
    return CComBase::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CSampleGrabberCB::SampleCB(double /*SampleTime*/, IMediaSample* /*pSample*/)
{
    return E_NOTIMPL;
}

STDMETHODIMP CSampleGrabberCB::BufferCB(double /*SampleTime*/, BYTE* pBuffer, LONG BufferLen)
{
    return ComBarrier([&]() -> HRESULT {
        // A lock taken while this frame is placed counts from the next frame on.
        const DWORD dwLockMask = m_dwLockMask.load(std::memory_order_acquire);
        const LONG j = pBuffer && BufferLen >= 0
                           ? NextRingIndex(m_ppFrames, static_cast<LONG>(m_nCurrent.load(std::memory_order_relaxed)),
                                           dwLockMask)
                           : -1;
        if (j < 0) {
            // No buffer may take the frame (or there is no frame): it is dropped,
            // never written over a locked buffer.
            m_nDropped.fetch_add(1, std::memory_order_relaxed);
            return S_OK;
        }
        if (BufferLen > 0 && m_cbFrame > 0)
            std::memcpy(m_ppFrames[j], pBuffer, static_cast<size_t>(std::min(BufferLen, m_cbFrame)));
        // The frame is complete before the index names it, and the index names it
        // before either event wakes a waiter.
        m_nCurrent.store(static_cast<DWORD>(j), std::memory_order_release);
        m_nStored.fetch_add(1, std::memory_order_relaxed);
        if (m_hFrameEvent)
            SetEvent(m_hFrameEvent);
        if (m_hRingEvent && j == 0)
            SetEvent(m_hRingEvent);
        return S_OK;
    });
}

bool CreateCallback(CCamera& camera)
{
    DropCallback(camera);
    auto* pCallback = new (std::nothrow) CSampleGrabberCB(camera);
    if (!pCallback)
        return false;
    pCallback->AddRef();   // the camera's reference, given up by DropCallback
    camera.m_pCallback = pCallback;
    return true;
}

void DropCallback(CCamera& camera)
{
    CSampleGrabberCB* pCallback = camera.m_pCallback;
    if (!pCallback)
        return;
    camera.m_pCallback = nullptr;
    if (camera.m_pGrabber)
        camera.m_pGrabber->SetCallback(nullptr, 0);
    camera.m_nLastFilled = pCallback->CurrentIndex();
    pCallback->Release();
}
