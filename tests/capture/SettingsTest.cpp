// Stream-format changes and device property pages through the DLL on the virtual camera.
// A second thread works the property frame the way a user would.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>

#include <string>
#include <vector>

#include "DllHostTest.h"
#include "GraphFaults.h"
#include "ProcessWindows.h"
#include "PropertyFrameDriver.h"
#include "QVDirectX.h"
#include "TestPicture.h"
#include "VirtualCameraDevices.h"
#include "VirtualCameraIds.h"

namespace {

using qvvcam::FrameFormat;
using qvvcam::PixelFormat;

// Entries of the format page's list, in the pin's capability order.
int FormatEntry(PixelFormat pixel, int width) {
  const int sizes[] = {320, 640, 1280, 1920};
  for (int s = 0; s < 4; ++s) {
    if (sizes[s] == width) return static_cast<int>(pixel) * 4 + s;
  }
  return -1;
}

int ThreadsOfThisProcess() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 entry = {sizeof entry};
  int count = 0;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  }
  CloseHandle(snapshot);
  return count;
}

// Runs DSResolution while a second thread picks `entry` (or none) and presses button.
bool ChangeFormat(int entry, int button) {
  qvtest::PropertyFrameAction action([&](HWND frame) {
    if (entry >= 0) {
      HWND combo = qvtest::FindDescendant(frame, qvvcam::kFormatPageComboId);
      EXPECT_TRUE(qvtest::SelectComboEntry(combo, entry)) << "format entry " << entry;
    }
    qvtest::PressFrameButton(frame, button);
  });
  EXPECT_EQ(1, DSResolution());
  action.Join();
  return action.SawFrame();
}

struct Grabbed {
  std::vector<unsigned char> frame;
  bool touched = false;
};

Grabbed GrabNow(size_t bytes) {
  Grabbed g;
  g.frame.assign(bytes, 0xA5);
  DSGrabFrame(g.frame.data());
  g.touched = g.frame != std::vector<unsigned char>(bytes, 0xA5);
  return g;
}

// Waits for a grab that carries a whole frame of the virtual camera's picture, and checks
// it is byte for byte what a correct grab of that frame gives.
void ExpectExactFrames(const FrameFormat& format) {
  int32_t width = 0, height = 0;
  DSCameraGetImageSize(&width, &height);
  ASSERT_EQ(format.width, width);
  ASSERT_EQ(format.height, height);
  const size_t bytes = static_cast<size_t>(width) * height * 3;
  DWORD start = GetTickCount();
  int exact = 0;
  while (exact < 3 && GetTickCount() - start < 5000) {
    Grabbed g = GrabNow(bytes);
    if (!g.touched) {
      Sleep(10);
      continue;
    }
    qvvcam::FrameCheck check = qvvcam::CheckRgb24Frame(g.frame.data(), bytes, width, height);
    ASSERT_EQ(qvvcam::FrameStatus::Ok, check.status) << qvvcam::FrameStatusName(check.status);
    ASSERT_EQ(qvvcam::ExpectedRgb24(format, check.sequence), g.frame)
        << qvvcam::PixelFormatName(format.pixel) << " frame " << check.sequence << " differs from the exact conversion";
    ++exact;
    Sleep(40);
  }
  EXPECT_EQ(3, exact) << "whole frames of " << qvvcam::PixelFormatName(format.pixel);
}

// The grabber's calls of one build, from its connected type on.
std::vector<std::string> GrabberWiringCalls(const std::vector<std::string>& calls, size_t from) {
  std::vector<std::string> wiring;
  for (size_t i = from; i < calls.size(); ++i) {
    const std::string& c = calls[i];
    if (c.rfind("SetBufferSamples", 0) == 0 || c.rfind("SetOneShot", 0) == 0 || c.rfind("SetCallback", 0) == 0) {
      wiring.push_back(c);
    }
  }
  return wiring;
}

