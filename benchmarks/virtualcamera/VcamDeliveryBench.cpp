// How much of a frame period the virtual camera's streaming thread spends on its own
// work (drawing the picture into the sample and stamping it) at 1920x1080, measured in
// one run: the picture generator alone, and inside a running capture graph.
#include <windows.h>

#include <cstdio>
#include <vector>

#include "QvCameraSettings.h"
#include "TestPicture.h"
#include "VcamTestSupport.h"

using namespace vcamtest;

namespace {

constexpr double kTargetMs = 2.0;

double GenerateMs(const qvvcam::FrameFormat& format, int frames) {
  const qvvcam::TestPicture picture(format);
  std::vector<uint8_t> buffer(qvvcam::FrameCapacity(format));
  picture.Generate(0, buffer.data(), buffer.size());  // warm
  LARGE_INTEGER f, a, b;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&a);
  for (int i = 1; i <= frames; ++i) picture.Generate(static_cast<uint32_t>(i), buffer.data(), buffer.size());
  QueryPerformanceCounter(&b);
  return (b.QuadPart - a.QuadPart) * 1000.0 / f.QuadPart / frames;
}

struct GraphRun {
  bool ok = false;
  unsigned long frames = 0;
  double workMs = 0;
  double seconds = 0;
};

GraphRun RunGraph(const qvvcam::FrameFormat& format, DWORD ms) {
  GraphRun run;
  ComHolder<IBaseFilter> filter;
  if (BindVideoInput(0, filter.Out()) != S_OK || SetPinFormat(filter.Get(), format) != S_OK) return run;
  ComHolder<IQvCameraSettings> settings;
  if (FAILED(filter->QueryInterface(qvvcam::IID_IQvCameraSettings, settings.OutVoid()))) return run;
  CaptureGraph graph;
  if (graph.AddSource(filter.Get()) != S_OK || graph.AddGrabber(Subtype(format.pixel), nullptr) != S_OK ||
      FAILED(graph.RenderToNull()))
    return run;
  ULONG frames0 = 0;
  ULONGLONG work0 = 0, frequency = 1;
  settings->GetStatistics(&frames0, &work0, &frequency);
  LARGE_INTEGER f, a, b;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&a);
  graph.Run();
  Sleep(ms);
  graph.Stop();
  QueryPerformanceCounter(&b);
  ULONG frames1 = 0;
  ULONGLONG work1 = 0;
  settings->GetStatistics(&frames1, &work1, &frequency);
  graph.TearDown();
  run.ok = frames1 > frames0;
  run.frames = frames1 - frames0;
  run.workMs = run.frames ? (work1 - work0) * 1000.0 / frequency / run.frames : 0;
  run.seconds = (b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
  return run;
}

}  // namespace

int main() {
  ComApartment com;
  qvtest::VirtualCameraDevices devices({qvtest::VirtualDevice::Named(L"QV Bench Camera")});
  if (!devices.Ok()) {
    fprintf(stderr, "device registration failed: %s\n", devices.Error().c_str());
    return 1;
  }
  const qvvcam::FrameFormat formats[] = {{qvvcam::PixelFormat::Rgb24, 1920, 1080},
                                         {qvvcam::PixelFormat::Yuy2, 1920, 1080},
                                         {qvvcam::PixelFormat::Mjpg, 1920, 1080}};
  printf("virtual camera, 1920x1080, per frame (target %.1f ms of the 33.3 ms period)\n", kTargetMs);
  printf("%-6s | %-22s | %-30s | %-8s | %s\n", "format", "Generate alone (hot)", "streaming thread work in graph",
         "frames", "work / target");
  for (const qvvcam::FrameFormat& format : formats) {
    const double alone = GenerateMs(format, 100);
    const GraphRun run = RunGraph(format, 3000);
    if (!run.ok) {
      printf("%-6s | %17.3f ms | graph failed\n", qvvcam::PixelFormatName(format.pixel), alone);
      continue;
    }
    printf("%-6s | %17.3f ms | %25.3f ms | %4lu/%2.0fs | %.2f\n", qvvcam::PixelFormatName(format.pixel), alone,
           run.workMs, run.frames, run.seconds, run.workMs / kTargetMs);
  }
  return 0;
}
