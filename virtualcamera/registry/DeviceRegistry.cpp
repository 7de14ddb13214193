#include "DeviceRegistry.h"

#include "VirtualCameraIds.h"

#include <cwchar>

namespace qvvcam {
namespace {

constexpr const wchar_t* kClassesRoot = L"Software\\Classes\\CLSID\\";
// CLSID_VideoInputDeviceCategory
constexpr const wchar_t* kVideoInputCategory = L"{860BB310-5D01-11D0-BD3B-00A0C911CE86}";

struct Key {
  HKEY h = nullptr;
  ~Key() {
    if (h) RegCloseKey(h);
  }
};

HRESULT FromStatus(LONG status) { return status == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(status); }

HRESULT SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
  return FromStatus(RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))));
}

HRESULT SetDword(HKEY key, const wchar_t* name, DWORD value) {
  return FromStatus(RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value));
}

bool ReadString(HKEY key, const wchar_t* name, std::wstring& out) {
  wchar_t buffer[512];
  DWORD type = 0, size = sizeof buffer - sizeof(wchar_t);
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
      type != REG_SZ)
    return false;
  buffer[size / sizeof(wchar_t)] = 0;
  out = buffer;
  return true;
}

DWORD ReadDword(HKEY key, const wchar_t* name) {
  DWORD type = 0, value = 0, size = sizeof value;
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
      type != REG_DWORD)
    return 0;
  return value;
}

HRESULT CreateKey(const std::wstring& path, Key& key) {
  return FromStatus(
      RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key.h, nullptr));
}

struct ClassEntry {
  const CLSID* clsid;
  const wchar_t* name;
};
const ClassEntry kClasses[] = {
    {&CLSID_QvVirtualCamera, kDefaultDeviceName},
    {&CLSID_QvVirtualCameraBroken, L"QV Virtual Camera (unavailable)"},
    {&CLSID_QvDevicePage, L"QV Virtual Camera Device Page"},
    {&CLSID_QvFormatPage, L"QV Virtual Camera Stream Format Page"},
};

}  // namespace

std::wstring GuidString(const GUID& g) {
  wchar_t text[40];
  swprintf(text, 40, L"{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", static_cast<unsigned long>(g.Data1),
           g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6],
           g.Data4[7]);
  return text;
}

std::wstring InstanceKeyPath() { return std::wstring(kClassesRoot) + kVideoInputCategory + L"\\Instance"; }

HRESULT RegisterClasses(const std::wstring& modulePath) {
  if (modulePath.empty()) return E_INVALIDARG;
  for (const ClassEntry& c : kClasses) {
    const std::wstring path = kClassesRoot + GuidString(*c.clsid);
    Key key, server;
    HRESULT hr = CreateKey(path, key);
    if (SUCCEEDED(hr)) hr = SetString(key.h, nullptr, c.name);
    if (SUCCEEDED(hr)) hr = CreateKey(path + L"\\InprocServer32", server);
    if (SUCCEEDED(hr)) hr = SetString(server.h, nullptr, modulePath);
    if (SUCCEEDED(hr)) hr = SetString(server.h, L"ThreadingModel", L"Both");
    if (FAILED(hr)) return hr;
  }
  return S_OK;
}

HRESULT UnregisterClasses() {
  HRESULT result = S_OK;
  for (const ClassEntry& c : kClasses) {
    const std::wstring path = kClassesRoot + GuidString(*c.clsid);
    const LONG status = RegDeleteTreeW(HKEY_LOCAL_MACHINE, path.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) result = HRESULT_FROM_WIN32(status);
  }
  return result;
}

