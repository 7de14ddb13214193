// 32-bit Windows promises only a 4-byte aligned stack: a host built by a compiler
// that keeps no more calls the library with the stack pointer anywhere modulo 16.
// Every kernel must then still work (a spilled vector used as an SSE memory operand
// on a misaligned stack faults).
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "ConversionTestSupport.h"
#include "ReferenceConversion.h"

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
#endif

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
    for (unsigned skew : {0u, 4u, 8u, 12u}) {
      std::vector<unsigned char> actual(expected.size(), 0x5A);
      Job job{GetParam(), &source, &actual, width, height, yuy2};
      QvCallWithStackSkew(RunJob, &job, skew);
      EXPECT_TRUE(expected == actual) << (yuy2 ? "YUY2" : "UYVY") << ", stack " << skew << " bytes off 16";
    }
  }
#endif
}

QV_INSTANTIATE_FOR_EVERY_LEVEL(MisalignedStack);

}  // namespace
