// Captures what the code under test writes to the standard error stream (file descriptor 2),
// in this process, from construction until Stop().
#pragma once

#include <string>

namespace qvtest {

class StderrCapture {
 public:
  StderrCapture();
  ~StderrCapture();
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;

  // Restores the stream and returns everything written to it meanwhile.
  std::string Stop();

 private:
  int m_savedFd = -1;
  std::string m_path;
  std::string m_text;
  bool m_stopped = false;
};

}  // namespace qvtest
