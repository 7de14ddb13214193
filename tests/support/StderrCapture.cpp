#include "StderrCapture.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#ifdef _WIN32
#include <io.h>
#define QV_DUP _dup
#define QV_DUP2 _dup2
#define QV_CLOSE _close
#else
#include <unistd.h>
#define QV_DUP dup
#define QV_DUP2 dup2
#define QV_CLOSE close
#endif

namespace qvtest {

namespace {
std::string TempPath() {
  static int counter = 0;
  std::ostringstream name;
#ifdef _WIN32
  const char* dir = std::getenv("TEMP");
  name << (dir ? dir : ".") << "\\qv_stderr_" << counter++ << ".txt";
#else
  name << "/tmp/qv_stderr_" << getpid() << "_" << counter++ << ".txt";
#endif
  return name.str();
}
}  // namespace

StderrCapture::StderrCapture() : m_path(TempPath()) {
  std::fflush(stderr);
  m_savedFd = QV_DUP(2);
  if (std::freopen(m_path.c_str(), "w", stderr) == nullptr) m_stopped = true;
  std::setvbuf(stderr, nullptr, _IONBF, 0);
}

StderrCapture::~StderrCapture() { Stop(); }

std::string StderrCapture::Stop() {
  if (m_stopped) return m_text;
  m_stopped = true;
  std::fflush(stderr);
  QV_DUP2(m_savedFd, 2);
  QV_CLOSE(m_savedFd);
  // Read back as text: on Windows the stream is in text mode and wrote "\n" as CR LF.
  std::ifstream in(m_path);
  std::ostringstream all;
  all << in.rdbuf();
  m_text = all.str();
  in.close();
  std::remove(m_path.c_str());
  return m_text;
}

}  // namespace qvtest
