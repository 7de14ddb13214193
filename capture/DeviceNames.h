// Conversion of device display names into the host's fixed-size ANSI buffer.
#pragma once

#include <cstddef>
#include <string>

namespace qv {

// The combo box receives each name in a buffer of this many bytes, terminator included.
inline constexpr size_t kDeviceNameBytes = 2048;

// Converts name to the ANSI code page into out (kDeviceNameBytes bytes), always
// terminated. A name whose ANSI form does not fit is cut after the last whole
// character that fits; a surrogate pair is never split.
void ToAnsiDeviceName(const std::wstring& name, char* out);

}  // namespace qv
