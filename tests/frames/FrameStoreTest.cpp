// The frame handover between the streaming thread and the host: frames are whole and
// never go backwards while a producer publishes flat out, a clear really forgets, and
// refused sizes and lengths record nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "FramePattern.h"
#include "FrameStore.h"

namespace {

using qv::FrameStore;
using qvtest::FillFrame;
using qvtest::FillPadded;
using qvtest::GuardedBuffer;
using qvtest::WholeFrameSeq;

// The grab as the host does it: the newest frame copied out while it is held.
std::optional<uint32_t> Grab(FrameStore& store, std::vector<uint8_t>& out) {
  bool got = false;
  store.ReadNewest([&](const uint8_t* frame, size_t bytes) {
    out.assign(frame, frame + bytes);
    got = true;
  });
  if (!got) return std::nullopt;
  auto seq = WholeFrameSeq(out.data(), out.size());
  // A grabbed frame that is not whole is a failure of its own; report it as seq 0,
  // which no producer here publishes.
  return seq ? *seq : 0u;
}

// ---------------------------------------------------------------------------------
// One producer publishing as fast as it can, one consumer grabbing continuously.

struct StreamCase {
  const char* name;
  size_t rowBytes;
  size_t rows;
  size_t paddedRowBytes;
  bool deliverPadded;  // frames arrive with padded rows
  uint32_t frames;
};

class FrameStoreStream : public testing::TestWithParam<StreamCase> {};

TEST_P(FrameStoreStream, EveryGrabIsWholeAndSequencesNeverGoBack) {
  const StreamCase& c = GetParam();
  FrameStore store;
  ASSERT_TRUE(store.Configure(c.rowBytes, c.rows, c.paddedRowBytes));
  const size_t frameBytes = c.rowBytes * c.rows;
  ASSERT_EQ(frameBytes, store.FrameBytes());

  std::atomic<bool> producerDone{false};
  std::atomic<bool> consumerStarted{false};
  std::atomic<uint32_t> lastPublished{0};
  std::thread producer([&] {
    // Start with the consumer, and let it in now and then, so a loaded machine can't
    // run the whole stream before the first grab.
    while (!consumerStarted.load()) std::this_thread::yield();
    // Two delivery buffers taken in turn, refilled as the platform refills its samples.
    const size_t deliveredBytes = c.deliverPadded ? c.paddedRowBytes * c.rows : frameBytes;
    std::vector<uint8_t> delivered[2] = {std::vector<uint8_t>(deliveredBytes), std::vector<uint8_t>(deliveredBytes)};
    for (uint32_t seq = 1; seq <= c.frames; ++seq) {
      std::vector<uint8_t>& buffer = delivered[seq % 2];
      if (c.deliverPadded) {
        FillPadded(buffer.data(), c.rowBytes, c.rows, c.paddedRowBytes, seq);
      } else {
        FillFrame(buffer.data(), buffer.size(), seq);
      }
      if (!store.Publish(buffer.data(), buffer.size())) {
        ADD_FAILURE() << "frame " << seq << " of an accepted length was refused";
        break;
      }
      lastPublished.store(seq);
      if (seq % 512 == 0) std::this_thread::yield();
    }
    producerDone.store(true);
  });

  std::vector<uint8_t> grabbed;
  uint32_t previous = 0, distinct = 0, torn = 0, backwards = 0, future = 0;
  consumerStarted.store(true);
  while (!producerDone.load()) {
    // What had been published before the grab started bounds nothing; what is published
    // after it ends bounds the grab from above.
    auto seq = Grab(store, grabbed);
    const uint32_t publishedAfter = lastPublished.load();
    if (!seq) continue;
    if (*seq == 0) {
      ++torn;
      continue;
    }
    if (*seq < previous) ++backwards;
    // A frame is handed out only once its Publish has completed its exchange, which
    // precedes the counter's update by at most this one frame.
    if (*seq > publishedAfter + 1) ++future;
    if (*seq != previous) ++distinct;
    previous = *seq;
  }
  producer.join();

  EXPECT_EQ(0u, torn) << "grabs mixing two frames";
  EXPECT_EQ(0u, backwards) << "grabs older than an earlier grab";
  EXPECT_EQ(0u, future) << "grabs of frames not yet published";
  // The race must really have been run: the consumer saw the stream move.
  EXPECT_GT(distinct, 1u);
  // With the producer gone the newest frame is the last one, unchanged.
  auto last = Grab(store, grabbed);
  ASSERT_TRUE(last.has_value());
  EXPECT_EQ(c.frames, *last);
  EXPECT_EQ(frameBytes, grabbed.size());
}

INSTANTIATE_TEST_SUITE_P(Sizes, FrameStoreStream,
                         testing::Values(StreamCase{"Small", 24, 2, 24, false, 200000},
                                         StreamCase{"SmallPaddedRows", 30, 3, 32, true, 100000},
                                         StreamCase{"Vga", 640 * 3, 480, 640 * 3, false, 300},
                                         StreamCase{"OddWidthPaddedRows", 641 * 3, 480, 641 * 3 + 1, true, 150}),
                         [](const testing::TestParamInfo<StreamCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------
// Clear racing publications.

// Frames whose Publish had returned before a Clear began are gone for good: no grab
// after the Clear returns hands one out. Once the producer stops, the newest frame is
// the last one if it was delivered after the last Clear returned.
TEST(FrameStoreClear, FramesFinishedBeforeAClearNeverReappear) {
  FrameStore store;
  ASSERT_TRUE(store.Configure(16, 2, 16));
  std::atomic<bool> stop{false};
  std::atomic<uint32_t> started{0}, completed{0};
  std::thread producer([&] {
    std::vector<uint8_t> frame(32);
    for (uint32_t seq = 1; !stop.load(); ++seq) {
      FillFrame(frame.data(), frame.size(), seq);
      started.store(seq);
      store.Publish(frame.data(), frame.size());
      completed.store(seq);
    }
  });

  std::vector<uint8_t> grabbed;
  uint32_t stale = 0, torn = 0, seenAfterClear = 0;
  uint32_t doneBefore = 0, startedAfter = 0;
  while (completed.load() == 0) std::this_thread::yield();
  // Clears until the producer has delivered 100,000 frames, so both really overlap, and
  // (within a bound, for a loaded machine) until a frame got through between clears.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (int round = 0; round < 20000 || completed.load() < 100000 ||
                      (seenAfterClear == 0 && std::chrono::steady_clock::now() < deadline);
       ++round) {
    doneBefore = completed.load();
    store.Clear();
    startedAfter = started.load();
    // Grabs until a frame shows (or a few dozen tries), giving the producer time to
    // get one through before the next Clear.
    for (int k = 0; k < 64; ++k) {
      auto seq = Grab(store, grabbed);
      if (!seq) continue;
      if (*seq == 0)
        ++torn;
      else if (*seq <= doneBefore)
        ++stale;
      else
        ++seenAfterClear;
      break;
    }
  }
  stop.store(true);
  producer.join();

  EXPECT_EQ(0u, torn);
  EXPECT_EQ(0u, stale) << "frames published before a Clear handed out after it";
  EXPECT_GT(seenAfterClear, 0u) << "the producer never got a frame through between clears";

  const uint32_t last = completed.load();
  auto final = Grab(store, grabbed);
  if (last > startedAfter) {
    // Delivered entirely after the last Clear: nothing can have discarded it.
    ASSERT_TRUE(final.has_value());
    EXPECT_EQ(last, *final);
  } else if (final) {
    EXPECT_GT(*final, doneBefore);
  }
  store.Clear();
  EXPECT_FALSE(Grab(store, grabbed).has_value()) << "a Clear with no producer leaves nothing";
}

// The host turns recording off, then clears: from then on nothing is handed out, even
// though the producer keeps delivering; turned on again, frames come back.
TEST(FrameStoreClear, RecordingOffThenClearLeavesNothingWhileTheProducerRuns) {
  FrameStore store;
  ASSERT_TRUE(store.Configure(8, 4, 8));
  std::atomic<bool> stop{false}, wanted{true};
  std::atomic<uint32_t> delivered{0};
  std::thread producer([&] {
    std::vector<uint8_t> frame(32);
    for (uint32_t seq = 1; !stop.load(); ++seq) {
      FillFrame(frame.data(), frame.size(), seq);
      store.Publish(frame.data(), frame.size(), [&] { return wanted.load(); });
      delivered.store(seq);
    }
  });
  while (delivered.load() == 0) std::this_thread::yield();

  std::vector<uint8_t> grabbed;
  uint32_t leaked = 0, torn = 0, neverResumed = 0;
  for (int round = 0; round < 2000; ++round) {
    wanted.store(false);
    store.Clear();
    for (int k = 0; k < 20; ++k) {
      if (Grab(store, grabbed).has_value()) ++leaked;
    }
    wanted.store(true);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::optional<uint32_t> seq;
    while (!(seq = Grab(store, grabbed)) && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    if (!seq) {
      ++neverResumed;
      break;
    }
    if (*seq == 0) ++torn;
  }
  stop.store(true);
  producer.join();
  EXPECT_EQ(0u, leaked) << "grabs after recording was turned off and the store cleared";
  EXPECT_EQ(0u, neverResumed);
  EXPECT_EQ(0u, torn);
}

// ---------------------------------------------------------------------------------
// A grab that finds no frame calls nothing and so leaves the destination untouched.

struct History {
  const char* name;
  std::function<void(FrameStore&, const std::vector<uint8_t>& frame)> run;
};

class FrameStoreNoFrame : public testing::TestWithParam<History> {};

TEST_P(FrameStoreNoFrame, GrabLeavesTheDestinationUntouched) {
  FrameStore store;
  ASSERT_TRUE(store.Configure(30, 4, 32));
  std::vector<uint8_t> frame(120);
  FillFrame(frame.data(), frame.size(), 7);
  GetParam().run(store, frame);

  GuardedBuffer destination(120);
  bool called = false;
  EXPECT_FALSE(store.ReadNewest([&](const uint8_t* data, size_t bytes) {
    called = true;
    std::memcpy(destination.data(), data, bytes);
  }));
  EXPECT_FALSE(called);
  EXPECT_TRUE(destination.Untouched());
  EXPECT_EQ(nullptr, store.NewestAddress());
}

INSTANTIATE_TEST_SUITE_P(
    Histories, FrameStoreNoFrame,
    testing::Values(
        History{"NothingPublished", [](FrameStore&, const std::vector<uint8_t>&) {}},
        History{"Cleared",
                [](FrameStore& s, const std::vector<uint8_t>& f) {
                  ASSERT_TRUE(s.Publish(f.data(), f.size()));
                  s.Clear();
                }},
        History{"ConfiguredAgain",
                [](FrameStore& s, const std::vector<uint8_t>& f) {
                  ASSERT_TRUE(s.Publish(f.data(), f.size()));
                  ASSERT_TRUE(s.Configure(30, 4, 32));
                }},
        History{"RefusedConfigure",
                [](FrameStore& s, const std::vector<uint8_t>& f) {
                  ASSERT_TRUE(s.Publish(f.data(), f.size()));
                  ASSERT_FALSE(s.Configure(0, 4, 32));
                  EXPECT_FALSE(s.Publish(f.data(), f.size())) << "a refused size accepts no frame";
                }},
        History{"Reset",
                [](FrameStore& s, const std::vector<uint8_t>& f) {
                  ASSERT_TRUE(s.Publish(f.data(), f.size()));
                  s.Reset();
                  EXPECT_FALSE(s.Publish(f.data(), f.size()));
                }},
        History{"OnlyAWrongLength",
                [](FrameStore& s, const std::vector<uint8_t>& f) { EXPECT_FALSE(s.Publish(f.data(), f.size() - 1)); }},
        History{"NullData", [](FrameStore& s, const std::vector<uint8_t>&) { EXPECT_FALSE(s.Publish(nullptr, 120)); }},
        History{"NoLongerWanted",
                [](FrameStore& s, const std::vector<uint8_t>& f) {
                  EXPECT_FALSE(s.Publish(f.data(), f.size(), [] { return false; }));
                }}),
    [](const testing::TestParamInfo<History>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------
// Lengths: exactly the frame, or at least the frame with padded rows; anything else is
// refused and the frame recorded before stays.

struct LengthCase {
  size_t rowBytes, rows, paddedRowBytes;
  size_t length;
};

class FrameStoreWrongLength : public testing::TestWithParam<LengthCase> {};

TEST_P(FrameStoreWrongLength, IsNotRecordedAndTheEarlierFrameStays) {
  const LengthCase& c = GetParam();
  FrameStore store;
  ASSERT_TRUE(store.Configure(c.rowBytes, c.rows, c.paddedRowBytes));
  std::vector<uint8_t> good(c.rowBytes * c.rows);
  FillFrame(good.data(), good.size(), 1);
  ASSERT_TRUE(store.Publish(good.data(), good.size()));

  std::vector<uint8_t> wrong(c.length + 1);
  FillFrame(wrong.data(), wrong.size(), 2);
  EXPECT_FALSE(store.Publish(wrong.data(), c.length));
  std::vector<uint8_t> grabbed;
  auto seq = Grab(store, grabbed);
  ASSERT_TRUE(seq.has_value());
  EXPECT_EQ(1u, *seq);
}

INSTANTIATE_TEST_SUITE_P(Lengths, FrameStoreWrongLength,
                         testing::Values(LengthCase{30, 4, 32, 0}, LengthCase{30, 4, 32, 1}, LengthCase{30, 4, 32, 119},
                                         // Longer than the rows as they are, shorter than padded ones.
                                         LengthCase{30, 4, 32, 121}, LengthCase{30, 4, 32, 127},
                                         LengthCase{24, 2, 24, 0}, LengthCase{24, 2, 24, 47}));

// Samples longer than the picture (an allocator-sized buffer, bytes after the picture):
// the picture starts the sample with padded rows, and the rest is never copied. The
// absurd length is read only as far as the picture goes.
class FrameStoreLongerSample : public testing::TestWithParam<LengthCase> {};

TEST_P(FrameStoreLongerSample, HandsOutThePictureAtItsStart) {
  const LengthCase& c = GetParam();
  FrameStore store;
  ASSERT_TRUE(store.Configure(c.rowBytes, c.rows, c.paddedRowBytes));
  const size_t readable = std::min(c.length, c.paddedRowBytes * c.rows + 64);
  std::vector<uint8_t> sample(readable, 0xEE);
  FillPadded(sample.data(), c.rowBytes, c.rows, c.paddedRowBytes, 7);
  std::vector<uint8_t> expected(c.rowBytes * c.rows);
  FillFrame(expected.data(), expected.size(), 7);
  ASSERT_TRUE(store.Publish(sample.data(), c.length));
  std::vector<uint8_t> grabbed;
  ASSERT_TRUE(Grab(store, grabbed).has_value());
  EXPECT_EQ(expected, grabbed);
}

INSTANTIATE_TEST_SUITE_P(Lengths, FrameStoreLongerSample,
                         testing::Values(LengthCase{30, 4, 32, 128}, LengthCase{30, 4, 32, 129},
                                         LengthCase{30, 4, 32, 240}, LengthCase{24, 2, 24, 49},
                                         LengthCase{24, 2, 24, 64}, LengthCase{641 * 3, 3, 641 * 3 + 1, 4096 * 3},
                                         LengthCase{30, 4, 32, std::numeric_limits<size_t>::max()}));

// ---------------------------------------------------------------------------------
// Padded rows are delivered, unpadded rows are handed out.

struct PaddingCase {
  size_t rowBytes, rows, paddedRowBytes;
};

class FrameStorePadding : public testing::TestWithParam<PaddingCase> {};

TEST_P(FrameStorePadding, BothLayoutsGiveTheSameUnpaddedFrame) {
  const PaddingCase& c = GetParam();
  FrameStore store;
  ASSERT_TRUE(store.Configure(c.rowBytes, c.rows, c.paddedRowBytes));
  ASSERT_EQ(c.rowBytes * c.rows, store.FrameBytes());
  std::vector<uint8_t> expected(c.rowBytes * c.rows);

  std::vector<uint8_t> padded(c.paddedRowBytes * c.rows);
  FillPadded(padded.data(), c.rowBytes, c.rows, c.paddedRowBytes, 0x01020304);
  FillFrame(expected.data(), expected.size(), 0x01020304);
  ASSERT_TRUE(store.Publish(padded.data(), padded.size()));
  std::vector<uint8_t> grabbed;
  ASSERT_TRUE(Grab(store, grabbed).has_value());
  EXPECT_EQ(expected, grabbed) << "padding dropped, rows in order";

  std::vector<uint8_t> flat(c.rowBytes * c.rows);
  FillFrame(flat.data(), flat.size(), 0x0A0B0C0D);
  ASSERT_TRUE(store.Publish(flat.data(), flat.size()));
  ASSERT_TRUE(Grab(store, grabbed).has_value());
  EXPECT_EQ(flat, grabbed) << "an unpadded delivery is taken as it is";
}

INSTANTIATE_TEST_SUITE_P(Rows, FrameStorePadding,
                         testing::Values(PaddingCase{3, 1, 4}, PaddingCase{6, 2, 8}, PaddingCase{30, 4, 32},
                                         PaddingCase{1923, 3, 1924}, PaddingCase{15, 7, 16}));

// ---------------------------------------------------------------------------------
// Sizes that are empty, inconsistent or past 32 bits are refused and record nothing.

struct SizeCase {
  const char* name;
  size_t rowBytes, rows, paddedRowBytes;
};

class FrameStoreBadSize : public testing::TestWithParam<SizeCase> {};

TEST_P(FrameStoreBadSize, IsRefusedAndAcceptsNoFrame) {
  const SizeCase& c = GetParam();
  FrameStore store;
  std::vector<uint8_t> frame(64);
  ASSERT_TRUE(store.Configure(8, 8, 8));
  ASSERT_TRUE(store.Publish(frame.data(), frame.size()));

  EXPECT_FALSE(store.Configure(c.rowBytes, c.rows, c.paddedRowBytes));
  EXPECT_EQ(0u, store.FrameBytes());
  EXPECT_FALSE(store.Publish(frame.data(), frame.size()));
  std::vector<uint8_t> grabbed;
  EXPECT_FALSE(Grab(store, grabbed).has_value()) << "the frame of the earlier size is gone too";
}

constexpr size_t kMax = std::numeric_limits<size_t>::max();

INSTANTIATE_TEST_SUITE_P(
    Sizes, FrameStoreBadSize,
    testing::Values(
        SizeCase{"ZeroRowBytes", 0, 4, 0}, SizeCase{"ZeroRows", 4, 0, 4}, SizeCase{"PaddingShorterThanRow", 30, 4, 28},
        // What a negative int becomes as a size.
        SizeCase{"NegativeRows", 12, static_cast<size_t>(-480), 12},
        SizeCase{"NegativeRowBytes", static_cast<size_t>(-1920), 480, static_cast<size_t>(-1920)},
        SizeCase{"FourGiBExactly", 0x10000, 0x10000, 0x10000}, SizeCase{"PaddedPast32Bits", 0xFFFF, 0x10000, 0x10000},
        // Products that a 32-bit size_t would wrap to 0 and to 2.
        SizeCase{"TwoRowsOf2GiB", 0x80000000u, 2, 0x80000000u}, SizeCase{"ThreeByteRowsPast32Bits", 3, 0x55555556u, 3},
        SizeCase{"PaddingPushesPast32Bits", 0xFFFFFFFFu / 4, 4, 0xFFFFFFFFu / 4 + 1},
        SizeCase{"ProductWraps64Bits", kMax / 2 + 1, 2, kMax / 2 + 1}, SizeCase{"HugeRows", 2, kMax, 2}),
    [](const testing::TestParamInfo<SizeCase>& info) { return std::string(info.param.name); });

}  // namespace
