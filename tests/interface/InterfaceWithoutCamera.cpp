// The exported interface in a process with no capture device: initial state, the
// controller's life, COM entered and left once per controller, and the results that
// need no camera.
#include <gtest/gtest.h>
#include <objbase.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "MessageBoxWatcher.h"
#include "QVDirectX.h"

namespace {

const char kNoPreviewGraph[] = "Can't build the preview-graph! Maybe another application is using the capture device.";

HWND MakeHostWindow() {
  return CreateWindowExA(0, "STATIC", "host", WS_POPUP, 0, 0, 320, 240, nullptr, nullptr, nullptr, nullptr);
}

// Whether the calling thread is in a COM apartment, without changing that.
bool ThreadHasCom() {
  HRESULT hr = CoInitialize(nullptr);
  CoUninitialize();
  return hr == S_FALSE;
}

bool FileExists(const std::string& path) { return std::ifstream(path).good(); }

}  // namespace

// Runs first: the process has not called any export yet.
TEST(FreshModule, StartsWithNoFrameNoSizeAndNoController) {
  int32_t width = -7, height = -7;
  EXPECT_EQ(1, DSCameraGetImageSize(&width, &height));
  EXPECT_EQ(0, width);
  EXPECT_EQ(0, height);

  std::vector<unsigned char> buffer(64, 0xA5);
  EXPECT_EQ(1, DSGrabFrame(buffer.data()));
  EXPECT_EQ(std::vector<unsigned char>(64, 0xA5), buffer) << "no frame was recorded, nothing may be written";

  EXPECT_EQ(0, DSProperty()) << "no controller yet";
  EXPECT_FALSE(ThreadHasCom()) << "loading the module must not initialise COM";
}

TEST(NoController, PlayStopResolutionAndUnInitDoNothing) {
  EXPECT_EQ(2, DSCameraPlay()) << "nothing to run answers like a run that did not start";
  EXPECT_EQ(1, DSCameraStop());
  EXPECT_EQ(1, DSResolution());
  EXPECT_EQ(1, DSCameraUnInit());
  EXPECT_EQ(1, DSCameraUnInit());
  EXPECT_EQ(0, DSProperty());
}

TEST(NoController, RegisterpixelNeedsComOnTheThread) {
  int32_t result = 0;
  std::thread([&] { result = DSCameraRegisterpixel(nullptr); }).join();
  EXPECT_EQ(-1, result) << "without COM the device enumerator can't be created";
}

TEST(NoController, ImageSaveWithUnknownTypesWritesNothing) {
  unsigned char frame[2 * 2 * 3] = {};
  for (int type : {0, 3, 5, 6, 7, 9, 16, -1}) {
    std::string path = "unknown_type_" + std::to_string(type) + ".img";
    std::remove(path.c_str());
    EXPECT_EQ(1, DSCameraImageSave(frame, type, 2, 2, path.c_str())) << "type " << type;
    EXPECT_FALSE(FileExists(path)) << "type " << type << " must not create a file";
  }
}

TEST(NoDevice, FailedBuildKeepsTheControllerUntilUnInit) {
  qvtest::MessageBoxWatcher boxes;
  HWND host = MakeHostWindow();

  EXPECT_EQ(0, DSCameraInit(0, host));
  ASSERT_TRUE(boxes.WaitFor(1, 5000));
  std::vector<qvtest::SeenBox> seen = boxes.Take();
  ASSERT_EQ(1u, seen.size()) << qvtest::Describe(seen);
  EXPECT_EQ("QVDirectX", seen[0].caption);
  EXPECT_EQ(kNoPreviewGraph, seen[0].text);
  EXPECT_TRUE(ThreadHasCom()) << "the controller entered COM on this thread";

  // The graph objects exist, so a second call builds nothing and shows nothing.
  EXPECT_EQ(0, DSCameraInit(0, host));
  EXPECT_EQ(1, DSProperty()) << "initialised controller without a device: no pages, result 1";
  EXPECT_EQ(2, DSCameraPlay()) << "a graph with nothing connected does not run";
  EXPECT_EQ(1, DSCameraStop());
  Sleep(300);
  EXPECT_TRUE(boxes.Take().empty());

  EXPECT_EQ(1, DSCameraUnInit());
  EXPECT_FALSE(ThreadHasCom()) << "the controller left COM once";

  // After UnInit a new controller builds again.
  EXPECT_EQ(0, DSCameraInit(0, host));
  ASSERT_TRUE(boxes.WaitFor(1, 5000));
  seen = boxes.Take();
  ASSERT_EQ(1u, seen.size()) << qvtest::Describe(seen);
  EXPECT_EQ(kNoPreviewGraph, seen[0].text);
  EXPECT_EQ(1, DSCameraUnInit());
  EXPECT_FALSE(ThreadHasCom());
  DestroyWindow(host);
}

TEST(NoDevice, RegisterpixelAddsNothingToTheComboBox) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  HWND combo = CreateWindowExA(0, "COMBOBOX", "", WS_POPUP | CBS_DROPDOWNLIST, 0, 0, 200, 200, nullptr, nullptr,
                               nullptr, nullptr);
  ASSERT_NE(nullptr, combo);
  SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("existing entry"));
  EXPECT_EQ(0, DSCameraRegisterpixel(combo));
  EXPECT_EQ(1, SendMessageA(combo, CB_GETCOUNT, 0, 0));
  DestroyWindow(combo);
  CoUninitialize();
}

TEST(NoDevice, ApartmentThatCannotBeEnteredIsReportedAndTheHostKeepsItsOwn) {
  std::vector<qvtest::SeenBox> seen;
  int32_t firstInit = -1, secondInit = -1;
  HRESULT apartmentAfter = E_FAIL, createAfter = E_FAIL;
  APTTYPE typeAfter = APTTYPE_CURRENT;
  APTTYPEQUALIFIER qualifier = APTTYPEQUALIFIER_NONE;
  std::thread([&] {
    qvtest::MessageBoxWatcher boxes;
    // The host's own entry: the controller then can't enter a single-threaded apartment.
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    firstInit = DSCameraInit(0, nullptr);
    boxes.WaitFor(2, 5000);
    seen = boxes.Take();
    secondInit = DSCameraInit(0, nullptr);
    DSCameraUnInit();
    // The controller left nothing it had not entered: the host's COM still works.
    apartmentAfter = CoGetApartmentType(&typeAfter, &qualifier);
    IUnknown* object = nullptr;
    createAfter = CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                   reinterpret_cast<void**>(&object));
    if (object != nullptr) object->Release();
    CoUninitialize();
  }).join();
  ASSERT_EQ(2u, seen.size()) << qvtest::Describe(seen);
  EXPECT_EQ("CoInitialize Failed!\n", seen[0].text);
  EXPECT_EQ(kNoPreviewGraph, seen[1].text) << "COM is usable in the thread's own apartment, so the build goes on";
  EXPECT_EQ(0, firstInit);
  EXPECT_EQ(0, secondInit);
  EXPECT_EQ(S_OK, apartmentAfter) << "the host's apartment was left by the controller";
  EXPECT_EQ(APTTYPE_MTA, typeAfter);
  EXPECT_EQ(S_OK, createAfter) << "the host's own CoCreateInstance after DSCameraUnInit";
}
