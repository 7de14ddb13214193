#include "PropertyPages.h"

#include "CameraState.h"
#include "DSCamera.h"
#include "PropertyFrameFixup.h"

int ShowDevicePropertyPages() {
  if (g_pCamera == nullptr || !g_pCamera->m_bInitialized) return 0;
  // A build that failed before binding a device leaves no filter to show.
  IBaseFilter* device = g_pCamera->m_pCaptureFilter;
  if (device == nullptr) return 1;
  ComHolder<ISpecifyPropertyPages> pages;
  if (device->QueryInterface(IID_ISpecifyPropertyPages, pages.OutVoid()) != S_OK || !pages) return 1;

  CAUUID list = {0, nullptr};
  // A page list that could not be read is not shown.
  if (FAILED(pages->GetPages(&list)) || list.cElems == 0 || list.pElems == nullptr) {
    CoTaskMemFree(list.pElems);
    return 1;
  }
  FixupControl* fixup = StartPropertyFrameFixup();
  IUnknown* object = device;
  OleCreatePropertyFrame(g_hHostWnd, 100, 100, nullptr, 1, &object, list.cElems, list.pElems, 0, 0, nullptr);
  FinishPropertyFrameFixup(fixup);
  CoTaskMemFree(list.pElems);
  return 1;
}
