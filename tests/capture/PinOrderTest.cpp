// Where the grabber sits on a camera with a preview pin as well as a capture pin, and on
// one with a capture pin alone: the first build asks for the preview pin with video,
// the format change for the preview pin with interleaved and only then for the capture
// pin with video. The graph the DLL built is walked from the grabber back to the camera.
#include <gtest/gtest.h>
#include <windows.h>
#include <dshow.h>

#include <string>
#include <vector>

#include "ComHolder.h"
#include "DllHostTest.h"
#include "GraphFaults.h"
#include "PropertyFrameDriver.h"
#include "QVDirectX.h"
#include "TestPicture.h"
#include "VirtualCameraDevices.h"
#include "VirtualCameraIds.h"

namespace {

constexpr wchar_t kCaptureFilterName[] = L"Capture Filter";

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

std::string CategoryOf(IPin* pin) {
  ComHolder<IKsPropertySet> properties;
  if (FAILED(pin->QueryInterface(IID_IKsPropertySet, properties.OutVoid())) || !properties) return "none";
  GUID category = GUID_NULL;
  DWORD returned = 0;
  if (FAILED(properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, sizeof category,
                             &returned)))
    return "none";
  if (IsEqualGUID(category, PIN_CATEGORY_PREVIEW)) return "Preview";
  if (IsEqualGUID(category, PIN_CATEGORY_CAPTURE)) return "Capture";
  return "other";
}

std::wstring FilterName(IBaseFilter* filter) {
  FILTER_INFO info = {};
  if (FAILED(filter->QueryFilterInfo(&info))) return L"?";
  if (info.pGraph) info.pGraph->Release();
  return info.achName;
}

bool IsClass(IBaseFilter* filter, const CLSID& clsid) {
  CLSID actual = GUID_NULL;
  return SUCCEEDED(filter->GetClassID(&actual)) && IsEqualGUID(actual, clsid);
}

// A filter by what it is: the camera by the name it was added under, the platform's
// filters by their class (the names the builder gives them are its own).
std::string Describe(IBaseFilter* filter) {
  if (IsClass(filter, qvvcam::CLSID_QvVirtualCamera)) return Narrow(FilterName(filter));
  if (IsClass(filter, CLSID_SmartTee)) return "Smart Tee";
  return "other";
}

ComHolder<IPin> InputPinOf(IBaseFilter* filter) {
  ComHolder<IEnumPins> pins;
  ComHolder<IPin> pin;
  if (FAILED(filter->EnumPins(pins.Out())) || !pins) return pin;
  while (pins->Next(1, pin.Out(), nullptr) == S_OK) {
    PIN_DIRECTION direction = PINDIR_OUTPUT;
    if (pin && SUCCEEDED(pin->QueryDirection(&direction)) && direction == PINDIR_INPUT) return pin;
  }
  pin.Reset();
  return pin;
}

// The way from the camera's pin to the grabber, e.g. "Capture Filter:Preview > Grabber"
// or "Capture Filter:Capture > Smart Tee:Preview > Grabber": each filter upstream of the
// grabber with the output pin that feeds the next one, the camera's pin by its category,
// the others by their names.
std::string WayToGrabber(IFilterGraph* graph) {
  ComHolder<IBaseFilter> filter;
  if (graph == nullptr || FAILED(graph->FindFilterByName(L"Grabber", filter.Out())) || !filter) return "no grabber";
  std::string way = "Grabber";
  for (int hop = 0; hop < 8; ++hop) {
    ComHolder<IPin> input = InputPinOf(filter);
    ComHolder<IPin> upstream;
    if (!input || FAILED(input->ConnectedTo(upstream.Out())) || !upstream) return "(unconnected) > " + way;
    PIN_INFO info = {};
    if (FAILED(upstream->QueryPinInfo(&info)) || info.pFilter == nullptr) return "? > " + way;
    filter.Reset();
    filter.Attach(info.pFilter);
    if (IsClass(filter, qvvcam::CLSID_QvVirtualCamera))
      return Describe(filter) + ":" + CategoryOf(upstream) + " > " + way;
    way = Describe(filter) + ":" + Narrow(info.achName) + " > " + way;
  }
  return "loop > " + way;
}

// Each pin of the camera by its category, with what it is connected to, e.g.
// "Capture: -, Preview: Grabber".
std::string CameraPins(IFilterGraph* graph) {
  ComHolder<IBaseFilter> camera;
  if (graph == nullptr || FAILED(graph->FindFilterByName(kCaptureFilterName, camera.Out())) || !camera)
    return "no camera";
  std::string text;
  ComHolder<IEnumPins> pins;
  ComHolder<IPin> pin;
  if (FAILED(camera->EnumPins(pins.Out())) || !pins) return "no pins";
  while (pins->Next(1, pin.Out(), nullptr) == S_OK) {
    if (!pin) continue;
    ComHolder<IPin> peer;
    std::string to = "-";
    if (SUCCEEDED(pin->ConnectedTo(peer.Out())) && peer) {
      PIN_INFO info = {};
      if (SUCCEEDED(peer->QueryPinInfo(&info)) && info.pFilter) {
        to = FilterName(info.pFilter) == L"Grabber" ? "Grabber" : Describe(info.pFilter);
        info.pFilter->Release();
      }
    }
    text += (text.empty() ? "" : ", ") + CategoryOf(pin) + ": " + to;
  }
  return text;
}

