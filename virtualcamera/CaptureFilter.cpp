#include "CaptureFilter.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>

#include "CapturePin.h"
#include "EnumPins.h"
#include "TaskMemory.h"
#include "VirtualCameraIds.h"

namespace qvvcam {
namespace {

// A property-bag value as a number: REG_DWORD arrives as VT_I4, REG_SZ as a BSTR.
bool ReadNumber(IPropertyBag* bag, const wchar_t* name, uint32_t* value) {
  VARIANT v;
  VariantInit(&v);
  bool ok = false;
  if (SUCCEEDED(bag->Read(name, &v, nullptr))) {
    if (v.vt == VT_I4 || v.vt == VT_UI4 || v.vt == VT_INT || v.vt == VT_UINT) {
      *value = v.ulVal;
      ok = true;
    } else if (v.vt == VT_BSTR && v.bstrVal != nullptr) {
      wchar_t* end = nullptr;
      const unsigned long parsed = wcstoul(v.bstrVal, &end, 0);
      ok = end != v.bstrVal;
      if (ok) *value = static_cast<uint32_t>(parsed);
    }
  }
  VariantClear(&v);
  return ok;
}

}  // namespace

CaptureFilter::CaptureFilter()
    : m_pin(std::make_unique<CapturePin>(*this, PIN_CATEGORY_CAPTURE, kPinName)),
      m_previewPin(std::make_unique<CapturePin>(*this, PIN_CATEGORY_PREVIEW, kPreviewPinName)) {}

CaptureFilter::~CaptureFilter() {
  {
    std::lock_guard<std::recursive_mutex> hold(m_lock);
    if (m_state != State_Stopped) ForEachPin([](CapturePin& pin) { pin.Deactivate(); });
    m_state = State_Stopped;
  }
  m_previewPin.reset();
  m_pin.reset();
}

template <class Action>
void CaptureFilter::ForEachPin(Action action) {
  action(*m_pin);
  if (m_options.previewPin) action(*m_previewPin);
}

void* CaptureFilter::Interface(REFIID iid) {
  if (IidIs<IMediaFilter>(iid) || IidIs<IPersist>(iid)) return static_cast<IBaseFilter*>(this);
  if (IidIs<ISpecifyPropertyPages>(iid) && !m_options.propertyPages) return nullptr;
  return Listed(iid);
}

IPin* CaptureFilter::PinAt(ULONG index) {
  if (index == 0) return m_pin.get();
  return index == 1 && m_options.previewPin ? m_previewPin.get() : nullptr;
}

STDMETHODIMP CaptureFilter::GetClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = CLSID_QvVirtualCamera;
  return S_OK;
}

namespace {
constexpr HRESULT kNotConnected = kLostDeviceResult;
// What a device that refuses to stop answers.
constexpr HRESULT kRefused = E_FAIL;
}  // namespace

void CaptureFilter::FrameLimitReached() {
  if (m_options.losesDevice) DeviceLost();
}

void CaptureFilter::DeviceLost() {
  if (m_lost.exchange(true)) return;  // the graph hears it once
  IFilterGraph* graph = m_graph;
  ComHolder<IMediaEventSink> events;
  if (graph != nullptr && SUCCEEDED(events.QueryFrom(graph, IID_IMediaEventSink)) && events)
    events->Notify(EC_DEVICE_LOST, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)), 0);
}

STDMETHODIMP CaptureFilter::Stop() {
  std::lock_guard<std::recursive_mutex> hold(m_lock);
  // A device that refuses stays as it is, still delivering; only its end stops it.
  if (m_options.refusesStop && m_state != State_Stopped) return kRefused;
  // A lost device still lets its own thread go, but says it is gone.
  if (m_state != State_Stopped) ForEachPin([](CapturePin& pin) { pin.Deactivate(); });
  m_state = State_Stopped;
  return m_lost ? kNotConnected : S_OK;
}

HRESULT CaptureFilter::ActivatePins() {
  HRESULT hr = S_OK;
  ForEachPin([&](CapturePin& pin) {
    if (SUCCEEDED(hr)) hr = pin.Activate();
  });
  if (FAILED(hr)) ForEachPin([](CapturePin& pin) { pin.Deactivate(); });
  return hr;
}

STDMETHODIMP CaptureFilter::Pause() {
  std::lock_guard<std::recursive_mutex> hold(m_lock);
  if (m_lost) return kNotConnected;
  if (m_options.refusesStop && m_state == State_Running) return kRefused;
  if (m_state == State_Stopped) {
    const HRESULT hr = ActivatePins();
    if (FAILED(hr)) return hr;
  } else if (m_state == State_Running) {
    ForEachPin([](CapturePin& pin) { pin.Pause(); });
  }
  m_state = State_Paused;
  return S_OK;
}

STDMETHODIMP CaptureFilter::Run(REFERENCE_TIME start) {
  std::lock_guard<std::recursive_mutex> hold(m_lock);
  if (m_lost) return kNotConnected;
  if (m_state == State_Stopped) {
    const HRESULT hr = ActivatePins();
    if (FAILED(hr)) return hr;
    m_state = State_Paused;
  }
  if (m_state != State_Running) ForEachPin([&](CapturePin& pin) { pin.Run(m_clock.Get(), start); });
  m_state = State_Running;
  return S_OK;
}

STDMETHODIMP CaptureFilter::GetState(DWORD, FILTER_STATE* state) {
  if (state == nullptr) return E_POINTER;
  std::lock_guard<std::recursive_mutex> hold(m_lock);
  *state = m_state;
  // A live source has nothing to cue while paused.
  return m_state == State_Paused ? VFW_S_CANT_CUE : S_OK;
}

