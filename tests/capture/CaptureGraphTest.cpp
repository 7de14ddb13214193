// The main road through the DLL on the virtual camera: list, open, run, grab, stop,
// close, open another; the hidden renderer window; the failures a device can cause;
// a camera that stops delivering; many open/close cycles.
#include <gtest/gtest.h>
#include <windows.h>
#include <psapi.h>

#include <string>
#include <vector>

#include "VirtualCameraDevices.h"
#include "GraphFaults.h"
#include "MessageBoxWatcher.h"
#include "ProcessWindows.h"
#include "QVDirectX.h"
#include "TestPicture.h"

namespace {

const char kNoPreviewGraph[] = "Can't build the preview-graph! Maybe another application is using the capture device.";

HWND MakeWindow(const char* cls, DWORD style, HWND parent = nullptr) {
  return CreateWindowExA(0, cls, "", style, 0, 0, 300, 200, parent, nullptr, nullptr, nullptr);
}

std::vector<std::string> ComboEntries(HWND combo) {
  std::vector<std::string> entries;
  LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    char text[2048] = {};
    SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    entries.push_back(text);
  }
  return entries;
}

struct Grab {
  bool got = false;
  qvvcam::FrameCheck check;
};

// Grabs the current frame into a buffer filled with a marker; got is false when the
// buffer stayed untouched.
Grab GrabOnce(int width, int height) {
  std::vector<unsigned char> frame(static_cast<size_t>(width) * height * 3 + 16, 0xA5);
  DSGrabFrame(frame.data());
  Grab grab;
  for (size_t i = static_cast<size_t>(width) * height * 3; i < frame.size(); ++i) {
    EXPECT_EQ(0xA5, frame[i]) << "the grab wrote past width x height x 3 bytes";
  }
  grab.got = std::vector<unsigned char>(frame.begin(), frame.end() - 16) !=
             std::vector<unsigned char>(frame.size() - 16, 0xA5);
  if (grab.got) grab.check = qvvcam::CheckRgb24Frame(frame.data(), frame.size() - 16, width, height);
  return grab;
}

// Waits until a grab returns a whole frame newer than `after`.
Grab WaitForFrame(int width, int height, uint32_t after, bool any, DWORD timeoutMs = 3000) {
  DWORD start = GetTickCount();
  Grab grab;
  do {
    grab = GrabOnce(width, height);
    if (grab.got && grab.check.status == qvvcam::FrameStatus::Ok && (any || grab.check.sequence > after)) return grab;
    Sleep(5);
  } while (GetTickCount() - start < timeoutMs);
  return grab;
}

class CaptureGraph : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    host = MakeWindow("STATIC", WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  }
  void TearDown() override {
    DSCameraUnInit();
    DestroyWindow(host);
    CoUninitialize();
  }
  HWND host = nullptr;
};

}  // namespace

TEST_F(CaptureGraph, ListsReadableNamesAfterExistingEntriesInOrderWithDuplicates) {
  qvtest::VirtualCameraDevices devices({{L"Cam One"}, {L"Cam Two"}, {L"Cam One"}, {L"", false}, {L"Cam Three"}});
  ASSERT_TRUE(devices.Ok());
  HWND combo = MakeWindow("COMBOBOX", WS_CHILD | CBS_DROPDOWNLIST, host);
  SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("already there"));
  EXPECT_EQ(4, DSCameraRegisterpixel(combo));
  EXPECT_EQ((std::vector<std::string>{"already there", "Cam One", "Cam Two", "Cam One", "Cam Three"}),
            ComboEntries(combo));
}

TEST_F(CaptureGraph, TheIndexThatListsANameOpensThatDeviceAndAStoppedCameraKeepsItsLastFrame) {
  // Each device stops after a different number of frames, so the last frame's sequence
  // number tells which one was opened. The unreadable one takes no position.
  qvtest::VirtualCameraDevices devices({{L"Five", true, 5}, {L"", false}, {L"Seven", true, 7}, {L"Nine", true, 9}});
  ASSERT_TRUE(devices.Ok());
  const uint32_t lastSequence[] = {4, 6, 8};
  for (uint8_t index = 0; index < 3; ++index) {
    ASSERT_EQ(1, DSCameraInit(index, host)) << "device " << int(index);
    int32_t width = 0, height = 0;
    DSCameraGetImageSize(&width, &height);
    ASSERT_GT(width, 0);
    ASSERT_GT(height, 0);
    DSCameraPlay();
    Sleep(1000);  // long past the camera's last frame
    Grab grab = GrabOnce(width, height);
    ASSERT_TRUE(grab.got) << "device " << int(index);
    EXPECT_EQ(qvvcam::FrameStatus::Ok, grab.check.status) << qvvcam::FrameStatusName(grab.check.status);
    EXPECT_EQ(lastSequence[index], grab.check.sequence) << "device " << int(index);
    DWORD start = GetTickCount();
    EXPECT_EQ(1, DSCameraUnInit());
    EXPECT_LT(GetTickCount() - start, 2000u) << "closing a camera that stopped delivering must not hang";
  }
}

