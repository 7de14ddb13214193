#include "TaskMemory.h"

#include <objbase.h>

#include <cstring>
#include <cwchar>

namespace qvvcam {

HRESULT TaskString(const wchar_t* text, LPWSTR* out) {
  if (out == nullptr) return E_POINTER;
  const size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
  *out = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  if (*out == nullptr) return E_OUTOFMEMORY;
  std::memcpy(*out, text, bytes);
  return S_OK;
}

HRESULT OnePageList(REFCLSID page, CAUUID* pages) {
  if (pages == nullptr) return E_POINTER;
  pages->cElems = 0;
  pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
  if (pages->pElems == nullptr) return E_OUTOFMEMORY;
  pages->cElems = 1;
  pages->pElems[0] = page;
  return S_OK;
}

}  // namespace qvvcam
