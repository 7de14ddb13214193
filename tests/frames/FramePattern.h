// Frames whose every byte carries the frame's sequence number, so a frame mixed from
// two deliveries, or a stale one, shows at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

namespace qvtest {

// Byte i of frame seq is byte i % 4 of seq: any four bytes in a row from another frame
// differ somewhere.
inline uint8_t PatternByte(uint32_t seq, size_t i) { return static_cast<uint8_t>(seq >> (8 * (i % 4))); }

inline void FillFrame(uint8_t* frame, size_t bytes, uint32_t seq) {
  for (size_t i = 0; i < bytes; ++i) frame[i] = PatternByte(seq, i);
}

// The padding the platform adds at the end of each row; never expected in a grab.
constexpr uint8_t kPadByte = 0xEE;

// A frame as delivered with rows of paddedRowBytes: the pattern runs over the frame's
// own bytes (row after row, no padding), the padding holds kPadByte.
inline void FillPadded(uint8_t* out, size_t rowBytes, size_t rows, size_t paddedRowBytes, uint32_t seq) {
  for (size_t r = 0; r < rows; ++r) {
    for (size_t c = 0; c < paddedRowBytes; ++c) {
      out[r * paddedRowBytes + c] = c < rowBytes ? PatternByte(seq, r * rowBytes + c) : kPadByte;
    }
  }
}

// The sequence number a whole frame carries; nothing when any byte disagrees with the
// first four.
inline std::optional<uint32_t> WholeFrameSeq(const uint8_t* frame, size_t bytes) {
  if (bytes < 4) return std::nullopt;
  uint32_t seq = 0;
  std::memcpy(&seq, frame, 4);  // little-endian, as PatternByte lays it out
  for (size_t i = 4; i < bytes; ++i) {
    if (frame[i] != PatternByte(seq, i)) return std::nullopt;
  }
  return seq;
}

// A destination with guard bytes on both sides, to prove what a grab wrote and what not.
class GuardedBuffer {
 public:
  static constexpr size_t kGuard = 64;
  static constexpr uint8_t kGuardByte = 0xA5;
  explicit GuardedBuffer(size_t bytes) : m_bytes(bytes), m_data(bytes + 2 * kGuard, kGuardByte) {}
  uint8_t* data() { return m_data.data() + kGuard; }
  const uint8_t* data() const { return m_data.data() + kGuard; }
  size_t size() const { return m_bytes; }
  // Nothing at all was written (the guard byte everywhere).
  bool Untouched() const {
    for (uint8_t b : m_data) {
      if (b != kGuardByte) return false;
    }
    return true;
  }
  // Nothing was written outside [data(), data() + size()).
  bool GuardsIntact() const {
    for (size_t i = 0; i < kGuard; ++i) {
      if (m_data[i] != kGuardByte || m_data[kGuard + m_bytes + i] != kGuardByte) return false;
    }
    return true;
  }
  std::vector<uint8_t> Contents() const { return std::vector<uint8_t>(data(), data() + m_bytes); }

 private:
  size_t m_bytes;
  std::vector<uint8_t> m_data;
};

}  // namespace qvtest
