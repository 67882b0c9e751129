// Nothing thrown inside a function that C or COM calls may leave it: C
// callers cannot catch, and an exception unwinding through a COM caller's
// frames or off a thread's entry ends the process. Every such function runs
// its body through a barrier:
//
//   STDMETHODIMP CCameraPin::GetFormat(AM_MEDIA_TYPE** ppmt) {
//     return ComBarrier([&]() -> HRESULT { ...; return S_OK; });
//   }
//
// A failed allocation (std::bad_alloc) answers E_OUTOFMEMORY, anything else
// E_FAIL. The platform's own operations combine this with their fault point
// (RunOperation in operation_fault.h).
#pragma once

#include "winapi.h"

// The HRESULT that stands for the exception being handled. Call it only in a
// catch block.
HRESULT HResultFromCaughtException() noexcept;

template <class F>
HRESULT ComBarrier(F&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return HResultFromCaughtException();
  }
}
