// The one owning holder of a COM interface reference: released on every return path.
#pragma once

#include <unknwn.h>

template <typename T>
class ComHolder {
 public:
  ComHolder() = default;
  ~ComHolder() { Reset(); }
  ComHolder(const ComHolder&) = delete;
  ComHolder& operator=(const ComHolder&) = delete;
  ComHolder(ComHolder&& other) noexcept : m_p(other.Detach()) {}
  ComHolder& operator=(ComHolder&& other) noexcept {
    if (this != &other) {
      Reset();
      m_p = other.Detach();
    }
    return *this;
  }

  T* Get() const { return m_p; }
  T* operator->() const { return m_p; }
  operator T*() const { return m_p; }  // NOLINT: reads like the raw pointer it holds
  explicit operator bool() const { return m_p != nullptr; }

  // Releases what is held and gives the slot for an out parameter.
  T** Out() {
    Reset();
    return &m_p;
  }
  void** OutVoid() { return reinterpret_cast<void**>(Out()); }

  // Sets the holder to null first, then releases the reference it held.
  void Reset() {
    T* held = m_p;
    m_p = nullptr;
    if (held != nullptr) held->Release();
  }
  // Takes over a reference the caller owned (no AddRef).
  void Attach(T* owned) {
    Reset();
    m_p = owned;
  }
  // Holds a reference of its own to shared (AddRef), then releases the one held before.
  void CopyFrom(T* shared) {
    if (shared != nullptr) shared->AddRef();
    T* held = m_p;
    m_p = shared;
    if (held != nullptr) held->Release();
  }
  // Gives up the reference without releasing it: the caller owns it now.
  T* Detach() {
    T* held = m_p;
    m_p = nullptr;
    return held;
  }
  // Hands a reference of the caller's own out through an out parameter (null when empty).
  HRESULT CopyTo(T** out) const {
    if (out == nullptr) return E_POINTER;
    *out = m_p;
    if (m_p != nullptr) m_p->AddRef();
    return S_OK;
  }

  // Releases what is held, then queries source for iid into the holder. A failed query
  // leaves it empty whatever the callee wrote: only a success hands out a reference.
  HRESULT QueryFrom(IUnknown* source, REFIID iid) {
    Reset();
    T* queried = nullptr;
    const HRESULT hr = source->QueryInterface(iid, reinterpret_cast<void**>(&queried));
    if (SUCCEEDED(hr)) m_p = queried;
    return hr;
  }

 private:
  T* m_p = nullptr;
};
