// Listing and binding the video input devices. Both walk the category in the same
// order and count only devices whose display name can be read.
#include <string>

#include "DSCamera.h"
#include "DeviceNames.h"

namespace {

// The system device enumerator, or null when it can't be created.
HRESULT CreateDeviceEnumerator(ComHolder<ICreateDevEnum>& devEnum) {
  return CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                          devEnum.OutVoid());
}

// Reads the device's "FriendlyName"; false when the bag or the name can't be read.
bool ReadFriendlyName(IMoniker* moniker, std::wstring* name) {
  ComHolder<IPropertyBag> bag;
  if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.OutVoid())) || !bag) return false;
  VARIANT value;
  VariantInit(&value);
  bool read = SUCCEEDED(bag->Read(L"FriendlyName", &value, nullptr));
  // A name that is not text can't be listed, so it takes no position either.
  if (read && value.vt == VT_BSTR && value.bstrVal != nullptr) {
    name->assign(value.bstrVal, SysStringLen(value.bstrVal));
  } else {
    read = false;
  }
  VariantClear(&value);
  return read;
}

}  // namespace

int CDSCamera::EnumerateDevices(HWND comboBox) {
  ComHolder<ICreateDevEnum> devEnum;
  if (FAILED(CreateDeviceEnumerator(devEnum)) || !devEnum) return -1;
  ComHolder<IEnumMoniker> monikers;
  HRESULT hr = devEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.Out(), 0);
  if (FAILED(hr) || !monikers) return 0;

  int count = 0;
  ComHolder<IMoniker> moniker;
  while (monikers->Next(1, moniker.Out(), nullptr) == S_OK) {
    if (!moniker) continue;
    std::wstring name;
    if (!ReadFriendlyName(moniker, &name)) continue;
    ++count;
    char ansi[qv::kDeviceNameBytes];
    qv::ToAnsiDeviceName(name, ansi);
    SendMessageA(comboBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ansi));
  }
  return count;
}

bool CDSCamera::BindDevice(int deviceIndex, IBaseFilter** filterSlot) {
  if (deviceIndex < 0) return false;
  ComHolder<ICreateDevEnum> devEnum;
  if (FAILED(CreateDeviceEnumerator(devEnum)) || !devEnum) return false;
  ComHolder<IEnumMoniker> monikers;
  HRESULT hr = devEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.Out(), 0);
  if (FAILED(hr) || !monikers) return true;

  int position = 0;
  ComHolder<IMoniker> moniker;
  while (monikers->Next(1, moniker.Out(), nullptr) == S_OK) {
    if (!moniker) continue;
    std::wstring name;
    if (!ReadFriendlyName(moniker, &name)) continue;
    if (position == deviceIndex && filterSlot != nullptr) {
      moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filterSlot));
    }
    ++position;
  }
  return true;
}
