// Listing and binding the video input devices. Both walk the category the same way, so
// the position a name is listed at is the index that binds that device.
#include <string>

#include "DSCamera.h"
#include "DeviceNames.h"

namespace {

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

// Calls visit(moniker, name) for each video input device whose display name can be
// read, in enumeration order: the devices that have a position. False when the system
// device enumerator can't be created; an empty or missing category visits nothing.
template <typename Visit>
bool ForEachDevice(Visit visit) {
  ComHolder<ICreateDevEnum> devEnum;
  HRESULT hr =
      CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum, devEnum.OutVoid());
  if (FAILED(hr) || !devEnum) return false;
  ComHolder<IEnumMoniker> monikers;
  hr = devEnum->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.Out(), 0);
  if (FAILED(hr) || !monikers) return true;

  ComHolder<IMoniker> moniker;
  while (monikers->Next(1, moniker.Out(), nullptr) == S_OK) {
    if (!moniker) continue;
    std::wstring name;
    if (ReadFriendlyName(moniker, &name)) visit(moniker.Get(), name);
  }
  return true;
}

}  // namespace

int CDSCamera::EnumerateDevices(HWND comboBox) {
  int count = 0;
  const bool walked = ForEachDevice([&](IMoniker*, const std::wstring& name) {
    ++count;
    char ansi[qv::kDeviceNameBytes];
    qv::ToAnsiDeviceName(name, ansi);
    SendMessageA(comboBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ansi));
  });
  return walked ? count : -1;
}

bool CDSCamera::BindDevice(int deviceIndex, IBaseFilter** filterSlot) {
  if (deviceIndex < 0) return false;
  int position = 0;
  return ForEachDevice([&](IMoniker* moniker, const std::wstring&) {
    if (position == deviceIndex && filterSlot != nullptr) {
      moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filterSlot));
    }
    ++position;
  });
}
