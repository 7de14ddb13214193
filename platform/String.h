// A small text type in the system's 8-bit code page, standing in for the framework's CString.
#pragma once

#include <string>

class CString {
 public:
  CString() = default;
  CString(const char* text) : m_text(text ? text : "") {}  // NOLINT: implicit like the framework's
  CString& operator=(const char* text) {
    m_text = text ? text : "";
    return *this;
  }
  operator const char*() const { return m_text.c_str(); }  // NOLINT
  const char* GetString() const { return m_text.c_str(); }
  int GetLength() const { return static_cast<int>(m_text.size()); }
  bool IsEmpty() const { return m_text.empty(); }

 private:
  std::string m_text;
};
