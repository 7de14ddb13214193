// Devices as registered: the list the system device enumerator gives, registration with
// regsvr32, and each device variant (unplugged, no stream configuration, no property
// pages, a filter that can't be created, one lost once its format is chosen).
#include <gtest/gtest.h>

#include "DirectShowIds.h"
#include "QvCameraSettings.h"
#include "VirtualCameraIds.h"
#include "VcamTestSupport.h"

using namespace vcamtest;
using qvtest::VirtualCameraDevices;
using qvtest::VirtualDevice;

namespace {

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

std::string Describe(const std::vector<ListedDevice>& list) {
  std::string text;
  for (const ListedDevice& d : list)
    text += (d.readable ? "\"" + Narrow(d.name) + "\"" : std::string("<unreadable>")) + " ";
  return text;
}

struct ListCase {
  const char* label;
  std::vector<VirtualDevice> devices;
};

class VcamDeviceListTest : public ::testing::TestWithParam<ListCase> {
 protected:
  ComApartment m_com;
};

TEST_P(VcamDeviceListTest, EnumeratorListsTheSetInOrder) {
  const ListCase& c = GetParam();
  VirtualCameraDevices devices(c.devices);
  ASSERT_TRUE(devices.Ok()) << devices.Error();
  const std::vector<ListedDevice> listed = EnumerateVideoInputs();
  ASSERT_EQ(listed.size(), c.devices.size()) << "listed: " << Describe(listed);
  for (size_t i = 0; i < listed.size(); ++i) {
    EXPECT_EQ(listed[i].readable, c.devices[i].readableName) << "position " << i << "; listed: " << Describe(listed);
    if (c.devices[i].readableName) {
      EXPECT_EQ(listed[i].name, c.devices[i].name) << "position " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Sets, VcamDeviceListTest,
    ::testing::Values(ListCase{"None", {}}, ListCase{"One", {VirtualDevice::Named(L"QV Virtual Camera")}},
                      // Order given, not alphabetical order of the names.
                      ListCase{"Several",
                               {VirtualDevice::Named(L"Zeta Cam"), VirtualDevice::Named(L"Alpha Cam"),
                                VirtualDevice::Named(L"Mid Cam")}},
                      ListCase{"SameName", {VirtualDevice::Named(L"Twin"), VirtualDevice::Named(L"Twin")}},
                      ListCase{
                          "Unreadable",
                          {VirtualDevice::Named(L"First"), VirtualDevice::Unreadable(), VirtualDevice::Named(L"Last")}},
                      ListCase{"NonAscii", {VirtualDevice::Named(L"\x6444\x50cf\x5934 USB")}}),
    [](const ::testing::TestParamInfo<ListCase>& info) { return std::string(info.param.label); });

TEST(VcamDeviceRegistry, HelperRemovesItsDevicesAgain) {
  ComApartment com;
  {
    VirtualCameraDevices devices({VirtualDevice::Named(L"Short Lived"), VirtualDevice::Unreadable()});
    ASSERT_TRUE(devices.Ok()) << devices.Error();
    EXPECT_EQ(EnumerateVideoInputs().size(), 2u);
  }
  EXPECT_TRUE(EnumerateVideoInputs().empty()) << Describe(EnumerateVideoInputs());
}

std::wstring DllPath() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n);
  return dir.substr(0, dir.find_last_of(L"\\/") + 1) + L"qvvcam.dll";
}

DWORD RunRegsvr32(const std::wstring& arguments) {
  std::wstring command = L"regsvr32.exe " + arguments;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return ~0u;
  WaitForSingleObject(pi.hProcess, 60000);
  DWORD code = ~0u;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return code;
}

TEST(VcamDeviceRegistry, Regsvr32RegistersTheDefaultDeviceAndRemovesIt) {
  ComApartment com;
  VirtualCameraDevices none({});  // no device of ours before
  ASSERT_TRUE(none.Ok()) << none.Error();
  ASSERT_EQ(RunRegsvr32(L"/s \"" + DllPath() + L"\""), 0u);
  const int index = FindDevice(L"QV Virtual Camera");
  ASSERT_GE(index, 0) << Describe(EnumerateVideoInputs());
  ComHolder<IBaseFilter> filter;
  EXPECT_EQ(BindVideoInput(static_cast<size_t>(index), filter.Out()), S_OK);
  EXPECT_TRUE(filter);
  filter.Reset();
  ASSERT_EQ(RunRegsvr32(L"/u /s \"" + DllPath() + L"\""), 0u);
  EXPECT_EQ(FindDevice(L"QV Virtual Camera"), -1) << Describe(EnumerateVideoInputs());
}

// One set of every variant, bound by position.
class VcamVariantTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(m_devices.Ok()) << m_devices.Error(); }
  ComHolder<IBaseFilter> Bind(size_t position) {
    ComHolder<IBaseFilter> filter;
    const HRESULT hr = BindVideoInput(position, filter.Out());
    EXPECT_EQ(hr, S_OK) << "binding position " << position;
    return filter;
  }
  static HRESULT PinInterface(IBaseFilter* filter, REFIID iid) {
    ComHolder<IPin> pin;
    if (FirstPin(filter, pin.Out()) != S_OK) return E_FAIL;
    ComHolder<IUnknown> found;
    return pin->QueryInterface(iid, found.OutVoid());
  }

  ComApartment m_com;
  VirtualCameraDevices m_devices{{VirtualDevice::Named(L"Normal"),
                                  [] {
                                    VirtualDevice d = VirtualDevice::Named(L"Unplugged");
                                    d.stopAfterFrames = 10;
                                    return d;
                                  }(),
                                  [] {
                                    VirtualDevice d = VirtualDevice::Named(L"No Config");
                                    d.noStreamConfig = true;
                                    return d;
                                  }(),
                                  [] {
                                    VirtualDevice d = VirtualDevice::Named(L"No Pages");
                                    d.noPropertyPages = true;
                                    return d;
                                  }(),
                                  [] {
                                    VirtualDevice d = VirtualDevice::Named(L"Broken");
                                    d.failsToCreate = true;
                                    return d;
                                  }()}};
};

