#include "CapturePin.h"

#include <algorithm>
#include <cstring>

#include "CaptureFilter.h"
#include "EnumMediaTypes.h"
#include "TaskMemory.h"
#include "VirtualCameraIds.h"

namespace qvvcam {
namespace {

// Not in mingw-w64's headers: the documented value for an unknown property set.
constexpr HRESULT kPropSetUnsupported = HRESULT_FROM_WIN32(ERROR_SET_NOT_FOUND);
constexpr long kBufferCount = 3;

bool SameFormat(const FrameFormat& a, const FrameFormat& b) {
  return a.pixel == b.pixel && a.width == b.width && a.height == b.height;
}

}  // namespace

CapturePin::CapturePin(CaptureFilter& filter, const GUID& category, const wchar_t* name)
    : ComObject(filter.Unknown()), m_filter(filter), m_category(category), m_name(name) {}

CapturePin::~CapturePin() {
  m_streamer.Quit();
  ClearConnection();
}

void* CapturePin::Interface(REFIID iid) {
  const DeviceOptions& options = m_filter.Options();
  if (IidIs<IAMStreamConfig>(iid) && !options.streamConfig) return nullptr;
  if (IidIs<ISpecifyPropertyPages>(iid) && !options.propertyPages) return nullptr;
  return Listed(iid);
}

void CapturePin::OptionsLoaded() {
  m_streamer.SetFrameLimit(m_filter.Options().stopAfterFrames, &m_filter);
  const uint32_t damage = m_filter.Options().mjpgDamage;
  m_streamer.SetMjpgDamage(damage <= static_cast<uint32_t>(MjpgDamage::NoHuffmanTables)
                               ? static_cast<MjpgDamage>(damage)
                               : MjpgDamage::None);
  m_streamer.SetSampleSlack(m_filter.Options().sampleSlack);
}

bool CapturePin::OffersOnlyCurrentLocked() const { return m_formatSet || m_filter.Options().formatIgnored; }

int CapturePin::CurrentFormatLocked() const { return m_connected ? m_connectedFormat : m_format; }

// --- connection -------------------------------------------------------------------------

STDMETHODIMP CapturePin::Connect(IPin* receiver, const AM_MEDIA_TYPE* mt) {
  if (receiver == nullptr) return E_POINTER;
  std::lock_guard<std::recursive_mutex> hold(m_filter.Lock());
  if (m_connected) return VFW_E_ALREADY_CONNECTED;
  if (m_filter.IsLost()) return kLostDeviceResult;
  if (m_filter.StateLocked() != State_Stopped) return VFW_E_NOT_STOPPED;
  // The current format first; after SetFormat nothing else.
  std::vector<int> candidates{m_format};
  if (!OffersOnlyCurrentLocked())
    for (int i = 0; i < kFormatCount; ++i)
      if (i != m_format) candidates.push_back(i);
  HRESULT last = VFW_E_NO_ACCEPTABLE_TYPES;
  bool admitted = false;
  for (int index : candidates) {
    if (!TypeAdmits(mt, FormatAt(index))) continue;
    admitted = true;
    const HRESULT hr = TryConnect(receiver, FormatAt(index));
    if (SUCCEEDED(hr)) return S_OK;
    last = hr;
  }
  return admitted ? (last == E_FAIL ? VFW_E_NO_ACCEPTABLE_TYPES : last) : VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT CapturePin::TryConnect(IPin* receiver, const FrameFormat& format) {
  MediaTypeHolder mt;
  HRESULT hr = FillMediaType(format, mt.Get());
  if (FAILED(hr)) return hr;
  // Connected before ReceiveConnection, so that the receiver may ask about us.
  m_connected.CopyFrom(receiver);
  hr = CopyMediaType(m_mt.Get(), mt.Get());
  if (SUCCEEDED(hr)) hr = receiver->ReceiveConnection(this, mt.Get());
  if (FAILED(hr)) {
    ClearConnection();
    return hr;
  }
  ComHolder<IMemInputPin> input;
  hr = receiver->QueryInterface(IID_IMemInputPin, input.OutVoid());
  if (SUCCEEDED(hr)) hr = NegotiateAllocator(input.Get(), format);
  if (FAILED(hr)) {
    receiver->Disconnect();
    ClearConnection();
    return hr;
  }
  m_input = std::move(input);
  m_connectedFormat = FormatIndex(format);
  if (!m_picture || !SameFormat(m_picture->Format(), format)) m_picture = std::make_unique<TestPicture>(format);
  return S_OK;
}

HRESULT CapturePin::NegotiateAllocator(IMemInputPin* input, const FrameFormat& format) {
  ALLOCATOR_PROPERTIES wanted{};
  input->GetAllocatorRequirements(&wanted);  // E_NOTIMPL is common: then ours alone
  ComHolder<IMemAllocator> allocator;
  HRESULT hr = input->GetAllocator(allocator.Out());
  if (FAILED(hr) || !allocator)
    hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator, allocator.OutVoid());
  if (FAILED(hr)) return hr;
  const long capacity = static_cast<long>(FrameCapacity(format) + m_filter.Options().sampleSlack);
  wanted.cBuffers = std::max(wanted.cBuffers, kBufferCount);
  wanted.cbBuffer = std::max(wanted.cbBuffer, capacity);
  wanted.cbAlign = std::max(wanted.cbAlign, 1L);
  wanted.cbPrefix = std::max(wanted.cbPrefix, 0L);
  ALLOCATOR_PROPERTIES actual{};
  hr = allocator->SetProperties(&wanted, &actual);
  if (FAILED(hr)) return hr;
  if (actual.cbBuffer < capacity || actual.cBuffers < 1) return E_FAIL;
  hr = input->NotifyAllocator(allocator.Get(), FALSE);
  if (FAILED(hr)) return hr;
  m_allocator = std::move(allocator);
  return S_OK;
}

void CapturePin::ClearConnection() {
  m_allocator.Reset();
  m_input.Reset();
  m_connected.Reset();
  m_mt.Reset();
  m_connectedFormat = -1;
}

STDMETHODIMP CapturePin::ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) {
  // An output pin is never the receiving end.
  return E_UNEXPECTED;
}

