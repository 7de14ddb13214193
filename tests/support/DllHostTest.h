// The fixture of the tests that drive the DLL as a host would: COM on the test thread, a
// visible host window to open the camera in, and the camera closed after each test.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>

#include "QVDirectX.h"

namespace qvtest {

class DllHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    host = CreateWindowExA(0, "STATIC", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 320, 240, nullptr, nullptr,
                           nullptr, nullptr);
  }
  void TearDown() override {
    DSCameraUnInit();
    DestroyWindow(host);
    CoUninitialize();
  }
  HWND host = nullptr;
};

}  // namespace qvtest
