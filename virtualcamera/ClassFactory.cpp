#include "ClassFactory.h"

#include "CaptureFilter.h"
#include "PropertyPages.h"
#include "VirtualCameraIds.h"

namespace qvvcam {
namespace {

template <class T>
HRESULT Create(REFIID iid, void** object) {
  T* made = new (std::nothrow) T();
  if (made == nullptr) return E_OUTOFMEMORY;
  const HRESULT hr = made->QueryInterface(iid, object);
  made->Release();
  return hr;
}

}  // namespace

bool ClassFactory::Serves(const CLSID& clsid) {
  return IsEqualGUID(clsid, CLSID_QvVirtualCamera) || IsEqualGUID(clsid, CLSID_QvVirtualCameraBroken) ||
         IsEqualGUID(clsid, CLSID_QvDevicePage) || IsEqualGUID(clsid, CLSID_QvFormatPage);
}

STDMETHODIMP ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  if (IsEqualGUID(m_clsid, CLSID_QvVirtualCamera)) return Create<CaptureFilter>(iid, object);
  if (IsEqualGUID(m_clsid, CLSID_QvDevicePage)) return Create<DevicePage>(iid, object);
  if (IsEqualGUID(m_clsid, CLSID_QvFormatPage)) return Create<FormatPage>(iid, object);
  // CLSID_QvVirtualCameraBroken: a device whose driver can't start.
  return kBrokenDeviceResult;
}

STDMETHODIMP ClassFactory::LockServer(BOOL lock) {
  if (lock)
    ModuleAddRef();
  else
    ModuleRelease();
  return S_OK;
}

}  // namespace qvvcam
