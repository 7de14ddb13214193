#include "File.h"

bool CFile::Open(const char* path, unsigned int flags) {
  Close();
  if (path == nullptr || (flags & (modeCreate | modeWrite)) != (modeCreate | modeWrite)) return false;
  m_file = std::fopen(path, "wb");
  return m_file != nullptr;
}

bool CFile::Write(const void* data, size_t count) {
  if (m_file == nullptr) return false;
  if (count == 0) return true;
  return std::fwrite(data, 1, count, m_file) == count;
}

bool CFile::Close() {
  if (m_file == nullptr) return true;
  bool ok = std::fclose(m_file) == 0;
  m_file = nullptr;
  return ok;
}
