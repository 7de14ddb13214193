#include "DSCamera.h"

#include "MessageBox.h"

CDSCamera::CDSCamera() {
  // Only an entry that succeeded (S_OK or S_FALSE) is left again. A thread that is
  // already multithreaded refuses it, and its COM stays the host's.
  if (SUCCEEDED(CoInitialize(nullptr))) {
    m_bEnteredCom = true;
  } else {
    AfxMessageBox("CoInitialize Failed!\n", 0, 0);
  }
}

CDSCamera::~CDSCamera() {
  // The graph goes before the builder that refers to it, and everything before COM is
  // left. The media control and the video window are held only within one operation.
  m_pGraph.Reset();
  m_pCaptureBuilder.Reset();
  m_pGrabber.Reset();
  m_pMediaControl.Reset();
  m_pVideoWindow.Reset();
  // The device's filter is the teardown's to release. One that a teardown ended early
  // left held stays so: it must not be released after COM is left.
  m_pCaptureFilter.Detach();
  if (m_bEnteredCom) CoUninitialize();
}

HRESULT CDSCamera::CreateGraphObjects() {
  HRESULT hr = CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                IID_ICaptureGraphBuilder2, m_pCaptureBuilder.OutVoid());
  if (FAILED(hr)) return hr;
  hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, m_pGraph.OutVoid());
  if (FAILED(hr)) {
    // A builder without its graph is of no use, and the next try creates a new one.
    m_pCaptureBuilder.Reset();
    return hr;
  }
  m_bInitialized = 1;
  m_pCaptureBuilder->SetFiltergraph(m_pGraph);
  return hr;
}

void CDSCamera::UnInit() { TearDownGraph(); }
