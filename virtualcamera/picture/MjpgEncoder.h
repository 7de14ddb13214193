// Encodes the test picture's RGB24 frames as the virtual camera's Motion-JPEG frames:
// baseline JPEG, 4:2:2, the standard Huffman tables, no JFIF header, and a comment
// segment right after SOI that a test reads without decoding (see TestPicture.h).
//
// The libjpeg state and the output goes to the caller's fixed buffer: a frame allocates
// nothing. One encoder serves one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace qvvcam {

class MjpgEncoder {
 public:
  MjpgEncoder(int width, int height);
  ~MjpgEncoder();
  MjpgEncoder(const MjpgEncoder&) = delete;
  MjpgEncoder& operator=(const MjpgEncoder&) = delete;

  bool Valid() const;
  // Encodes a bottom-up RGB24 frame (width x height x 3 bytes) with `comment` as its COM
  // segment; returns the JPEG's length, 0 when it does not fit in capacity.
  size_t Encode(const uint8_t* bottomUpBgr, const uint8_t* comment, size_t commentLength, uint8_t* dst,
                size_t capacity);

 private:
  struct State;
  std::unique_ptr<State> m_state;
};

}  // namespace qvvcam
