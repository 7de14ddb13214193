// The filter and pin contracts, called directly as a graph would call them.
#include <gtest/gtest.h>

#include "QvCameraSettings.h"
#include "VcamTestSupport.h"

using namespace vcamtest;

namespace {

class VcamFilterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_EQ(qvtest::RegisterVirtualCameraClasses(&error), S_OK) << error;
    ASSERT_EQ(CoCreateInstance(qvvcam::CLSID_QvVirtualCamera, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               m_filter.OutVoid()),
              S_OK);
    ASSERT_EQ(FirstPin(m_filter.Get(), m_pin.Out()), S_OK);
    ASSERT_EQ(m_pin->QueryInterface(IID_IAMStreamConfig, m_config.OutVoid()), S_OK);
  }
  // The pin's current format as (subtype, width, height).
  void ExpectFormat(const GUID& subtype, long width, long height) {
    MediaTypeHolder mt;
    ASSERT_EQ(m_config->GetFormat(mt.TaskOut()), S_OK);
    long w = 0, h = 0;
    EXPECT_TRUE(IsEqualGUID(mt->subtype, subtype));
    EXPECT_TRUE(VideoSize(*mt, &w, &h));
    EXPECT_EQ(w, width);
    EXPECT_EQ(h, height);
  }

  ComApartment m_com;
  ComHolder<IBaseFilter> m_filter;
  ComHolder<IPin> m_pin;
  ComHolder<IAMStreamConfig> m_config;
};

TEST_F(VcamFilterTest, PinIsAnOutputInTheCaptureCategory) {
  ComHolder<IKsPropertySet> props;
  ASSERT_EQ(m_pin->QueryInterface(IID_IKsPropertySet, props.OutVoid()), S_OK);
  GUID category{};
  DWORD returned = 0;
  ASSERT_EQ(props->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, sizeof category, &returned),
            S_OK);
  EXPECT_TRUE(IsEqualGUID(category, PIN_CATEGORY_CAPTURE));
  EXPECT_EQ(returned, sizeof(GUID));
  EXPECT_LT(props->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, 8, &returned), 0);
  EXPECT_LT(props->Get(PIN_CATEGORY_CAPTURE, 0, nullptr, 0, &category, sizeof category, &returned), 0);
  DWORD support = 0;
  EXPECT_EQ(props->QuerySupported(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, &support), S_OK);
  EXPECT_EQ(support, static_cast<DWORD>(KSPROPERTY_SUPPORT_GET));

  PIN_INFO info{};
  ASSERT_EQ(m_pin->QueryPinInfo(&info), S_OK);
  EXPECT_EQ(info.dir, PINDIR_OUTPUT);
  EXPECT_STREQ(info.achName, L"Capture");
  EXPECT_EQ(info.pFilter, m_filter.Get());
  if (info.pFilter) info.pFilter->Release();
  PIN_DIRECTION direction = PINDIR_INPUT;
  EXPECT_EQ(m_pin->QueryDirection(&direction), S_OK);
  EXPECT_EQ(direction, PINDIR_OUTPUT);
  LPWSTR id = nullptr;
  ASSERT_EQ(m_pin->QueryId(&id), S_OK);
  ComHolder<IPin> found;
  EXPECT_EQ(m_filter->FindPin(id, found.Out()), S_OK);
  EXPECT_EQ(found.Get(), m_pin.Get());
  CoTaskMemFree(id);
  EXPECT_EQ(m_filter->FindPin(L"Preview", found.Out()), VFW_E_NOT_FOUND);

  // An output pin never receives a connection and has no stream control of its own.
  MediaTypeHolder mt;
  ASSERT_EQ(m_config->GetFormat(mt.TaskOut()), S_OK);
  EXPECT_LT(m_pin->ReceiveConnection(m_pin.Get(), mt.Get()), 0);
  EXPECT_EQ(m_pin->QueryInternalConnections(nullptr, nullptr), E_NOTIMPL);
  EXPECT_EQ(m_pin->EndOfStream(), E_UNEXPECTED);
  EXPECT_EQ(m_pin->Connect(nullptr, nullptr), E_POINTER);
  EXPECT_EQ(m_pin->Disconnect(), S_FALSE);
  EXPECT_EQ(m_pin->ConnectedTo(found.Out()), VFW_E_NOT_CONNECTED);
  AM_MEDIA_TYPE connected{};
  EXPECT_EQ(m_pin->ConnectionMediaType(&connected), VFW_E_NOT_CONNECTED);
}

