#include "PropertyFrameDriver.h"

#include "ProcessWindows.h"

namespace qvtest {

namespace {

struct IdSearch {
  int id;
  HWND found;
};

BOOL CALLBACK FindId(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<IdSearch*>(param);
  if (GetDlgCtrlID(hwnd) == search->id) {
    search->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

HWND WaitForPropertyFrame(DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    for (HWND window : TopLevelWindowsOfThisProcess()) {
      if (IsWindowVisible(window) && IsPropertyFrame(window)) return window;
    }
    if (GetTickCount() - start > timeoutMs) return nullptr;
    Sleep(10);
  }
}

HWND FindDescendant(HWND window, int id) {
  IdSearch search{id, nullptr};
  EnumChildWindows(window, FindId, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool SelectComboEntry(HWND combo, int index) {
  if (combo == nullptr) return false;
  if (SendMessageA(combo, CB_SETCURSEL, index, 0) == CB_ERR) return false;
  SendMessageA(GetParent(combo), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(combo));
  return true;
}

void PressFrameButton(HWND frame, int id) {
  HWND button = GetDlgItem(frame, id);
  if (button != nullptr) {
    PostMessageA(frame, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  } else {
    PostMessageA(frame, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
  }
}

PropertyFrameAction::PropertyFrameAction(std::function<void(HWND)> action, DWORD timeoutMs)
    : m_thread([this, action, timeoutMs] {
        HWND frame = WaitForPropertyFrame(timeoutMs);
        if (frame == nullptr) return;
        m_sawFrame = true;
        Sleep(100);  // let the page finish its set-up
        action(frame);
      }) {}

PropertyFrameAction::~PropertyFrameAction() { Join(); }

void PropertyFrameAction::Join() {
  if (m_thread.joinable()) m_thread.join();
}

}  // namespace qvtest
