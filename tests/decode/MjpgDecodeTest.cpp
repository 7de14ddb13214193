// Frames the decoder must decode: byte for byte what a plain libjpeg-turbo decode of the
// same bytes gives once its rows are reversed and red and blue exchanged, for every
// sampling cameras use, for Motion-JPEG frames without Huffman tables, and for a
// decoder reused across frames of other kinds and sizes.
#include <gtest/gtest.h>

#include <cstdlib>

#include "GuardedBuffer.h"
#include "MjpgDecoder.h"
#include "MjpgTestFrames.h"
#include "PrintResult.h"

using mjpgtest::Bytes;
using mjpgtest::EncodeOptions;
using mjpgtest::GuardedBuffer;
using mjpgtest::Sampling;
using qv::MjpgDecoder;
using qv::MjpgDecodeResult;
using qv::MjpgRefusal;

namespace {

size_t FrameBytes(int width, int height) { return static_cast<size_t>(width) * height * 3; }

// The frame's DHT segments, one after another.
Bytes HuffmanSegments(const Bytes& jpeg) {
  Bytes tables;
  for (const mjpgtest::Segment& s : mjpgtest::HeaderSegments(jpeg)) {
    if (s.marker == 0xC4) tables.insert(tables.end(), jpeg.begin() + s.offset, jpeg.begin() + s.offset + s.length);
  }
  return tables;
}

Bytes EncodedPicture(int width, int height, const EncodeOptions& options, uint32_t seed = 1) {
  return mjpgtest::Encode(mjpgtest::PictureRgb(width, height, seed), width, height, options);
}

// Mean difference per channel between a bottom-up BGR frame and the top-down RGB
// picture it was encoded from: small when upright with the colours in place.
double MeanError(const Bytes& bgrBottomUp, const Bytes& rgbTopDown, int width, int height, int channel) {
  double total = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint8_t* got = &bgrBottomUp[(static_cast<size_t>(height - 1 - y) * width + x) * 3];
      const uint8_t* want = &rgbTopDown[(static_cast<size_t>(y) * width + x) * 3];
      total += std::abs(int(got[2 - channel]) - int(want[channel]));
    }
  }
  return total / (static_cast<double>(width) * height);
}

struct ExactCase {
  Sampling sampling;
  int width, height;
  int restartRows;
  bool optimizedTables;
};
void PrintTo(const ExactCase& c, std::ostream* out) {
  *out << mjpgtest::SamplingName(c.sampling) << " " << c.width << "x" << c.height;
}

std::string CaseName(const ::testing::TestParamInfo<ExactCase>& info) {
  const ExactCase& c = info.param;
  std::string name =
      std::string(mjpgtest::SamplingName(c.sampling)) + "_" + std::to_string(c.width) + "x" + std::to_string(c.height);
  if (c.restartRows) name += "_restarts";
  if (c.optimizedTables) name += "_optimized";
  for (char& ch : name) {
    if (ch == ':') ch = '_';
  }
  return name;
}

class ExactDecode : public ::testing::TestWithParam<ExactCase> {};

