// Fault injection for the emulated Windows operations, so that tests can make
// any platform call fail on demand.
//
// Operation names:
//   - COM methods: "Interface::Method" with the interface that declares the
//     method, e.g. "IGraphBuilder::AddFilter", "IFilterGraph::RemoveFilter",
//     "IMediaControl::Run", "ICaptureGraphBuilder2::FindPin",
//     "IAMStreamConfig::SetFormat".
//   - Free functions: the function's name. The faultable ones are
//     CoInitialize, CoInitializeEx, CoCreateInstance, CoTaskMemAlloc,
//     CoTaskMemRealloc, SysAllocString, SysAllocStringLen, CreateEventA,
//     SetEvent, ResetEvent, WaitForSingleObject, CloseHandle, VirtualAlloc,
//     VirtualFree, CreateBitmap, SetBitmapBits, GetBitmapBits, GetObjectA and
//     DeleteObject; functions that cannot fail (CoUninitialize,
//     CoTaskMemFree, Sleep, the interlocked ones...) are neither faulted nor
//     logged.
//
// Every faultable emulated operation calls FaultFor(name) first and, when it
// answers a failure, fails at once without side effects: COM methods and
// COM functions return that HRESULT; kernel and GDI functions return their
// own failure value (NULL, FALSE, 0 or WAIT_FAILED) and set the thread's last
// error to the HRESULT's Win32 code (its low 16 bits when it carries
// FACILITY_WIN32, otherwise the HRESULT itself).
//
// QueryInterface is not an operation here: FailInterface makes an interface
// unavailable instead. All functions are thread-safe.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "emul/com_interfaces.h"

namespace emul {

// Counts and logs one call of op; returns S_OK or the failure injected for
// this call, or throws what ThrowFromOperation asked for. The counting and
// logging never throw: a call the log has no memory for goes unlogged.
HRESULT FaultFor(std::string_view op);

// Makes op fail with hr on its nth call from now (1-based; that call only),
// or on every call when nth is 0. Several faults may be set on one op; each
// counts from the moment it was set. hr should be a failure code; a negative
// nth is ignored.
void FailOperation(std::string_view op, HRESULT hr, int nth = 0);

// Makes op throw instead, on its nth call from now or on every call when nth
// is 0, as a fault deep inside its own code would: std::bad_alloc when
// bOutOfMemory, otherwise an exception of no standard type. An operation
// that gives something back (CloseHandle, VirtualFree, DeleteObject) never
// throws, since callers run those in destructors; asking for it does nothing.
void ThrowFromOperation(std::string_view op, bool bOutOfMemory, int nth = 0);

// Makes QueryInterface for iid answer E_NOINTERFACE on every object built on
// the platform's COM base, emulated objects and virtual cameras included.
void FailInterface(REFIID iid);

// For Win32 functions: FaultFor(op), and when it answers a failure, sets the
// thread's last error from it and returns true (the function then returns
// its failure value).
bool FaultForWin32(std::string_view op);

// True when FailInterface(iid) is in force.
bool IsInterfaceFailed(REFIID iid);

// Names of the faultable operations called since the last reset, in call
// order (the first 65536 of them; the counts go on beyond that).
std::vector<std::string> CallLog();

// Number of calls of op since the last reset.
int CallCount(std::string_view op);

// Clears all faults, counters and the log.
void ResetFaults();

// Number of COM objects built on the platform's COM base that are alive now.
long LiveComObjects();

// Number of kernel handles (events) created and not yet closed, and of
// VirtualAlloc reservations not yet released: with LiveComObjects, what a
// leak check compares before and after.
long LiveKernelHandles();
long LiveVirtualReservations();

}  // namespace emul
