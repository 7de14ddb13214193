#include "RedBlueSwap.h"

#include "ConversionKernels.h"
#include "RedBlueKernels.h"

namespace qv::conversion {

namespace {

qv::rows::RedBlueKernel ChooseRedBlueKernel() {
  const qv::rows::RedBlueKernel ssse3 = qv::rows::Ssse3RedBlueKernel();
  return ssse3 && IsLevelSupported(ConversionLevel::Ssse3) ? ssse3 : qv::rows::SwapRedBlueScalar;
}

}  // namespace

void SwapRedBlueBytes(const unsigned char* in, unsigned char* out, std::size_t bytes) {
  static const qv::rows::RedBlueKernel kernel = ChooseRedBlueKernel();
  kernel(in, out, bytes);
}

}  // namespace qv::conversion