// The renderer windows attached to host: owned by it, or its children.
std::vector<HWND> RendererWindowsOf(HWND host) {
  std::vector<HWND> found;
  for (HWND window : qvtest::TopLevelWindowsOfThisProcess()) {
    if (GetWindow(window, GW_OWNER) == host) found.push_back(window);
  }
  for (HWND child = GetWindow(host, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    found.push_back(child);
  }
  return found;
}

class Settings : public qvtest::DllHostTest {};

}  // namespace

TEST_F(Settings, CancelledFrameStillRebuildsAndRunsWithTheSameSize) {
  qvtest::VirtualCameraDevices devices({{L"Camera"}});
  ASSERT_TRUE(devices.Ok());
  ASSERT_EQ(1, DSCameraInit(0, host));
  int32_t width = 0, height = 0;
  DSCameraGetImageSize(&width, &height);
  DSCameraPlay();
  ASSERT_TRUE(ChangeFormat(-1, IDCANCEL)) << "the stream-format frame did not open";
  int32_t newWidth = 0, newHeight = 0;
  DSCameraGetImageSize(&newWidth, &newHeight);
  EXPECT_EQ(width, newWidth);
  EXPECT_EQ(height, newHeight);
  ExpectExactFrames({PixelFormat::Rgb24, width, height});
}

TEST_F(Settings, ChosenFormatsDeliverExactRgbFramesIncludingPackedYuv) {
  qvtest::VirtualCameraDevices devices({{L"Camera"}});
  ASSERT_TRUE(devices.Ok());
  ASSERT_EQ(1, DSCameraInit(0, host));
  DSCameraPlay();
  const FrameFormat chosen[] = {
      {PixelFormat::Yuy2, 1280, 720},
      {PixelFormat::Uyvy, 320, 240},
      {PixelFormat::Rgb24, 1920, 1080},
      {PixelFormat::Yuy2, 640, 480},  // a second change in a row, from the graph the last one left
  };
  for (const FrameFormat& format : chosen) {
    ASSERT_TRUE(ChangeFormat(FormatEntry(format.pixel, format.width), IDOK));
    ExpectExactFrames(format);
  }
}

TEST_F(Settings, MjpgFormatIsDecodedIntoWholeFrames) {
  qvtest::VirtualCameraDevices devices({{L"Camera"}});
  ASSERT_TRUE(devices.Ok());
  ASSERT_EQ(1, DSCameraInit(0, host));
  DSCameraPlay();
  ASSERT_TRUE(ChangeFormat(FormatEntry(PixelFormat::Mjpg, 640), IDOK));
  int32_t width = 0, height = 0;
  DSCameraGetImageSize(&width, &height);
  EXPECT_EQ(640, width);
  EXPECT_EQ(480, height);
  Sleep(300);
  const Grabbed g = GrabNow(640 * 480 * 3);
  ASSERT_TRUE(g.touched) << "an MJPG frame is decoded and handed over";
  const qvvcam::FrameCheck check = qvvcam::ReadRgb24Stamp(g.frame.data(), g.frame.size(), 640, 480);
  EXPECT_EQ(qvvcam::FrameStatus::Ok, check.status) << "the decoded frame's stamp reads right";
}

TEST_F(Settings, ChangeOnAStoppedGraphLeavesItRunning) {
  qvtest::VirtualCameraDevices devices({{L"Camera"}});
  ASSERT_TRUE(devices.Ok());
  ASSERT_EQ(1, DSCameraInit(0, host));  // never played
  ASSERT_TRUE(ChangeFormat(FormatEntry(PixelFormat::Uyvy, 640), IDOK));
  ExpectExactFrames({PixelFormat::Uyvy, 640, 480});
}

