// The class table behind CoCreateInstance. Emulated classes enter themselves
// from a static registrar in their own source file:
//
//   static const bool g_bRegistered =
//       emul::RegisterClass(CLSID_FilterGraph, &CreateComInstance<CFilterGraph>);
//
// The table is built on first use, so registrars may run in any order during
// static initialisation.
#pragma once

#include "emul/com_interfaces.h"

namespace emul {

// Creates an object of the class and returns its riid interface in *ppv,
// as IClassFactory::CreateInstance does.
using PFN_CREATEINSTANCE = HRESULT (*)(IUnknown* pUnkOuter, REFIID riid, void** ppv);

// Enters the class, replacing an earlier factory of the same CLSID (tests use
// that to put a fake in place). A null factory removes the class. Returns true.
bool RegisterClass(REFCLSID rclsid, PFN_CREATEINSTANCE pfnCreate);

// The factory registered for the class, or null.
PFN_CREATEINSTANCE FindClass(REFCLSID rclsid);

}  // namespace emul
