// The capture device's own property pages.
#pragma once

#include <windows.h>

class CDSCamera;

// Shows the property pages of camera's capture filter in a frame owned by hostWindow,
// with the layout fix-up running beside it: 0 without an initialised controller, 1
// otherwise.
int ShowDevicePropertyPages(const CDSCamera* camera, HWND hostWindow);
