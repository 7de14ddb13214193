// The application object of a library module, standing in for the framework's CWinApp.
#pragma once

#include <windows.h>

class CWinApp {
 public:
  explicit CWinApp(const char* appName = nullptr);
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // Runs once when the module is attached to the process; the default does nothing.
  virtual BOOL InitInstance() { return TRUE; }
  // Runs once when the module is detached; the default does nothing.
  virtual int ExitInstance() { return 0; }

  const char* m_pszAppName;
  HINSTANCE m_hInstance = nullptr;
};

// The module's one application object, or null before it is constructed.
CWinApp* AfxGetApp();

// Module start-up and shut-down, called from the library's DllMain.
BOOL AfxModuleAttach(HINSTANCE instance);
void AfxModuleDetach();
