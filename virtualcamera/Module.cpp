// The DLL's entry points: class objects, unloading, and self-registration.
#include <windows.h>
#include <olectl.h>

#include <atomic>

#include "ClassFactory.h"
#include "ComObject.h"
#include "DeviceRegistry.h"
#include "VirtualCameraIds.h"

namespace qvvcam {
namespace {

std::atomic<long> g_inUse{0};
HINSTANCE g_instance = nullptr;

std::wstring ModulePath() {
  wchar_t path[MAX_PATH * 2];
  const DWORD length = GetModuleFileNameW(g_instance, path, MAX_PATH * 2);
  if (length == 0 || length >= MAX_PATH * 2) return {};
  return std::wstring(path, length);
}

}  // namespace

void ModuleAddRef() { ++g_inUse; }
void ModuleRelease() { --g_inUse; }
bool ModuleInUse() { return g_inUse != 0; }
HINSTANCE ModuleInstance() { return g_instance; }

}  // namespace qvvcam

using namespace qvvcam;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_instance = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

extern "C" HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (!ClassFactory::Serves(clsid)) return CLASS_E_CLASSNOTAVAILABLE;
  ClassFactory* factory = new (std::nothrow) ClassFactory(clsid);
  if (factory == nullptr) return E_OUTOFMEMORY;
  const HRESULT hr = factory->QueryInterface(iid, object);
  factory->Release();
  return hr;
}

extern "C" HRESULT STDAPICALLTYPE DllCanUnloadNow() { return ModuleInUse() ? S_FALSE : S_OK; }

// Classes only, no device: what the test helper and the tool build their device sets on.
extern "C" HRESULT STDAPICALLTYPE QvVcamRegisterClasses() {
  const HRESULT hr = RegisterClasses(ModulePath());
  return FAILED(hr) ? SELFREG_E_CLASS : S_OK;
}

extern "C" HRESULT STDAPICALLTYPE QvVcamUnregisterClasses() { return UnregisterClasses(); }

// The classes and the one default device "QV Virtual Camera".
extern "C" HRESULT STDAPICALLTYPE DllRegisterServer() {
  HRESULT hr = QvVcamRegisterClasses();
  if (FAILED(hr)) return hr;
  DeviceEntry device;
  device.subkey = GuidString(CLSID_QvVirtualCamera);
  device.friendlyName = kDefaultDeviceName;
  hr = WriteDevice(device);
  return FAILED(hr) ? SELFREG_E_CLASS : S_OK;
}

// Removes every device that names one of this DLL's classes, then the classes.
extern "C" HRESULT STDAPICALLTYPE DllUnregisterServer() {
  RemoveOurDevices();
  return UnregisterClasses();
}
