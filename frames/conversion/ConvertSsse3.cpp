// SSSE3 kernel: pshufb to pair each pixel's Y with its chroma, pmaddubsw for
// the exact split sums (SimdTables.h), pshufb to interleave B, G, R.
#include "ConversionKernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include "SimdLane128.h"

namespace qv::conversion {

namespace {

template <bool Yuy2>
__attribute__((target("ssse3"))) void ConvertGroups(const unsigned char* s, unsigned char* d, std::size_t groups) {
  const simd::Masks128 m = simd::MakeMasks128(Yuy2);
  std::size_t k = 0;
  for (; k + 8 <= groups; k += 8, s += 32, d += 48) simd::Block128(s, d, m);
  if (k < groups) (Yuy2 ? ConvertGroupsScalarYuy2 : ConvertGroupsScalarUyvy)(s, d, groups - k);
}

}  // namespace

KernelPair Ssse3Kernels() { return {ConvertGroups<true>, ConvertGroups<false>}; }

}  // namespace qv::conversion
#else
namespace qv::conversion {
KernelPair Ssse3Kernels() { return {nullptr, nullptr}; }
}  // namespace qv::conversion
#endif
