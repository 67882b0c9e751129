// Waiting for frames on the camera's two events, and ending such a wait from
// another thread.
#pragma once

#include "iidc.h"
#include "winapi.h"

class CCamera;

// Waits for the event that dwKind names, up to dwTimeout milliseconds.
// Returns the event waited on (also after a time-out), or null for another
// kind or when iidc_waitabort ended the wait; the latter is recorded in the
// camera's own slot only.
HANDLE WaitForFrame(CCamera& camera, DWORD dwKind, DWORD dwTimeout);

// Marks the camera's next wait as aborted, then wakes the waiter on hEvent.
void AbortWait(CCamera& camera, HANDLE hEvent);
