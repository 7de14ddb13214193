// The DLL's frame callback as the sample grabber calls it, reached through a real build
// on the virtual camera: its COM identity, the grab flag's transitions and the grab.
// The flag ends at 0 here for the rest of the process, so this runs in its own executable.
#include <gtest/gtest.h>

#include <vector>

#include "VirtualCameraDevices.h"
#include "GraphFaults.h"
#include "QVDirectX.h"

TEST(GrabFlagThroughDll, CallbackIdentityFlagAndGrabAsTheGrabberSeesThem) {
  ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  {
    qvtest::VirtualCameraDevices devices({{L"Camera"}});
    ASSERT_TRUE(devices.Ok());
    qvtest::GraphFaults faults(qvtest::GraphFaultPlan{});
    ASSERT_EQ(1, DSCameraInit(0, nullptr));  // built, not running: only this test delivers
    ISampleGrabberCB* callback = faults.RegisteredCallback();
    ASSERT_NE(nullptr, callback);
    EXPECT_EQ(1, faults.RegisteredCallbackMode()) << "the buffer callback is selected";

    // COM identity: one object for both interfaces, and counts that never change.
    void* viaUnknown = nullptr;
    void* viaCallback = nullptr;
    void* other = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(S_OK, callback->QueryInterface(IID_IUnknown, &viaUnknown));
    EXPECT_EQ(S_OK, callback->QueryInterface(IID_ISampleGrabberCB, &viaCallback));
    EXPECT_EQ(viaUnknown, viaCallback);
    EXPECT_EQ(static_cast<void*>(callback), viaCallback);
    EXPECT_EQ(E_NOINTERFACE, callback->QueryInterface(IID_ISampleGrabber, &other));
    EXPECT_EQ(reinterpret_cast<void*>(0x1234), other) << "a refused query leaves the pointer alone";
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(2u, callback->AddRef());
      EXPECT_EQ(1u, callback->Release());
    }
    EXPECT_EQ(S_OK, callback->SampleCB(0.0, nullptr));

    int32_t width = 0, height = 0;
    DSCameraGetImageSize(&width, &height);
    ASSERT_GT(width, 0);
    ASSERT_GT(height, 0);
    const size_t bytes = static_cast<size_t>(width) * height * 3;
    std::vector<BYTE> first(bytes, 0x11), second(bytes, 0x22), grabbed(bytes + 8, 0xA5);

    EXPECT_EQ(E_POINTER, callback->BufferCB(0.0, nullptr, static_cast<long>(bytes)));
    EXPECT_EQ(S_FALSE, callback->BufferCB(0.0, first.data(), static_cast<long>(bytes))) << "recorded";
    first.assign(bytes, 0x33);  // the platform refills its buffer: the recorded frame must not change
    DSGrabFrame(grabbed.data());
    EXPECT_EQ(std::vector<BYTE>(bytes, 0x11), std::vector<BYTE>(grabbed.begin(), grabbed.begin() + bytes));
    EXPECT_EQ(std::vector<BYTE>(8, 0xA5), std::vector<BYTE>(grabbed.begin() + bytes, grabbed.end()));

    // A capture path stops the recording at the next frame; a null buffer changes nothing.
    EXPECT_EQ(1, DSCameraCaptureFile("C:\\captured.bmp"));
    EXPECT_EQ(E_POINTER, callback->BufferCB(0.0, nullptr, static_cast<long>(bytes)));
    EXPECT_EQ(S_OK, callback->BufferCB(0.0, second.data(), static_cast<long>(bytes))) << "not recorded: flag was 2";
    EXPECT_EQ(S_OK, callback->BufferCB(0.0, second.data(), static_cast<long>(bytes))) << "flag is now 0";
    DSGrabFrame(grabbed.data());
    EXPECT_EQ(std::vector<BYTE>(bytes, 0x11), std::vector<BYTE>(grabbed.begin(), grabbed.begin() + bytes));
    EXPECT_EQ(1, DSCameraUnInit());

    // Opening again does not turn recording back on.
    qvtest::GraphFaults again(qvtest::GraphFaultPlan{});
    ASSERT_EQ(1, DSCameraInit(0, nullptr));
    DSCameraPlay();
    Sleep(500);
    std::vector<BYTE> untouched(bytes, 0x5A);
    DSGrabFrame(untouched.data());
    EXPECT_EQ(std::vector<BYTE>(bytes, 0x5A), untouched) << "no frame of the new graph is recorded";
    EXPECT_EQ(1, DSCameraUnInit());
  }
  CoUninitialize();
}
