// Windows tests: a second thread that finds this process's message boxes, records
// their caption and text, and presses OK, so a test can assert the exact texts.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qvtest {

struct SeenBox {
  std::string caption;
  std::string text;
  bool hasOwner;
};

class MessageBoxWatcher {
 public:
  MessageBoxWatcher();
  ~MessageBoxWatcher();
  MessageBoxWatcher(const MessageBoxWatcher&) = delete;
  MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;

  // The boxes closed so far, in the order they appeared; forgets them.
  std::vector<SeenBox> Take();
  // Waits up to timeoutMs for at least count boxes in total (taken or not).
  bool WaitFor(size_t count, DWORD timeoutMs);

 private:
  void Run();
  std::atomic<bool> m_stop{false};
  std::mutex m_lock;
  std::vector<SeenBox> m_seen;
  size_t m_total = 0;
  std::thread m_thread;
};

// Texts of the boxes as "caption|text" lines, for readable test failures.
std::string Describe(const std::vector<SeenBox>& boxes);

}  // namespace qvtest
