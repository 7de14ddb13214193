#include "EnumMediaTypes.h"

#include "MediaFormats.h"

namespace qvvcam {

MediaTypeEnumerator::MediaTypeEnumerator(std::vector<int> formats, size_t position)
    : m_formats(std::move(formats)), m_position(position) {}

STDMETHODIMP MediaTypeEnumerator::Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) {
  if (types == nullptr) return E_POINTER;
  if (count > 1 && fetched == nullptr) return E_INVALIDARG;
  ULONG given = 0;
  while (given < count && m_position < m_formats.size()) {
    AM_MEDIA_TYPE* mt = NewMediaType(FormatAt(m_formats[m_position]));
    if (mt == nullptr) break;
    types[given++] = mt;
    ++m_position;
  }
  if (fetched) *fetched = given;
  return given == count ? S_OK : S_FALSE;
}

STDMETHODIMP MediaTypeEnumerator::Skip(ULONG count) {
  const size_t left = m_formats.size() - m_position;
  if (count > left) {
    m_position = m_formats.size();
    return S_FALSE;
  }
  m_position += count;
  return S_OK;
}

STDMETHODIMP MediaTypeEnumerator::Reset() {
  m_position = 0;
  return S_OK;
}

STDMETHODIMP MediaTypeEnumerator::Clone(IEnumMediaTypes** clone) {
  if (clone == nullptr) return E_POINTER;
  *clone = new MediaTypeEnumerator(m_formats, m_position);
  return S_OK;
}

}  // namespace qvvcam
