// 1080p NV12 and I420 to bottom-up BGR24 per kernel level, against the
// pixel-by-pixel reference, libyuv (a speed anchor only: its bytes differ from
// the exact formula) and a memcpy that reads 1.5 and writes 3 bytes a pixel;
// RGB32 to BGR24 against a memcpy that reads 4 and writes 3. The repetitions
// of all routes are interleaved at random so that a noisy neighbour affects
// them alike; the ratios at the end are taken from this one run, from the
// CPU time per frame: on a shared machine the wall time also counts the time
// the process waits for a core, which says nothing about the code.
//
//   planar_conversion_benchmark [Google Benchmark flags]
//   (default: --benchmark_repetitions=9 --benchmark_enable_random_interleaving=true
//    --benchmark_color=false)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "FrameFormats.h"
#include "PlanarConversions.h"
#include "PlanarKernels.h"
#include "ReferencePlanarConversion.h"

#ifdef QV_HAVE_LIBYUV
#include <libyuv/convert_argb.h>
#include <libyuv/convert_from_argb.h>
#endif

namespace {

namespace cv = qv::conversion;
using cv::FrameFormat;

constexpr int kWidth = 1920, kHeight = 1080;
constexpr std::size_t kPixels = static_cast<std::size_t>(kWidth) * kHeight;
constexpr std::size_t kChromaWidth = (kWidth + 1) / 2, kChromaPlane = kChromaWidth * ((kHeight + 1) / 2);

struct Frames {
  std::vector<unsigned char> nv12, i420, rgb32, destination;
};

Frames& Data() {
  static Frames frames = [] {
    Frames f;
    std::mt19937 random(1);
    const auto fill = [&](std::vector<unsigned char>& v, std::size_t n) {
      v.resize(n);
      // 0..254: the RGB32 memcpy route scans for 255 and must find none.
      for (unsigned char& b : v) b = static_cast<unsigned char>(random() % 255);
    };
    fill(f.nv12, cv::SourceFrameBytes(FrameFormat::Nv12, kWidth, kHeight));
    fill(f.i420, cv::SourceFrameBytes(FrameFormat::I420, kWidth, kHeight));
    fill(f.rgb32, cv::SourceFrameBytes(FrameFormat::Rgb32, kWidth, kHeight));
    f.destination.assign(kPixels * 3, 0);
    return f;
  }();
  return frames;
}

const std::vector<unsigned char>& SourceOf(FrameFormat format) {
  Frames& f = Data();
  return format == FrameFormat::Nv12 ? f.nv12 : format == FrameFormat::I420 ? f.i420 : f.rgb32;
}

void Register(const std::string& name, std::function<void()> route) {
  benchmark::RegisterBenchmark(name.c_str(), [route](benchmark::State& state) {
    for (auto _ : state) {
      route();
      benchmark::ClobberMemory();
    }
  })->Unit(benchmark::kMillisecond);
}

const char* Name(FrameFormat format) {
  return format == FrameFormat::Nv12 ? "NV12" : format == FrameFormat::I420 ? "I420" : "RGB32";
}

void RegisterFormat(FrameFormat format) {
  const std::string prefix = std::string(Name(format)) + "/";
  const unsigned char* s = SourceOf(format).data();
  unsigned char* d = Data().destination.data();
  Register(prefix + "reference", [=] { cv::ReferenceToRgb24(format, s, d, kWidth, kHeight); });
  for (cv::ConversionLevel level : cv::kAllLevels)
    if (cv::IsPlanarLevelAvailable(level))
      Register(prefix + cv::LevelName(level),
               [=] { cv::ConvertToRgb24WithLevel(level, format, s, d, kWidth, kHeight); });
#ifdef QV_HAVE_LIBYUV
  // A negative height makes libyuv write the rows bottom-up.
  if (format == FrameFormat::Nv12)
    Register(prefix + "libyuv",
             [=] { libyuv::NV12ToRGB24(s, kWidth, s + kPixels, 2 * kChromaWidth, d, kWidth * 3, kWidth, -kHeight); });
  else if (format == FrameFormat::I420)
    Register(prefix + "libyuv", [=] {
      libyuv::I420ToRGB24(s, kWidth, s + kPixels, kChromaWidth, s + kPixels + kChromaPlane, kChromaWidth, d, kWidth * 3,
                          kWidth, -kHeight);
    });
  else
    Register(prefix + "libyuv", [=] { libyuv::ARGBToRGB24(s, kWidth * 4, d, kWidth * 3, kWidth, kHeight); });
#endif
  if (format == FrameFormat::Rgb32) {
    Register(prefix + "memcpy", [=] {
      std::memcpy(d, s, kPixels * 3);
      if (std::memchr(s + kPixels * 3, 255, kPixels)) std::abort();
    });
  } else {
    const std::size_t half = kPixels * 3 / 2;
    Register(prefix + "memcpy", [=] {
      std::memcpy(d, s, half);
      std::memcpy(d + half, s, half);
    });
  }
}

// Records each repetition's time per route; shows only the aggregates.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    std::vector<Run> aggregates;
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred)
        times_[run.run_name.function_name].push_back(run.GetAdjustedCPUTime());
      else
        aggregates.push_back(run);
    }
    if (!aggregates.empty()) ConsoleReporter::ReportRuns(aggregates);
  }

  // Median and fastest repetition, in ms.
  bool Find(const std::string& name, double& median, double& best) const {
    const auto it = times_.find(name);
    if (it == times_.end() || it->second.empty()) return false;
    std::vector<double> v = it->second;
    std::sort(v.begin(), v.end());
    median = v[v.size() / 2];
    best = v.front();
    return true;
  }

 private:
  std::map<std::string, std::vector<double>> times_;
};

