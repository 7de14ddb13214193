#include <mutex>

#include "RecordedMessageBoxes.h"

namespace qv {
namespace {
std::mutex g_boxesLock;
std::vector<RecordedBox>& Boxes() {
  static std::vector<RecordedBox> boxes;
  return boxes;
}
}  // namespace

void ShowOkBox(const char* caption, const char* text, BoxIcon icon, BoxOwner owner) {
  std::lock_guard<std::mutex> hold(g_boxesLock);
  Boxes().push_back({caption ? caption : "", text ? text : "", icon, owner});
}

std::vector<RecordedBox> TakeRecordedBoxes() {
  std::lock_guard<std::mutex> hold(g_boxesLock);
  std::vector<RecordedBox> taken;
  taken.swap(Boxes());
  return taken;
}

}  // namespace qv
