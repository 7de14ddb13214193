// A tiny owning holder for one COM interface reference: released on every return path.
#pragma once

#include <unknwn.h>

template <typename T>
class ComHolder {
 public:
  ComHolder() = default;
  ~ComHolder() { Reset(); }
  ComHolder(const ComHolder&) = delete;
  ComHolder& operator=(const ComHolder&) = delete;
  ComHolder(ComHolder&& other) noexcept : m_p(other.m_p) { other.m_p = nullptr; }

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

 private:
  T* m_p = nullptr;
};
