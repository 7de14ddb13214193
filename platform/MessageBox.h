// Modal one-button message boxes. On Windows they are real MessageBoxA boxes;
// on the native build they are recorded so that tests can read them.
#pragma once

namespace qv {

enum class BoxIcon { None, Exclamation, Information };
enum class BoxOwner { None, ActiveWindow, FocusWindow };

// The module name, used as the caption of the library's own boxes.
inline constexpr const char kModuleName[] = "QVDirectX";

// Shows a modal box with one OK button; returns when the user closed it.
void ShowOkBox(const char* caption, const char* text, BoxIcon icon, BoxOwner owner);

}  // namespace qv

// The framework's message box: type 0 is a single OK button; the caption is the module name.
int AfxMessageBox(const char* text, unsigned int type = 0, unsigned int helpContext = 0);
