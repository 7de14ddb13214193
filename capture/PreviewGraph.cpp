// Building the preview graph: capture filter -> sample grabber (RGB24) -> renderer,
// with the renderer's window kept hidden.
#include <cstring>

#include "DSCamera.h"
#include "DSGrabberCB.h"
#include "MessageBox.h"
#include "VideoFormat.h"

namespace {

// Ends the wait cursor on every way out of the build.
class WaitCursorScope {
 public:
  explicit WaitCursorScope(CWnd& wnd) : m_wnd(wnd) { m_wnd.BeginWaitCursor(); }
  ~WaitCursorScope() { m_wnd.EndWaitCursor(); }
  WaitCursorScope(const WaitCursorScope&) = delete;
  WaitCursorScope& operator=(const WaitCursorScope&) = delete;

 private:
  CWnd& m_wnd;
};

}  // namespace

int CDSCamera::Init(int deviceIndex, HWND hOwner) {
  WaitCursorScope waitCursor(*this);

  HRESULT hr = CreateGraphObjects();
  if (FAILED(hr)) {
    AfxMessageBox("Failed to get video interfaces!", 0, 0);
    return hr;
  }
  if (!BindDevice(deviceIndex, &m_pCaptureFilter)) return 1;
  if (m_pCaptureFilter != nullptr) m_pGraph->AddFilter(m_pCaptureFilter, L"Capture Filter");

  hr = CoCreateInstance(qv::CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER,
                        IID_ISampleGrabber, m_pGrabber.OutVoid());
  if (!m_pGrabber) {
    AfxMessageBox("Fail to create SampleGrabber, maybe qedit.dll is not registered?", 0, 0);
    return FAILED(hr) ? hr : E_NOINTERFACE;
  }
  ComHolder<IBaseFilter> grabberFilter;
  m_pGrabber->QueryInterface(IID_IBaseFilter, grabberFilter.OutVoid());

  AM_MEDIA_TYPE mediaType;
  std::memset(&mediaType, 0, sizeof mediaType);
  mediaType.majortype = MEDIATYPE_Video;
  mediaType.subtype = MEDIASUBTYPE_RGB24;
  hr = m_pGrabber->SetMediaType(&mediaType);
  if (FAILED(hr)) {
    AfxMessageBox("Fail to set media type!", 0, 0);
    return hr;
  }
  g_grabberCB.m_subtype = MEDIASUBTYPE_RGB24;

  hr = m_pGraph->AddFilter(grabberFilter, L"Grabber");
  if (FAILED(hr)) {
    AfxMessageBox("Fail to put sample grabber in graph", 0, 0);
    return hr;
  }

  // Without a device there is no source to render from; the platform's builder
  // dereferences a null source, so both requests are taken as failed without asking.
  hr = m_pCaptureFilter == nullptr
           ? E_POINTER
           : m_pCaptureBuilder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, m_pCaptureFilter, grabberFilter,
                                             nullptr);
  if (FAILED(hr)) {
    if (m_pCaptureFilter != nullptr) {
      hr = m_pCaptureBuilder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, m_pCaptureFilter, grabberFilter,
                                           nullptr);
    }
    if (FAILED(hr)) {
      AfxMessageBox("Can't build the preview-graph! Maybe another application is using the capture device.", 0, 0);
      return hr;
    }
  }

  hr = m_pGrabber->GetConnectedMediaType(&mediaType);
  if (FAILED(hr)) {
    AfxMessageBox("Failt to read the connected media type", 0, 0);
    return hr;
  }
  qv::FrameSize size = qv::ReadFrameSize(mediaType);
  g_grabberCB.RecordFormat(mediaType.subtype, size.width, size.height);
  ReleaseMediaType(mediaType);

  m_pGrabber->SetBufferSamples(FALSE);
  m_pGrabber->SetOneShot(FALSE);
  m_pGrabber->SetCallback(&g_grabberCB, 1);

  m_hOwnerWnd = hOwner;
  SetupVideoWindow();
  return 0;
}

HRESULT CDSCamera::SetupVideoWindow() {
  HRESULT hr = m_pGraph->QueryInterface(IID_IVideoWindow, reinterpret_cast<void**>(&m_pVideoWindow));
  if (FAILED(hr) || m_pVideoWindow == nullptr) {
    m_pVideoWindow = nullptr;
    return FAILED(hr) ? hr : E_NOINTERFACE;
  }
  m_pVideoWindow->put_Owner(reinterpret_cast<OAHWND>(m_hOwnerWnd));
  m_pVideoWindow->put_WindowStyle(0x80);
  m_pVideoWindow->SetWindowPosition(0, 0, 1, 1);
  hr = m_pVideoWindow->put_Visible(OAFALSE);
  m_pVideoWindow->Release();
  m_pVideoWindow = nullptr;
  return hr;
}

void CDSCamera::ReleaseMediaType(AM_MEDIA_TYPE& mediaType) {
  if (mediaType.cbFormat != 0) {
    CoTaskMemFree(mediaType.pbFormat);
    mediaType.cbFormat = 0;
    mediaType.pbFormat = nullptr;
  }
  if (mediaType.pUnk != nullptr) {
    mediaType.pUnk->Release();
    mediaType.pUnk = nullptr;
  }
}
