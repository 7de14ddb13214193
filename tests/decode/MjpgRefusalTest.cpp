// Frames the decoder must refuse, as USB cameras send them: cut short, with flipped
// bytes, with broken markers, of another size or kind, or no frame at all. Each leaves
// the destination untouched, says why, and prints nothing.
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <random>
#include <string>

#include "GuardedBuffer.h"
#include "MjpgDecoder.h"
#include "MjpgTestFrames.h"
#include "PrintResult.h"
#include "StderrCapture.h"

using mjpgtest::Bytes;
using mjpgtest::EncodeOptions;
using mjpgtest::GuardedBuffer;
using qv::MjpgDecoder;
using qv::MjpgDecodeResult;
using qv::MjpgRefusal;

namespace {

constexpr int kWidth = 64, kHeight = 48;
constexpr size_t kFrameBytes = size_t{kWidth} * kHeight * 3;

Bytes Encoded(const EncodeOptions& options) {
  return mjpgtest::Encode(mjpgtest::PictureRgb(kWidth, kHeight, 9), kWidth, kHeight, options);
}

const Bytes& Plain() {
  static const Bytes frame = Encoded(EncodeOptions{});
  return frame;
}

const Bytes& WithRestarts() {
  static const Bytes frame = [] {
    EncodeOptions options;
    options.restartRows = 1;
    return Encoded(options);
  }();
  return frame;
}

size_t EntropyMiddle(const Bytes& jpeg) {
  const size_t start = mjpgtest::EntropyStart(jpeg);
  return start + (jpeg.size() - start) / 2;
}

// The byte right after a segment's two length bytes.
size_t SegmentBody(const Bytes& jpeg, uint8_t marker) { return mjpgtest::FindSegment(jpeg, marker) + 4; }

struct BadFrame {
  const char* name;
  Bytes (*make)();
  MjpgRefusal refusal;
  bool libjpegDecodesItCleanly;  // refused although libjpeg alone would decode it
};
void PrintTo(const BadFrame& c, std::ostream* out) { *out << c.name; }

const BadFrame kBadFrames[] = {
    {"NoStartMarker",
     [] {
       Bytes b = Plain();
       b[1] = 0x00;
       return b;
     },
     MjpgRefusal::CorruptFrame, false},
    {"NotAJpegAtAll",
     [] {
       Bytes b(700);
       std::mt19937 random(4);
       for (uint8_t& x : b) x = static_cast<uint8_t>(random());
       return b;
     },
     MjpgRefusal::CorruptFrame, false},
    {"EndMarkerInsideThePicture",
     [] {
       Bytes b = Plain();
       const size_t at = EntropyMiddle(b);
       b[at] = 0xFF;
       b[at + 1] = 0xD9;
       return b;
     },
     MjpgRefusal::CorruptFrame, false},
    {"RestartMarkerOutOfOrder",
     [] {
       Bytes b = WithRestarts();
       for (size_t i = mjpgtest::EntropyStart(b); i + 1 < b.size(); ++i) {
         if (b[i] == 0xFF && b[i + 1] == 0xD2) {
           b[i + 1] = 0xD5;
           break;
         }
       }
       return b;
     },
     MjpgRefusal::CorruptFrame, false},
    {"StrayBytesBetweenSegments",
     [] {
       Bytes b = Plain();
       const size_t at = mjpgtest::FindSegment(b, 0xDB);
       b.insert(b.begin() + static_cast<ptrdiff_t>(at), {0x00, 0x17});
       return b;
     },
     MjpgRefusal::CorruptFrame, false},
    {"QuantisationTableNumber5",
     [] {
       Bytes b = Plain();
       b[SegmentBody(b, 0xDB)] = 0x05;
       return b;
     },
     MjpgRefusal::CorruptFrame, false},
    {"HuffmanTableWithTooManyCodes",
     [] {
       Bytes b = Plain();
       b[SegmentBody(b, 0xC4) + 16] = 0xFF;
       return b;
     },
     MjpgRefusal::CorruptFrame, false},
    {"FrameHeaderLengthPastTheEnd",
     [] {
       Bytes b = Plain();
       const size_t sof = mjpgtest::FindSegment(b, 0xC0);
       b[sof + 2] = 0xFF;
       b[sof + 3] = 0xF0;
       return b;
     },
     MjpgRefusal::CorruptFrame, false},
    {"ScanNamesAComponentTheFrameLacks",
     [] {
       Bytes b = Plain();
       b[SegmentBody(b, 0xDA) + 1] = 9;  // the first scan component's identifier
       return b;
     },
     MjpgRefusal::CorruptFrame, false},
    {"LosslessFrame",
     [] {
       Bytes b = Plain();
       b[mjpgtest::FindSegment(b, 0xC0) + 1] = 0xC3;
       return b;
     },
     MjpgRefusal::CorruptFrame, false},
    {"SecondScanAfterThePicture",
     [] {
       Bytes b = Plain();
       const std::vector<mjpgtest::Segment> header = mjpgtest::HeaderSegments(b);
       const mjpgtest::Segment& sos = header.back();
       const Bytes scan(b.begin() + sos.offset, b.begin() + sos.offset + sos.length);
       b.insert(b.end() - 2, scan.begin(), scan.end());  // before the end marker
       return b;
     },
     MjpgRefusal::CorruptFrame, false},
    {"NoQuantisationTables", [] { return mjpgtest::WithoutSegments(Plain(), 0xDB); }, MjpgRefusal::MissingTable, false},
    {"Progressive",
     [] {
       EncodeOptions o;
       o.progressive = true;
       return Encoded(o);
     },
     MjpgRefusal::Unsupported, true},
    {"ArithmeticCoded",
     [] {
       EncodeOptions o;
       o.arithmetic = true;
       return Encoded(o);
     },
     MjpgRefusal::Unsupported, true},
    {"OneScanPerComponent",
     [] {
       EncodeOptions o;
       o.scanPerComponent = true;
       return Encoded(o);
     },
     MjpgRefusal::Unsupported, true},
    {"FourComponentCmyk",
     [] {
       EncodeOptions o;
       o.cmyk = true;
       return Encoded(o);
     },
     MjpgRefusal::Unsupported, false},
};

class RefusedFrame : public ::testing::TestWithParam<BadFrame> {};

TEST_P(RefusedFrame, LeavesTheDestinationUntouchedAndPrintsNothing) {
  const BadFrame& c = GetParam();
  const Bytes frame = c.make();
  EXPECT_EQ(c.libjpegDecodesItCleanly, mjpgtest::DecodeForReference(frame).clean);

  // A fresh decoder, and one that has just decoded a good frame.
  MjpgDecoder fresh, used;
  GuardedBuffer warmUp(kFrameBytes);
  ASSERT_TRUE(used.DecodeToBottomUpBgr(Plain().data(), Plain().size(), kWidth, kHeight, warmUp.Data()).IsDecoded());
  for (MjpgDecoder* decoder : {&fresh, &used}) {
    SCOPED_TRACE(decoder == &fresh ? "fresh decoder" : "used decoder");
    GuardedBuffer destination(kFrameBytes);
    qvtest::StderrCapture stderrText;
    const MjpgDecodeResult result =
        decoder->DecodeToBottomUpBgr(frame.data(), frame.size(), kWidth, kHeight, destination.Data());
    EXPECT_EQ("", stderrText.Stop());
    EXPECT_EQ(MjpgDecodeResult::Refused(c.refusal), result) << qv::Describe(result);
    EXPECT_TRUE(destination.Untouched());
  }
}

INSTANTIATE_TEST_SUITE_P(Frames, RefusedFrame, ::testing::ValuesIn(kBadFrames),
                         [](const ::testing::TestParamInfo<BadFrame>& info) { return std::string(info.param.name); });

// Every cut, from the first byte to the last, with and without restart markers: a frame
// that ends early is refused even when only its end marker is missing.
TEST(TruncatedFrame, EveryCutIsRefusedWithTheDestinationUntouched) {
  MjpgDecoder decoder;
  for (const Bytes* whole : {&Plain(), &WithRestarts()}) {
    GuardedBuffer destination(kFrameBytes);
    qvtest::StderrCapture stderrText;
    size_t notRefused = 0, firstNotRefused = 0;
    for (size_t length = 1; length < whole->size(); ++length) {
      const MjpgDecodeResult result =
          decoder.DecodeToBottomUpBgr(whole->data(), length, kWidth, kHeight, destination.Data());
      if (result != MjpgDecodeResult::Refused(MjpgRefusal::CorruptFrame) && notRefused++ == 0) firstNotRefused = length;
    }
    EXPECT_EQ("", stderrText.Stop());
    EXPECT_EQ(0u, notRefused) << "first at length " << firstNotRefused << " of " << whole->size();
    EXPECT_TRUE(destination.Untouched());
    ASSERT_TRUE(
        decoder.DecodeToBottomUpBgr(whole->data(), whole->size(), kWidth, kHeight, destination.Data()).IsDecoded());
  }
}

// Flipped bits in the entropy-coded data: libjpeg notices some and not others. Whatever
// libjpeg alone makes of the bytes, the decoder must agree: a clean decode gives the
// very same frame, anything else leaves the destination untouched.
TEST(FlippedBytes, DecodedOnlyWhenLibjpegDecodesThemCleanlyAndThenIdentically) {
  const Bytes& good = Plain();
  const size_t start = mjpgtest::EntropyStart(good);
  std::mt19937 random(20240611);
  MjpgDecoder decoder;
  int decoded = 0, refused = 0;
  qvtest::StderrCapture stderrText;
  for (int round = 0; round < 400; ++round) {
    Bytes frame = good;
    const int flips = 1 + round % 3;
    for (int f = 0; f < flips; ++f) {
      const size_t at = start + random() % (frame.size() - 2 - start);
      frame[at] ^= static_cast<uint8_t>(1 + random() % 255);
    }
    const mjpgtest::ReferenceDecode reference = mjpgtest::DecodeForReference(frame);
    GuardedBuffer destination(kFrameBytes);
    const MjpgDecodeResult result =
        decoder.DecodeToBottomUpBgr(frame.data(), frame.size(), kWidth, kHeight, destination.Data());
    ASSERT_EQ(reference.clean, result.IsDecoded()) << "round " << round << ": " << qv::Describe(result);
    if (result.IsDecoded()) {
      ++decoded;
      ASSERT_EQ(reference.bgrBottomUp, destination.Frame()) << "round " << round;
      ASSERT_TRUE(destination.GuardIntact());
    } else {
      ++refused;
      ASSERT_EQ(MjpgDecodeResult::Refused(MjpgRefusal::CorruptFrame), result) << "round " << round;
      ASSERT_TRUE(destination.Untouched()) << "round " << round;
    }
  }
  EXPECT_EQ("", stderrText.Stop());
  // Both ways were taken, or the check above proved less than it says.
  EXPECT_GT(decoded, 0);
  EXPECT_GT(refused, 0);
}

TEST(WrongSize, FrameOfAnotherSizeIsRefused) {
  const struct {
    int width, height;
  } kExpected[] = {{65, 48}, {63, 48}, {64, 49}, {64, 47}, {48, 64}, {32, 24}, {64, -47}};
  MjpgDecoder decoder;
  for (const auto& expected : kExpected) {
    SCOPED_TRACE(std::to_string(expected.width) + "x" + std::to_string(expected.height));
    GuardedBuffer destination(static_cast<size_t>(expected.width) * std::abs(expected.height) * 3);
    EXPECT_EQ(MjpgDecodeResult::Refused(MjpgRefusal::WrongSize),
              decoder.DecodeToBottomUpBgr(Plain().data(), Plain().size(), expected.width, expected.height,
                                          destination.Data()));
    EXPECT_TRUE(destination.Untouched());
  }
}

// Refused from the arguments alone, before a byte of the input is read.
TEST(RefusedArguments, NothingIsReadOrWritten) {
  const uint8_t* data = Plain().data();
  const size_t size = Plain().size();
  const struct {
    const char* name;
    const uint8_t* data;
    size_t length;
    int32_t width, height;
    bool destination;
    MjpgRefusal refusal;
  } kCases[] = {
      {"null data", nullptr, size, kWidth, kHeight, true, MjpgRefusal::NoInput},
      {"zero length", data, 0, kWidth, kHeight, true, MjpgRefusal::NoInput},
      {"null destination", data, size, kWidth, kHeight, false, MjpgRefusal::NoDestination},
      {"width 0", data, size, 0, kHeight, true, MjpgRefusal::SizeOutOfRange},
      {"height 0", data, size, kWidth, 0, true, MjpgRefusal::SizeOutOfRange},
      {"negative width", data, size, -kWidth, kHeight, true, MjpgRefusal::SizeOutOfRange},
      {"width past the side limit", data, size, 16385, 2, true, MjpgRefusal::SizeOutOfRange},
      {"height -16385", data, size, 2, -16385, true, MjpgRefusal::SizeOutOfRange},
      {"height INT32_MIN", data, size, kWidth, INT32_MIN, true, MjpgRefusal::SizeOutOfRange},
      {"height INT32_MAX", data, size, kWidth, INT32_MAX, true, MjpgRefusal::SizeOutOfRange},
      {"16384 x 16384 is past the byte limit", data, size, 16384, 16384, true, MjpgRefusal::SizeOutOfRange},
      {"input past the length limit", data, static_cast<size_t>(qv::kMaxMjpgInputBytes + 1), kWidth, kHeight, true,
       MjpgRefusal::InputTooLong},
  };
  MjpgDecoder decoder;
  qvtest::StderrCapture stderrText;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    GuardedBuffer destination(kFrameBytes);
    EXPECT_EQ(
        MjpgDecodeResult::Refused(c.refusal),
        decoder.DecodeToBottomUpBgr(c.data, c.length, c.width, c.height, c.destination ? destination.Data() : nullptr));
    EXPECT_TRUE(destination.Untouched());
  }
  EXPECT_EQ("", stderrText.Stop());
}

}  // namespace
