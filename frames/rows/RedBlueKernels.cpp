#include "RedBlueKernels.h"

namespace qv::rows {

void SwapRedBlueScalar(const unsigned char* in, unsigned char* out, size_t bytes) {
  for (size_t x = 0; x + 2 < bytes; x += 3) {
    // Both outer bytes read before either is written, so in may be out.
    const unsigned char first = in[x];
    const unsigned char third = in[x + 2];
    out[x] = third;
    out[x + 1] = in[x + 1];
    out[x + 2] = first;
  }
}

}  // namespace qv::rows
