// An output pin of the capture filter (its capture pin, or its preview pin): media types,
// connection and allocator negotiation, stream configuration, the pin category, and the
// streaming thread.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <ocidl.h>

#include <memory>

#include "ComObject.h"
#include "MediaFormats.h"
#include "MediaTypeHolder.h"
#include "Streamer.h"

namespace qvvcam {

class CaptureFilter;

class CapturePin final : public ComObject<IPin, IKsPropertySet, IAMStreamConfig, ISpecifyPropertyPages> {
 public:
  // category: what AMPROPERTY_PIN_CATEGORY answers; name: the pin's name and id.
  CapturePin(CaptureFilter& filter, const GUID& category, const wchar_t* name);
  ~CapturePin() override;

  // IPin
  STDMETHODIMP Connect(IPin* receiver, const AM_MEDIA_TYPE* mt) override;
  STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* mt) override;
  STDMETHODIMP Disconnect() override;
  STDMETHODIMP ConnectedTo(IPin** pin) override;
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* mt) override;
  STDMETHODIMP QueryPinInfo(PIN_INFO* info) override;
  STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override;
  STDMETHODIMP QueryId(LPWSTR* id) override;
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* mt) override;
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** types) override;
  STDMETHODIMP QueryInternalConnections(IPin** pins, ULONG* count) override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;
  STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
  // IKsPropertySet
  STDMETHODIMP Set(REFGUID set, DWORD id, void* instance, DWORD instanceSize, void* data, DWORD dataSize) override;
  STDMETHODIMP Get(REFGUID set, DWORD id, void* instance, DWORD instanceSize, void* data, DWORD dataSize,
                   DWORD* returned) override;
  STDMETHODIMP QuerySupported(REFGUID set, DWORD id, DWORD* support) override;
  // IAMStreamConfig
  STDMETHODIMP SetFormat(AM_MEDIA_TYPE* mt) override;
  STDMETHODIMP GetFormat(AM_MEDIA_TYPE** mt) override;
  STDMETHODIMP GetNumberOfCapabilities(int* count, int* size) override;
  STDMETHODIMP GetStreamCaps(int index, AM_MEDIA_TYPE** mt, BYTE* caps) override;
  // ISpecifyPropertyPages
  STDMETHODIMP GetPages(CAUUID* pages) override;

  // Called by the filter, under its lock.
  HRESULT Activate();  // stopped -> paused: commit the allocator
  void Run(IReferenceClock* clock, REFERENCE_TIME start);
  void Pause();       // running -> paused
  void Deactivate();  // -> stopped: end the thread, decommit
  StreamStatistics Statistics() const { return m_streamer.Statistics(); }
  bool IsConnectedLocked() const { return static_cast<bool>(m_connected); }
  const wchar_t* Name() const { return m_name; }
  void OptionsLoaded();  // the device's values are in: frame limit

 private:
  void* Interface(REFIID iid) override;
  HRESULT ChangeFormat(AM_MEDIA_TYPE* mt);  // SetFormat but for the loss it may cause
  HRESULT TryConnect(IPin* receiver, const FrameFormat& format);
  HRESULT NegotiateAllocator(IMemInputPin* input, const FrameFormat& format);
  void ClearConnection();
  int CurrentFormatLocked() const;
  // Only the current format is offered and connected with (after SetFormat, or always
  // when SetFormat is ignored).
  bool OffersOnlyCurrentLocked() const;

  CaptureFilter& m_filter;
  const GUID m_category;
  const wchar_t* const m_name;
  ComHolder<IPin> m_connected;
  ComHolder<IMemInputPin> m_input;
  ComHolder<IMemAllocator> m_allocator;
  MediaTypeHolder m_mt;  // the connection's type
  int m_connectedFormat = -1;
  int m_format = kDefaultFormat;  // what GetFormat reports and the next connection uses
  bool m_formatSet = false;       // after SetFormat only that format is offered
  // With the ignored-format option: what SetFormat set, reported while unconnected only.
  int m_reportedFormat = kDefaultFormat;
  bool m_reportedFormatSet = false;
  std::unique_ptr<TestPicture> m_picture;
  ComHolder<IReferenceClock> m_runClock;
  Streamer m_streamer;
};

}  // namespace qvvcam
