// A binary output file standing in for the framework's CFile (create/truncate and write).
#pragma once

#include <cstddef>
#include <cstdio>

class CFile {
 public:
  enum OpenFlags : unsigned int { modeWrite = 0x0001, modeCreate = 0x1000 };

  CFile() = default;
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;
  ~CFile() { Close(); }

  // modeCreate | modeWrite creates the file or truncates an existing one.
  bool Open(const char* path, unsigned int flags);
  // Writes count bytes; false when the file is not open or the write fell short.
  bool Write(const void* data, size_t count);
  // Closes the file; false when buffered data could not be written.
  bool Close();
  bool IsOpen() const { return m_file != nullptr; }

 private:
  std::FILE* m_file = nullptr;
};
