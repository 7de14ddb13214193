// The class object of every class the DLL serves.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "ComObject.h"

namespace qvvcam {

class ClassFactory final : public ComObject<IClassFactory> {
 public:
  explicit ClassFactory(const CLSID& clsid) : m_clsid(clsid) {}
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override;
  STDMETHODIMP LockServer(BOOL lock) override;
  static bool Serves(const CLSID& clsid);

 private:
  void* Interface(REFIID iid) override { return Listed(iid); }
  CLSID m_clsid;
};

}  // namespace qvvcam
