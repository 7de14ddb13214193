// The controller library on its own, linked without the DLL: Init's typed result, which
// the export folds into 1 or 0, the fields each build failure leaves, and the device
// pages reached with the controller and the host window as arguments. The platform's
// graph objects are the fault-injecting stand-ins.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DSCamera.h"
#include "DSGrabberCB.h"
#include "GraphFaults.h"
#include "MessageBoxWatcher.h"
#include "PropertyPages.h"

// The module's callback object. The DLL defines it beside its application object; a
// program that links the controller library without the DLL defines its own.
CDSGrabberCB g_grabberCB;

namespace {

using Outcome = CDSCamera::InitResult::Outcome;

const char kNoInterfaces[] = "Failed to get video interfaces!";
const char kNoGrabber[] = "Fail to create SampleGrabber, maybe qedit.dll is not registered?";
const char kNoMediaType[] = "Fail to set media type!";
const char kNoGrabberInGraph[] = "Fail to put sample grabber in graph";
const char kNoPreviewGraph[] = "Can't build the preview-graph! Maybe another application is using the capture device.";

qvtest::GraphFaultPlan Plan(bool qvtest::GraphFaultPlan::*fault) {
  qvtest::GraphFaultPlan plan;
  if (fault != nullptr) plan.*fault = true;
  return plan;
}

std::vector<std::string> TextsOf(qvtest::MessageBoxWatcher& boxes, size_t expected) {
  if (expected > 0) boxes.WaitFor(expected, 5000);
  Sleep(100);  // a further, unexpected box would show up here
  std::vector<std::string> texts;
  for (const qvtest::SeenBox& box : boxes.Take()) texts.push_back(box.text);
  return texts;
}

class Controller : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
  void TearDown() override { CoUninitialize(); }
};

}  // namespace

TEST_F(Controller, InitTellsARefusedDeviceFromTheFailingCallsResult) {
  struct Case {
    const char* what;
    qvtest::GraphFaultPlan plan;
    int index;
    Outcome outcome;
    HRESULT failure;
    const char* message;  // null: none
    int initialized;
    bool builderHeld;
  } cases[] = {
      {"no capture graph builder", Plan(&qvtest::GraphFaultPlan::failBuilderCreation), 0, Outcome::Failed,
       E_OUTOFMEMORY, kNoInterfaces, 0, false},
      // The builder made before the graph's failed creation is released again.
      {"no filter graph", Plan(&qvtest::GraphFaultPlan::failGraphCreation), 0, Outcome::Failed, E_OUTOFMEMORY,
       kNoInterfaces, 0, false},
      {"negative index", Plan(nullptr), -1, Outcome::DeviceRefused, S_OK, nullptr, 1, true},
      {"no grabber", Plan(&qvtest::GraphFaultPlan::failGrabberCreation), 0, Outcome::Failed, E_OUTOFMEMORY, kNoGrabber,
       1, true},
      {"media type refused", Plan(&qvtest::GraphFaultPlan::refuseGrabberMediaType), 0, Outcome::Failed, E_INVALIDARG,
       kNoMediaType, 1, true},
      {"grabber refused by the graph", Plan(&qvtest::GraphFaultPlan::refuseGrabberInGraph), 0, Outcome::Failed, E_FAIL,
       kNoGrabberInGraph, 1, true},
      {"no device to render from", Plan(nullptr), 255, Outcome::Failed, E_POINTER, kNoPreviewGraph, 1, true},
  };
  for (const Case& c : cases) {
    qvtest::GraphFaults faults(c.plan);
    qvtest::MessageBoxWatcher boxes;
    CDSCamera camera;
    const CDSCamera::InitResult result = camera.Init(c.index, nullptr);
    EXPECT_EQ(c.outcome, result.outcome) << c.what;
    EXPECT_EQ(c.failure, result.failure) << c.what << ": 0x" << std::hex << result.failure;
    EXPECT_FALSE(result.IsBuilt()) << c.what;
    const std::vector<std::string> expected =
        c.message != nullptr ? std::vector<std::string>{c.message} : std::vector<std::string>{};
    EXPECT_EQ(expected, TextsOf(boxes, expected.size())) << c.what;
    EXPECT_EQ(c.initialized, camera.m_bInitialized) << c.what;
    EXPECT_EQ(c.builderHeld, static_cast<bool>(camera.m_pCaptureBuilder)) << c.what;
    if (!camera.m_pGraph) {
      EXPECT_EQ(E_UNEXPECTED, camera.Play()) << c.what << ": nothing to run";
    }
    if (c.outcome == Outcome::DeviceRefused) {
      EXPECT_TRUE(faults.Calls().empty()) << c.what << ": nothing added to the graph";
      EXPECT_FALSE(camera.m_pGrabber) << c.what;
    }

    camera.UnInit();
    EXPECT_EQ(0, camera.m_bInitialized) << c.what;
    EXPECT_FALSE(camera.m_pGrabber) << c.what;
    EXPECT_FALSE(camera.m_pCaptureFilter) << c.what;
    EXPECT_FALSE(camera.m_pMediaControl) << c.what;
    EXPECT_FALSE(camera.m_pVideoWindow) << c.what;
    EXPECT_TRUE(faults.FilterNames().empty()) << c.what << ": the teardown leaves an empty graph";
    EXPECT_TRUE(TextsOf(boxes, 0).empty()) << c.what;
  }
}

TEST_F(Controller, DevicePagesShowTheGivenControllersFilterOnly) {
  EXPECT_EQ(0, ShowDevicePropertyPages(nullptr, nullptr)) << "no controller";
  CDSCamera camera;
  EXPECT_EQ(0, ShowDevicePropertyPages(&camera, nullptr)) << "a controller never initialised";
  ASSERT_EQ(Outcome::DeviceRefused, camera.Init(-1, nullptr).outcome);
  EXPECT_EQ(1, ShowDevicePropertyPages(&camera, nullptr)) << "initialised without a device: nothing to show";
  camera.UnInit();
  EXPECT_EQ(0, ShowDevicePropertyPages(&camera, nullptr)) << "torn down";
}
