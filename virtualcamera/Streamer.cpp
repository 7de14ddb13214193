#include "Streamer.h"

#include <cstring>

#include "ComHolder.h"
#include "MediaFormats.h"

namespace qvvcam {
namespace {

constexpr uint8_t kSlackByte = 0xEE;

LONGLONG Now() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t.QuadPart;
}

}  // namespace

Streamer::Streamer() : m_wake(CreateEventW(nullptr, FALSE, FALSE, nullptr)) { QueryPerformanceFrequency(&m_frequency); }

Streamer::~Streamer() {
  Quit();
  if (m_wake) CloseHandle(m_wake);
}

void Streamer::Run(IMemAllocator* allocator, IMemInputPin* input, const TestPicture* picture,
                   const std::atomic<bool>* still, IReferenceClock* clock, REFERENCE_TIME start) {
  m_still = still;
  m_allocator = allocator;
  m_input = input;
  m_picture = picture;
  m_clock = clock;
  m_start = start;
  m_runStartTicks = Now();
  m_runGeneration.fetch_add(1);
  m_deliver = true;
  if (!m_thread.joinable()) {
    m_quit = false;
    m_thread = std::thread(&Streamer::Loop, this);
  }
  SetEvent(m_wake);
}

void Streamer::Pause() {
  m_deliver = false;
  SetEvent(m_wake);
}

void Streamer::Quit() {
  m_deliver = false;
  m_quit = true;
  SetEvent(m_wake);
  if (m_thread.joinable()) m_thread.join();
}

StreamStatistics Streamer::Statistics() const {
  StreamStatistics s;
  s.frames = m_frames;
  s.workTicks = m_workTicks;
  s.tickFrequency = static_cast<uint64_t>(m_frequency.QuadPart);
  return s;
}

void Streamer::Loop() {
  const LONGLONG period = m_frequency.QuadPart / kFramesPerSecond;
  uint32_t generation = 0;
  LONGLONG due = 0;
  bool halted = false;  // the downstream pin refused a sample: wait for the next run
  bool first = true;
  while (!m_quit) {
    if (!m_deliver) {
      WaitForSingleObject(m_wake, INFINITE);
      continue;
    }
    const uint32_t current = m_runGeneration;
    if (current != generation) {
      generation = current;
      due = m_runStartTicks;
      halted = false;
      first = true;
    }
    const bool unplugged = m_limit != 0 && m_frames >= m_limit;
    if (unplugged && !m_limitReported) {
      m_limitReported = true;
      if (m_limitListener != nullptr) m_limitListener->FrameLimitReached();
    }
    if (halted || unplugged) {
      WaitForSingleObject(m_wake, INFINITE);
      continue;
    }
    const LONGLONG now = Now();
    if (now < due) {
      const DWORD ms = static_cast<DWORD>((due - now) * 1000 / m_frequency.QuadPart);
      if (ms > 0) {
        WaitForSingleObject(m_wake, ms);
        continue;
      }
      while (Now() < due) SwitchToThread();  // the last part of a millisecond
    }
    if (m_quit || !m_deliver || m_runGeneration != generation) continue;
    if (!Deliver(m_frames, first)) {
      halted = true;
      continue;
    }
    first = false;
    due += period;
    if (Now() - due > 4 * period) due = Now();  // far behind (a blocked downstream): no burst
  }
}

bool Streamer::Deliver(uint32_t sequence, bool first) {
  ComHolder<IMediaSample> sample;
  if (FAILED(m_allocator->GetBuffer(sample.Out(), nullptr, nullptr, 0)) || !sample) return false;
  const LONGLONG acquired = Now();
  BYTE* data = nullptr;
  size_t length = 0;
  if (SUCCEEDED(sample->GetPointer(&data)) && data != nullptr)
    length = m_picture->Generate(sequence, data, static_cast<size_t>(sample->GetSize()), m_still && *m_still);
  if (length != 0 && m_damage != MjpgDamage::None && m_picture->Format().pixel == PixelFormat::Mjpg)
    length = ApplyMjpgDamage(m_damage, sequence, data, length);
  if (length == 0) return false;
  // The slack's bytes are never part of a picture: a grab that took them would show it.
  if (m_slack != 0 && static_cast<size_t>(sample->GetSize()) - length >= m_slack) {
    std::memset(data + length, kSlackByte, m_slack);
    length += m_slack;
  }
  REFERENCE_TIME start = 0;
  IReferenceClock* clock = m_clock;
  if (clock != nullptr && SUCCEEDED(clock->GetTime(&start))) {
    start -= m_start;
  } else {
    start = (acquired - m_runStartTicks) * kUnitsPerSecond / m_frequency.QuadPart;
  }
  // Stream time of the capture. The graph starts the clock's stream time a little after
  // Run (Wine: about 200 ms), and a camera captures from Run on: the first frames carry
  // negative times, which renderers treat as late and pass on at once.
  REFERENCE_TIME stop = start + kFrameInterval;
  LONGLONG mediaStart = sequence, mediaStop = static_cast<LONGLONG>(sequence) + 1;
  sample->SetTime(&start, &stop);
  sample->SetMediaTime(&mediaStart, &mediaStop);
  sample->SetActualDataLength(static_cast<long>(length));
  sample->SetSyncPoint(TRUE);
  sample->SetDiscontinuity(first ? TRUE : FALSE);
  sample->SetPreroll(FALSE);
  m_workTicks += static_cast<uint64_t>(Now() - acquired);
  m_frames = sequence + 1;
  return m_input->Receive(sample) == S_OK;
}

}  // namespace qvvcam
