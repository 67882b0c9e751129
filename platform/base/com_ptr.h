// ComPtr<T>: holds one reference to a COM interface.
//
// Ownership rules it makes visible: constructing or assigning from a raw
// pointer or another ComPtr takes a reference; Attach adopts a reference the
// caller already owns; Detach hands the reference back to the caller; &ptr
// (for out parameters) releases the current interface first.
#pragma once

#include <cstddef>
#include <memory>
#include <utility>

#include "winapi.h"

template <class T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(std::nullptr_t) noexcept {}
  explicit ComPtr(T* p) noexcept : m_p(p) { AddRefIfSet(); }
  ComPtr(const ComPtr& other) noexcept : m_p(other.m_p) { AddRefIfSet(); }
  ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
  ~ComPtr() { Reset(); }

  ComPtr& operator=(const ComPtr& other) noexcept {
    // Take the new reference before dropping the old: other may be owned by
    // the object this releases.
    T* p = other.m_p;
    if (p != nullptr) {
      p->AddRef();
    }
    Attach(p);
    return *this;
  }
  ComPtr& operator=(ComPtr&& other) noexcept {
    if (this != std::addressof(other)) {
      Attach(std::exchange(other.m_p, nullptr));
    }
    return *this;
  }
  ComPtr& operator=(std::nullptr_t) noexcept {
    Reset();
    return *this;
  }

  T* Get() const noexcept { return m_p; }
  T* operator->() const noexcept { return m_p; }
  explicit operator bool() const noexcept { return m_p != nullptr; }

  // For out parameters: releases the current interface, then gives the slot.
  T** operator&() noexcept { return ReleaseAndGetAddressOf(); }
  T** ReleaseAndGetAddressOf() noexcept {
    Reset();
    return &m_p;
  }
  // The same for parameters typed void** (QueryInterface, CoCreateInstance).
  void** ReleaseAndGetVoidAddressOf() noexcept { return reinterpret_cast<void**>(ReleaseAndGetAddressOf()); }

  // Adopts a reference the caller owns, releasing the current interface.
  void Attach(T* p) noexcept {
    T* pOld = std::exchange(m_p, p);
    if (pOld != nullptr) {
      pOld->Release();
    }
  }
  // Hands the reference to the caller.
  [[nodiscard]] T* Detach() noexcept { return std::exchange(m_p, nullptr); }

  void Reset() noexcept { Attach(nullptr); }

  // Stores the interface with a new reference into an out parameter.
  HRESULT CopyTo(T** pp) const noexcept {
    if (pp == nullptr) {
      return E_POINTER;
    }
    *pp = m_p;
    AddRefIfSet();
    return S_OK;
  }

  // QueryInterface for riid into out (released first). A null ComPtr gives
  // E_POINTER.
  template <class U>
  HRESULT As(REFIID riid, ComPtr<U>& out) const noexcept {
    if (m_p == nullptr) {
      out.Reset();
      return E_POINTER;
    }
    return m_p->QueryInterface(riid, out.ReleaseAndGetVoidAddressOf());
  }

  friend bool operator==(const ComPtr& a, const ComPtr& b) noexcept { return a.m_p == b.m_p; }
  friend bool operator==(const ComPtr& a, const T* p) noexcept { return a.m_p == p; }
  friend bool operator==(const ComPtr& a, std::nullptr_t) noexcept { return a.m_p == nullptr; }

 private:
  void AddRefIfSet() const noexcept {
    if (m_p != nullptr) {
      m_p->AddRef();
    }
  }

  T* m_p = nullptr;
};
