#include "GraphFaults.h"

#include <atomic>
#include <memory>
#include <utility>

#include "ComHolder.h"
#include "DirectShowIds.h"

namespace qvtest {

struct GraphFaults::State {
  GraphFaultPlan plan;
  ComHolder<IClassFactory> realGraphFactory;
  ComHolder<IClassFactory> realBuilderFactory;
  ComHolder<IClassFactory> realGrabberFactory;
  ComHolder<IFilterGraph> lastGraph;
  ISampleGrabberCB* callback = nullptr;  // not counted: the library's static object
  int callbackMode = -1;
  std::vector<std::string> calls;
  // Shared with the builders, which may outlive the registration.
  std::shared_ptr<std::atomic<int>> liveBuilders = std::make_shared<std::atomic<int>>(0);
};

namespace {

std::string Narrow(const wchar_t* text) {
  std::string out;
  for (; text != nullptr && *text; ++text) out += static_cast<char>(*text < 128 ? *text : '?');
  return out;
}

// A wrapper of the graph's media control whose Run answers the plan's failure code.
class MediaControlStandIn final : public IMediaControl {
 public:
  MediaControlStandIn(ComHolder<IMediaControl> inner, HRESULT runFailure)
      : m_inner(std::move(inner)), m_runFailure(runFailure) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IDispatch) || IsEqualGUID(iid, IID_IMediaControl)) {
      *out = static_cast<IMediaControl*>(this);
      AddRef();
      return S_OK;
    }
    return m_inner->QueryInterface(iid, out);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
  }
  STDMETHODIMP GetTypeInfoCount(UINT* count) override { return m_inner->GetTypeInfoCount(count); }
  STDMETHODIMP GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
    return m_inner->GetTypeInfo(index, locale, info);
  }
  STDMETHODIMP GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale, DISPID* ids) override {
    return m_inner->GetIDsOfNames(iid, names, count, locale, ids);
  }
  STDMETHODIMP Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override {
    return m_inner->Invoke(id, iid, locale, flags, params, result, exception, argError);
  }
  STDMETHODIMP Run() override { return m_runFailure; }
  STDMETHODIMP Pause() override { return m_inner->Pause(); }
  STDMETHODIMP Stop() override { return m_inner->Stop(); }
  STDMETHODIMP GetState(LONG timeout, OAFilterState* state) override { return m_inner->GetState(timeout, state); }
  STDMETHODIMP RenderFile(BSTR file) override { return m_inner->RenderFile(file); }
  STDMETHODIMP AddSourceFilter(BSTR file, IDispatch** out) override { return m_inner->AddSourceFilter(file, out); }
  STDMETHODIMP get_FilterCollection(IDispatch** out) override { return m_inner->get_FilterCollection(out); }
  STDMETHODIMP get_RegFilterCollection(IDispatch** out) override { return m_inner->get_RegFilterCollection(out); }
  STDMETHODIMP StopWhenReady() override { return m_inner->StopWhenReady(); }

 private:
  std::atomic<ULONG> m_refs{1};
  ComHolder<IMediaControl> m_inner;
  HRESULT m_runFailure;
};

