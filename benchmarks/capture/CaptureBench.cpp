// Prints, in one run: the time from opening a camera to the first frame through the
// library and through a minimal program using the same platform filters, and the frame
// rate that reaches DSGrabFrame at 1920x1080 RGB24.
#include <windows.h>
#include <dshow.h>
#include <qedit.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

#include "DirectShowIds.h"
#include "PropertyFrameDriver.h"
#include "QVDirectX.h"
#include "VirtualCameraDevices.h"
#include "VirtualCameraIds.h"

namespace {

double NowMs() {
  LARGE_INTEGER t, f;
  QueryPerformanceCounter(&t);
  QueryPerformanceFrequency(&f);
  return t.QuadPart * 1000.0 / f.QuadPart;
}

class FirstFrame : public ISampleGrabberCB {
 public:
  std::atomic<bool> seen{false};
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_ISampleGrabberCB) {
      *out = this;
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP SampleCB(double, IMediaSample*) override { return S_OK; }
  STDMETHODIMP BufferCB(double, BYTE*, long) override {
    seen = true;
    return S_OK;
  }
};

// The same filters as the library, built by a minimal program; ms to the first frame.
double BarePlatformFirstFrame(bool placeWindow) {
  double start = NowMs();
  ICaptureGraphBuilder2* builder = nullptr;
  IGraphBuilder* graph = nullptr;
  CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                   reinterpret_cast<void**>(&builder));
  CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                   reinterpret_cast<void**>(&graph));
  builder->SetFiltergraph(graph);
  ICreateDevEnum* devices = nullptr;
  IEnumMoniker* monikers = nullptr;
  IMoniker* moniker = nullptr;
  IBaseFilter* source = nullptr;
  CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                   reinterpret_cast<void**>(&devices));
  devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0);
  monikers->Next(1, &moniker, nullptr);
  moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(&source));
  graph->AddFilter(source, L"Capture Filter");
  ISampleGrabber* grabber = nullptr;
  IBaseFilter* grabberFilter = nullptr;
  CoCreateInstance(qv::CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_ISampleGrabber,
                   reinterpret_cast<void**>(&grabber));
  grabber->QueryInterface(IID_IBaseFilter, reinterpret_cast<void**>(&grabberFilter));
  AM_MEDIA_TYPE type = {};
  type.majortype = MEDIATYPE_Video;
  type.subtype = MEDIASUBTYPE_RGB24;
  grabber->SetMediaType(&type);
  graph->AddFilter(grabberFilter, L"Grabber");
  builder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, source, grabberFilter, nullptr);
  FirstFrame callback;
  grabber->SetCallback(&callback, 1);
  if (placeWindow) {  // what the library does to keep the renderer hidden
    IVideoWindow* window = nullptr;
    graph->QueryInterface(IID_IVideoWindow, reinterpret_cast<void**>(&window));
    window->put_Owner(0);
    window->put_WindowStyle(0x80);
    window->SetWindowPosition(0, 0, 1, 1);
    window->put_Visible(OAFALSE);
    window->Release();
  }
  IMediaControl* control = nullptr;
  graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control));
  control->Run();
  while (!callback.seen && NowMs() - start < 5000) Sleep(1);
  double elapsed = NowMs() - start;
  control->Stop();
  control->Release();
  grabber->SetCallback(nullptr, 1);
  for (IUnknown* p : std::initializer_list<IUnknown*>{grabberFilter, grabber, source, moniker, monikers, devices}) {
    if (p) p->Release();
  }
  graph->Release();
  builder->Release();
  return elapsed;
}

// DSCameraInit to the first frame DSGrabFrame returns.
double LibraryFirstFrame() {
  double start = NowMs();
  DSCameraInit(0, nullptr);
  DSCameraPlay();
  int32_t width = 0, height = 0;
  DSCameraGetImageSize(&width, &height);
  std::vector<unsigned char> frame(static_cast<size_t>(width) * height * 3, 0x5A);
  const std::vector<unsigned char> untouched = frame;
  while (frame == untouched && NowMs() - start < 5000) {
    DSGrabFrame(frame.data());
    if (frame == untouched) Sleep(1);
  }
  double elapsed = NowMs() - start;
  DSCameraUnInit();
  return elapsed;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main() {
  CoInitialize(nullptr);
  {
    qvtest::VirtualCameraDevices devices({qvtest::VirtualDevice::Named(L"QV Bench Camera")});
    if (!devices.Ok()) {
      std::printf("could not register the virtual camera: %s\n", devices.Error().c_str());
      return 1;
    }
    std::vector<double> bare, bareHidden, library;
    for (int i = 0; i < 9; ++i) {  // interleaved, so load changes hit all alike
      bare.push_back(BarePlatformFirstFrame(false));
      bareHidden.push_back(BarePlatformFirstFrame(true));
      library.push_back(LibraryFirstFrame());
    }
    double b = Median(bare), h = Median(bareHidden), l = Median(library);
    std::printf("open to first frame, 640x480 RGB24, median of 9:\n");
    std::printf("  bare platform graph                      %8.1f ms\n", b);
    std::printf("  bare graph, renderer window placed too   %8.1f ms\n", h);
    std::printf(
        "  QVDirectX                                %8.1f ms   ratio %.2f to bare (target <= 1.20), %.2f to "
        "bare with window\n",
        l, l / b, l / h);

    // 1920x1080 RGB24, chosen on the format page as a user would.
    DSCameraInit(0, nullptr);
    DSCameraPlay();
    {
      qvtest::PropertyFrameAction action([](HWND frame) {
        qvtest::SelectComboEntry(qvtest::FindDescendant(frame, qvvcam::kFormatPageComboId), 3);
        qvtest::PressFrameButton(frame, IDOK);
      });
      DSResolution();
    }
    int32_t width = 0, height = 0;
    DSCameraGetImageSize(&width, &height);
    std::vector<unsigned char> frame(static_cast<size_t>(width) * height * 3), previous(frame.size());
    DSGrabFrame(previous.data());
    int fresh = 0;
    double start = NowMs();
    while (NowMs() - start < 3000) {
      DSGrabFrame(frame.data());
      // The stamp band sits in the top rows: compare the last rows of the bottom-up frame.
      size_t tail = static_cast<size_t>(width) * 3 * 8;
      if (std::equal(frame.end() - tail, frame.end(), previous.end() - tail) == false) {
        ++fresh;
        frame.swap(previous);
      }
    }
    double seconds = (NowMs() - start) / 1000.0;
    std::printf("frames reaching DSGrabFrame at %dx%d RGB24: %.1f per second (target >= 29)\n", width, height,
                fresh / seconds);
    DSCameraUnInit();
  }
  CoUninitialize();
  return 0;
}