TEST_F(VcamVariantTest, NormalDeviceOffersEverything) {
  ComHolder<IBaseFilter> filter = Bind(0);
  ASSERT_TRUE(filter);
  ComHolder<ISpecifyPropertyPages> pages;
  EXPECT_EQ(filter->QueryInterface(IID_ISpecifyPropertyPages, pages.OutVoid()), S_OK);
  EXPECT_EQ(PinInterface(filter.Get(), IID_IAMStreamConfig), S_OK);
  EXPECT_EQ(PinInterface(filter.Get(), IID_ISpecifyPropertyPages), S_OK);
  ComHolder<IQvCameraSettings> settings;
  ASSERT_EQ(filter->QueryInterface(qvvcam::IID_IQvCameraSettings, settings.OutVoid()), S_OK);
  LPWSTR name = nullptr;
  ASSERT_EQ(settings->GetDeviceName(&name), S_OK);
  EXPECT_STREQ(name, L"Normal") << "the filter loads its moniker's FriendlyName";
  CoTaskMemFree(name);
}

TEST_F(VcamVariantTest, UnpluggedDeviceStopsAfterItsFrames) {
  ComHolder<IBaseFilter> filter = Bind(1);
  ASSERT_TRUE(filter);
  const qvvcam::FrameFormat format{qvvcam::PixelFormat::Rgb24, 640, 480};
  FrameRecorder recorder(format);
  CaptureGraph graph;
  ASSERT_EQ(graph.AddSource(filter.Get()), S_OK);
  ASSERT_EQ(graph.AddGrabber(MEDIASUBTYPE_RGB24, &recorder), S_OK);
  ASSERT_TRUE(SUCCEEDED(graph.RenderToNull()));
  ASSERT_TRUE(SUCCEEDED(graph.Run()));
  Sleep(800);  // 10 frames take a third of a second
  ASSERT_TRUE(SUCCEEDED(graph.Stop()));
  EXPECT_EQ(recorder.Count(), 10u);
  // Still unplugged on the next run.
  ASSERT_TRUE(SUCCEEDED(graph.Run()));
  Sleep(300);
  ASSERT_TRUE(SUCCEEDED(graph.Stop()));
  const std::vector<FrameRecord> records = recorder.Records();
  ASSERT_EQ(records.size(), 10u);
  for (size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(records[i].status, qvvcam::FrameStatus::Ok);
    EXPECT_EQ(records[i].sequence, i);
  }
}

