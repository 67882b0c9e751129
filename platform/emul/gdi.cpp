// Device-dependent bitmaps held in memory. Handles index a table of their
// own, so a stale handle, or a kernel handle passed by mistake, fails
// cleanly.
#include "emul/gdi.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "emul/fault.h"
#include "emul/kernel.h"

namespace {

// Bitmaps larger than this are refused as Windows refuses them: for lack of
// memory.
constexpr std::size_t MAX_BITMAP_BYTES = std::size_t{1} << 30;

struct CBitmapObject {
  LONG nWidth;
  LONG nHeight;
  WORD nBitsPixel;
  LONG nWidthBytes;  // rows are padded to 16 bits
  std::vector<BYTE> bits;
};

class CGdiTable {
 public:
  HGDIOBJ Add(std::unique_ptr<CBitmapObject> pBitmap) {
    std::lock_guard lock(m_mutex);
    // A range apart from kernel handles, so that mixing them up fails.
    m_nLast += 4;
    m_bitmaps.emplace(m_nLast, std::move(pBitmap));
    return reinterpret_cast<HGDIOBJ>(m_nLast);
  }

  bool Remove(HGDIOBJ h) {
    std::lock_guard lock(m_mutex);
    return m_bitmaps.erase(reinterpret_cast<std::uintptr_t>(h)) != 0;
  }

  // Runs f on the bitmap under the table's lock; false when h is no bitmap.
  template <class F>
  bool With(HGDIOBJ h, F f) {
    std::lock_guard lock(m_mutex);
    const auto it = m_bitmaps.find(reinterpret_cast<std::uintptr_t>(h));
    if (it == m_bitmaps.end()) {
      return false;
    }
    f(*it->second);
    return true;
  }

 private:
  std::mutex m_mutex;
  std::uintptr_t m_nLast = 0x40000000;
  std::map<std::uintptr_t, std::unique_ptr<CBitmapObject>> m_bitmaps;
};

CGdiTable& Objects() {
  static CGdiTable s_objects;
  return s_objects;
}

// The pixel depths a bitmap can have; others round up to the next one.
WORD SupportedDepth(UINT nBitCount) {
  for (const WORD nDepth : {1, 4, 8, 16, 24, 32}) {
    if (nBitCount <= nDepth) {
      return nDepth;
    }
  }
  return 0;
}

}  // namespace

HBITMAP WINAPI CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount, const void* lpBits) {
  if (emul::FaultForWin32("CreateBitmap")) {
    return nullptr;
  }
  // A zero width or height gives a 1 x 1 monochrome bitmap, as on Windows.
  if (nWidth == 0 || nHeight == 0) {
    nWidth = 1;
    nHeight = 1;
    nBitCount = 1;
    lpBits = nullptr;
  }
  const WORD nDepth = SupportedDepth(nBitCount);
  if (nWidth < 0 || nHeight < 0 || nPlanes != 1 || nDepth == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const std::size_t cbRow = ((static_cast<std::size_t>(nWidth) * nDepth + 15) / 16) * 2;
  if (cbRow > MAX_BITMAP_BYTES / static_cast<std::size_t>(nHeight)) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto pBitmap = std::make_unique<CBitmapObject>();
  pBitmap->nWidth = nWidth;
  pBitmap->nHeight = nHeight;
  pBitmap->nBitsPixel = nDepth;
  pBitmap->nWidthBytes = static_cast<LONG>(cbRow);
  pBitmap->bits.assign(cbRow * static_cast<std::size_t>(nHeight), 0);
  if (lpBits != nullptr) {
    std::memcpy(pBitmap->bits.data(), lpBits, pBitmap->bits.size());
  }
  return static_cast<HBITMAP>(Objects().Add(std::move(pBitmap)));
}

LONG WINAPI SetBitmapBits(HBITMAP hbm, DWORD cb, const void* pvBits) {
  if (emul::FaultForWin32("SetBitmapBits")) {
    return 0;
  }
  if (pvBits == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::size_t cbCopied = 0;
  const bool bFound = Objects().With(hbm, [&](CBitmapObject& bitmap) {
    cbCopied = std::min<std::size_t>(cb, bitmap.bits.size());
    std::memcpy(bitmap.bits.data(), pvBits, cbCopied);
  });
  if (!bFound) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return static_cast<LONG>(cbCopied);
}

LONG WINAPI GetBitmapBits(HBITMAP hbit, LONG cb, LPVOID lpvBits) {
  if (emul::FaultForWin32("GetBitmapBits")) {
    return 0;
  }
  if (cb < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::size_t cbResult = 0;
  const bool bFound = Objects().With(hbit, [&](CBitmapObject& bitmap) {
    if (lpvBits == nullptr) {
      cbResult = bitmap.bits.size();  // the size a caller needs
      return;
    }
    cbResult = std::min<std::size_t>(static_cast<std::size_t>(cb), bitmap.bits.size());
    std::memcpy(lpvBits, bitmap.bits.data(), cbResult);
  });
  if (!bFound) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return static_cast<LONG>(cbResult);
}

int WINAPI GetObjectA(HGDIOBJ h, int c, LPVOID pv) {
  if (emul::FaultForWin32("GetObjectA")) {
    return 0;
  }
  int nResult = 0;
  const bool bFound = Objects().With(h, [&](CBitmapObject& bitmap) {
    if (pv == nullptr) {
      nResult = static_cast<int>(sizeof(BITMAP));
      return;
    }
    if (c < static_cast<int>(sizeof(BITMAP))) {
      return;
    }
    BITMAP info{};
    info.bmType = 0;
    info.bmWidth = bitmap.nWidth;
    info.bmHeight = bitmap.nHeight;
    info.bmWidthBytes = bitmap.nWidthBytes;
    info.bmPlanes = 1;
    info.bmBitsPixel = bitmap.nBitsPixel;
    info.bmBits = nullptr;
    std::memcpy(pv, &info, sizeof(info));
    nResult = static_cast<int>(sizeof(info));
  });
  if (!bFound || nResult == 0) {
    SetLastError(bFound ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return 0;
  }
  return nResult;
}

BOOL WINAPI DeleteObject(HGDIOBJ ho) {
  if (emul::FaultForWin32("DeleteObject")) {
    return FALSE;
  }
  if (!Objects().Remove(ho)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return TRUE;
}
