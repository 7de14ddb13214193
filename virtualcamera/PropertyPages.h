// The property pages: a shared IPropertyPage base that owns the page window, the
// device page (filter settings) and the stream-format page (IAMStreamConfig).
#pragma once

#include <windows.h>
#include <ocidl.h>
#include <dshow.h>

#include "ComObject.h"
#include "QvCameraSettings.h"

namespace qvvcam {

class PropertyPage : public ComObject<IPropertyPage> {
 public:
  STDMETHODIMP SetPageSite(IPropertyPageSite* site) override;
  STDMETHODIMP Activate(HWND parent, LPCRECT rect, BOOL modal) override;
  STDMETHODIMP Deactivate() override;
  STDMETHODIMP GetPageInfo(PROPPAGEINFO* info) override;
  STDMETHODIMP SetObjects(ULONG count, IUnknown** objects) override;
  STDMETHODIMP Show(UINT command) override;
  STDMETHODIMP Move(LPCRECT rect) override;
  STDMETHODIMP IsPageDirty() override;
  STDMETHODIMP Apply() override;
  STDMETHODIMP Help(LPCOLESTR helpDir) override;
  STDMETHODIMP TranslateAccelerator(MSG* msg) override;

 protected:
  explicit PropertyPage(const wchar_t* title);
  ~PropertyPage() override;
  void* Interface(REFIID iid) override { return Listed(iid); }

  virtual HRESULT Attach(IUnknown* object) = 0;  // the one object of SetObjects
  virtual void Detach() = 0;
  virtual void CreateControls(HWND page) = 0;
  virtual void OnCommand(int id, int code) = 0;
  virtual HRESULT ApplyChanges() = 0;

  HWND Control(int id) const { return GetDlgItem(m_window, id); }
  HWND AddControl(const wchar_t* windowClass, const wchar_t* text, DWORD style, int id, int x, int y, int w, int h);
  void SetDirty(bool dirty);
  bool Dirty() const { return m_dirty; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  const wchar_t* m_title;
  HWND m_window = nullptr;
  bool m_dirty = false;
  ComHolder<IPropertyPageSite> m_site;
};

// Pattern of the picture (moving or still box), applied as soon as it is chosen.
class DevicePage final : public PropertyPage {
 public:
  DevicePage();

 protected:
  HRESULT Attach(IUnknown* object) override;
  void Detach() override;
  void CreateControls(HWND page) override;
  void OnCommand(int id, int code) override;
  HRESULT ApplyChanges() override;

 private:
  ComHolder<IQvCameraSettings> m_settings;
};

// One entry per GetStreamCaps index; choosing one calls SetFormat at once (the frame
// may never call Apply), and Apply repeats a choice that SetFormat refused.
class FormatPage final : public PropertyPage {
 public:
  FormatPage();

 protected:
  HRESULT Attach(IUnknown* object) override;
  void Detach() override;
  void CreateControls(HWND page) override;
  void OnCommand(int id, int code) override;
  HRESULT ApplyChanges() override;

 private:
  HRESULT SetChosenFormat();
  ComHolder<IAMStreamConfig> m_config;
};

}  // namespace qvvcam
