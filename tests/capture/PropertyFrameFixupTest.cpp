// The property-frame fix-up thread, on a frame the test builds itself: a top-level
// window titled "属性" with a tab control and the OK, Cancel and Apply buttons, given
// as code page 936 bytes through the ANSI window functions.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <thread>
#include <vector>

#include "PropertyFrameFixup.h"

namespace {

const char kTitle[] = "\xCA\xF4\xD0\xD4";                  // 属性
const char kOk[] = "\xC8\xB7\xB6\xA8";                     // 确定
const char kCancel[] = "\xC8\xA1\xCF\xFB";                 // 取消
const char kApply[] = "\xD3\xA6\xD3\xC3\x28\x26\x41\x29";  // 应用(&A)
const char kApplyBare[] = "\xD3\xA6\xD3\xC3";              // 应用, without the accelerator
constexpr int kApplyId = 12321;

struct Command {
  HWND window;
  WPARAM wParam;
  LPARAM lParam;
};
std::vector<Command> g_commands;

LRESULT CALLBACK FrameProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COMMAND) g_commands.push_back({hwnd, wParam, lParam});
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

RECT PlaceOf(HWND child) {
  RECT r;
  GetWindowRect(child, &r);
  POINT corner = {r.left, r.top};
  ScreenToClient(GetParent(child), &corner);
  return {corner.x, corner.y, corner.x + (r.right - r.left), corner.y + (r.bottom - r.top)};
}

// Pumps this thread's messages (the fix-up sends its Apply command synchronously)
// until the thread has ended.
bool PumpUntilFinished(FixupControl* control, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  while (GetTickCount() - start < timeoutMs) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    if (WaitForSingleObject(control->finished, 5) == WAIT_OBJECT_0) return true;
  }
  return false;
}

// Another program's "属性" frame (ForeignPropertyFrame.exe beside this test), read
// back through its standard output: once when it is up, once when it ends.
class ForeignFrame {
 public:
  ForeignFrame() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string exe(path);
    exe = exe.substr(0, exe.find_last_of("\\/") + 1) + "ForeignPropertyFrame.exe";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE childIn = nullptr, childOut = nullptr;
    if (!CreatePipe(&childIn, &m_toChild, &inherit, 0) || !CreatePipe(&m_fromChild, &childOut, &inherit, 0)) return;
    SetHandleInformation(m_toChild, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(m_fromChild, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childIn;
    startup.hStdOutput = childOut;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    if (CreateProcessA(exe.c_str(), nullptr, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &m_process)) {
      CloseHandle(m_process.hThread);
      m_started = true;
    }
    CloseHandle(childIn);
    CloseHandle(childOut);
    if (m_started) initial = ReadReport();
  }
  ~ForeignFrame() {
    Finish();
    if (m_fromChild != nullptr) CloseHandle(m_fromChild);
    if (m_started) CloseHandle(m_process.hProcess);
  }
  bool Started() const { return m_started && initial.find("end") != std::string::npos; }

  // Lets the program end and gives its last report.
  std::string Finish() {
    if (m_toChild == nullptr) return std::string();
    CloseHandle(m_toChild);
    m_toChild = nullptr;
    std::string last = ReadReport();
    WaitForSingleObject(m_process.hProcess, 5000);
    return last;
  }

  std::string initial;

 private:
  std::string ReadReport() {
    std::string text;
    char c = 0;
    DWORD read = 0;
    while (text.find("end\n") == std::string::npos && ReadFile(m_fromChild, &c, 1, &read, nullptr) && read == 1) {
      if (c != '\r') text += c;
    }
    return text;
  }

  bool m_started = false;
  PROCESS_INFORMATION m_process = {};
  HANDLE m_toChild = nullptr;
  HANDLE m_fromChild = nullptr;
};

// A "属性" frame with an OK button on a thread of its own in this process.
class OtherThreadFrame {
 public:
  OtherThreadFrame() {
    m_thread = std::thread([this] {
      HWND frame = CreateWindowExA(0, "QVFixupTestFrame", kTitle, WS_OVERLAPPED | WS_VISIBLE, 80, 90, 300, 200, nullptr,
                                   nullptr, nullptr, nullptr);
      CreateWindowExA(0, "Button", kOk, WS_CHILD | WS_VISIBLE, 10, 100, 60, 20, frame,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDOK)), nullptr, nullptr);
      m_frame = frame;
      SetEvent(m_ready);
      while (WaitForSingleObject(m_quit, 5) == WAIT_TIMEOUT) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
      }
      DestroyWindow(frame);
    });
    WaitForSingleObject(m_ready, 5000);
  }
  ~OtherThreadFrame() {
    SetEvent(m_quit);
    m_thread.join();
    CloseHandle(m_ready);
    CloseHandle(m_quit);
  }
  HWND frame() const { return m_frame; }
  std::string Layout() const {
    RECT f = {}, b = {};
    GetWindowRect(m_frame, &f);
    GetWindowRect(GetDlgItem(m_frame, IDOK), &b);
    return std::to_string(f.left) + "," + std::to_string(f.top) + "," + std::to_string(f.right) + "," +
           std::to_string(f.bottom) + " ok " + std::to_string(b.top) + "," + std::to_string(b.bottom);
  }

 private:
  HANDLE m_ready = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE m_quit = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HWND m_frame = nullptr;
  std::thread m_thread;
};

