#pragma once

#include <cstddef>

#include "ConversionKernels.h"
#include "FrameFormats.h"

// Internal: the kernels of the 4:2:0 and RGB32 conversions per SIMD level, so
// that tests and benchmarks can run each on its own. The public functions use
// the best level that the CPU supports and that has kernels here, chosen once.
namespace qv::conversion {

// Two source rows that share one chroma row, converted into their two
// destination rows, `width` pixels each (any width, odd included). A lone
// last row of an odd height comes as y0 == y1 and d0 == d1. The kernel reads
// width bytes of each Y row and the chroma samples of ceil(width / 2) pixel
// pairs, and writes width x 3 bytes to each destination row; nothing else.
// `stream` (d0 and d1 16-byte aligned, the frame far larger than the caches):
// the SIMD kernels write with streaming stores, which skip reading each
// destination line first, and fence them before returning.
using Nv12RowsKernel = void (*)(const unsigned char* y0, const unsigned char* y1, const unsigned char* uv,
                                unsigned char* d0, unsigned char* d1, std::size_t width, bool stream);
using I420RowsKernel = void (*)(const unsigned char* y0, const unsigned char* y1, const unsigned char* u,
                                const unsigned char* v, unsigned char* d0, unsigned char* d1, std::size_t width,
                                bool stream);
// `pixels` 4-byte pixels into pixels x 3 bytes.
using Rgb32Kernel = void (*)(const unsigned char* source, unsigned char* destination, std::size_t pixels);

struct PlanarKernels {
  Nv12RowsKernel nv12;
  I420RowsKernel i420;
  Rgb32Kernel rgb32;
};

// Scalar kernels, also the tails of the SIMD kernels.
void ConvertNv12RowsScalar(const unsigned char* y0, const unsigned char* y1, const unsigned char* uv, unsigned char* d0,
                           unsigned char* d1, std::size_t width, bool stream = false);
void ConvertI420RowsScalar(const unsigned char* y0, const unsigned char* y1, const unsigned char* u,
                           const unsigned char* v, unsigned char* d0, unsigned char* d1, std::size_t width,
                           bool stream = false);
void ConvertRgb32Scalar(const unsigned char* source, unsigned char* destination, std::size_t pixels);

// Per-level kernels (all null where a level has none); each file is compiled
// with its own target attributes.
PlanarKernels ScalarPlanarKernels();
PlanarKernels Ssse3PlanarKernels();
PlanarKernels Avx2PlanarKernels();

// The CPU runs this level and it has kernels of its own here. SSE2 and the
// AVX-512 levels have none: an SSE2-only CPU takes the scalar kernels, an
// AVX-512 CPU the AVX2 ones.
bool IsPlanarLevelAvailable(ConversionLevel level);
ConversionLevel BestPlanarLevel();

// An NV12, I420, YV12 or RGB32 frame to RGB24 through one level; returns 1.
// An unavailable level, another format or invalid arguments write nothing.
int ConvertToRgb24WithLevel(ConversionLevel level, FrameFormat format, const unsigned char* source,
                            unsigned char* destination, int width, int height);

}  // namespace qv::conversion
