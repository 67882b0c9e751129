// Raw access to one buffer of the frame ring: locking it against the sample
// callback, and unlocking it again.
#pragma once

#include "winapi.h"

class CCamera;

// The buffer at index (negative: the one filled last), locked so that the
// callback leaves it alone until the next lock or unlock. Null when the index
// names no buffer; null with IIDC_ERR_NO_FRAMES recorded without a ring.
BYTE* LockData(CCamera& camera, LONG index);

// Clears the lock bits of every buffer in the ring.
void UnlockData(CCamera& camera);
