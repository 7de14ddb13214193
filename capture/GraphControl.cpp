// Running, stopping and dismantling the graph.
#include <set>

#include "DSCamera.h"
#include "MessageBox.h"

namespace {

// Drops a media control left behind by a format change that ended early, then
// queries a fresh one, so no reference is lost.
HRESULT QueryMediaControl(IGraphBuilder* graph, ComHolder<IMediaControl>& slot) {
  HRESULT hr = slot.QueryFrom(graph, IID_IMediaControl);
  if (SUCCEEDED(hr) && !slot) hr = E_NOINTERFACE;
  return hr;
}

// Stops every filter of the graph that says it is not stopped. After a run that failed
// part way (a lost device), the graph may count itself stopped while filters it paused
// stay paused, and such filters refuse to be disconnected or removed. The platform's
// graph, when released, retries removing a filter that refuses for ever, so none may be
// left paused. Each filter is asked once, so a filter that refuses costs one call.
void StopEveryFilter(IGraphBuilder* graph) {
  ComHolder<IEnumFilters> filters;
  if (FAILED(graph->EnumFilters(filters.Out())) || !filters) return;
  ComHolder<IBaseFilter> filter;
  while (filters->Next(1, filter.Out(), nullptr) == S_OK) {
    if (!filter) continue;
    FILTER_STATE state = State_Stopped;
    if (FAILED(filter->GetState(0, &state)) || state != State_Stopped) filter->Stop();
  }
}

// The filters the graph lists now.
size_t CountFilters(IEnumFilters* filters) {
  size_t count = 0;
  filters->Reset();
  ComHolder<IBaseFilter> filter;
  while (filters->Next(1, filter.Out(), nullptr) == S_OK) ++count;
  return count;
}

}  // namespace

HRESULT CDSCamera::Play() {
  if (!m_pGraph) return E_UNEXPECTED;  // never built: nothing to run
  HRESULT hr = QueryMediaControl(m_pGraph, m_pMediaControl);
  if (FAILED(hr)) return hr;
  hr = m_pMediaControl->Run();
  if (FAILED(hr)) AfxMessageBox("Couldn't run the graph!", 0, 0);
  m_pMediaControl.Reset();
  return hr;
}

void CDSCamera::Stop() {
  if (!m_pGraph) return;
  if (FAILED(QueryMediaControl(m_pGraph, m_pMediaControl))) return;
  m_pMediaControl->Stop();
  m_pMediaControl.Reset();
}

void CDSCamera::RemoveDownstreamFilters(IBaseFilter* filter) {
  if (filter == nullptr || !m_pGraph) return;
  ComHolder<IEnumPins> pins;
  if (filter->EnumPins(pins.Out()) != S_OK || !pins) return;
  pins->Reset();

  ComHolder<IPin> pin;
  while (pins->Next(1, pin.Out(), nullptr) == S_OK) {
    if (!pin) continue;
    ComHolder<IPin> connected;
    pin->ConnectedTo(connected.Out());
    if (!connected) continue;
    PIN_INFO info;
    if (connected->QueryPinInfo(&info) != S_OK) break;
    // Released first, then the connected pin, then the pin.
    ComHolder<IBaseFilter> connectedFilter;
    connectedFilter.Attach(info.pFilter);
    if (info.dir == PINDIR_INPUT) {
      // Dismantle from the far end back.
      RemoveDownstreamFilters(connectedFilter);
      m_pGraph->Disconnect(connected);
      m_pGraph->Disconnect(pin);
      m_pGraph->RemoveFilter(connectedFilter);
    }
  }
}

void CDSCamera::TearDownGraph() {
  if (!m_pGraph) return;
  if (FAILED(QueryMediaControl(m_pGraph, m_pMediaControl))) return;
  m_pMediaControl->Stop();
  m_pMediaControl.Reset();
  StopEveryFilter(m_pGraph);

  if (FAILED(m_pVideoWindow.QueryFrom(m_pGraph, IID_IVideoWindow))) return;
  if (m_pVideoWindow) {
    m_pVideoWindow->put_Owner(0);
    m_pVideoWindow->put_Visible(OAFALSE);
    m_pVideoWindow.Reset();
  }

  // Take the first filter still in the graph, its downstream filters, then the filter
  // itself, until the graph is empty. A filter the graph refuses to remove is passed
  // over. Each pass removes one filter or ends the walk, and it removes no more filters
  // than the graph held at the start, so the walk ends whatever the graph answers.
  ComHolder<IEnumFilters> filters;
  if (SUCCEEDED(m_pGraph->EnumFilters(filters.Out())) && filters) {
    std::set<IBaseFilter*> refused;
    bool removedOne = true;
    for (size_t left = CountFilters(filters); removedOne && left > 0; --left) {
      removedOne = false;
      filters->Reset();
      ComHolder<IBaseFilter> filter;
      while (filters->Next(1, filter.Out(), nullptr) == S_OK) {
        if (!filter || refused.count(filter.Get())) continue;
        RemoveDownstreamFilters(filter);
        if (SUCCEEDED(m_pGraph->RemoveFilter(filter))) {
          removedOne = true;
          break;  // the graph's list changed: start again from its first filter
        }
        refused.insert(filter.Get());
      }
    }
    // A filter still listed refused to stop, so its pins refuse to disconnect. The
    // platform's graph, when released, retries removing it for ever: the graph is given
    // up here, never released.
    if (CountFilters(filters) > 0) m_pGraph.Detach();
  }

  // Each holder is set to null before the reference it held is released.
  m_pGrabber.Reset();
  m_pCaptureFilter.Reset();
  m_bInitialized = 0;
}