TEST_F(Settings, PinWithoutStreamConfigurationLeavesTheGraphStoppedWithTheCaptureFilterAlone) {
  qvtest::VirtualCameraDevices devices({{L"Plain", true, 0, true}});
  ASSERT_TRUE(devices.Ok());
  qvtest::GraphFaults faults(qvtest::GraphFaultPlan{});
  ASSERT_EQ(1, DSCameraInit(0, host));
  DSCameraPlay();
  Sleep(200);
  EXPECT_FALSE(ChangeFormat(-1, IDCANCEL)) << "no frame can be shown without a stream configuration";
  EXPECT_EQ((std::vector<std::wstring>{L"Capture Filter"}), faults.FilterNames());
  Sleep(300);
  EXPECT_FALSE(GrabNow(640 * 480 * 3).touched) << "the early return cleared the frame and stopped recording";
  // Only a completed change turns recording back on.
  EXPECT_EQ(1, DSCameraUnInit());
}

TEST_F(Settings, DevicePagesOpenAndNoFixupThreadOutlivesTheCall) {
  EXPECT_EQ(0, DSProperty()) << "no controller yet";
  qvtest::VirtualCameraDevices devices({{L"Camera"}, {L"No pages", true, 0, false, true}});
  ASSERT_TRUE(devices.Ok());
  ASSERT_EQ(1, DSCameraInit(0, host));
  const int threadsBefore = ThreadsOfThisProcess();
  bool sawPage = false;
  {
    qvtest::PropertyFrameAction action([&](HWND frame) {
      sawPage = qvtest::FindDescendant(frame, qvvcam::kDevicePagePatternId) != nullptr;
      qvtest::PressFrameButton(frame, IDCANCEL);
    });
    EXPECT_EQ(1, DSProperty());
    action.Join();
    EXPECT_TRUE(action.SawFrame());
  }
  EXPECT_TRUE(sawPage) << "the frame shows the device page";
  Sleep(100);
  EXPECT_LE(ThreadsOfThisProcess(), threadsBefore) << "the fix-up thread ended with the call";
  EXPECT_EQ(1, DSCameraUnInit());

  ASSERT_EQ(1, DSCameraInit(1, host));
  const int threadsNoPages = ThreadsOfThisProcess();
  EXPECT_EQ(1, DSProperty()) << "a device without pages still answers 1";
  EXPECT_EQ(threadsNoPages, ThreadsOfThisProcess()) << "and starts no thread";
}

TEST_F(Settings, FormatChangeWiresTheGrabberAgainAndReattachesTheHiddenOnePixelRenderer) {
  qvtest::VirtualCameraDevices devices({{L"Camera"}});
  ASSERT_TRUE(devices.Ok());
  qvtest::GraphFaults faults(qvtest::GraphFaultPlan{});
  ASSERT_EQ(1, DSCameraInit(0, host));
  const std::vector<std::string> wired = {"SetBufferSamples FALSE", "SetOneShot FALSE", "SetCallback 1"};
  EXPECT_EQ(wired, GrabberWiringCalls(faults.Calls(), 0)) << "the first build";
  DSCameraPlay();
  const size_t callsBefore = faults.Calls().size();
  // No fatal assertion from here on: the teardown must run while the stand-ins exist.
  EXPECT_TRUE(ChangeFormat(FormatEntry(PixelFormat::Rgb24, 320), IDOK));
  EXPECT_EQ(wired, GrabberWiringCalls(faults.Calls(), callsBefore)) << "the format change";
  EXPECT_EQ(1, faults.RegisteredCallbackMode()) << "BufferCB, not SampleCB";

  const std::vector<HWND> renderers = RendererWindowsOf(host);
  EXPECT_EQ(1u, renderers.size()) << "one renderer window attached to the host after the change";
  RECT place = {};
  if (!renderers.empty()) {
    GetWindowRect(renderers[0], &place);
    if (HWND parent = GetAncestor(renderers[0], GA_PARENT); parent != GetDesktopWindow()) {
      MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&place), 2);
    }
    EXPECT_FALSE(IsWindowVisible(renderers[0]));
  }
  EXPECT_EQ(0, place.left);
  EXPECT_EQ(0, place.top);
  EXPECT_EQ(1, place.right - place.left);
  EXPECT_EQ(1, place.bottom - place.top);
  ExpectExactFrames({PixelFormat::Rgb24, 320, 240});
  EXPECT_EQ(1, DSCameraUnInit()) << "while the stand-ins that record the teardown still exist";
}
