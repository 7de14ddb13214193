// The frames of the formats a grab converts or decodes: the 4:2:0 and RGB32 frames are
// exactly what the library's own conversion expects, the MJPG frames are real JPEGs of
// the picture, and the damaged MJPG frames are the ones a decoder must refuse.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "MjpgDamage.h"
#include "MjpgDecoder.h"
#include "PlanarConversions.h"
#include "TestPicture.h"

using namespace qvvcam;

namespace {

std::string Name(const FrameFormat& f) {
  return std::string(PixelFormatName(f.pixel)) + " " + std::to_string(f.width) + "x" + std::to_string(f.height);
}

std::vector<uint8_t> Frame(TestPicture& picture, uint32_t sequence) {
  std::vector<uint8_t> frame(FrameCapacity(picture.Format()));
  frame.resize(picture.Generate(sequence, frame.data(), frame.size()));
  return frame;
}

int (*LibraryConversion(PixelFormat p))(const unsigned char*, unsigned char*, int, int) {
  switch (p) {
    case PixelFormat::Nv12:
      return NV12ToRGB24;
    case PixelFormat::I420:
      return I420ToRGB24;
    case PixelFormat::Yv12:
      return YV12ToRGB24;
    default:
      return RGB32ToRGB24;
  }
}

TEST(VcamFormatFrames, UncompressedFramesConvertWithTheLibraryToTheExpectedPicture) {
  for (PixelFormat p : {PixelFormat::Rgb32, PixelFormat::Nv12, PixelFormat::I420, PixelFormat::Yv12}) {
    for (int s : {0, 3}) {
      const int sizes[4][2] = {{320, 240}, {640, 480}, {1280, 720}, {1920, 1080}};
      const FrameFormat f{p, sizes[s][0], sizes[s][1]};
      TestPicture picture(f);
      ASSERT_TRUE(picture.Valid()) << Name(f);
      for (uint32_t sequence : {0u, 77u}) {
        const std::vector<uint8_t> frame = Frame(picture, sequence);
        ASSERT_EQ(frame.size(), FrameCapacity(f)) << Name(f);
        const size_t bytes = static_cast<size_t>(f.width) * f.height * 3;
        std::vector<uint8_t> rgb(bytes + 16, 0xA5);  // guard bytes after the frame
        LibraryConversion(p)(frame.data(), rgb.data(), f.width, f.height);
        EXPECT_EQ(std::vector<uint8_t>(rgb.end() - 16, rgb.end()), std::vector<uint8_t>(16, 0xA5)) << Name(f);
        rgb.resize(bytes);
        EXPECT_TRUE(rgb == ExpectedRgb24(f, sequence)) << Name(f) << " frame " << sequence;
        const FrameCheck check = CheckRgb24Frame(rgb.data(), rgb.size(), f.width, f.height);
        EXPECT_EQ(check.status, FrameStatus::Ok) << Name(f) << ": " << FrameStatusName(check.status);
        EXPECT_EQ(check.sequence, sequence) << Name(f);
      }
    }
  }
}

// The three 4:2:0 layouts hold the same samples, only placed differently.
TEST(VcamFormatFrames, PlanarLayoutsHoldTheSameSamples) {
  const int w = 640, h = 480;
  const size_t luma = static_cast<size_t>(w) * h, quarter = luma / 4;
  TestPicture nv12({PixelFormat::Nv12, w, h}), i420({PixelFormat::I420, w, h}), yv12({PixelFormat::Yv12, w, h});
  const std::vector<uint8_t> a = Frame(nv12, 9), b = Frame(i420, 9), c = Frame(yv12, 9);
  ASSERT_EQ(a.size(), luma + 2 * quarter);
  ASSERT_EQ(b.size(), a.size());
  ASSERT_EQ(c.size(), a.size());
  EXPECT_TRUE(std::equal(a.begin(), a.begin() + luma, b.begin()));
  EXPECT_TRUE(std::equal(b.begin(), b.begin() + luma, c.begin()));
  size_t mismatches = 0;
  for (size_t i = 0; i < quarter; ++i) {
    const uint8_t u = b[luma + i], v = b[luma + quarter + i];
    mismatches += a[luma + 2 * i] != u || a[luma + 2 * i + 1] != v || c[luma + i] != v || c[luma + quarter + i] != u;
  }
  EXPECT_EQ(mismatches, 0u);
  // The chroma is not flat: a swapped U and V would show.
  EXPECT_NE(std::memcmp(b.data() + luma, b.data() + luma + quarter, quarter), 0);
}

struct JpegLayout {
  bool read = false;
  int width = 0, height = 0, components = 0;
  int sampling[3][2] = {};
  bool huffmanTables = false;  // a DHT segment before the scan
};

struct QuietError {
  jpeg_error_mgr pub;
};
void Abort(j_common_ptr) { std::abort(); }  // only frames this camera made are read here

JpegLayout ReadLayout(const std::vector<uint8_t>& jpeg) {
  JpegLayout layout;
  jpeg_decompress_struct cinfo;
  QuietError error;
  cinfo.err = jpeg_std_error(&error.pub);
  error.pub.error_exit = Abort;
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  if (jpeg_read_header(&cinfo, TRUE) == JPEG_HEADER_OK) {
    layout.read = true;
    layout.width = static_cast<int>(cinfo.image_width);
    layout.height = static_cast<int>(cinfo.image_height);
    layout.components = cinfo.num_components;
    for (int c = 0; c < cinfo.num_components && c < 3; ++c)
      layout.sampling[c][0] = cinfo.comp_info[c].h_samp_factor,
      layout.sampling[c][1] = cinfo.comp_info[c].v_samp_factor;
  }
  jpeg_destroy_decompress(&cinfo);
  for (size_t at = 2; at + 4 <= jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] != 0xDA;
       at += 2 + ((jpeg[at + 2] << 8) | jpeg[at + 3]))
    layout.huffmanTables |= jpeg[at + 1] == 0xC4;
  return layout;
}

