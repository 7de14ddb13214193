#include "MessageBoxWatcher.h"

#include <set>

#include "ProcessWindows.h"

namespace qvtest {

namespace {

// The static text of a message box carries the control id 0xFFFF.
constexpr int kMessageTextId = 0xFFFF;

bool IsMessageBox(HWND hwnd) {
  if (!IsWindowVisible(hwnd) || IsPropertyFrame(hwnd)) return false;
  char cls[16] = {};
  GetClassNameA(hwnd, cls, sizeof cls);
  return lstrcmpA(cls, "#32770") == 0 && GetDlgItem(hwnd, kMessageTextId) != nullptr;
}

std::string WindowText(HWND hwnd) {
  int length = GetWindowTextLengthA(hwnd);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  int got = GetWindowTextA(hwnd, &text[0], length + 1);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}

}  // namespace

MessageBoxWatcher::MessageBoxWatcher() : m_thread([this] { Run(); }) {}

MessageBoxWatcher::~MessageBoxWatcher() {
  m_stop = true;
  m_thread.join();
}

void MessageBoxWatcher::Run() {
  std::set<HWND> pressed;
  while (!m_stop) {
    for (HWND box : TopLevelWindowsOfThisProcess()) {
      if (!IsMessageBox(box) || pressed.count(box)) continue;
      SeenBox seen{WindowText(box), WindowText(GetDlgItem(box, kMessageTextId)), GetWindow(box, GW_OWNER) != nullptr};
      {
        std::lock_guard<std::mutex> hold(m_lock);
        m_seen.push_back(seen);
        ++m_total;
      }
      pressed.insert(box);
      HWND ok = GetDlgItem(box, IDOK);
      if (ok == nullptr) ok = GetDlgItem(box, IDCANCEL);
      if (ok != nullptr) {
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(ok), BN_CLICKED), reinterpret_cast<LPARAM>(ok));
      } else {
        PostMessageA(box, WM_CLOSE, 0, 0);
      }
    }
    // Forget boxes that are gone, so a recycled handle is seen again.
    for (auto it = pressed.begin(); it != pressed.end();) {
      it = IsWindow(*it) ? std::next(it) : pressed.erase(it);
    }
    Sleep(5);
  }
}

std::vector<SeenBox> MessageBoxWatcher::Take() {
  std::lock_guard<std::mutex> hold(m_lock);
  std::vector<SeenBox> taken;
  taken.swap(m_seen);
  return taken;
}

bool MessageBoxWatcher::WaitFor(size_t count, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    {
      std::lock_guard<std::mutex> hold(m_lock);
      if (m_total >= count) return true;
    }
    if (GetTickCount() - start > timeoutMs) return false;
    Sleep(5);
  }
}

std::string Describe(const std::vector<SeenBox>& boxes) {
  std::string all;
  for (const SeenBox& box : boxes) all += box.caption + "|" + box.text + "\n";
  return all;
}

}  // namespace qvtest
