// Windows tests: the top-level windows that belong to this process.
#pragma once

#include <windows.h>

#include <vector>

namespace qvtest {

// In the window manager's order, visible or not.
std::vector<HWND> TopLevelWindowsOfThisProcess();
// Whether a window is a dialog (class "#32770") with a tab control: a property frame.
bool IsPropertyFrame(HWND window);

}  // namespace qvtest
