// The module's static objects, in one translation unit so that their order is fixed:
// the frame callback object first, then the application object (destroyed in reverse).
#include "DSCameraApp.h"
#include "DSGrabberCB.h"

CDSGrabberCB g_grabberCB;
CDSCameraApp theApp;
