// Exports called by the host while one of the library's frames is open: a host timer on
// the host thread fires inside the frame's message loop and calls one export. Calls that
// would change the graph or the controller are refused; the others work. Each case ends
// with the frame closed, the outer call returned, no virtual camera object left alive
// after the close, and a camera that opens again and delivers whole frames.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "DllHostTest.h"
#include "PropertyFrameDriver.h"
#include "QVDirectX.h"
#include "TestPicture.h"
#include "VirtualCameraDevices.h"

namespace {

enum class Frame { StreamFormat, Device };

const char* FrameName(Frame frame) { return frame == Frame::StreamFormat ? "DSResolution" : "DSProperty"; }

struct NestedCall {
  const char* what;
  bool stopsRecording;  // recording stays off until the next format change
  // Makes the call from inside the frame and says what is wrong with its answer, if anything.
  std::function<std::string(Frame, HWND host)> call;
};

// What the timer saw, read by the test after the outer call.
struct TimerRecord {
  std::atomic<bool> fired{false};
  bool insideFrame = false;
  std::string fault;
};

const NestedCall* g_call = nullptr;
Frame g_frame = Frame::StreamFormat;
HWND g_host = nullptr;
TimerRecord* g_record = nullptr;

void CALLBACK HostTimer(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  if (g_record == nullptr || g_record->fired) return;
  g_record->insideFrame = qvtest::WaitForPropertyFrame(0) != nullptr;
  g_record->fault = g_call->call(g_frame, g_host);
  g_record->fired = true;
}

std::string Expect(const char* what, int32_t expected, int32_t got) {
  if (expected == got) return {};
  return std::string(what) + " answered " + std::to_string(got) + ", expected " + std::to_string(expected);
}

bool Touched(const std::vector<unsigned char>& frame) {
  for (unsigned char b : frame) {
    if (b != 0xA5) return true;
  }
  return false;
}

// Waits for grabs of two different whole frames of the virtual camera's picture: the
// stream runs and is recorded.
bool WholeFramesArrive() {
  int32_t width = 0, height = 0;
  DSCameraGetImageSize(&width, &height);
  if (width <= 0 || height <= 0) return false;
  const size_t bytes = static_cast<size_t>(width) * height * 3;
  const DWORD start = GetTickCount();
  bool seenOne = false;
  uint32_t first = 0;
  while (GetTickCount() - start < 5000) {
    std::vector<unsigned char> frame(bytes, 0xA5);
    DSGrabFrame(frame.data());
    const qvvcam::FrameCheck check = qvvcam::CheckRgb24Frame(frame.data(), bytes, width, height);
    if (Touched(frame) && check.status == qvvcam::FrameStatus::Ok) {
      if (seenOne && check.sequence != first) return true;
      seenOne = true;
      first = check.sequence;
    }
    Sleep(20);
  }
  return false;
}

// Whether the virtual camera's module holds no object any more.
bool VirtualCameraIdle() {
  HMODULE vcam = GetModuleHandleW(L"qvvcam.dll");
  if (vcam == nullptr) return false;
  auto canUnload = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(GetProcAddress(vcam, "DllCanUnloadNow"));
  return canUnload != nullptr && canUnload() == S_OK;
}

std::string TempFile(const char* name) {
  char dir[MAX_PATH];
  GetTempPathA(MAX_PATH, dir);
  return std::string(dir) + name;
}

bool FileHasBytes(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) && (data.nFileSizeLow | data.nFileSizeHigh);
}