STDMETHODIMP CapturePin::Disconnect() {
  std::lock_guard<std::recursive_mutex> hold(m_filter.Lock());
  if (m_filter.StateLocked() != State_Stopped) return VFW_E_NOT_STOPPED;
  if (!m_connected) return S_FALSE;
  ClearConnection();
  return S_OK;
}

STDMETHODIMP CapturePin::ConnectedTo(IPin** pin) {
  if (pin == nullptr) return E_POINTER;
  std::lock_guard<std::recursive_mutex> hold(m_filter.Lock());
  m_connected.CopyTo(pin);
  return *pin == nullptr ? VFW_E_NOT_CONNECTED : S_OK;
}

STDMETHODIMP CapturePin::ConnectionMediaType(AM_MEDIA_TYPE* mt) {
  if (mt == nullptr) return E_POINTER;
  std::lock_guard<std::recursive_mutex> hold(m_filter.Lock());
  if (!m_connected) {
    std::memset(mt, 0, sizeof *mt);
    return VFW_E_NOT_CONNECTED;
  }
  return CopyMediaType(mt, m_mt.Get());
}

STDMETHODIMP CapturePin::QueryPinInfo(PIN_INFO* info) {
  if (info == nullptr) return E_POINTER;
  info->pFilter = &m_filter;
  m_filter.AddRef();
  info->dir = PINDIR_OUTPUT;
  wcsncpy(info->achName, m_name, MAX_PIN_NAME - 1);
  info->achName[MAX_PIN_NAME - 1] = 0;
  return S_OK;
}

STDMETHODIMP CapturePin::QueryDirection(PIN_DIRECTION* direction) {
  if (direction == nullptr) return E_POINTER;
  *direction = PINDIR_OUTPUT;
  return S_OK;
}

STDMETHODIMP CapturePin::QueryId(LPWSTR* id) { return TaskString(m_name, id); }

STDMETHODIMP CapturePin::QueryAccept(const AM_MEDIA_TYPE* mt) {
  FrameFormat format;
  if (!FormatOfMediaType(mt, &format)) return S_FALSE;
  std::lock_guard<std::recursive_mutex> hold(m_filter.Lock());
  if (OffersOnlyCurrentLocked() && FormatIndex(format) != m_format) return S_FALSE;
  return S_OK;
}

STDMETHODIMP CapturePin::EnumMediaTypes(IEnumMediaTypes** types) {
  if (types == nullptr) return E_POINTER;
  std::lock_guard<std::recursive_mutex> hold(m_filter.Lock());
  std::vector<int> offered{m_format};
  if (!OffersOnlyCurrentLocked())
    for (int i = 0; i < kFormatCount; ++i)
      if (i != m_format) offered.push_back(i);
  *types = new MediaTypeEnumerator(std::move(offered), 0);
  return S_OK;
}

STDMETHODIMP CapturePin::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }
STDMETHODIMP CapturePin::EndOfStream() { return E_UNEXPECTED; }
STDMETHODIMP CapturePin::BeginFlush() { return E_UNEXPECTED; }
STDMETHODIMP CapturePin::EndFlush() { return E_UNEXPECTED; }
STDMETHODIMP CapturePin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) { return E_UNEXPECTED; }

// --- pin category -----------------------------------------------------------------------

STDMETHODIMP CapturePin::Set(REFGUID set, DWORD, void*, DWORD, void*, DWORD) {
  return IsEqualGUID(set, AMPROPSETID_Pin) ? E_PROP_ID_UNSUPPORTED : kPropSetUnsupported;
}

STDMETHODIMP CapturePin::Get(REFGUID set, DWORD id, void*, DWORD, void* data, DWORD dataSize, DWORD* returned) {
  if (!IsEqualGUID(set, AMPROPSETID_Pin)) return kPropSetUnsupported;
  if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
  if (returned) *returned = sizeof(GUID);
  if (data == nullptr) return returned ? S_OK : E_POINTER;  // a size query
  if (dataSize < sizeof(GUID)) return E_UNEXPECTED;
  *static_cast<GUID*>(data) = m_category;
  return S_OK;
}

