// Random 4:2:0 and RGB32 frames of awkward sizes: every kernel byte for byte
// against the pixel-by-pixel reference, reading nothing past the source's
// SourceFrameBytes and writing nothing outside the destination frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "PlanarConversions.h"
#include "PlanarTestSupport.h"
#include "ReferencePlanarConversion.h"

namespace {

using qv::conversion::ConvertToRgb24WithLevel;
using qv::conversion::FrameFormat;
using qv::conversion::ReferenceToRgb24;
using qv::conversion::SourceFrameBytes;

struct Size {
  int width, height;
};

// Odd and even sizes; widths next to each block width (16 and 32 pixels per
// step, 16 or 32 RGB32 pixels) and heights that leave a lone last row.
const Size kSizes[] = {{1, 1},  {1, 2},   {2, 1},   {2, 2},    {3, 3},  {17, 5}, {5, 17}, {15, 3},  {16, 2},  {16, 3},
                       {31, 1}, {32, 2},  {33, 3},  {47, 4},   {48, 5}, {63, 2}, {64, 3}, {65, 4},  {95, 1},  {96, 7},
                       {97, 2}, {255, 3}, {1, 257}, {1023, 1}, {6, 6},  {10, 1}, {11, 2}, {641, 3}, {1921, 2}};

constexpr std::size_t kGuard = 64;
constexpr unsigned char kGuardByte = 0xA5;

std::vector<unsigned char> RandomBytes(std::size_t n, std::mt19937& random) {
  std::vector<unsigned char> bytes(n);
  for (unsigned char& b : bytes) b = static_cast<unsigned char>(random());
  return bytes;
}

class PlanarRandomFrames : public qvtest::EveryPlanarLevel {};

TEST_P(PlanarRandomFrames, MatchTheReferenceAndStayInsideTheFrame) {
  std::mt19937 random(20240611);
  for (const Size& size : kSizes) {
    for (FrameFormat format : qvtest::kConvertedFormats) {
      SCOPED_TRACE(testing::Message() << FormatName(format) << " " << size.width << "x" << size.height);
      const std::size_t frameBytes = static_cast<std::size_t>(size.width) * size.height * 3;
      // Exact-size heap blocks, so that the address sanitizer sees any overrun.
      const std::vector<unsigned char> source = RandomBytes(SourceFrameBytes(format, size.width, size.height), random);
      std::vector<unsigned char> expected(frameBytes);
      ReferenceToRgb24(format, source.data(), expected.data(), size.width, size.height);

      std::vector<unsigned char> exact(frameBytes, 0x5A);
      ConvertToRgb24WithLevel(GetParam(), format, source.data(), exact.data(), size.width, size.height);
      EXPECT_EQ(expected, exact);

      // Again with guard bytes on both sides, which must stay as they were.
      std::vector<unsigned char> guarded(kGuard + frameBytes + kGuard, kGuardByte);
      ConvertToRgb24WithLevel(GetParam(), format, source.data(), guarded.data() + kGuard, size.width, size.height);
      EXPECT_TRUE(std::equal(expected.begin(), expected.end(), guarded.begin() + kGuard));
      EXPECT_EQ(std::vector<unsigned char>(kGuard, kGuardByte),
                std::vector<unsigned char>(guarded.begin(), guarded.begin() + kGuard))
          << "bytes written before the frame";
      EXPECT_EQ(std::vector<unsigned char>(kGuard, kGuardByte),
                std::vector<unsigned char>(guarded.end() - kGuard, guarded.end()))
          << "bytes written past the end of the frame";
    }
  }
}

// Large frames whose rows are 16-byte aligned are written with streaming
// stores; the same frames one byte off, and frames with unaligned rows, are not.
// Both ways must give the reference's bytes and keep inside the frame.
TEST_P(PlanarRandomFrames, LargeFramesMatchTheReferenceAlignedOrNot) {
  const Size sizes[] = {{1920, 1080}, {2048, 683}, {1279, 721}};
  std::mt19937 random(7);
  for (const Size& size : sizes) {
    for (FrameFormat format : qvtest::kConvertedFormats) {
      const std::vector<unsigned char> source = RandomBytes(SourceFrameBytes(format, size.width, size.height), random);
      const std::size_t frameBytes = static_cast<std::size_t>(size.width) * size.height * 3;
      std::vector<unsigned char> expected(frameBytes);
      ReferenceToRgb24(format, source.data(), expected.data(), size.width, size.height);
      std::vector<unsigned char> buffer(kGuard + 16 + frameBytes + kGuard);
      for (std::size_t offset : {0, 1}) {
        SCOPED_TRACE(testing::Message() << FormatName(format) << " " << size.width << "x" << size.height
                                        << ", destination 16-byte aligned + " << offset);
        std::fill(buffer.begin(), buffer.end(), kGuardByte);
        const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(buffer.data() + kGuard);
        unsigned char* destination = buffer.data() + kGuard + ((16 - at % 16) % 16) + offset;
        ConvertToRgb24WithLevel(GetParam(), format, source.data(), destination, size.width, size.height);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), destination));
        EXPECT_TRUE(std::all_of(buffer.data(), destination, [](unsigned char b) { return b == kGuardByte; }))
            << "bytes written before the frame";
        EXPECT_TRUE(std::all_of(destination + frameBytes, buffer.data() + buffer.size(), [](unsigned char b) {
          return b == kGuardByte;
        })) << "bytes written past the end of the frame";
      }
    }
  }
}