TEST_F(CaptureGraph, MainRoadDeliversFreshWholeFramesAndKeepsTheRendererHidden) {
  qvtest::VirtualCameraDevices devices({{L"First"}, {L"Second"}});
  ASSERT_TRUE(devices.Ok());
  HWND combo = MakeWindow("COMBOBOX", WS_CHILD | CBS_DROPDOWNLIST, host);
  ASSERT_EQ(2, DSCameraRegisterpixel(combo));

  // 256 keeps only its low 8 bits: device 0.
  auto initWide = reinterpret_cast<int32_t(QVDX_CALL*)(int32_t, HWND)>(
      GetProcAddress(GetModuleHandleA("QVDirectX.dll"), "DSCameraInit"));
  ASSERT_NE(nullptr, initWide);
  ASSERT_EQ(1, initWide(256, host));
  EXPECT_EQ(0, DSCameraInit(0, host)) << "a second init builds nothing";

  // The renderer's window, attached to the host window: owned by it or its child.
  HWND renderer = nullptr;
  for (HWND window : qvtest::TopLevelWindowsOfThisProcess()) {
    if (GetWindow(window, GW_OWNER) == host) renderer = window;
  }
  if (renderer == nullptr) renderer = GetWindow(host, GW_CHILD);
  ASSERT_NE(nullptr, renderer) << "the renderer's window is attached to the host window";
  RECT place;
  GetWindowRect(renderer, &place);
  if (HWND parent = GetAncestor(renderer, GA_PARENT); parent != GetDesktopWindow()) {
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&place), 2);  // in the parent's client area
  }
  EXPECT_EQ(0, place.left);
  EXPECT_EQ(0, place.top);
  EXPECT_EQ(1, place.right - place.left);
  EXPECT_EQ(1, place.bottom - place.top);
  EXPECT_FALSE(IsWindowVisible(renderer));

  int32_t width = 0, height = 0;
  EXPECT_EQ(1, DSCameraGetImageSize(&width, &height));
  ASSERT_GT(width, 0);
  ASSERT_GT(height, 0);
  EXPECT_FALSE(GrabOnce(width, height).got) << "no frame before the graph runs";

  EXPECT_EQ(1, DSCameraPlay()) << "the platform's run answers S_FALSE";
  Grab first = WaitForFrame(width, height, 0, true);
  ASSERT_TRUE(first.got);
  ASSERT_EQ(qvvcam::FrameStatus::Ok, first.check.status) << qvvcam::FrameStatusName(first.check.status);
  uint32_t previous = first.check.sequence;
  for (int i = 0; i < 10; ++i) {
    Grab next = WaitForFrame(width, height, previous, false);
    ASSERT_EQ(qvvcam::FrameStatus::Ok, next.check.status) << "grab " << i;
    ASSERT_GT(next.check.sequence, previous) << "a later grab gives a fresher frame";
    previous = next.check.sequence;
  }
  EXPECT_EQ(1, DSCameraStop());
  Sleep(200);
  Grab afterStop = GrabOnce(width, height);
  EXPECT_EQ(qvvcam::FrameStatus::Ok, afterStop.check.status) << "the last frame stays whole after the graph stopped";
  EXPECT_EQ(1, DSCameraUnInit());

  // Another device opens after the first one was closed.
  ASSERT_EQ(1, DSCameraInit(1, host));
  DSCameraPlay();
  EXPECT_EQ(qvvcam::FrameStatus::Ok, WaitForFrame(width, height, 0, true).check.status);
  EXPECT_EQ(1, DSCameraUnInit());
}

