#include "DSCameraApp.h"

CDSCameraApp::CDSCameraApp() : CWinApp(nullptr) {}