class FixupFrame : public ::testing::Test {
 protected:
  void SetUp() override {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);
    WNDCLASSA cls = {};
    cls.lpfnWndProc = FrameProc;
    cls.lpszClassName = "QVFixupTestFrame";
    RegisterClassA(&cls);
    g_commands.clear();
    frame = CreateWindowExA(0, "QVFixupTestFrame", kTitle, WS_OVERLAPPED | WS_VISIBLE, 50, 50, 420, 360, nullptr,
                            nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, frame);
    tab = Child("SysTabControl32", "", 0, 5, 5, 400, 200, frame);
    ok = Child("Button", kOk, IDOK, 100, 260, 70, 24, frame);
    cancel = Child("Button", kCancel, IDCANCEL, 180, 260, 70, 24, frame);
    apply = Child("Button", kApply, kApplyId, 260, 260, 70, 24, frame);
    applyBare = Child("Button", kApplyBare, 301, 340, 260, 70, 24, frame);
    help = Child("Button", "Help", 9, 20, 260, 70, 24, frame);
    staticOk = Child("Static", kOk, 302, 20, 290, 70, 24, frame);
    page = Child("QVFixupTestFrame", "", 303, 10, 30, 380, 160, frame);
    pageOk = Child("Button", kOk, 304, 10, 10, 60, 20, page);
    pageTab = Child("SysTabControl32", "", 305, 10, 40, 200, 80, page);
  }
  void TearDown() override { DestroyWindow(frame); }

  HWND Child(const char* cls, const char* text, int id, int x, int y, int w, int h, HWND parent) {
    HWND child = CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE, x, y, w, h, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    EXPECT_NE(nullptr, child) << cls;
    return child;
  }

  // Runs the fix-up for this thread while the other frame is the only one titled "属性"
  // for a while, then lets this thread's own frame appear: only it is fixed.
  void FixOwnFrameShownLate() {
    SetWindowTextA(frame, "not yet");
    FixupControl* control = StartPropertyFrameFixup(GetCurrentThreadId());
    ASSERT_NE(nullptr, control);
    Sleep(300);  // far longer than the thread needs to find a frame and fix it
    RECT ownBefore;
    GetWindowRect(frame, &ownBefore);
    SetWindowTextA(frame, kTitle);
    ASSERT_TRUE(PumpUntilFinished(control, 5000)) << "the fix-up thread did not finish";
    EXPECT_TRUE(FinishPropertyFrameFixup(control));
    RECT ownAfter;
    GetWindowRect(frame, &ownAfter);
    EXPECT_EQ(ownBefore.bottom + 15, ownAfter.bottom) << "the calling thread's own frame is still fixed";
    EXPECT_EQ(2u, g_commands.size()) << "Apply, once per tab control of this thread's frame";
  }

  HWND frame = nullptr, tab = nullptr, ok = nullptr, cancel = nullptr, apply = nullptr, applyBare = nullptr,
       help = nullptr, staticOk = nullptr, page = nullptr, pageOk = nullptr, pageTab = nullptr;
};

}  // namespace

