// The save dispatcher and the BMP and raw writers, read back with a plain parse.
#include <gtest/gtest.h>

#include <cstring>

#include "ImageSave.h"
#include "ImageTestSupport.h"

using imgtest::Bytes;

namespace {

uint32_t Le32(const Bytes& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint16_t Le16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }

enum class Written { Nothing, Jpeg, Bmp, Raw, Tiff };

struct TypeCase {
  int type;
  Written written;
};

class DispatcherTypes : public ::testing::TestWithParam<TypeCase> {};

TEST_P(DispatcherTypes, WritesOnlyForExactCodes) {
  const TypeCase& c = GetParam();
  imgtest::TempDir dir;
  imgtest::BoxLog boxes;
  const int width = 8, height = 4;
  Bytes frame = imgtest::NoiseFrame(width, height, 3);
  std::string fresh = dir.Path("fresh.img");
  SaveImageFile(frame.data(), c.type, width, height, fresh.c_str());

  Bytes file = imgtest::ReadFile(fresh);
  switch (c.written) {
    case Written::Nothing:
      EXPECT_FALSE(imgtest::FileExists(fresh)) << "type " << c.type;
      break;
    case Written::Jpeg:
      ASSERT_GE(file.size(), 4u);
      EXPECT_EQ(0xFF, file[0]);
      EXPECT_EQ(0xD8, file[1]);
      break;
    case Written::Bmp:
      ASSERT_EQ(54u + width * height * 3, file.size());
      EXPECT_EQ('B', file[0]);
      EXPECT_EQ('M', file[1]);
      break;
    case Written::Raw:
      ASSERT_EQ(static_cast<size_t>(width * height), file.size());
      EXPECT_TRUE(std::equal(file.begin(), file.end(), frame.begin()));
      break;
    case Written::Tiff:
      ASSERT_GE(file.size(), 8u);
      EXPECT_TRUE((file[0] == 'I' && file[1] == 'I') || (file[0] == 'M' && file[1] == 'M'));
      break;
  }

  // An existing file is left alone by codes that write nothing.
  if (c.written == Written::Nothing) {
    std::string existing = dir.Path("existing.img");
    Bytes before = {1, 2, 3, 4, 5};
    imgtest::WriteFile(existing, before);
    SaveImageFile(frame.data(), c.type, width, height, existing.c_str());
    EXPECT_EQ(before, imgtest::ReadFile(existing));
  }
  EXPECT_TRUE(boxes.Take().empty());
}

INSTANTIATE_TEST_SUITE_P(Codes, DispatcherTypes,
                         ::testing::Values(TypeCase{1, Written::Jpeg}, TypeCase{2, Written::Bmp},
                                           TypeCase{4, Written::Raw}, TypeCase{8, Written::Tiff},
                                           TypeCase{0, Written::Nothing}, TypeCase{3, Written::Nothing},
                                           TypeCase{5, Written::Nothing}, TypeCase{6, Written::Nothing},
                                           TypeCase{7, Written::Nothing}, TypeCase{9, Written::Nothing},
                                           TypeCase{16, Written::Nothing}, TypeCase{-1, Written::Nothing},
                                           TypeCase{1 | 2, Written::Nothing}));

struct BmpCase {
  int width;
  int height;
  size_t fileBytes;
};

class BmpLayout : public ::testing::TestWithParam<BmpCase> {};

TEST_P(BmpLayout, HeadersAndRowsAsReadersExpect) {
  const BmpCase& c = GetParam();
  imgtest::TempDir dir;
  Bytes frame = imgtest::NoiseFrame(c.width, c.height, 7);
  std::string path = dir.Path("frame.bmp");
  // A longer file at the path is replaced, not overwritten in part.
  imgtest::WriteFile(path, Bytes(c.fileBytes + 1000, 0xEE));
  EXPECT_EQ(1, SaveBmpImage(path.c_str(), frame.data(), c.width, c.height));

  Bytes file = imgtest::ReadFile(path);
  ASSERT_EQ(c.fileBytes, file.size());
  EXPECT_EQ(0x4D42, Le16(file, 0));
  EXPECT_EQ(c.fileBytes, Le32(file, 2)) << "bfSize";
  EXPECT_EQ(0u, Le32(file, 6)) << "bfReserved1/2";
  EXPECT_EQ(54u, Le32(file, 10)) << "bfOffBits";
  EXPECT_EQ(40u, Le32(file, 14)) << "biSize";
  EXPECT_EQ(static_cast<uint32_t>(c.width), Le32(file, 18));
  EXPECT_EQ(static_cast<uint32_t>(c.height), Le32(file, 22));
  EXPECT_EQ(1, Le16(file, 26)) << "biPlanes";
  EXPECT_EQ(24, Le16(file, 28)) << "biBitCount";
  for (size_t at = 30; at < 54; at += 4) EXPECT_EQ(0u, Le32(file, at)) << "header offset " << at;

  // Rows in the frame's own order (bottom row first), pixels unchanged, each
  // followed by its fill bytes up to a multiple of 4.
  const size_t rowBytes = static_cast<size_t>(c.width) * 3;
  const size_t stride = (rowBytes + 3) / 4 * 4;
  for (int row = 0; rowBytes != 0 && row < c.height; ++row) {
    const unsigned char* inFile = file.data() + 54 + row * stride;
    const unsigned char* inFrame = frame.data() + row * rowBytes;
    ASSERT_EQ(0, std::memcmp(inFile, inFrame, rowBytes)) << "row " << row;
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, BmpLayout,
                         ::testing::Values(BmpCase{640, 480, 921654}, BmpCase{5, 2, 86}, BmpCase{1, 1, 58},
                                           BmpCase{3, 3, 54 + 3 * 12}, BmpCase{2, 5, 54 + 5 * 8}, BmpCase{0, 3, 54},
                                           BmpCase{4, 0, 54},
                                           // No rows: only the header, whatever the width's stride.
                                           BmpCase{1431655765, 0, 54}, BmpCase{2147483647, 0, 54}));

struct RawCase {
  int width;
  int height;
};

class RawBytes : public ::testing::TestWithParam<RawCase> {};

TEST_P(RawBytes, FirstWidthTimesHeightBytesOfTheFrame) {
  const RawCase& c = GetParam();
  imgtest::TempDir dir;
  Bytes frame = imgtest::NoiseFrame(c.width, c.height, 11);
  std::string path = dir.Path("frame.raw");
  imgtest::WriteFile(path, Bytes(100, 0xEE));  // replaced, never appended to
  SaveImageFile(frame.data(), kImageFileRaw, c.width, c.height, path.c_str());

  Bytes file = imgtest::ReadFile(path);
  const size_t expected = static_cast<size_t>(c.width) * c.height;
  ASSERT_TRUE(imgtest::FileExists(path));
  ASSERT_EQ(expected, file.size());
  EXPECT_TRUE(std::equal(file.begin(), file.end(), frame.begin()));
}

INSTANTIATE_TEST_SUITE_P(Sizes, RawBytes,
                         ::testing::Values(RawCase{640, 480}, RawCase{5, 2}, RawCase{0, 5}, RawCase{5, 0}));

// Input that can't be written: no file, an existing file unchanged, no box,
// and no read of the (small) frame beyond its end.
struct RefusedCase {
  const char* name;
  int type;
  bool nullFrame;
  int width;
  int height;
  bool missingFolder;
};

class RefusedSaves : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedSaves, WriteNothingAndShowNothing) {
  const RefusedCase& c = GetParam();
  imgtest::TempDir dir;
  imgtest::BoxLog boxes;
  Bytes frame = imgtest::NoiseFrame(4, 4, 1);
  unsigned char* pixels = c.nullFrame ? nullptr : frame.data();
  std::string path = c.missingFolder ? dir.Path("no-such-folder") + "/x.img" : dir.Path("x.img");