// A wrapper forwarding every IGraphBuilder call to the real graph, with chosen refusals.
class GraphStandIn final : public IGraphBuilder {
 public:
  GraphStandIn(ComHolder<IGraphBuilder> inner, GraphFaults::State* state) : m_inner(std::move(inner)), m_state(state) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IGraphBuilder) || IsEqualGUID(iid, IID_IFilterGraph)) {
      *out = static_cast<IGraphBuilder*>(this);
      AddRef();
      return S_OK;
    }
    if (IsEqualGUID(iid, IID_IMediaControl) && FAILED(m_state->plan.runFailure)) {
      ComHolder<IMediaControl> real;
      HRESULT hr = real.QueryFrom(m_inner, IID_IMediaControl);
      if (FAILED(hr)) return hr;
      *out = static_cast<IMediaControl*>(new MediaControlStandIn(std::move(real), m_state->plan.runFailure));
      return S_OK;
    }
    return m_inner->QueryInterface(iid, out);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
  }
  STDMETHODIMP AddFilter(IBaseFilter* filter, LPCWSTR name) override {
    m_state->calls.push_back("AddFilter " + Narrow(name));
    if (m_state->plan.refuseGrabberInGraph && name != nullptr && lstrcmpW(name, L"Grabber") == 0) return E_FAIL;
    return m_inner->AddFilter(filter, name);
  }
  STDMETHODIMP RemoveFilter(IBaseFilter* filter) override {
    m_state->calls.push_back("RemoveFilter");
    if (m_state->plan.refuseFilterRemoval) return E_FAIL;
    return m_inner->RemoveFilter(filter);
  }
  STDMETHODIMP EnumFilters(IEnumFilters** out) override { return m_inner->EnumFilters(out); }
  STDMETHODIMP FindFilterByName(LPCWSTR name, IBaseFilter** out) override {
    return m_inner->FindFilterByName(name, out);
  }
  STDMETHODIMP ConnectDirect(IPin* out, IPin* in, const AM_MEDIA_TYPE* mt) override {
    return m_inner->ConnectDirect(out, in, mt);
  }
  STDMETHODIMP Reconnect(IPin* pin) override { return m_inner->Reconnect(pin); }
  STDMETHODIMP Disconnect(IPin* pin) override {
    m_state->calls.push_back("Disconnect");
    return m_inner->Disconnect(pin);
  }
  STDMETHODIMP SetDefaultSyncSource() override { return m_inner->SetDefaultSyncSource(); }
  STDMETHODIMP Connect(IPin* out, IPin* in) override { return m_inner->Connect(out, in); }
  STDMETHODIMP Render(IPin* out) override { return m_inner->Render(out); }
  STDMETHODIMP RenderFile(LPCWSTR file, LPCWSTR list) override { return m_inner->RenderFile(file, list); }
  STDMETHODIMP AddSourceFilter(LPCWSTR file, LPCWSTR name, IBaseFilter** out) override {
    return m_inner->AddSourceFilter(file, name, out);
  }
  STDMETHODIMP SetLogFile(DWORD_PTR file) override { return m_inner->SetLogFile(file); }
  STDMETHODIMP Abort() override { return m_inner->Abort(); }
  STDMETHODIMP ShouldOperationContinue() override { return m_inner->ShouldOperationContinue(); }

 private:
  std::atomic<ULONG> m_refs{1};
  ComHolder<IGraphBuilder> m_inner;
  GraphFaults::State* m_state;
};

// A wrapper of the real sample grabber; its filter interface is the real one.
class GrabberStandIn final : public ISampleGrabber {
 public:
  GrabberStandIn(ComHolder<ISampleGrabber> inner, GraphFaults::State* state)
      : m_inner(std::move(inner)), m_state(state) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_ISampleGrabber)) {
      *out = static_cast<ISampleGrabber*>(this);
      AddRef();
      return S_OK;
    }
    return m_inner->QueryInterface(iid, out);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
  }
  STDMETHODIMP SetOneShot(BOOL oneShot) override {
    m_state->calls.push_back(oneShot ? "SetOneShot TRUE" : "SetOneShot FALSE");
    return m_inner->SetOneShot(oneShot);
  }
  STDMETHODIMP SetMediaType(const AM_MEDIA_TYPE* type) override {
    m_state->calls.push_back("SetMediaType");
    if (m_state->plan.refuseGrabberMediaType) return E_INVALIDARG;
    return m_inner->SetMediaType(type);
  }
  STDMETHODIMP GetConnectedMediaType(AM_MEDIA_TYPE* type) override {
    m_state->calls.push_back("GetConnectedMediaType");
    if (m_state->plan.failConnectedType) return VFW_E_NOT_CONNECTED;
    return m_inner->GetConnectedMediaType(type);
  }
  STDMETHODIMP SetBufferSamples(BOOL buffer) override {
    m_state->calls.push_back(buffer ? "SetBufferSamples TRUE" : "SetBufferSamples FALSE");
    return m_inner->SetBufferSamples(buffer);
  }
  STDMETHODIMP GetCurrentBuffer(LONG* size, LONG* buffer) override { return m_inner->GetCurrentBuffer(size, buffer); }
  STDMETHODIMP GetCurrentSample(IMediaSample** sample) override { return m_inner->GetCurrentSample(sample); }
  STDMETHODIMP SetCallback(ISampleGrabberCB* callback, LONG mode) override {
    m_state->calls.push_back("SetCallback " + std::to_string(mode));
    m_state->callback = callback;
    m_state->callbackMode = mode;
    return m_inner->SetCallback(callback, mode);
  }

 private:
  std::atomic<ULONG> m_refs{1};
  ComHolder<ISampleGrabber> m_inner;
  GraphFaults::State* m_state;
};

