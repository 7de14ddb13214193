// Sample lengths beyond the fixed frames: samples that carry the frame in their first
// bytes (planar and RGB32 frames), and compressed frames of any length up to the slot,
// each handed out with its own length, longer ones dropped and counted; and the same
// whole-frame guarantee while a producer publishes frames of changing lengths.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "FramePattern.h"
#include "FrameStore.h"

namespace {

using qv::FrameStore;
using qvtest::FillFrame;
using qvtest::WholeFrameSeq;

constexpr size_t kMax = std::numeric_limits<size_t>::max();

struct Grabbed {
  std::vector<uint8_t> bytes;
};

std::optional<Grabbed> Grab(FrameStore& store) {
  std::optional<Grabbed> out;
  store.ReadNewest(
      [&](const uint8_t* frame, size_t bytes) { out = Grabbed{std::vector<uint8_t>(frame, frame + bytes)}; });
  return out;
}

std::vector<uint8_t> Pattern(size_t bytes, uint32_t seq) {
  std::vector<uint8_t> v(bytes);
  FillFrame(v.data(), v.size(), seq);
  return v;
}

// ---------------------------------------------------------------------------------
// What each kind of configuration accepts, and what the grab then hands out.

enum class Kind { Leading, Variable };

struct LengthCase {
  const char* name;
  Kind kind;
  size_t configured;  // frame bytes (Leading) or capacity (Variable)
  size_t length;      // the delivered sample's length
  bool accepted;
  bool counted;  // dropped as longer than a slot
};

class FrameStoreSampleLength : public testing::TestWithParam<LengthCase> {};

TEST_P(FrameStoreSampleLength, AcceptsRefusesAndCountsAsConfigured) {
  const LengthCase& c = GetParam();
  FrameStore store;
  ASSERT_TRUE(c.kind == Kind::Leading ? store.ConfigureLeading(c.configured) : store.ConfigureVariable(c.configured));
  EXPECT_EQ(c.configured, store.FrameBytes());

  // An earlier frame, of a length of its own, that a refused sample must leave in place.
  const size_t earlierBytes = c.kind == Kind::Leading ? c.configured : c.configured / 2 + 1;
  const auto earlier = Pattern(earlierBytes, 1);
  ASSERT_TRUE(store.Publish(earlier.data(), earlier.size()));

  // Readable up to its length, but for the absurd length, which must be refused unread.
  const auto sample = Pattern(c.length < (1u << 20) ? c.length + 1 : 16, 2);
  EXPECT_EQ(c.accepted, store.Publish(sample.data(), c.length));
  EXPECT_EQ(c.counted ? 1u : 0u, store.OversizeDrops());

  auto grabbed = Grab(store);
  ASSERT_TRUE(grabbed.has_value());
  if (!c.accepted) {
    EXPECT_EQ(earlier, grabbed->bytes) << "the earlier frame, with its own length";
    return;
  }
  // Leading: the sample's first frame bytes; Variable: the whole sample.
  const size_t expectedBytes = c.kind == Kind::Leading ? c.configured : c.length;
  EXPECT_EQ(std::vector<uint8_t>(sample.begin(), sample.begin() + static_cast<ptrdiff_t>(expectedBytes)),
            grabbed->bytes);
}

INSTANTIATE_TEST_SUITE_P(Lengths, FrameStoreSampleLength,
                         testing::Values(LengthCase{"LeadingEmpty", Kind::Leading, 120, 0, false, false},
                                         LengthCase{"LeadingOneByte", Kind::Leading, 120, 1, false, false},
                                         LengthCase{"LeadingOneShort", Kind::Leading, 120, 119, false, false},
                                         LengthCase{"LeadingExact", Kind::Leading, 120, 120, true, false},
                                         LengthCase{"LeadingOneOver", Kind::Leading, 120, 121, true, false},
                                         LengthCase{"LeadingPageRounded", Kind::Leading, 120, 4096, true, false},
                                         LengthCase{"VariableEmpty", Kind::Variable, 100, 0, false, false},
                                         LengthCase{"VariableOneByte", Kind::Variable, 100, 1, true, false},
                                         LengthCase{"VariableMiddle", Kind::Variable, 100, 57, true, false},
                                         LengthCase{"VariableFull", Kind::Variable, 100, 100, true, false},
                                         LengthCase{"VariableOneOver", Kind::Variable, 100, 101, false, true},
                                         LengthCase{"VariableFarOver", Kind::Variable, 100, 4096, false, true},
                                         LengthCase{"VariableAbsurd", Kind::Variable, 100, kMax, false, true}),
                         [](const testing::TestParamInfo<LengthCase>& info) { return std::string(info.param.name); });

TEST(FrameStoreOversize, DropsAreCountedUntilTheNextConfiguration) {
  FrameStore store;
  ASSERT_TRUE(store.ConfigureVariable(64));
  const auto big = Pattern(65, 3);
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(store.Publish(big.data(), big.size()));
  const auto fits = Pattern(64, 4);
  EXPECT_TRUE(store.Publish(fits.data(), fits.size()));
  EXPECT_EQ(3u, store.OversizeDrops()) << "accepted frames don't change the count";

  ASSERT_TRUE(store.ConfigureVariable(64));
  EXPECT_EQ(0u, store.OversizeDrops());
  EXPECT_FALSE(Grab(store).has_value()) << "a configuration forgets the newest frame";

  // Fixed frames in longer samples are taken from the sample's start, shorter ones are
  // refused, and neither is "larger than a slot".
  ASSERT_TRUE(store.Configure(8, 4, 8));
  EXPECT_TRUE(store.Publish(big.data(), big.size()));
  const auto shorter = Pattern(31, 5);
  EXPECT_FALSE(store.Publish(shorter.data(), shorter.size()));
  ASSERT_TRUE(store.ConfigureLeading(32));
  EXPECT_FALSE(store.Publish(shorter.data(), shorter.size()));
  EXPECT_EQ(0u, store.OversizeDrops());
}

// Going from one kind to another keeps nothing of the earlier rule.
TEST(FrameStoreOversize, EachConfigurationTakesItsOwnRule) {
  FrameStore store;
  ASSERT_TRUE(store.ConfigureVariable(200));
  const auto sample = Pattern(150, 6);
  ASSERT_TRUE(store.Publish(sample.data(), 50));
  ASSERT_EQ(50u, Grab(store)->bytes.size());

  ASSERT_TRUE(store.Configure(10, 10, 12));  // the slots are big enough and are kept
  EXPECT_FALSE(store.Publish(sample.data(), 50)) << "fixed frames need the whole picture";
  ASSERT_TRUE(store.Publish(sample.data(), 120));
  EXPECT_EQ(100u, Grab(store)->bytes.size()) << "padded rows handed out unpadded";

  ASSERT_TRUE(store.ConfigureLeading(100));
  ASSERT_TRUE(store.Publish(sample.data(), 150));
  EXPECT_EQ(std::vector<uint8_t>(sample.begin(), sample.begin() + 100), Grab(store)->bytes);
}

struct BadSize {
  const char* name;
  Kind kind;
  size_t bytes;
};

TEST(FrameStoreOversize, SizesPast32BitsOrEmptyAreRefused) {
  std::vector<BadSize> cases = {
      {"LeadingZero", Kind::Leading, 0},
      {"VariableZero", Kind::Variable, 0},
      {"LeadingHuge", Kind::Leading, kMax},
      {"VariableHuge", Kind::Variable, kMax},
  };
  if (sizeof(size_t) > 4) {
    cases.push_back({"LeadingFourGiB", Kind::Leading, static_cast<size_t>(uint64_t{1} << 32)});
    cases.push_back({"VariableFourGiB", Kind::Variable, static_cast<size_t>(uint64_t{1} << 32)});
  }
  for (const BadSize& c : cases) {
    SCOPED_TRACE(c.name);
    FrameStore store;
    ASSERT_TRUE(store.ConfigureVariable(16));
    const auto frame = Pattern(16, 7);
    ASSERT_TRUE(store.Publish(frame.data(), frame.size()));
    EXPECT_FALSE(c.kind == Kind::Leading ? store.ConfigureLeading(c.bytes) : store.ConfigureVariable(c.bytes));
    EXPECT_EQ(0u, store.FrameBytes());
    EXPECT_FALSE(store.Publish(frame.data(), frame.size()));
    EXPECT_FALSE(Grab(store).has_value());
  }
}

// ---------------------------------------------------------------------------------
// Frames of changing lengths published flat out while the host grabs: each grab is
// one whole frame with its own length, never older than the grab before.

size_t LengthOf(uint32_t seq, size_t capacity) { return 4 + (seq * 2654435761u) % (capacity - 3); }

TEST(FrameStoreVariableStream, EveryGrabIsWholeWithItsOwnLength) {
  constexpr size_t kCapacity = 97;
  constexpr uint32_t kFrames = 100000;
  FrameStore store;
  ASSERT_TRUE(store.ConfigureVariable(kCapacity));

  std::atomic<bool> done{false}, started{false};
  std::thread producer([&] {
    while (!started.load()) std::this_thread::yield();
    std::vector<uint8_t> buffers[2] = {std::vector<uint8_t>(kCapacity), std::vector<uint8_t>(kCapacity)};
    for (uint32_t seq = 1; seq <= kFrames; ++seq) {
      std::vector<uint8_t>& buffer = buffers[seq % 2];
      const size_t length = LengthOf(seq, kCapacity);
      FillFrame(buffer.data(), length, seq);
      if (!store.Publish(buffer.data(), length)) {
        ADD_FAILURE() << "frame " << seq << " of " << length << " bytes refused";
        break;
      }
      if (seq % 512 == 0) std::this_thread::yield();
    }
    done.store(true);
  });

  uint32_t previous = 0, torn = 0, wrongLength = 0, backwards = 0, distinct = 0;
  started.store(true);
  while (!done.load()) {
    auto grabbed = Grab(store);
    if (!grabbed) continue;
    auto seq = WholeFrameSeq(grabbed->bytes.data(), grabbed->bytes.size());
    if (!seq) {
      ++torn;
      continue;
    }
    if (grabbed->bytes.size() != LengthOf(*seq, kCapacity)) ++wrongLength;
    if (*seq < previous) ++backwards;
    if (*seq != previous) ++distinct;
    previous = *seq;
  }
  producer.join();

  EXPECT_EQ(0u, torn) << "grabs mixing two frames";
  EXPECT_EQ(0u, wrongLength) << "grabs handed out with another frame's length";
  EXPECT_EQ(0u, backwards);
  EXPECT_GT(distinct, 1u) << "the race was not run";
  EXPECT_EQ(0u, store.OversizeDrops());
  auto last = Grab(store);
  ASSERT_TRUE(last.has_value());
  EXPECT_EQ(LengthOf(kFrames, kCapacity), last->bytes.size());
  EXPECT_EQ(kFrames, WholeFrameSeq(last->bytes.data(), last->bytes.size()).value_or(0));
}

}  // namespace
