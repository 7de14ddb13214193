// Out values that the COM contracts hand out in task memory, which the caller frees.
#pragma once

#include <windows.h>
#include <ocidl.h>

namespace qvvcam {

// Copies text into task memory for *out: E_POINTER for a null out, E_OUTOFMEMORY when
// the copy can't be made.
HRESULT TaskString(const wchar_t* text, LPWSTR* out);

// A page list of one property page, as ISpecifyPropertyPages::GetPages gives it.
HRESULT OnePageList(REFCLSID page, CAUUID* pages);

}  // namespace qvvcam
