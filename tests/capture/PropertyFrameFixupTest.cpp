// The property-frame fix-up thread, on a frame the test builds itself: a top-level
// window titled "属性" with a tab control and the OK, Cancel and Apply buttons, given
// as code page 936 bytes through the ANSI window functions.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

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
      {"tab control", tab, 0, 15},       {"OK", ok, 15, 0},          {"Cancel", cancel, 15, 0},
      {"Apply", apply, 15, 0},           {"bare Apply", applyBare, 0, 0}, {"Help", help, 0, 0},
      {"static OK text", staticOk, 0, 0}, {"page", page, 0, 0},       {"OK on a page", pageOk, 15, 0},
      {"tab control on a page", pageTab, 0, 15},
  };
  std::vector<RECT> before;
  for (const Watched& w : watched) before.push_back(PlaceOf(w.window));

  FixupControl* control = StartPropertyFrameFixup();
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
  FixupControl* control = StartPropertyFrameFixup();
  ASSERT_NE(nullptr, control);
  Sleep(50);
  DWORD start = GetTickCount();
  EXPECT_TRUE(FinishPropertyFrameFixup(control)) << "the thread must stop polling once the frame has closed";
  EXPECT_LT(GetTickCount() - start, 500u);
}
