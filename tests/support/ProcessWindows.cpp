#include "ProcessWindows.h"

namespace qvtest {

namespace {
BOOL CALLBACK Collect(HWND hwnd, LPARAM param) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == GetCurrentProcessId()) reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
  return TRUE;
}
}  // namespace

std::vector<HWND> TopLevelWindowsOfThisProcess() {
  std::vector<HWND> windows;
  EnumWindows(Collect, reinterpret_cast<LPARAM>(&windows));
  return windows;
}

bool IsPropertyFrame(HWND window) {
  char cls[16] = {};
  GetClassNameA(window, cls, sizeof cls);
  return lstrcmpA(cls, "#32770") == 0 && FindWindowExA(window, nullptr, "SysTabControl32", nullptr) != nullptr;
}

}  // namespace qvtest
