// Result codes with the values Windows gives them: HRESULTs of COM and
// DirectShow, Win32 error numbers, and the helpers that test and build them.
#pragma once

#include "emul/types.h"

constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }

constexpr HRESULT MakeHresult(std::uint32_t value) { return static_cast<HRESULT>(value); }

// Win32 error numbers (GetLastError).
inline constexpr DWORD ERROR_SUCCESS = 0;
inline constexpr DWORD ERROR_INVALID_HANDLE = 6;
inline constexpr DWORD ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr DWORD ERROR_OUTOFMEMORY = 14;
inline constexpr DWORD ERROR_NOT_SUPPORTED = 50;
inline constexpr DWORD ERROR_INVALID_PARAMETER = 87;
inline constexpr DWORD ERROR_INVALID_ADDRESS = 487;
inline constexpr DWORD ERROR_NOT_FOUND = 1168;
inline constexpr DWORD ERROR_SET_NOT_FOUND = 1170;

inline constexpr std::uint32_t FACILITY_WIN32 = 7;

constexpr HRESULT HRESULT_FROM_WIN32(DWORD code) {
  return static_cast<LONG>(code) <= 0
             ? static_cast<HRESULT>(code)
             : MakeHresult((code & 0x0000FFFFu) | (FACILITY_WIN32 << 16) | 0x80000000u);
}

// General COM results.
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT NOERROR = 0;
inline constexpr HRESULT E_NOTIMPL = MakeHresult(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = MakeHresult(0x80004002);
inline constexpr HRESULT E_POINTER = MakeHresult(0x80004003);
inline constexpr HRESULT E_ABORT = MakeHresult(0x80004004);
inline constexpr HRESULT E_FAIL = MakeHresult(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = MakeHresult(0x8000FFFF);
inline constexpr HRESULT E_ACCESSDENIED = MakeHresult(0x80070005);
inline constexpr HRESULT E_HANDLE = MakeHresult(0x80070006);
inline constexpr HRESULT E_OUTOFMEMORY = MakeHresult(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = MakeHresult(0x80070057);
inline constexpr HRESULT RPC_E_CHANGED_MODE = MakeHresult(0x80010106);
inline constexpr HRESULT CO_E_NOTINITIALIZED = MakeHresult(0x800401F0);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = MakeHresult(0x80040110);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = MakeHresult(0x80040111);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHresult(0x80040154);

// Kernel-streaming property sets (IKsPropertySet).
inline constexpr HRESULT E_PROP_ID_UNSUPPORTED = MakeHresult(0x80070490);
inline constexpr HRESULT E_PROP_SET_UNSUPPORTED = MakeHresult(0x80070492);

// DirectShow results.
inline constexpr HRESULT VFW_S_NO_MORE_ITEMS = MakeHresult(0x00040103);
inline constexpr HRESULT VFW_S_STATE_INTERMEDIATE = MakeHresult(0x00040237);
inline constexpr HRESULT VFW_S_PARTIAL_RENDER = MakeHresult(0x00040242);
inline constexpr HRESULT VFW_S_CANT_CUE = MakeHresult(0x00040268);
inline constexpr HRESULT VFW_E_INVALIDMEDIATYPE = MakeHresult(0x80040200);
inline constexpr HRESULT VFW_E_NEED_OWNER = MakeHresult(0x80040202);
inline constexpr HRESULT VFW_E_ENUM_OUT_OF_SYNC = MakeHresult(0x80040203);
inline constexpr HRESULT VFW_E_ALREADY_CONNECTED = MakeHresult(0x80040204);
inline constexpr HRESULT VFW_E_NO_TYPES = MakeHresult(0x80040206);
inline constexpr HRESULT VFW_E_NO_ACCEPTABLE_TYPES = MakeHresult(0x80040207);
inline constexpr HRESULT VFW_E_INVALID_DIRECTION = MakeHresult(0x80040208);
inline constexpr HRESULT VFW_E_NOT_CONNECTED = MakeHresult(0x80040209);
inline constexpr HRESULT VFW_E_NO_ALLOCATOR = MakeHresult(0x8004020A);
inline constexpr HRESULT VFW_E_RUNTIME_ERROR = MakeHresult(0x8004020B);
inline constexpr HRESULT VFW_E_BUFFER_OVERFLOW = MakeHresult(0x8004020D);
inline constexpr HRESULT VFW_E_NOT_COMMITTED = MakeHresult(0x80040211);
inline constexpr HRESULT VFW_E_SIZENOTSET = MakeHresult(0x80040212);
inline constexpr HRESULT VFW_E_NO_CLOCK = MakeHresult(0x80040213);
inline constexpr HRESULT VFW_E_NO_SINK = MakeHresult(0x80040214);
inline constexpr HRESULT VFW_E_NO_INTERFACE = MakeHresult(0x80040215);
inline constexpr HRESULT VFW_E_NOT_FOUND = MakeHresult(0x80040216);
inline constexpr HRESULT VFW_E_CANNOT_CONNECT = MakeHresult(0x80040217);
inline constexpr HRESULT VFW_E_CANNOT_RENDER = MakeHresult(0x80040218);
inline constexpr HRESULT VFW_E_STATE_CHANGED = MakeHresult(0x80040223);
inline constexpr HRESULT VFW_E_NOT_STOPPED = MakeHresult(0x80040224);
inline constexpr HRESULT VFW_E_NOT_PAUSED = MakeHresult(0x80040225);
inline constexpr HRESULT VFW_E_NOT_RUNNING = MakeHresult(0x80040226);
inline constexpr HRESULT VFW_E_WRONG_STATE = MakeHresult(0x80040227);
inline constexpr HRESULT VFW_E_TYPE_NOT_ACCEPTED = MakeHresult(0x8004022A);
inline constexpr HRESULT VFW_E_DUPLICATE_NAME = MakeHresult(0x8004022D);
inline constexpr HRESULT VFW_E_TIMEOUT = MakeHresult(0x8004022E);
inline constexpr HRESULT VFW_E_CIRCULAR_GRAPH = MakeHresult(0x80040231);
inline constexpr HRESULT VFW_E_SAMPLE_TIME_NOT_SET = MakeHresult(0x80040249);
inline constexpr HRESULT VFW_E_NOT_IN_GRAPH = MakeHresult(0x8004025F);
