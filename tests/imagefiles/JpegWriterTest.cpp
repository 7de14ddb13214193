// The JPEG writer, read back with libjpeg-turbo's decompressor.
#include <gtest/gtest.h>

#include <cfloat>
#include <cstdlib>
#include <cstring>

#include "GrayLevel.h"
#include "ImageDecoders.h"
#include "ImageSave.h"
#include "ImageTestSupport.h"
#include "JpegWriter.h"

using imgtest::Box;
using imgtest::Bytes;
using imgtest::DecodeJpeg;
using Decoded = imgtest::DecodedJpeg;

namespace {

using SaveFn = int (*)(const char*, unsigned char*, int, int);
struct Route {
  const char* name;
  SaveFn save;
};
const Route kRoutes[] = {{"InPlace", SaveJpegImage}, {"ByCopy", SaveJpegImageByCopy}};

struct SizeCase {
  int width;
  int height;
};

class JpegPicture : public ::testing::TestWithParam<SizeCase> {};

// Upright, red and blue in their places: the decoded picture is close to the
// source, pixel for pixel; a flip or a colour swap would be off by about 100.
TEST_P(JpegPicture, DecodesUprightWithColoursInPlace) {
  const SizeCase& c = GetParam();
  imgtest::TempDir dir;
  imgtest::BoxLog boxes;
  Bytes frame = imgtest::GradientFrame(c.width, c.height);
  const Bytes original = frame;
  std::string path = dir.Path("picture.jpg");
  ASSERT_EQ(1, SaveJpegImage(path.c_str(), frame.data(), c.width, c.height));
  EXPECT_EQ(original, frame) << "the caller's frame was changed";
  EXPECT_TRUE(boxes.Take().empty());

  Decoded d = DecodeJpeg(path);
  ASSERT_TRUE(d.ok);
  ASSERT_EQ(static_cast<unsigned>(c.width), d.width);
  ASSERT_EQ(static_cast<unsigned>(c.height), d.height);
  ASSERT_EQ(3, d.components);
  double error[3] = {0, 0, 0};
  for (int y = 0; y < c.height; ++y) {
    for (int x = 0; x < c.width; ++x) {
      unsigned char want[3];
      imgtest::FramePixel(frame, c.width, c.height, x, y, want);
      const unsigned char* got = d.pixels.data() + (static_cast<size_t>(y) * c.width + x) * 3;
      for (int k = 0; k < 3; ++k) error[k] += std::abs(int(got[k]) - int(want[k]));
    }
  }
  const char* names[3] = {"red", "green", "blue"};
  for (int k = 0; k < 3; ++k) {
    EXPECT_LT(error[k] / (c.width * c.height), 4.0) << names[k] << " mean error";
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, JpegPicture,
                         ::testing::Values(SizeCase{1, 1}, SizeCase{33, 17}, SizeCase{64, 48}, SizeCase{320, 241}));

class JpegRoutes : public ::testing::TestWithParam<SizeCase> {};

// The in-place encoder must give the very file that the copy, flip and swap route gives.
TEST_P(JpegRoutes, InPlaceFileIsByteIdenticalToCopyRoute) {
  const SizeCase& c = GetParam();
  imgtest::TempDir dir;
  for (uint32_t seed : {1u, 2u}) {
    Bytes frame = seed == 1 ? imgtest::GradientFrame(c.width, c.height) : imgtest::NoiseFrame(c.width, c.height, seed);
    std::string fast = dir.Path("fast.jpg");
    std::string copy = dir.Path("copy.jpg");
    ASSERT_EQ(1, SaveJpegImage(fast.c_str(), frame.data(), c.width, c.height));
    ASSERT_EQ(1, SaveJpegImageByCopy(copy.c_str(), frame.data(), c.width, c.height));
    Bytes a = imgtest::ReadFile(fast);
    Bytes b = imgtest::ReadFile(copy);
    ASSERT_FALSE(a.empty());
    EXPECT_TRUE(a == b) << c.width << "x" << c.height << " seed " << seed << ": " << a.size() << " vs " << b.size()
                        << " bytes";
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, JpegRoutes,
                         ::testing::Values(SizeCase{1, 1}, SizeCase{2, 3}, SizeCase{5, 3}, SizeCase{17, 9},
                                           SizeCase{64, 48}, SizeCase{640, 480}, SizeCase{1001, 7}));

struct FailureCase {
  const char* name;
  bool nullFrame;
  int width;
  int height;
  int pathKind;                    // 0 a writable path, 1 in a missing folder, 2 a long path in a missing folder
  std::vector<const char*> texts;  // "@" stands for the Can't-open text of the path
};

class JpegFailures : public ::testing::TestWithParam<FailureCase> {};

TEST_P(JpegFailures, ShowTheBoxesInOrderAndWriteNoFile) {
  const FailureCase& c = GetParam();
  for (const Route& route : kRoutes) {
    SCOPED_TRACE(route.name);
    imgtest::TempDir dir;
    std::string path = dir.Path("out.jpg");
    if (c.pathKind == 1) path = dir.Path("missing") + "/out.jpg";
    if (c.pathKind == 2) path = dir.Path("missing") + "/" + std::string(1200, 'p') + ".jpg";
    Bytes frame = imgtest::GradientFrame(4, 4);
    imgtest::BoxLog boxes;
    EXPECT_EQ(0, route.save(path.c_str(), c.nullFrame ? nullptr : frame.data(), c.width, c.height));
    std::vector<Box> seen = boxes.Take();
    ASSERT_EQ(c.texts.size(), seen.size()) << imgtest::Describe(seen);
    for (size_t i = 0; i < seen.size(); ++i) {
      std::string want = c.texts[i];
      if (want == "@") want = "JpegFile :\nCan't open " + path + "\n";
      EXPECT_EQ("QVDirectX", seen[i].caption);
      EXPECT_EQ(want, seen[i].text) << "box " << i;
    }
    EXPECT_FALSE(imgtest::FileExists(path));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, JpegFailures,
    ::testing::Values(FailureCase{"NullFrame", true, 4, 4, 0, {"No Image!"}},
                      FailureCase{"ZeroWidth", false, 0, 4, 0, {"Write Error"}},
                      FailureCase{"ZeroHeight", false, 4, 0, 0, {"Write Error"}},
                      FailureCase{"NegativeWidth", false, -4, 4, 0, {"memory is over!"}},
                      FailureCase{"NegativeHeight", false, 4, -1, 0, {"memory is over!"}},
                      FailureCase{"Beyond32Bits", false, 40000, 40000, 0, {"memory is over!"}},
                      FailureCase{"BytesWrapIn32Bits", false, 65536, 65537, 0, {"memory is over!"}},
                      // Sizes the library refuses: no file is created for them.
                      FailureCase{"RowOf4GiB", false, 1431655765, 1, 0, {"Write Error"}},
                      FailureCase{"WiderThanTheLibrary", false, 65501, 1, 0, {"Write Error"}},
                      FailureCase{"TallerThanTheLibrary", false, 1, 65501, 0, {"Write Error"}},
                      FailureCase{"MissingFolder", false, 4, 4, 1, {"@", "Write Error"}},
                      FailureCase{"LongPathMissingFolder", false, 4, 4, 2, {"@", "Write Error"}}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return std::string(info.param.name); });

TEST(JpegWriter, SecondSaveReplacesTheFile) {
  imgtest::TempDir dir;
  std::string path = dir.Path("twice.jpg");
  Bytes big = imgtest::GradientFrame(200, 100);
  Bytes small = imgtest::GradientFrame(8, 6);
  ASSERT_EQ(1, SaveJpegImage(path.c_str(), big.data(), 200, 100));
  ASSERT_EQ(1, SaveJpegImage(path.c_str(), small.data(), 8, 6));
  Decoded d = DecodeJpeg(path);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(8u, d.width);
  EXPECT_EQ(6u, d.height);
}

TEST(JpegWriter, WriterRefusesEmptyInputSilently) {
  imgtest::TempDir dir;
  imgtest::BoxLog boxes;
  Bytes pixels(12, 50);
  std::string path = dir.Path("w.jpg");
  EXPECT_EQ(0, WriteJpegFile(path.c_str(), nullptr, 2, 2, 1, 75));
  EXPECT_EQ(0, WriteJpegFile(path.c_str(), pixels.data(), 0, 2, 1, 75));
  EXPECT_EQ(0, WriteJpegFile(path.c_str(), pixels.data(), 2, 0, 0, 75));
  // Past the library's 65500 pixels: refused before the file is opened.
  EXPECT_EQ(0, WriteJpegFile(path.c_str(), pixels.data(), 65501, 1, 1, 75));
  EXPECT_EQ(0, WriteJpegFile(path.c_str(), pixels.data(), 1, 65501, 0, 75));
  EXPECT_EQ(0, WriteJpegFile(path.c_str(), pixels.data(), 0x80000000u, 1, 1, 75));
  EXPECT_FALSE(imgtest::FileExists(path));
  EXPECT_TRUE(boxes.Take().empty());
}

struct GrayCase {
  unsigned char b0, b1, b2;
  int gray;
};

class JpegGray : public ::testing::TestWithParam<GrayCase> {};

// A uniform picture at quality 100 decodes to exactly its value, so the stored
// gray level shows the weights, their order and the truncation.
TEST_P(JpegGray, WeightsTruncateTowardZero) {
  const GrayCase& c = GetParam();
  imgtest::TempDir dir;
  const unsigned width = 16, height = 8;
  Bytes pixels;
  for (unsigned i = 0; i < width * height; ++i) pixels.insert(pixels.end(), {c.b0, c.b1, c.b2});
  std::string path = dir.Path("gray.jpg");
  ASSERT_EQ(1, WriteJpegFile(path.c_str(), pixels.data(), width, height, 0, 100));
  Decoded d = DecodeJpeg(path);
  ASSERT_TRUE(d.ok);
  ASSERT_EQ(1, d.components);
  ASSERT_EQ(width * height, d.pixels.size());
  for (unsigned char v : d.pixels) ASSERT_EQ(c.gray, v) << int(c.b0) << "," << int(c.b1) << "," << int(c.b2);
}

INSTANTIATE_TEST_SUITE_P(Pixels, JpegGray,
                         ::testing::Values(GrayCase{0, 0, 0, 0}, GrayCase{255, 255, 255, 255},
                                           GrayCase{100, 100, 100, 100}, GrayCase{128, 128, 128, 127},
                                           GrayCase{1, 1, 1, 0}, GrayCase{255, 0, 0, 76}, GrayCase{0, 255, 0, 149},
                                           GrayCase{0, 0, 255, 29}));

// The integer gray level against the double formula it stands for, for every pixel.
// Only where doubles are evaluated in double precision (x86-64 and the like); the
// 32-bit x87 build is covered by the file checks above, which it fails with doubles.
TEST(JpegGrayLevel, EqualsTheDoubleFormulaForEveryPixel) {
  if (FLT_EVAL_METHOD != 0) GTEST_SKIP() << "doubles are evaluated with excess precision here";
  uint64_t mismatches = 0;
  for (unsigned b0 = 0; b0 < 256; ++b0) {
    for (unsigned b1 = 0; b1 < 256; ++b1) {
      for (unsigned b2 = 0; b2 < 256; ++b2) {
        // volatile: the compiler must not fold or fuse the formula.
        volatile double first = b1 * 0.587, second = b0 * 0.299, third = b2 * 0.114;
        volatile double sum = first + second;
        sum = sum + third;
        const unsigned char want = static_cast<unsigned char>(sum);
        const unsigned char got = qv::GrayLevel(static_cast<unsigned char>(b0), static_cast<unsigned char>(b1),
                                                static_cast<unsigned char>(b2));
        if (got != want && ++mismatches <= 5) {
          ADD_FAILURE() << "(" << b0 << ", " << b1 << ", " << b2 << "): " << int(got) << ", double formula "
                        << int(want);
        }
      }
    }
  }
  EXPECT_EQ(0u, mismatches);
}

struct FlipCase {
  int rows;
};

class FlipRowsCases : public ::testing::TestWithParam<FlipCase> {};

TEST_P(FlipRowsCases, ReversesRowOrderKeepingTheMiddle) {
  const int rows = GetParam().rows, rowBytes = 5;
  Bytes data(static_cast<size_t>(rows) * rowBytes);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i);
  Bytes before = data;
  ASSERT_EQ(1, FlipRows(data.data(), rowBytes, rows));
  for (int r = 0; r < rows; ++r) {
    EXPECT_EQ(0, std::memcmp(data.data() + r * rowBytes, before.data() + (rows - 1 - r) * rowBytes, rowBytes))
        << "row " << r;
  }
}

INSTANTIATE_TEST_SUITE_P(Rows, FlipRowsCases, ::testing::Values(FlipCase{1}, FlipCase{2}, FlipCase{3}, FlipCase{6}));

TEST(JpegHelpers, NullDataChangesNothing) {
  EXPECT_EQ(0, FlipRows(nullptr, 3, 2));
  EXPECT_EQ(0, SwapRedBlue(nullptr, 1, 1));
  Bytes px = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(1, SwapRedBlue(px.data(), 2, 1));
  EXPECT_EQ((Bytes{3, 2, 1, 6, 5, 4}), px);
}

}  // namespace
