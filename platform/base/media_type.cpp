#include "base/media_type.h"

#include <cstring>
#include <memory>
#include <utility>

namespace {

struct CTaskMemFree {
  void operator()(void* pv) const { CoTaskMemFree(pv); }
};

}  // namespace

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

// The format block is allocated before anything is written, so that a
// failed or throwing allocation leaves pDst sharing nothing with pSrc.
HRESULT CopyMediaType(AM_MEDIA_TYPE* pDst, const AM_MEDIA_TYPE* pSrc) {
  if (pDst == nullptr || pSrc == nullptr) {
    return E_POINTER;
  }
  // A block without a size, or a size without a block, is no format.
  const bool bFormat = pSrc->cbFormat != 0 && pSrc->pbFormat != nullptr;
  BYTE* pbFormat = bFormat ? static_cast<BYTE*>(CoTaskMemAlloc(pSrc->cbFormat)) : nullptr;
  *pDst = *pSrc;
  pDst->pbFormat = pbFormat;
  pDst->cbFormat = pbFormat != nullptr ? pSrc->cbFormat : 0;
  if (bFormat && pbFormat == nullptr) {
    pDst->pUnk = nullptr;
    return E_OUTOFMEMORY;
  }
  if (pbFormat != nullptr) {
    std::memcpy(pbFormat, pSrc->pbFormat, pSrc->cbFormat);
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
  std::unique_ptr<AM_MEDIA_TYPE, CTaskMemFree> pmt(static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE))));
  if (pmt == nullptr || FAILED(CopyMediaType(pmt.get(), pSrc))) {
    return nullptr;
  }
  return pmt.release();
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