// What each offered subtype's VIDEOINFOHEADER must say.
struct OfferedFormat {
  const char* name;
  const GUID* subtype;
  DWORD compression;
  WORD bitCount;
  int halfBytesPerPixel;  // biSizeImage = w x h x this / 2
};
const OfferedFormat kOfferedFormats[] = {
    {"RGB24", &MEDIASUBTYPE_RGB24, BI_RGB, 24, 6},
    {"YUY2", &MEDIASUBTYPE_YUY2, MAKEFOURCC('Y', 'U', 'Y', '2'), 16, 4},
    {"UYVY", &MEDIASUBTYPE_UYVY, MAKEFOURCC('U', 'Y', 'V', 'Y'), 16, 4},
    {"MJPG", &MEDIASUBTYPE_MJPG, MAKEFOURCC('M', 'J', 'P', 'G'), 24, 4},
    {"RGB32", &MEDIASUBTYPE_RGB32, BI_RGB, 32, 8},
    {"NV12", &MEDIASUBTYPE_NV12, MAKEFOURCC('N', 'V', '1', '2'), 12, 3},
    {"I420", &kSubtypeI420, MAKEFOURCC('I', '4', '2', '0'), 12, 3},
    {"YV12", &MEDIASUBTYPE_YV12, MAKEFOURCC('Y', 'V', '1', '2'), 12, 3},
};

TEST_F(VcamFilterTest, OffersEveryFormatWithRgb24First) {
  ComHolder<IEnumMediaTypes> types;
  ASSERT_EQ(m_pin->EnumMediaTypes(types.Out()), S_OK);
  std::vector<std::string> offered;
  MediaTypeHolder mt;
  while (types->Next(1, mt.TaskOut(), nullptr) == S_OK) {
    long w = 0, h = 0;
    ASSERT_TRUE(VideoSize(*mt, &w, &h)) << "VIDEOINFOHEADER format block";
    const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt->pbFormat);
    EXPECT_EQ(vih->AvgTimePerFrame, 333333);
    EXPECT_GT(h, 0);
    const OfferedFormat* format = nullptr;
    for (const OfferedFormat& f : kOfferedFormats)
      if (IsEqualGUID(mt->subtype, *f.subtype)) format = &f;
    ASSERT_NE(format, nullptr) << "an unknown subtype";
    offered.push_back(std::string(format->name) + " " + std::to_string(w) + "x" + std::to_string(h));
    EXPECT_EQ(vih->bmiHeader.biCompression, format->compression) << offered.back();
    EXPECT_EQ(vih->bmiHeader.biBitCount, format->bitCount) << offered.back();
    EXPECT_EQ(vih->bmiHeader.biSizeImage, static_cast<DWORD>(w * h * format->halfBytesPerPixel / 2)) << offered.back();
    EXPECT_EQ(mt->bFixedSizeSamples, !IsEqualGUID(mt->subtype, MEDIASUBTYPE_MJPG)) << offered.back();
    EXPECT_EQ(m_pin->QueryAccept(mt.Get()), S_OK) << offered.back();
  }
  std::vector<std::string> expected = {"RGB24 640x480", "RGB24 320x240", "RGB24 1280x720", "RGB24 1920x1080"};
  for (const OfferedFormat& f : kOfferedFormats) {
    if (std::string(f.name) == "RGB24") continue;
    for (const char* size : {"320x240", "640x480", "1280x720", "1920x1080"})
      expected.push_back(std::string(f.name) + " " + size);
  }
  EXPECT_EQ(offered, expected);
}

