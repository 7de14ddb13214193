#include <windows.h>

#include "WinApp.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    return AfxModuleAttach(instance);
  }
  if (reason == DLL_PROCESS_DETACH) AfxModuleDetach();
  return TRUE;
}
