// DSCameraInit's failures that need no camera, each triggered for real through the
// DLL: the platform's graph objects are wrapped by stand-ins registered in this
// apartment, which make one chosen call fail.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "GraphFaults.h"
#include "MessageBoxWatcher.h"
#include "QVDirectX.h"

namespace {

const char kNoInterfaces[] = "Failed to get video interfaces!";
const char kNoGrabber[] = "Fail to create SampleGrabber, maybe qedit.dll is not registered?";
const char kNoMediaType[] = "Fail to set media type!";
const char kNoGrabberInGraph[] = "Fail to put sample grabber in graph";
const char kNoPreviewGraph[] = "Can't build the preview-graph! Maybe another application is using the capture device.";

class InitFailure : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr))); }
  void TearDown() override {
    DSCameraUnInit();
    CoUninitialize();
  }

  // One DSCameraInit: its result and the texts of the boxes it showed.
  std::pair<int32_t, std::vector<std::string>> Init(qvtest::MessageBoxWatcher& boxes, size_t expectedBoxes) {
    int32_t result = DSCameraInit(0, nullptr);
    if (expectedBoxes > 0) boxes.WaitFor(expectedBoxes, 5000);
    Sleep(100);  // a further, unexpected box would show up here
    std::vector<std::string> texts;
    for (const qvtest::SeenBox& box : boxes.Take()) texts.push_back(box.text);
    return {result, texts};
  }
};

bool Called(const std::vector<std::string>& calls, const std::string& call) {
  return std::find(calls.begin(), calls.end(), call) != calls.end();
}

}  // namespace

TEST_F(InitFailure, GraphObjectsNotCreatedAreReportedAndTriedAgainOnTheNextInit) {
  struct Case {
    const char* what;
    qvtest::GraphFaultPlan plan;
  } cases[] = {
      {"capture graph builder",
       [] {
         qvtest::GraphFaultPlan p;
         p.failBuilderCreation = true;
         return p;
       }()},
      {"filter graph",
       [] {
         qvtest::GraphFaultPlan p;
         p.failGraphCreation = true;
         return p;
       }()},
  };
  for (const Case& c : cases) {
    qvtest::GraphFaults faults(c.plan);
    qvtest::MessageBoxWatcher boxes;
    auto first = Init(boxes, 1);
    EXPECT_EQ(0, first.first) << c.what;
    EXPECT_EQ(std::vector<std::string>{kNoInterfaces}, first.second) << c.what;
    EXPECT_EQ(0, faults.LiveBuilders()) << c.what << ": a failed creation keeps no builder";
    // The flag stayed clear, so each further call builds again and fails again, and
    // no retry leaves a builder behind.
    for (int retry = 1; retry <= 3; ++retry) {
      auto again = Init(boxes, 1);
      EXPECT_EQ(0, again.first) << c.what << ", retry " << retry;
      EXPECT_EQ(std::vector<std::string>{kNoInterfaces}, again.second) << c.what << ", retry " << retry;
      EXPECT_EQ(0, faults.LiveBuilders()) << c.what << ", retry " << retry;
    }
    EXPECT_EQ(0, DSProperty()) << c.what << ": the controller was never initialised";
    EXPECT_EQ(1, DSCameraUnInit());
    EXPECT_EQ(0, faults.LiveBuilders()) << c.what;
  }
}

TEST_F(InitFailure, LaterStepsShowTheirMessageAndKeepTheControllerUntilUnInit) {
  struct Case {
    const char* what;
    qvtest::GraphFaultPlan plan;
    const char* message;
  } cases[] = {
      {"no grabber",
       [] {
         qvtest::GraphFaultPlan p;
         p.failGrabberCreation = true;
         return p;
       }(),
       kNoGrabber},
      {"media type refused",
       [] {
         qvtest::GraphFaultPlan p;
         p.refuseGrabberMediaType = true;
         return p;
       }(),
       kNoMediaType},
      {"grabber refused by the graph",
       [] {
         qvtest::GraphFaultPlan p;
         p.refuseGrabberInGraph = true;
         return p;
       }(),
       kNoGrabberInGraph},
      {"no device to render from", qvtest::GraphFaultPlan{}, kNoPreviewGraph},
  };
  for (const Case& c : cases) {
    qvtest::GraphFaults faults(c.plan);
    qvtest::MessageBoxWatcher boxes;
    auto first = Init(boxes, 1);
    EXPECT_EQ(0, first.first) << c.what;
    EXPECT_EQ(std::vector<std::string>{c.message}, first.second) << c.what;
    // Past the graph objects the flag stays set: no second build, no message.
    auto second = Init(boxes, 0);
    EXPECT_EQ(0, second.first) << c.what;
    EXPECT_TRUE(second.second.empty()) << c.what;
    EXPECT_EQ(1, DSProperty()) << c.what;
    EXPECT_FALSE(Called(faults.Calls(), "AddFilter Capture Filter")) << c.what << ": no device was bound";

    // The teardown leaves an empty graph, and a new controller builds again.
    EXPECT_EQ(1, faults.LiveBuilders()) << c.what << ": the built controller holds its builder";
    EXPECT_EQ(1, DSCameraUnInit());
    EXPECT_EQ(0, faults.LiveBuilders()) << c.what << ": the destruction released it";
    EXPECT_TRUE(faults.FilterNames().empty()) << c.what;
    auto again = Init(boxes, 1);
    EXPECT_EQ(std::vector<std::string>{c.message}, again.second) << c.what << " after UnInit";
    EXPECT_EQ(1, DSCameraUnInit());
  }
}

TEST_F(InitFailure, TeardownEndsWhenTheGraphRefusesToRemoveFilters) {
  qvtest::GraphFaultPlan plan;
  plan.refuseFilterRemoval = true;
  qvtest::GraphFaults faults(plan);
  qvtest::MessageBoxWatcher boxes;
  Init(boxes, 1);  // leaves the grabber and Wine's debris in the graph
  ASSERT_FALSE(faults.FilterNames().empty());
  DWORD start = GetTickCount();
  EXPECT_EQ(1, DSCameraUnInit());
  EXPECT_LT(GetTickCount() - start, 5000u) << "the teardown must not loop on a filter it can't remove";
  EXPECT_FALSE(faults.FilterNames().empty()) << "the refused filters stay";
}
