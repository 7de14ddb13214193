// IUnknown written once for every COM object of the virtual camera.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include <atomic>
#include <tuple>

#include "ComHolder.h"

namespace qvvcam {

// Live objects and server locks of the module, for DllCanUnloadNow.
void ModuleAddRef();
void ModuleRelease();
bool ModuleInUse();
HINSTANCE ModuleInstance();

template <class I>
bool IidIs(REFIID iid) {
  return IsEqualGUID(iid, __uuidof(I)) != 0;
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
    void* found = IsEqualGUID(iid, IID_IUnknown) ? static_cast<IUnknown*>(static_cast<First*>(this)) : Interface(iid);
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
  IUnknown* m_owner;             // not counted: the owner outlives the objects it owns
};

}  // namespace qvvcam
