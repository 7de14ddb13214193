#include "PropertyPages.h"

#include "TaskMemory.h"

namespace qvvcam {
namespace {

constexpr const wchar_t* kPageClass = L"QvVcamPropertyPage";
constexpr SIZE kPageSize = {260, 120};

bool RegisterPageClass(WNDPROC procedure) {
  WNDCLASSEXW wc{};
  if (GetClassInfoExW(ModuleInstance(), kPageClass, &wc)) return true;
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = procedure;
  wc.hInstance = ModuleInstance();
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kPageClass;
  return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

PropertyPage::PropertyPage(const wchar_t* title) : m_title(title) {}

PropertyPage::~PropertyPage() {
  if (m_window) DestroyWindow(m_window);
}

LRESULT CALLBACK PropertyPage::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* page = reinterpret_cast<PropertyPage*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (page != nullptr && message == WM_COMMAND) {
    page->OnCommand(LOWORD(wParam), HIWORD(wParam));
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

HWND PropertyPage::AddControl(const wchar_t* windowClass, const wchar_t* text, DWORD style, int id, int x, int y, int w,
                              int h) {
  HWND control = CreateWindowExW(0, windowClass, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, m_window,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ModuleInstance(), nullptr);
  if (control) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  return control;
}

void PropertyPage::SetDirty(bool dirty) {
  m_dirty = dirty;
  if (dirty && m_site) m_site->OnStatusChange(PROPPAGESTATUS_DIRTY);
}

STDMETHODIMP PropertyPage::SetPageSite(IPropertyPageSite* site) {
  if (site != nullptr && m_site) return E_UNEXPECTED;
  m_site.CopyFrom(site);
  return S_OK;
}

STDMETHODIMP PropertyPage::Activate(HWND parent, LPCRECT rect, BOOL) {
  if (rect == nullptr) return E_POINTER;
  if (m_window) return E_UNEXPECTED;
  if (!RegisterPageClass(&PropertyPage::WindowProc)) return HRESULT_FROM_WIN32(GetLastError());
  m_window =
      CreateWindowExW(WS_EX_CONTROLPARENT, kPageClass, m_title, WS_CHILD | WS_CLIPCHILDREN, rect->left, rect->top,
                      rect->right - rect->left, rect->bottom - rect->top, parent, nullptr, ModuleInstance(), nullptr);
  if (m_window == nullptr) return HRESULT_FROM_WIN32(GetLastError());
  SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  CreateControls(m_window);
  return S_OK;
}

STDMETHODIMP PropertyPage::Deactivate() {
  if (m_window == nullptr) return E_UNEXPECTED;
  SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
  DestroyWindow(m_window);
  m_window = nullptr;
  return S_OK;
}

STDMETHODIMP PropertyPage::GetPageInfo(PROPPAGEINFO* info) {
  if (info == nullptr) return E_POINTER;
  info->cb = sizeof *info;
  info->size = kPageSize;
  info->pszDocString = nullptr;
  info->pszHelpFile = nullptr;
  info->dwHelpContext = 0;
  return TaskString(m_title, &info->pszTitle);
}

STDMETHODIMP PropertyPage::SetObjects(ULONG count, IUnknown** objects) {
  Detach();
  m_dirty = false;
  if (count == 0) return S_OK;
  if (objects == nullptr || objects[0] == nullptr) return E_POINTER;
  return Attach(objects[0]);
}

STDMETHODIMP PropertyPage::Show(UINT command) {
  if (m_window == nullptr) return E_UNEXPECTED;
  ShowWindow(m_window, command);
  return S_OK;
}

STDMETHODIMP PropertyPage::Move(LPCRECT rect) {
  if (rect == nullptr) return E_POINTER;
  if (m_window == nullptr) return E_UNEXPECTED;
  MoveWindow(m_window, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, TRUE);
  return S_OK;
}

STDMETHODIMP PropertyPage::IsPageDirty() { return m_dirty ? S_OK : S_FALSE; }

STDMETHODIMP PropertyPage::Apply() {
  if (!m_dirty) return S_OK;
  const HRESULT hr = ApplyChanges();
  if (SUCCEEDED(hr)) m_dirty = false;
  return hr;
}

STDMETHODIMP PropertyPage::Help(LPCOLESTR) { return E_NOTIMPL; }

STDMETHODIMP PropertyPage::TranslateAccelerator(MSG* msg) {
  if (msg == nullptr) return E_POINTER;
  return S_FALSE;
}

}  // namespace qvvcam
