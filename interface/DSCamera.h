// The camera controller: the one object that owns an open camera's graph.
#pragma once

#include "ComHolder.h"
#include "DirectShow.h"
#include "Wnd.h"

class CDSCamera : public CWnd {
 public:
  CDSCamera();
  ~CDSCamera() override;

  // Lifetime and graph objects (DSCamera.cpp).
  HRESULT CreateGraphObjects();
  void UnInit();

  // Devices (capture/DeviceEnumeration.cpp). EnumerateDevices uses no member.
  static int EnumerateDevices(HWND comboBox);
  bool BindDevice(int deviceIndex, IBaseFilter** filterSlot);

  // The preview graph (capture/PreviewGraph.cpp).
  int Init(int deviceIndex, HWND hOwner);
  HRESULT SetupVideoWindow();
  static void ReleaseMediaType(AM_MEDIA_TYPE& mediaType);

  // Running, stopping and teardown (capture/GraphControl.cpp).
  HRESULT Play();
  void Stop();
  void RemoveDownstreamFilters(IBaseFilter* filter);
  void TearDownGraph();

  // Stream format change (capture/ResolutionChange.cpp).
  void ChangeResolution();

  // Fields, in the order the controller's design gives them.
  HWND m_hOwnerWnd = nullptr;
  IGraphBuilder* m_pGraph = nullptr;
  ICaptureGraphBuilder2* m_pCaptureBuilder = nullptr;
  IBaseFilter* m_pCaptureFilter = nullptr;
  IMediaControl* m_pMediaControl = nullptr;
  IVideoWindow* m_pVideoWindow = nullptr;
  ComHolder<ISampleGrabber> m_pGrabber;
  int m_bInitialized = 0;
};
