// The formats the grab converts or decodes, through the callback as the platform and
// the host use it: RecordFormat, then BufferCB on the streaming side, then GrabFrame.
// NV12, I420/IYUV, YV12 and RGB32 frames come out as the reference conversion of the
// delivered bytes; MJPG frames as libjpeg-turbo's own decode of them. Bad MJPG frames,
// and samples longer than the slots, leave the host's buffer untouched.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "DSGrabberCB.h"
#include "FourccSubtype.h"
#include "FramePattern.h"
#include "MessageBoxWatcher.h"
#include "MjpgSampleCapacity.h"
#include "MjpgTestFrames.h"
#include "ReferencePlanarConversion.h"
#include "StderrCapture.h"

namespace {

using mjpgtest::Bytes;
using mjpgtest::EncodeOptions;
using mjpgtest::Sampling;
using qv::conversion::FrameFormat;
using qvtest::GuardedBuffer;

class GrabberFormats : public testing::Test {
 protected:
  void SetUp() override { g_nGrabFlag = 1; }
  void TearDown() override { g_nGrabFlag = 1; }

  // Through the interface pointer, as the sample grabber calls it.
  static HRESULT Deliver(CDSGrabberCB& cb, const Bytes& sample, size_t length) {
    ISampleGrabberCB* sink = &cb;
    return sink->BufferCB(0.0, const_cast<BYTE*>(sample.data()), static_cast<long>(length));
  }
  static HRESULT Deliver(CDSGrabberCB& cb, const Bytes& sample) { return Deliver(cb, sample, sample.size()); }

