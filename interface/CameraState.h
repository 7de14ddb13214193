// Process-wide state of the exported interface.
#pragma once

#include <windows.h>

class CDSCamera;

extern CDSCamera* g_pCamera;  // the single controller, or null
extern HWND g_hHostWnd;       // the host window of the latest DSCameraInit
