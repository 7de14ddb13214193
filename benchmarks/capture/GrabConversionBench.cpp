// The cost of a packed-YUV grab through the DLL at 1920x1080, against a plain copy of
// the same bytes (read 2, write 3 bytes a pixel), measured in one process: batches of
// grabs and of copies take turns, and each figure is the median batch. Then the same
// kernels called directly, level by level, so a slow grab can be told apart from a slow
// kernel. Run by scripts/bench-conversion-wine.sh for both bitnesses.
//
//   bench_grab_conversion.exe [calls]     (default 101 of each)
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "ConversionKernels.h"
#include "PropertyFrameDriver.h"
#include "QVDirectX.h"
#include "VirtualCameraDevices.h"
#include "VirtualCameraIds.h"

namespace {

namespace cv = qv::conversion;

constexpr int kWidth = 1920, kHeight = 1080;

double NowMs() {
  LARGE_INTEGER t, f;
  QueryPerformanceCounter(&t);
  QueryPerformanceFrequency(&f);
  return t.QuadPart * 1000.0 / f.QuadPart;
}

struct Timing {
  double median, fastest;  // ms per call
};

Timing Summarise(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return {v[v.size() / 2], v.front()};
}

// Each job timed call by call, the jobs taking turns so that a busy neighbour slows
// them alike; the median call and the fastest call of each.
std::vector<Timing> Measure(const std::vector<std::function<void()>>& jobs, int calls) {
  std::vector<std::vector<double>> times(jobs.size());
  for (const auto& job : jobs) job();  // warm up, fault the pages in
  for (int call = 0; call < calls; ++call) {
    for (size_t i = 0; i < jobs.size(); ++i) {
      const double start = NowMs();
      jobs[i]();
      times[i].push_back(NowMs() - start);
    }
  }
  std::vector<Timing> result;
  for (auto& t : times) result.push_back(Summarise(t));
  return result;
}

// Each SIMD level's kernel called directly on the first `rows` rows, against a copy of
// the same bytes.
void KernelTable(const std::vector<unsigned char>& source, std::vector<unsigned char>& destination, int rows,
                 int calls) {
  const size_t pixels = static_cast<size_t>(kWidth) * rows;
  std::vector<std::function<void()>> jobs{[&] {
    std::memcpy(destination.data(), source.data(), pixels * 2);
    std::memcpy(destination.data() + pixels * 2, source.data(), pixels);
  }};
  std::vector<cv::ConversionLevel> levels;
  for (cv::ConversionLevel level : cv::kAllLevels) {
    if (level == cv::ConversionLevel::Scalar || !cv::IsLevelSupported(level)) continue;
    levels.push_back(level);
    jobs.push_back([&, level] { cv::ConvertWithLevel(level, source.data(), destination.data(), kWidth, rows, 1); });
  }
  const std::vector<Timing> t = Measure(jobs, calls);
  std::printf("kernels called directly, YUY2 %dx%d, hot: copy %.4f (%.4f) ms\n", kWidth, rows, t[0].median,
              t[0].fastest);
  for (size_t i = 0; i < levels.size(); ++i) {
    const Timing& k = t[i + 1];
    std::printf("  %-12s %8.4f (%.4f) ms   kernel/copy %.2f (%.2f)\n", cv::LevelName(levels[i]), k.median, k.fastest,
                k.median / t[0].median, k.fastest / t[0].fastest);
    std::printf("KERNEL %d %d %s %.5f %.5f\n", static_cast<int>(sizeof(void*) * 8), rows, cv::LevelName(levels[i]),
                k.median, k.fastest);
  }
}

// The format page's entries come in the pin's order: four sizes per pixel format.
bool ChooseFormat(int entry) {
  qvtest::PropertyFrameAction action([&](HWND frame) {
    qvtest::SelectComboEntry(qvtest::FindDescendant(frame, qvvcam::kFormatPageComboId), entry);
    qvtest::PressFrameButton(frame, IDOK);
  });
  DSResolution();
  action.Join();
  int32_t width = 0, height = 0;
  DSCameraGetImageSize(&width, &height);
  return action.SawFrame() && width == kWidth && height == kHeight;
}

bool WaitForFrame(std::vector<unsigned char>& frame) {
  std::fill(frame.begin(), frame.end(), 0x5A);
  const double start = NowMs();
  while (NowMs() - start < 5000) {
    DSGrabFrame(frame.data());
    if (std::any_of(frame.begin(), frame.end(), [](unsigned char b) { return b != 0x5A; })) return true;
    Sleep(5);
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  const int calls = argc > 1 ? std::max(3, std::atoi(argv[1])) : 101;
  const int bits = static_cast<int>(sizeof(void*) * 8);
  const size_t pixels = static_cast<size_t>(kWidth) * kHeight;
  std::vector<unsigned char> source(pixels * 2), destination(pixels * 3);
  for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<unsigned char>(i * 2654435761u >> 13);
  const auto copy = [&] {
    std::memcpy(destination.data(), source.data(), pixels * 2);
    std::memcpy(destination.data() + pixels * 2, source.data(), pixels);
  };

  std::printf("%d-bit, conversion level %s, 1920x1080, ms per call: median (fastest) of %d calls\n", bits,
              cv::LevelName(cv::BestSupportedLevel()), calls);
  CoInitialize(nullptr);
  int status = 0;
  {
    qvtest::VirtualCameraDevices devices({qvtest::VirtualDevice::Named(L"QV Bench Camera")});
    if (!devices.Ok()) {
      std::printf("could not register the virtual camera: %s\n", devices.Error().c_str());
      return 1;
    }
    DSCameraInit(0, nullptr);
    DSCameraPlay();
    struct Format {
      const char* name;
      int entry;
    };
    for (const Format& format : {Format{"YUY2", 1 * 4 + 3}, Format{"UYVY", 2 * 4 + 3}}) {
      if (!ChooseFormat(format.entry) || !WaitForFrame(destination)) {
        std::printf("%s 1920x1080 could not be chosen or delivered no frame\n", format.name);
        status = 1;
        continue;
      }
      // Timed with the graph stopped: the grab still converts the last recorded frame, and
      // the streaming thread's own frame copies no longer disturb the figures.
      DSCameraStop();
      const std::vector<Timing> t = Measure({[&] { DSGrabFrame(destination.data()); }, copy}, calls);
      DSCameraPlay();
      std::printf("grab %s through the DLL %7.3f (%.3f) ms   copy %7.3f (%.3f) ms   grab/copy %.2f (%.2f)\n",
                  format.name, t[0].median, t[0].fastest, t[1].median, t[1].fastest, t[0].median / t[1].median,
                  t[0].fastest / t[1].fastest);
      // For the script: bits, format, grab and copy medians, grab and copy fastest.
      std::printf("RESULT %d %s %.4f %.4f %.4f %.4f\n", bits, format.name, t[0].median, t[1].median, t[0].fastest,
                  t[1].fastest);
    }
    DSCameraUnInit();
  }
  CoUninitialize();

  // The kernels on their own, hot: at 1080p the memory sets the pace; a strip of 32 rows
  // stays in the core's cache and shows what the instructions cost.
  KernelTable(source, destination, kHeight, calls);
  KernelTable(source, destination, 32, calls * 10);
  return status;
}
