// IUnknown written once for every COM object of the virtual camera.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>
#include <tuple>

namespace qvvcam {

// Live objects and server locks of the module, for DllCanUnloadNow.
void ModuleAddRef();
void ModuleRelease();
bool ModuleInUse();
HINSTANCE ModuleInstance();

template <class I>
bool IidIs(REFIID iid) {
  return IsEqualIID(iid, __uuidof(I)) != 0;
}

// Derives from every interface listed and answers QueryInterface through Interface(),
// which derived classes write (usually `return Listed(iid);`, plus base interfaces and
// interfaces offered only in some configurations). An object made with an owner (a pin)
// has no count of its own: it lives as long as its owner and counts on it.
template <class... Interfaces>
class ComObject : public Interfaces... {
  using First = std::tuple_element_t<0, std::tuple<Interfaces...>>;

 public:
  explicit ComObject(IUnknown* owner = nullptr) : m_owner(owner) { ModuleAddRef(); }
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    void* found = IsEqualIID(iid, IID_IUnknown) ? static_cast<IUnknown*>(static_cast<First*>(this)) : Interface(iid);
    *out = found;
    if (found == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return m_owner ? m_owner->AddRef() : ++m_refs; }
  STDMETHODIMP_(ULONG) Release() override {
    if (m_owner) return m_owner->Release();
    const ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
  }

  IUnknown* Unknown() { return static_cast<IUnknown*>(static_cast<First*>(this)); }

 protected:
  virtual ~ComObject() { ModuleRelease(); }
  virtual void* Interface(REFIID iid) = 0;
  // The listed interface that iid names, or null.
  void* Listed(REFIID iid) {
    void* found = nullptr;
    ((found = (found == nullptr && IidIs<Interfaces>(iid)) ? static_cast<Interfaces*>(this) : found), ...);
    return found;
  }

 private:
  std::atomic<ULONG> m_refs{1};  // the creator's reference
  IUnknown* m_owner;
};

// An owning interface pointer for locals and members.
template <class T>
class Ref {
 public:
  Ref() = default;
  explicit Ref(T* p, bool addRef = false) : m_p(p) {
    if (m_p && addRef) m_p->AddRef();
  }
  ~Ref() { Reset(); }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Ref(Ref&& o) noexcept : m_p(o.m_p) { o.m_p = nullptr; }
  Ref& operator=(Ref&& o) noexcept {
    if (this != &o) {
      Reset();
      m_p = o.m_p;
      o.m_p = nullptr;
    }
    return *this;
  }
  T* Get() const { return m_p; }
  T* operator->() const { return m_p; }
  explicit operator bool() const { return m_p != nullptr; }
  T** Out() {
    Reset();
    return &m_p;
  }
  void** OutVoid() { return reinterpret_cast<void**>(Out()); }
  void Reset(T* p = nullptr) {
    if (p) p->AddRef();
    T* old = m_p;
    m_p = p;
    if (old) old->Release();
  }
  T* Detach() {
    T* p = m_p;
    m_p = nullptr;
    return p;
  }

 private:
  T* m_p = nullptr;
};

// Copies a wide string into task memory (for the out strings of the COM contracts).
HRESULT TaskString(const wchar_t* text, LPWSTR* out);

}  // namespace qvvcam
