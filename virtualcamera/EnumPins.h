// IEnumPins over the capture filter's pins.
#pragma once

#include <windows.h>
#include <dshow.h>

#include "ComObject.h"

namespace qvvcam {

class CaptureFilter;

class PinEnumerator final : public ComObject<IEnumPins> {
 public:
  PinEnumerator(CaptureFilter* filter, ULONG position);
  STDMETHODIMP Next(ULONG count, IPin** pins, ULONG* fetched) override;
  STDMETHODIMP Skip(ULONG count) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumPins** clone) override;

 private:
  ~PinEnumerator() override;
  void* Interface(REFIID iid) override { return Listed(iid); }
  ComHolder<CaptureFilter> m_filter;
  ULONG m_position;
};

}  // namespace qvvcam
