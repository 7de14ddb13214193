// The base of objects that the framework models as windows but that never create one.
#pragma once

#include <windows.h>

class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd() = default;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  // Shows the hourglass until the matching EndWaitCursor; calls may nest.
  void BeginWaitCursor();
  void EndWaitCursor();

  HWND m_hWnd = nullptr;  // stays null: no window is ever created

 private:
  HCURSOR m_hRestoreCursor = nullptr;
  int m_nWaitDepth = 0;
};
