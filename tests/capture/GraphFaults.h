// Fault injection for the capture tests: class objects registered in the test's own
// apartment (CoRegisterClassObject) that stand in for the platform's filter graph,
// capture graph builder and sample grabber. They wrap the real objects and make
// chosen calls fail, and they let a test look at the graph the library built.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <qedit.h>

#include <memory>
#include <string>
#include <vector>

namespace qvtest {

struct GraphFaultPlan {
  bool failBuilderCreation = false;     // CLSID_CaptureGraphBuilder2 can't be created
  bool failGraphCreation = false;       // CLSID_FilterGraph can't be created
  bool failGrabberCreation = false;     // the sample grabber can't be created
  bool refuseGrabberMediaType = false;  // ISampleGrabber::SetMediaType fails
  bool refuseGrabberInGraph = false;    // AddFilter of the filter named "Grabber" fails
  bool failConnectedType = false;       // ISampleGrabber::GetConnectedMediaType fails
  bool refuseFilterRemoval = false;     // RemoveFilter fails for every filter
  HRESULT runFailure = S_OK;            // a failure code: IMediaControl::Run answers it, running nothing
};

class GraphFaults {
 public:
  // Registers the stand-ins; COM must be initialised on the calling thread.
  explicit GraphFaults(const GraphFaultPlan& plan);
  ~GraphFaults();
  GraphFaults(const GraphFaults&) = delete;
  GraphFaults& operator=(const GraphFaults&) = delete;

  // The real filter graph behind the latest stand-in (a reference is kept, so it can
  // be inspected after the library released it), or null.
  IFilterGraph* LastGraph() const;
  // The callback the library registered with the latest grabber, or null.
  ISampleGrabberCB* RegisteredCallback() const;
  int RegisteredCallbackMode() const;
  // Names of the filters now in the latest graph, in enumeration order.
  std::vector<std::wstring> FilterNames() const;
  // Capture graph builders created through the stand-in and not yet released.
  int LiveBuilders() const;
  // Calls the library made on the stand-ins, in order, e.g. "AddFilter Grabber" or
  // "RenderStream Preview Video".
  std::vector<std::string> Calls() const;

  struct State;

 private:
  std::unique_ptr<State> m_state;
  DWORD m_cookies[3] = {0, 0, 0};
};

}  // namespace qvtest
