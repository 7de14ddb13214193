#include "Wnd.h"

void CWnd::BeginWaitCursor() {
  HCURSOR wait = LoadCursor(nullptr, IDC_WAIT);
  HCURSOR previous = SetCursor(wait);
  if (m_nWaitDepth++ == 0) m_hRestoreCursor = previous;
}

void CWnd::EndWaitCursor() {
  if (m_nWaitDepth == 0) return;
  if (--m_nWaitDepth == 0) {
    SetCursor(m_hRestoreCursor);
    m_hRestoreCursor = nullptr;
  }
}
