// Media subtypes named by a four-character code: the code's bytes, first character
// lowest, in the GUID's first field, then the fixed 0000-0010-8000-00AA00389B71.
// For subtypes the toolchain's libraries don't define.
#pragma once

#include <windows.h>

namespace qv {

constexpr GUID FourccSubtype(char a, char b, char c, char d) {
  return GUID{static_cast<unsigned long>(static_cast<unsigned char>(a)) |
                  static_cast<unsigned long>(static_cast<unsigned char>(b)) << 8 |
                  static_cast<unsigned long>(static_cast<unsigned char>(c)) << 16 |
                  static_cast<unsigned long>(static_cast<unsigned char>(d)) << 24,
              0x0000,
              0x0010,
              {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}

// I420: the IYUV layout under its other code, which capture cards use.
constexpr GUID kMediaSubtypeI420 = FourccSubtype('I', '4', '2', '0');

}  // namespace qv