TEST_F(FixupFrame, GrowsFrameAndTabsMovesTheThreeButtonsAndPressesApplyPerTabControl) {
  RECT frameBefore;
  GetWindowRect(frame, &frameBefore);
  struct Watched {
    const char* what;
    HWND window;
    int dy;  // expected shift down
    int dh;  // expected growth
  } watched[] = {
      {"tab control", tab, 0, 15},        {"OK", ok, 15, 0},
      {"Cancel", cancel, 15, 0},          {"Apply", apply, 15, 0},
      {"bare Apply", applyBare, 0, 0},    {"Help", help, 0, 0},
      {"static OK text", staticOk, 0, 0}, {"page", page, 0, 0},
      {"OK on a page", pageOk, 15, 0},    {"tab control on a page", pageTab, 0, 15},
  };
  std::vector<RECT> before;
  for (const Watched& w : watched) before.push_back(PlaceOf(w.window));

  FixupControl* control = StartPropertyFrameFixup(GetCurrentThreadId());
  ASSERT_NE(nullptr, control);
  ASSERT_TRUE(PumpUntilFinished(control, 5000)) << "the fix-up thread did not finish";
  EXPECT_TRUE(FinishPropertyFrameFixup(control));

  RECT frameAfter;
  GetWindowRect(frame, &frameAfter);
  EXPECT_EQ(frameBefore.left, frameAfter.left);
  EXPECT_EQ(frameBefore.top, frameAfter.top);
  EXPECT_EQ(frameBefore.right, frameAfter.right);
  EXPECT_EQ(frameBefore.bottom + 15, frameAfter.bottom);

  for (size_t i = 0; i < before.size(); ++i) {
    RECT now = PlaceOf(watched[i].window);
    EXPECT_EQ(before[i].left, now.left) << watched[i].what;
    EXPECT_EQ(before[i].top + watched[i].dy, now.top) << watched[i].what;
    EXPECT_EQ(before[i].right - before[i].left, now.right - now.left) << watched[i].what;
    EXPECT_EQ(before[i].bottom - before[i].top + watched[i].dh, now.bottom - now.top) << watched[i].what;
  }

  // Once per tab control, sent to the tab control's parent with that parent's Apply
  // control: the frame gets its Apply button, the page (which has none) a null one.
  ASSERT_EQ(2u, g_commands.size()) << "Apply commands received";
  int toFrame = 0, toPage = 0;
  for (const Command& c : g_commands) {
    EXPECT_EQ(static_cast<WPARAM>(kApplyId), c.wParam);
    if (c.window == frame) {
      ++toFrame;
      EXPECT_EQ(reinterpret_cast<LPARAM>(apply), c.lParam);
    } else if (c.window == page) {
      ++toPage;
      EXPECT_EQ(0, c.lParam);
    }
  }
  EXPECT_EQ(1, toFrame);
  EXPECT_EQ(1, toPage);
}

TEST(FixupThread, EndsWhenItsFrameClosedWithoutEverAppearing) {
  ASSERT_EQ(nullptr, FindWindowA(nullptr, kTitle));
  FixupControl* control = StartPropertyFrameFixup(GetCurrentThreadId());
  ASSERT_NE(nullptr, control);
  Sleep(50);
  DWORD start = GetTickCount();
  EXPECT_TRUE(FinishPropertyFrameFixup(control)) << "the thread must stop polling once the frame has closed";
  EXPECT_LT(GetTickCount() - start, 500u);
}

// A frame of the same title that another program or another thread of this process
// shows is not the calling thread's frame: the fix-up leaves it exactly as it was.
TEST_F(FixupFrame, AnotherProgramsFrameIsLeftAlone) {
  ForeignFrame foreign;
  ASSERT_TRUE(foreign.Started()) << "ForeignPropertyFrame.exe did not report: " << foreign.initial;
  EXPECT_NE(std::string::npos, foreign.initial.find("commands 0\n"));
  FixOwnFrameShownLate();
  EXPECT_EQ(foreign.initial, foreign.Finish()) << "another program's frame: size, buttons and commands";
}

TEST_F(FixupFrame, AnotherThreadsFrameIsLeftAlone) {
  OtherThreadFrame other;
  ASSERT_NE(nullptr, other.frame());
  const std::string before = other.Layout();
  FixOwnFrameShownLate();
  EXPECT_EQ(before, other.Layout()) << "a frame of another thread in this process";
}
