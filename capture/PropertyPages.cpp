#include "PropertyPages.h"

#include "DSCamera.h"
#include "PropertyFrameFixup.h"

namespace {
// Where the device's property frame opens, relative to its owner.
constexpr int kDeviceFrameX = 100;
constexpr int kDeviceFrameY = 100;
}  // namespace

int ShowDevicePropertyPages(const CDSCamera* camera, HWND hostWindow) {
  if (camera == nullptr || !camera->m_bInitialized) return 0;
  // A build that failed before binding a device leaves no filter to show.
  // A reference of the call's own: the frame's message loop runs host code.
  ComHolder<IBaseFilter> device;
  device.CopyFrom(camera->m_pCaptureFilter);
  if (!device) return 1;
  ComHolder<ISpecifyPropertyPages> pages;
  if (device->QueryInterface(IID_ISpecifyPropertyPages, pages.OutVoid()) != S_OK || !pages) return 1;

  CAUUID list = {0, nullptr};
  // A page list that could not be read is not shown.
  if (FAILED(pages->GetPages(&list)) || list.cElems == 0 || list.pElems == nullptr) {
    CoTaskMemFree(list.pElems);
    return 1;
  }
  FixupControl* fixup = StartPropertyFrameFixup(GetCurrentThreadId());  // the frame opens on this thread
  IUnknown* object = device.Get();
  OleCreatePropertyFrame(hostWindow, kDeviceFrameX, kDeviceFrameY, nullptr, 1, &object, list.cElems, list.pElems, 0, 0,
                         nullptr);
  FinishPropertyFrameFixup(fixup);
  CoTaskMemFree(list.pElems);
  return 1;
}
