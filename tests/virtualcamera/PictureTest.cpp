// The test picture: every frame checks as whole, any damage or tearing is caught, and the
// YUV stamp survives the exact BT.601 conversion.
#include <gtest/gtest.h>

#include <cstring>

#include "TestPicture.h"

using namespace qvvcam;

namespace {

const FrameFormat kFormats[] = {
    {PixelFormat::Rgb24, 320, 240},   {PixelFormat::Rgb24, 1920, 1080}, {PixelFormat::Yuy2, 320, 240},
    {PixelFormat::Yuy2, 1280, 720},   {PixelFormat::Uyvy, 640, 480},    {PixelFormat::Uyvy, 1920, 1080},
    {PixelFormat::Mjpg, 320, 240},    {PixelFormat::Mjpg, 1920, 1080},  {PixelFormat::Rgb32, 640, 480},
    {PixelFormat::Rgb32, 1920, 1080}, {PixelFormat::Nv12, 320, 240},    {PixelFormat::Nv12, 1920, 1080},
    {PixelFormat::I420, 1280, 720},   {PixelFormat::Yv12, 640, 480},    {PixelFormat::Yv12, 1920, 1080},
};

std::string Name(const FrameFormat& f) {
  return std::string(PixelFormatName(f.pixel)) + " " + std::to_string(f.width) + "x" + std::to_string(f.height);
}

std::vector<uint8_t> Frame(const FrameFormat& f, uint32_t sequence, bool still = false) {
  std::vector<uint8_t> frame(FrameCapacity(f));
  const size_t length = TestPicture(f).Generate(sequence, frame.data(), frame.size(), still);
  frame.resize(length);
  return frame;
}

TEST(VcamPicture, EveryFormatChecksWholeWithItsSequence) {
  for (const FrameFormat& f : kFormats) {
    const TestPicture picture(f);
    ASSERT_TRUE(picture.Valid()) << Name(f);
    std::vector<uint8_t> frame(FrameCapacity(f));
    for (uint32_t sequence : {0u, 1u, 299u, 0xFFFFFFFFu}) {
      const size_t length = picture.Generate(sequence, frame.data(), frame.size());
      if (f.pixel == PixelFormat::Mjpg) {
        EXPECT_GT(length, 0u);
        EXPECT_LT(length, frame.size());
      } else {
        EXPECT_EQ(length, frame.size()) << Name(f);
      }
      const FrameCheck check = CheckFrame(f, frame.data(), length);
      EXPECT_EQ(check.status, FrameStatus::Ok)
          << Name(f) << " seq " << sequence << ": " << FrameStatusName(check.status);
      EXPECT_EQ(check.sequence, sequence) << Name(f);
      EXPECT_EQ(check.checksum, picture.Checksum(sequence)) << Name(f);
    }
    const size_t needed = picture.Generate(0, frame.data(), frame.size());
    EXPECT_EQ(picture.Generate(0, frame.data(), needed - 1), 0u) << Name(f) << ": short buffer";
  }
}

TEST(VcamPicture, FramesAreDeterministicAndMove) {
  for (const FrameFormat& f : kFormats) {
    EXPECT_EQ(Frame(f, 7), Frame(f, 7)) << Name(f);
    EXPECT_NE(Frame(f, 7), Frame(f, 8)) << Name(f);
  }
  const FrameFormat f{PixelFormat::Rgb24, 640, 480};
  EXPECT_NE(BoxPlacement(f, 0).x, BoxPlacement(f, 1).x);
  // A still picture differs between frames only in its stamp band.
  const std::vector<uint8_t> a = Frame(f, 3, true), b = Frame(f, 40, true);
  const size_t band = static_cast<size_t>(kStampRows) * f.width * 3;
  EXPECT_TRUE(std::equal(a.begin(), a.end() - band, b.begin()));
  EXPECT_EQ(CheckFrame(f, b.data(), b.size()).status, FrameStatus::Ok);
}

// A byte of one pixel, by its place in the picture (visual rows, top first). For 4:2:0,
// byte 0 is its Y sample and the others are chroma samples of its 2x2 block.
size_t ByteAt(const FrameFormat& f, int x, int y, int k) {
  if (f.pixel == PixelFormat::Rgb24) return static_cast<size_t>(f.height - 1 - y) * f.width * 3 + 3 * x + k;
  if (f.pixel == PixelFormat::Rgb32) return static_cast<size_t>(f.height - 1 - y) * f.width * 4 + 4 * x + k;
  if (IsPlanar(f.pixel)) {
    const size_t luma = static_cast<size_t>(f.width) * f.height;
    if (k == 0) return static_cast<size_t>(y) * f.width + x;
    if (f.pixel == PixelFormat::Nv12) return luma + static_cast<size_t>(y / 2) * f.width + (x / 2) * 2 + (k - 1);
    return luma + (k - 1) * luma / 4 + static_cast<size_t>(y / 2) * (f.width / 2) + x / 2;
  }
  return static_cast<size_t>(y) * f.width * 2 + 2 * x + k;
}

struct Damage {
  const char* where;
  int x, y;  // as fractions of 1/16 of width and height
  int byte;
};
const Damage kDamages[] = {{"white bar", 1, 4, 0}, {"blue bar", 13, 6, 1}, {"ramp", 8, 14, 1}, {"ramp", 3, 15, 0}};

TEST(VcamPicture, DamageAnywhereIsCaught) {
  const uint32_t sequence = 12;
  for (const FrameFormat& f : kFormats) {
    const std::vector<uint8_t> good = Frame(f, sequence);
    std::vector<size_t> places;
    if (f.pixel == PixelFormat::Mjpg) {
      places = {14, 18, 22, good.size() / 2, good.size() - 3};  // sequence, checksums, scan data
    } else {
      for (const Damage& d : kDamages) places.push_back(ByteAt(f, d.x * f.width / 16, d.y * f.height / 16, d.byte));
      const BoxPlace box = BoxPlacement(f, sequence);
      places.push_back(ByteAt(f, box.x + 2, (box.top + box.bottom) / 2, 0));  // the moving box
      places.push_back(ByteAt(f, 1, 2, 0));                                   // stamp band
      places.push_back(ByteAt(f, kStampBits * kStampCellWidth + 1, 5, 0));    // stamp band, past the cells
    }
    for (size_t at : places) {
      std::vector<uint8_t> frame = good;
      frame[at] ^= 0x01;
      EXPECT_NE(CheckFrame(f, frame.data(), frame.size()).status, FrameStatus::Ok) << Name(f) << ", byte " << at;
    }
    // A short MJPG frame is a truncated one; the others have one size only.
    EXPECT_EQ(CheckFrame(f, good.data(), good.size() - 1).status,
              f.pixel == PixelFormat::Mjpg ? FrameStatus::BadChecksum : FrameStatus::WrongSize)
        << Name(f);
  }
}

TEST(VcamPicture, TornFrameIsCaught) {
  for (const FrameFormat& f : kFormats) {
    if (f.pixel == PixelFormat::Mjpg) continue;
    // The first half of memory from one frame, the rest from the next.
    std::vector<uint8_t> torn = Frame(f, 20);
    const std::vector<uint8_t> next = Frame(f, 21);
    std::copy(next.begin() + next.size() / 2, next.end(), torn.begin() + torn.size() / 2);
    EXPECT_NE(CheckFrame(f, torn.data(), torn.size()).status, FrameStatus::Ok) << Name(f);
  }
}

struct Conversion {
  uint8_t y, u, v;
  uint8_t b, g, r;  // worked out by hand from the formula
};
const Conversion kConversions[] = {
    {235, 128, 128, 255, 255, 255}, {16, 128, 128, 0, 0, 0},     {255, 255, 255, 255, 125, 255},
    {0, 0, 0, 0, 135, 0},           {128, 64, 192, 1, 103, 233},
};

TEST(VcamPicture, ReferenceConversionFollowsTheFormula) {
  for (const Conversion& c : kConversions) {
    // Two rows of one pixel pair: row 0 the case, row 1 black; output is bottom-up.
    const uint8_t yuy2[8] = {c.y, c.u, c.y, c.v, 16, 128, 16, 128};
    const uint8_t uyvy[8] = {c.u, c.y, c.v, c.y, 128, 16, 128, 16};
    for (PixelFormat p : {PixelFormat::Yuy2, PixelFormat::Uyvy}) {
      uint8_t rgb[12];
      ASSERT_TRUE(Yuv422ToRgb24Reference(p, p == PixelFormat::Yuy2 ? yuy2 : uyvy, 2, 2, rgb));
      const uint8_t want[12] = {0, 0, 0, 0, 0, 0, c.b, c.g, c.r, c.b, c.g, c.r};
      EXPECT_EQ(0, std::memcmp(rgb, want, 12))
          << PixelFormatName(p) << " Y=" << int(c.y) << " U=" << int(c.u) << " V=" << int(c.v)
          << " gives B=" << int(rgb[6]) << " G=" << int(rgb[7]) << " R=" << int(rgb[8]);
    }
  }
  for (const Conversion& c : kConversions) {
    // One 2x2 block: four Y samples and one U, V pair, in each 4:2:0 layout.
    const uint8_t nv12[6] = {c.y, c.y, c.y, c.y, c.u, c.v};
    const uint8_t i420[6] = {c.y, c.y, c.y, c.y, c.u, c.v};
    const uint8_t yv12[6] = {c.y, c.y, c.y, c.y, c.v, c.u};
    for (PixelFormat p : {PixelFormat::Nv12, PixelFormat::I420, PixelFormat::Yv12}) {
      uint8_t rgb[12];
      ASSERT_TRUE(
          Yuv420ToRgb24Reference(p, p == PixelFormat::Nv12 ? nv12 : (p == PixelFormat::I420 ? i420 : yv12), 2, 2, rgb));
      for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(rgb[3 * i] == c.b && rgb[3 * i + 1] == c.g && rgb[3 * i + 2] == c.r)
            << PixelFormatName(p) << " Y=" << int(c.y) << " U=" << int(c.u) << " V=" << int(c.v) << " pixel " << i;
    }
  }
  uint8_t out[12];
  EXPECT_FALSE(Yuv420ToRgb24Reference(PixelFormat::Yuy2, out, 2, 2, out));
  EXPECT_FALSE(Yuv422ToRgb24Reference(PixelFormat::Rgb24, out, 2, 2, out));
  EXPECT_FALSE(Yuv422ToRgb24Reference(PixelFormat::Yuy2, nullptr, 2, 2, out));
  EXPECT_FALSE(Yuv422ToRgb24Reference(PixelFormat::Yuy2, out, 3, 2, out));
}

TEST(VcamPicture, YuvStampSurvivesConversion) {
  for (const FrameFormat& f : kFormats) {
    if (f.pixel == PixelFormat::Rgb24 || f.pixel == PixelFormat::Mjpg) continue;
    const std::vector<uint8_t> rgb = ExpectedRgb24(f, 4242);
    ASSERT_EQ(rgb.size(), static_cast<size_t>(f.width) * f.height * 3) << Name(f);
    const FrameCheck check = CheckRgb24Frame(rgb.data(), rgb.size(), f.width, f.height);
    EXPECT_EQ(check.status, FrameStatus::Ok) << Name(f);
    EXPECT_EQ(check.sequence, 4242u) << Name(f);
  }
  EXPECT_TRUE(ExpectedRgb24({PixelFormat::Mjpg, 320, 240}, 1).empty());
}

TEST(VcamPicture, BadInputIsRefused) {
  const FrameFormat bad[] = {{PixelFormat::Rgb24, 0, 240},    {PixelFormat::Rgb24, -320, 240},
                             {PixelFormat::Yuy2, 320, -8},    {PixelFormat::Rgb24, 100, 100},
                             {PixelFormat::Uyvy, 1 << 30, 8}, {static_cast<PixelFormat>(9), 320, 240}};
  uint8_t buffer[64] = {};
  for (const FrameFormat& f : bad) {
    EXPECT_FALSE(IsSupported(f));
    EXPECT_EQ(FrameCapacity(f), 0u);
    EXPECT_FALSE(TestPicture(f).Valid());
    EXPECT_EQ(TestPicture(f).Generate(0, buffer, sizeof buffer), 0u);
    EXPECT_EQ(CheckFrame(f, buffer, sizeof buffer).status, FrameStatus::WrongSize);
  }
  EXPECT_EQ(CheckRgb24Frame(nullptr, 320 * 240 * 3, 320, 240).status, FrameStatus::WrongSize);
  EXPECT_EQ(TestPicture({PixelFormat::Rgb24, 320, 240}).Generate(0, nullptr, 1 << 20), 0u);
  // A frame of the right size that holds no stamp at all.
  std::vector<uint8_t> blank(320 * 240 * 3, 0);
  EXPECT_EQ(CheckRgb24Frame(blank.data(), blank.size(), 320, 240).status, FrameStatus::NoStamp);
}

}  // namespace
