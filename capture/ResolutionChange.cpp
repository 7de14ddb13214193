// The stream-format change: stop, strip everything after the capture filter, show the
// capture pin's format pages, rebuild with the format then in force, and run again.
#include <cstring>

#include "DSCamera.h"
#include "DSGrabberCB.h"
#include "VideoFormat.h"

namespace {

// The format now in force on the pin, in task memory; null when the pin gives none.
AM_MEDIA_TYPE* ShowFormatPages(IAMStreamConfig* config) {
  ComHolder<ISpecifyPropertyPages> pages;
  if (config->QueryInterface(IID_ISpecifyPropertyPages, pages.OutVoid()) == S_OK && pages) {
    CAUUID list = {0, nullptr};
    // A page list that could not be read is not shown: the frame would get garbage.
    if (SUCCEEDED(pages->GetPages(&list)) && list.cElems > 0 && list.pElems != nullptr) {
      IUnknown* object = config;
      OleCreatePropertyFrame(nullptr, 30, 30, nullptr, 1, &object, list.cElems, list.pElems, 0, 0, nullptr);
    }
    CoTaskMemFree(list.pElems);
  }
  // Without pages the pin's own format still rebuilds the graph.
  AM_MEDIA_TYPE* format = nullptr;
  if (FAILED(config->GetFormat(&format))) format = nullptr;
  return format;
}

}  // namespace

void CDSCamera::ChangeResolution() {
  // Recording off first, then the frame forgotten: a frame arriving in between can't
  // be recorded after the clear.
  g_nGrabFlag = 0;
  g_grabberCB.ClearRecordedFrame();
  if (!m_bInitialized) return;
  if (m_pMediaControl == nullptr) {
    if (FAILED(m_pGraph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&m_pMediaControl)))) {
      m_pMediaControl = nullptr;
      return;
    }
  }
  m_pMediaControl->Stop();
  if (m_pCaptureFilter != nullptr) RemoveDownstreamFilters(m_pCaptureFilter);

  ComHolder<IAMStreamConfig> config;
  HRESULT hr = E_POINTER;
  if (m_pCaptureFilter != nullptr) {
    hr = m_pCaptureBuilder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Interleaved, m_pCaptureFilter,
                                          IID_IAMStreamConfig, config.OutVoid());
    if (hr != S_OK) {
      hr = m_pCaptureBuilder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, m_pCaptureFilter,
                                            IID_IAMStreamConfig, config.OutVoid());
    }
  }
  if (FAILED(hr) || !config) return;

  AM_MEDIA_TYPE* format = ShowFormatPages(config);
  config.Reset();

  // Without a grabber (a build that failed early) there is nothing to rebuild with:
  // the graph stays stopped with the capture filter alone, and nothing is recorded.
  if (!m_pGrabber) {
    if (format != nullptr) {
      ReleaseMediaType(*format);
      CoTaskMemFree(format);
    }
    return;
  }

  m_pGraph->AddFilter(m_pCaptureFilter, L"Capture Filter");
  ComHolder<IBaseFilter> grabberFilter;
  m_pGrabber->QueryInterface(IID_IBaseFilter, grabberFilter.OutVoid());

  AM_MEDIA_TYPE request;
  std::memset(&request, 0, sizeof request);
  if (format != nullptr) {
    m_pGrabber->SetMediaType(format);
  } else {
    // The pin gave no format: ask for RGB24 of any size, as the first build does.
    request.majortype = MEDIATYPE_Video;
    request.subtype = MEDIASUBTYPE_RGB24;
    m_pGrabber->SetMediaType(&request);
  }
  m_pGraph->AddFilter(grabberFilter, L"Grabber");

  hr = m_pCaptureBuilder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Interleaved, m_pCaptureFilter, grabberFilter,
                                       nullptr);
  if (FAILED(hr)) {
    m_pCaptureBuilder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, m_pCaptureFilter, grabberFilter, nullptr);
  }

  if (format != nullptr) {
    qv::FrameSize size = qv::ReadFrameSize(*format);
    g_grabberCB.RecordFormat(format->subtype, size.width, size.height);
  } else if (SUCCEEDED(m_pGrabber->GetConnectedMediaType(&request))) {
    qv::FrameSize size = qv::ReadFrameSize(request);
    g_grabberCB.RecordFormat(request.subtype, size.width, size.height);
    ReleaseMediaType(request);
  } else {
    g_grabberCB.RecordFormat(MEDIASUBTYPE_RGB24, 0, 0);
  }

  m_pGrabber->SetBufferSamples(FALSE);
  m_pGrabber->SetOneShot(FALSE);
  m_pGrabber->SetCallback(&g_grabberCB, 1);

  if (format != nullptr) {
    ReleaseMediaType(*format);
    CoTaskMemFree(format);
  }
  grabberFilter.Reset();

  m_pMediaControl->Run();
  m_pMediaControl->Release();
  m_pMediaControl = nullptr;
  SetupVideoWindow();
  g_nGrabFlag = 1;
}