void PrintRatios(const RatioReporter& reporter, FrameFormat format) {
  const std::string prefix = std::string(Name(format)) + "/";
  double memMedian = 0, memBest = 0, yuvMedian = 0, yuvBest = 0, refMedian = 0, refBest = 0;
  const bool haveMem = reporter.Find(prefix + "memcpy", memMedian, memBest);
  const bool haveYuv = reporter.Find(prefix + "libyuv", yuvMedian, yuvBest);
  const bool haveRef = reporter.Find(prefix + "reference", refMedian, refBest);
  std::printf("\n%s -> BGR24 %dx%d, CPU ms per frame (median / fastest of the repetitions); ratios of medians\n",
              Name(format), kWidth, kHeight);
  std::printf("%-12s %8s %8s %10s %10s %10s\n", "route", "median", "fastest", "x/memcpy", "x/libyuv", "ref/x");
  std::vector<std::string> routes = {"reference"};
  for (cv::ConversionLevel level : cv::kAllLevels)
    if (cv::IsPlanarLevelAvailable(level)) routes.push_back(cv::LevelName(level));
  routes.push_back("libyuv");
  routes.push_back("memcpy");
  for (const std::string& route : routes) {
    double median = 0, best = 0;
    if (!reporter.Find(prefix + route, median, best)) continue;
    std::printf("%-12s %8.3f %8.3f", route.c_str(), median, best);
    haveMem ? std::printf(" %10.2f", median / memMedian) : std::printf(" %10s", "-");
    haveYuv ? std::printf(" %10.2f", median / yuvMedian) : std::printf(" %10s", "-");
    haveRef ? std::printf(" %10.1f\n", refMedian / median) : std::printf(" %10s\n", "-");
  }
  std::printf("shipped level: %s\n", cv::LevelName(cv::BestPlanarLevel()));
}

#ifdef QV_HAVE_LIBYUV
// How far libyuv's bytes are from the exact formula (why it is no reference).
void PrintLibyuvDifference(FrameFormat format) {
  const std::vector<unsigned char>& s = SourceOf(format);
  std::vector<unsigned char> exact(kPixels * 3), theirs(kPixels * 3);
  cv::ReferenceToRgb24(format, s.data(), exact.data(), kWidth, kHeight);
  if (format == FrameFormat::Nv12)
    libyuv::NV12ToRGB24(s.data(), kWidth, s.data() + kPixels, 2 * kChromaWidth, theirs.data(), kWidth * 3, kWidth,
                        -kHeight);
  else
    libyuv::I420ToRGB24(s.data(), kWidth, s.data() + kPixels, kChromaWidth, s.data() + kPixels + kChromaPlane,
                        kChromaWidth, theirs.data(), kWidth * 3, kWidth, -kHeight);
  std::size_t differ = 0;
  int most = 0;
  for (std::size_t i = 0; i < exact.size(); ++i) {
    const int diff = std::abs(exact[i] - theirs[i]);
    differ += diff != 0;
    most = std::max(most, diff);
  }
  std::printf("libyuv %s bytes that differ from the exact formula: %.1f%%, by at most %d\n", Name(format),
              100.0 * static_cast<double>(differ) / static_cast<double>(exact.size()), most);
}
#endif

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> args(argv, argv + argc);
  static char repetitions[] = "--benchmark_repetitions=9";
  static char interleave[] = "--benchmark_enable_random_interleaving=true";
  static char plain[] = "--benchmark_color=false";
  if (argc == 1) {
    args.push_back(repetitions);
    args.push_back(interleave);
    args.push_back(plain);
  }
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  for (FrameFormat format : {FrameFormat::Nv12, FrameFormat::I420, FrameFormat::Rgb32}) RegisterFormat(format);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  for (FrameFormat format : {FrameFormat::Nv12, FrameFormat::I420, FrameFormat::Rgb32}) PrintRatios(reporter, format);
#ifdef QV_HAVE_LIBYUV
  PrintLibyuvDifference(FrameFormat::Nv12);
  PrintLibyuvDifference(FrameFormat::I420);
#else
  std::printf("(libyuv not found at build time: no libyuv routes)\n");
#endif
  benchmark::Shutdown();
  return 0;
}