TEST_F(VcamVariantTest, DeviceWithoutStreamConfig) {
  ComHolder<IBaseFilter> filter = Bind(2);
  ASSERT_TRUE(filter);
  EXPECT_EQ(PinInterface(filter.Get(), IID_IAMStreamConfig), E_NOINTERFACE);
  CaptureGraph graph;
  ASSERT_EQ(graph.AddSource(filter.Get()), S_OK);
  for (const GUID* major : {&MEDIATYPE_Interleaved, &MEDIATYPE_Video}) {
    ComHolder<IAMStreamConfig> config;
    const HRESULT hr = graph.Builder()->FindInterface(&PIN_CATEGORY_CAPTURE, major, filter.Get(), IID_IAMStreamConfig,
                                                      config.OutVoid());
    EXPECT_LT(hr, 0) << Hex(hr);
    EXPECT_FALSE(config);
  }
  // Still a working camera, at its default format.
  FrameRecorder recorder(qvvcam::FrameFormat{qvvcam::PixelFormat::Rgb24, 640, 480});
  ASSERT_EQ(graph.AddGrabber(MEDIASUBTYPE_RGB24, &recorder), S_OK);
  ASSERT_TRUE(SUCCEEDED(graph.RenderDefault()));
  ASSERT_TRUE(SUCCEEDED(graph.Run()));
  Sleep(300);
  graph.Stop();
  EXPECT_GT(recorder.Count(), 3u);
  for (const FrameRecord& r : recorder.Records()) EXPECT_EQ(r.status, qvvcam::FrameStatus::Ok);
}

TEST_F(VcamVariantTest, DeviceWithoutPropertyPages) {
  ComHolder<IBaseFilter> filter = Bind(3);
  ASSERT_TRUE(filter);
  ComHolder<ISpecifyPropertyPages> pages;
  EXPECT_EQ(filter->QueryInterface(IID_ISpecifyPropertyPages, pages.OutVoid()), E_NOINTERFACE);
  EXPECT_EQ(PinInterface(filter.Get(), IID_ISpecifyPropertyPages), E_NOINTERFACE);
  // The object a host gets for the stream configuration has none either.
  CaptureGraph graph;
  ASSERT_EQ(graph.AddSource(filter.Get()), S_OK);
  ComHolder<IAMStreamConfig> config;
  ASSERT_EQ(graph.Builder()->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, filter.Get(), IID_IAMStreamConfig,
                                           config.OutVoid()),
            S_OK);
  EXPECT_EQ(config->QueryInterface(IID_ISpecifyPropertyPages, pages.OutVoid()), E_NOINTERFACE);
}

TEST_F(VcamVariantTest, BrokenDeviceIsListedButFailsToBind) {
  const std::vector<ListedDevice> listed = EnumerateVideoInputs();
  ASSERT_EQ(listed.size(), 5u);
  EXPECT_TRUE(listed[4].readable);
  EXPECT_EQ(listed[4].name, L"Broken");
  ComHolder<IBaseFilter> filter;
  EXPECT_EQ(BindVideoInput(4, filter.Out()), qvvcam::kBrokenDeviceResult);
  EXPECT_FALSE(filter);
}

// Empties the graph's event queue; gives how many of its events were EC_DEVICE_LOST
// naming `filter`.
int DrainDeviceLost(IGraphBuilder* graph, IBaseFilter* filter) {
  int seen = 0;
  ComHolder<IMediaEvent> events;
  if (FAILED(graph->QueryInterface(IID_IMediaEvent, events.OutVoid())) || !events) return -1;
  long code = 0;
  LONG_PTR first = 0, second = 0;
  while (events->GetEvent(&code, &first, &second, 0) == S_OK) {
    if (code == EC_DEVICE_LOST && first == reinterpret_cast<LONG_PTR>(filter)) ++seen;
    events->FreeEventParams(code, first, second);
  }
  return seen;
}

