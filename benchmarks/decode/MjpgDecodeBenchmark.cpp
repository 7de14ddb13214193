// The Motion-JPEG decode of a 1920x1080 4:2:2 frame (quality 85, photo-like content):
// the decoder, which decodes into its own buffer and copies the frame out only when the
// decode was clean, against libjpeg-turbo's bare decode of the same bytes straight into
// a bottom-up BGR buffer (same output, row pointers, no copy). Also timed: the copy-out
// alone, and one memcpy of the compressed bytes (the streaming thread's work per frame).
//
// Repetitions run interleaved in random order so a busy neighbour hits all routes alike;
// the ratios use the medians of CPU time from this one run.
//   mjpg_decode_benchmark [Google Benchmark flags]
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "BareJpegDecoder.h"
#include "MjpgDecoder.h"
#include "MjpgTestFrames.h"

namespace {

constexpr int kWidth = 1920, kHeight = 1080;
constexpr size_t kFrameBytes = size_t{kWidth} * kHeight * 3;
using mjpgtest::Bytes;

// Smooth shading, textures of several scales, hard edges and sensor noise: compresses
// about as a camera picture does, so the entropy decoder has real work.
Bytes PhotoLikeRgb() {
  Bytes rgb(kFrameBytes);
  uint32_t noise = 2463534242u;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      noise ^= noise << 13;
      noise ^= noise >> 17;
      noise ^= noise << 5;
      const double shade = 90 + 60 * std::sin(x * 0.004) * std::cos(y * 0.006);
      const double texture = 25 * std::sin(x * 0.21 + y * 0.05) * std::sin(y * 0.13) + 12 * std::sin((x + 2 * y) * 0.9);
      const bool object = (x / 240 + y / 180) % 3 == 0;
      const int grain = static_cast<int>(noise % 17) - 8;
      const double base = shade + texture + (object ? 55 : 0);
      const int channels[3] = {static_cast<int>(base + 30 * std::sin(y * 0.01)) + grain, static_cast<int>(base) + grain,
                               static_cast<int>(base - (object ? 40 : -20)) + grain};
      for (int c = 0; c < 3; ++c) {
        rgb[(static_cast<size_t>(y) * kWidth + x) * 3 + c] = static_cast<uint8_t>(channels[c] < 0     ? 0
                                                                                  : channels[c] > 255 ? 255
                                                                                                      : channels[c]);
      }
    }
  }
  return rgb;
}

Bytes EncodeQuality85(const Bytes& rgb) {
  mjpgtest::EncodeOptions options;
  options.sampling = mjpgtest::Sampling::k422;
  options.quality = 85;
  return mjpgtest::Encode(rgb, kWidth, kHeight, options);
}

struct Setup {
  Bytes jpeg = EncodeQuality85(PhotoLikeRgb());
  Bytes destination = Bytes(kFrameBytes, 0);
  Bytes scratch = Bytes(kFrameBytes, 0);
  Bytes sample = Bytes(jpeg.size(), 0);
  qv::MjpgDecoder decoder;
  mjpgtest::BareJpegDecoder bare;
};

Setup& Shared() {
  static Setup setup;
  return setup;
}

void DecoderModule(benchmark::State& state) {
  Setup& s = Shared();
  for (auto _ : state) {
    const qv::MjpgDecodeResult result =
        s.decoder.DecodeToBottomUpBgr(s.jpeg.data(), s.jpeg.size(), kWidth, kHeight, s.destination.data());
    if (!result.IsDecoded()) state.SkipWithError(qv::Describe(result));
    benchmark::DoNotOptimize(s.destination.data());
    benchmark::ClobberMemory();
  }
}

void BareLibjpegTurbo(benchmark::State& state) {
  Setup& s = Shared();
  for (auto _ : state) {
    s.bare.Decode(s.jpeg, s.destination.data());
    benchmark::DoNotOptimize(s.destination.data());
    benchmark::ClobberMemory();
  }
}

void FrameCopyOut(benchmark::State& state) {
  Setup& s = Shared();
  for (auto _ : state) {
    std::memcpy(s.destination.data(), s.scratch.data(), kFrameBytes);
    benchmark::DoNotOptimize(s.destination.data());
    benchmark::ClobberMemory();
  }
}

void CompressedSampleCopy(benchmark::State& state) {
  Setup& s = Shared();
  for (auto _ : state) {
    std::memcpy(s.sample.data(), s.jpeg.data(), s.jpeg.size());
    benchmark::DoNotOptimize(s.sample.data());
    benchmark::ClobberMemory();
  }
}

BENCHMARK(DecoderModule)->Unit(benchmark::kMicrosecond);
BENCHMARK(BareLibjpegTurbo)->Unit(benchmark::kMicrosecond);
BENCHMARK(FrameCopyOut)->Unit(benchmark::kMicrosecond);
BENCHMARK(CompressedSampleCopy)->Unit(benchmark::kMicrosecond);

// Keeps the median CPU time of each benchmark, in microseconds.
class MedianCollector : public benchmark::ConsoleReporter {
 public:
  MedianCollector() : ConsoleReporter(OO_None) {}  // plain text: the figures get read from logs
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        medians[run.run_name.function_name] = run.GetAdjustedCPUTime();
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> medians;
};

}  // namespace

int main(int argc, char** argv) {
  // Defaults first; flags given on the command line come later and win.
  std::vector<char*> args = {argv[0]};
  std::string defaults[] = {"--benchmark_repetitions=15", "--benchmark_enable_random_interleaving=true",
                            "--benchmark_report_aggregates_only=true", "--benchmark_min_time=0.2"};
  for (std::string& d : defaults) args.push_back(&d[0]);
  for (int i = 1; i < argc; ++i) args.push_back(argv[i]);
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;

  // Both routes must give the very same frame, or the comparison means nothing.
  Setup& s = Shared();
  Bytes viaModule(kFrameBytes, 1), viaBare(kFrameBytes, 2);
  if (!s.decoder.DecodeToBottomUpBgr(s.jpeg.data(), s.jpeg.size(), kWidth, kHeight, viaModule.data()).IsDecoded()) {
    std::fprintf(stderr, "the decoder refused the benchmark frame\n");
    return 1;
  }
  s.bare.Decode(s.jpeg, viaBare.data());
  std::printf("1920x1080 4:2:2 q85 frame: %zu compressed bytes; decoder and bare libjpeg-turbo outputs %s\n",
              s.jpeg.size(), viaModule == viaBare ? "identical" : "DIFFER");
  if (viaModule != viaBare) return 1;

  MedianCollector reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const auto median = [&](const char* name) {
    auto it = reporter.medians.find(name);
    return it == reporter.medians.end() ? 0.0 : it->second;
  };
  const double module = median("DecoderModule"), bare = median("BareLibjpegTurbo");
  const double copyOut = median("FrameCopyOut"), sample = median("CompressedSampleCopy");
  if (module <= 0 || bare <= 0) return 0;  // filtered out
  std::printf("\nmedians of CPU time, this run:\n");
  std::printf("  decoder / bare libjpeg-turbo decode: %.3fx (%.0f us / %.0f us; target <= 1.15x)\n", module / bare,
              module, bare);
  if (copyOut > 0) std::printf("  frame copy-out alone: %.0f us = %.3fx the bare decode\n", copyOut, copyOut / bare);
  if (sample > 0) {
    std::printf("  memcpy of the %zu compressed bytes (streaming thread): %.1f us = %.4fx the bare decode\n",
                s.jpeg.size(), sample, sample / bare);
  }
  return 0;
}
