#include "MjpgDamage.h"

#include <cstring>

namespace qvvcam {
namespace {

constexpr uint8_t kDht = 0xC4, kSos = 0xDA;

size_t SegmentLength(const uint8_t* at) { return (static_cast<size_t>(at[2]) << 8) | at[3]; }

// Offset of the SOS marker; 0 when the header segments do not lead to one.
size_t SosOffset(const uint8_t* frame, size_t length) {
  if (length < 4 || frame[0] != 0xFF || frame[1] != 0xD8) return 0;
  size_t at = 2;
  while (at + 4 <= length && frame[at] == 0xFF) {
    if (frame[at + 1] == kSos) return at;
    const size_t segment = SegmentLength(frame + at);
    if (segment < 2) return 0;
    at += 2 + segment;
  }
  return 0;
}

}  // namespace

bool IsSpoiledFrame(MjpgDamage damage, uint32_t sequence) {
  return (damage == MjpgDamage::Truncated || damage == MjpgDamage::Corrupt) && (sequence & 1u) != 0;
}

size_t ApplyMjpgDamage(MjpgDamage damage, uint32_t sequence, uint8_t* frame, size_t length) {
  const size_t sos = frame != nullptr ? SosOffset(frame, length) : 0;
  if (sos == 0 || sos + 4 > length) return length;
  const size_t scan = sos + 2 + SegmentLength(frame + sos);
  if (scan + 64 > length) return length;
  const size_t middle = scan + (length - scan) / 2;
  switch (damage) {
    case MjpgDamage::Truncated:
      return IsSpoiledFrame(damage, sequence) ? middle : length;
    case MjpgDamage::Corrupt:
      if (IsSpoiledFrame(damage, sequence)) {
        for (size_t i = middle - 32; i < middle; ++i) frame[i] ^= 0x5A;
        frame[middle] = 0xFF, frame[middle + 1] = 0xD4;  // a restart marker where none may be
      }
      return length;
    case MjpgDamage::NoHuffmanTables: {
      size_t at = 2, out = 2;
      while (at < sos) {
        const size_t segment = 2 + SegmentLength(frame + at);
        if (frame[at + 1] != kDht) {
          std::memmove(frame + out, frame + at, segment);
          out += segment;
        }
        at += segment;
      }
      std::memmove(frame + out, frame + sos, length - sos);
      return length - (sos - out);
    }
    case MjpgDamage::None:
      break;
  }
  return length;
}

}  // namespace qvvcam