HRESULT WriteDevice(const DeviceEntry& d) {
  if (d.subkey.empty() || d.subkey.find(L'\\') != std::wstring::npos) return E_INVALIDARG;
  const std::wstring path = InstanceKeyPath() + L"\\" + d.subkey;
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, path.c_str());  // start from an empty subkey
  Key key;
  HRESULT hr = CreateKey(path, key);
  if (FAILED(hr) || !d.readableName) return hr;
  hr = SetString(key.h, kValueFriendlyName, d.friendlyName);
  if (SUCCEEDED(hr))
    hr = SetString(key.h, kValueClsid, GuidString(d.broken ? CLSID_QvVirtualCameraBroken : CLSID_QvVirtualCamera));
  if (SUCCEEDED(hr) && d.stopAfterFrames) hr = SetDword(key.h, kValueStopAfterFrames, d.stopAfterFrames);
  if (SUCCEEDED(hr) && d.noStreamConfig) hr = SetDword(key.h, kValueNoStreamConfig, 1);
  if (SUCCEEDED(hr) && d.noPropertyPages) hr = SetDword(key.h, kValueNoPropertyPages, 1);
  if (SUCCEEDED(hr) && d.previewPin) hr = SetDword(key.h, kValuePreviewPin, 1);
  if (SUCCEEDED(hr) && d.refusesStop) hr = SetDword(key.h, kValueRefuseStop, 1);
  if (SUCCEEDED(hr) && d.losesDevice) hr = SetDword(key.h, kValueLoseDevice, 1);
  if (SUCCEEDED(hr) && d.mjpgDamage) hr = SetDword(key.h, kValueMjpgDamage, d.mjpgDamage);
  if (SUCCEEDED(hr) && d.sampleSlack) hr = SetDword(key.h, kValueSampleSlack, d.sampleSlack);
  if (SUCCEEDED(hr) && d.formatIgnored) hr = SetDword(key.h, kValueFormatIgnored, 1);
  if (SUCCEEDED(hr) && d.losesOnFormat) hr = SetDword(key.h, kValueLoseOnFormat, 1);
  return hr;
}

HRESULT RemoveDevice(const std::wstring& subkey) {
  if (subkey.empty()) return E_INVALIDARG;
  const std::wstring path = InstanceKeyPath() + L"\\" + subkey;
  const LONG status = RegDeleteTreeW(HKEY_LOCAL_MACHINE, path.c_str());
  if (status == ERROR_FILE_NOT_FOUND) return S_FALSE;
  return FromStatus(status);
}

std::vector<ListedDevice> ListDevices() {
  std::vector<ListedDevice> list;
  Key instance;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, InstanceKeyPath().c_str(), 0, KEY_READ, &instance.h) != ERROR_SUCCESS)
    return list;
  const std::wstring ours = GuidString(CLSID_QvVirtualCamera), broken = GuidString(CLSID_QvVirtualCameraBroken);
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD length = 256;
    if (RegEnumKeyExW(instance.h, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    ListedDevice d;
    d.entry.subkey = name;
    Key key;
    if (RegOpenKeyExW(instance.h, name, 0, KEY_READ, &key.h) == ERROR_SUCCESS) {
      d.entry.readableName = ReadString(key.h, kValueFriendlyName, d.entry.friendlyName);
      ReadString(key.h, kValueClsid, d.clsid);
      d.ours = _wcsicmp(d.clsid.c_str(), ours.c_str()) == 0 || _wcsicmp(d.clsid.c_str(), broken.c_str()) == 0;
      d.entry.broken = _wcsicmp(d.clsid.c_str(), broken.c_str()) == 0;
      d.entry.stopAfterFrames = ReadDword(key.h, kValueStopAfterFrames);
      d.entry.noStreamConfig = ReadDword(key.h, kValueNoStreamConfig) != 0;
      d.entry.noPropertyPages = ReadDword(key.h, kValueNoPropertyPages) != 0;
      d.entry.previewPin = ReadDword(key.h, kValuePreviewPin) != 0;
      d.entry.refusesStop = ReadDword(key.h, kValueRefuseStop) != 0;
      d.entry.losesDevice = ReadDword(key.h, kValueLoseDevice) != 0;
      d.entry.mjpgDamage = ReadDword(key.h, kValueMjpgDamage);
      d.entry.sampleSlack = ReadDword(key.h, kValueSampleSlack);
      d.entry.formatIgnored = ReadDword(key.h, kValueFormatIgnored) != 0;
      d.entry.losesOnFormat = ReadDword(key.h, kValueLoseOnFormat) != 0;
    }
    list.push_back(d);
  }
  return list;
}

int RemoveOurDevices() {
  int removed = 0;
  for (const ListedDevice& d : ListDevices())
    if (d.ours && RemoveDevice(d.entry.subkey) == S_OK) ++removed;
  return removed;
}

}  // namespace qvvcam
