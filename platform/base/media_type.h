// Ownership of AM_MEDIA_TYPE: the format block belongs to the media type and
// is freed with CoTaskMemFree; pUnk holds one reference. The helpers follow
// DirectShow's conventions, so media types may cross to and from Windows'
// own objects.
#pragma once

#include "winapi.h"

// Frees the format block and releases pUnk, leaving the fields null/zero.
void FreeMediaType(AM_MEDIA_TYPE& mt);
// FreeMediaType, then CoTaskMemFree of the structure itself (what a caller
// does with a media type handed out by GetFormat, GetStreamCaps or an
// IEnumMediaTypes). Null is ignored.
void DeleteMediaType(AM_MEDIA_TYPE* pmt);
// Deep copy into *pDst (whose old contents are not freed): a new format
// block and a new reference to pUnk. E_OUTOFMEMORY leaves *pDst with no
// format block.
HRESULT CopyMediaType(AM_MEDIA_TYPE* pDst, const AM_MEDIA_TYPE* pSrc);
// A task-memory copy of *pSrc for handing out; null when memory runs out.
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* pSrc);

// A media type value that owns its format block and pUnk. Starts all zero.
class CMediaType : public AM_MEDIA_TYPE {
 public:
  CMediaType() noexcept;
  // A failed copy leaves no format block; IsValidCopy tells.
  CMediaType(const CMediaType& other);
  explicit CMediaType(const AM_MEDIA_TYPE& other);
  CMediaType(CMediaType&& other) noexcept;
  ~CMediaType();
  CMediaType& operator=(const CMediaType& other);
  CMediaType& operator=(CMediaType&& other) noexcept;

  // Replaces the contents by a deep copy of mt.
  HRESULT Set(const AM_MEDIA_TYPE& mt);
  // Frees everything owned and zeroes the fields.
  void Clear() noexcept;
  // Allocates a zeroed format block of cb bytes (replacing any other);
  // returns it, or null when memory runs out.
  BYTE* AllocFormatBuffer(ULONG cb);
  // The format block as a VIDEOINFOHEADER, or null when it is not one.
  VIDEOINFOHEADER* VideoInfo() const noexcept;
};

// Owns a media type handed out by pointer (AM_MEDIA_TYPE**): DeleteMediaType
// on destruction and before use as an out parameter again.
class CMediaTypePtr {
 public:
  CMediaTypePtr() noexcept = default;
  explicit CMediaTypePtr(AM_MEDIA_TYPE* pmt) noexcept : m_pmt(pmt) {}
  CMediaTypePtr(const CMediaTypePtr&) = delete;
  CMediaTypePtr& operator=(const CMediaTypePtr&) = delete;
  CMediaTypePtr(CMediaTypePtr&& other) noexcept : m_pmt(other.Detach()) {}
  CMediaTypePtr& operator=(CMediaTypePtr&& other) noexcept;
  ~CMediaTypePtr() { Reset(); }

  AM_MEDIA_TYPE* Get() const noexcept { return m_pmt; }
  AM_MEDIA_TYPE* operator->() const noexcept { return m_pmt; }
  explicit operator bool() const noexcept { return m_pmt != nullptr; }
  // For out parameters: deletes the current media type, then gives the slot.
  AM_MEDIA_TYPE** operator&() noexcept;
  [[nodiscard]] AM_MEDIA_TYPE* Detach() noexcept;
  void Reset() noexcept;

  // The format block as a VIDEOINFOHEADER, or null when there is none.
  VIDEOINFOHEADER* VideoInfo() const noexcept;

 private:
  AM_MEDIA_TYPE* m_pmt = nullptr;
};
