#include "CameraDevices.h"

#include <cstdio>

#include "VirtualCameraIds.h"

namespace qvtest {

namespace {

const wchar_t kInstanceKey[] =
    L"Software\\Classes\\CLSID\\{860BB310-5D01-11d0-BD3B-00A0C911CE86}\\Instance";

std::wstring GuidText(const GUID& guid) {
  wchar_t text[64] = {};
  StringFromGUID2(guid, text, 64);
  return text;
}

bool SetString(HKEY key, const wchar_t* name, const std::wstring& value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool SetNumber(HKEY key, const wchar_t* name, DWORD value) {
  return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) ==
         ERROR_SUCCESS;
}

std::wstring VirtualCameraPath() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path);
  dir.resize(dir.find_last_of(L'\\') + 1);
  return dir + L"qvvcam.dll";
}

bool RegisterClass(const CLSID& clsid) {
  std::wstring keyName = L"Software\\Classes\\CLSID\\" + GuidText(clsid) + L"\\InprocServer32";
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  bool ok = SetString(key, nullptr, VirtualCameraPath()) && SetString(key, L"ThreadingModel", L"Both");
  RegCloseKey(key);
  return ok;
}

}  // namespace

CameraDevices::CameraDevices(const std::vector<CameraDevice>& devices) {
  for (const CLSID* clsid : {&qvvcam::CLSID_QvVirtualCamera, &qvvcam::CLSID_QvVirtualCameraBroken,
                             &qvvcam::CLSID_QvDevicePage, &qvvcam::CLSID_QvFormatPage}) {
    m_ok = RegisterClass(*clsid) && m_ok;
  }
  int index = 0;
  for (const CameraDevice& device : devices) {
    // Subkeys are listed in name order, so the names keep the order given.
    wchar_t name[64];
    std::swprintf(name, 64, L"%s\\QVTestCamera%02d", kInstanceKey, index++);
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, name, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
      m_ok = false;
      continue;
    }
    m_keys.push_back(name);
    if (device.readableName) {
      m_ok = SetString(key, qvvcam::kValueFriendlyName, device.name) && m_ok;
      const CLSID& clsid = device.broken ? qvvcam::CLSID_QvVirtualCameraBroken : qvvcam::CLSID_QvVirtualCamera;
      m_ok = SetString(key, qvvcam::kValueClsid, GuidText(clsid)) && m_ok;
      if (device.stopAfterFrames) SetNumber(key, qvvcam::kValueStopAfterFrames, device.stopAfterFrames);
      if (device.noStreamConfig) SetNumber(key, qvvcam::kValueNoStreamConfig, 1);
      if (device.noPropertyPages) SetNumber(key, qvvcam::kValueNoPropertyPages, 1);
    }
    RegCloseKey(key);
  }
}

CameraDevices::~CameraDevices() {
  for (const std::wstring& key : m_keys) RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str());
}

}  // namespace qvtest
