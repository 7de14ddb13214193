#include "PropertyPages.h"

#include <cwchar>

#include "MediaFormats.h"
#include "MediaTypeHolder.h"
#include "VirtualCameraIds.h"

namespace qvvcam {
namespace {

const wchar_t* SubtypeName(const GUID& subtype) {
  static const wchar_t* const kNames[kPixelFormatCount] = {L"RGB24", L"YUY2", L"UYVY", L"MJPG",
                                                           L"RGB32", L"NV12", L"I420", L"YV12"};
  for (int p = 0; p < kPixelFormatCount; ++p)
    if (IsEqualGUID(subtype, SubtypeOf(static_cast<PixelFormat>(p)))) return kNames[p];
  return L"?";
}

bool SameVideoType(const AM_MEDIA_TYPE* a, const AM_MEDIA_TYPE* b) {
  if (!IsEqualGUID(a->subtype, b->subtype) || a->cbFormat < sizeof(VIDEOINFOHEADER) ||
      b->cbFormat < sizeof(VIDEOINFOHEADER) || !a->pbFormat || !b->pbFormat)
    return false;
  const auto& x = reinterpret_cast<const VIDEOINFOHEADER*>(a->pbFormat)->bmiHeader;
  const auto& y = reinterpret_cast<const VIDEOINFOHEADER*>(b->pbFormat)->bmiHeader;
  return x.biWidth == y.biWidth && x.biHeight == y.biHeight;
}

}  // namespace

FormatPage::FormatPage() : PropertyPage(L"Stream Format") {}

HRESULT FormatPage::Attach(IUnknown* object) { return object->QueryInterface(IID_IAMStreamConfig, m_config.OutVoid()); }

void FormatPage::Detach() { m_config.Reset(); }

void FormatPage::CreateControls(HWND) {
  AddControl(L"STATIC", L"Stream format:", SS_LEFT, kFormatPageLabelId, 8, 8, 240, 16);
  HWND list =
      AddControl(L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, kFormatPageComboId, 8, 30, 240, 240);
  if (!m_config) return;
  int count = 0, size = 0;
  if (FAILED(m_config->GetNumberOfCapabilities(&count, &size)) || size != sizeof(VIDEO_STREAM_CONFIG_CAPS)) return;
  MediaTypeHolder current;
  m_config->GetFormat(current.TaskOut());
  for (int i = 0; i < count; ++i) {
    MediaTypeHolder mt;
    VIDEO_STREAM_CONFIG_CAPS caps;
    if (m_config->GetStreamCaps(i, mt.TaskOut(), reinterpret_cast<BYTE*>(&caps)) != S_OK || !mt.HasTaskRecord())
      continue;
    if (mt->cbFormat >= sizeof(VIDEOINFOHEADER) && mt->pbFormat) {
      const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt->pbFormat);
      wchar_t text[64];
      swprintf(text, 64, L"%ls %ld x %ld, %ld fps", SubtypeName(mt->subtype), static_cast<long>(vih->bmiHeader.biWidth),
               static_cast<long>(vih->bmiHeader.biHeight),
               static_cast<long>(vih->AvgTimePerFrame ? kUnitsPerSecond / vih->AvgTimePerFrame : 0));
      const LRESULT item = SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
      SendMessageW(list, CB_SETITEMDATA, item, i);
      if (current.HasTaskRecord() && SameVideoType(current.Get(), mt.Get())) SendMessageW(list, CB_SETCURSEL, item, 0);
    }
  }
}

HRESULT FormatPage::SetChosenFormat() {
  if (!m_config) return E_UNEXPECTED;
  HWND list = Control(kFormatPageComboId);
  const LRESULT item = SendMessageW(list, CB_GETCURSEL, 0, 0);
  if (item == CB_ERR) return S_FALSE;
  const int index = static_cast<int>(SendMessageW(list, CB_GETITEMDATA, item, 0));
  MediaTypeHolder mt;
  VIDEO_STREAM_CONFIG_CAPS caps;
  HRESULT hr = m_config->GetStreamCaps(index, mt.TaskOut(), reinterpret_cast<BYTE*>(&caps));
  if (hr == S_OK && mt.HasTaskRecord())
    hr = m_config->SetFormat(mt.Get());
  else if (SUCCEEDED(hr))
    hr = E_UNEXPECTED;
  return hr;
}

void FormatPage::OnCommand(int id, int code) {
  if (id != kFormatPageComboId || code != CBN_SELCHANGE) return;
  // Kept dirty when refused (a running graph), so that Apply can try again.
  SetDirty(FAILED(SetChosenFormat()));
}

HRESULT FormatPage::ApplyChanges() { return SetChosenFormat(); }

}  // namespace qvvcam
