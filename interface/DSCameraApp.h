// The module's application object.
#pragma once

#include "WinApp.h"

class CDSCameraApp : public CWinApp {
 public:
  CDSCameraApp();
};
