// Prints what recording a frame (the buffer callback's work on the streaming thread)
// and grabbing it (the host's copy out of the store) cost, each as a ratio to one
// memcpy of the same frame measured in the same run.
//
// The three operations are timed in turns, round after round, so that all of them see
// the same machine load; each figure is the median over the rounds.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "FrameStore.h"

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

template <typename F>
double TimeOnce(F&& f, int reps) {
  auto start = Clock::now();
  for (int i = 0; i < reps; ++i) f();
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / reps;
}

struct Size {
  const char* name;
  size_t width, height;
};

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::max(3, std::atoi(argv[1])) : 31;
  const Size sizes[] = {{"640x480", 640, 480}, {"1280x720", 1280, 720}, {"1920x1080", 1920, 1080}};
  std::printf("RGB24 frames, median of %d rounds, microseconds per frame\n", rounds);
  std::printf("%-10s %10s %10s %10s %12s %12s\n", "size", "memcpy", "record", "grab", "record/memcpy", "grab/memcpy");
  for (const Size& s : sizes) {
    const size_t rowBytes = s.width * 3, bytes = rowBytes * s.height;
    std::vector<unsigned char> delivered(bytes, 0x5A), destination(bytes, 0), copyTarget(bytes, 0);
    qv::FrameStore store;
    if (!store.Configure(rowBytes, s.height, (rowBytes + 3) & ~static_cast<size_t>(3))) return 1;
    store.Publish(delivered.data(), bytes);
    const int reps = s.width >= 1920 ? 20 : 50;
    std::vector<double> copy, record, grab;
    volatile unsigned char sink = 0;
    for (int r = 0; r < rounds; ++r) {
      copy.push_back(TimeOnce(
          [&] {
            std::memcpy(copyTarget.data(), delivered.data(), bytes);
            sink = copyTarget[bytes / 2];
          },
          reps));
      record.push_back(TimeOnce(
          [&] {
            if (!store.Publish(delivered.data(), bytes)) std::abort();
          },
          reps));
      grab.push_back(TimeOnce(
          [&] {
            store.ReadNewest([&](const uint8_t* frame, size_t n) { std::memcpy(destination.data(), frame, n); });
            sink = destination[bytes / 2];
          },
          reps));
    }
    const double m = Median(copy), rec = Median(record), g = Median(grab);
    std::printf("%-10s %10.1f %10.1f %10.1f %12.2fx %12.2fx\n", s.name, m, rec, g, rec / m, g / m);
  }
  return 0;
}