TEST_F(VcamFilterTest, StreamCapsMatchTheirTypes) {
  int count = 0, size = 0;
  ASSERT_EQ(m_config->GetNumberOfCapabilities(&count, &size), S_OK);
  EXPECT_EQ(count, 32);
  EXPECT_EQ(size, static_cast<int>(sizeof(VIDEO_STREAM_CONFIG_CAPS)));
  for (int i = 0; i < count; ++i) {
    MediaTypeHolder mt;
    VIDEO_STREAM_CONFIG_CAPS caps{};
    ASSERT_EQ(m_config->GetStreamCaps(i, mt.TaskOut(), reinterpret_cast<BYTE*>(&caps)), S_OK) << i;
    long w = 0, h = 0;
    ASSERT_TRUE(VideoSize(*mt, &w, &h));
    EXPECT_TRUE(IsEqualGUID(caps.guid, FORMAT_VideoInfo));
    EXPECT_EQ(caps.MaxOutputSize.cx, w);
    EXPECT_EQ(caps.MaxOutputSize.cy, h);
    EXPECT_EQ(caps.MinFrameInterval, 333333);
  }
  AM_MEDIA_TYPE* mt = nullptr;
  VIDEO_STREAM_CONFIG_CAPS caps{};
  EXPECT_EQ(m_config->GetStreamCaps(32, &mt, reinterpret_cast<BYTE*>(&caps)), S_FALSE);
  EXPECT_EQ(m_config->GetStreamCaps(-1, &mt, reinterpret_cast<BYTE*>(&caps)), E_INVALIDARG);
  EXPECT_EQ(m_config->GetStreamCaps(0, nullptr, reinterpret_cast<BYTE*>(&caps)), E_POINTER);
  EXPECT_EQ(m_config->GetNumberOfCapabilities(nullptr, &size), E_POINTER);
  EXPECT_EQ(m_config->GetFormat(nullptr), E_POINTER);
}

TEST_F(VcamFilterTest, SetFormatNarrowsWhatThePinOffers) {
  ExpectFormat(MEDIASUBTYPE_RGB24, 640, 480);
  ASSERT_EQ(SetPinFormat(m_filter.Get(), {qvvcam::PixelFormat::Uyvy, 1280, 720}), S_OK);
  ExpectFormat(MEDIASUBTYPE_UYVY, 1280, 720);
  ComHolder<IEnumMediaTypes> types;
  ASSERT_EQ(m_pin->EnumMediaTypes(types.Out()), S_OK);
  AM_MEDIA_TYPE* mts[4] = {};
  ULONG fetched = 0;
  EXPECT_EQ(types->Next(4, mts, &fetched), S_FALSE);
  MediaTypeHolder fetchedType(mts[0]);
  ASSERT_EQ(fetched, 1u);
  EXPECT_TRUE(IsEqualGUID(mts[0]->subtype, MEDIASUBTYPE_UYVY));
  EXPECT_EQ(m_pin->QueryAccept(mts[0]), S_OK);
  MediaTypeHolder other;
  VIDEO_STREAM_CONFIG_CAPS caps;
  ASSERT_EQ(m_config->GetStreamCaps(0, other.TaskOut(), reinterpret_cast<BYTE*>(&caps)), S_OK);
  EXPECT_EQ(m_pin->QueryAccept(other.Get()), S_FALSE) << "after SetFormat only that format is accepted";
}

// Types SetFormat must refuse, each a small edit of a valid one.
struct BadType {
  const char* label;
  void (*edit)(AM_MEDIA_TYPE& mt, VIDEOINFOHEADER& vih);
};
const BadType kBadTypes[] = {
    {"audio major type", [](AM_MEDIA_TYPE& mt, VIDEOINFOHEADER&) { mt.majortype = MEDIATYPE_Audio; }},
    {"RGB555 subtype", [](AM_MEDIA_TYPE& mt, VIDEOINFOHEADER&) { mt.subtype = MEDIASUBTYPE_RGB555; }},
    {"800x600", [](AM_MEDIA_TYPE&, VIDEOINFOHEADER& v) { v.bmiHeader.biWidth = 800, v.bmiHeader.biHeight = 600; }},
    {"negative height", [](AM_MEDIA_TYPE&, VIDEOINFOHEADER& v) { v.bmiHeader.biHeight = -480; }},
    {"60 fps", [](AM_MEDIA_TYPE&, VIDEOINFOHEADER& v) { v.AvgTimePerFrame = 166666; }},
    {"short format block", [](AM_MEDIA_TYPE& mt, VIDEOINFOHEADER&) { mt.cbFormat = sizeof(VIDEOINFOHEADER) - 1; }},
    {"no format block", [](AM_MEDIA_TYPE& mt, VIDEOINFOHEADER&) { mt.pbFormat = nullptr; }},
    {"VideoInfo2 format", [](AM_MEDIA_TYPE& mt, VIDEOINFOHEADER&) { mt.formattype = FORMAT_VideoInfo2; }},
};

