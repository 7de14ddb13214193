// The capture device's own property pages, and the layout fix-up of their frame.
#pragma once

#include <windows.h>

// Shows the device's pages owned by the host window: 0 without an initialised
// controller, 1 otherwise.
int ShowDevicePropertyPages();

// The fix-up thread: waits for a frame titled "属性", grows it and its tab control,
// moves its OK, Cancel and Apply buttons down and presses Apply. The argument is the
// FixupControl of the call that started it; the thread stops looking once that call's
// frame has closed.
void __cdecl PropertyFrameFixupThread(void* control);

// Fixes one descendant window of the frame; always TRUE so the walk goes on.
BOOL CALLBACK FixupFrameChild(HWND child, LPARAM unused);
