#include "MessageBox.h"

#include <windows.h>

namespace qv {

void ShowOkBox(const char* caption, const char* text, BoxIcon icon, BoxOwner owner) {
  UINT flags = MB_OK;
  if (icon == BoxIcon::Exclamation) flags |= MB_ICONEXCLAMATION;
  if (icon == BoxIcon::Information) flags |= MB_ICONINFORMATION;
  HWND hOwner = nullptr;
  if (owner == BoxOwner::ActiveWindow) hOwner = GetActiveWindow();
  if (owner == BoxOwner::FocusWindow) hOwner = GetFocus();
  MessageBoxA(hOwner, text ? text : "", caption ? caption : "", flags);
}

}  // namespace qv
