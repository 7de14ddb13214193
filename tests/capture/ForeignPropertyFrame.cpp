// Another program's window titled "属性", laid out like the device's property frame (a
// tab control, OK, Cancel and Apply). It prints a report (the frame's and its
// children's rectangles and the number of WM_COMMANDs received, then "end"), keeps its
// window until its standard input ends, and prints the report again, so a test can see
// whether anything touched it.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>

namespace {

const char kTitle[] = "\xCA\xF4\xD0\xD4";                  // 属性
const char kOk[] = "\xC8\xB7\xB6\xA8";                     // 确定
const char kCancel[] = "\xC8\xA1\xCF\xFB";                 // 取消
const char kApply[] = "\xD3\xA6\xD3\xC3\x28\x26\x41\x29";  // 应用(&A)
constexpr int kApplyId = 12321;

int g_commands = 0;

LRESULT CALLBACK FrameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND) ++g_commands;
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

HWND Child(const char* cls, const char* text, int id, int x, int y, int w, int h, HWND parent) {
  return CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE, x, y, w, h, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
}

void PrintRect(const char* what, HWND window) {
  RECT r = {};
  GetWindowRect(window, &r);
  std::printf("%s %ld %ld %ld %ld\n", what, r.left, r.top, r.right, r.bottom);
}

void Report(HWND (&windows)[5]) {
  const char* names[] = {"frame", "tab", "ok", "cancel", "apply"};
  for (int i = 0; i < 5; ++i) PrintRect(names[i], windows[i]);
  std::printf("commands %d\nend\n", g_commands);
  std::fflush(stdout);
}

DWORD WINAPI WaitForInputEnd(void*) {
  char buffer[64];
  DWORD read = 0;
  while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &read, nullptr) && read > 0) {
  }
  return 0;
}

}  // namespace

int main() {
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TAB_CLASSES};
  InitCommonControlsEx(&controls);
  WNDCLASSA cls = {};
  cls.lpfnWndProc = FrameProc;
  cls.lpszClassName = "QVForeignFrame";
  RegisterClassA(&cls);
  HWND frame = CreateWindowExA(0, "QVForeignFrame", kTitle, WS_OVERLAPPED | WS_VISIBLE, 60, 70, 420, 360, nullptr,
                               nullptr, nullptr, nullptr);
  if (frame == nullptr) return 2;
  HWND tab = Child("SysTabControl32", "", 0, 5, 5, 400, 200, frame);
  HWND ok = Child("Button", kOk, IDOK, 100, 260, 70, 24, frame);
  HWND cancel = Child("Button", kCancel, IDCANCEL, 180, 260, 70, 24, frame);
  HWND apply = Child("Button", kApply, kApplyId, 260, 260, 70, 24, frame);

  HANDLE inputEnded = CreateThread(nullptr, 0, WaitForInputEnd, nullptr, 0, nullptr);
  if (inputEnded == nullptr) return 3;
  HWND windows[] = {frame, tab, ok, cancel, apply};
  Report(windows);
  // Answers messages (a fix-up would send its command synchronously) until input ends.
  while (MsgWaitForMultipleObjects(1, &inputEnded, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }
  Report(windows);
  DestroyWindow(frame);
  return 0;
}
