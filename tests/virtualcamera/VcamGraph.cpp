#include "VcamGraph.h"

#include "DirectShowIds.h"

#include <cstdio>
#include <utility>

namespace vcamtest {

std::string Hex(HRESULT hr) {
  char text[16];
  snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

namespace {

HRESULT CategoryEnumerator(IEnumMoniker** monikers) {
  *monikers = nullptr;
  ComHolder<ICreateDevEnum> devices;
  HRESULT hr =
      CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum, devices.OutVoid());
  if (FAILED(hr)) return hr;
  return devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers, 0);
}

}  // namespace

std::vector<ListedDevice> EnumerateVideoInputs() {
  std::vector<ListedDevice> list;
  ComHolder<IEnumMoniker> monikers;
  if (CategoryEnumerator(monikers.Out()) != S_OK || !monikers) return list;
  for (;;) {
    ComHolder<IMoniker> moniker;
    if (monikers->Next(1, moniker.Out(), nullptr) != S_OK) break;
    ListedDevice device;
    ComHolder<IPropertyBag> bag;
    if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.OutVoid()))) {
      VARIANT v;
      VariantInit(&v);
      if (SUCCEEDED(bag->Read(L"FriendlyName", &v, nullptr)) && v.vt == VT_BSTR) {
        device.readable = true;
        device.name = v.bstrVal;
      }
      VariantClear(&v);
    }
    list.push_back(device);
  }
  return list;
}

HRESULT BindVideoInput(size_t index, IBaseFilter** filter) {
  *filter = nullptr;
  ComHolder<IEnumMoniker> monikers;
  HRESULT hr = CategoryEnumerator(monikers.Out());
  if (hr != S_OK || !monikers) return FAILED(hr) ? hr : E_FAIL;
  for (size_t i = 0;; ++i) {
    ComHolder<IMoniker> moniker;
    if (monikers->Next(1, moniker.Out(), nullptr) != S_OK) return E_INVALIDARG;
    if (i == index) return moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, reinterpret_cast<void**>(filter));
  }
}

STDMETHODIMP FrameRecorder::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_ISampleGrabberCB)) {
    *out = static_cast<ISampleGrabberCB*>(this);
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP FrameRecorder::BufferCB(double sampleTime, BYTE* buffer, long length) {
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  std::lock_guard<std::mutex> hold(m_lock);
  if (m_records.capacity() < 1024) m_records.reserve(1024);
  FrameRecord r;
  r.sampleTime = sampleTime;
  r.arrival = now.QuadPart;
  r.length = length;
  const qvvcam::FrameCheck check =
      qvvcam::CheckFrame(m_format, buffer, length > 0 ? static_cast<size_t>(length) : 0, m_scratch);
  r.status = check.status;
  r.sequence = check.sequence;
  m_records.push_back(r);
  if (m_kept.size() < m_keep && buffer && length > 0)
    m_kept.emplace_back(r.sequence, std::vector<uint8_t>(buffer, buffer + length));
  return S_OK;
}

std::vector<FrameRecord> FrameRecorder::Records() {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_records;
}

std::vector<std::pair<uint32_t, std::vector<uint8_t>>> FrameRecorder::Kept() {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_kept;
}

size_t FrameRecorder::Count() {
  std::lock_guard<std::mutex> hold(m_lock);
  return m_records.size();
}

void FrameRecorder::SetFormat(const qvvcam::FrameFormat& format) {
  std::lock_guard<std::mutex> hold(m_lock);
  m_format = format;
  m_records.clear();
  m_records.reserve(1024);
  m_kept.clear();
}

CaptureGraph::CaptureGraph() {
  m_created = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, m_graph.OutVoid());
  if (SUCCEEDED(m_created))
    m_created = CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                                 m_builder.OutVoid());
  if (SUCCEEDED(m_created)) m_created = m_builder->SetFiltergraph(m_graph.Get());
  if (SUCCEEDED(m_created)) m_created = m_graph->QueryInterface(IID_IMediaControl, m_control.OutVoid());
}

CaptureGraph::~CaptureGraph() { TearDown(); }

HRESULT CaptureGraph::AddSource(IBaseFilter* source) {
  if (!m_graph || source == nullptr) return E_POINTER;
  const HRESULT hr = m_graph->AddFilter(source, L"Capture Filter");
  if (SUCCEEDED(hr)) m_source.CopyFrom(source);
  return hr;
}

