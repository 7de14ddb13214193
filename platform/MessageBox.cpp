#include "MessageBox.h"

int AfxMessageBox(const char* text, unsigned int /*type*/, unsigned int /*helpContext*/) {
  qv::ShowOkBox(qv::kModuleName, text, qv::BoxIcon::None, qv::BoxOwner::ActiveWindow);
  return 1;  // IDOK: the only button
}
