// Cameras that the platform can't stop: one that goes away while it runs (after 20
// frames it delivers none, sends EC_DEVICE_LOST, and its Pause, Run and Stop answer "not
// connected"), one that goes away while its stream-format frame is open, and one whose
// Stop and Pause fail while it goes on delivering. Every call must return, the close
// within a second, and the next open must work.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <thread>
#include <vector>

#include "DllHostTest.h"
#include "PropertyFrameDriver.h"
#include "QVDirectX.h"
#include "TestPicture.h"
#include "VirtualCameraDevices.h"
#include "VirtualCameraIds.h"

namespace {

constexpr DWORD kCloseLimitMs = 1000;
constexpr DWORD kHangLimitMs = 20000;  // past this the process is ended: a hang, not a slow call

// Runs call on this thread while a watchdog waits; returns the milliseconds it took. A
// call still running after kHangLimitMs ends the process with a message instead of
// hanging the suite.
DWORD Watched(const char* what, const std::function<void()>& call) {
  HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread watchdog([done, what] {
    if (WaitForSingleObject(done, kHangLimitMs) != WAIT_OBJECT_0) {
      fprintf(stderr, "%s did not return within %lu ms\n", what, static_cast<unsigned long>(kHangLimitMs));
      fflush(stderr);
      TerminateProcess(GetCurrentProcess(), 3);
    }
  });
  const DWORD start = GetTickCount();
  call();
  const DWORD took = GetTickCount() - start;
  SetEvent(done);
  watchdog.join();
  CloseHandle(done);
  return took;
}

// The newest grab if it carries a whole frame of the picture.
bool GrabWholeFrame(uint32_t* sequence) {
  int32_t width = 0, height = 0;
  DSCameraGetImageSize(&width, &height);
  if (width <= 0 || height <= 0) return false;
  const size_t bytes = static_cast<size_t>(width) * height * 3;
  std::vector<unsigned char> frame(bytes, 0xA5);
  DSGrabFrame(frame.data());
  const qvvcam::FrameCheck check = qvvcam::CheckRgb24Frame(frame.data(), bytes, width, height);
  if (check.status != qvvcam::FrameStatus::Ok) return false;
  if (sequence) *sequence = check.sequence;
  return true;
}

// Grabs for ms. A grab that writes anything must write a whole frame of the picture,
// never a torn or mis-sized one. Gives how many grabs wrote a frame.
int GrabsWriteOnlyWholeFrames(DWORD ms) {
  int written = 0;
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    int32_t width = 0, height = 0;
    DSCameraGetImageSize(&width, &height);
    if (width > 0 && height > 0) {
      const size_t bytes = static_cast<size_t>(width) * height * 3;
      std::vector<unsigned char> frame(bytes, 0xA5);
      DSGrabFrame(frame.data());
      if (frame != std::vector<unsigned char>(bytes, 0xA5)) {
        ++written;
        EXPECT_EQ(qvvcam::CheckRgb24Frame(frame.data(), bytes, width, height).status, qvvcam::FrameStatus::Ok)
            << "a grab of " << width << "x" << height << " wrote a frame that is not whole";
      }
    }
    Sleep(20);
  }
  return written;
}

bool WholeFrameWithin(DWORD ms) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    if (GrabWholeFrame(nullptr)) return true;
    Sleep(20);
  }
  return false;
}

class LostDevice : public qvtest::DllHostTest {
 protected:
  // Opens, runs until the device is gone, and checks the grab kept its last frame.
  void OpenUntilLost() {
    ASSERT_EQ(1, DSCameraInit(0, host));
    DSCameraPlay();
    ASSERT_TRUE(WholeFrameWithin(5000)) << "the device delivers before it is lost";
    Sleep(1500);  // well past the 20th frame
    uint32_t first = 0, second = 0;
    ASSERT_TRUE(GrabWholeFrame(&first)) << "the grab keeps the last whole frame";
    Sleep(300);
    ASSERT_TRUE(GrabWholeFrame(&second));
    EXPECT_EQ(first, second) << "no frame after the loss";
    EXPECT_LT(first, 20u);
  }

