#include "GrabberWiring.h"

#include <cstring>

#include "DSGrabberCB.h"
#include "VideoFormat.h"

namespace qv {

namespace {
// ISampleGrabber::SetCallback's mode for BufferCB (0 would select SampleCB).
constexpr LONG kBufferCallbackMode = 1;
}  // namespace

ComHolder<IBaseFilter> GrabberFilterOf(ISampleGrabber* grabber) {
  ComHolder<IBaseFilter> filter;
  grabber->QueryInterface(IID_IBaseFilter, filter.OutVoid());
  return filter;
}

void RequestRgb24(AM_MEDIA_TYPE& request) {
  std::memset(&request, 0, sizeof request);
  request.majortype = MEDIATYPE_Video;
  request.subtype = MEDIASUBTYPE_RGB24;
}

HRESULT AddGrabberToGraph(IGraphBuilder* graph, IBaseFilter* grabberFilter) {
  return graph->AddFilter(grabberFilter, L"Grabber");
}

HRESULT RenderThroughGrabber(ICaptureGraphBuilder2* builder, const GUID& previewMajorType, IBaseFilter* source,
                             IBaseFilter* grabberFilter) {
  if (source == nullptr) return E_POINTER;
  HRESULT hr = builder->RenderStream(&PIN_CATEGORY_PREVIEW, &previewMajorType, source, grabberFilter, nullptr);
  if (FAILED(hr)) hr = builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, source, grabberFilter, nullptr);
  return hr;
}

void RecordGrabbedFormat(const AM_MEDIA_TYPE& type) {
  FrameSize size = ReadFrameSize(type);
  g_grabberCB.RecordFormat(type.subtype, size.width, size.height);
}

void StartBufferCallbacks(ISampleGrabber* grabber) {
  grabber->SetBufferSamples(FALSE);
  grabber->SetOneShot(FALSE);
  grabber->SetCallback(&g_grabberCB, kBufferCallbackMode);
}

}  // namespace qv
