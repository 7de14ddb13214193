// A destination frame filled with a known pattern and followed by guard bytes, so a
// test can tell "untouched" from "written" and catch a write past the frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mjpgtest {

class GuardedBuffer {
 public:
  static constexpr size_t kGuardBytes = 64;

  explicit GuardedBuffer(size_t frameBytes) : m_frameBytes(frameBytes), m_bytes(frameBytes + kGuardBytes) {
    for (size_t i = 0; i < m_bytes.size(); ++i) m_bytes[i] = Pattern(i);
  }

  uint8_t* Data() { return m_bytes.data(); }
  std::vector<uint8_t> Frame() const {
    return std::vector<uint8_t>(m_bytes.begin(), m_bytes.begin() + static_cast<ptrdiff_t>(m_frameBytes));
  }
  // Every byte, frame and guard, still holds the pattern.
  bool Untouched() const { return FirstChangeFrom(0) == m_bytes.size(); }
  // Nothing was written past the frame.
  bool GuardIntact() const { return FirstChangeFrom(m_frameBytes) == m_bytes.size(); }

 private:
  static uint8_t Pattern(size_t i) { return static_cast<uint8_t>(i * 131 + 7); }
  size_t FirstChangeFrom(size_t start) const {
    for (size_t i = start; i < m_bytes.size(); ++i) {
      if (m_bytes[i] != Pattern(i)) return i;
    }
    return m_bytes.size();
  }

  size_t m_frameBytes;
  std::vector<uint8_t> m_bytes;
};

}  // namespace mjpgtest
