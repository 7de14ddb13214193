// Native build only: the boxes that would have been shown, in order.
#pragma once

#include <string>
#include <vector>

#include "MessageBox.h"

namespace qv {

struct RecordedBox {
  std::string caption;
  std::string text;
  BoxIcon icon;
  BoxOwner owner;
};

// Returns the boxes shown since the last call and forgets them.
std::vector<RecordedBox> TakeRecordedBoxes();

}  // namespace qv
