// Task memory, BSTRs and VARIANTs.
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <limits>

#include "emul/com_api.h"
#include "emul/fault.h"

namespace {

// A BSTR is preceded by its length in bytes, without the terminating null.
using BSTRLENGTH = UINT;

BSTR AllocBstr(const OLECHAR* pch, std::size_t cch) {
  if (cch > std::numeric_limits<BSTRLENGTH>::max() / sizeof(OLECHAR)) {
    return nullptr;
  }
  const std::size_t cbText = cch * sizeof(OLECHAR);
  static_assert(sizeof(BSTRLENGTH) % alignof(OLECHAR) == 0);
  auto* pBlock = static_cast<BYTE*>(std::calloc(1, sizeof(BSTRLENGTH) + cbText + sizeof(OLECHAR)));
  if (pBlock == nullptr) {
    return nullptr;
  }
  const auto cbLength = static_cast<BSTRLENGTH>(cbText);
  std::memcpy(pBlock, &cbLength, sizeof(cbLength));
  auto* bstr = reinterpret_cast<BSTR>(pBlock + sizeof(BSTRLENGTH));
  if (pch != nullptr && cch != 0) {
    std::memcpy(bstr, pch, cbText);
  }
  return bstr;
}

}  // namespace

LPVOID WINAPI CoTaskMemAlloc(SIZE_T cb) {
  if (FAILED(emul::FaultFor("CoTaskMemAlloc"))) {
    return nullptr;
  }
  // Zero bytes still give a distinct block, as on Windows.
  return std::malloc(cb == 0 ? 1 : cb);
}

LPVOID WINAPI CoTaskMemRealloc(LPVOID pv, SIZE_T cb) {
  if (FAILED(emul::FaultFor("CoTaskMemRealloc"))) {
    return nullptr;
  }
  if (cb == 0 && pv != nullptr) {
    std::free(pv);
    return nullptr;
  }
  return std::realloc(pv, cb == 0 ? 1 : cb);
}

void WINAPI CoTaskMemFree(LPVOID pv) { std::free(pv); }

BSTR WINAPI SysAllocString(const OLECHAR* psz) {
  if (FAILED(emul::FaultFor("SysAllocString")) || psz == nullptr) {
    return nullptr;
  }
  return AllocBstr(psz, std::wcslen(psz));
}

BSTR WINAPI SysAllocStringLen(const OLECHAR* pch, UINT cch) {
  if (FAILED(emul::FaultFor("SysAllocStringLen"))) {
    return nullptr;
  }
  return AllocBstr(pch, cch);
}

void WINAPI SysFreeString(BSTR bstr) {
  if (bstr != nullptr) {
    std::free(reinterpret_cast<BYTE*>(bstr) - sizeof(BSTRLENGTH));
  }
}

UINT WINAPI SysStringLen(BSTR bstr) {
  if (bstr == nullptr) {
    return 0;
  }
  BSTRLENGTH cbLength = 0;
  std::memcpy(&cbLength, reinterpret_cast<const BYTE*>(bstr) - sizeof(BSTRLENGTH), sizeof(cbLength));
  return cbLength / sizeof(OLECHAR);
}

void WINAPI VariantInit(VARIANT* pvarg) {
  if (pvarg != nullptr) {
    std::memset(pvarg, 0, sizeof(*pvarg));
    pvarg->vt = VT_EMPTY;
  }
}

HRESULT WINAPI VariantClear(VARIANT* pvarg) {
  if (pvarg == nullptr) {
    return E_INVALIDARG;
  }
  switch (pvarg->vt) {
    case VT_BSTR:
      SysFreeString(pvarg->bstrVal);
      break;
    case VT_UNKNOWN:
      if (pvarg->punkVal != nullptr) {
        pvarg->punkVal->Release();
      }
      break;
    case VT_DISPATCH:
      if (pvarg->pdispVal != nullptr) {
        pvarg->pdispVal->Release();
      }
      break;
    default:
      break;
  }
  VariantInit(pvarg);
  return S_OK;
}