STDMETHODIMP CaptureFilter::SetSyncSource(IReferenceClock* clock) {
  std::lock_guard<std::recursive_mutex> hold(m_lock);
  m_clock.CopyFrom(clock);
  return S_OK;
}

STDMETHODIMP CaptureFilter::GetSyncSource(IReferenceClock** clock) {
  if (clock == nullptr) return E_POINTER;
  std::lock_guard<std::recursive_mutex> hold(m_lock);
  return m_clock.CopyTo(clock);
}

STDMETHODIMP CaptureFilter::EnumPins(IEnumPins** pins) {
  if (pins == nullptr) return E_POINTER;
  *pins = new PinEnumerator(this, 0);
  return S_OK;
}

STDMETHODIMP CaptureFilter::FindPin(LPCWSTR id, IPin** pin) {
  if (pin == nullptr) return E_POINTER;
  *pin = nullptr;
  if (id == nullptr) return E_POINTER;
  for (ULONG i = 0; i < PinCount(); ++i) {
    CapturePin* candidate = i == 0 ? m_pin.get() : m_previewPin.get();
    if (wcscmp(id, candidate->Name()) == 0) {
      *pin = candidate;
      candidate->AddRef();
      return S_OK;
    }
  }
  return VFW_E_NOT_FOUND;
}

STDMETHODIMP CaptureFilter::QueryFilterInfo(FILTER_INFO* info) {
  if (info == nullptr) return E_POINTER;
  std::lock_guard<std::recursive_mutex> hold(m_lock);
  wcsncpy(info->achName, m_name.c_str(), MAX_FILTER_NAME - 1);
  info->achName[MAX_FILTER_NAME - 1] = 0;
  info->pGraph = m_graph;
  if (info->pGraph) info->pGraph->AddRef();
  return S_OK;
}

STDMETHODIMP CaptureFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
  std::lock_guard<std::recursive_mutex> hold(m_lock);
  m_graph = graph;
  m_name = name != nullptr ? name : L"";
  return S_OK;
}

STDMETHODIMP CaptureFilter::QueryVendorInfo(LPWSTR* info) { return TaskString(kDefaultDeviceName, info); }

STDMETHODIMP_(ULONG) CaptureFilter::GetMiscFlags() { return AM_FILTER_MISC_FLAGS_IS_SOURCE; }

STDMETHODIMP CaptureFilter::GetPages(CAUUID* pages) { return OnePageList(CLSID_QvDevicePage, pages); }

STDMETHODIMP CaptureFilter::InitNew() { return S_OK; }

STDMETHODIMP CaptureFilter::Load(IPropertyBag* bag, IErrorLog*) {
  if (bag == nullptr) return E_POINTER;
  std::lock_guard<std::recursive_mutex> hold(m_lock);
  if (m_pin->IsConnectedLocked() || m_previewPin->IsConnectedLocked() || m_state != State_Stopped)
    return E_UNEXPECTED;
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  if (SUCCEEDED(bag->Read(kValueFriendlyName, &v, nullptr)) && v.vt == VT_BSTR && v.bstrVal != nullptr)
    m_options.friendlyName = v.bstrVal;
  VariantClear(&v);
  uint32_t number = 0;
  if (ReadNumber(bag, kValueStopAfterFrames, &number)) m_options.stopAfterFrames = number;
  if (ReadNumber(bag, kValueNoStreamConfig, &number)) m_options.streamConfig = number == 0;
  if (ReadNumber(bag, kValueNoPropertyPages, &number)) m_options.propertyPages = number == 0;
  if (ReadNumber(bag, kValuePreviewPin, &number)) m_options.previewPin = number != 0;
  if (ReadNumber(bag, kValueRefuseStop, &number)) m_options.refusesStop = number != 0;
  if (ReadNumber(bag, kValueLoseDevice, &number)) m_options.losesDevice = number != 0;
  if (ReadNumber(bag, kValueMjpgDamage, &number)) m_options.mjpgDamage = number;
  if (ReadNumber(bag, kValueSampleSlack, &number)) m_options.sampleSlack = std::min(number, kMaxSampleSlack);
  if (ReadNumber(bag, kValueFormatIgnored, &number)) m_options.formatIgnored = number != 0;
  if (ReadNumber(bag, kValueLoseOnFormat, &number)) m_options.losesOnFormat = number != 0;
  m_pin->OptionsLoaded();
  m_previewPin->OptionsLoaded();
  return S_OK;
}

STDMETHODIMP CaptureFilter::Save(IPropertyBag*, BOOL, BOOL) { return E_NOTIMPL; }

STDMETHODIMP CaptureFilter::GetPattern(LONG* still) {
  if (still == nullptr) return E_POINTER;
  *still = m_still ? 1 : 0;
  return S_OK;
}

STDMETHODIMP CaptureFilter::SetPattern(LONG still) {
  if (still != 0 && still != 1) return E_INVALIDARG;
  m_still = still == 1;
  return S_OK;
}

STDMETHODIMP CaptureFilter::GetStatistics(ULONG* frames, ULONGLONG* workTicks, ULONGLONG* tickFrequency) {
  StreamStatistics s = m_pin->Statistics();
  if (m_options.previewPin) {
    const StreamStatistics preview = m_previewPin->Statistics();
    s.frames += preview.frames;
    s.workTicks += preview.workTicks;
  }
  if (frames) *frames = s.frames;
  if (workTicks) *workTicks = s.workTicks;
  if (tickFrequency) *tickFrequency = s.tickFrequency;
  return S_OK;
}

STDMETHODIMP CaptureFilter::GetDeviceName(LPWSTR* name) {
  std::lock_guard<std::recursive_mutex> hold(m_lock);
  return TaskString(m_options.friendlyName.c_str(), name);
}

}  // namespace qvvcam
