// The eleven exported functions: thin entry points over the controller, the frame
// callback object and the image writers.
#include "QVDirectX.h"

#include "DSCamera.h"
#include "DSGrabberCB.h"
#include "ImageSave.h"
#include "PropertyPages.h"

namespace {
// The grab flag's value for "record the next frame, then stop".
constexpr int kStopAfterNextFrame = 2;
}  // namespace

CDSCamera* g_pCamera = nullptr;  // the single controller, or null
HWND g_hHostWnd = nullptr;       // the host window of the latest DSCameraInit

extern "C" {

int32_t QVDX_CALL DSCameraInit(uint8_t deviceIndex, HWND hostWindow) {
  if (g_pCamera == nullptr) g_pCamera = new CDSCamera();
  g_hHostWnd = hostWindow;
  if (g_pCamera->m_bInitialized) return 0;
  return g_pCamera->Init(static_cast<int>(deviceIndex), hostWindow).IsBuilt() ? 1 : 0;
}

int32_t QVDX_CALL DSCameraUnInit(void) {
  if (g_pCamera == nullptr) return 1;
  g_pCamera->UnInit();
  delete g_pCamera;
  g_pCamera = nullptr;
  return 1;
}

int32_t QVDX_CALL DSCameraPlay(void) {
  // Without a controller there is nothing to run: the same answer as a failed run.
  if (g_pCamera == nullptr) return 2;
  return g_pCamera->Play() == S_FALSE ? 1 : 2;
}

int32_t QVDX_CALL DSCameraStop(void) {
  if (g_pCamera != nullptr) g_pCamera->Stop();
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

int32_t QVDX_CALL DSProperty(void) { return ShowDevicePropertyPages(g_pCamera, g_hHostWnd); }

int32_t QVDX_CALL DSResolution(void) {
  if (g_pCamera != nullptr) g_pCamera->ChangeResolution();
  return 1;
}

}  // extern "C"
