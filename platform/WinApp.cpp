#include "WinApp.h"

namespace {
CWinApp* g_pApp = nullptr;
}

CWinApp::CWinApp(const char* appName) : m_pszAppName(appName) { g_pApp = this; }

CWinApp::~CWinApp() {
  if (g_pApp == this) g_pApp = nullptr;
}

CWinApp* AfxGetApp() { return g_pApp; }

BOOL AfxModuleAttach(HINSTANCE instance) {
  if (g_pApp == nullptr) return TRUE;
  g_pApp->m_hInstance = instance;
  g_pApp->InitInstance();
  return TRUE;
}

void AfxModuleDetach() {
  if (g_pApp != nullptr) g_pApp->ExitInstance();
}
