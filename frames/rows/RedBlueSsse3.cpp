// SSSE3 red/blue swap: one byte shuffle per five pixels.
#include "RedBlueKernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

namespace qv::rows {

namespace {

// Five pixels per shuffle: 16 bytes are read and written, the 16th is the next
// group's first byte, written back unchanged and swapped on the next step (so the
// kernel also works in place).
__attribute__((target("ssse3"))) void SwapRedBlueSsse3(const unsigned char* in, unsigned char* out, size_t bytes) {
  const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
  size_t x = 0;
  for (; x + 16 <= bytes; x += 15) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_shuffle_epi8(v, order));
  }
  SwapRedBlueScalar(in + x, out + x, bytes - x);
}

}  // namespace

RedBlueKernel Ssse3RedBlueKernel() { return SwapRedBlueSsse3; }

}  // namespace qv::rows
#else
namespace qv::rows {
RedBlueKernel Ssse3RedBlueKernel() { return nullptr; }
}  // namespace qv::rows
#endif
