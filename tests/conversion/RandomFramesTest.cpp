// Random frames of awkward sizes: every kernel byte for byte against the
// three-pass reference, reading and writing nothing outside the frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "ConversionTestSupport.h"
#include "PixelConversions.h"
#include "ReferenceConversion.h"

namespace {

using qv::conversion::ConvertWithLevel;
using qv::conversion::ReferenceYUV422ToRGB24;

struct Size {
  int width, height;
};

// Odd and even sizes; widths next to every vector width (16, 32, 64 pixels
// per block) and odd widths whose groups straddle two rows.
const Size kSizes[] = {{1, 1},   {2, 1},   {1, 2},   {3, 1},   {1, 3},    {3, 3},   {2, 2},   {5, 7},
                       {7, 5},   {15, 3},  {16, 2},  {17, 5},  {31, 3},   {32, 3},  {33, 17}, {63, 5},
                       {64, 4},  {65, 9},  {95, 3},  {127, 3}, {128, 2},  {129, 2}, {191, 3}, {193, 4},
                       {640, 4}, {641, 3}, {1, 257}, {257, 1}, {1023, 1}, {1921, 3}};

constexpr std::size_t kGuard = 64;
constexpr unsigned char kGuardByte = 0xA5;

class RandomFrames : public qvtest::EveryLevel {};

TEST_P(RandomFrames, MatchTheReferenceAndStayInsideTheFrame) {
  std::mt19937 random(20240531);
  for (const Size& size : kSizes) {
    for (int yuy2 = 0; yuy2 < 2; ++yuy2) {
      SCOPED_TRACE(testing::Message() << size.width << "x" << size.height << (yuy2 ? " YUY2" : " UYVY"));
      const std::size_t pixels = static_cast<std::size_t>(size.width) * size.height;
      // Exact-size heap blocks, so that the address sanitizer sees any overrun.
      std::vector<unsigned char> source(pixels * 2);
      for (unsigned char& b : source) b = static_cast<unsigned char>(random());
      std::vector<unsigned char> expected(pixels * 3);
      ReferenceYUV422ToRGB24(source.data(), expected.data(), size.width, size.height, yuy2);

      std::vector<unsigned char> exact(pixels * 3, 0x5A);
      ConvertWithLevel(GetParam(), source.data(), exact.data(), size.width, size.height, yuy2);
      EXPECT_EQ(expected, exact);

      // The same with guard bytes after the destination, which must stay as they were.
      std::vector<unsigned char> guarded(pixels * 3 + kGuard, kGuardByte);
      ConvertWithLevel(GetParam(), source.data(), guarded.data(), size.width, size.height, yuy2);
      EXPECT_TRUE(std::equal(expected.begin(), expected.end(), guarded.begin()));
      EXPECT_EQ(std::vector<unsigned char>(kGuard, kGuardByte),
                std::vector<unsigned char>(guarded.end() - kGuard, guarded.end()))
          << "bytes written past the end of the frame";
    }
  }
}

TEST_P(RandomFrames, FullHdFrameMatchesTheReference) {
  const int width = 1920, height = 1080;
  std::mt19937 random(7);
  std::vector<unsigned char> source(static_cast<std::size_t>(width) * height * 2);
  for (unsigned char& b : source) b = static_cast<unsigned char>(random());
  std::vector<unsigned char> expected(source.size() / 2 * 3), actual(expected.size());
  for (int yuy2 = 0; yuy2 < 2; ++yuy2) {
    ReferenceYUV422ToRGB24(source.data(), expected.data(), width, height, yuy2);
    ConvertWithLevel(GetParam(), source.data(), actual.data(), width, height, yuy2);
    EXPECT_TRUE(expected == actual) << (yuy2 ? "YUY2" : "UYVY");
  }
}

QV_INSTANTIATE_FOR_EVERY_LEVEL(RandomFrames);

// The public function runs the best kernel: same bytes as the reference.
TEST(PublicConversion, MatchesTheReferenceOnAnOddFrame) {
  const int width = 37, height = 11;
  std::mt19937 random(99);
  std::vector<unsigned char> source(width * height * 2);
  for (unsigned char& b : source) b = static_cast<unsigned char>(random());
  for (int bYUY2 : {0, 1, 2, -1}) {
    std::vector<unsigned char> expected(width * height * 3), actual(width * height * 3);
    ReferenceYUV422ToRGB24(source.data(), expected.data(), width, height, bYUY2);
    EXPECT_EQ(1, YUV422ToRGB24(source.data(), actual.data(), width, height, bYUY2));
    EXPECT_EQ(expected, actual) << "bYUY2 = " << bYUY2;
  }
}

}  // namespace