std::string CategoryName(const GUID* category) {
  if (category == nullptr) return "null";
  if (IsEqualGUID(*category, PIN_CATEGORY_PREVIEW)) return "Preview";
  if (IsEqualGUID(*category, PIN_CATEGORY_CAPTURE)) return "Capture";
  return "other";
}

std::string MajorTypeName(const GUID* type) {
  if (type == nullptr) return "null";
  if (IsEqualGUID(*type, MEDIATYPE_Video)) return "Video";
  if (IsEqualGUID(*type, MEDIATYPE_Interleaved)) return "Interleaved";
  return "other";
}

// A wrapper of the real capture graph builder that counts its live instances and
// records the render requests, e.g. "RenderStream Preview Video".
class BuilderStandIn final : public ICaptureGraphBuilder2 {
 public:
  BuilderStandIn(ComHolder<ICaptureGraphBuilder2> inner, GraphFaults::State* state)
      : m_inner(std::move(inner)), m_state(state), m_live(state->liveBuilders) {
    ++*m_live;
  }
  ~BuilderStandIn() { --*m_live; }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_ICaptureGraphBuilder2)) {
      *out = static_cast<ICaptureGraphBuilder2*>(this);
      AddRef();
      return S_OK;
    }
    return m_inner->QueryInterface(iid, out);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
  }
  STDMETHODIMP SetFiltergraph(IGraphBuilder* graph) override { return m_inner->SetFiltergraph(graph); }
  STDMETHODIMP GetFiltergraph(IGraphBuilder** graph) override { return m_inner->GetFiltergraph(graph); }
  STDMETHODIMP SetOutputFileName(const GUID* type, LPCOLESTR file, IBaseFilter** filter,
                                 IFileSinkFilter** sink) override {
    return m_inner->SetOutputFileName(type, file, filter, sink);
  }
  STDMETHODIMP FindInterface(const GUID* category, const GUID* type, IBaseFilter* filter, REFIID iid,
                             void** out) override {
    return m_inner->FindInterface(category, type, filter, iid, out);
  }
  STDMETHODIMP RenderStream(const GUID* category, const GUID* type, IUnknown* source, IBaseFilter* middle,
                            IBaseFilter* sink) override {
    m_state->calls.push_back("RenderStream " + CategoryName(category) + " " + MajorTypeName(type));
    return m_inner->RenderStream(category, type, source, middle, sink);
  }
  STDMETHODIMP ControlStream(const GUID* category, const GUID* type, IBaseFilter* filter, REFERENCE_TIME* start,
                             REFERENCE_TIME* stop, WORD startCookie, WORD stopCookie) override {
    return m_inner->ControlStream(category, type, filter, start, stop, startCookie, stopCookie);
  }
  STDMETHODIMP AllocCapFile(LPCOLESTR file, DWORDLONG size) override { return m_inner->AllocCapFile(file, size); }
  STDMETHODIMP CopyCaptureFile(LPOLESTR from, LPOLESTR to, int allowEscape,
                               IAMCopyCaptureFileProgress* progress) override {
    return m_inner->CopyCaptureFile(from, to, allowEscape, progress);
  }
  STDMETHODIMP FindPin(IUnknown* source, PIN_DIRECTION direction, const GUID* category, const GUID* type,
                       WINBOOL unconnected, int index, IPin** pin) override {
    return m_inner->FindPin(source, direction, category, type, unconnected, index, pin);
  }

 private:
  std::atomic<ULONG> m_refs{1};
  ComHolder<ICaptureGraphBuilder2> m_inner;
  GraphFaults::State* m_state;
  std::shared_ptr<std::atomic<int>> m_live;
};

enum class Kind { Graph, Builder, Grabber };