  static GuardedBuffer Grab(CDSGrabberCB& cb, int width, int height) {
    GuardedBuffer out(static_cast<size_t>(width) * height * 3);
    cb.GrabFrame(out.data());
    EXPECT_TRUE(out.GuardsIntact()) << "the grab wrote outside width x height x 3 bytes";
    return out;
  }
};

Bytes Noise(size_t bytes, uint32_t seed) {
  Bytes b(bytes);
  std::mt19937 random(seed);
  for (uint8_t& x : b) x = static_cast<uint8_t>(random());
  return b;
}

// ---------------------------------------------------------------------------------
// Subtype identifiers.

TEST(FourccSubtype, GivesThePlatformsIdentifiersForItsCodes) {
  EXPECT_TRUE(IsEqualGUID(MEDIASUBTYPE_YV12, qv::FourccSubtype('Y', 'V', '1', '2')));
  EXPECT_TRUE(IsEqualGUID(MEDIASUBTYPE_NV12, qv::FourccSubtype('N', 'V', '1', '2')));
  EXPECT_TRUE(IsEqualGUID(MEDIASUBTYPE_IYUV, qv::FourccSubtype('I', 'Y', 'U', 'V')));
  EXPECT_TRUE(IsEqualGUID(MEDIASUBTYPE_MJPG, qv::FourccSubtype('M', 'J', 'P', 'G')));
  EXPECT_TRUE(IsEqualGUID(MEDIASUBTYPE_YUY2, qv::FourccSubtype('Y', 'U', 'Y', '2')));
  // The documented value: 30323449-0000-0010-8000-00AA00389B71.
  EXPECT_EQ(0x30323449ul, qv::kMediaSubtypeI420.Data1);
  EXPECT_FALSE(IsEqualGUID(MEDIASUBTYPE_IYUV, qv::kMediaSubtypeI420));
}

// ---------------------------------------------------------------------------------
// NV12, I420 (both codes), YV12 and RGB32.

struct PlanarCase {
  const char* name;
  GUID subtype;
  FrameFormat format;
  int width, height;
};

// The bytes of the frame itself: tight planes, chroma rounded up for odd sizes.
size_t PlaneBytes(FrameFormat format, int width, int height) {
  const size_t w = static_cast<size_t>(width), h = static_cast<size_t>(height);
  if (format == FrameFormat::Rgb32) return w * h * 4;
  return w * h + 2 * ((w + 1) / 2) * ((h + 1) / 2);
}

Bytes ReferenceRgb24(FrameFormat format, const Bytes& frame, int width, int height) {
  Bytes out(static_cast<size_t>(width) * height * 3, 0);
  qv::conversion::ReferenceToRgb24(format, frame.data(), out.data(), width, height);
  return out;
}

const PlanarCase kPlanarCases[] = {
    {"NV12 8x4", MEDIASUBTYPE_NV12, FrameFormat::Nv12, 8, 4},
    {"NV12 7x5", MEDIASUBTYPE_NV12, FrameFormat::Nv12, 7, 5},
    {"NV12 64x48", MEDIASUBTYPE_NV12, FrameFormat::Nv12, 64, 48},
    {"I420 64x48", qv::kMediaSubtypeI420, FrameFormat::I420, 64, 48},
    {"I420 1x1", qv::kMediaSubtypeI420, FrameFormat::I420, 1, 1},
    {"IYUV 33x17", MEDIASUBTYPE_IYUV, FrameFormat::I420, 33, 17},
    {"YV12 62x3", MEDIASUBTYPE_YV12, FrameFormat::Yv12, 62, 3},
    {"YV12 16x16", MEDIASUBTYPE_YV12, FrameFormat::Yv12, 16, 16},
    {"RGB32 8x4", MEDIASUBTYPE_RGB32, FrameFormat::Rgb32, 8, 4},
    {"RGB32 5x3", MEDIASUBTYPE_RGB32, FrameFormat::Rgb32, 5, 3},
};

TEST_F(GrabberFormats, PlanarAndRgb32GrabIsTheConversionOfTheDeliveredFrame) {
  for (const PlanarCase& c : kPlanarCases) {
    SCOPED_TRACE(c.name);
    CDSGrabberCB cb;
    cb.RecordFormat(c.subtype, c.width, c.height);
    const size_t bytes = PlaneBytes(c.format, c.width, c.height);

    Bytes sample = Noise(bytes, 1);
    const Bytes delivered = sample;
    ASSERT_EQ(S_FALSE, Deliver(cb, sample));
    EXPECT_NE(sample.data(), cb.m_pBuffer.load()) << "the platform's memory must not be kept";
    std::fill(sample.begin(), sample.end(), 0);  // the platform reuses its memory
    const Bytes expected = ReferenceRgb24(c.format, delivered, c.width, c.height);
    EXPECT_EQ(expected, Grab(cb, c.width, c.height).Contents());
    EXPECT_EQ(expected, Grab(cb, c.width, c.height).Contents()) << "grabbed again, the same frame";
  }
}

// Samples longer than the planes carry the frame in their first bytes; shorter ones
// are not recorded and the frame before stays.
TEST_F(GrabberFormats, PlanarSamplesOfOtherLengths) {
  for (const PlanarCase& c : kPlanarCases) {
    SCOPED_TRACE(c.name);
    CDSGrabberCB cb;
    cb.RecordFormat(c.subtype, c.width, c.height);
    const size_t bytes = PlaneBytes(c.format, c.width, c.height);

    const Bytes longer = Noise(bytes + 4096, 2);
    ASSERT_EQ(S_FALSE, Deliver(cb, longer, bytes + 37));
    const Bytes expected = ReferenceRgb24(c.format, longer, c.width, c.height);
    ASSERT_EQ(expected, Grab(cb, c.width, c.height).Contents());
    unsigned char* recorded = cb.m_pBuffer.load();

    const Bytes other = Noise(bytes, 3);
    for (size_t shortBy : {size_t{1}, bytes / 2, bytes}) {
      EXPECT_EQ(S_OK, Deliver(cb, other, bytes - shortBy)) << shortBy << " bytes short";
    }
    EXPECT_EQ(1, g_nGrabFlag.load());
    EXPECT_EQ(recorded, cb.m_pBuffer.load());
    EXPECT_EQ(expected, Grab(cb, c.width, c.height).Contents());
  }
}

// ---------------------------------------------------------------------------------
// MJPG.

struct MjpgCase {
  const char* name;
  Sampling sampling;
  bool withoutHuffmanTables;  // as Motion-JPEG cameras send them
  int width, height;
};

Bytes EncodeFrame(const MjpgCase& c, uint32_t seed, int quality = 90) {
  EncodeOptions options;
  options.sampling = c.sampling;
  options.quality = quality;
  Bytes jpeg = mjpgtest::Encode(mjpgtest::PictureRgb(c.width, c.height, seed), c.width, c.height, options);
  return c.withoutHuffmanTables ? mjpgtest::WithoutSegments(jpeg, 0xC4) : jpeg;
}

Bytes LibjpegDecode(const Bytes& jpeg) {
  mjpgtest::ReferenceDecode decoded = mjpgtest::DecodeForReference(jpeg);
  EXPECT_TRUE(decoded.clean) << "libjpeg itself does not decode the test frame";
  return decoded.bgrBottomUp;
}

const MjpgCase kMjpgCases[] = {
    {"4:2:2 64x48", Sampling::k422, false, 64, 48},
    {"4:2:0 64x48", Sampling::k420, false, 64, 48},
    {"4:2:2 without Huffman tables", Sampling::k422, true, 64, 48},
    {"4:2:0 without Huffman tables, odd size", Sampling::k420, true, 37, 23},
    {"4:4:4 16x8", Sampling::k444, false, 16, 8},
};

TEST_F(GrabberFormats, MjpgGrabIsLibjpegsOwnDecodeOfTheDeliveredFrame) {
  for (const MjpgCase& c : kMjpgCases) {
    SCOPED_TRACE(c.name);
    CDSGrabberCB cb;
    cb.RecordFormat(MEDIASUBTYPE_MJPG, c.width, c.height);
    Bytes sample = EncodeFrame(c, 11);
    const Bytes expected = LibjpegDecode(sample);
    ASSERT_EQ(S_FALSE, Deliver(cb, sample));
    std::fill(sample.begin(), sample.end(), 0);
    EXPECT_EQ(expected, Grab(cb, c.width, c.height).Contents());

    // A second, different frame replaces it.
    const Bytes next = EncodeFrame(c, 12, 75);
    ASSERT_EQ(S_FALSE, Deliver(cb, next));
    EXPECT_EQ(LibjpegDecode(next), Grab(cb, c.width, c.height).Contents());
  }
}

constexpr int kW = 64, kH = 48;
const MjpgCase kPlain = {"plain", Sampling::k422, true, kW, kH};

struct BadMjpg {
  const char* name;
  Bytes (*make)();
};

const BadMjpg kBadMjpg[] = {
    {"cut in half",
     [] {
       Bytes b = EncodeFrame(kPlain, 5);
       b.resize(b.size() / 2);
       return b;
     }},
    {"end marker missing",
     [] {
       Bytes b = EncodeFrame(kPlain, 5);
       b.resize(b.size() - 2);
       return b;
     }},
    {"header only",
     [] {
       Bytes b = EncodeFrame(kPlain, 5);
       b.resize(mjpgtest::EntropyStart(b));
       return b;
     }},
    {"bytes flipped in the picture",
     [] {
       // Flipped bytes often still decode; the first run of flips libjpeg finds corrupt.
       const Bytes good = EncodeFrame(kPlain, 5);
       const size_t start = mjpgtest::EntropyStart(good);
       for (size_t at = start + (good.size() - start) / 3; at + 8 < good.size(); at += 5) {
         Bytes b = good;
         for (size_t i = at; i < at + 8; ++i) b[i] ^= 0x5A;
         if (!mjpgtest::DecodeForReference(b).clean) return b;
       }
       return Bytes{};
     }},
    {"end marker in the middle",
     [] {
       Bytes b = EncodeFrame(kPlain, 5);
       const size_t at = mjpgtest::EntropyStart(b) + 40;
       b[at] = 0xFF;
       b[at + 1] = 0xD9;
       return b;
     }},
    {"narrower frame",
     [] {
       return EncodeFrame(MjpgCase{"", Sampling::k422, true, kW - 16, kH}, 5);
     }},
    {"taller frame",
     [] {
       return EncodeFrame(MjpgCase{"", Sampling::k422, true, kW, kH + 8}, 5);
     }},
    {"one byte", [] { return Bytes{0xFF}; }},
    {"noise", [] { return Noise(3000, 8); }},
    {"noise after a start marker",
     [] {
       Bytes b = Noise(3000, 9);
       b[0] = 0xFF;
       b[1] = 0xD8;
       return b;
     }},
};

// Bad frames are recorded as they come (the streaming thread never decodes), and the
// grab of one leaves the host's buffer untouched, shows no message and prints nothing;
// the good frame after it is handed over as usual.
TEST_F(GrabberFormats, BadMjpgLeavesTheBufferUntouchedAndTheNextGoodFrameComesThrough) {
  qvtest::MessageBoxWatcher boxes;
  qvtest::StderrCapture stderrText;
  const Bytes good = EncodeFrame(kPlain, 21);
  const Bytes expected = LibjpegDecode(good);
  for (const BadMjpg& bad : kBadMjpg) {
    SCOPED_TRACE(bad.name);
    const Bytes frame = bad.make();
    const mjpgtest::ReferenceDecode byLibjpeg = mjpgtest::DecodeForReference(frame);
    ASSERT_FALSE(byLibjpeg.clean && byLibjpeg.width == kW && byLibjpeg.height == kH) << "the bad frame is a good one";

    CDSGrabberCB cb;
    cb.RecordFormat(MEDIASUBTYPE_MJPG, kW, kH);
    ASSERT_EQ(S_FALSE, Deliver(cb, frame));
    EXPECT_TRUE(Grab(cb, kW, kH).Untouched()) << "a bad frame as the first";

    ASSERT_EQ(S_FALSE, Deliver(cb, good));
    EXPECT_EQ(expected, Grab(cb, kW, kH).Contents());

    // The newest frame is the bad one: the older good frame is not handed out instead.
    ASSERT_EQ(S_FALSE, Deliver(cb, frame));
    EXPECT_TRUE(Grab(cb, kW, kH).Untouched()) << "a bad frame after a good one";
    ASSERT_EQ(S_FALSE, Deliver(cb, good));
    EXPECT_EQ(expected, Grab(cb, kW, kH).Contents());
  }
  EXPECT_EQ("", stderrText.Stop());
  const std::vector<qvtest::SeenBox> seen = boxes.Take();
  EXPECT_TRUE(seen.empty()) << qvtest::Describe(seen);
}

// Samples up to the slot are taken, with whatever a camera pads its frames with;
// longer ones are dropped, counted, and leave the recorded frame as it was.
TEST_F(GrabberFormats, MjpgLongerThanItsSlotIsDroppedAndCounted) {
  for (const MjpgCase& c : {kPlain, MjpgCase{"1280x720", Sampling::k420, true, 1280, 720}}) {
    SCOPED_TRACE(c.name);
    CDSGrabberCB cb;
    cb.RecordFormat(MEDIASUBTYPE_MJPG, c.width, c.height);
    const size_t capacity = qv::MjpgSampleCapacity(c.width, c.height);
    ASSERT_GE(capacity, static_cast<size_t>(c.width) * c.height * 3) << "the slot holds at least the RGB24 bytes";
    EXPECT_EQ(0u, cb.DroppedOversizeFrames());

    Bytes padded = EncodeFrame(c, 31);
    const Bytes expected = LibjpegDecode(padded);
    padded.resize(capacity, 0);
    ASSERT_EQ(S_FALSE, Deliver(cb, padded)) << "a sample of exactly the slot's size";
    ASSERT_EQ(expected, Grab(cb, c.width, c.height).Contents());
    unsigned char* recorded = cb.m_pBuffer.load();

    Bytes tooLong = EncodeFrame(c, 32);
    tooLong.resize(capacity + 1, 0);
    EXPECT_EQ(S_OK, Deliver(cb, tooLong));
    tooLong.resize(capacity * 2, 0);
    EXPECT_EQ(S_OK, Deliver(cb, tooLong));
    EXPECT_EQ(2u, cb.DroppedOversizeFrames());
    EXPECT_EQ(1, g_nGrabFlag.load()) << "a dropped frame leaves the flag";
    EXPECT_EQ(recorded, cb.m_pBuffer.load());
    EXPECT_EQ(expected, Grab(cb, c.width, c.height).Contents());

    cb.RecordFormat(MEDIASUBTYPE_MJPG, c.width, c.height);
    EXPECT_EQ(0u, cb.DroppedOversizeFrames()) << "counted per recorded format";
  }
}

// Changing formats on one callback object: each format's frames come out as that
// format's result, and a frame of the format before is never decoded or converted as
// the new one.
TEST_F(GrabberFormats, FormatChangesBetweenDecodedConvertedAndCopiedFrames) {
  CDSGrabberCB cb;
  const Bytes jpeg = EncodeFrame(kPlain, 41);
  cb.RecordFormat(MEDIASUBTYPE_MJPG, kW, kH);
  ASSERT_EQ(S_FALSE, Deliver(cb, jpeg));
  ASSERT_EQ(LibjpegDecode(jpeg), Grab(cb, kW, kH).Contents());

  cb.RecordFormat(MEDIASUBTYPE_NV12, kW, kH);
  EXPECT_TRUE(Grab(cb, kW, kH).Untouched()) << "the MJPG frame is gone";
  const Bytes nv12 = Noise(PlaneBytes(FrameFormat::Nv12, kW, kH), 42);
  ASSERT_EQ(S_FALSE, Deliver(cb, nv12));
  ASSERT_EQ(ReferenceRgb24(FrameFormat::Nv12, nv12, kW, kH), Grab(cb, kW, kH).Contents());

  cb.RecordFormat(MEDIASUBTYPE_RGB24, kW, kH);
  const Bytes rgb = Noise(size_t{kW} * kH * 3, 43);
  ASSERT_EQ(S_FALSE, Deliver(cb, rgb));
  EXPECT_EQ(rgb, Grab(cb, kW, kH).Contents());

  // The fields written behind RecordFormat's back stop the grab, as for RGB24.
  cb.RecordFormat(MEDIASUBTYPE_MJPG, kW, kH);
  ASSERT_EQ(S_FALSE, Deliver(cb, jpeg));
  cb.m_subtype = MEDIASUBTYPE_YV12;
  EXPECT_TRUE(Grab(cb, kW, kH).Untouched());
  cb.m_subtype = MEDIASUBTYPE_MJPG;
  cb.m_nHeight = kH / 2;
  EXPECT_TRUE(Grab(cb, kW, kH).Untouched());
  cb.m_nHeight = kH;
  EXPECT_EQ(LibjpegDecode(jpeg), Grab(cb, kW, kH).Contents());
}

// ---------------------------------------------------------------------------------
// The streaming thread delivering MJPG frames of changing lengths (different pictures
// and qualities, some padded) while the host grabs: every grab is untouched or exactly
// the decode of one delivered frame, never a mixture.

TEST_F(GrabberFormats, MjpgGrabsWhileFramesStreamAreWholeDecodes) {
  constexpr int kKinds = 4;
  const MjpgCase c = {"", Sampling::k420, true, 48, 32};
  Bytes frames[kKinds];
  Bytes decodes[kKinds];
  size_t longest = 0;
  for (int k = 0; k < kKinds; ++k) {
    frames[k] = EncodeFrame(c, 50 + k, 60 + 10 * k);
    decodes[k] = LibjpegDecode(frames[k]);
    longest = std::max(longest, frames[k].size());
  }
  CDSGrabberCB cb;
  cb.RecordFormat(MEDIASUBTYPE_MJPG, c.width, c.height);

  // The stream runs until the host has grabbed enough to have met it many times.
  std::atomic<bool> stop{false}, grabbing{false};
  std::atomic<uint32_t> delivered{0};
  std::thread streaming([&] {
    while (!grabbing.load()) std::this_thread::yield();
    ISampleGrabberCB* sink = &cb;
    Bytes sample(longest + 64);
    for (uint32_t seq = 0; !stop.load(); ++seq) {
      const Bytes& frame = frames[seq % kKinds];
      const size_t padding = (seq * 7) % 64;
      std::memcpy(sample.data(), frame.data(), frame.size());
      std::memset(sample.data() + frame.size(), 0, padding);
      if (sink->BufferCB(0.0, sample.data(), static_cast<long>(frame.size() + padding)) != S_FALSE) {
        ADD_FAILURE() << "frame " << seq << " not recorded";
        break;
      }
      delivered.store(seq + 1);
      if (seq % 64 == 0) std::this_thread::yield();
    }
  });

  uint32_t grabs = 0, mismatched = 0, changes = 0;
  int previous = -1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  grabbing.store(true);
  while ((grabs < 2000 || changes < 20) && std::chrono::steady_clock::now() < deadline) {
    GuardedBuffer out(static_cast<size_t>(c.width) * c.height * 3);
    cb.GrabFrame(out.data());
    if (out.Untouched()) continue;
    ++grabs;
    int kind = -1;
    for (int k = 0; k < kKinds; ++k) {
      if (out.Contents() == decodes[k]) kind = k;
    }
    if (kind < 0) {
      ++mismatched;
      continue;
    }
    if (kind != previous) ++changes;
    previous = kind;
  }
  stop.store(true);
  streaming.join();
  EXPECT_EQ(0u, mismatched) << "of " << grabs << " grabs";
  EXPECT_GE(changes, 20u) << "the race was not run";
  ASSERT_GT(delivered.load(), 0u);
  EXPECT_EQ(decodes[(delivered.load() - 1) % kKinds], Grab(cb, c.width, c.height).Contents());
  EXPECT_EQ(0u, cb.DroppedOversizeFrames());
}

}  // namespace