TEST_F(VcamFilterTest, SetFormatRefusesWhatItDoesNotOffer) {
  for (const BadType& bad : kBadTypes) {
    VIDEOINFOHEADER vih{};
    vih.AvgTimePerFrame = 333333;
    vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih.bmiHeader.biWidth = 320;
    vih.bmiHeader.biHeight = 240;
    vih.bmiHeader.biBitCount = 24;
    vih.bmiHeader.biSizeImage = 320 * 240 * 3;
    AM_MEDIA_TYPE mt{};
    mt.majortype = MEDIATYPE_Video;
    mt.subtype = MEDIASUBTYPE_RGB24;
    mt.formattype = FORMAT_VideoInfo;
    mt.cbFormat = sizeof vih;
    mt.pbFormat = reinterpret_cast<BYTE*>(&vih);
    EXPECT_EQ(m_config->SetFormat(&mt), S_OK) << "the unedited type is valid";
    ASSERT_EQ(SetPinFormat(m_filter.Get(), {qvvcam::PixelFormat::Rgb24, 640, 480}), S_OK);
    bad.edit(mt, vih);
    EXPECT_EQ(m_config->SetFormat(&mt), VFW_E_INVALIDMEDIATYPE) << bad.label;
    EXPECT_EQ(m_pin->QueryAccept(&mt), S_FALSE) << bad.label;
    ExpectFormat(MEDIASUBTYPE_RGB24, 640, 480);
  }
  EXPECT_EQ(m_config->SetFormat(nullptr), E_POINTER);
}

TEST_F(VcamFilterTest, FilterStatesAndIdentity) {
  FILTER_STATE state = State_Running;
  EXPECT_EQ(m_filter->GetState(0, &state), S_OK);
  EXPECT_EQ(state, State_Stopped);
  EXPECT_EQ(m_filter->Pause(), S_OK);
  EXPECT_EQ(m_filter->GetState(0, &state), VFW_S_CANT_CUE) << "a live source cannot cue while paused";
  EXPECT_EQ(state, State_Paused);
  EXPECT_EQ(m_config->SetFormat(nullptr), E_POINTER);
  EXPECT_EQ(SetPinFormat(m_filter.Get(), {qvvcam::PixelFormat::Yuy2, 320, 240}), VFW_E_NOT_STOPPED);
  EXPECT_EQ(m_filter->Run(0), S_OK);
  EXPECT_EQ(m_filter->GetState(0, &state), S_OK);
  EXPECT_EQ(state, State_Running);
  EXPECT_EQ(m_filter->Stop(), S_OK);
  EXPECT_EQ(m_filter->GetState(0, &state), S_OK);
  EXPECT_EQ(state, State_Stopped);
  EXPECT_EQ(m_filter->GetState(0, nullptr), E_POINTER);

  ComHolder<IAMFilterMiscFlags> flags;
  ASSERT_EQ(m_filter->QueryInterface(IID_IAMFilterMiscFlags, flags.OutVoid()), S_OK);
  EXPECT_EQ(flags->GetMiscFlags(), static_cast<ULONG>(AM_FILTER_MISC_FLAGS_IS_SOURCE));
  CLSID clsid{};
  EXPECT_EQ(m_filter->GetClassID(&clsid), S_OK);
  EXPECT_TRUE(IsEqualGUID(clsid, qvvcam::CLSID_QvVirtualCamera));
  ComHolder<IPin> asPin;
  EXPECT_EQ(m_filter->QueryInterface(IID_IPin, asPin.OutVoid()), E_NOINTERFACE);
  ComHolder<IAMStreamConfig> filterConfig;
  EXPECT_EQ(m_filter->QueryInterface(IID_IAMStreamConfig, filterConfig.OutVoid()), E_NOINTERFACE)
      << "the stream configuration lives on the pin";

  EXPECT_EQ(m_filter->JoinFilterGraph(nullptr, L"Capture Filter"), S_OK);
  FILTER_INFO info{};
  ASSERT_EQ(m_filter->QueryFilterInfo(&info), S_OK);
  EXPECT_STREQ(info.achName, L"Capture Filter");
  EXPECT_EQ(info.pGraph, nullptr);
  LPWSTR vendor = nullptr;
  ASSERT_EQ(m_filter->QueryVendorInfo(&vendor), S_OK);
  EXPECT_STREQ(vendor, L"QV Virtual Camera");
  CoTaskMemFree(vendor);

  ComHolder<IReferenceClock> clock, got;
  ASSERT_EQ(CoCreateInstance(CLSID_SystemClock, nullptr, CLSCTX_INPROC_SERVER, IID_IReferenceClock, clock.OutVoid()),
            S_OK);
  EXPECT_EQ(m_filter->SetSyncSource(clock.Get()), S_OK);
  EXPECT_EQ(m_filter->GetSyncSource(got.Out()), S_OK);
  EXPECT_EQ(got.Get(), clock.Get());
  EXPECT_EQ(m_filter->SetSyncSource(nullptr), S_OK);
  EXPECT_EQ(m_filter->GetSyncSource(got.Out()), S_OK);
  EXPECT_FALSE(got);
}

