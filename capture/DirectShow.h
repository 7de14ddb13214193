// The platform's DirectShow headers, in the order they need.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <qedit.h>

#include "DirectShowIds.h"
