// DSCameraImageSave as a host calls it: through the built QVDirectX DLL under Wine,
// each file read back with the real decoders, and the boxes a failed JPEG shows.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "ImageDecoders.h"
#include "ImageTestSupport.h"
#include "QVDirectX.h"
#include "StderrCapture.h"

using imgtest::Box;
using imgtest::Bytes;

namespace {

struct SizeCase {
  int width;
  int height;
};

class DllSave : public ::testing::TestWithParam<SizeCase> {};

TEST_P(DllSave, EveryTypeGivesAFileItsDecoderReads) {
  const int w = GetParam().width, h = GetParam().height;
  imgtest::TempDir dir;
  imgtest::BoxLog boxes;
  Bytes frame = imgtest::GradientFrame(w, h);
  const Bytes original = frame;

  const std::string jpg = dir.Path("f.jpg"), bmp = dir.Path("f.bmp"), raw = dir.Path("f.raw"), tif = dir.Path("f.tif");
  EXPECT_EQ(1, DSCameraImageSave(frame.data(), QVDX_FILE_JPEG, w, h, jpg.c_str()));
  EXPECT_EQ(1, DSCameraImageSave(frame.data(), QVDX_FILE_BMP, w, h, bmp.c_str()));
  EXPECT_EQ(1, DSCameraImageSave(frame.data(), QVDX_FILE_RAW, w, h, raw.c_str()));
  EXPECT_EQ(1, DSCameraImageSave(frame.data(), QVDX_FILE_TIFF, w, h, tif.c_str()));
  EXPECT_EQ(1, DSCameraImageSave(frame.data(), QVDX_FILE_TIFF, w, h, tif.c_str()));
  EXPECT_EQ(original, frame) << "the host's frame was changed";
  std::vector<Box> seen = boxes.Take();
  EXPECT_TRUE(seen.empty()) << imgtest::Describe(seen);

  // JPEG: upright, red and blue in place, close to the source.
  imgtest::DecodedJpeg d = imgtest::DecodeJpeg(jpg);
  ASSERT_TRUE(d.ok);
  ASSERT_EQ(unsigned(w), d.width);
  ASSERT_EQ(unsigned(h), d.height);
  ASSERT_EQ(3, d.components);
  double error[3] = {0, 0, 0};
  for (int y = 0; y < h; ++y) {
    Bytes want = imgtest::PictureRow(frame, w, h, y);
    for (size_t i = 0; i < want.size(); ++i) {
      error[i % 3] += std::abs(int(want[i]) - int(d.pixels[static_cast<size_t>(y) * w * 3 + i]));
    }
  }
  for (double e : error) EXPECT_LT(e / (w * h), 4.0);

  // BMP: headers and the frame's rows in their own order.
  imgtest::ParsedBmp b = imgtest::ParseBmp(imgtest::ReadFile(bmp));
  ASSERT_TRUE(b.ok);
  const size_t stride = (size_t(w) * 3 + 3) / 4 * 4;
  EXPECT_EQ(54 + stride * h, b.bytes);
  EXPECT_EQ(b.bytes, b.fileSize);
  EXPECT_EQ(54u, b.offBits);
  EXPECT_EQ(40u, b.infoSize);
  EXPECT_EQ(w, b.width);
  EXPECT_EQ(h, b.height);
  EXPECT_EQ(24, b.bitCount);
  for (int r = 0; r < h; ++r) {
    ASSERT_EQ(Bytes(frame.begin() + r * w * 3, frame.begin() + (r + 1) * w * 3), b.rows[r]) << "row " << r;
  }

  // Raw: the first width x height bytes of the frame.
  EXPECT_EQ(Bytes(frame.begin(), frame.begin() + w * h), imgtest::ReadFile(raw));

  // TIFF: two identical pages, every tag, top row first in red-green-blue order.
  std::vector<imgtest::TiffPage> pages = imgtest::ReadTiffPages(tif);
  ASSERT_EQ(2u, pages.size());
  EXPECT_TRUE(pages[0] == pages[1]);
  const imgtest::TiffPage& p = pages[0];
  EXPECT_EQ(uint32_t(w), p.width);
  EXPECT_EQ(uint32_t(h), p.length);
  EXPECT_EQ(1, p.orientation);
  EXPECT_EQ(3, p.samplesPerPixel);
  EXPECT_EQ(8, p.bitsPerSample);
  EXPECT_EQ(1, p.fillOrder);
  EXPECT_EQ(1, p.planar);
  EXPECT_EQ(2, p.photometric);
  EXPECT_EQ(2, p.sampleFormat);
  EXPECT_EQ(1, p.compression);
  const uint32_t rowsPerStrip = std::max<uint32_t>(1, 8192 / (uint32_t(w) * 3));
  EXPECT_EQ(rowsPerStrip, p.rowsPerStrip);
  ASSERT_EQ(size_t(h), p.rows.size());
  for (int y = 0; y < h; ++y) ASSERT_EQ(imgtest::PictureRow(frame, w, h, y), p.rows[y]) << "row " << y;
}

INSTANTIATE_TEST_SUITE_P(Sizes, DllSave, ::testing::Values(SizeCase{640, 480}, SizeCase{33, 17}, SizeCase{1, 1}));

TEST(DllSaveFailures, JpegInAMissingFolderShowsBothBoxesInOrder) {
  imgtest::TempDir dir;
  Bytes frame = imgtest::GradientFrame(4, 4);
  for (size_t nameLength : {size_t{5}, size_t{900}}) {
    const std::string path = dir.Path("missing") + "\\" + std::string(nameLength, 'n') + ".jpg";
    imgtest::BoxLog boxes;
    EXPECT_EQ(1, DSCameraImageSave(frame.data(), QVDX_FILE_JPEG, 4, 4, path.c_str()));
    std::vector<Box> seen = boxes.Take();
    ASSERT_EQ(2u, seen.size()) << imgtest::Describe(seen);
    EXPECT_EQ("QVDirectX", seen[0].caption);
    EXPECT_EQ("JpegFile :\nCan't open " + path + "\n", seen[0].text);
    EXPECT_EQ("QVDirectX", seen[1].caption);
    EXPECT_EQ("Write Error", seen[1].text);
    EXPECT_FALSE(imgtest::FileExists(path));
  }
}

TEST(DllSaveFailures, TiffOntoABmpLeavesItUnchanged) {
  imgtest::TempDir dir;
  Bytes frame = imgtest::GradientFrame(6, 4);
  const std::string path = dir.Path("picture.bmp");
  ASSERT_EQ(1, DSCameraImageSave(frame.data(), QVDX_FILE_BMP, 6, 4, path.c_str()));
  const Bytes before = imgtest::ReadFile(path);
  imgtest::BoxLog boxes;
  qvtest::StderrCapture err;
  EXPECT_EQ(1, DSCameraImageSave(frame.data(), QVDX_FILE_TIFF, 6, 4, path.c_str()));
  EXPECT_EQ("Cannot open file for output.\n", err.Stop());
  std::vector<Box> seen = boxes.Take();
  ASSERT_EQ(1u, seen.size()) << imgtest::Describe(seen);
  EXPECT_EQ(path + " Error", seen[0].caption);
  EXPECT_EQ(before, imgtest::ReadFile(path));
}

TEST(DllSaveFailures, OtherTypeCodesAndBadSizesWriteNothing) {
  imgtest::TempDir dir;
  imgtest::BoxLog boxes;
  Bytes frame = imgtest::GradientFrame(4, 4);
  const std::string path = dir.Path("none.img");
  for (int type : {0, 3, 5, 6, 7, 9, 16, -1}) {
    EXPECT_EQ(1, DSCameraImageSave(frame.data(), type, 4, 4, path.c_str())) << type;
  }
  for (int type : {QVDX_FILE_BMP, QVDX_FILE_RAW, QVDX_FILE_TIFF}) {
    EXPECT_EQ(1, DSCameraImageSave(nullptr, type, 4, 4, path.c_str())) << type;
    EXPECT_EQ(1, DSCameraImageSave(frame.data(), type, -4, 4, path.c_str())) << type;
    EXPECT_EQ(1, DSCameraImageSave(frame.data(), type, 70000, 70000, path.c_str())) << type;
  }
  EXPECT_FALSE(imgtest::FileExists(path));
  std::vector<Box> seen = boxes.Take();
  EXPECT_TRUE(seen.empty()) << imgtest::Describe(seen);
}

// Sizes whose byte counts, strides or row lengths pass 32 bits, or wrap to something
// small when worked in 32 bits, and the widest and tallest the JPEG library takes.
// Each build, 64-bit or 32-bit, must decide alike: the same file or none, the same
// boxes, nothing on stderr, an existing file untouched when nothing is written.
// The frame is small: a save that read past it would take the test down.
enum class Outcome { Nothing, BmpHeaderOnly };

struct LimitCase {
  const char* name;
  int type;
  int width;
  int height;
  Outcome outcome;
  std::vector<const char*> boxes;
};

class DllSaveLimits : public ::testing::TestWithParam<LimitCase> {};

TEST_P(DllSaveLimits, DecideAlikeInBothBuilds) {
  const LimitCase& c = GetParam();
  imgtest::TempDir dir;
  // Room for what a product wrapped in 32 bits would claim (65536 x 65537 x 3 -> 196608).
  Bytes frame = imgtest::NoiseFrame(256, 256, 5);
  for (bool existing : {false, true}) {
    SCOPED_TRACE(existing ? "onto an existing file" : "to a new path");
    const std::string path = dir.Path(existing ? "existing.img" : "fresh.img");
    const Bytes before = {'k', 'e', 'e', 'p'};
    if (existing) imgtest::WriteFile(path, before);
    imgtest::BoxLog boxes;
    qvtest::StderrCapture err;
    EXPECT_EQ(1, DSCameraImageSave(frame.data(), c.type, c.width, c.height, path.c_str()));
    EXPECT_EQ("", err.Stop());
    std::vector<Box> seen = boxes.Take();
    ASSERT_EQ(c.boxes.size(), seen.size()) << imgtest::Describe(seen);
    for (size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(c.boxes[i], seen[i].text) << "box " << i;

    if (c.outcome == Outcome::Nothing) {
      if (existing) {
        EXPECT_EQ(before, imgtest::ReadFile(path));
      } else {
        EXPECT_FALSE(imgtest::FileExists(path));
      }
    } else {
      imgtest::ParsedBmp b = imgtest::ParseBmp(imgtest::ReadFile(path));
      ASSERT_TRUE(b.ok);
      EXPECT_EQ(54u, b.bytes);
      EXPECT_EQ(54u, b.fileSize);
      EXPECT_EQ(c.width, b.width);
      EXPECT_EQ(c.height, b.height);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, DllSaveLimits,
    ::testing::Values(
        // BMP: a row of 2^32 - 1 bytes, whose padded stride is 2^32.
        LimitCase{"BmpPaddedRowOf4GiB", QVDX_FILE_BMP, 1431655765, 1, Outcome::Nothing, {}},
        LimitCase{"BmpUnpaddedRowFileOver4GiB", QVDX_FILE_BMP, 1431655764, 1, Outcome::Nothing, {}},
        LimitCase{"BmpPaddedRowsFileOver4GiB", QVDX_FILE_BMP, 477218587, 3, Outcome::Nothing, {}},
        LimitCase{"BmpBytesWrap", QVDX_FILE_BMP, 65536, 65537, Outcome::Nothing, {}},
        LimitCase{"BmpNoRowsOf4GiB", QVDX_FILE_BMP, 1431655765, 0, Outcome::BmpHeaderOnly, {}},
        LimitCase{"BmpNoRowsWidestWidth", QVDX_FILE_BMP, INT_MAX, 0, Outcome::BmpHeaderOnly, {}},
        // Raw: width x height bytes.
        LimitCase{"RawBytesWrap", QVDX_FILE_RAW, 65536, 65537, Outcome::Nothing, {}},
        LimitCase{"RawPast32Bits", QVDX_FILE_RAW, INT_MAX, 3, Outcome::Nothing, {}},
        // JPEG: past 32 bits the working copy can't exist; past the library's
        // 65500 pixels it refuses the image.
        LimitCase{"JpegBytesWrap", QVDX_FILE_JPEG, 65536, 65537, Outcome::Nothing, {"memory is over!"}},
        LimitCase{"JpegPast32Bits", QVDX_FILE_JPEG, 1431655766, 1, Outcome::Nothing, {"memory is over!"}},
        LimitCase{"JpegRowOf4GiB", QVDX_FILE_JPEG, 1431655765, 1, Outcome::Nothing, {"Write Error"}},
        LimitCase{"JpegWiderThanTheLibrary", QVDX_FILE_JPEG, 65501, 1, Outcome::Nothing, {"Write Error"}},
        LimitCase{"JpegTallerThanTheLibrary", QVDX_FILE_JPEG, 1, 65501, Outcome::Nothing, {"Write Error"}},
        // TIFF: rows past 2^31 - 1 bytes, which the 32-bit library can't size.
        LimitCase{"TiffRowOf4GiB", QVDX_FILE_TIFF, 1431655765, 1, Outcome::Nothing, {}},
        LimitCase{"TiffRowPast2GiB", QVDX_FILE_TIFF, 715827883, 1, Outcome::Nothing, {}},
        LimitCase{"TiffBytesWrap", QVDX_FILE_TIFF, 65536, 65537, Outcome::Nothing, {}}),
    [](const ::testing::TestParamInfo<LimitCase>& info) { return std::string(info.param.name); });

// The widest frame the JPEG library takes still gives a file, in both builds.
TEST(DllSaveLimitEdges, JpegOfTheLibrarysWidestAndTallestSize) {
  imgtest::TempDir dir;
  imgtest::BoxLog boxes;
  for (SizeCase s : {SizeCase{65500, 1}, SizeCase{1, 65500}}) {
    Bytes frame = imgtest::GradientFrame(s.width, s.height);
    const std::string path = dir.Path("edge.jpg");
    EXPECT_EQ(1, DSCameraImageSave(frame.data(), QVDX_FILE_JPEG, s.width, s.height, path.c_str()));
    imgtest::DecodedJpeg d = imgtest::DecodeJpeg(path);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(unsigned(s.width), d.width);
    EXPECT_EQ(unsigned(s.height), d.height);
  }
  std::vector<Box> seen = boxes.Take();
  EXPECT_TRUE(seen.empty()) << imgtest::Describe(seen);
}

}  // namespace