TEST_F(VcamFilterTest, ConnectedPinRefusesChangesWhileRunning) {
  CaptureGraph graph;
  ASSERT_EQ(graph.AddSource(m_filter.Get()), S_OK);
  FrameRecorder recorder({qvvcam::PixelFormat::Rgb24, 640, 480});
  ASSERT_EQ(graph.AddGrabber(MEDIASUBTYPE_RGB24, &recorder), S_OK);
  ASSERT_TRUE(SUCCEEDED(graph.RenderToNull()));
  ComHolder<IPin> peer;
  ASSERT_EQ(m_pin->ConnectedTo(peer.Out()), S_OK);
  EXPECT_EQ(m_pin->Connect(peer.Get(), nullptr), VFW_E_ALREADY_CONNECTED);
  ASSERT_TRUE(SUCCEEDED(graph.Run()));
  EXPECT_EQ(m_pin->Disconnect(), VFW_E_NOT_STOPPED);
  EXPECT_EQ(SetPinFormat(m_filter.Get(), {qvvcam::PixelFormat::Rgb24, 320, 240}), VFW_E_NOT_STOPPED);
  Sleep(200);
  ASSERT_TRUE(SUCCEEDED(graph.Stop()));
  EXPECT_GT(recorder.Count(), 2u);
  ExpectFormat(MEDIASUBTYPE_RGB24, 640, 480);

  // Stopped and connected: SetFormat reconnects through the graph, or fails and keeps
  // reporting the old format; never a half-changed pin.
  const HRESULT hr = SetPinFormat(m_filter.Get(), {qvvcam::PixelFormat::Rgb24, 320, 240});
  MediaTypeHolder mt;
  const HRESULT connected = m_pin->ConnectionMediaType(mt.Get());
  long w = 0, h = 0;
  if (SUCCEEDED(hr)) {
    ASSERT_EQ(connected, S_OK);
    EXPECT_TRUE(VideoSize(*mt, &w, &h) && w == 320 && h == 240) << "reconnected with the new format";
    ExpectFormat(MEDIASUBTYPE_RGB24, 320, 240);
  } else {
    ExpectFormat(MEDIASUBTYPE_RGB24, 640, 480);
    printf("SetFormat on a connected pin: %s\n", Hex(hr).c_str());
  }
}

}  // namespace
