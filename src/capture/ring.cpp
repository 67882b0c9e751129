#include "capture/ring.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>

#include "base/media_type.h"
#include "capture/sample_grabber_cb.h"
#include "core/camera.h"
#include "core/library.h"
#include "image/convert/convert.h"

namespace {

// Committed read-write pages of their own for every buffer of the library.
BYTE* AllocPages(SIZE_T cb)
{
    if (cb == 0)
        return nullptr;
    return static_cast<BYTE*>(VirtualAlloc(nullptr, cb, MEM_COMMIT, PAGE_READWRITE));
}

// Releasing (not merely decommitting) gives back the address range too, so a
// ring put in place and taken away again and again costs nothing in the end;
// it also needs no size, so a ring can be given back after the grabber that
// knew its frame size is gone.
bool FreePages(BYTE* p)
{
    return p == nullptr || VirtualFree(p, 0, MEM_RELEASE) != FALSE;
}

// Gives back a null-terminated list the library made, with its buffers.
struct CFreeList {
    void operator()(BYTE** ppFrames) const
    {
        for (LONG i = 0; ppFrames[i]; ++i)
            FreePages(ppFrames[i]);
        delete[] ppFrames;
    }
};

// The magnitude of a BITMAPINFOHEADER dimension, whichever way up rows run.
DWORD Magnitude(LONG n)
{
    return n < 0 ? 0u - static_cast<DWORD>(n) : static_cast<DWORD>(n);
}

// Room for the rows of the colour image as they are laid out, each padded to
// a multiple of 4 bytes: more than width x height x 3 bytes when the width is
// not a multiple of 4, so that an image of the connected size always fits
// whole.
void AllocConversionBuffer(CCamera& camera, const FrameFormat& format)
{
    // Dimensions beyond what an image can have give no buffer at all.
    const SIZE_T cb = format.nWidth <= 0x7FFFFFFF && format.nHeight <= 0x7FFFFFFF
        ? Bgr24ImageSize(static_cast<int>(format.nWidth), static_cast<int>(format.nHeight))
        : 0;
    camera.m_pRgbBuffer = AllocPages(cb);
    camera.m_cbRgbBuffer = camera.m_pRgbBuffer ? cb : 0;
}

void FreeConversionBuffer(CCamera& camera)
{
    FreePages(camera.m_pRgbBuffer);
    camera.m_pRgbBuffer = nullptr;
    camera.m_cbRgbBuffer = 0;
}

// A fresh list replaces whatever list a camera still holds: a ring stranded
// by a graph teardown, or the list a failed attachment left behind.
void InstallList(CCamera& camera, BYTE** ppFrames, bool bOwnsFrames, LONG cbFrame)
{
    DiscardRing(camera);
    camera.m_ppFrames = ppFrames;
    camera.m_bOwnsFrames = bOwnsFrames;
    camera.m_cbFrame = cbFrame;
}

} // namespace

LONG FrameCount(BYTE* const* ppFrames)
{
    LONG n = 0;
    if (ppFrames)
        while (ppFrames[n])
            ++n;
    return n;
}

LONG NextRingIndex(BYTE* const* ppFrames, LONG nCurrent, DWORD dwLockMask)
{
    if (!ppFrames || !ppFrames[0])
        return -1;
    LONG j = nCurrent;
    // One turn of the ring visits every buffer once; a turn that finds no free
    // one means every buffer is locked.
    for (LONG nVisited = 0; ppFrames[nVisited]; ++nVisited) {
        j = ppFrames[j + 1] ? j + 1 : 0;
        if ((dwLockMask & RingLockBit(j)) == 0)
            return j;
    }
    return -1;
}

bool ReadFrameFormat(CCamera& camera, FrameFormat* pFormat)
{
    CMediaType mt;
    if (!camera.m_pGrabber || FAILED(camera.m_pGrabber->GetConnectedMediaType(&mt)))
        return false;
    pFormat->cbFrame = static_cast<LONG>(mt.lSampleSize);
    const VIDEOINFOHEADER* pVih = mt.VideoInfo();
    pFormat->nWidth = pVih ? Magnitude(pVih->bmiHeader.biWidth) : 0;
    pFormat->nHeight = pVih ? Magnitude(pVih->bmiHeader.biHeight) : 0;
    return true;
}

