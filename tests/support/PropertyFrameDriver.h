// Windows tests: drives a property frame (OleCreatePropertyFrame) of this process from a
// second thread, the way a user would: find it, pick an entry of a page's list, press a button.
#pragma once

#include <windows.h>

#include <functional>
#include <thread>

namespace qvtest {

// The first visible property frame of this process (a dialog holding a tab control), or
// null after timeoutMs.
HWND WaitForPropertyFrame(DWORD timeoutMs);
// The first descendant of window with that control id, or null.
HWND FindDescendant(HWND window, int id);
// Selects entry index of a combo box as a user would (the page hears CBN_SELCHANGE).
bool SelectComboEntry(HWND combo, int index);
// Clicks a button of the frame (IDOK, IDCANCEL), as a user would.
void PressFrameButton(HWND frame, int id);

// Runs action(frame) on a second thread once a property frame appears; joins on destruction.
class PropertyFrameAction {
 public:
  explicit PropertyFrameAction(std::function<void(HWND)> action, DWORD timeoutMs = 10000);
  ~PropertyFrameAction();
  PropertyFrameAction(const PropertyFrameAction&) = delete;
  PropertyFrameAction& operator=(const PropertyFrameAction&) = delete;
  bool SawFrame() const { return m_sawFrame; }
  // Waits for the thread (call before asserting what it recorded).
  void Join();

 private:
  bool m_sawFrame = false;
  std::thread m_thread;
};

}  // namespace qvtest
