// The eleven exported functions: thin entry points over the controller, the frame
// callback object and the image writers.
#include "QVDirectX.h"

#include <atomic>

#include "DSCamera.h"
#include "DSGrabberCB.h"
#include "ImageSave.h"
#include "PropertyPages.h"

namespace {
// The grab flag's value for "record the next frame, then stop".
constexpr int kStopAfterNextFrame = 2;

// Set for the whole length of an export that changes the graph or the controller. Such a
// call may run a modal loop (a property frame, a message box) in which the host's timers
// and buttons fire; an export of this kind called from there is refused, so the outer
// call never finds its graph or its controller changed or deleted under it.
std::atomic<bool> g_controllerBusy{false};

class ControllerCall {
 public:
  ControllerCall() : m_entered(!g_controllerBusy.exchange(true)) {}
  ~ControllerCall() {
    if (m_entered) g_controllerBusy = false;
  }
  ControllerCall(const ControllerCall&) = delete;
  ControllerCall& operator=(const ControllerCall&) = delete;
  bool Refused() const { return !m_entered; }

 private:
  bool m_entered;
};
}  // namespace

CDSCamera* g_pCamera = nullptr;  // the single controller, or null
HWND g_hHostWnd = nullptr;       // the host window of the latest DSCameraInit

extern "C" {

// A refused call gives the answer it gives when there is nothing to do.
int32_t QVDX_CALL DSCameraInit(uint8_t deviceIndex, HWND hostWindow) {
  ControllerCall call;
  if (call.Refused()) return 0;
  if (g_pCamera == nullptr) g_pCamera = new CDSCamera();
  g_hHostWnd = hostWindow;
  if (g_pCamera->m_bInitialized) return 0;
  return g_pCamera->Init(static_cast<int>(deviceIndex), hostWindow).IsBuilt() ? 1 : 0;
}

int32_t QVDX_CALL DSCameraUnInit(void) {
  ControllerCall call;
  if (call.Refused()) return 1;
  if (g_pCamera == nullptr) return 1;
  g_pCamera->UnInit();
  delete g_pCamera;
  g_pCamera = nullptr;
  return 1;
}

int32_t QVDX_CALL DSCameraPlay(void) {
  ControllerCall call;
  if (call.Refused()) return 2;
  // Without a controller there is nothing to run: the same answer as a failed run.
  if (g_pCamera == nullptr) return 2;
  return g_pCamera->Play() == S_FALSE ? 1 : 2;
}

int32_t QVDX_CALL DSCameraStop(void) {
  ControllerCall call;
  if (!call.Refused() && g_pCamera != nullptr) g_pCamera->Stop();
  return 1;
}

int32_t QVDX_CALL DSGrabFrame(unsigned char* buffer) {
  g_grabberCB.GrabFrame(buffer);
  return 1;
}

int32_t QVDX_CALL DSCameraCaptureFile(const char* path) {
  g_grabberCB.SetCaptureFile(path, kStopAfterNextFrame);
  return 1;
}

int32_t QVDX_CALL DSCameraGetImageSize(int32_t* width, int32_t* height) {
  g_grabberCB.GetImageSize(width, height);
  return 1;
}

int32_t QVDX_CALL DSCameraImageSave(unsigned char* frame, int32_t fileType, int32_t width, int32_t height,
                                    const char* path) {
  SaveImageFile(frame, fileType, width, height, path);
  return 1;
}

int32_t QVDX_CALL DSCameraRegisterpixel(HWND comboBox) { return CDSCamera::EnumerateDevices(comboBox); }

int32_t QVDX_CALL DSProperty(void) {
  ControllerCall call;
  if (call.Refused()) return 0;
  return ShowDevicePropertyPages(g_pCamera, g_hHostWnd);
}

int32_t QVDX_CALL DSResolution(void) {
  ControllerCall call;
  if (!call.Refused() && g_pCamera != nullptr) g_pCamera->ChangeResolution();
  return 1;
}

}  // extern "C"
