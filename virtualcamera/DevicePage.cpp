#include "PropertyPages.h"

#include <string>

#include "VirtualCameraIds.h"

namespace qvvcam {

DevicePage::DevicePage() : PropertyPage(L"Device") {}

HRESULT DevicePage::Attach(IUnknown* object) {
  return object->QueryInterface(IID_IQvCameraSettings, m_settings.OutVoid());
}

void DevicePage::Detach() { m_settings.Reset(); }

void DevicePage::CreateControls(HWND) {
  std::wstring label = L"Device: ";
  LPWSTR name = nullptr;
  if (m_settings && SUCCEEDED(m_settings->GetDeviceName(&name))) {
    label += name;
    CoTaskMemFree(name);
  }
  AddControl(L"STATIC", label.c_str(), SS_LEFT, kDevicePageLabelId, 8, 8, 240, 16);
  HWND pattern =
      AddControl(L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, kDevicePagePatternId, 8, 30, 160, 120);
  SendMessageW(pattern, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Moving box"));
  SendMessageW(pattern, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(L"Still box"));
  LONG still = 0;
  if (m_settings) m_settings->GetPattern(&still);
  SendMessageW(pattern, CB_SETCURSEL, still ? 1 : 0, 0);
}

void DevicePage::OnCommand(int id, int code) {
  if (id != kDevicePagePatternId || code != CBN_SELCHANGE) return;
  SetDirty(FAILED(ApplyChanges()));
}

HRESULT DevicePage::ApplyChanges() {
  if (!m_settings) return E_UNEXPECTED;
  const LRESULT chosen = SendMessageW(Control(kDevicePagePatternId), CB_GETCURSEL, 0, 0);
  if (chosen == CB_ERR) return S_FALSE;
  return m_settings->SetPattern(chosen == 1 ? 1 : 0);
}

}  // namespace qvvcam