  void CloseWithinLimitAndReopen(uint8_t next = 0) {
    const DWORD took = Watched("DSCameraUnInit", [] { EXPECT_EQ(1, DSCameraUnInit()); });
    EXPECT_LT(took, kCloseLimitMs) << "the close took " << took << " ms";
    ASSERT_EQ(1, DSCameraInit(next, host)) << "the next open";
    DSCameraPlay();
    EXPECT_TRUE(WholeFrameWithin(5000)) << "the next open delivers";
    EXPECT_EQ(1, DSCameraUnInit());
  }

};

qvtest::VirtualDevice LosingDevice() {
  qvtest::VirtualDevice d = qvtest::VirtualDevice::Named(L"Lost");
  d.stopAfterFrames = 20;
  d.losesDevice = true;
  return d;
}

}  // namespace

TEST_F(LostDevice, FormatChangeStopAndCloseAllReturnAfterTheLoss) {
  qvtest::VirtualCameraDevices devices({LosingDevice()});
  ASSERT_TRUE(devices.Ok()) << devices.Error();
  OpenUntilLost();
  Watched("DSResolution", [] {
    qvtest::PropertyFrameAction cancel([](HWND frame) { qvtest::PressFrameButton(frame, IDCANCEL); });
    EXPECT_EQ(1, DSResolution());
  });
  Watched("DSCameraStop", [] { EXPECT_EQ(1, DSCameraStop()); });
  CloseWithinLimitAndReopen();
}

// The camera vanishes inside the format frame: the entry picked there is the last call it
// takes, and the rebuild after OK meets a device that neither connects nor runs.
TEST_F(LostDevice, CameraThatVanishesInsideTheFormatFrame) {
  qvtest::VirtualDevice vanishing = qvtest::VirtualDevice::Named(L"Vanishes");
  vanishing.losesOnFormat = true;
  qvtest::VirtualCameraDevices devices({vanishing, qvtest::VirtualDevice::Named(L"Normal")});
  ASSERT_TRUE(devices.Ok()) << devices.Error();
  ASSERT_EQ(1, DSCameraInit(0, host));
  DSCameraPlay();
  ASSERT_TRUE(WholeFrameWithin(5000)) << "the device delivers before it vanishes";

  bool sawFrame = false;
  Watched("DSResolution", [&] {
    qvtest::PropertyFrameAction pick([](HWND frame) {
      // RGB24 320 x 240: another size than the 640 x 480 it ran at.
      EXPECT_TRUE(qvtest::SelectComboEntry(qvtest::FindDescendant(frame, qvvcam::kFormatPageComboId), 0));
      qvtest::PressFrameButton(frame, IDOK);
    });
    EXPECT_EQ(1, DSResolution());
    pick.Join();
    sawFrame = pick.SawFrame();
  });
  ASSERT_TRUE(sawFrame) << "the format frame opened";

  const int written = GrabsWriteOnlyWholeFrames(500);
  EXPECT_EQ(written, 0) << "nothing arrives from a device that is gone";
  Watched("DSCameraStop", [] { EXPECT_EQ(1, DSCameraStop()); });
  GrabsWriteOnlyWholeFrames(100);
  CloseWithinLimitAndReopen(1);
}

TEST_F(LostDevice, CloseAfterTheLossWithoutAFormatChange) {
  qvtest::VirtualCameraDevices devices({LosingDevice()});
  ASSERT_TRUE(devices.Ok()) << devices.Error();
  OpenUntilLost();
  Watched("DSCameraStop", [] { EXPECT_EQ(1, DSCameraStop()); });
  CloseWithinLimitAndReopen();
}

TEST_F(LostDevice, CameraThatRefusesToStopStillClosesAndTheNextCameraOpens) {
  qvtest::VirtualDevice refusing = qvtest::VirtualDevice::Named(L"Refuses");
  refusing.refusesStop = true;
  qvtest::VirtualCameraDevices devices({refusing, qvtest::VirtualDevice::Named(L"Normal")});
  ASSERT_TRUE(devices.Ok()) << devices.Error();
  ASSERT_EQ(1, DSCameraInit(0, host));
  DSCameraPlay();
  uint32_t first = 0, later = 0;
  ASSERT_TRUE(WholeFrameWithin(5000));
  ASSERT_TRUE(GrabWholeFrame(&first));
  Watched("DSCameraStop", [] { EXPECT_EQ(1, DSCameraStop()); });
  Sleep(200);
  ASSERT_TRUE(GrabWholeFrame(&later)) << "the grab keeps a whole frame";
  CloseWithinLimitAndReopen(1);
}
