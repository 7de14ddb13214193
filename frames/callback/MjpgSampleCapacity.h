// How long a Motion-JPEG sample may be to be recorded, for frames of a size the decoder
// accepts. The streaming thread copies each sample into a slot sized when the format is
// recorded, so the bound is fixed before the first frame: the bytes of the decoded RGB24
// frame (a camera's JPEG at its qualities is a fraction of them; only noise-like
// pictures at the highest qualities pass them), plus room for one marker segment of the
// largest size (64 KiB); never more than the decoder takes. Longer samples are dropped
// and counted.
#pragma once

#include <cstddef>
#include <cstdint>

#include "MjpgDecoder.h"

namespace qv {

constexpr uint64_t kMjpgHeaderRoom = uint64_t{64} << 10;

// width and height are positive and within the decoder's limits (its Reserve succeeded).
inline size_t MjpgSampleCapacity(int width, int height) {
  const uint64_t bytes = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) * 3 + kMjpgHeaderRoom;
  return static_cast<size_t>(bytes < kMaxMjpgInputBytes ? bytes : kMaxMjpgInputBytes);
}

}  // namespace qv
