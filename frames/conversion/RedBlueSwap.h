#pragma once

#include <cstddef>

namespace qv::conversion {

// Exchanges the first and third byte of bytes / 3 whole 3-byte pixels (blue-green-red
// to red-green-blue and back) from in to out, which is in itself or apart from it,
// with the SSSE3 kernel wherever the conversion dispatch finds SSSE3.
void SwapRedBlueBytes(const unsigned char* in, unsigned char* out, std::size_t bytes);

}  // namespace qv::conversion
