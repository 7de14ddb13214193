// The faults of real Motion-JPEG cameras, applied to the virtual camera's MJPG frames by
// the device variants that send them (virtualcamera/README.md, "Device variants").
#pragma once

#include <cstddef>
#include <cstdint>

namespace qvvcam {

enum class MjpgDamage : uint32_t {
  None = 0,
  Truncated = 1,        // odd frames end halfway through their entropy-coded data
  Corrupt = 2,          // odd frames carry garbage and a stray marker mid-scan
  NoHuffmanTables = 3,  // every frame leaves out its DHT segments (the standard tables apply)
};

// Whether frame `sequence` of a device with this damage is one a decoder must refuse.
bool IsSpoiledFrame(MjpgDamage damage, uint32_t sequence);
// Applies the damage to a whole frame in place; returns its new length (the same when
// the frame is left as it is, or is not a JPEG this camera made).
size_t ApplyMjpgDamage(MjpgDamage damage, uint32_t sequence, uint8_t* frame, size_t length);

}  // namespace qvvcam
