#pragma once

#include <cstddef>

// Internal: the SIMD levels of the YUV 4:2:2 conversion, so that tests and
// benchmarks can run each kernel on its own. The public functions use the best
// level the CPU supports, chosen once.
namespace qv::conversion {

enum class ConversionLevel { Scalar, Sse2, Ssse3, Avx2, Avx512bw, Avx512vbmi };
constexpr ConversionLevel kAllLevels[] = {ConversionLevel::Scalar,   ConversionLevel::Sse2,
                                          ConversionLevel::Ssse3,    ConversionLevel::Avx2,
                                          ConversionLevel::Avx512bw, ConversionLevel::Avx512vbmi};

const char* LevelName(ConversionLevel level);
bool IsLevelSupported(ConversionLevel level);
ConversionLevel BestSupportedLevel();

// YUV422ToRGB24 through one level; an unsupported level writes nothing. bYUY2 as
// YUV422ToRGB24 takes it: any non-zero value selects YUY2.
int ConvertWithLevel(ConversionLevel level, const unsigned char* source, unsigned char* destination, int width,
                     int height, int bYUY2);

// A kernel converts `groups` whole 4-byte groups (2 pixels each) into
// groups x 6 contiguous destination bytes; it reads and writes nothing else.
using GroupKernel = void (*)(const unsigned char* source, unsigned char* destination, std::size_t groups);
struct KernelPair {
  GroupKernel yuy2;
  GroupKernel uyvy;
};

// Scalar kernels, also the tails of the SIMD kernels.
void ConvertGroupsScalarYuy2(const unsigned char* source, unsigned char* destination, std::size_t groups);
void ConvertGroupsScalarUyvy(const unsigned char* source, unsigned char* destination, std::size_t groups);

// Per-level kernels; each file is compiled with its own target attributes.
KernelPair Sse2Kernels();
KernelPair Ssse3Kernels();
KernelPair Avx2Kernels();
KernelPair Avx512bwKernels();
KernelPair Avx512vbmiKernels();

}  // namespace qv::conversion
