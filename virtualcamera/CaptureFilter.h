// The capture source filter: an output pin in the capture category (and, on a device
// that asks for it, a second one in the preview category), configured per device from
// the values its moniker's property bag holds.
#pragma once

#include <windows.h>
#include <dshow.h>
#include <ocidl.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "ComObject.h"
#include "QvCameraSettings.h"
#include "Streamer.h"

namespace qvvcam {

class CapturePin;

// The most bytes a sample may carry after its picture.
constexpr uint32_t kMaxSampleSlack = 65536;

struct DeviceOptions {
  std::wstring friendlyName = L"QV Virtual Camera";
  uint32_t stopAfterFrames = 0;
  bool streamConfig = true;
  bool propertyPages = true;
  bool previewPin = false;  // a preview pin after the capture pin
  bool refusesStop = false;  // once started, Stop and Pause fail and change nothing
  bool losesDevice = false;  // at the frame limit: lost (see FrameLimitReached)
  uint32_t mjpgDamage = 0;   // a MjpgDamage value; others are ignored
  uint32_t sampleSlack = 0;  // bytes each sample carries after its picture
  bool formatIgnored = false;  // SetFormat is reported by GetFormat but not connected with
  bool losesOnFormat = false;  // lost as soon as a SetFormat succeeds (see DeviceLost)
};

class CaptureFilter final
    : public ComObject<IBaseFilter, IAMFilterMiscFlags, ISpecifyPropertyPages, IPersistPropertyBag, IQvCameraSettings>,
      public FrameLimitListener {
 public:
  CaptureFilter();

  // IPersist
  STDMETHODIMP GetClassID(CLSID* clsid) override;
  // IMediaFilter
  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;
  STDMETHODIMP Run(REFERENCE_TIME start) override;
  STDMETHODIMP GetState(DWORD timeout, FILTER_STATE* state) override;
  STDMETHODIMP SetSyncSource(IReferenceClock* clock) override;
  STDMETHODIMP GetSyncSource(IReferenceClock** clock) override;
  // IBaseFilter
  STDMETHODIMP EnumPins(IEnumPins** pins) override;
  STDMETHODIMP FindPin(LPCWSTR id, IPin** pin) override;
  STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override;
  STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
  STDMETHODIMP QueryVendorInfo(LPWSTR* info) override;
  // IAMFilterMiscFlags
  STDMETHODIMP_(ULONG) GetMiscFlags() override;
  // ISpecifyPropertyPages
  STDMETHODIMP GetPages(CAUUID* pages) override;
  // IPersistPropertyBag
  STDMETHODIMP InitNew() override;
  STDMETHODIMP Load(IPropertyBag* bag, IErrorLog* log) override;
  STDMETHODIMP Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAll) override;
  // IQvCameraSettings
  STDMETHODIMP GetPattern(LONG* still) override;
  STDMETHODIMP SetPattern(LONG still) override;
  STDMETHODIMP GetStatistics(ULONG* frames, ULONGLONG* workTicks, ULONGLONG* tickFrequency) override;
  STDMETHODIMP GetDeviceName(LPWSTR* name) override;

  // For the pin.
  std::recursive_mutex& Lock() { return m_lock; }
  FILTER_STATE StateLocked() const { return m_state; }
  IFilterGraph* GraphLocked() const { return m_graph; }
  const DeviceOptions& Options() const { return m_options; }
  const std::atomic<bool>& Still() const { return m_still; }
  // The pins, capture pin first; the preview pin only on a device that has one.
  ULONG PinCount() const { return m_options.previewPin ? 2 : 1; }
  IPin* PinAt(ULONG index);
  // At the frame limit a device that gets lost is lost (see DeviceLost).
  void FrameLimitReached() override;
  // The device is gone: from then on Pause, Run and Stop answer "not connected", its pins
  // refuse to connect or change format, and the graph hears EC_DEVICE_LOST. Takes no lock
  // (the host thread may hold it while joining the stream); call it without holding it.
  void DeviceLost();
  bool IsLost() const { return m_lost; }

 private:
  ~CaptureFilter() override;
  void* Interface(REFIID iid) override;
  // Stopped -> paused for every pin; on a failure none stays active.
  HRESULT ActivatePins();

  std::recursive_mutex m_lock;
  FILTER_STATE m_state = State_Stopped;
  std::atomic<IFilterGraph*> m_graph{nullptr};  // not counted: the graph holds the filter
  std::atomic<bool> m_lost{false};
  std::wstring m_name;
  ComHolder<IReferenceClock> m_clock;
  DeviceOptions m_options;
  std::atomic<bool> m_still{false};
  // No counts of their own: they count on the filter.
  std::unique_ptr<CapturePin> m_pin;
  std::unique_ptr<CapturePin> m_previewPin;
  template <class Action>
  void ForEachPin(Action action);
};

}  // namespace qvvcam
