// The frame-buffer ring: the null-terminated list of frame buffers on the
// camera, the conversion buffer that goes with it, and the rule by which the
// sample callback picks the buffer for the next frame.
#pragma once

#include "winapi.h"

class CCamera;

// Number of lock bits; buffer i is guarded by bit (i mod RING_LOCK_BITS).
constexpr LONG RING_LOCK_BITS = 32;

// The lock bit of buffer index.
constexpr DWORD RingLockBit(LONG index) { return DWORD{1} << (static_cast<DWORD>(index) % RING_LOCK_BITS); }

// Entries of a frame list before its terminating null; 0 for no list.
LONG FrameCount(BYTE* const* ppFrames);

// The buffer that receives the next frame, given the buffer filled last and
// the lock mask read once for this frame: the next listed buffer after
// nCurrent (wrapping to 0 after the last) whose lock bit is clear. -1 when
// the ring is empty or every buffer is locked. nCurrent must name a listed
// buffer of a non-empty ring.
LONG NextRingIndex(BYTE* const* ppFrames, LONG nCurrent, DWORD dwLockMask);

// What the connected media type at the grabber's input says about a frame.
struct FrameFormat {
    LONG cbFrame = 0;    // sample size: bytes of one frame
    DWORD nWidth = 0;
    DWORD nHeight = 0;   // whichever way up the rows run
};

// Reads the grabber's connected media type. False when there is no grabber or
// the grabber cannot tell.
bool ReadFrameFormat(CCamera& camera, FrameFormat* pFormat);

// Puts a library-owned ring of up to nCount buffers in place (state 3 to 2).
// Returns the number of buffers made; 0 with the code recorded on failure.
LONG AllocFrames(CCamera& camera, LONG nCount);

// Puts the caller's buffers in place (state 3 to 2): the first cbArray bytes
// of the caller's array of pointers, whole pointers only.
LONG AttachBuffers(CCamera& camera, BYTE* const* ppBuffers, LONG cbArray);

// Give back a library-owned ring, or drop the caller's (state 2 to 3).
bool FreeFrames(CCamera& camera);
bool ReleaseBuffers(CCamera& camera);

// Gives back the list, and the buffers themselves when the library made them
// (never buffers the caller attached), after dropping the callback object
// that delivers into them. DiscardRing also gives back the conversion
// buffer. True when every buffer given back was freed. Used when a ring is
// freed, released or replaced and when a camera is closed.
bool DiscardList(CCamera& camera);
bool DiscardRing(CCamera& camera);
