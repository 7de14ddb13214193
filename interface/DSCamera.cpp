#include "DSCamera.h"

#include "MessageBox.h"

CDSCamera::CDSCamera() {
  if (FAILED(CoInitialize(nullptr))) {
    AfxMessageBox("CoInitialize Failed!\n", 0, 0);
  }
}

CDSCamera::~CDSCamera() {
  // The graph goes before the builder that refers to it, and everything before COM is left.
  if (m_pGraph != nullptr) {
    m_pGraph->Release();
    m_pGraph = nullptr;
  }
  if (m_pCaptureBuilder != nullptr) {
    m_pCaptureBuilder->Release();
    m_pCaptureBuilder = nullptr;
  }
  m_pGrabber.Reset();
  CoUninitialize();
}

HRESULT CDSCamera::CreateGraphObjects() {
  HRESULT hr = CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                IID_ICaptureGraphBuilder2, reinterpret_cast<void**>(&m_pCaptureBuilder));
  if (FAILED(hr)) return hr;
  hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                        reinterpret_cast<void**>(&m_pGraph));
  if (FAILED(hr)) return hr;
  m_bInitialized = 1;
  m_pCaptureBuilder->SetFiltergraph(m_pGraph);
  return hr;
}

void CDSCamera::UnInit() { TearDownGraph(); }