TEST_F(CaptureGraph, FailuresADeviceCanCauseShowTheirMessageAndLeaveTheGraphEmptyAfterUnInit) {
  qvtest::VirtualCameraDevices devices({{L"Broken", true, 0, false, false, true}, {L"Good"}});
  ASSERT_TRUE(devices.Ok());
  struct Case {
    const char* what;
    uint8_t index;
    bool failConnectedType;
    const char* message;
  } cases[] = {
      {"a device whose filter can't be created", 0, false, kNoPreviewGraph},
      {"an index past the last device", 5, false, kNoPreviewGraph},
      {"the connected type can't be read", 1, true, "Failt to read the connected media type"},
  };
  for (const Case& c : cases) {
    int32_t widthBefore = 0, heightBefore = 0;
    DSCameraGetImageSize(&widthBefore, &heightBefore);
    qvtest::GraphFaultPlan plan;
    plan.failConnectedType = c.failConnectedType;
    qvtest::GraphFaults faults(plan);
    qvtest::MessageBoxWatcher boxes;
    EXPECT_EQ(0, DSCameraInit(c.index, host)) << c.what;
    ASSERT_TRUE(boxes.WaitFor(1, 5000)) << c.what;
    Sleep(100);
    std::vector<qvtest::SeenBox> seen = boxes.Take();
    ASSERT_EQ(1u, seen.size()) << c.what << "\n" << qvtest::Describe(seen);
    EXPECT_EQ(c.message, seen[0].text) << c.what;
    EXPECT_EQ(0, DSCameraInit(c.index, host)) << c.what << ": no second build";
    if (c.failConnectedType) {
      EXPECT_EQ(nullptr, faults.RegisteredCallback()) << "the callback is not registered";
      int32_t width = -1, height = -1;
      DSCameraGetImageSize(&width, &height);
      EXPECT_EQ(widthBefore, width);
      EXPECT_EQ(heightBefore, height);
      EXPECT_FALSE(faults.FilterNames().empty()) << "the graph was built";
    }
    EXPECT_EQ(1, DSCameraUnInit());
    EXPECT_TRUE(faults.FilterNames().empty()) << c.what << ": the teardown leaves an empty graph";
    EXPECT_TRUE(boxes.Take().empty()) << c.what;
  }
}

TEST_F(CaptureGraph, ManyOpenRunGrabCloseCyclesLeakNothing) {
  qvtest::VirtualCameraDevices devices({{L"Cycled"}});
  ASSERT_TRUE(devices.Ok());
  auto cycle = [&](int count) {
    for (int i = 0; i < count; ++i) {
      ASSERT_EQ(1, DSCameraInit(0, host)) << "cycle " << i;
      int32_t width = 0, height = 0;
      DSCameraGetImageSize(&width, &height);
      DSCameraPlay();
      ASSERT_EQ(qvvcam::FrameStatus::Ok, WaitForFrame(width, height, 0, true).check.status) << "cycle " << i;
      ASSERT_EQ(1, DSCameraUnInit());
    }
  };
  auto usage = [] {
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    PROCESS_MEMORY_COUNTERS memory = {};
    K32GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    return std::make_pair(handles, memory.PagefileUsage);
  };
  cycle(20);  // the platform's one-time allocations happen here
  auto before = usage();
  cycle(180);
  auto after = usage();
  EXPECT_LE(after.first, before.first + 20) << "handles grew from " << before.first << " to " << after.first;
  EXPECT_LE(after.second, before.second + 16 * 1024 * 1024)
      << "private memory grew from " << before.second << " to " << after.second;
}

TEST_F(CaptureGraph, ARunThatFailsShowsItsMessageAndAnswers2) {
  qvtest::VirtualCameraDevices devices({{L"Camera"}});
  ASSERT_TRUE(devices.Ok());
  for (HRESULT failure : {E_FAIL, HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED), VFW_E_NOT_CONNECTED}) {
    qvtest::GraphFaultPlan plan;
    plan.runFailure = failure;
    qvtest::GraphFaults faults(plan);
    qvtest::MessageBoxWatcher boxes;
    ASSERT_EQ(1, DSCameraInit(0, host));
    EXPECT_EQ(2, DSCameraPlay()) << std::hex << failure;
    ASSERT_TRUE(boxes.WaitFor(1, 5000)) << std::hex << failure;
    Sleep(100);
    std::vector<qvtest::SeenBox> seen = boxes.Take();
    ASSERT_EQ(1u, seen.size()) << qvtest::Describe(seen);
    EXPECT_EQ("Couldn't run the graph!", seen[0].text);
    EXPECT_EQ(1, DSCameraUnInit());
  }
}