const std::vector<NestedCall>& Calls() {
  static const std::vector<NestedCall> calls = {
      {"DSCameraInit", false, [](Frame, HWND host) { return Expect("DSCameraInit", 0, DSCameraInit(0, host)); }},
      {"DSCameraUnInit", false, [](Frame, HWND) { return Expect("DSCameraUnInit", 1, DSCameraUnInit()); }},
      {"DSCameraPlay", false, [](Frame, HWND) { return Expect("DSCameraPlay", 2, DSCameraPlay()); }},
      {"DSCameraStop", false, [](Frame, HWND) { return Expect("DSCameraStop", 1, DSCameraStop()); }},
      {"DSResolution", false, [](Frame, HWND) { return Expect("DSResolution", 1, DSResolution()); }},
      {"DSProperty", false, [](Frame, HWND) { return Expect("DSProperty", 0, DSProperty()); }},
      {"DSCameraRegisterpixel", false,
       [](Frame, HWND host) {
         HWND combo = CreateWindowExA(0, "COMBOBOX", "", WS_CHILD | CBS_DROPDOWNLIST, 0, 0, 100, 100, host, nullptr,
                                      nullptr, nullptr);
         const int32_t listed = DSCameraRegisterpixel(combo);
         const LRESULT entries = SendMessageA(combo, CB_GETCOUNT, 0, 0);
         DestroyWindow(combo);
         if (listed < 1 || entries != listed) return std::string("the device list was not filled");
         return std::string();
       }},
      {"DSCameraGetImageSize", false,
       [](Frame, HWND) {
         int32_t width = 0, height = 0;
         std::string fault = Expect("DSCameraGetImageSize", 1, DSCameraGetImageSize(&width, &height));
         if (width != 640 || height != 480) fault += " size " + std::to_string(width) + "x" + std::to_string(height);
         return fault;
       }},
      {"DSGrabFrame", false,
       [](Frame frame, HWND) {
         std::vector<unsigned char> buffer(640 * 480 * 3, 0xA5);
         std::string fault = Expect("DSGrabFrame", 1, DSGrabFrame(buffer.data()));
         // The format change forgot the frame before its frame opened; the device frame
         // leaves the stream running.
         const bool expectFrame = frame == Frame::Device;
         if (Touched(buffer) != expectFrame) fault += expectFrame ? " gave no frame" : " gave a forgotten frame";
         if (expectFrame &&
             qvvcam::CheckRgb24Frame(buffer.data(), buffer.size(), 640, 480).status != qvvcam::FrameStatus::Ok)
           fault += " gave a broken frame";
         return fault;
       }},
      {"DSCameraImageSave", false,
       [](Frame, HWND) {
         const std::string path = TempFile("qv-inside-frame.bmp");
         DeleteFileA(path.c_str());
         std::vector<unsigned char> picture(64 * 48 * 3, 0x40);
         std::string fault =
             Expect("DSCameraImageSave", 1, DSCameraImageSave(picture.data(), QVDX_FILE_BMP, 64, 48, path.c_str()));
         if (!FileHasBytes(path)) fault += " wrote no file";
         DeleteFileA(path.c_str());
         return fault;
       }},
      {"DSCameraCaptureFile", true,
       [](Frame, HWND) {
         return Expect("DSCameraCaptureFile", 1, DSCameraCaptureFile(TempFile("qv-inside-frame.raw").c_str()));
       }},
  };
  return calls;
}

class CallsInsideFrames : public qvtest::DllHostTest {
 protected:
  // Opens the frame with the timer set, closes the frame once the timer has made its call.
  void RunCase(Frame frame, const NestedCall& call, const std::string& label) {
    TimerRecord record;
    g_call = &call;
    g_frame = frame;
    g_host = host;
    g_record = &record;
    std::atomic<bool> closedEarly{false};
    qvtest::PropertyFrameAction action([&](HWND opened) {
      const DWORD start = GetTickCount();
      while (!record.fired && GetTickCount() - start < 10000) Sleep(10);
      if (!record.fired) closedEarly = true;
      // A nested frame, had one opened, is closed first so the outer one can end.
      for (HWND shown = qvtest::WaitForPropertyFrame(0); shown != nullptr && shown != opened;
           shown = qvtest::WaitForPropertyFrame(0)) {
        qvtest::PressFrameButton(shown, IDCANCEL);
        Sleep(200);
      }
      qvtest::PressFrameButton(opened, IDCANCEL);
    });
    ASSERT_NE(0u, SetTimer(nullptr, 0, 60, HostTimer)) << label;
    const int32_t outer = frame == Frame::StreamFormat ? DSResolution() : DSProperty();
    action.Join();
    g_record = nullptr;
    EXPECT_TRUE(action.SawFrame()) << label << ": the frame did not open";
    EXPECT_FALSE(closedEarly) << label << ": the timer never fired inside the frame";
    EXPECT_TRUE(record.insideFrame) << label << ": the timer fired outside the frame";
    EXPECT_EQ("", record.fault) << label;
    EXPECT_EQ(1, outer) << label << ": the outer call's answer";
  }

};

}  // namespace

TEST_F(CallsInsideFrames, GraphCallsAreRefusedOthersWorkAndTheCameraStaysWhole) {
  qvtest::VirtualCameraDevices devices({{L"Camera"}});
  ASSERT_TRUE(devices.Ok()) << devices.Error();
  for (int round = 0; round < 2; ++round) {  // a second round finds any reference the first one left
    for (Frame frame : {Frame::StreamFormat, Frame::Device}) {
      for (const NestedCall& call : Calls()) {
        const std::string label =
            std::string(call.what) + " inside " + FrameName(frame) + ", round " + std::to_string(round);
        ASSERT_EQ(1, DSCameraInit(0, host)) << label;
        DSCameraPlay();
        ASSERT_TRUE(WholeFramesArrive()) << label << ": before the frame";
        RunCase(frame, call, label);
        if (call.stopsRecording && frame == Frame::Device) {
          // Only a format change turns recording on again, as a host would do.
          qvtest::PropertyFrameAction cancel([](HWND opened) { qvtest::PressFrameButton(opened, IDCANCEL); });
          EXPECT_EQ(1, DSResolution()) << label;
        }
        EXPECT_TRUE(WholeFramesArrive()) << label << ": after the frame";
        EXPECT_EQ(1, DSCameraUnInit()) << label;
        EXPECT_TRUE(VirtualCameraIdle()) << label << ": a virtual camera object outlived the close";
        ASSERT_EQ(1, DSCameraInit(0, host)) << label << ": open again";
        DSCameraPlay();
        EXPECT_TRUE(WholeFramesArrive()) << label << ": after opening again";
        EXPECT_EQ(1, DSCameraUnInit()) << label;
        EXPECT_TRUE(VirtualCameraIdle()) << label;
      }
    }
  }
}
