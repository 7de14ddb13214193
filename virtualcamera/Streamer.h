// The streaming thread: paces frames at the format's rate, draws each into a sample of
// the negotiated allocator, stamps its times and hands it to the downstream input pin.
#pragma once

#include <windows.h>
#include <dshow.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include "MjpgDamage.h"
#include "TestPicture.h"

namespace qvvcam {

struct StreamStatistics {
  uint32_t frames = 0;     // samples handed to Receive since the filter was made
  uint64_t workTicks = 0;  // QueryPerformanceCounter ticks from GetBuffer's return to Receive's call
  uint64_t tickFrequency = 1;
};

// Hears, on the streaming thread and once in the filter's life, that the frame limit
// was reached.
class FrameLimitListener {
 public:
  virtual void FrameLimitReached() = 0;

 protected:
  ~FrameLimitListener() = default;
};

class Streamer {
 public:
  Streamer();
  ~Streamer();
  Streamer(const Streamer&) = delete;
  Streamer& operator=(const Streamer&) = delete;

  // After `limit` frames in the filter's life no more are delivered (0: no limit), and
  // `listener` hears it (set before the first Run).
  void SetFrameLimit(uint32_t limit, FrameLimitListener* listener) {
    m_limit = limit;
    m_limitListener = listener;
  }
  // What is done to the MJPG frames it delivers (set before the first Run).
  void SetMjpgDamage(MjpgDamage damage) { m_damage = damage; }
  // Bytes each sample carries after its picture (set before the first Run; the
  // allocator's buffers must have room for them).
  void SetSampleSlack(uint32_t bytes) { m_slack = bytes; }
  // Running: start the thread if needed and deliver with stream times from tStart on the
  // clock (or from now without one). The pointers stay valid until Quit returns.
  void Run(IMemAllocator* allocator, IMemInputPin* input, const TestPicture* picture, const std::atomic<bool>* still,
           IReferenceClock* clock, REFERENCE_TIME start);
  // Paused: the thread stays but delivers nothing. Never waits on the thread (it may be
  // inside a downstream Receive that holds samples while the graph is paused).
  void Pause();
  // Stopped: ends and joins the thread. The caller decommits the allocator first so that
  // a GetBuffer waiting for a free sample returns.
  void Quit();
  StreamStatistics Statistics() const;

 private:
  void Loop();
  bool Deliver(uint32_t sequence, bool first);

  HANDLE m_wake;
  std::thread m_thread;
  std::atomic<bool> m_quit{false};
  std::atomic<bool> m_deliver{false};
  std::atomic<uint32_t> m_runGeneration{0};
  uint32_t m_limit = 0;
  FrameLimitListener* m_limitListener = nullptr;
  bool m_limitReported = false;  // the streaming thread's own
  MjpgDamage m_damage = MjpgDamage::None;
  uint32_t m_slack = 0;
  std::atomic<uint32_t> m_frames{0};
  std::atomic<uint64_t> m_workTicks{0};
  LARGE_INTEGER m_frequency{};
  // Written by Run before m_deliver is set, read by the thread after it sees it. Not
  // counted: the pin holds them until Quit has returned.
  IMemAllocator* m_allocator = nullptr;
  IMemInputPin* m_input = nullptr;
  const TestPicture* m_picture = nullptr;
  const std::atomic<bool>* m_still = nullptr;
  std::atomic<IReferenceClock*> m_clock{nullptr};
  std::atomic<REFERENCE_TIME> m_start{0};
  std::atomic<LONGLONG> m_runStartTicks{0};
};

}  // namespace qvvcam
