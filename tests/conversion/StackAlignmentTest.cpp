// 32-bit Windows promises only a 4-byte aligned stack: a host built by a compiler
// that keeps no more calls the library with the stack pointer anywhere modulo 16.
// Every kernel must then still work (a spilled vector used as an SSE memory operand
// on a misaligned stack faults).
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "ConversionTestSupport.h"
#include "PlanarTestSupport.h"
#include "RedBlueKernels.h"
#include "ReferenceConversion.h"
#include "ReferencePlanarConversion.h"

#if defined(__i386__) && defined(_WIN32)
// Calls fn(arg) with the stack pointer `skew` bytes below a 16-byte boundary at the call.
extern "C" void QvCallWithStackSkew(void (*fn)(void*), void* arg, unsigned skew);
__asm__(
    ".text\n"
    ".globl _QvCallWithStackSkew\n"
    "_QvCallWithStackSkew:\n"
    "  push %ebp\n"
    "  mov %esp, %ebp\n"
    "  mov 8(%ebp), %ecx\n"
    "  mov 12(%ebp), %eax\n"
    "  and $-16, %esp\n"
    "  sub 16(%ebp), %esp\n"
    "  sub $12, %esp\n"
    "  push %eax\n"
    "  call *%ecx\n"
    "  mov %ebp, %esp\n"
    "  pop %ebp\n"
    "  ret\n");
#endif

namespace {

#if defined(__i386__) && defined(_WIN32)
struct Job {
  qvtest::ConversionLevel level;
  const std::vector<unsigned char>* source;
  std::vector<unsigned char>* destination;
  int width, height, yuy2;
};

void RunJob(void* p) {
  const Job& j = *static_cast<const Job*>(p);
  qv::conversion::ConvertWithLevel(j.level, j.source->data(), j.destination->data(), j.width, j.height, j.yuy2);
}

// Calls body() with the stack pointer `skew` bytes below a 16-byte boundary.
template <typename Body>
void CallWithStackSkew(Body& body, unsigned skew) {
  QvCallWithStackSkew([](void* p) { (*static_cast<Body*>(p))(); }, &body, skew);
}
#endif

const unsigned kSkews[] = {0u, 4u, 8u, 12u};

class MisalignedStack : public qvtest::EveryLevel {};

TEST_P(MisalignedStack, EverySkewGivesTheReferenceBytes) {
#if !(defined(__i386__) && defined(_WIN32))
  GTEST_SKIP() << "only 32-bit Windows lets a caller misalign the stack";
#else
  // Wide enough for the widest kernel's main loop and its narrower tails.
  const int width = 203, height = 3;
  std::mt19937 random(11);
  std::vector<unsigned char> source(static_cast<std::size_t>(width) * height * 2);
  for (unsigned char& b : source) b = static_cast<unsigned char>(random());
  for (int yuy2 = 0; yuy2 < 2; ++yuy2) {
    std::vector<unsigned char> expected(source.size() / 2 * 3);
    qv::conversion::ReferenceYUV422ToRGB24(source.data(), expected.data(), width, height, yuy2);
    for (unsigned skew : kSkews) {
      std::vector<unsigned char> actual(expected.size(), 0x5A);
      Job job{GetParam(), &source, &actual, width, height, yuy2};
      QvCallWithStackSkew(RunJob, &job, skew);
      EXPECT_TRUE(expected == actual) << (yuy2 ? "YUY2" : "UYVY") << ", stack " << skew << " bytes off 16";
    }
  }
#endif
}

QV_INSTANTIATE_FOR_EVERY_LEVEL(MisalignedStack);

class MisalignedStackPlanar : public qvtest::EveryPlanarLevel {};

TEST_P(MisalignedStackPlanar, EverySkewGivesTheReferenceBytes) {
#if !(defined(__i386__) && defined(_WIN32))
  GTEST_SKIP() << "only 32-bit Windows lets a caller misalign the stack";
#else
  // Wide enough for the widest kernel's main loop and its tails; an odd height for the lone last row.
  const int width = 203, height = 3;
  std::mt19937 random(12);
  for (qv::conversion::FrameFormat format : qvtest::kConvertedFormats) {
    std::vector<unsigned char> source(qv::conversion::SourceFrameBytes(format, width, height));
    for (unsigned char& b : source) b = static_cast<unsigned char>(random());
    std::vector<unsigned char> expected(static_cast<std::size_t>(width) * height * 3);
    qv::conversion::ReferenceToRgb24(format, source.data(), expected.data(), width, height);
    for (unsigned skew : kSkews) {
      std::vector<unsigned char> actual(expected.size(), 0x5A);
      auto convert = [&] {
        qv::conversion::ConvertToRgb24WithLevel(GetParam(), format, source.data(), actual.data(), width, height);
      };
      CallWithStackSkew(convert, skew);
      EXPECT_TRUE(expected == actual) << qvtest::FormatName(format) << ", stack " << skew << " bytes off 16";
    }
  }
#endif
}

QV_INSTANTIATE_FOR_EVERY_PLANAR_LEVEL(MisalignedStackPlanar);

TEST(MisalignedStackRedBlue, Ssse3SwapGivesTheScalarBytesInAndOutOfPlace) {
#if !(defined(__i386__) && defined(_WIN32))
  GTEST_SKIP() << "only 32-bit Windows lets a caller misalign the stack";
#else
  const qv::rows::RedBlueKernel ssse3 = qv::rows::Ssse3RedBlueKernel();
  if (ssse3 == nullptr || !qv::conversion::IsLevelSupported(qv::conversion::ConversionLevel::Ssse3))
    GTEST_SKIP() << "no SSSE3 red/blue swap here";
  // Several shuffle steps, a scalar tail and a partial last pixel.
  std::vector<unsigned char> source(203 * 3 + 2);
  std::mt19937 random(13);
  for (unsigned char& b : source) b = static_cast<unsigned char>(random());
  std::vector<unsigned char> expected = source;
  qv::rows::SwapRedBlueScalar(source.data(), expected.data(), source.size());
  for (unsigned skew : kSkews) {
    std::vector<unsigned char> apart = source, inPlace = source;
    auto swap = [&] {
      ssse3(source.data(), apart.data(), source.size());
      ssse3(inPlace.data(), inPlace.data(), inPlace.size());
    };
    CallWithStackSkew(swap, skew);
    EXPECT_TRUE(expected == apart) << "apart, stack " << skew << " bytes off 16";
    EXPECT_TRUE(expected == inPlace) << "in place, stack " << skew << " bytes off 16";
  }
#endif
}

}  // namespace