// A camera that vanishes while its stream-format page is open: the choice succeeds, and
// from then on the device is gone for the graph and for every call a host's graph makes.
TEST(VcamLoseOnFormat, ChosenFormatStandsAndTheDeviceIsGone) {
  ComApartment com;
  VirtualDevice vanishing = VirtualDevice::Named(L"Vanishes");
  vanishing.losesOnFormat = true;
  VirtualCameraDevices devices({vanishing});
  ASSERT_TRUE(devices.Ok()) << devices.Error();
  const int position = FindDevice(L"Vanishes");
  ASSERT_GE(position, 0) << Describe(EnumerateVideoInputs());
  ComHolder<IBaseFilter> filter;
  ASSERT_EQ(BindVideoInput(static_cast<size_t>(position), filter.Out()), S_OK);
  CaptureGraph graph;
  ASSERT_EQ(graph.AddSource(filter.Get()), S_OK);

  // Until a format is chosen it is an ordinary camera.
  EXPECT_EQ(filter->Pause(), S_OK);
  EXPECT_EQ(filter->Stop(), S_OK);
  EXPECT_EQ(DrainDeviceLost(graph.Graph(), filter.Get()), 0);

  const qvvcam::FrameFormat chosen{qvvcam::PixelFormat::Yuy2, 320, 240};
  ASSERT_EQ(SetPinFormat(filter.Get(), chosen), S_OK) << "the choice itself succeeds";
  EXPECT_EQ(DrainDeviceLost(graph.Graph(), filter.Get()), 1) << "the graph hears the loss";

  const HRESULT lost = qvvcam::kLostDeviceResult;
  EXPECT_EQ(filter->Pause(), lost);
  EXPECT_EQ(filter->Run(0), lost);
  EXPECT_EQ(filter->Stop(), lost);
  FILTER_STATE state = State_Running;
  EXPECT_EQ(filter->GetState(0, &state), S_OK);
  EXPECT_EQ(state, State_Stopped) << "nothing left it running";

  ComHolder<IPin> pin;
  ASSERT_EQ(FirstPin(filter.Get(), pin.Out()), S_OK);
  ComHolder<IBaseFilter> sink;
  ASSERT_EQ(CoCreateInstance(qv::CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, sink.OutVoid()),
            S_OK);
  ASSERT_EQ(graph.Graph()->AddFilter(sink.Get(), L"Null Renderer"), S_OK);
  ComHolder<IPin> input;
  ASSERT_EQ(FirstPin(sink.Get(), input.Out()), S_OK);
  EXPECT_EQ(pin->Connect(input.Get(), nullptr), lost) << "a lost device connects to nothing";
  ComHolder<IPin> peer;
  EXPECT_EQ(pin->ConnectedTo(peer.Out()), VFW_E_NOT_CONNECTED);
  EXPECT_FALSE(peer);

  // The choice stands; another is refused, and the loss is told only once.
  ComHolder<IAMStreamConfig> config;
  ASSERT_EQ(pin->QueryInterface(IID_IAMStreamConfig, config.OutVoid()), S_OK);
  MediaTypeHolder current;
  ASSERT_EQ(config->GetFormat(current.TaskOut()), S_OK);
  long width = 0, height = 0;
  EXPECT_TRUE(IsEqualGUID(current->subtype, MEDIASUBTYPE_YUY2));
  EXPECT_TRUE(VideoSize(*current, &width, &height));
  EXPECT_EQ(width, 320);
  EXPECT_EQ(height, 240);
  EXPECT_EQ(config->SetFormat(current.Get()), lost);
  EXPECT_EQ(DrainDeviceLost(graph.Graph(), filter.Get()), 0);
}

}  // namespace
