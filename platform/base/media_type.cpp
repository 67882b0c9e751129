#include "base/media_type.h"

#include <cstring>
#include <memory>
#include <utility>

void FreeMediaType(AM_MEDIA_TYPE& mt) {
  if (mt.cbFormat != 0) {
    CoTaskMemFree(mt.pbFormat);
    mt.cbFormat = 0;
    mt.pbFormat = nullptr;
  }
  if (mt.pUnk != nullptr) {
    mt.pUnk->Release();
    mt.pUnk = nullptr;
  }
}

void DeleteMediaType(AM_MEDIA_TYPE* pmt) {
  if (pmt != nullptr) {
    FreeMediaType(*pmt);
    CoTaskMemFree(pmt);
  }
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* pDst, const AM_MEDIA_TYPE* pSrc) {
  if (pDst == nullptr || pSrc == nullptr) {
    return E_POINTER;
  }
  *pDst = *pSrc;
  if (pSrc->cbFormat != 0 && pSrc->pbFormat != nullptr) {
    pDst->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(pSrc->cbFormat));
    if (pDst->pbFormat == nullptr) {
      pDst->cbFormat = 0;
      pDst->pUnk = nullptr;
      return E_OUTOFMEMORY;
    }
    std::memcpy(pDst->pbFormat, pSrc->pbFormat, pSrc->cbFormat);
  } else {
    // A block without a size, or a size without a block, is no format.
    pDst->cbFormat = 0;
    pDst->pbFormat = nullptr;
  }
  if (pDst->pUnk != nullptr) {
    pDst->pUnk->AddRef();
  }
  return S_OK;
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* pSrc) {
  if (pSrc == nullptr) {
    return nullptr;
  }
  auto* pmt = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  if (pmt == nullptr) {
    return nullptr;
  }
  if (FAILED(CopyMediaType(pmt, pSrc))) {
    CoTaskMemFree(pmt);
    return nullptr;
  }
  return pmt;
}

static VIDEOINFOHEADER* VideoInfoOf(const AM_MEDIA_TYPE& mt) {
  if (mt.formattype == FORMAT_VideoInfo && mt.pbFormat != nullptr && mt.cbFormat >= sizeof(VIDEOINFOHEADER)) {
    return reinterpret_cast<VIDEOINFOHEADER*>(mt.pbFormat);
  }
  return nullptr;
}

CMediaType::CMediaType() noexcept : AM_MEDIA_TYPE{} {}

CMediaType::CMediaType(const CMediaType& other) : AM_MEDIA_TYPE{} { Set(other); }

CMediaType::CMediaType(const AM_MEDIA_TYPE& other) : AM_MEDIA_TYPE{} { Set(other); }

CMediaType::CMediaType(CMediaType&& other) noexcept : AM_MEDIA_TYPE(other) {
  static_cast<AM_MEDIA_TYPE&>(other) = AM_MEDIA_TYPE{};
}

CMediaType::~CMediaType() { FreeMediaType(*this); }

CMediaType& CMediaType::operator=(const CMediaType& other) {
  if (this != &other) {
    Set(other);
  }
  return *this;
}

CMediaType& CMediaType::operator=(CMediaType&& other) noexcept {
  if (this != &other) {
    FreeMediaType(*this);
    static_cast<AM_MEDIA_TYPE&>(*this) = other;
    static_cast<AM_MEDIA_TYPE&>(other) = AM_MEDIA_TYPE{};
  }
  return *this;
}

HRESULT CMediaType::Set(const AM_MEDIA_TYPE& mt) {
  if (&mt == this) {
    return S_OK;
  }
  // Copy before freeing: mt may be owned by something this type releases.
  AM_MEDIA_TYPE copy{};
  const HRESULT hr = CopyMediaType(&copy, &mt);
  FreeMediaType(*this);
  static_cast<AM_MEDIA_TYPE&>(*this) = copy;
  return hr;
}

void CMediaType::Clear() noexcept {
  FreeMediaType(*this);
  static_cast<AM_MEDIA_TYPE&>(*this) = AM_MEDIA_TYPE{};
}

BYTE* CMediaType::AllocFormatBuffer(ULONG cb) {
  auto* pb = static_cast<BYTE*>(CoTaskMemAlloc(cb));
  if (pb == nullptr) {
    return nullptr;
  }
  std::memset(pb, 0, cb);
  if (cbFormat != 0) {
    CoTaskMemFree(pbFormat);
  }
  pbFormat = pb;
  cbFormat = cb;
  return pb;
}

VIDEOINFOHEADER* CMediaType::VideoInfo() const noexcept { return VideoInfoOf(*this); }

CMediaTypePtr& CMediaTypePtr::operator=(CMediaTypePtr&& other) noexcept {
  if (this != std::addressof(other)) {
    DeleteMediaType(std::exchange(m_pmt, other.Detach()));
  }
  return *this;
}

AM_MEDIA_TYPE** CMediaTypePtr::operator&() noexcept {
  Reset();
  return &m_pmt;
}

AM_MEDIA_TYPE* CMediaTypePtr::Detach() noexcept { return std::exchange(m_pmt, nullptr); }

void CMediaTypePtr::Reset() noexcept { DeleteMediaType(std::exchange(m_pmt, nullptr)); }

VIDEOINFOHEADER* CMediaTypePtr::VideoInfo() const noexcept { return m_pmt == nullptr ? nullptr : VideoInfoOf(*m_pmt); }
