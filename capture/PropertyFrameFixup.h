// Shared between DSProperty and the fix-up thread it starts, so that the thread ends
// when the frame it was started for is gone.
#pragma once

#include <windows.h>

#include <atomic>

struct FixupControl {
  std::atomic<bool> frameClosed{false};  // set by the caller once its frame has closed
  HANDLE finished = nullptr;             // signalled by the thread as it ends
  std::atomic<int> references{2};        // the caller and the thread

  void Release() {
    if (--references == 0) {
      CloseHandle(finished);
      delete this;
    }
  }
};

// Starts the fix-up thread; null when it could not be started.
FixupControl* StartPropertyFrameFixup();
// Tells the thread the frame has closed and waits a short grace for it to end;
// true when it ended (or none was started).
bool FinishPropertyFrameFixup(FixupControl* control);
