#include "VirtualCameraDevices.h"

#include <cstdio>
#include <cwchar>

#include "DeviceRegistry.h"

namespace qvtest {
namespace {

std::string HexResult(HRESULT hr) {
  char text[16];
  snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

bool IsTestSubkey(const std::wstring& name) {
  const size_t n = wcslen(kTestSubkeyPrefix);
  return name.size() >= n && _wcsnicmp(name.c_str(), kTestSubkeyPrefix, n) == 0;
}

}  // namespace

VirtualDevice VirtualDevice::Named(std::wstring name) {
  VirtualDevice d;
  d.name = std::move(name);
  return d;
}

VirtualDevice VirtualDevice::Unreadable() {
  VirtualDevice d;
  d.readableName = false;
  return d;
}

HRESULT RegisterVirtualCameraClasses(std::string* error) {
  HMODULE dll = LoadLibraryW(L"qvvcam.dll");
  if (dll == nullptr) {
    const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
    if (error) *error = "LoadLibrary(qvvcam.dll) failed: " + HexResult(hr);
    return hr;
  }
  using Register = HRESULT(STDAPICALLTYPE*)();
  auto registerClasses =
      reinterpret_cast<Register>(reinterpret_cast<void*>(GetProcAddress(dll, "QvVcamRegisterClasses")));
  HRESULT hr = registerClasses ? registerClasses() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  if (FAILED(hr) && error) *error = "QvVcamRegisterClasses failed: " + HexResult(hr);
  FreeLibrary(dll);
  return hr;
}

VirtualCameraDevices::VirtualCameraDevices(const std::vector<VirtualDevice>& devices) {
  qvvcam::RemoveOurDevices();
  for (const qvvcam::ListedDevice& d : qvvcam::ListDevices())
    if (IsTestSubkey(d.entry.subkey)) qvvcam::RemoveDevice(d.entry.subkey);
  std::string error;
  const HRESULT hr = RegisterVirtualCameraClasses(&error);
  if (FAILED(hr)) {
    Fail(hr, error);
    return;
  }
  for (size_t i = 0; i < devices.size(); ++i) {
    wchar_t subkey[32];
    swprintf(subkey, 32, L"%ls%02u", kTestSubkeyPrefix, static_cast<unsigned>(i));
    qvvcam::DeviceEntry entry;
    entry.subkey = subkey;
    entry.friendlyName = devices[i].name;
    entry.readableName = devices[i].readableName;
    entry.broken = devices[i].failsToCreate;
    entry.stopAfterFrames = devices[i].stopAfterFrames;
    entry.noStreamConfig = devices[i].noStreamConfig;
    entry.noPropertyPages = devices[i].noPropertyPages;
    entry.previewPin = devices[i].previewPin;
    entry.refusesStop = devices[i].refusesStop;
    entry.losesDevice = devices[i].losesDevice;
    entry.mjpgDamage = devices[i].mjpgDamage;
    entry.sampleSlack = devices[i].sampleSlack;
    entry.formatIgnored = devices[i].formatIgnored;
    entry.losesOnFormat = devices[i].losesOnFormat;
    const HRESULT written = qvvcam::WriteDevice(entry);
    m_subkeys.push_back(subkey);
    if (FAILED(written)) {
      Fail(written, "writing device subkey failed");
      return;
    }
  }
}

VirtualCameraDevices::~VirtualCameraDevices() {
  for (const std::wstring& subkey : m_subkeys) qvvcam::RemoveDevice(subkey);
}

void VirtualCameraDevices::Fail(HRESULT hr, const std::string& what) {
  if (SUCCEEDED(m_result)) {
    m_result = hr;
    m_error = what + " (" + HexResult(hr) + ")";
  }
}

}  // namespace qvtest
