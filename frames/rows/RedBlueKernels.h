// Exchanging the first and third byte of 3-byte pixels (blue-green-red to
// red-green-blue and back): a plain kernel and an SSSE3 one. The conversion's
// CPU dispatch picks between them (SwapRedBlueBytes in RedBlueSwap.h); call that.
#pragma once

#include <cstddef>

namespace qv::rows {

// Reads bytes / 3 whole pixels from in and writes them swapped to out, which is
// either in itself or does not overlap it. A last partial pixel is not touched.
using RedBlueKernel = void (*)(const unsigned char* in, unsigned char* out, size_t bytes);

void SwapRedBlueScalar(const unsigned char* in, unsigned char* out, size_t bytes);

// The SSSE3 kernel, or null in a build for a processor without it.
RedBlueKernel Ssse3RedBlueKernel();

}  // namespace qv::rows
