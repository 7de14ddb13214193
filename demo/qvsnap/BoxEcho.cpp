#include "BoxEcho.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <thread>

namespace {
std::atomic<bool> g_stop{false};
std::thread g_thread;

BOOL CALLBACK EchoAndClose(HWND hwnd, LPARAM) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  char cls[16] = {};
  GetClassNameA(hwnd, cls, sizeof cls);
  HWND text = GetDlgItem(hwnd, 0xFFFF);  // a message box's text
  if (pid != GetCurrentProcessId() || lstrcmpA(cls, "#32770") != 0 || text == nullptr || !IsWindowVisible(hwnd)) {
    return TRUE;
  }
  char caption[256] = {}, message[2048] = {};
  GetWindowTextA(hwnd, caption, sizeof caption);
  GetWindowTextA(text, message, sizeof message);
  std::fprintf(stderr, "qvsnap: [%s] %s\n", caption, message);
  SendMessageA(hwnd, WM_COMMAND, IDOK, 0);
  return TRUE;
}
}  // namespace

void StartBoxEcho() {
  g_thread = std::thread([] {
    while (!g_stop) {
      EnumWindows(EchoAndClose, 0);
      Sleep(20);
    }
  });
}

void StopBoxEcho() {
  if (!g_thread.joinable()) return;
  g_stop = true;
  g_thread.join();
}