// How often the graph lists the camera (under any name).
int CameraEntries(const std::vector<std::wstring>& names) {
  int entries = 0;
  for (const std::wstring& name : names)
    if (name.rfind(kCaptureFilterName, 0) == 0) ++entries;
  return entries;
}

std::vector<std::string> RenderRequests(const std::vector<std::string>& calls, size_t from) {
  std::vector<std::string> requests;
  for (size_t i = from; i < calls.size(); ++i)
    if (calls[i].rfind("RenderStream", 0) == 0) requests.push_back(calls[i]);
  return requests;
}

// Grabs until a whole frame of the picture arrives; its size must be width x height.
bool WholeFrameOfSize(int32_t width, int32_t height) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < 5000) {
    int32_t w = 0, h = 0;
    DSCameraGetImageSize(&w, &h);
    if (w == width && h == height) {
      const size_t bytes = static_cast<size_t>(w) * h * 3;
      std::vector<unsigned char> frame(bytes, 0xA5);
      DSGrabFrame(frame.data());
      if (qvvcam::CheckRgb24Frame(frame.data(), bytes, w, h).status == qvvcam::FrameStatus::Ok) return true;
    }
    Sleep(20);
  }
  return false;
}

int Rgb24Entry(int width) { return width == 320 ? 0 : width == 640 ? 1 : -1; }

struct PinOrderCase {
  const char* camera;
  bool previewPin;
  const char* firstWay;     // where the grabber sits after the first build
  const char* firstPins;    // the camera's pins then
  const char* changedWay;   // after the format change
  const char* changedPins;
};

void PrintTo(const PinOrderCase& c, std::ostream* out) { *out << c.camera; }

class PinOrder : public qvtest::DllHostTest, public ::testing::WithParamInterface<PinOrderCase> {};

}  // namespace

TEST_P(PinOrder, GrabberFollowsThePreviewRequestFirstThenCapture) {
  const PinOrderCase& c = GetParam();
  qvtest::VirtualDevice device = qvtest::VirtualDevice::Named(L"Pins");
  device.previewPin = c.previewPin;
  qvtest::VirtualCameraDevices devices({device});
  ASSERT_TRUE(devices.Ok()) << devices.Error();
  qvtest::GraphFaults faults(qvtest::GraphFaultPlan{});
  // No fatal assertion once the DLL holds a graph: the teardown must run while the
  // stand-ins exist.
  EXPECT_EQ(1, DSCameraInit(0, host));
  IFilterGraph* graph = faults.LastGraph();
  const std::vector<std::string> first = {"RenderStream Preview Video"};
  EXPECT_EQ(first, RenderRequests(faults.Calls(), 0)) << "the first build: the preview request succeeds";
  EXPECT_EQ(c.firstWay, WayToGrabber(graph));
  EXPECT_EQ(c.firstPins, CameraPins(graph));
  DSCameraPlay();
  EXPECT_TRUE(WholeFrameOfSize(640, 480)) << "whole frames from the first build";

  // The capture pin's format page: 320x240 instead of the pins' 640x480.
  const size_t before = faults.Calls().size();
  qvtest::PropertyFrameAction choose([](HWND frame) {
    HWND combo = qvtest::FindDescendant(frame, qvvcam::kFormatPageComboId);
    EXPECT_TRUE(qvtest::SelectComboEntry(combo, Rgb24Entry(320)));
    qvtest::PressFrameButton(frame, IDOK);
  });
  EXPECT_EQ(1, DSResolution());
  choose.Join();
  EXPECT_TRUE(choose.SawFrame());
  const std::vector<std::string> change = {"RenderStream Preview Interleaved", "RenderStream Capture Video"};
  EXPECT_EQ(change, RenderRequests(faults.Calls(), before)) << "the format change";
  EXPECT_EQ(1, CameraEntries(faults.FilterNames())) << "the camera never left the graph: it is listed once";
  EXPECT_EQ(c.changedWay, WayToGrabber(graph));
  EXPECT_EQ(c.changedPins, CameraPins(graph));
  EXPECT_TRUE(WholeFrameOfSize(320, 240)) << "whole frames of the capture pin's new format";
  EXPECT_EQ(1, DSCameraUnInit()) << "while the stand-ins still exist";
}

INSTANTIATE_TEST_SUITE_P(
    Cameras, PinOrder,
    ::testing::Values(PinOrderCase{"PreviewAndCapture", true, "Capture Filter:Preview > Grabber",
                                   "Capture: -, Preview: Grabber", "Capture Filter:Capture > Grabber",
                                   "Capture: Grabber, Preview: -"},
                      // The platform's builder puts a Smart Tee after a lone capture pin for
                      // either request; the tee's output pin shows which request built it.
                      PinOrderCase{"CaptureOnly", false, "Capture Filter:Capture > Smart Tee:Preview > Grabber",
                                   "Capture: Smart Tee", "Capture Filter:Capture > Smart Tee:Capture > Grabber",
                                   "Capture: Smart Tee"}),
    [](const ::testing::TestParamInfo<PinOrderCase>& info) { return std::string(info.param.camera); });
