#include <mbstring.h>
#include <process.h>

#include <cstring>

#include "PropertyFrameFixup.h"

namespace {

// Texts compared as code page 936 bytes, whatever the source file's encoding.
const char kFrameTitle[] = "\xCA\xF4\xD0\xD4";                    // 属性
const char kOkCaption[] = "\xC8\xB7\xB6\xA8";                     // 确定
const char kCancelCaption[] = "\xC8\xA1\xCF\xFB";                 // 取消
const char kApplyCaption[] = "\xD3\xA6\xD3\xC3\x28\x26\x41\x29";  // 应用(&A)
constexpr int kGrowth = 15;              // pixels the frame and tab control grow, the buttons move
constexpr int kApplyId = 12321;          // the frame's Apply button
constexpr DWORD kPollMs = 1;             // while the frame is not there yet
constexpr DWORD kChildrenSettleMs = 50;  // lets the frame create its children
constexpr DWORD kGraceMs = 2000;         // how long DSProperty waits for the thread to end

struct Placement {
  int x, y, width, height;
};

// The child's rectangle with its corner in its parent's client coordinates.
Placement PlacementOf(HWND child) {
  RECT rect;
  GetWindowRect(child, &rect);
  POINT corner = {rect.left, rect.top};
  ScreenToClient(GetParent(child), &corner);
  return {corner.x, corner.y, rect.right - rect.left, rect.bottom - rect.top};
}

bool SameText(const char* a, const char* b) { return std::strcmp(a, b) == 0; }

struct FrameSearch {
  wchar_t title[16];  // the frame's title in the ANSI code page's reading
  HWND found;
};

// Reads the title without sending WM_GETTEXT: the frame's thread may be waiting for this
// thread to end, and a sent message would then wait for it.
BOOL CALLBACK MatchFrameTitle(HWND window, LPARAM argument) {
  auto* search = reinterpret_cast<FrameSearch*>(argument);
  wchar_t title[64] = {};
  InternalGetWindowText(window, title, 64);
  if (lstrcmpiW(title, search->title) != 0) return TRUE;
  search->found = window;
  return FALSE;
}

// The frame among the top-level windows of the thread that opens it. A window of any
// other thread or program with the same title is not ours to resize.
HWND FindFrameOfThread(DWORD thread) {
  FrameSearch search = {{}, nullptr};
  if (MultiByteToWideChar(CP_ACP, 0, kFrameTitle, -1, search.title, 16) == 0) return nullptr;
  EnumThreadWindows(thread, MatchFrameTitle, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

BOOL CALLBACK FixupFrameChild(HWND child, LPARAM /*unused*/) {
  char text[256] = {};
  GetClassNameA(child, text, sizeof text);
  if (_mbsicmp(reinterpret_cast<const unsigned char*>(text),
               reinterpret_cast<const unsigned char*>("SysTabControl32")) == 0) {
    Placement at = PlacementOf(child);
    MoveWindow(child, at.x, at.y, at.width, at.height + kGrowth, TRUE);
    HWND parent = GetParent(child);
    SendMessageA(parent, WM_COMMAND, kApplyId, reinterpret_cast<LPARAM>(GetDlgItem(parent, kApplyId)));
    return TRUE;
  }
  if (_mbsicmp(reinterpret_cast<const unsigned char*>(text), reinterpret_cast<const unsigned char*>("Button")) == 0) {
    text[0] = '\0';
    GetWindowTextA(child, text, sizeof text);
    if (SameText(text, kOkCaption) || SameText(text, kCancelCaption) || SameText(text, kApplyCaption)) {
      Placement at = PlacementOf(child);
      MoveWindow(child, at.x, at.y + kGrowth, at.width, at.height, TRUE);
    }
  }
  return TRUE;
}

void __cdecl PropertyFrameFixupThread(void* argument) {
  auto* control = static_cast<FixupControl*>(argument);
  HWND frame = nullptr;
  if (control == nullptr) _endthread();
  while ((frame = FindFrameOfThread(control->frameThread)) == nullptr) {
    if (control->frameClosed) break;
    Sleep(kPollMs);
  }
  if (frame != nullptr) {
    Sleep(kChildrenSettleMs);
    RECT rect;
    GetWindowRect(frame, &rect);
    SetWindowPos(frame, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top + kGrowth,
                 SWP_NOMOVE);
    EnumChildWindows(frame, FixupFrameChild, 0);
  }
  SetEvent(control->finished);
  control->Release();
  _endthread();
}

FixupControl* StartPropertyFrameFixup(DWORD frameThread) {
  auto* control = new FixupControl();
  control->frameThread = frameThread;
  control->finished = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (control->finished == nullptr ||
      _beginthread(PropertyFrameFixupThread, 0, control) == static_cast<uintptr_t>(-1)) {
    if (control->finished != nullptr) CloseHandle(control->finished);
    delete control;
    return nullptr;
  }
  return control;
}

bool FinishPropertyFrameFixup(FixupControl* control) {
  if (control == nullptr) return true;
  control->frameClosed = true;
  bool ended = WaitForSingleObject(control->finished, kGraceMs) == WAIT_OBJECT_0;
  control->Release();
  return ended;
}
