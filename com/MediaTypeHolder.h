// Media type records: what one owns is freed by one function, and a holder frees it on
// every return path.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <strmif.h>

#include <cstring>

// Frees what a media type record owns: its format block, when the byte count says it has
// one, and its pUnk reference. The record is left without either, ready to be reused.
inline void FreeMediaType(AM_MEDIA_TYPE& mediaType) {
  if (mediaType.cbFormat != 0) {
    CoTaskMemFree(mediaType.pbFormat);
    mediaType.cbFormat = 0;
    mediaType.pbFormat = nullptr;
  }
  if (mediaType.pUnk != nullptr) {
    mediaType.pUnk->Release();
    mediaType.pUnk = nullptr;
  }
}

// Owns one media type record: a record of its own (all zero at first) for the calls that
// fill a caller's record, or a record the platform handed out in task memory, which goes
// with its contents.
class MediaTypeHolder {
 public:
  MediaTypeHolder() { std::memset(&m_own, 0, sizeof m_own); }
  // Takes over a record in task memory (null: none), as GetFormat, GetStreamCaps and
  // media type enumerators hand them out.
  explicit MediaTypeHolder(AM_MEDIA_TYPE* taskRecord) : MediaTypeHolder() { m_task = taskRecord; }
  ~MediaTypeHolder() { Reset(); }
  MediaTypeHolder(const MediaTypeHolder&) = delete;
  MediaTypeHolder& operator=(const MediaTypeHolder&) = delete;
  MediaTypeHolder(MediaTypeHolder&& other) noexcept : m_own(other.m_own), m_task(other.m_task) { other.Forget(); }
  MediaTypeHolder& operator=(MediaTypeHolder&& other) noexcept {
    if (this != &other) {
      Reset();
      m_own = other.m_own;
      m_task = other.m_task;
      other.Forget();
    }
    return *this;
  }

  // The task record when one is held, else the holder's own record.
  AM_MEDIA_TYPE* Get() { return m_task != nullptr ? m_task : &m_own; }
  const AM_MEDIA_TYPE* Get() const { return m_task != nullptr ? m_task : &m_own; }
  AM_MEDIA_TYPE* operator->() { return Get(); }
  AM_MEDIA_TYPE& operator*() { return *Get(); }
  const AM_MEDIA_TYPE& operator*() const { return *Get(); }

  // Frees what is held and gives the slot for a call that hands out a task record.
  AM_MEDIA_TYPE** TaskOut() {
    Reset();
    return &m_task;
  }
  // Whether a task record is held (a call handed one out).
  bool HasTaskRecord() const { return m_task != nullptr; }

  // Frees the contents, then a task record itself; the holder's own record is left all
  // zero for reuse.
  void Reset() {
    FreeMediaType(m_own);
    std::memset(&m_own, 0, sizeof m_own);
    if (m_task != nullptr) {
      AM_MEDIA_TYPE* task = m_task;
      m_task = nullptr;
      FreeMediaType(*task);
      CoTaskMemFree(task);
    }
  }

 private:
  void Forget() {
    std::memset(&m_own, 0, sizeof m_own);
    m_task = nullptr;
  }

  AM_MEDIA_TYPE m_own;
  AM_MEDIA_TYPE* m_task = nullptr;
};
