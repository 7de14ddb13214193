#include "DeviceNames.h"

#include <windows.h>

namespace qv {

namespace {
// Bytes of the ANSI form of the first count wide characters, without terminator.
int AnsiBytes(const wchar_t* text, int count) {
  return count == 0 ? 0 : WideCharToMultiByte(CP_ACP, 0, text, count, nullptr, 0, nullptr, nullptr);
}
}  // namespace

void ToAnsiDeviceName(const std::wstring& name, char* out) {
  const int room = static_cast<int>(kDeviceNameBytes) - 1;
  int count = static_cast<int>(name.size());
  if (AnsiBytes(name.c_str(), count) > room) {
    // Largest prefix of whole characters whose ANSI form fits: binary search on the length.
    int low = 0, high = count;
    while (low < high) {
      int mid = low + (high - low + 1) / 2;
      if (AnsiBytes(name.c_str(), mid) <= room)
        low = mid;
      else
        high = mid - 1;
    }
    count = low;
    if (count > 0 && IS_HIGH_SURROGATE(name[count - 1])) --count;
  }
  int written = count == 0 ? 0 : WideCharToMultiByte(CP_ACP, 0, name.c_str(), count, out, room, nullptr, nullptr);
  out[written > 0 ? written : 0] = '\0';
}

}  // namespace qv