class FactoryStandIn final : public IClassFactory {
 public:
  FactoryStandIn(Kind kind, GraphFaults::State* state) : m_kind(kind), m_state(state) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IClassFactory)) {
      *out = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++m_refs; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    const GraphFaultPlan& plan = m_state->plan;
    switch (m_kind) {
      case Kind::Builder: {
        if (plan.failBuilderCreation) return E_OUTOFMEMORY;
        ComHolder<ICaptureGraphBuilder2> real;
        HRESULT hr = m_state->realBuilderFactory->CreateInstance(nullptr, IID_ICaptureGraphBuilder2, real.OutVoid());
        if (FAILED(hr)) return hr;
        auto* standIn = new BuilderStandIn(std::move(real), m_state);
        hr = standIn->QueryInterface(iid, out);
        standIn->Release();
        return hr;
      }
      case Kind::Graph: {
        if (plan.failGraphCreation) return E_OUTOFMEMORY;
        ComHolder<IGraphBuilder> real;
        HRESULT hr = m_state->realGraphFactory->CreateInstance(nullptr, IID_IGraphBuilder, real.OutVoid());
        if (FAILED(hr)) return hr;
        real->QueryInterface(IID_IFilterGraph, m_state->lastGraph.OutVoid());
        auto* standIn = new GraphStandIn(std::move(real), m_state);
        hr = standIn->QueryInterface(iid, out);
        standIn->Release();
        return hr;
      }
      case Kind::Grabber: {
        if (plan.failGrabberCreation) return E_OUTOFMEMORY;
        ComHolder<ISampleGrabber> real;
        HRESULT hr = m_state->realGrabberFactory->CreateInstance(nullptr, IID_ISampleGrabber, real.OutVoid());
        if (FAILED(hr)) return hr;
        auto* standIn = new GrabberStandIn(std::move(real), m_state);
        hr = standIn->QueryInterface(iid, out);
        standIn->Release();
        return hr;
      }
    }
    return E_UNEXPECTED;
  }

 private:
  std::atomic<ULONG> m_refs{1};
  Kind m_kind;
  GraphFaults::State* m_state;
};

}  // namespace

GraphFaults::GraphFaults(const GraphFaultPlan& plan) : m_state(std::make_unique<State>()) {
  m_state->plan = plan;
  // Take the real factories first: once ours are registered, creation would find ours.
  CoGetClassObject(CLSID_FilterGraph, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                   m_state->realGraphFactory.OutVoid());
  CoGetClassObject(CLSID_CaptureGraphBuilder2, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                   m_state->realBuilderFactory.OutVoid());
  CoGetClassObject(qv::CLSID_SampleGrabber, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                   m_state->realGrabberFactory.OutVoid());
  const struct {
    const CLSID* clsid;
    Kind kind;
  } stands[] = {{&CLSID_FilterGraph, Kind::Graph},
                {&CLSID_CaptureGraphBuilder2, Kind::Builder},
                {&qv::CLSID_SampleGrabber, Kind::Grabber}};
  for (int i = 0; i < 3; ++i) {
    auto* factory = new FactoryStandIn(stands[i].kind, m_state.get());
    CoRegisterClassObject(*stands[i].clsid, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &m_cookies[i]);
    factory->Release();
  }
}

GraphFaults::~GraphFaults() {
  for (DWORD cookie : m_cookies) {
    if (cookie != 0) CoRevokeClassObject(cookie);
  }
}

IFilterGraph* GraphFaults::LastGraph() const { return m_state->lastGraph; }
ISampleGrabberCB* GraphFaults::RegisteredCallback() const { return m_state->callback; }
int GraphFaults::RegisteredCallbackMode() const { return m_state->callbackMode; }
std::vector<std::string> GraphFaults::Calls() const { return m_state->calls; }
int GraphFaults::LiveBuilders() const { return *m_state->liveBuilders; }

std::vector<std::wstring> GraphFaults::FilterNames() const {
  std::vector<std::wstring> names;
  if (m_state->lastGraph == nullptr) return names;
  ComHolder<IEnumFilters> filters;
  if (FAILED(m_state->lastGraph->EnumFilters(filters.Out())) || !filters) return names;
  ComHolder<IBaseFilter> filter;
  while (filters->Next(1, filter.Out(), nullptr) == S_OK) {
    FILTER_INFO info = {};
    if (SUCCEEDED(filter->QueryFilterInfo(&info))) {
      names.push_back(info.achName);
      ComHolder<IFilterGraph> infoGraph;
      infoGraph.Attach(info.pGraph);
    }
  }
  return names;
}

}  // namespace qvtest
