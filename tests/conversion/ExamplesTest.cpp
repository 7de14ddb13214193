// Worked examples and edge cases, written as bytes in and bytes out.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include "ConversionTestSupport.h"
#include "PixelConversions.h"

namespace {

using qv::conversion::ConvertWithLevel;
using qvtest::Hex;

struct Example {
  const char* what;
  int bYUY2;
  int width, height;
  const char* source;
  const char* destination;
};

const Example kExamples[] = {
    {"saturated red pair", 1, 2, 1, "51 5A 29 F0", "00 00 FF 00 00 D0"},
    {"saturated red pair", 0, 2, 1, "5A 51 F0 29", "00 00 FF 00 00 D0"},
    {"mixed chroma", 0, 2, 1, "A2 29 9F 2C", "62 00 4F 65 00 52"},
    {"white over black, rows reversed", 0, 2, 2, "80 EB 80 EB 80 10 80 10", "00 00 00 00 00 00 FF FF FF FF FF FF"},
    {"white over black, rows reversed", 1, 2, 2, "EB 80 EB 80 10 80 10 80", "00 00 00 00 00 00 FF FF FF FF FF FF"},
    {"video black and white", 1, 2, 1, "10 80 EB 80", "00 00 00 FF FF FF"},
    {"same bytes as UYVY", 0, 2, 1, "10 80 EB 80", "00 57 FF 00 57 FF"},
    {"all zero bytes", 1, 2, 1, "00 00 00 00", "00 87 00 00 87 00"},
    {"all zero bytes", 0, 2, 1, "00 00 00 00", "00 87 00 00 87 00"},
    {"all FF bytes", 1, 2, 1, "FF FF FF FF", "FF 7D FF FF 7D FF"},
    {"all FF bytes", 0, 2, 1, "FF FF FF FF", "FF 7D FF FF 7D FF"},
    {"any non-zero flag is YUY2", 7, 2, 1, "10 80 EB 80", "00 00 00 FF FF FF"},
    {"any non-zero flag is YUY2", -1, 2, 1, "10 80 EB 80", "00 00 00 FF FF FF"},
    {"one row keeps its order", 1, 4, 1, "10 80 10 80 EB 80 EB 80", "00 00 00 00 00 00 FF FF FF FF FF FF"},
    // Odd width: the middle group holds the last pixel of row 0 and the first of row 1.
    {"group straddling two rows", 1, 3, 2, "10 80 EB 80 EB 80 10 80 51 5A 29 F0",
     "00 00 00 00 00 FF 00 00 D0 00 00 00 FF FF FF FF FF FF"},
    {"group straddling two rows", 0, 3, 2, "80 10 80 EB 80 EB 80 10 5A 51 F0 29",
     "00 00 00 00 00 FF 00 00 D0 00 00 00 FF FF FF FF FF FF"},
    // Odd pixel count: the lone last pixel keeps its Y and U and takes V from the group before.
    {"lone last pixel borrows V", 1, 3, 1, "51 5A 29 F0 51 5A", "00 00 FF 00 00 D0 00 00 FF"},
    {"lone last pixel borrows V", 0, 1, 3, "5A 51 F0 29 5A 51", "00 00 FF 00 00 D0 00 00 FF"},
    // A 1x1 frame has no V at all: neutral 128 (Y=81, U=90).
    {"single pixel, neutral V", 1, 1, 1, "51 5A", "00 5B 4C"},
    {"single pixel, neutral V", 0, 1, 1, "5A 51", "00 5B 4C"},
};

void CheckExamples(const std::function<void(const Example&, const unsigned char*, unsigned char*)>& convert) {
  for (const Example& ex : kExamples) {
    SCOPED_TRACE(testing::Message() << ex.what << " (bYUY2=" << ex.bYUY2 << ", " << ex.width << "x" << ex.height
                                    << ")");
    const std::vector<unsigned char> source = Hex(ex.source);
    const std::vector<unsigned char> expected = Hex(ex.destination);
    ASSERT_EQ(source.size(), static_cast<std::size_t>(ex.width * ex.height * 2));
    std::vector<unsigned char> actual(expected.size() + 8, 0xCC);
    convert(ex, source.data(), actual.data());
    EXPECT_EQ(expected, std::vector<unsigned char>(actual.begin(), actual.begin() + expected.size()));
    EXPECT_EQ(std::vector<unsigned char>(8, 0xCC), std::vector<unsigned char>(actual.end() - 8, actual.end()));
  }
}

TEST(WorkedExamples, PublicFunction) {
  CheckExamples([](const Example& ex, const unsigned char* s, unsigned char* d) {
    EXPECT_EQ(1, YUV422ToRGB24(s, d, ex.width, ex.height, ex.bYUY2));
  });
}

class WorkedExamplesPerLevel : public qvtest::EveryLevel {};

TEST_P(WorkedExamplesPerLevel, Kernel) {
  CheckExamples([this](const Example& ex, const unsigned char* s, unsigned char* d) {
    ConvertWithLevel(GetParam(), s, d, ex.width, ex.height, ex.bYUY2);
  });
}

QV_INSTANTIATE_FOR_EVERY_LEVEL(WorkedExamplesPerLevel);

// Arguments that describe no frame: nothing is read or written, the result is 1.
struct BadArguments {
  const char* what;
  bool nullSource, nullDestination;
  int width, height;
};

const BadArguments kBadArguments[] = {
    {"width 0", false, false, 0, 4},
    {"height 0", false, false, 4, 0},
    {"negative width", false, false, -2, 2},
    {"negative height", false, false, 2, -2},
    {"both negative", false, false, -2, -2},
    {"null source", true, false, 2, 2},
    {"null destination", false, true, 2, 2},
    {"width x height x 3 beyond INT_MAX", false, false, 40000, 40000},
    {"INT_MAX wide", false, false, INT_MAX, 1},
    {"INT_MAX high", false, false, 1, INT_MAX},
    {"just past INT_MAX bytes", false, false, 715827883, 1},
};

TEST(BadArgumentsConvert, WriteNothingAndReturnOne) {
  const std::vector<unsigned char> source(8, 0x80);
  for (const BadArguments& bad : kBadArguments) {
    SCOPED_TRACE(bad.what);
    std::vector<unsigned char> destination(16, 0xCC);
    const unsigned char* s = bad.nullSource ? nullptr : source.data();
    unsigned char* d = bad.nullDestination ? nullptr : destination.data();
    for (int bYUY2 : {0, 1}) {
      EXPECT_EQ(1, YUV422ToRGB24(s, d, bad.width, bad.height, bYUY2));
      for (auto level : qv::conversion::kAllLevels)
        EXPECT_EQ(1, ConvertWithLevel(level, s, d, bad.width, bad.height, bYUY2));
    }
    EXPECT_EQ(std::vector<unsigned char>(16, 0xCC), destination);
  }
}

TEST(BadArgumentsFlip, LeaveTheFrameUnchangedAndReturnOne) {
  for (const BadArguments& bad : kBadArguments) {
    if (bad.nullSource) continue;
    SCOPED_TRACE(bad.what);
    std::vector<unsigned char> frame(16);
    std::iota(frame.begin(), frame.end(), 1);
    const std::vector<unsigned char> before = frame;
    EXPECT_EQ(1, FlipVertical(bad.nullDestination ? nullptr : frame.data(), bad.width, bad.height));
    EXPECT_EQ(before, frame);
  }
}

struct FlipSize {
  int width, height;
};

// Rows wider than the swap buffer (4096 bytes) are swapped in pieces.
const FlipSize kFlipSizes[] = {{1, 1}, {3, 1}, {1, 2}, {2, 3}, {5, 4}, {7, 7}, {1366, 5}, {2000, 3}, {4096, 2}};

TEST(FlipVertical, ReversesTheRowsAndNothingElse) {
  for (const FlipSize& size : kFlipSizes) {
    SCOPED_TRACE(testing::Message() << size.width << "x" << size.height);
    const std::size_t rowBytes = static_cast<std::size_t>(size.width) * 3;
    const std::size_t bytes = rowBytes * size.height;
    std::vector<unsigned char> frame(bytes + 8, 0xCC);
    for (std::size_t i = 0; i < bytes; ++i) frame[i] = static_cast<unsigned char>(i * 7 + i / 251);
    std::vector<unsigned char> expected(frame);
    for (int r = 0; r < size.height; ++r)
      std::copy(frame.begin() + r * rowBytes, frame.begin() + (r + 1) * rowBytes,
                expected.begin() + (size.height - 1 - r) * rowBytes);
    EXPECT_EQ(1, FlipVertical(frame.data(), size.width, size.height));
    EXPECT_EQ(expected, frame);
  }
}

}  // namespace
