// The 4:2:0 and RGB32 conversions on hand-built frames, written as bytes in and
// bytes out; the frame sizes they read; arguments that describe no frame.
//
// The colours are the formula's worked values: (Y, U, V) = (81, 90, 240) gives
// 00 00 FF and (41, 90, 240) 00 00 D0 ("red"); (41, 162, 159) gives 62 00 4F
// and (44, 162, 159) 65 00 52 ("mixed"); Y 235 / 16 with neutral chroma white / black.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "PlanarConversions.h"
#include "PlanarTestSupport.h"
#include "ReferencePlanarConversion.h"

namespace {

using qv::conversion::ConvertToRgb24WithLevel;
using qv::conversion::FrameFormat;
using qv::conversion::SourceFrameBytes;
using qvtest::Hex;

struct Example {
  const char* what;
  FrameFormat format;
  int width, height;
  const char* source;
  const char* destination;
};

// 3x3: chroma (column, row) (0,0) red, (1,0) mixed, (0,1) neutral, (1,1) mixed;
// Y rows 51 29 2C / 29 51 29 / EB 10 29. The last column and the last row
// each have chroma samples of their own.
constexpr const char* k3x3Out = "FF FF FF 00 00 00 62 00 4F  00 00 D0 00 00 FF 62 00 4F  00 00 FF 00 00 D0 65 00 52";

const Example kExamples[] = {
    // One chroma sample serves its 2x2 block; the source's top row ends up last.
    {"2x2 block, rows reversed", FrameFormat::Nv12, 2, 2, "51 29 29 51  5A F0", "00 00 D0 00 00 FF 00 00 FF 00 00 D0"},
    {"2x2 block, rows reversed", FrameFormat::I420, 2, 2, "51 29 29 51  5A  F0", "00 00 D0 00 00 FF 00 00 FF 00 00 D0"},
    {"2x2 block, rows reversed", FrameFormat::Yv12, 2, 2, "51 29 29 51  F0  5A", "00 00 D0 00 00 FF 00 00 FF 00 00 D0"},
    // Pixels 2 and 3 take the second chroma sample.
    {"chroma sample per column pair", FrameFormat::Nv12, 4, 1, "51 51 29 2C  5A F0 A2 9F",
     "00 00 FF 00 00 FF 62 00 4F 65 00 52"},
    {"chroma sample per column pair", FrameFormat::I420, 4, 1, "51 51 29 2C  5A A2  F0 9F",
     "00 00 FF 00 00 FF 62 00 4F 65 00 52"},
    {"chroma sample per column pair", FrameFormat::Yv12, 4, 1, "51 51 29 2C  F0 9F  5A A2",
     "00 00 FF 00 00 FF 62 00 4F 65 00 52"},
    // Rows 2 and 3 take the second chroma row.
    {"chroma row per row pair", FrameFormat::Nv12, 1, 4, "51 29 29 2C  5A F0  A2 9F",
     "65 00 52 62 00 4F 00 00 D0 00 00 FF"},
    {"chroma row per row pair", FrameFormat::I420, 1, 4, "51 29 29 2C  5A A2  F0 9F",
     "65 00 52 62 00 4F 00 00 D0 00 00 FF"},
    {"chroma row per row pair", FrameFormat::Yv12, 1, 4, "51 29 29 2C  F0 9F  5A A2",
     "65 00 52 62 00 4F 00 00 D0 00 00 FF"},
    {"odd width and height", FrameFormat::Nv12, 3, 3, "51 29 2C 29 51 29 EB 10 29  5A F0 A2 9F  80 80 A2 9F", k3x3Out},
    {"odd width and height", FrameFormat::I420, 3, 3, "51 29 2C 29 51 29 EB 10 29  5A A2 80 A2  F0 9F 80 9F", k3x3Out},
    {"odd width and height", FrameFormat::Yv12, 3, 3, "51 29 2C 29 51 29 EB 10 29  F0 9F 80 9F  5A A2 80 A2", k3x3Out},
    {"single pixel", FrameFormat::Nv12, 1, 1, "10 80 80", "00 00 00"},
    {"single pixel", FrameFormat::I420, 1, 1, "EB 80 80", "FF FF FF"},
    {"single pixel, U and V in plane order", FrameFormat::Yv12, 1, 1, "51 F0 5A", "00 00 FF"},
    {"all zero bytes", FrameFormat::Nv12, 2, 1, "00 00 00 00", "00 87 00 00 87 00"},
    {"all FF bytes", FrameFormat::I420, 2, 1, "FF FF FF FF", "FF 7D FF FF 7D FF"},
    // RGB32 keeps its row order (both bottom-up) and drops every fourth byte.
    {"fourth byte dropped, rows kept", FrameFormat::Rgb32, 2, 2, "01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 10",
     "01 02 03 05 06 07 09 0A 0B 0D 0E 0F"},
    {"single pixel", FrameFormat::Rgb32, 1, 1, "FF 00 80 7F", "FF 00 80"},
};

constexpr std::size_t kGuard = 8;
constexpr unsigned char kGuardByte = 0xCC;

template <typename Convert>
void CheckExamples(Convert convert) {
  for (const Example& ex : kExamples) {
    SCOPED_TRACE(testing::Message() << ex.what << " (" << FormatName(ex.format) << " " << ex.width << "x" << ex.height
                                    << ")");
    const std::vector<unsigned char> source = Hex(ex.source);
    const std::vector<unsigned char> expected = Hex(ex.destination);
    ASSERT_EQ(source.size(), SourceFrameBytes(ex.format, ex.width, ex.height)) << "example built wrongly";
    std::vector<unsigned char> guarded(kGuard + expected.size() + kGuard, kGuardByte);
    convert(ex, source.data(), guarded.data() + kGuard);
    EXPECT_EQ(expected, std::vector<unsigned char>(guarded.begin() + kGuard, guarded.end() - kGuard));
    EXPECT_EQ(std::vector<unsigned char>(kGuard, kGuardByte),
              std::vector<unsigned char>(guarded.begin(), guarded.begin() + kGuard));
    EXPECT_EQ(std::vector<unsigned char>(kGuard, kGuardByte),
              std::vector<unsigned char>(guarded.end() - kGuard, guarded.end()));
  }
}

int ConvertPublic(FrameFormat format, const unsigned char* s, unsigned char* d, int width, int height) {
  switch (format) {
    case FrameFormat::Nv12:
      return NV12ToRGB24(s, d, width, height);
    case FrameFormat::I420:
      return I420ToRGB24(s, d, width, height);
    case FrameFormat::Yv12:
      return YV12ToRGB24(s, d, width, height);
    case FrameFormat::Rgb32:
      return RGB32ToRGB24(s, d, width, height);
    default:
      return -1;
  }
}

TEST(PlanarWorkedExamples, PublicFunctions) {
  CheckExamples([](const Example& ex, const unsigned char* s, unsigned char* d) {
    EXPECT_EQ(1, ConvertPublic(ex.format, s, d, ex.width, ex.height));
  });
}

TEST(PlanarWorkedExamples, Reference) {
  CheckExamples([](const Example& ex, const unsigned char* s, unsigned char* d) {
    qv::conversion::ReferenceToRgb24(ex.format, s, d, ex.width, ex.height);
  });
}

class PlanarWorkedExamplesPerLevel : public qvtest::EveryPlanarLevel {};

TEST_P(PlanarWorkedExamplesPerLevel, Kernel) {
  CheckExamples([this](const Example& ex, const unsigned char* s, unsigned char* d) {
    EXPECT_EQ(1, ConvertToRgb24WithLevel(GetParam(), ex.format, s, d, ex.width, ex.height));
  });
}

QV_INSTANTIATE_FOR_EVERY_PLANAR_LEVEL(PlanarWorkedExamplesPerLevel);

struct ByteCount {
  FrameFormat format;
  int width, height;
  std::size_t bytes;
};

const ByteCount kByteCounts[] = {
    {FrameFormat::Nv12, 1, 1, 3},
    {FrameFormat::I420, 1, 1, 3},
    {FrameFormat::Nv12, 2, 2, 6},
    {FrameFormat::I420, 3, 3, 9 + 2 * 4},
    {FrameFormat::Yv12, 3, 2, 6 + 2 * 2},
    {FrameFormat::Nv12, 2, 3, 6 + 2 * 2},
    {FrameFormat::Nv12, 1920, 1080, 3110400},
    {FrameFormat::I420, 641, 479, 641 * 479 + 2 * 321 * 240},
    {FrameFormat::Yuy2, 3, 3, 18},
    {FrameFormat::Uyvy, 1, 1, 2},
    {FrameFormat::Rgb24, 3, 3, 27},
    {FrameFormat::Rgb32, 3, 3, 36},
    // The largest frames accepted: width x height x 3 = INT_MAX - 1; the RGB32
    // count passes INT_MAX, which a 32-bit size computation would wrap.
    {FrameFormat::Rgb32, 1, 715827882, 2863311528u},
    {FrameFormat::Nv12, 1, 715827882, 1431655764u},
    {FrameFormat::Yv12, 715827882, 1, 1431655764u},
    {FrameFormat::I420, 2, 357913941, 715827882u + 357913942u},
    // No frame: nothing may be read.
    {FrameFormat::Nv12, 1, 715827883, 0},
    {FrameFormat::Rgb32, 46341, 46341, 0},
    {FrameFormat::I420, INT_MAX, 1, 0},
    {FrameFormat::Rgb24, INT_MAX, INT_MAX, 0},
    {FrameFormat::Yuy2, 0, 4, 0},
    {FrameFormat::Nv12, 4, 0, 0},
    {FrameFormat::Rgb32, -2, 2, 0},
    {FrameFormat::Yv12, 2, -2, 0},
    {FrameFormat::I420, INT_MIN, INT_MIN, 0},
};

TEST(SourceFrameBytes, PlaneLayoutsAndRefusedSizes) {
  for (const ByteCount& c : kByteCounts) {
    EXPECT_EQ(c.bytes, SourceFrameBytes(c.format, c.width, c.height))
        << FormatName(c.format) << " " << c.width << "x" << c.height;
  }
}

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
    {"null source", true, false, 2, 2},
    {"null destination", false, true, 2, 2},
    {"width x height x 3 beyond INT_MAX", false, false, 40000, 40000},
    {"INT_MAX wide", false, false, INT_MAX, 1},
    {"INT_MAX high", false, false, 1, INT_MAX},
    {"just past INT_MAX bytes", false, false, 715827883, 1},
    {"both INT_MIN", false, false, INT_MIN, INT_MIN},
};