STDMETHODIMP CapturePin::QuerySupported(REFGUID set, DWORD id, DWORD* support) {
  if (!IsEqualGUID(set, AMPROPSETID_Pin)) return kPropSetUnsupported;
  if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
  if (support) *support = KSPROPERTY_SUPPORT_GET;
  return S_OK;
}

// --- stream configuration ---------------------------------------------------------------

STDMETHODIMP CapturePin::SetFormat(AM_MEDIA_TYPE* mt) {
  const HRESULT hr = ChangeFormat(mt);
  // A camera that vanishes once a format is chosen: the choice stands, the device is gone.
  // Told with the lock released, as the streaming thread tells its loss.
  if (SUCCEEDED(hr) && m_filter.Options().losesOnFormat) m_filter.DeviceLost();
  return hr;
}

HRESULT CapturePin::ChangeFormat(AM_MEDIA_TYPE* mt) {
  if (mt == nullptr) return E_POINTER;
  FrameFormat format;
  if (!FormatOfMediaType(mt, &format)) return VFW_E_INVALIDMEDIATYPE;
  const int index = FormatIndex(format);
  std::lock_guard<std::recursive_mutex> hold(m_filter.Lock());
  if (m_filter.IsLost()) return kLostDeviceResult;
  if (m_filter.StateLocked() != State_Stopped) return VFW_E_NOT_STOPPED;
  if (m_filter.Options().formatIgnored) {
    // A driver that takes the call and goes on delivering what it did.
    m_reportedFormat = index;
    m_reportedFormatSet = true;
    return S_OK;
  }
  if (!m_connected) {
    m_format = index;
    m_formatSet = true;
    return S_OK;
  }
  if (index == m_connectedFormat) {
    m_format = index;
    m_formatSet = true;
    return S_OK;
  }
  // Connected: the downstream pin must take the new type, then the graph reconnects us.
  MediaTypeHolder wanted;
  HRESULT hr = FillMediaType(format, wanted.Get());
  if (FAILED(hr)) return hr;
  hr = m_connected->QueryAccept(wanted.Get());
  if (hr != S_OK) return VFW_E_INVALIDMEDIATYPE;
  IFilterGraph* graph = m_filter.GraphLocked();
  if (graph == nullptr) return VFW_E_NOT_IN_GRAPH;
  const int previous = m_format;
  const bool previousSet = m_formatSet;
  m_format = index;
  m_formatSet = true;
  hr = graph->Reconnect(this);
  if (FAILED(hr)) {
    m_format = previous;
    m_formatSet = previousSet;
  }
  return hr;
}

STDMETHODIMP CapturePin::GetFormat(AM_MEDIA_TYPE** mt) {
  if (mt == nullptr) return E_POINTER;
  std::lock_guard<std::recursive_mutex> hold(m_filter.Lock());
  const bool reportSet = m_filter.Options().formatIgnored && m_reportedFormatSet && !m_connected;
  *mt = NewMediaType(FormatAt(reportSet ? m_reportedFormat : CurrentFormatLocked()));
  return *mt ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CapturePin::GetNumberOfCapabilities(int* count, int* size) {
  if (count == nullptr || size == nullptr) return E_POINTER;
  *count = kFormatCount;
  *size = sizeof(VIDEO_STREAM_CONFIG_CAPS);
  return S_OK;
}

STDMETHODIMP CapturePin::GetStreamCaps(int index, AM_MEDIA_TYPE** mt, BYTE* caps) {
  if (mt == nullptr || caps == nullptr) return E_POINTER;
  *mt = nullptr;
  if (index < 0) return E_INVALIDARG;
  if (index >= kFormatCount) return S_FALSE;
  *mt = NewMediaType(FormatAt(index));
  if (*mt == nullptr) return E_OUTOFMEMORY;
  FillStreamCaps(FormatAt(index), reinterpret_cast<VIDEO_STREAM_CONFIG_CAPS*>(caps));
  return S_OK;
}

STDMETHODIMP CapturePin::GetPages(CAUUID* pages) { return OnePageList(CLSID_QvFormatPage, pages); }

// --- streaming --------------------------------------------------------------------------

HRESULT CapturePin::Activate() {
  if (!m_connected || !m_allocator) return S_OK;
  return m_allocator->Commit();
}

void CapturePin::Run(IReferenceClock* clock, REFERENCE_TIME start) {
  if (!m_connected || !m_allocator || !m_picture) return;
  if (m_runClock.Get() != clock) m_runClock.CopyFrom(clock);  // kept until the thread has ended
  m_streamer.Run(m_allocator.Get(), m_input.Get(), m_picture.get(), &m_filter.Still(), clock, start);
}

void CapturePin::Pause() { m_streamer.Pause(); }

void CapturePin::Deactivate() {
  m_streamer.Pause();
  // A GetBuffer that waits for a free sample returns once the allocator is decommitted.
  if (m_allocator) m_allocator->Decommit();
  m_streamer.Quit();
  m_runClock.Reset();
}

}  // namespace qvvcam
