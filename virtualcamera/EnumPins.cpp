#include "EnumPins.h"

#include "CaptureFilter.h"

namespace qvvcam {

PinEnumerator::PinEnumerator(CaptureFilter* filter, ULONG position) : m_position(position) {
  m_filter.CopyFrom(filter);
}

PinEnumerator::~PinEnumerator() = default;

STDMETHODIMP PinEnumerator::Next(ULONG count, IPin** pins, ULONG* fetched) {
  if (pins == nullptr) return E_POINTER;
  if (count > 1 && fetched == nullptr) return E_INVALIDARG;
  ULONG given = 0;
  while (given < count && m_position < m_filter->PinCount()) {
    pins[given] = m_filter->PinAt(m_position);
    pins[given]->AddRef();
    ++given;
    ++m_position;
  }
  if (fetched) *fetched = given;
  return given == count ? S_OK : S_FALSE;
}

STDMETHODIMP PinEnumerator::Skip(ULONG count) {
  const ULONG pinCount = m_filter->PinCount();
  const ULONG left = pinCount - m_position;
  if (count > left) {
    m_position = pinCount;
    return S_FALSE;
  }
  m_position += count;
  return S_OK;
}

STDMETHODIMP PinEnumerator::Reset() {
  m_position = 0;
  return S_OK;
}

STDMETHODIMP PinEnumerator::Clone(IEnumPins** clone) {
  if (clone == nullptr) return E_POINTER;
  *clone = new PinEnumerator(m_filter.Get(), m_position);
  return S_OK;
}

}  // namespace qvvcam