  SaveImageFile(pixels, c.type, c.width, c.height, path.c_str());
  EXPECT_FALSE(imgtest::FileExists(path));
  EXPECT_TRUE(boxes.Take().empty());

  if (!c.missingFolder) {
    Bytes before = {'k', 'e', 'e', 'p'};
    imgtest::WriteFile(path, before);
    SaveImageFile(pixels, c.type, c.width, c.height, path.c_str());
    EXPECT_EQ(before, imgtest::ReadFile(path));
  }
}

INSTANTIATE_TEST_SUITE_P(Inputs, RefusedSaves,
                         ::testing::Values(RefusedCase{"BmpNullFrame", 2, true, 4, 4, false},
                                           RefusedCase{"BmpNegativeWidth", 2, false, -4, 4, false},
                                           RefusedCase{"BmpNegativeHeight", 2, false, 4, -4, false},
                                           RefusedCase{"BmpBeyond32Bits", 2, false, 70000, 70000, false},
                                           RefusedCase{"BmpMissingFolder", 2, false, 4, 4, true},
                                           // A row of 2^32 - 1 bytes: its padded stride is 2^32, 0 in 32 bits.
                                           RefusedCase{"BmpPaddedRowOf4GiB", 2, false, 1431655765, 1, false},
                                           RefusedCase{"BmpFileOver4GiB", 2, false, 477218587, 3, false},
                                           RefusedCase{"BmpBytesWrapIn32Bits", 2, false, 65536, 65537, false},
                                           RefusedCase{"RawBytesWrapIn32Bits", 4, false, 65536, 65537, false},
                                           RefusedCase{"RawNullFrame", 4, true, 4, 4, false},
                                           RefusedCase{"RawBothNegative", 4, false, -2, -3, false},
                                           RefusedCase{"RawBeyond32Bits", 4, false, 70000, 70000, false},
                                           RefusedCase{"RawMissingFolder", 4, false, 4, 4, true},
                                           RefusedCase{"TiffNullFrame", 8, true, 4, 4, false},
                                           RefusedCase{"TiffNegativeHeight", 8, false, 4, -4, false},
                                           RefusedCase{"TiffBeyond32Bits", 8, false, 40000, 40000, false},
                                           RefusedCase{"TiffZeroWidth", 8, false, 0, 4, false},
                                           RefusedCase{"TiffBytesWrapIn32Bits", 8, false, 65536, 65537, false},
                                           // Rows the 32-bit TIFF library can't size (past 2^31 - 1 bytes).
                                           RefusedCase{"TiffRowOf4GiB", 8, false, 1431655765, 1, false},
                                           RefusedCase{"TiffRowPast2GiB", 8, false, 715827883, 1, false}),
                         [](const ::testing::TestParamInfo<RefusedCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(BmpRawResults, ZeroWhenNothingWritten) {
  imgtest::TempDir dir;
  Bytes frame = imgtest::NoiseFrame(4, 4, 1);
  std::string missing = dir.Path("no-such-folder") + "/x";
  EXPECT_EQ(0, SaveBmpImage(missing.c_str(), frame.data(), 4, 4));
  EXPECT_EQ(0, SaveRawImage(missing.c_str(), frame.data(), 16));
  EXPECT_EQ(0, SaveBmpImage(dir.Path("a").c_str(), nullptr, 4, 4));
  EXPECT_EQ(0, SaveRawImage(dir.Path("b").c_str(), nullptr, 16));
  EXPECT_EQ(0, SaveBmpImage(dir.Path("c").c_str(), frame.data(), -1, 4));
  EXPECT_EQ(1, SaveRawImage(dir.Path("d").c_str(), frame.data(), 16));
}

#ifndef _WIN32
// A device that takes no bytes: the file opens but every write fails.
TEST(BmpRawResults, ZeroWhenAWriteFails) {
  Bytes frame = imgtest::NoiseFrame(640, 480, 1);
  EXPECT_EQ(0, SaveBmpImage("/dev/full", frame.data(), 640, 480));
  EXPECT_EQ(0, SaveBmpImage("/dev/full", frame.data(), 5, 2));
  EXPECT_EQ(0, SaveRawImage("/dev/full", frame.data(), 640 * 480));
}
#endif

}  // namespace
