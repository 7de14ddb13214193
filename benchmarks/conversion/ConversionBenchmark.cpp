// Per-frame time of the YUY2 conversion routes at three frame sizes, with
// ratios taken within this one run. Hot: the same frame converted again and
// again. Cold: a 64 MiB buffer is written between calls so that source and
// destination come from memory. The machine is shared, so each figure is
// given as the fastest batch (what the code costs when left alone) and as
// the median batch; the ratios use the fastest.
//
//   conversion_benchmark [rounds]     (default 15)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "ConversionKernels.h"
#include "PixelConversions.h"
#include "ReferenceConversion.h"

#ifdef QV_HAVE_LIBYUV
#include <libyuv/convert_argb.h>
#include <libyuv/convert_from_argb.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;
namespace cv = qv::conversion;

struct Route {
  std::string name;
  std::function<void()> run;
};

volatile unsigned char g_sink;

void Evict(std::vector<unsigned char>& junk) {
  for (std::size_t i = 0; i < junk.size(); i += 64) junk[i] = static_cast<unsigned char>(junk[i] + 1);
  g_sink = junk[junk.size() / 2];
}

struct Timing {
  double best, median;  // ms per frame
};

Timing Summarise(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return {v.front(), v[v.size() / 2]};
}

// Milliseconds per frame over `rounds` batches; the routes take turns in
// each round so that a noisy neighbour affects them alike.
std::vector<Timing> Measure(const std::vector<Route>& routes, int rounds, int iterations, bool cold,
                            std::vector<unsigned char>& junk) {
  std::vector<std::vector<double>> times(routes.size());
  for (const Route& r : routes) r.run();  // warm up, fault the pages in
  for (int round = 0; round < rounds; ++round) {
    for (std::size_t i = 0; i < routes.size(); ++i) {
      double total = 0;
      for (int it = 0; it < iterations; ++it) {
        if (cold) Evict(junk);
        const auto start = Clock::now();
        routes[i].run();
        total += std::chrono::duration<double, std::milli>(Clock::now() - start).count();
      }
      times[i].push_back(total / iterations);
    }
  }
  std::vector<Timing> result;
  for (auto& t : times) result.push_back(Summarise(t));
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  struct Size {
    int width, height;
  };
  const Size sizes[] = {{640, 480}, {1280, 720}, {1920, 1080}};
  std::vector<unsigned char> junk(64u << 20, 1);

  std::printf("YUY2 -> bottom-up BGR24, ms per frame (fastest and median of %d batches); best level on this CPU: %s\n",
              rounds, cv::LevelName(cv::BestSupportedLevel()));
#ifndef QV_HAVE_LIBYUV
  std::printf("(libyuv not found at build time: no libyuv row)\n");
#endif
  for (const Size& size : sizes) {
    const int w = size.width, h = size.height;
    const std::size_t pixels = static_cast<std::size_t>(w) * h;
    std::vector<unsigned char> source(pixels * 2), destination(pixels * 3);
    std::mt19937 random(1);
    for (unsigned char& b : source) b = static_cast<unsigned char>(random());
    std::vector<unsigned char> argbRow(static_cast<std::size_t>(w) * 4);

    std::vector<Route> routes;
    routes.push_back(
        {"three-pass reference", [&] { cv::ReferenceYUV422ToRGB24(source.data(), destination.data(), w, h, 1); }});
    for (cv::ConversionLevel level : cv::kAllLevels) {
      if (!cv::IsLevelSupported(level)) continue;
      routes.push_back({std::string("fused ") + cv::LevelName(level),
                        [&, level] { cv::ConvertWithLevel(level, source.data(), destination.data(), w, h, 1); }});
    }
    routes.push_back({"YUV422ToRGB24 (shipped)", [&] { YUV422ToRGB24(source.data(), destination.data(), w, h, 1); }});
#ifdef QV_HAVE_LIBYUV
    // Row by row through a cached ARGB row, written bottom-up.
    routes.push_back({"libyuv YUY2ToARGB+ARGBToRGB24", [&] {
                        for (int r = 0; r < h; ++r) {
                          libyuv::YUY2ToARGB(source.data() + static_cast<std::size_t>(r) * w * 2, w * 2, argbRow.data(),
                                             w * 4, w, 1);
                          libyuv::ARGBToRGB24(argbRow.data(), w * 4,
                                              destination.data() + static_cast<std::size_t>(h - 1 - r) * w * 3, w * 3,
                                              w, 1);
                        }
                      }});
#endif
    routes.push_back({"memcpy (read 2, write 3 B/px)", [&] {
                        std::memcpy(destination.data(), source.data(), pixels * 2);
                        std::memcpy(destination.data() + pixels * 2, source.data(), pixels);
                      }});

    const int iterations = std::max(2, static_cast<int>(6'000'000 / pixels));
    const std::vector<Timing> hot = Measure(routes, rounds, iterations, false, junk);
    const std::vector<Timing> cold = Measure(routes, rounds, 2, true, junk);

    const auto find = [&](const std::string& name) {
      for (std::size_t i = 0; i < routes.size(); ++i)
        if (routes[i].name == name) return i;
      return routes.size() - 1;
    };
    const std::size_t iRef = 0, iMemcpy = routes.size() - 1;
    const std::size_t iShipped = find("YUV422ToRGB24 (shipped)");
    const std::size_t iYuv = find("libyuv YUY2ToARGB+ARGBToRGB24");
    std::printf("\n%dx%d\n", w, h);
    std::printf("%-30s %8s %8s %7s %8s %8s | %8s %8s %8s %8s\n", "route", "hot best", "median", "ref/x", "x/libyuv",
                "x/memcpy", "cold bst", "median", "x/libyuv", "x/memcpy");
    for (std::size_t i = 0; i < routes.size(); ++i) {
      std::printf("%-30s %8.3f %8.3f %6.1fx %8.2f %8.2f | %8.3f %8.3f %8.2f %8.2f\n", routes[i].name.c_str(),
                  hot[i].best, hot[i].median, hot[iRef].best / hot[i].best, hot[i].best / hot[iYuv].best,
                  hot[i].best / hot[iMemcpy].best, cold[i].best, cold[i].median, cold[i].best / cold[iYuv].best,
                  cold[i].best / cold[iMemcpy].best);
    }
    std::printf(
        "shipped (hot, fastest batches): %.1fx faster than the reference, %.2fx the libyuv time, %.2fx the "
        "memcpy time\n",
        hot[iRef].best / hot[iShipped].best, hot[iShipped].best / hot[iYuv].best,
        hot[iShipped].best / hot[iMemcpy].best);
  }
  return 0;
}
