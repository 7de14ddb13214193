// IEnumMediaTypes over a snapshot of the formats the pin offers.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <vector>

#include "ComObject.h"

namespace qvvcam {

class MediaTypeEnumerator final : public ComObject<IEnumMediaTypes> {
 public:
  MediaTypeEnumerator(std::vector<int> formats, size_t position);
  STDMETHODIMP Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
  STDMETHODIMP Skip(ULONG count) override;
  STDMETHODIMP Reset() override;
  STDMETHODIMP Clone(IEnumMediaTypes** clone) override;

 private:
  void* Interface(REFIID iid) override { return Listed(iid); }
  std::vector<int> m_formats;  // indexes into the format table, in offer order
  size_t m_position;
};

}  // namespace qvvcam
