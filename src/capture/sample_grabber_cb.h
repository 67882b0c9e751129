// CSampleGrabberCB: the callback object the Sample Grabber calls once per
// frame on the graph's streaming thread. It copies each frame into the next
// free buffer of the camera's ring and signals the camera's two events.
#pragma once

#include <atomic>

#include "base/unknown.h"
#include "winapi.h"

class CCamera;

// Its primary table is the non-delegating unknown of the COM base; the
// ISampleGrabberCB table's IUnknown methods forward to it, since the object
// is never aggregated.
class CSampleGrabberCB final : public CComBase<ISampleGrabberCB>
{
public:
    // Created with count 0 over the camera's current ring and events.
    explicit CSampleGrabberCB(const CCamera& camera);

    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    STDMETHODIMP SampleCB(double SampleTime, IMediaSample* pSample) override;
    STDMETHODIMP BufferCB(double SampleTime, BYTE* pBuffer, LONG BufferLen) override;

    // Application threads. Lock bits of buffers the callback must not fill;
    // read once per frame by the streaming thread.
    DWORD LockMask() const { return m_dwLockMask.load(std::memory_order_acquire); }
    void SetLockMask(DWORD dwMask) { m_dwLockMask.store(dwMask, std::memory_order_release); }
    void ClearLockBits(DWORD dwBits) { m_dwLockMask.fetch_and(~dwBits, std::memory_order_acq_rel); }

    // The buffer filled last (0 before the first frame). Written after the
    // copy, so a reader that sees the index also sees the frame in it.
    LONG CurrentIndex() const { return static_cast<LONG>(m_nCurrent.load(std::memory_order_acquire)); }

    // Frames copied into the ring, and frames dropped because no buffer could
    // take them (an empty ring, or every buffer locked).
    LONG FramesStored() const { return m_nStored.load(std::memory_order_relaxed); }
    LONG FramesDropped() const { return m_nDropped.load(std::memory_order_relaxed); }

private:
    ~CSampleGrabberCB() override = default;

    // Fixed at creation: the ring's list is never changed while a capture can
    // deliver into it.
    BYTE* const* const m_ppFrames;
    const LONG m_cbFrame;    // longer samples are cut to this
    const HANDLE m_hFrameEvent;
    const HANDLE m_hRingEvent;

    // Shared between the streaming thread and application threads.
    std::atomic<DWORD> m_dwLockMask{0};
    std::atomic<DWORD> m_nCurrent{0};
    std::atomic<LONG> m_nStored{0};
    std::atomic<LONG> m_nDropped{0};
};

// Drops the camera's earlier callback object and creates a fresh one over the
// camera's current ring, kept in m_pCallback with a reference of the
// camera's own. False when the object cannot be created; the camera then has
// none.
bool CreateCallback(CCamera& camera);

// Unregisters the camera's callback object from the grabber, remembers the
// buffer it filled last and gives up the camera's reference. The object dies
// once the grabber, too, has let it go: never while it can still be called.
void DropCallback(CCamera& camera);