TEST_P(ExactDecode, EqualsReferenceDecodeAndShowsThePictureUpright) {
  const ExactCase& c = GetParam();
  EncodeOptions options;
  options.sampling = c.sampling;
  options.restartRows = c.restartRows;
  options.optimizedTables = c.optimizedTables;
  const Bytes picture = mjpgtest::PictureRgb(c.width, c.height, 3);
  const Bytes jpeg = mjpgtest::Encode(picture, c.width, c.height, options);
  const mjpgtest::ReferenceDecode reference = mjpgtest::DecodeForReference(jpeg);
  ASSERT_TRUE(reference.clean);

  MjpgDecoder decoder;
  GuardedBuffer destination(FrameBytes(c.width, c.height));
  const MjpgDecodeResult result =
      decoder.DecodeToBottomUpBgr(jpeg.data(), jpeg.size(), c.width, c.height, destination.Data());
  ASSERT_TRUE(result.IsDecoded()) << qv::Describe(result);
  EXPECT_TRUE(destination.GuardIntact()) << "written past the frame";
  ASSERT_EQ(reference.bgrBottomUp, destination.Frame());

  // The reference could share a mistake; the source picture can't. Subsampled chroma
  // blurs the picture's thin blue stripes (up to about 12 off); a flipped frame or red
  // and blue swapped would be off by 60 or more.
  const bool grey = c.sampling == Sampling::kGray;
  for (int channel = 0; channel < 3 && !grey && c.width * c.height > 1; ++channel) {
    EXPECT_LT(MeanError(destination.Frame(), picture, c.width, c.height, channel), 20.0) << "channel " << channel;
  }
  if (grey) {
    const Bytes frame = destination.Frame();
    for (size_t i = 0; i < frame.size(); i += 3) {
      ASSERT_TRUE(frame[i] == frame[i + 1] && frame[i] == frame[i + 2]) << "pixel " << i / 3 << " is not grey";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Samplings, ExactDecode,
    ::testing::Values(ExactCase{Sampling::k422, 64, 48, 0, false}, ExactCase{Sampling::k422, 33, 17, 0, false},
                      ExactCase{Sampling::k422, 1, 1, 0, false}, ExactCase{Sampling::k422, 640, 480, 0, false},
                      ExactCase{Sampling::k422, 64, 48, 1, false}, ExactCase{Sampling::k420, 64, 48, 0, false},
                      ExactCase{Sampling::k420, 33, 17, 0, false}, ExactCase{Sampling::k420, 1, 1, 0, false},
                      ExactCase{Sampling::k420, 321, 241, 0, false}, ExactCase{Sampling::k420, 64, 48, 0, true},
                      ExactCase{Sampling::k444, 33, 17, 0, false}, ExactCase{Sampling::k440, 33, 17, 0, false},
                      ExactCase{Sampling::k411, 37, 9, 0, false}, ExactCase{Sampling::kGray, 33, 17, 0, false},
                      ExactCase{Sampling::kGray, 1, 1, 0, false}),
    CaseName);

// Cameras leave the Huffman tables out of each frame and rely on the standard ones.
TEST(MotionJpegWithoutHuffmanTables, DecodesAsTheSameFrameWithTheStandardTables) {
  for (Sampling sampling : {Sampling::k422, Sampling::k420}) {
    SCOPED_TRACE(mjpgtest::SamplingName(sampling));
    EncodeOptions options;
    options.sampling = sampling;
    const Bytes withTables = EncodedPicture(96, 64, options);
    const Bytes stripped = mjpgtest::WithoutSegments(withTables, 0xC4);
    ASSERT_NE(SIZE_MAX, mjpgtest::FindSegment(withTables, 0xC4));
    ASSERT_EQ(SIZE_MAX, mjpgtest::FindSegment(stripped, 0xC4));
    ASSERT_LT(stripped.size(), withTables.size());
    const mjpgtest::ReferenceDecode reference = mjpgtest::DecodeForReference(withTables);
    ASSERT_TRUE(reference.clean);

    MjpgDecoder decoder;
    GuardedBuffer destination(FrameBytes(96, 64));
    const MjpgDecodeResult result =
        decoder.DecodeToBottomUpBgr(stripped.data(), stripped.size(), 96, 64, destination.Data());
    ASSERT_TRUE(result.IsDecoded()) << qv::Describe(result);
    EXPECT_EQ(reference.bgrBottomUp, destination.Frame());
  }
}

// DirectShow gives compressed formats positive heights; a negative one flips nothing.
TEST(NegativeHeight, GivesTheSameUprightBottomUpFrame) {
  const Bytes jpeg = EncodedPicture(40, 30, EncodeOptions{});
  MjpgDecoder decoder;
  GuardedBuffer positive(FrameBytes(40, 30)), negative(FrameBytes(40, 30));
  ASSERT_TRUE(decoder.DecodeToBottomUpBgr(jpeg.data(), jpeg.size(), 40, 30, positive.Data()).IsDecoded());
  ASSERT_TRUE(decoder.DecodeToBottomUpBgr(jpeg.data(), jpeg.size(), 40, -30, negative.Data()).IsDecoded());
  EXPECT_EQ(positive.Frame(), negative.Frame());
  EXPECT_EQ(mjpgtest::DecodeForReference(jpeg).bgrBottomUp, negative.Frame());
}

// One decoder, frames of several kinds and sizes, good ones between bad ones: each good
// frame comes out whole and right, each bad one leaves the last good frame in place.
TEST(ReusedDecoder, GoodFramesStayRightAroundBadOnes) {
  EncodeOptions s422, s420, grey;
  s420.sampling = Sampling::k420;
  grey.sampling = Sampling::kGray;
  const Bytes a = EncodedPicture(640, 480, s422, 1);
  const Bytes b = EncodedPicture(640, 480, s420, 2);
  const Bytes c = EncodedPicture(64, 48, grey, 3);
  const Bytes aCut(a.begin(), a.begin() + static_cast<ptrdiff_t>(a.size() / 2));
  Bytes bCorrupt = b;
  const size_t middle = mjpgtest::EntropyStart(b) + (b.size() - mjpgtest::EntropyStart(b)) / 2;
  bCorrupt[middle] = 0xFF;
  bCorrupt[middle + 1] = 0xD9;  // an end marker in the middle of the picture

  struct Step {
    const char* name;
    const Bytes* frame;
    int width, height;
    bool good;
  };
  const Step steps[] = {
      {"A", &a, 640, 480, true},        {"A cut in half", &aCut, 640, 480, false},
      {"B", &b, 640, 480, true},        {"B with an end marker inside", &bCorrupt, 640, 480, false},
      {"C, smaller", &c, 64, 48, true}, {"A as 64x48", &a, 64, 48, false},
      {"A again", &a, 640, 480, true},  {"C again", &c, 64, 48, true},
  };
  MjpgDecoder decoder;
  Bytes last640(FrameBytes(640, 480), 0x11), last64(FrameBytes(64, 48), 0x22);
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    Bytes& destination = step.width == 640 ? last640 : last64;
    const Bytes before = destination;
    const MjpgDecodeResult result = decoder.DecodeToBottomUpBgr(step.frame->data(), step.frame->size(), step.width,
                                                                step.height, destination.data());
    if (step.good) {
      ASSERT_TRUE(result.IsDecoded()) << qv::Describe(result);
      EXPECT_EQ(mjpgtest::DecodeForReference(*step.frame).bgrBottomUp, destination);
    } else {
      EXPECT_FALSE(result.IsDecoded());
      EXPECT_EQ(before, destination) << "a refused frame changed the destination";
    }
  }
}

// libjpeg keeps a stream's tables for the next stream. A reused decoder must still treat
// each frame as a fresh one would.
class CarriedTables : public ::testing::Test {
 protected:
  static constexpr int kWidth = 48, kHeight = 32;

  MjpgDecodeResult Decode(MjpgDecoder& decoder, const Bytes& jpeg, GuardedBuffer& destination) {
    return decoder.DecodeToBottomUpBgr(jpeg.data(), jpeg.size(), kWidth, kHeight, destination.Data());
  }
  MjpgDecodeResult DecodeFresh(const Bytes& jpeg) {
    MjpgDecoder fresh;
    GuardedBuffer destination(FrameBytes(kWidth, kHeight));
    return Decode(fresh, jpeg, destination);
  }
};

TEST_F(CarriedTables, FrameWithoutHuffmanTablesGetsTheStandardOnesNotThePreviousFramesTables) {
  EncodeOptions optimized;
  optimized.optimizedTables = true;
  const Bytes own = EncodedPicture(kWidth, kHeight, optimized, 5);
  const Bytes standard = EncodedPicture(kWidth, kHeight, EncodeOptions{}, 6);
  const Bytes stripped = mjpgtest::WithoutSegments(standard, 0xC4);
  // The first frame's tables really differ from the standard ones.
  ASSERT_NE(HuffmanSegments(own), HuffmanSegments(standard));

  MjpgDecoder decoder;
  GuardedBuffer first(FrameBytes(kWidth, kHeight)), second(FrameBytes(kWidth, kHeight));
  ASSERT_TRUE(Decode(decoder, own, first).IsDecoded());
  const MjpgDecodeResult result = Decode(decoder, stripped, second);
  ASSERT_TRUE(result.IsDecoded()) << qv::Describe(result);
  EXPECT_EQ(mjpgtest::DecodeForReference(standard).bgrBottomUp, second.Frame());
}

TEST_F(CarriedTables, FrameWithoutQuantisationTablesIsRefusedAfterOneThatHadThem) {
  const Bytes good = EncodedPicture(kWidth, kHeight, EncodeOptions{});
  const Bytes noDqt = mjpgtest::WithoutSegments(good, 0xDB);
  ASSERT_EQ(MjpgDecodeResult::Refused(MjpgRefusal::MissingTable), DecodeFresh(noDqt));
  EXPECT_TRUE(mjpgtest::DecodeForReference(noDqt).error) << "libjpeg itself fails such a frame";

  MjpgDecoder decoder;
  GuardedBuffer first(FrameBytes(kWidth, kHeight)), second(FrameBytes(kWidth, kHeight));
  ASSERT_TRUE(Decode(decoder, good, first).IsDecoded());
  EXPECT_EQ(MjpgDecodeResult::Refused(MjpgRefusal::MissingTable), Decode(decoder, noDqt, second));
  EXPECT_TRUE(second.Untouched());
}

// Slots 2 and 3 have no standard tables: a frame that names them must define them.
TEST_F(CarriedTables, HuffmanSlotBeyondTheStandardOnesMustBeDefinedByTheFrame) {
  EncodeOptions slot2;
  slot2.chromaInSlot2 = true;
  const Bytes good = EncodedPicture(kWidth, kHeight, slot2);
  const Bytes noDht = mjpgtest::WithoutSegments(good, 0xC4);
  ASSERT_TRUE(mjpgtest::DecodeForReference(good).clean);
  ASSERT_EQ(MjpgDecodeResult::Refused(MjpgRefusal::MissingTable), DecodeFresh(noDht));
  EXPECT_TRUE(mjpgtest::DecodeForReference(noDht).error) << "libjpeg itself fails such a frame";

  MjpgDecoder decoder;
  GuardedBuffer first(FrameBytes(kWidth, kHeight)), second(FrameBytes(kWidth, kHeight)),
      third(FrameBytes(kWidth, kHeight));
  ASSERT_TRUE(Decode(decoder, good, first).IsDecoded());
  EXPECT_EQ(mjpgtest::DecodeForReference(good).bgrBottomUp, first.Frame());
  EXPECT_EQ(MjpgDecodeResult::Refused(MjpgRefusal::MissingTable), Decode(decoder, noDht, second));
  EXPECT_TRUE(second.Untouched());
  ASSERT_TRUE(Decode(decoder, good, third).IsDecoded());
  EXPECT_EQ(first.Frame(), third.Frame());
}

TEST(Reserve, SizesTheBufferAheadAndRefusesWhatDecodeRefuses) {
  MjpgDecoder decoder;
  EXPECT_TRUE(decoder.Reserve(1920, 1080));
  EXPECT_TRUE(decoder.Reserve(640, -480));
  EXPECT_FALSE(decoder.Reserve(0, 480));
  EXPECT_FALSE(decoder.Reserve(16384, 16384));
  const Bytes jpeg = EncodedPicture(64, 48, EncodeOptions{});
  GuardedBuffer destination(FrameBytes(64, 48));
  ASSERT_TRUE(decoder.DecodeToBottomUpBgr(jpeg.data(), jpeg.size(), 64, 48, destination.Data()).IsDecoded());
  EXPECT_EQ(mjpgtest::DecodeForReference(jpeg).bgrBottomUp, destination.Frame());
}

}  // namespace
