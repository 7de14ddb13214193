// Motion-JPEG frames through the handover as the grab uses it: the streaming side
// copies compressed frames of changing lengths into the store, the host decodes the
// held frame with its own length. Every grab must be exactly the frame published,
// never a mixture of two nor one frame's bytes with another's length, and never older
// than the grab before. Portable, so it runs under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "FrameStore.h"
#include "MjpgDecoder.h"
#include "MjpgTestFrames.h"

namespace {

using mjpgtest::Bytes;

constexpr int kWidth = 48, kHeight = 32;
constexpr size_t kFrameBytes = size_t{kWidth} * kHeight * 3;
constexpr int kKinds = 4;
constexpr size_t kMaxPadding = 61;

struct Frames {
  Bytes jpeg[kKinds];
  Bytes decoded[kKinds];
  size_t longest = 0;
};

const Frames& TestFrames() {
  static const Frames frames = [] {
    Frames f;
    for (int k = 0; k < kKinds; ++k) {
      mjpgtest::EncodeOptions options;
      options.sampling = k % 2 ? mjpgtest::Sampling::k420 : mjpgtest::Sampling::k422;
      options.quality = 55 + 12 * k;
      f.jpeg[k] = mjpgtest::WithoutSegments(
          mjpgtest::Encode(mjpgtest::PictureRgb(kWidth, kHeight, 70 + k), kWidth, kHeight, options), 0xC4);
      const mjpgtest::ReferenceDecode reference = mjpgtest::DecodeForReference(f.jpeg[k]);
      if (!reference.clean) std::abort();
      f.decoded[k] = reference.bgrBottomUp;
      f.longest = std::max(f.longest, f.jpeg[k].size());
    }
    return f;
  }();
  return frames;
}

// Sample seq: frame seq % kKinds with a comment segment after its start marker that
// holds seq and a padding of its own length, so both content and length change.
size_t PaddingOf(uint32_t seq) { return (seq * 13) % (kMaxPadding + 1); }

size_t BuildSample(uint32_t seq, uint8_t* out) {
  const Bytes& jpeg = TestFrames().jpeg[seq % kKinds];
  const size_t padding = PaddingOf(seq);
  const size_t segment = 2 + 4 + padding;  // length field, seq, padding
  size_t at = 0;
  out[at++] = 0xFF;
  out[at++] = 0xD8;
  out[at++] = 0xFF;
  out[at++] = 0xFE;
  out[at++] = static_cast<uint8_t>(segment >> 8);
  out[at++] = static_cast<uint8_t>(segment);
  std::memcpy(out + at, &seq, 4);
  at += 4;
  std::memset(out + at, static_cast<int>(seq & 0x7F), padding);
  at += padding;
  std::memcpy(out + at, jpeg.data() + 2, jpeg.size() - 2);
  return at + jpeg.size() - 2;
}

// The longest sample: the comment segment's marker, length and seq add 8 bytes.
size_t SampleCapacity() { return TestFrames().longest + 8 + kMaxPadding; }

// What a grab saw: the published sample it held, whole, and what the decoder made of it.
struct GrabCheck {
  bool got = false;
  bool whole = false;    // the bytes and their length are exactly sample seq's
  bool decoded = false;  // and they decode to exactly that frame's picture
  uint32_t seq = 0;
};

GrabCheck GrabAndCheck(qv::FrameStore& store, qv::MjpgDecoder& decoder, std::vector<uint8_t>& scratch,
                       std::vector<uint8_t>& destination) {
  GrabCheck check;
  store.ReadNewest([&](const uint8_t* frame, size_t bytes) {
    check.got = true;
    if (bytes < 10) return;
    std::memcpy(&check.seq, frame + 6, 4);
    const size_t expectedBytes = BuildSample(check.seq, scratch.data());
    check.whole = bytes == expectedBytes && std::memcmp(frame, scratch.data(), bytes) == 0;
    // Decoded from the held slot, as the grab does.
    check.decoded = decoder.DecodeToBottomUpBgr(frame, bytes, kWidth, kHeight, destination.data()).IsDecoded() &&
                    std::memcmp(destination.data(), TestFrames().decoded[check.seq % kKinds].data(), kFrameBytes) == 0;
  });
  return check;
}

TEST(MjpgHandover, SamplesOfChangingLengthsDecodeWholeWhileTheStreamRuns) {
  const size_t capacity = SampleCapacity();
  qv::FrameStore store;
  ASSERT_TRUE(store.ConfigureVariable(capacity));

  std::atomic<bool> stop{false}, grabbing{false};
  std::atomic<uint32_t> published{0};
  std::thread streaming([&] {
    while (!grabbing.load()) std::this_thread::yield();
    // Two delivery buffers taken in turn, refilled as the platform refills its samples.
    std::vector<uint8_t> buffers[2] = {std::vector<uint8_t>(capacity), std::vector<uint8_t>(capacity)};
    for (uint32_t seq = 1; !stop.load(); ++seq) {
      std::vector<uint8_t>& buffer = buffers[seq % 2];
      const size_t length = BuildSample(seq, buffer.data());
      if (!store.Publish(buffer.data(), length)) {
        ADD_FAILURE() << "sample " << seq << " of " << length << " bytes refused";
        break;
      }
      published.store(seq);
      if (seq % 256 == 0) std::this_thread::yield();
    }
  });

  qv::MjpgDecoder decoder;
  ASSERT_TRUE(decoder.Reserve(kWidth, kHeight));
  std::vector<uint8_t> scratch(capacity), destination(kFrameBytes);
  uint32_t grabs = 0, torn = 0, undecoded = 0, backwards = 0, future = 0, distinct = 0, previous = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  grabbing.store(true);
  while ((grabs < 3000 || distinct < 100) && std::chrono::steady_clock::now() < deadline) {
    const GrabCheck check = GrabAndCheck(store, decoder, scratch, destination);
    const uint32_t publishedAfter = published.load();
    if (!check.got) continue;
    ++grabs;
    if (!check.whole) {
      ++torn;
      continue;
    }
    if (!check.decoded) ++undecoded;
    if (check.seq < previous) ++backwards;
    if (check.seq > publishedAfter + 1) ++future;
    if (check.seq != previous) ++distinct;
    previous = check.seq;
  }
  stop.store(true);
  streaming.join();

  EXPECT_EQ(0u, torn) << "of " << grabs << " grabs, not exactly one published sample";
  EXPECT_EQ(0u, undecoded) << "whole samples that did not decode to their picture";
  EXPECT_EQ(0u, backwards);
  EXPECT_EQ(0u, future);
  EXPECT_GE(distinct, 100u) << "the race was not run";
  EXPECT_EQ(0u, store.OversizeDrops());

  const GrabCheck last = GrabAndCheck(store, decoder, scratch, destination);
  ASSERT_TRUE(last.got);
  EXPECT_TRUE(last.whole && last.decoded);
  EXPECT_EQ(published.load(), last.seq);
}

// The comment segment really is ignored, or the race above proves nothing about
// decoding: each sample decodes to its frame's picture, alone.
TEST(MjpgHandover, TaggedSamplesDecodeToTheirFramesPicture) {
  qv::FrameStore store;
  ASSERT_TRUE(store.ConfigureVariable(SampleCapacity()));
  qv::MjpgDecoder decoder;
  std::vector<uint8_t> sample(SampleCapacity()), scratch(sample.size()), destination(kFrameBytes);
  for (uint32_t seq = 1; seq <= 2 * kKinds * 3; ++seq) {
    ASSERT_TRUE(store.Publish(sample.data(), BuildSample(seq, sample.data())));
    const GrabCheck check = GrabAndCheck(store, decoder, scratch, destination);
    EXPECT_TRUE(check.whole && check.decoded) << "sample " << seq;
    EXPECT_EQ(seq, check.seq);
  }
}

}  // namespace