double MeanAbsoluteError(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  uint64_t sum = 0;
  for (size_t i = 0; i < a.size(); ++i) sum += static_cast<uint64_t>(std::abs(int(a[i]) - int(b[i])));
  return a.empty() ? 0.0 : static_cast<double>(sum) / static_cast<double>(a.size());
}

TEST(VcamFormatFrames, MjpgFramesAreJpegsOfThePictureWithAReadableStamp) {
  for (const FrameFormat f : {FrameFormat{PixelFormat::Mjpg, 320, 240}, FrameFormat{PixelFormat::Mjpg, 1920, 1080}}) {
    TestPicture picture(f);
    ASSERT_TRUE(picture.Valid()) << Name(f);
    qv::MjpgDecoder decoder;
    for (uint32_t sequence : {0u, 5u, 0xFFFFFFFEu}) {
      const std::vector<uint8_t> jpeg = Frame(picture, sequence);
      ASSERT_GT(jpeg.size(), 0u) << Name(f);
      const JpegLayout layout = ReadLayout(jpeg);
      ASSERT_TRUE(layout.read) << Name(f);
      EXPECT_EQ(layout.width, f.width);
      EXPECT_EQ(layout.height, f.height);
      ASSERT_EQ(layout.components, 3);
      EXPECT_TRUE(layout.sampling[0][0] == 2 && layout.sampling[0][1] == 1 && layout.sampling[1][0] == 1 &&
                  layout.sampling[1][1] == 1 && layout.sampling[2][0] == 1 && layout.sampling[2][1] == 1)
          << Name(f) << ": not 4:2:2";
      EXPECT_TRUE(layout.huffmanTables);

      std::vector<uint8_t> rgb(static_cast<size_t>(f.width) * f.height * 3);
      const qv::MjpgDecodeResult result =
          decoder.DecodeToBottomUpBgr(jpeg.data(), jpeg.size(), f.width, f.height, rgb.data());
      ASSERT_TRUE(result.IsDecoded()) << Name(f) << ": " << qv::Describe(result);
      const std::vector<uint8_t> source = ExpectedRgb24({PixelFormat::Rgb24, f.width, f.height}, sequence);
      EXPECT_LT(MeanAbsoluteError(rgb, source), 2.0) << Name(f) << " frame " << sequence;
      const FrameCheck stamp = ReadRgb24Stamp(rgb.data(), rgb.size(), f.width, f.height);
      EXPECT_EQ(stamp.status, FrameStatus::Ok) << Name(f);
      EXPECT_EQ(stamp.sequence, sequence) << Name(f);
      EXPECT_EQ(stamp.checksum, picture.Checksum(sequence)) << Name(f);
    }
  }
}