LONG AllocFrames(CCamera& camera, LONG nCount)
{
    if (camera.m_nState == IIDC_STATE_CAPTURING) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_CAPTURING);
        return 0;
    }
    if (camera.m_nState != IIDC_STATE_PREPARED) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_NOT_PREPARED);
        return 0;
    }
    FrameFormat format;
    if (!ReadFrameFormat(camera, &format)) {
        SetErrorCode(camera.m_nIndex, E_FAIL);
        return 0;
    }
    if (format.cbFrame <= 0) {
        SetErrorCode(camera.m_nIndex, E_FAIL);   // no frame size to make buffers of
        return 0;
    }
    // A request for no buffer at all leaves the camera without a ring.
    if (nCount < 1)
        return 0;
    // The list grows with the buffers obtained, so that a count far beyond
    // what the platform can give costs no more than the buffers it gave. Until
    // it is installed, the list gives its buffers back if anything fails.
    constexpr LONG FIRST_LIST_ENTRIES = 64;
    LONG nEntries = nCount < FIRST_LIST_ENTRIES ? nCount : FIRST_LIST_ENTRIES;
    std::unique_ptr<BYTE*[], CFreeList> pList(new (std::nothrow) BYTE*[static_cast<SIZE_T>(nEntries) + 1]());
    // A shortfall is not an error: the ring is made of the buffers obtained.
    LONG n = 0;
    while (pList && n < nCount) {
        BYTE* pBuffer = AllocPages(static_cast<SIZE_T>(format.cbFrame));
        if (!pBuffer)
            break;
        if (n == nEntries) {
            const LONG nMore = nEntries <= (nCount - nEntries) ? nEntries : nCount - nEntries;
            auto** ppLonger = new (std::nothrow) BYTE*[static_cast<SIZE_T>(nEntries) + static_cast<SIZE_T>(nMore) + 1]();
            if (!ppLonger) {
                FreePages(pBuffer);
                pList.reset();
                break;
            }
            std::copy(pList.get(), pList.get() + n, ppLonger);
            delete[] pList.release();   // the buffers move to the longer list
            pList.reset(ppLonger);
            nEntries += nMore;
        }
        pList[n++] = pBuffer;
    }
    if (!pList) {
        SetErrorCode(camera.m_nIndex, E_FAIL);
        return 0;
    }
    if (n == 0)
        return 0;
    BYTE** ppFrames = pList.release();
    InstallList(camera, ppFrames, true, format.cbFrame);
    AllocConversionBuffer(camera, format);
    camera.m_nState = IIDC_STATE_READY;
    return n;
}

LONG AttachBuffers(CCamera& camera, BYTE* const* ppBuffers, LONG cbArray)
{
    if (camera.m_nState == IIDC_STATE_CAPTURING) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_CAPTURING);
        return 0;
    }
    if (camera.m_nState != IIDC_STATE_PREPARED) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_NOT_PREPARED);
        return 0;
    }
    // The size counts bytes of the caller's pointer array: four per pointer on
    // the 32-bit home platform, eight on 64-bit builds.
    const LONG n = cbArray / static_cast<LONG>(sizeof(BYTE*));
    // Nothing to attach: no pointers, or a first pointer that is null.
    if (n < 1 || !ppBuffers || !ppBuffers[0])
        return 0;
    auto** ppFrames = new (std::nothrow) BYTE*[static_cast<SIZE_T>(n) + 1]();
    if (!ppFrames) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_NO_MEMORY);
        return 0;
    }
    for (LONG i = 0; i < n; ++i)
        ppFrames[i] = ppBuffers[i];
    InstallList(camera, ppFrames, false, 0);
    FrameFormat format;
    if (!ReadFrameFormat(camera, &format)) {
        SetErrorCode(camera.m_nIndex, E_FAIL);
        return 0;   // the list stays; the camera stays prepared
    }
    camera.m_cbFrame = format.cbFrame;
    AllocConversionBuffer(camera, format);
    camera.m_nState = IIDC_STATE_READY;
    return n;
}

bool FreeFrames(CCamera& camera)
{
    if (camera.m_nState == IIDC_STATE_CAPTURING) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_CAPTURING);
        return false;
    }
    if (camera.m_nState != IIDC_STATE_READY)
        return true;
    FrameFormat format;
    if (!ReadFrameFormat(camera, &format)) {
        SetErrorCode(camera.m_nIndex, E_FAIL);
        return false;
    }
    // Every listed buffer goes back, whoever made it: freeing is the caller's
    // promise that the ring came from the library.
    camera.m_bOwnsFrames = true;
    const bool bAllFreed = DiscardRing(camera);
    camera.m_nState = IIDC_STATE_PREPARED;
    return bAllFreed;
}

bool ReleaseBuffers(CCamera& camera)
{
    if (camera.m_nState == IIDC_STATE_CAPTURING) {
        SetErrorCode(camera.m_nIndex, IIDC_ERR_CAPTURING);
        return false;
    }
    if (camera.m_nState != IIDC_STATE_READY)
        return true;
    // Lets a stop still in progress (the end of a window-mode single frame)
    // finish before the ring goes away.
    OAFilterState state = 0;
    if (!camera.m_pMediaControl || FAILED(camera.m_pMediaControl->GetState(INFINITE, &state))) {
        SetErrorCode(camera.m_nIndex, E_FAIL);
        return false;
    }
    // The caller's buffers stay the caller's; buffers the library made for a
    // ring released this way go back rather than leak.
    DiscardList(camera);
    FrameFormat format;
    if (!ReadFrameFormat(camera, &format)) {
        SetErrorCode(camera.m_nIndex, E_FAIL);
        return false;   // state 2 without a ring: capture refuses it
    }
    FreeConversionBuffer(camera);
    camera.m_nState = IIDC_STATE_PREPARED;
    return true;
}

bool DiscardList(CCamera& camera)
{
    // No callback object outlives the ring it delivers into.
    DropCallback(camera);
    bool bAllFreed = true;
    if (camera.m_ppFrames && camera.m_bOwnsFrames)
        for (LONG i = 0; camera.m_ppFrames[i]; ++i)
            bAllFreed = FreePages(camera.m_ppFrames[i]) && bAllFreed;
    delete[] camera.m_ppFrames;
    camera.m_ppFrames = nullptr;
    camera.m_bOwnsFrames = false;
    camera.m_cbFrame = 0;
    camera.m_nLastFilled = 0;
    return bAllFreed;
}

bool DiscardRing(CCamera& camera)
{
    const bool bAllFreed = DiscardList(camera);
    FreeConversionBuffer(camera);
    return bAllFreed;
}
