// The stream-format change: stop, strip everything after the capture filter, show the
// capture pin's format pages, rebuild with the format then in force, and run again.
#include "DSCamera.h"
#include "DSGrabberCB.h"
#include "GrabberWiring.h"
#include "MediaTypeHolder.h"

namespace {

// Where the stream-format frame opens; it has no owner window.
constexpr int kFormatFrameX = 30;
constexpr int kFormatFrameY = 30;

// The format now in force on the pin, in task memory; none when the pin gives none.
MediaTypeHolder ShowFormatPages(IAMStreamConfig* config) {
  ComHolder<ISpecifyPropertyPages> pages;
  if (config->QueryInterface(IID_ISpecifyPropertyPages, pages.OutVoid()) == S_OK && pages) {
    CAUUID list = {0, nullptr};
    // A page list that could not be read is not shown: the frame would get garbage.
    if (SUCCEEDED(pages->GetPages(&list)) && list.cElems > 0 && list.pElems != nullptr) {
      IUnknown* object = config;
      OleCreatePropertyFrame(nullptr, kFormatFrameX, kFormatFrameY, nullptr, 1, &object, list.cElems, list.pElems, 0, 0,
                             nullptr);
    }
    CoTaskMemFree(list.pElems);
  }
  // Without pages the pin's own format still rebuilds the graph. A failed call hands
  // out no record.
  AM_MEDIA_TYPE* format = nullptr;
  if (FAILED(config->GetFormat(&format))) format = nullptr;
  return MediaTypeHolder(format);
}

// Whether the graph lists the filter, by COM identity.
bool GraphHolds(IGraphBuilder* graph, IBaseFilter* filter) {
  ComHolder<IUnknown> wanted;
  if (FAILED(filter->QueryInterface(IID_IUnknown, wanted.OutVoid())) || !wanted) return false;
  ComHolder<IEnumFilters> filters;
  if (FAILED(graph->EnumFilters(filters.Out())) || !filters) return false;
  ComHolder<IBaseFilter> listed;
  while (filters->Next(1, listed.Out(), nullptr) == S_OK) {
    ComHolder<IUnknown> identity;
    if (listed && SUCCEEDED(listed->QueryInterface(IID_IUnknown, identity.OutVoid())) && identity.Get() == wanted.Get())
      return true;
  }
  return false;
}

}  // namespace

void CDSCamera::ChangeResolution() {
  // Recording off first, then the frame forgotten: a frame arriving in between can't
  // be recorded after the clear.
  g_nGrabFlag = kGrabFlagOff;
  g_grabberCB.ClearRecordedFrame();
  if (!m_bInitialized) return;
  if (!m_pMediaControl) {
    if (FAILED(m_pMediaControl.QueryFrom(m_pGraph, IID_IMediaControl))) return;
  }
  // The call works on references of its own from here on: the frame below runs a message
  // loop, and nothing done from there can release what the rebuild uses.
  ComHolder<IGraphBuilder> graph;
  graph.CopyFrom(m_pGraph);
  ComHolder<ICaptureGraphBuilder2> builder;
  builder.CopyFrom(m_pCaptureBuilder);
  ComHolder<IBaseFilter> captureFilter;
  captureFilter.CopyFrom(m_pCaptureFilter);
  ComHolder<ISampleGrabber> grabber;
  grabber.CopyFrom(m_pGrabber);
  ComHolder<IMediaControl> control;
  control.CopyFrom(m_pMediaControl);

  control->Stop();
  if (captureFilter) RemoveDownstreamFilters(captureFilter);

  ComHolder<IAMStreamConfig> config;
  HRESULT hr = E_POINTER;
  if (captureFilter && builder) {
    hr = builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, captureFilter, IID_IAMStreamConfig,
                                config.OutVoid());
    if (hr != S_OK) {
      hr = builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, captureFilter, IID_IAMStreamConfig,
                                  config.OutVoid());
    }
  }
  if (FAILED(hr) || !config) return;

  MediaTypeHolder format = ShowFormatPages(config);
  config.Reset();

  // Without a grabber (a build that failed early) there is nothing to rebuild with:
  // the graph stays stopped with the capture filter alone, and nothing is recorded.
  if (!grabber || !graph) return;

  // The capture filter normally never left the graph. The platform's graph accepts the
  // same filter a second time under a new name, and then runs, stops and removes it
  // twice, so it is added back only when it is really gone.
  if (captureFilter && !GraphHolds(graph, captureFilter)) graph->AddFilter(captureFilter, L"Capture Filter");
  ComHolder<IBaseFilter> grabberFilter = qv::GrabberFilterOf(grabber);

  MediaTypeHolder request;
  if (format.HasTaskRecord()) {
    grabber->SetMediaType(format.Get());
  } else {
    // The pin gave no format: ask for RGB24 of any size, as the first build does.
    qv::RequestRgb24(*request);
    grabber->SetMediaType(request.Get());
  }
  qv::AddGrabberToGraph(graph, grabberFilter);
  qv::RenderThroughGrabber(builder, MEDIATYPE_Interleaved, captureFilter, grabberFilter);

  // Frames arrive in the type the grabber connected with, which a pin may choose apart
  // from the format it reported: that type is recorded, so samples of another size are
  // never taken for the chosen picture. The chosen format stands in only when the
  // grabber tells none.
  MediaTypeHolder connected;
  if (SUCCEEDED(grabber->GetConnectedMediaType(connected.Get()))) {
    qv::RecordGrabbedFormat(*connected);
  } else if (format.HasTaskRecord()) {
    qv::RecordGrabbedFormat(*format);
  } else {
    g_grabberCB.RecordFormat(MEDIASUBTYPE_RGB24, 0, 0);
  }
  connected.Reset();

  qv::StartBufferCallbacks(grabber);

  format.Reset();
  grabberFilter.Reset();

  control->Run();
  control.Reset();
  m_pMediaControl.Reset();
  SetupVideoWindow();
  g_nGrabFlag = kGrabFlagOn;
}
