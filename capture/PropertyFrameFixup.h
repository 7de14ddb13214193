// The layout fix-up of the device's property frame: a short-lived thread that waits for
// the frame titled "属性" among the windows of the thread that opens it, grows it and
// its tab control, moves its OK, Cancel and Apply buttons down and presses Apply.
#pragma once

#include <windows.h>

#include <atomic>

// Shared between DSProperty and the fix-up thread it starts, so that the thread ends
// when the frame it was started for is gone.
struct FixupControl {
  std::atomic<bool> frameClosed{false};  // set by the caller once its frame has closed
  HANDLE finished = nullptr;             // signalled by the thread as it ends
  DWORD frameThread = 0;                 // the thread whose frame is fixed
  std::atomic<int> references{2};        // the caller and the thread

  void Release() {
    if (--references == 0) {
      CloseHandle(finished);
      delete this;
    }
  }
};

// Starts the fix-up thread for the frame that frameThread opens; null when it could
// not be started.
FixupControl* StartPropertyFrameFixup(DWORD frameThread);
// Tells the thread the frame has closed and waits a short grace for it to end;
// true when it ended (or none was started).
bool FinishPropertyFrameFixup(FixupControl* control);

// The thread procedure. The argument is the FixupControl of the call that started it;
// the thread stops looking once that call's frame has closed. A null argument ends it.
void __cdecl PropertyFrameFixupThread(void* control);

// Fixes one descendant window of the frame; always TRUE so the walk goes on.
BOOL CALLBACK FixupFrameChild(HWND child, LPARAM unused);
