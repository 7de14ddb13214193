// Test frames for the Motion-JPEG decoder, made and read with libjpeg-turbo's own IJG
// API: an encoder with the sampling and table choices cameras use, a plain reference
// decode (a fresh object, top-down RGB, then flipped and swapped), and a walk over a
// frame's header segments to cut, strip or corrupt them. Used by the tests and the
// fuzzer, so nothing here depends on the test framework.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mjpgtest {

using Bytes = std::vector<uint8_t>;

enum class Sampling { k444, k422, k420, k440, k411, kGray };
const char* SamplingName(Sampling s);

struct EncodeOptions {
  Sampling sampling = Sampling::k422;
  int quality = 95;
  bool optimizedTables = false;  // Huffman tables made for this picture instead of the standard ones
  int restartRows = 0;           // a restart marker every this many MCU rows (0: none)
  bool progressive = false;
  bool arithmetic = false;
  bool scanPerComponent = false;  // sequential, one scan per component
  bool cmyk = false;              // four components (the picture's bytes plus a constant)
  bool chromaInSlot2 = false;     // chroma Huffman tables in slot 2 instead of 1
};

// A camera-like picture: smooth gradients, a few hard edges and some noise; top-down
// red-green-blue rows.
Bytes PictureRgb(int width, int height, uint32_t seed);

// The picture as a JPEG stream. Aborts the process if libjpeg fails.
Bytes Encode(const Bytes& rgbTopDown, int width, int height, const EncodeOptions& options);

struct ReferenceDecode {
  bool clean = false;  // decoded to the end with no error and no warning
  bool error = false;  // libjpeg gave up
  unsigned width = 0, height = 0;
  Bytes bgrBottomUp;  // the library's RGB24 frame, when clean
};

// A fresh decompression object with libjpeg's defaults, rows read one at a time as RGB,
// then the rows reversed and red and blue exchanged. Prints nothing. Frames with more
// than maxPixels pixels are not decoded (error stays false, clean false).
ReferenceDecode DecodeForReference(const uint8_t* data, size_t length, size_t maxPixels = size_t{1} << 26);
inline ReferenceDecode DecodeForReference(const Bytes& jpeg) { return DecodeForReference(jpeg.data(), jpeg.size()); }

// The size the frame's header declares, read by a fresh object; false if unreadable.
bool ReadDeclaredSize(const uint8_t* data, size_t length, unsigned* width, unsigned* height);

// A marker segment from SOI up to and including SOS: marker code (0xD8 for SOI),
// offset of its 0xFF, and its whole length including the two marker bytes.
struct Segment {
  uint8_t marker;
  size_t offset;
  size_t length;
};
std::vector<Segment> HeaderSegments(const Bytes& jpeg);
// Offset of the first entropy-coded byte (just past the SOS segment); 0 if none.
size_t EntropyStart(const Bytes& jpeg);
// Offset of the first segment with this marker, or SIZE_MAX.
size_t FindSegment(const Bytes& jpeg, uint8_t marker);
// The frame with every header segment of this marker taken out.
Bytes WithoutSegments(const Bytes& jpeg, uint8_t marker);

}  // namespace mjpgtest
