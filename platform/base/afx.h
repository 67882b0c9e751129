// The application-framework classes the library builds on, owned by the
// project on every platform: CObject with its run-time class record,
// CCmdTarget, and the GDI object wrappers CGdiObject and CBitmap.
#pragma once

#include <new>

#include "winapi.h"

class CObject;

// Run-time class information: the class name, the object size and the base
// class, linked so that IsKindOf can walk up the hierarchy, and for classes
// that support dynamic creation the function that makes a new object.
struct CRuntimeClass {
  LPCSTR m_lpszClassName;
  int m_nObjectSize;
  const CRuntimeClass* m_pBaseClass;
  CObject* (*m_pfnCreateObject)();  // null: no dynamic creation

  // True when this class is pBaseClass or derives from it.
  BOOL IsDerivedFrom(const CRuntimeClass* pBaseClass) const;
  // A new object of the class (the caller deletes it), or null when the class
  // does not support dynamic creation or memory runs out.
  CObject* CreateObject() const;
};

// Inside a class derived from CObject: declares its run-time class.
#define DECLARE_DYNAMIC(class_name)                      \
 public:                                                 \
  static const CRuntimeClass class##class_name;          \
  const CRuntimeClass* GetRuntimeClass() const override;

// Inside a class derived from CObject with a default constructor: declares
// its run-time class and the function that creates an object of it.
#define DECLARE_DYNCREATE(class_name) \
  DECLARE_DYNAMIC(class_name)         \
  static CObject* CreateObject();

// The definition both IMPLEMENT_ macros share.
#define IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, pfnNew)                      \
  const CRuntimeClass class_name::class##class_name = {                                       \
      #class_name, static_cast<int>(sizeof(class_name)), &base_class_name::class##base_class_name, \
      pfnNew};                                                                                \
  const CRuntimeClass* class_name::GetRuntimeClass() const { return &class_name::class##class_name; }

// In one source file: defines the run-time class of class_name, derived from
// base_class_name.
#define IMPLEMENT_DYNAMIC(class_name, base_class_name) \
  IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, nullptr)

// In one source file: the same for a class declared with DECLARE_DYNCREATE.
#define IMPLEMENT_DYNCREATE(class_name, base_class_name)                                  \
  CObject* class_name::CreateObject() { return new (std::nothrow) class_name; }          \
  IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, class_name::CreateObject)

#define RUNTIME_CLASS(class_name) (&class_name::class##class_name)

class CObject {
 public:
  static const CRuntimeClass classCObject;

  virtual ~CObject() = default;
  virtual const CRuntimeClass* GetRuntimeClass() const;
  // True when the object's class is pClass or derives from it.
  BOOL IsKindOf(const CRuntimeClass* pClass) const;

 protected:
  CObject() = default;
  CObject(const CObject&) = default;
  CObject& operator=(const CObject&) = default;
};

// Base of the framework's objects that take part in command routing; here it
// contributes only its place in the class hierarchy.
class CCmdTarget : public CObject {
  DECLARE_DYNAMIC(CCmdTarget)

 public:
  CCmdTarget() = default;
};

// Wraps one GDI object handle; the handle is deleted with the wrapper unless
// it was detached.
class CGdiObject : public CObject {
  DECLARE_DYNAMIC(CGdiObject)

 public:
  CGdiObject() = default;
  ~CGdiObject() override;
  CGdiObject(const CGdiObject&) = delete;
  CGdiObject& operator=(const CGdiObject&) = delete;

  // Takes ownership of hObject. FALSE for a null handle or when a handle is
  // already attached (the wrapper keeps its own).
  BOOL Attach(HGDIOBJ hObject);
  // Gives up ownership and returns the handle.
  HGDIOBJ Detach();
  // Deletes the attached object; FALSE when none is attached or the platform
  // refuses.
  BOOL DeleteObject();
  HGDIOBJ GetSafeHandle() const { return m_hObject; }

  HGDIOBJ m_hObject = nullptr;
};

class CBitmap : public CGdiObject {
  DECLARE_DYNAMIC(CBitmap)

 public:
  CBitmap() = default;

  BOOL CreateBitmap(int nWidth, int nHeight, UINT nPlanes, UINT nBitCount, const void* lpBits);
  DWORD SetBitmapBits(DWORD dwCount, const void* lpBits);
  DWORD GetBitmapBits(DWORD dwCount, LPVOID lpBits) const;
  int GetBitmap(BITMAP* pBitMap) const;
  operator HBITMAP() const { return static_cast<HBITMAP>(m_hObject); }
};