TEST(PlanarBadArguments, WriteNothingAndReturnOne) {
  // A source far smaller than any of these frames: reading it would be caught by the address sanitizer.
  const std::vector<unsigned char> source(8, 0x80);
  for (const BadArguments& bad : kBadArguments) {
    SCOPED_TRACE(bad.what);
    std::vector<unsigned char> destination(16, kGuardByte);
    const unsigned char* s = bad.nullSource ? nullptr : source.data();
    unsigned char* d = bad.nullDestination ? nullptr : destination.data();
    for (FrameFormat format : qvtest::kConvertedFormats) {
      EXPECT_EQ(1, ConvertPublic(format, s, d, bad.width, bad.height)) << FormatName(format);
      for (auto level : qv::conversion::kAllLevels)
        EXPECT_EQ(1, ConvertToRgb24WithLevel(level, format, s, d, bad.width, bad.height));
      qv::conversion::ReferenceToRgb24(format, s, d, bad.width, bad.height);
    }
    EXPECT_EQ(std::vector<unsigned char>(16, kGuardByte), destination);
  }
}

TEST(PlanarBadArguments, FormatsWithoutAPlanarKernelWriteNothing) {
  const std::vector<unsigned char> source(64, 0x80);
  for (FrameFormat format : {FrameFormat::Rgb24, FrameFormat::Yuy2, FrameFormat::Uyvy}) {
    std::vector<unsigned char> destination(64, kGuardByte);
    EXPECT_EQ(
        1, ConvertToRgb24WithLevel(qv::conversion::BestPlanarLevel(), format, source.data(), destination.data(), 2, 2));
    EXPECT_EQ(std::vector<unsigned char>(64, kGuardByte), destination) << FormatName(format);
  }
}

}  // namespace