HRESULT CaptureGraph::AddGrabber(const GUID& subtype, FrameRecorder* recorder) {
  if (!m_graph) return E_POINTER;
  m_grabberFilter.Reset();
  m_grabber.Reset();
  HRESULT hr = CoCreateInstance(qv::CLSID_SampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                m_grabberFilter.OutVoid());
  if (SUCCEEDED(hr)) hr = m_grabberFilter->QueryInterface(IID_ISampleGrabber, m_grabber.OutVoid());
  if (FAILED(hr)) return hr;
  AM_MEDIA_TYPE mt{};
  mt.majortype = MEDIATYPE_Video;
  mt.subtype = subtype;
  hr = m_grabber->SetMediaType(&mt);
  if (SUCCEEDED(hr)) hr = m_graph->AddFilter(m_grabberFilter.Get(), L"Grabber");
  if (FAILED(hr)) return hr;
  m_grabber->SetBufferSamples(FALSE);
  m_grabber->SetOneShot(FALSE);
  return m_grabber->SetCallback(recorder, 1);
}

HRESULT CaptureGraph::RenderDefault() {
  HRESULT hr =
      m_builder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, m_source, m_grabberFilter.Get(), nullptr);
  if (FAILED(hr))
    hr = m_builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, m_source, m_grabberFilter.Get(), nullptr);
  return hr;
}

HRESULT CaptureGraph::RenderToNull() {
  ComHolder<IBaseFilter> sink;
  HRESULT hr = CoCreateInstance(qv::CLSID_NullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, sink.OutVoid());
  if (SUCCEEDED(hr)) hr = m_graph->AddFilter(sink.Get(), L"Null Renderer");
  if (SUCCEEDED(hr))
    hr = m_builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, m_source, m_grabberFilter.Get(), sink.Get());
  return hr;
}

HRESULT CaptureGraph::GrabberType(AM_MEDIA_TYPE* mt) {
  if (!m_grabber) return E_POINTER;
  return m_grabber->GetConnectedMediaType(mt);
}

HRESULT CaptureGraph::Run() { return m_control ? m_control->Run() : E_POINTER; }
HRESULT CaptureGraph::Stop() { return m_control ? m_control->Stop() : E_POINTER; }

void CaptureGraph::RemoveDownstream() {
  if (!m_graph) return;
  Stop();
  ComHolder<IEnumFilters> filters;
  if (FAILED(m_graph->EnumFilters(filters.Out()))) return;
  std::vector<ComHolder<IBaseFilter>> all;
  for (;;) {
    ComHolder<IBaseFilter> f;
    if (filters->Next(1, f.Out(), nullptr) != S_OK) break;
    all.push_back(std::move(f));
  }
  for (ComHolder<IBaseFilter>& f : all) {
    ComHolder<IEnumPins> pins;
    if (SUCCEEDED(f->EnumPins(pins.Out()))) {
      for (;;) {
        ComHolder<IPin> pin;
        if (pins->Next(1, pin.Out(), nullptr) != S_OK) break;
        ComHolder<IPin> peer;
        if (SUCCEEDED(pin->ConnectedTo(peer.Out())) && peer) {
          m_graph->Disconnect(peer.Get());
          m_graph->Disconnect(pin.Get());
        }
      }
    }
    if (f.Get() != m_source.Get()) m_graph->RemoveFilter(f);
    f.Reset();
  }
}

void CaptureGraph::TearDown() {
  RemoveDownstream();
  if (m_grabber) m_grabber->SetCallback(nullptr, 1);
  m_grabber.Reset();
  m_grabberFilter.Reset();
  if (m_source) {
    if (m_graph) m_graph->RemoveFilter(m_source);
    m_source.Reset();
  }
  m_control.Reset();
  m_builder.Reset();
  m_graph.Reset();
}

double MeasuredRate(const std::vector<FrameRecord>& records) {
  if (records.size() < 2) return 0;
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  const double seconds = static_cast<double>(records.back().arrival - records.front().arrival) / f.QuadPart;
  return seconds > 0 ? (records.size() - 1) / seconds : 0;
}

}  // namespace vcamtest
