// The camera controller: the one object that owns an open camera's graph.
#pragma once

#include "ComHolder.h"
#include "DirectShow.h"
#include "Wnd.h"

class CDSCamera : public CWnd {
 public:
  // How a build ended: built; refused by BindDevice before anything was added; or
  // failed, with the failing call's HRESULT.
  struct InitResult {
    enum class Outcome { Built, DeviceRefused, Failed };
    Outcome outcome;
    HRESULT failure;  // S_OK unless Failed

    static InitResult Built() { return {Outcome::Built, S_OK}; }
    static InitResult DeviceRefused() { return {Outcome::DeviceRefused, S_OK}; }
    static InitResult Failed(HRESULT hr) { return {Outcome::Failed, hr}; }
    bool IsBuilt() const { return outcome == Outcome::Built; }
  };

  CDSCamera();
  ~CDSCamera() override;

  // Lifetime and graph objects (DSCamera.cpp).
  HRESULT CreateGraphObjects();
  void UnInit();

  // Devices (capture/DeviceEnumeration.cpp). EnumerateDevices uses no member.
  static int EnumerateDevices(HWND comboBox);
  bool BindDevice(int deviceIndex, IBaseFilter** filterSlot);

  // The preview graph (capture/PreviewGraph.cpp).
  InitResult Init(int deviceIndex, HWND hOwner);
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
  ComHolder<IGraphBuilder> m_pGraph;
  ComHolder<ICaptureGraphBuilder2> m_pCaptureBuilder;
  ComHolder<IBaseFilter> m_pCaptureFilter;
  ComHolder<IMediaControl> m_pMediaControl;
  ComHolder<IVideoWindow> m_pVideoWindow;
  ComHolder<ISampleGrabber> m_pGrabber;
  int m_bInitialized = 0;
  bool m_bEnteredCom = false;  // the construction's CoInitialize succeeded
};
