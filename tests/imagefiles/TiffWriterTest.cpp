// The TIFF writer, read back with libtiff's reader.
#include <gtest/gtest.h>

#include <cstring>

#include <tiffio.h>

#include "ImageDecoders.h"
#include "ImageSave.h"
#include "ImageTestSupport.h"
#include "JpegWriter.h"
#include "StderrCapture.h"
#include "TiffWriter.h"

#ifndef _WIN32
#include "RecordedMessageBoxes.h"
#endif

using imgtest::Box;
using imgtest::Bytes;
using imgtest::PictureRow;
using imgtest::StderrText;
using Page = imgtest::TiffPage;

static std::vector<Page> ReadPages(const std::string& path, bool rgbJpeg = false) {
  return imgtest::ReadTiffPages(path, rgbJpeg);
}

namespace {

struct FrameCase {
  int width;
  int height;
  uint32_t rowsPerStrip;
  uint32_t strips;
};

class TiffFramePage : public ::testing::TestWithParam<FrameCase> {};

TEST_P(TiffFramePage, EveryTagAndPixelAsSpecifiedTopRowFirstRgb) {
  const FrameCase& c = GetParam();
  imgtest::TempDir dir;
  imgtest::BoxLog boxes;
  Bytes frame = imgtest::NoiseFrame(c.width, c.height, 5);
  const Bytes original = frame;
  std::string path = dir.Path("frame.tif");
  SaveImageFile(frame.data(), kImageFileTiff, c.width, c.height, path.c_str());
  EXPECT_EQ(original, frame) << "the caller's frame was changed";

  std::vector<Page> pages = ReadPages(path);
  ASSERT_EQ(1u, pages.size());
  const Page& p = pages[0];
  EXPECT_EQ(uint32_t(c.width), p.width);
  EXPECT_EQ(uint32_t(c.height), p.length);
  EXPECT_EQ(ORIENTATION_TOPLEFT, p.orientation);
  EXPECT_EQ(3, p.samplesPerPixel);
  EXPECT_EQ(8, p.bitsPerSample);
  EXPECT_EQ(FILLORDER_MSB2LSB, p.fillOrder);
  EXPECT_EQ(PLANARCONFIG_CONTIG, p.planar);
  EXPECT_EQ(PHOTOMETRIC_RGB, p.photometric);
  EXPECT_EQ(SAMPLEFORMAT_INT, p.sampleFormat);
  EXPECT_EQ(COMPRESSION_NONE, p.compression);
  EXPECT_EQ(c.rowsPerStrip, p.rowsPerStrip);
  EXPECT_EQ(c.strips, p.strips);
  ASSERT_EQ(size_t(c.height), p.rows.size());
  for (int y = 0; y < c.height; ++y) {
    ASSERT_EQ(PictureRow(frame, c.width, c.height, y), p.rows[y]) << "row " << y;
  }
  EXPECT_TRUE(boxes.Take().empty());
}

INSTANTIATE_TEST_SUITE_P(Sizes, TiffFramePage,
                         ::testing::Values(FrameCase{640, 480, 4, 120}, FrameCase{4000, 3, 1, 3},
                                           FrameCase{1, 1, 2730, 1}, FrameCase{5, 3, 546, 1}, FrameCase{7, 2, 390, 1}));

class TiffRoutes : public ::testing::TestWithParam<FrameCase> {};

// The save path builds its rows without a copy of the frame; its file must be the
// one the general writer makes from the same frame, new and appended to.
TEST_P(TiffRoutes, SavePathFileIsByteIdenticalToGeneralWriter) {
  const FrameCase& c = GetParam();
  imgtest::TempDir dir;
  Bytes first = imgtest::NoiseFrame(c.width, c.height, 8);
  Bytes second = imgtest::NoiseFrame(c.width, c.height, 9);
  std::string fast = dir.Path("fast.tif"), general = dir.Path("general.tif");
  for (Bytes* frame : {&first, &second}) {
    ASSERT_EQ(1, SaveTiffImage(fast.c_str(), frame->data(), c.width, c.height));
    ASSERT_EQ(0, WriteTiffFile(general.c_str(), c.width, c.height, 2, 24, 0, 1, 0, nullptr, 0, frame->data()));
    Bytes a = imgtest::ReadFile(fast), b = imgtest::ReadFile(general);
    ASSERT_FALSE(a.empty());
    ASSERT_TRUE(a == b) << a.size() << " vs " << b.size() << " bytes";
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, TiffRoutes,
                         ::testing::Values(FrameCase{1, 1, 0, 0}, FrameCase{5, 3, 0, 0}, FrameCase{640, 480, 0, 0},
                                           FrameCase{4000, 2, 0, 0}));

TEST(TiffAppend, TwoSavesGiveTwoPagesLinkedInOrder) {
  imgtest::TempDir dir;
  imgtest::BoxLog boxes;
  const int w = 33, h = 21;
  Bytes a = imgtest::NoiseFrame(w, h, 1), b = imgtest::NoiseFrame(w, h, 2);

  std::string same = dir.Path("same.tif");
  SaveImageFile(a.data(), kImageFileTiff, w, h, same.c_str());
  SaveImageFile(a.data(), kImageFileTiff, w, h, same.c_str());
  std::vector<Page> twice = ReadPages(same);
  ASSERT_EQ(2u, twice.size());
  EXPECT_TRUE(twice[0] == twice[1]);
  EXPECT_EQ(PictureRow(a, w, h, 0), twice[1].rows.at(0));

  std::string ordered = dir.Path("ordered.tif");
  SaveImageFile(a.data(), kImageFileTiff, w, h, ordered.c_str());
  SaveImageFile(b.data(), kImageFileTiff, w, h, ordered.c_str());
  SaveImageFile(a.data(), kImageFileTiff, w, h, ordered.c_str());
  std::vector<Page> three = ReadPages(ordered);
  ASSERT_EQ(3u, three.size());
  EXPECT_EQ(PictureRow(a, w, h, 0), three[0].rows.at(0));
  EXPECT_EQ(PictureRow(b, w, h, 0), three[1].rows.at(0));
  EXPECT_EQ(PictureRow(a, w, h, h - 1), three[2].rows.at(h - 1));
  EXPECT_TRUE(three[0] == twice[0]);
  EXPECT_TRUE(boxes.Take().empty());
}

TEST(TiffAppend, EmptyFileBecomesOnePageTiff) {
  imgtest::TempDir dir;
  std::string path = dir.Path("empty.tif");
  imgtest::WriteFile(path, {});
  Bytes frame = imgtest::NoiseFrame(9, 4, 3);
  qvtest::StderrCapture err;
  EXPECT_EQ(0, WriteTiffFile(path.c_str(), 9, 4, 2, 24, 0, 1, 0, nullptr, 0, frame.data()));
  EXPECT_EQ("", err.Stop());
  std::vector<Page> pages = ReadPages(path);
  ASSERT_EQ(1u, pages.size());
  EXPECT_EQ(PictureRow(frame, 9, 4, 0), pages[0].rows.at(0));
}

enum class Junk { Bmp, Jpeg, Text, ShortTiff, BadVersion, LinkBeyondEnd, LinkLoop };

// A one-page TIFF whose first directory links on to nextOffset, or to itself.
void WriteTiffWithLink(const std::string& path, bool toItself) {
  Bytes frame = imgtest::NoiseFrame(3, 2, 9);
  ASSERT_EQ(1, SaveTiffImage(path.c_str(), frame.data(), 3, 2));
  Bytes file = imgtest::ReadFile(path);
  ASSERT_EQ('I', file[0]) << "little-endian file expected";
  const uint32_t ifd = file[4] | (file[5] << 8) | (file[6] << 16) | (uint32_t(file[7]) << 24);
  const size_t entries = file[ifd] | (file[ifd + 1] << 8);
  const size_t link = ifd + 2 + 12 * entries;
  const uint32_t to = toItself ? ifd : static_cast<uint32_t>(file.size() + 4096);
  for (int i = 0; i < 4; ++i) file[link + i] = static_cast<unsigned char>(to >> (8 * i));
  imgtest::WriteFile(path, file);
}

struct NotTiffCase {
  const char* name;
  Junk kind;
};

class TiffRefusesOtherFiles : public ::testing::TestWithParam<NotTiffCase> {};

TEST_P(TiffRefusesOtherFiles, LibraryBoxStderrAndFileUnchanged) {
  const NotTiffCase& c = GetParam();
  imgtest::TempDir dir;
  std::string path = dir.Path("other.img");
  Bytes small = imgtest::NoiseFrame(6, 4, 4);
  switch (c.kind) {
    case Junk::Bmp:
      ASSERT_EQ(1, SaveBmpImage(path.c_str(), small.data(), 6, 4));
      break;
    case Junk::Jpeg:
      ASSERT_EQ(1, SaveJpegImage(path.c_str(), small.data(), 6, 4));
      break;
    case Junk::Text:
      imgtest::WriteFile(path, {'h', 'e', 'l', 'l', 'o'});
      break;
    case Junk::ShortTiff:
      imgtest::WriteFile(path, {'I', 'I', 42, 0, 8});
      break;
    case Junk::BadVersion:
      imgtest::WriteFile(path, {'M', 'M', 0, 41, 0, 0, 0, 8, 0, 0, 0, 0});
      break;
    case Junk::LinkBeyondEnd:
    case Junk::LinkLoop:
      WriteTiffWithLink(path, c.kind == Junk::LinkLoop);
      break;
  }
  // A broken chain is reported by the routine that walks it, a foreign file by its name.
  const bool brokenChain = c.kind == Junk::LinkBeyondEnd || c.kind == Junk::LinkLoop;
  const Bytes before = imgtest::ReadFile(path);
  Bytes frame = imgtest::NoiseFrame(8, 8, 6);

  for (int route = 0; route < 2; ++route) {
    imgtest::BoxLog boxes;
    qvtest::StderrCapture err;
    if (route == 0) {
      EXPECT_EQ(2, WriteTiffFile(path.c_str(), 8, 8, 2, 24, 0, 1, 0, nullptr, 0, frame.data()));
    } else {
      SaveImageFile(frame.data(), kImageFileTiff, 8, 8, path.c_str());
    }
    EXPECT_EQ("Cannot open file for output.\n", StderrText(err.Stop()));
    std::vector<Box> seen = boxes.Take();
    ASSERT_EQ(1u, seen.size()) << imgtest::Describe(seen);
    if (brokenChain) {
      EXPECT_NE(std::string::npos, seen[0].caption.find(" Error")) << seen[0].caption;
    } else {
      EXPECT_EQ(path + " Error", seen[0].caption);
    }
    EXPECT_FALSE(seen[0].text.empty());
    EXPECT_TRUE(before == imgtest::ReadFile(path)) << "the file was changed";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Files, TiffRefusesOtherFiles,
    ::testing::Values(NotTiffCase{"Bmp", Junk::Bmp}, NotTiffCase{"Jpeg", Junk::Jpeg}, NotTiffCase{"Text", Junk::Text},
                      NotTiffCase{"ShortTiff", Junk::ShortTiff}, NotTiffCase{"BadVersion", Junk::BadVersion},
                      NotTiffCase{"LinkBeyondEnd", Junk::LinkBeyondEnd}, NotTiffCase{"LinkLoop", Junk::LinkLoop}),
    [](const ::testing::TestParamInfo<NotTiffCase>& info) { return std::string(info.param.name); });

TEST(TiffRefuses, PathThatCannotBeCreated) {
  imgtest::TempDir dir;
  std::string path = dir.Path("missing") + "/x.tif";
  Bytes frame = imgtest::NoiseFrame(2, 2, 1);
  imgtest::BoxLog boxes;
  qvtest::StderrCapture err;
  EXPECT_EQ(2, WriteTiffFile(path.c_str(), 2, 2, 2, 24, 0, 1, 0, nullptr, 0, frame.data()));
  EXPECT_EQ("Cannot open file for output.\n", StderrText(err.Stop()));
  std::vector<Box> seen = boxes.Take();
  ASSERT_EQ(1u, seen.size()) << imgtest::Describe(seen);
  EXPECT_NE(std::string::npos, seen[0].caption.find(" Error")) << seen[0].caption;
  EXPECT_FALSE(imgtest::FileExists(path));
}

struct CompressionCase {
  int kind;
  uint16_t compression;
  bool exact;
};

class TiffCompression : public ::testing::TestWithParam<CompressionCase> {};

TEST_P(TiffCompression, KindGivesSchemeAndReadablePixels) {
  const CompressionCase& c = GetParam();
  imgtest::TempDir dir;
  const int w = 48, h = 32;
  Bytes frame = imgtest::GradientFrame(w, h);
  std::string path = dir.Path("c.tif");
  imgtest::BoxLog boxes;
  qvtest::StderrCapture err;
  EXPECT_EQ(0, WriteTiffFile(path.c_str(), w, h, 2, 24, c.kind, 1, 0, nullptr, 0, frame.data()));
  EXPECT_EQ("", err.Stop());
  EXPECT_TRUE(boxes.Take().empty());
  std::vector<Page> pages = ReadPages(path, true);
  ASSERT_EQ(1u, pages.size());
  EXPECT_EQ(c.compression, pages[0].compression);
  ASSERT_EQ(size_t(h), pages[0].rows.size());
  double error = 0;
  for (int y = 0; y < h; ++y) {
    Bytes want = PictureRow(frame, w, h, y);
    if (c.exact) {
      ASSERT_EQ(want, pages[0].rows[y]) << "row " << y;
    }
    for (size_t i = 0; i < want.size(); ++i) error += std::abs(int(want[i]) - int(pages[0].rows[y][i]));
  }
  EXPECT_LT(error / (w * h * 3), 4.0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, TiffCompression,
                         ::testing::Values(CompressionCase{0, COMPRESSION_NONE, true},
                                           CompressionCase{1, COMPRESSION_JPEG, false},
                                           CompressionCase{2, COMPRESSION_LZW, true}));

TEST(TiffCompression, UnknownSchemeFailsOnTheFirstRow) {
  imgtest::TempDir dir;
  std::string path = dir.Path("unknown.tif");
  Bytes frame = imgtest::NoiseFrame(16, 8, 2);
  for (int kind : {3, 9, -1}) {
    imgtest::BoxLog boxes;
    qvtest::StderrCapture err;
    EXPECT_EQ(0, WriteTiffFile(path.c_str(), 16, 8, 2, 24, kind, 1, 0, nullptr, 0, frame.data()));
    EXPECT_EQ("scanline 0: Write error.\n", StderrText(err.Stop())) << "kind " << kind;
    std::vector<Box> seen = boxes.Take();
    ASSERT_FALSE(seen.empty());
    EXPECT_NE(std::string::npos, seen[0].caption.find(" Error")) << imgtest::Describe(seen);
  }
}

struct KindCase {
  const char* name;
  int photometricKind;
  unsigned bitsPerPixel;
  unsigned paletteCount;
  uint16_t samplesPerPixel, bitsPerSample, photometric;
  bool flipped;
};

class TiffKinds : public ::testing::TestWithParam<KindCase> {};

TEST_P(TiffKinds, FieldsAndRowOrder) {
  const KindCase& c = GetParam();
  imgtest::TempDir dir;
  const unsigned w = 16, h = 5;
  const size_t rowBytes = size_t{w} * c.bitsPerPixel / 8;
  Bytes data = imgtest::NoiseFrame(w, h, 3);
  data.resize(rowBytes * h);
  Bytes palette(4 * 256);
  for (size_t i = 0; i < palette.size(); ++i) palette[i] = static_cast<unsigned char>(i * 7 + 1);
  const Bytes original = data;
  std::string path = dir.Path("k.tif");
  imgtest::BoxLog boxes;
  ASSERT_EQ(0, WriteTiffFile(path.c_str(), w, h, c.photometricKind, c.bitsPerPixel, 0, 1, 0,
                             c.paletteCount ? palette.data() : nullptr, c.paletteCount, data.data()));
  EXPECT_EQ(original, data);
  std::vector<Page> pages = ReadPages(path);
  EXPECT_TRUE(boxes.Take().empty());
  ASSERT_EQ(1u, pages.size());
  const Page& p = pages[0];
  EXPECT_EQ(c.samplesPerPixel, p.samplesPerPixel);
  EXPECT_EQ(c.bitsPerSample, p.bitsPerSample);
  EXPECT_EQ(c.photometric, p.photometric);
  EXPECT_EQ(SAMPLEFORMAT_INT, p.sampleFormat);
  ASSERT_EQ(size_t{h}, p.rows.size());
  for (unsigned y = 0; y < h; ++y) {
    const unsigned char* want = original.data() + (c.flipped ? h - 1 - y : y) * rowBytes;
    ASSERT_EQ(0, std::memcmp(want, p.rows[y].data(), rowBytes)) << "row " << y;
  }
  if (c.photometric == PHOTOMETRIC_PALETTE) {
    const size_t entries = size_t{1} << c.bitsPerSample;
    ASSERT_EQ(entries, p.colorMap[0].size());
    for (size_t i = 0; i < entries; ++i) {
      // High byte from the palette's red, green, blue (stored blue first); low byte the same.
      const int channels[3] = {2, 1, 0};
      for (int k = 0; k < 3; ++k) {
        unsigned v = i < c.paletteCount ? palette[4 * i + channels[k]] : 0;
        ASSERT_EQ(v * 0x101, p.colorMap[k][i]) << "entry " << i << " channel " << k;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, TiffKinds,
                         ::testing::Values(KindCase{"Gray8", 1, 8, 0, 1, 8, PHOTOMETRIC_MINISBLACK, true},
                                           KindCase{"Gray16", 1, 16, 0, 1, 16, PHOTOMETRIC_MINISBLACK, true},
                                           KindCase{"Gray32NotFlipped", 1, 32, 0, 1, 32, PHOTOMETRIC_MINISBLACK, false},
                                           KindCase{"Palette8", 3, 8, 256, 1, 8, PHOTOMETRIC_PALETTE, true},
                                           KindCase{"Palette4ShortPalette", 3, 4, 10, 1, 4, PHOTOMETRIC_PALETTE, true}),
                         [](const ::testing::TestParamInfo<KindCase>& info) { return std::string(info.param.name); });

TEST(TiffKinds, UnknownPhotometricKindWritesNothing) {
  imgtest::TempDir dir;
  std::string path = dir.Path("none.tif");
  Bytes data(64, 1);
  for (int kind : {0, 4, -1, 100}) {
    EXPECT_EQ(-1, WriteTiffFile(path.c_str(), 4, 4, kind, 24, 0, 1, 0, nullptr, 0, data.data())) << kind;
  }
  EXPECT_FALSE(imgtest::FileExists(path));
}

TEST(TiffRefuses, NothingToWriteLeavesNoFile) {
  imgtest::TempDir dir;
  std::string path = dir.Path("none.tif");
  Bytes data(64, 1);
  imgtest::BoxLog boxes;
  qvtest::StderrCapture err;
  EXPECT_EQ(0, SaveTiffImage(path.c_str(), nullptr, 4, 4));
  EXPECT_EQ(0, SaveTiffImage(path.c_str(), data.data(), 0, 4));
  EXPECT_EQ(0, SaveTiffImage(path.c_str(), data.data(), 4, 0));
  EXPECT_EQ(0, SaveTiffImage(path.c_str(), data.data(), -4, 4));
  EXPECT_EQ(0, SaveTiffImage(path.c_str(), data.data(), 50000, 50000));
  EXPECT_EQ(0, WriteTiffFile(path.c_str(), 4, 4, 2, 24, 0, 1, 0, nullptr, 0, nullptr));
  EXPECT_EQ(0, WriteTiffFile(path.c_str(), 0, 4, 2, 24, 0, 1, 0, nullptr, 0, data.data()));
  EXPECT_EQ(0, WriteTiffFile(path.c_str(), 100000, 100000, 1, 8, 0, 1, 0, nullptr, 0, data.data()));
  // Rows past 2^31 - 1 bytes, which the 32-bit library can't size, on every build.
  EXPECT_EQ(0, SaveTiffImage(path.c_str(), data.data(), 1431655765, 1));
  EXPECT_EQ(0, SaveTiffImage(path.c_str(), data.data(), 715827883, 1));
  EXPECT_EQ(0, WriteTiffFile(path.c_str(), 715827883, 1, 2, 24, 0, 1, 0, nullptr, 0, data.data()));
  EXPECT_EQ(0, WriteTiffFile(path.c_str(), 0x80000000u, 1, 1, 8, 0, 1, 0, nullptr, 0, data.data()));
  EXPECT_EQ("", err.Stop());
  EXPECT_TRUE(boxes.Take().empty());
  EXPECT_FALSE(imgtest::FileExists(path));
}

struct SwapCase {
  int mode;
  Bytes after;
};

class SwapWords : public ::testing::TestWithParam<SwapCase> {};

// The word 0xABCD stored little-endian as CD AB, then a lone last byte.
TEST_P(SwapWords, RearrangesEachWordLeavingTheOddByte) {
  const SwapCase& c = GetParam();
  Bytes row = {0xCD, 0xAB, 0xCD, 0xAB, 0x12};
  EXPECT_EQ(0, SwapSampleWords(row.data(), static_cast<unsigned>(row.size()), c.mode));
  EXPECT_EQ(c.after, row) << "mode " << c.mode;
}

INSTANTIATE_TEST_SUITE_P(
    Modes, SwapWords,
    ::testing::Values(SwapCase{2, {0xAB, 0xCD, 0xAB, 0xCD, 0x12}}, SwapCase{3, {0xDC, 0xAB, 0xDC, 0xAB, 0x12}},
                      SwapCase{4, {0xAB, 0xDC, 0xAB, 0xDC, 0x12}}, SwapCase{5, {0xDA, 0xBC, 0xDA, 0xBC, 0x12}},
                      SwapCase{0, {0xCD, 0xAB, 0xCD, 0xAB, 0x12}}, SwapCase{1, {0xCD, 0xAB, 0xCD, 0xAB, 0x12}},
                      SwapCase{6, {0xCD, 0xAB, 0xCD, 0xAB, 0x12}}, SwapCase{-1, {0xCD, 0xAB, 0xCD, 0xAB, 0x12}}));

TEST(SwapWords, ModeReachesTheFileRows) {
  imgtest::TempDir dir;
  std::string path = dir.Path("swap.tif");
  Bytes data = {0xCD, 0xAB, 0x34, 0x12};  // one row of two 16-bit gray pixels
  ASSERT_EQ(0, WriteTiffFile(path.c_str(), 2, 1, 1, 16, 0, 2, 0, nullptr, 0, data.data()));
  std::vector<Page> pages = ReadPages(path);
  ASSERT_EQ(1u, pages.size());
  EXPECT_EQ((Bytes{0xAB, 0xCD, 0x12, 0x34}), pages[0].rows.at(0));
}

struct FlipDepthCase {
  unsigned bits;
  int result;
};

class FlipTiffDepths : public ::testing::TestWithParam<FlipDepthCase> {};

TEST_P(FlipTiffDepths, ReversesAcceptedDepthsOnly) {
  const FlipDepthCase& c = GetParam();
  for (unsigned height : {1u, 4u, 5u}) {
    const unsigned width = 8;
    const size_t rowBytes = size_t{width} * c.bits / 8;
    Bytes data(rowBytes * height);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 13 + 5);
    const Bytes before = data;
    ASSERT_EQ(c.result, FlipTiffRows(width, height, c.bits, data.data()));
    for (unsigned r = 0; r < height; ++r) {
      unsigned from = c.result == 0 ? height - 1 - r : r;
      ASSERT_EQ(0, std::memcmp(data.data() + r * rowBytes, before.data() + from * rowBytes, rowBytes))
          << c.bits << " bits, height " << height << ", row " << r;
    }
  }
}

// Rows whose bytes pass 32 bits are refused before any size could wrap in a 32-bit
// build (two rows of 2^31 bytes would be 0 there).
TEST(FlipTiffSizes, RowsBeyond32BitsChangeNothing) {
  Bytes data(64);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i);
  const Bytes before = data;
  EXPECT_EQ(-1, FlipTiffRows(0x80000000u, 2, 8, data.data()));
  EXPECT_EQ(-1, FlipTiffRows(0xFFFFFFFFu, 2, 48, data.data()));
  EXPECT_EQ(-1, FlipTiffRows(65536, 65536, 8, data.data()));
  EXPECT_EQ(before, data);
}

INSTANTIATE_TEST_SUITE_P(Depths, FlipTiffDepths,
                         ::testing::Values(FlipDepthCase{1, 0}, FlipDepthCase{2, 0}, FlipDepthCase{4, 0},
                                           FlipDepthCase{8, 0}, FlipDepthCase{16, 0}, FlipDepthCase{24, 0},
                                           FlipDepthCase{48, 0}, FlipDepthCase{32, -1}, FlipDepthCase{12, -1},
                                           FlipDepthCase{3, -1}, FlipDepthCase{64, -1}));

// The library's reports, through the handlers that the writer installs before its
// first TIFF call: caption from the module ("TIFFLIB" without one), formatted text.
TEST(TiffHandlers, ErrorAndWarningBoxes) {
  imgtest::TempDir dir;
  Bytes frame = imgtest::NoiseFrame(2, 2, 1);
  ASSERT_EQ(1, SaveTiffImage(dir.Path("first.tif").c_str(), frame.data(), 2, 2));
  imgtest::BoxLog boxes;
  TIFFError("Module", "code %d of %s", 7, "seven");
  TIFFError(nullptr, "no module %u", 3u);
  TIFFWarning("Reader", "odd tag %x", 0xABu);
  TIFFWarning(nullptr, "%s", std::string(3000, 'w').c_str());
  std::vector<Box> seen = boxes.Take();
  ASSERT_EQ(4u, seen.size()) << imgtest::Describe(seen);
  EXPECT_EQ("Module Error", seen[0].caption);
  EXPECT_EQ("code 7 of seven", seen[0].text);
  EXPECT_EQ("TIFFLIB Error", seen[1].caption);
  EXPECT_EQ("no module 3", seen[1].text);
  EXPECT_EQ("Reader Warning", seen[2].caption);
  EXPECT_EQ("odd tag ab", seen[2].text);
  EXPECT_EQ("TIFFLIB Warning", seen[3].caption);
  EXPECT_EQ(std::string(3000, 'w'), seen[3].text);
}

#ifndef _WIN32
TEST(TiffHandlers, IconsAndOwnerOfTheBoxes) {
  imgtest::TempDir dir;
  Bytes frame = imgtest::NoiseFrame(2, 2, 1);
  ASSERT_EQ(1, SaveTiffImage(dir.Path("first.tif").c_str(), frame.data(), 2, 2));
  qv::TakeRecordedBoxes();
  TIFFError("m", "e");
  TIFFWarning("m", "w");
  std::vector<qv::RecordedBox> seen = qv::TakeRecordedBoxes();
  ASSERT_EQ(2u, seen.size());
  EXPECT_EQ(qv::BoxIcon::Exclamation, seen[0].icon);
  EXPECT_EQ(qv::BoxOwner::FocusWindow, seen[0].owner);
  EXPECT_EQ(qv::BoxIcon::Information, seen[1].icon);
  EXPECT_EQ(qv::BoxOwner::FocusWindow, seen[1].owner);
}
#endif

}  // namespace