QV_INSTANTIATE_FOR_EVERY_PLANAR_LEVEL(PlanarRandomFrames);

// The public functions run the best kernel: the reference's bytes.
TEST(PlanarPublicConversions, MatchTheReferenceOnAnOddFrame) {
  const int width = 37, height = 11;
  std::mt19937 random(99);
  for (FrameFormat format : qvtest::kConvertedFormats) {
    const std::vector<unsigned char> source = RandomBytes(SourceFrameBytes(format, width, height), random);
    std::vector<unsigned char> expected(width * height * 3), actual(width * height * 3);
    ReferenceToRgb24(format, source.data(), expected.data(), width, height);
    switch (format) {
      case FrameFormat::Nv12:
        EXPECT_EQ(1, NV12ToRGB24(source.data(), actual.data(), width, height));
        break;
      case FrameFormat::I420:
        EXPECT_EQ(1, I420ToRGB24(source.data(), actual.data(), width, height));
        break;
      case FrameFormat::Yv12:
        EXPECT_EQ(1, YV12ToRGB24(source.data(), actual.data(), width, height));
        break;
      default:
        EXPECT_EQ(1, RGB32ToRGB24(source.data(), actual.data(), width, height));
        break;
    }
    EXPECT_EQ(expected, actual) << FormatName(format);
  }
}

// YV12 is I420 with the chroma planes swapped: the same picture either way.
TEST(PlanarPublicConversions, Yv12IsI420WithThePlanesSwapped) {
  const int width = 35, height = 9;
  std::mt19937 random(5);
  std::vector<unsigned char> i420 = RandomBytes(SourceFrameBytes(FrameFormat::I420, width, height), random);
  const std::size_t luma = width * height, plane = 18 * 5;
  std::vector<unsigned char> yv12(i420);
  std::copy(i420.begin() + luma, i420.begin() + luma + plane, yv12.begin() + luma + plane);
  std::copy(i420.begin() + luma + plane, i420.end(), yv12.begin() + luma);
  std::vector<unsigned char> fromI420(width * height * 3), fromYv12(width * height * 3);
  I420ToRGB24(i420.data(), fromI420.data(), width, height);
  YV12ToRGB24(yv12.data(), fromYv12.data(), width, height);
  EXPECT_EQ(fromI420, fromYv12);
}

}  // namespace
