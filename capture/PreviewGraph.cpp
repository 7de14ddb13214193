// Building the preview graph: capture filter -> sample grabber (RGB24) -> renderer,
// with the renderer's window kept hidden.
#include "DSCamera.h"
#include "DSGrabberCB.h"
#include "GrabberWiring.h"
#include "MediaTypeHolder.h"
#include "MessageBox.h"

namespace {

// The renderer window's style, 128 exactly: no WS_CHILD or clipping bit is added. The
// window stays hidden at one pixel, so the library shows no picture of its own.
constexpr long kRendererWindowStyle = 0x80;

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

CDSCamera::InitResult CDSCamera::Init(int deviceIndex, HWND hOwner) {
  WaitCursorScope waitCursor(*this);

  HRESULT hr = CreateGraphObjects();
  if (FAILED(hr)) {
    AfxMessageBox("Failed to get video interfaces!", 0, 0);
    return InitResult::Failed(hr);
  }
  if (!BindDevice(deviceIndex, m_pCaptureFilter.Out())) return InitResult::DeviceRefused();
  if (m_pCaptureFilter) m_pGraph->AddFilter(m_pCaptureFilter, L"Capture Filter");

  hr = CoCreateInstance(qv::CLSID_SampleGrabber, nullptr,
                        CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER, IID_ISampleGrabber,
                        m_pGrabber.OutVoid());
  if (!m_pGrabber) {
    AfxMessageBox("Fail to create SampleGrabber, maybe qedit.dll is not registered?", 0, 0);
    return InitResult::Failed(FAILED(hr) ? hr : E_NOINTERFACE);
  }
  ComHolder<IBaseFilter> grabberFilter = qv::GrabberFilterOf(m_pGrabber);

  // One record: first the type asked for, then the type connected.
  MediaTypeHolder mediaType;
  qv::RequestRgb24(*mediaType);
  hr = m_pGrabber->SetMediaType(mediaType.Get());
  if (FAILED(hr)) {
    AfxMessageBox("Fail to set media type!", 0, 0);
    return InitResult::Failed(hr);
  }
  g_grabberCB.m_subtype = MEDIASUBTYPE_RGB24;

  hr = qv::AddGrabberToGraph(m_pGraph, grabberFilter);
  if (FAILED(hr)) {
    AfxMessageBox("Fail to put sample grabber in graph", 0, 0);
    return InitResult::Failed(hr);
  }

  hr = qv::RenderThroughGrabber(m_pCaptureBuilder, MEDIATYPE_Video, m_pCaptureFilter, grabberFilter);
  if (FAILED(hr)) {
    AfxMessageBox("Can't build the preview-graph! Maybe another application is using the capture device.", 0, 0);
    return InitResult::Failed(hr);
  }

  hr = m_pGrabber->GetConnectedMediaType(mediaType.Get());
  if (FAILED(hr)) {
    AfxMessageBox("Failt to read the connected media type", 0, 0);
    return InitResult::Failed(hr);
  }
  qv::RecordGrabbedFormat(*mediaType);
  ReleaseMediaType(*mediaType);

  qv::StartBufferCallbacks(m_pGrabber);

  m_hOwnerWnd = hOwner;
  SetupVideoWindow();
  return InitResult::Built();
}

HRESULT CDSCamera::SetupVideoWindow() {
  HRESULT hr = m_pVideoWindow.QueryFrom(m_pGraph, IID_IVideoWindow);
  if (FAILED(hr) || !m_pVideoWindow) return FAILED(hr) ? hr : E_NOINTERFACE;
  m_pVideoWindow->put_Owner(reinterpret_cast<OAHWND>(m_hOwnerWnd));
  m_pVideoWindow->put_WindowStyle(kRendererWindowStyle);
  m_pVideoWindow->SetWindowPosition(0, 0, 1, 1);
  hr = m_pVideoWindow->put_Visible(OAFALSE);
  m_pVideoWindow.Reset();
  return hr;
}

void CDSCamera::ReleaseMediaType(AM_MEDIA_TYPE& mediaType) { FreeMediaType(mediaType); }