TEST(VcamFormatFrames, StampReaderRefusesAPictureWithoutOne) {
  std::vector<uint8_t> grey(320 * 240 * 3, 128);
  EXPECT_EQ(ReadRgb24Stamp(grey.data(), grey.size(), 320, 240).status, FrameStatus::NoStamp);
  EXPECT_EQ(ReadRgb24Stamp(grey.data(), grey.size() - 1, 320, 240).status, FrameStatus::WrongSize);
}

struct DamageCase {
  MjpgDamage damage;
  const char* name;
};
const DamageCase kDamageCases[] = {{MjpgDamage::None, "undamaged"},
                                   {MjpgDamage::Truncated, "truncated"},
                                   {MjpgDamage::Corrupt, "corrupt"},
                                   {MjpgDamage::NoHuffmanTables, "no Huffman tables"}};

TEST(VcamFormatFrames, DamagedMjpgFramesAreRefusedAndTheOthersDecode) {
  const FrameFormat f{PixelFormat::Mjpg, 640, 480};
  TestPicture picture(f);
  ASSERT_TRUE(picture.Valid());
  qv::MjpgDecoder decoder;
  std::vector<uint8_t> rgb(static_cast<size_t>(f.width) * f.height * 3);
  for (const DamageCase& c : kDamageCases) {
    int spoiled = 0, good = 0;
    for (uint32_t sequence = 10; sequence < 14; ++sequence) {
      std::vector<uint8_t> jpeg = Frame(picture, sequence);
      const size_t original = jpeg.size();
      jpeg.resize(ApplyMjpgDamage(c.damage, sequence, jpeg.data(), jpeg.size()));
      const bool bad = IsSpoiledFrame(c.damage, sequence);
      std::fill(rgb.begin(), rgb.end(), 0xA5);
      const qv::MjpgDecodeResult result =
          decoder.DecodeToBottomUpBgr(jpeg.data(), jpeg.size(), f.width, f.height, rgb.data());
      const FrameCheck whole = CheckFrame(f, jpeg.data(), jpeg.size());
      if (bad) {
        ++spoiled;
        EXPECT_FALSE(result.IsDecoded()) << c.name << " frame " << sequence;
        EXPECT_NE(whole.status, FrameStatus::Ok) << c.name << " frame " << sequence;
        if (c.damage == MjpgDamage::Truncated) EXPECT_LT(jpeg.size(), original * 3 / 4);
      } else {
        ++good;
        ASSERT_TRUE(result.IsDecoded()) << c.name << " frame " << sequence << ": " << qv::Describe(result);
        EXPECT_EQ(ReadRgb24Stamp(rgb.data(), rgb.size(), f.width, f.height).sequence, sequence) << c.name;
        EXPECT_EQ(whole.status, FrameStatus::Ok) << c.name << " frame " << sequence;
        EXPECT_EQ(whole.sequence, sequence);
      }
      EXPECT_EQ(ReadLayout(jpeg).huffmanTables, c.damage != MjpgDamage::NoHuffmanTables) << c.name;
    }
    // Bad frames alternate with good ones, so good frames keep flowing.
    const bool damaging = c.damage == MjpgDamage::Truncated || c.damage == MjpgDamage::Corrupt;
    EXPECT_EQ(spoiled, damaging ? 2 : 0) << c.name;
    EXPECT_EQ(good, damaging ? 2 : 4) << c.name;
  }
}

TEST(VcamFormatFrames, DamageLeavesWhatIsNotItsJpegAlone) {
  uint8_t junk[100];
  for (size_t i = 0; i < sizeof junk; ++i) junk[i] = static_cast<uint8_t>(i * 7);
  const std::vector<uint8_t> before(junk, junk + sizeof junk);
  for (const DamageCase& c : kDamageCases) {
    EXPECT_EQ(ApplyMjpgDamage(c.damage, 1, junk, sizeof junk), sizeof junk) << c.name;
    EXPECT_EQ(std::vector<uint8_t>(junk, junk + sizeof junk), before) << c.name;
    EXPECT_EQ(ApplyMjpgDamage(c.damage, 1, nullptr, 0), 0u) << c.name;
  }
}

}  // namespace
