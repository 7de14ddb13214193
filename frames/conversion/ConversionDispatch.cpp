#include "ConversionKernels.h"
#include "YuvFormula.h"

namespace qv::conversion {

namespace {

struct CpuLevels {
  bool sse2 = false, ssse3 = false, avx2 = false, avx512bw = false, avx512vbmi = false;
};

CpuLevels DetectCpu() {
  CpuLevels cpu;
#if defined(__x86_64__) || defined(__i386__)
  __builtin_cpu_init();
  // libgcc checks the OS's saved register state (XGETBV) before reporting AVX levels.
  cpu.sse2 = __builtin_cpu_supports("sse2");
  cpu.ssse3 = __builtin_cpu_supports("ssse3");
  cpu.avx2 = __builtin_cpu_supports("avx2");
  cpu.avx512bw = __builtin_cpu_supports("avx512bw");
  cpu.avx512vbmi = cpu.avx512bw && __builtin_cpu_supports("avx512vbmi");
#endif
  return cpu;
}

const CpuLevels& Cpu() {
  static const CpuLevels cpu = DetectCpu();
  return cpu;
}

KernelPair KernelsFor(ConversionLevel level) {
  switch (level) {
    case ConversionLevel::Sse2:
      return Sse2Kernels();
    case ConversionLevel::Ssse3:
      return Ssse3Kernels();
    case ConversionLevel::Avx2:
      return Avx2Kernels();
    case ConversionLevel::Avx512bw:
      return Avx512bwKernels();
    case ConversionLevel::Avx512vbmi:
      return Avx512vbmiKernels();
    case ConversionLevel::Scalar:
      break;
  }
  return {ConvertGroupsScalarYuy2, ConvertGroupsScalarUyvy};
}

// One pass over the source, which is one run of groups regardless of rows:
// source row r (pixels r*w .. r*w+w-1) goes straight to destination row
// h-1-r. With an odd width every other row starts and ends inside a group;
// those half groups are converted one pixel at a time.
void ConvertFrame(GroupKernel kernel, const unsigned char* source, unsigned char* destination, int width, int height,
                  PackedYuvLayout layout) {
  std::size_t pixels = 0;
  if (!source || !destination || !CountConvertiblePixels(width, height, pixels)) return;
  const GroupLayout& L = LayoutFor(layout);
  const std::size_t w = static_cast<std::size_t>(width);
  const std::size_t h = static_cast<std::size_t>(height);
  for (std::size_t r = 0; r < h; ++r) {
    std::size_t p = r * w;
    std::size_t n = w;
    unsigned char* out = destination + (h - 1 - r) * w * 3;
    if (p & 1) {
      // Second pixel of a group that began on the row above.
      const unsigned char* g = source + 2 * (p - 1);
      YuvToBgr(g[L.y1], g[L.u], g[L.v], out);
      ++p;
      --n;
      out += 3;
    }
    const std::size_t groups = n / 2;
    if (groups) kernel(source + 2 * p, out, groups);
    p += 2 * groups;
    out += 6 * groups;
    if (n & 1) {
      if (p + 1 < pixels) {
        const unsigned char* g = source + 2 * p;
        YuvToBgr(g[L.y0], g[L.u], g[L.v], out);
      } else {
        ConvertLonePixel(source, pixels, L, out);
      }
    }
  }
}

}  // namespace

const char* LevelName(ConversionLevel level) {
  switch (level) {
    case ConversionLevel::Scalar:
      return "scalar";
    case ConversionLevel::Sse2:
      return "SSE2";
    case ConversionLevel::Ssse3:
      return "SSSE3";
    case ConversionLevel::Avx2:
      return "AVX2";
    case ConversionLevel::Avx512bw:
      return "AVX-512BW";
    case ConversionLevel::Avx512vbmi:
      return "AVX-512VBMI";
  }
  return "unknown";
}

bool IsLevelSupported(ConversionLevel level) {
  const CpuLevels& cpu = Cpu();
  switch (level) {
    case ConversionLevel::Scalar:
      return true;
    case ConversionLevel::Sse2:
      return cpu.sse2 && Sse2Kernels().yuy2;
    case ConversionLevel::Ssse3:
      return cpu.ssse3 && Ssse3Kernels().yuy2;
    case ConversionLevel::Avx2:
      return cpu.avx2 && Avx2Kernels().yuy2;
    case ConversionLevel::Avx512bw:
      return cpu.avx512bw && Avx512bwKernels().yuy2;
    case ConversionLevel::Avx512vbmi:
      return cpu.avx512vbmi && Avx512vbmiKernels().yuy2;
  }
  return false;
}

ConversionLevel BestSupportedLevel() {
  static const ConversionLevel best = [] {
    ConversionLevel chosen = ConversionLevel::Scalar;
    for (ConversionLevel level : kAllLevels)
      if (IsLevelSupported(level)) chosen = level;
    return chosen;
  }();
  return best;
}

int ConvertWithLevel(ConversionLevel level, const unsigned char* source, unsigned char* destination, int width,
                     int height, int bYUY2) {
  if (!IsLevelSupported(level)) return 1;
  const PackedYuvLayout layout = PackedYuvLayoutOf(bYUY2);
  const KernelPair kernels = KernelsFor(level);
  ConvertFrame(layout == PackedYuvLayout::Yuy2 ? kernels.yuy2 : kernels.uyvy, source, destination, width, height,
               layout);
  return 1;
}

}  // namespace qv::conversion
