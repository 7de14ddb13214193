// The virtual camera's deterministic test picture, in portable code (no Windows types).
//
// Every frame of sequence number n is a pure function of (format, n): colour bars, a box
// that moves 4 pixels a frame, a ramp band, and a stamp band holding a magic word, n and a
// checksum. Tests generate the frame they expect, or read the stamp back from a delivered
// frame and check that it is whole. virtualcamera/README.md documents the layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace qvvcam {

// The values are the order of the format table (four sizes each); new ones go last.
enum class PixelFormat : int { Rgb24, Yuy2, Uyvy, Mjpg, Rgb32, Nv12, I420, Yv12 };
constexpr int kPixelFormatCount = 8;

class MjpgEncoder;

struct FrameFormat {
  PixelFormat pixel = PixelFormat::Rgb24;
  int width = 0;
  int height = 0;
};

// Stamp band: the top kStampRows rows of the picture; 80 cells of kStampCellWidth pixels
// carry 16 bits of magic, 32 bits of sequence number and 32 bits of checksum, MSB first.
constexpr int kStampRows = 8;
constexpr int kStampCellWidth = 4;
constexpr int kStampBits = 80;
constexpr uint32_t kStampMagic = 0x5156;  // "QV"
// The checksum is the position-weighted byte sum of the frame's RGB24 rendition outside
// the stamp band, plus the sequence number times this constant (all modulo 2^32).
constexpr uint32_t kSequenceWeight = 0x9E3779B1u;

// True for the sizes the picture can be drawn at (width >= 320 and a multiple of 16,
// height >= 32 and a multiple of 8).
bool IsSupported(const FrameFormat& format);
// Bytes of one frame (the buffer size a sample needs); 0 when not supported. MJPG
// frames are shorter than this: Generate returns their length.
size_t FrameCapacity(const FrameFormat& format);
const char* PixelFormatName(PixelFormat pixel);

// 4:2:0 formats: a Y plane, then chroma of half the width and height (see TestPicture.cpp).
bool IsPlanar(PixelFormat pixel);

// Pre-renders the static part of one format once, so a frame costs one copy plus the
// moving box and the stamp. An MJPG picture draws the RGB24 frame and encodes it: its
// Generate keeps encoder state, so one MJPG picture serves one thread at a time.
class TestPicture {
 public:
  explicit TestPicture(const FrameFormat& format);
  ~TestPicture();
  TestPicture(const TestPicture&) = delete;
  TestPicture& operator=(const TestPicture&) = delete;
  const FrameFormat& Format() const { return m_format; }
  bool Valid() const { return m_valid; }
  // Writes frame `sequence` into dst; returns the bytes written, 0 when the capacity is
  // short or the format is not supported. A still picture keeps the box where frame 0
  // has it (the device page's "Still box" pattern).
  size_t Generate(uint32_t sequence, uint8_t* dst, size_t capacity, bool still = false) const;
  // The checksum that frame `sequence` carries in its stamp (for MJPG: the stamp of the
  // RGB24 frame it encodes).
  uint32_t Checksum(uint32_t sequence, bool still = false) const;

 private:
  FrameFormat m_format;
  // MJPG only: the RGB24 picture it encodes, a frame of it, and the encoder.
  std::unique_ptr<TestPicture> m_source;
  std::unique_ptr<uint8_t[]> m_sourceFrame;
  std::unique_ptr<MjpgEncoder> m_encoder;
  std::vector<uint8_t> m_background;  // the frame without box and stamp
  std::vector<int32_t> m_boxDelta;    // per byte of a box row (RGB24 rendition): box - bars
  uint32_t m_backgroundSum = 0;
  int m_boxWidth = 0;
  bool m_valid = false;
};

// Box position of frame `sequence`: left pixel column, and its visual rows [top, bottom).
struct BoxPlace {
  int x, width, top, bottom;
};
BoxPlace BoxPlacement(const FrameFormat& format, uint32_t sequence);

enum class FrameStatus { Ok, WrongSize, NoStamp, BadChecksum };
const char* FrameStatusName(FrameStatus status);

struct FrameCheck {
  FrameStatus status = FrameStatus::NoStamp;
  uint32_t sequence = 0;  // valid unless NoStamp/WrongSize
  uint32_t checksum = 0;  // as stamped
};

// Checks a bottom-up RGB24 frame (width*height*3 bytes, no padding): stamp readable and
// exact, checksum equal to the frame's content.
FrameCheck CheckRgb24Frame(const uint8_t* frame, size_t size, int width, int height);
// Reads the stamp of a bottom-up RGB24 frame that went through a lossy codec: each cell by
// the mean of its middle pixels' green against 128. Ok when the magic reads right; the
// checksum is only read, not checked (the content differs from the source by the codec).
FrameCheck ReadRgb24Stamp(const uint8_t* frame, size_t size, int width, int height);
// Checks a frame as the pin delivered it, in any of its formats (the YUV and RGB32 formats
// are turned into RGB24 with the reference conversion first; MJPG checks its comment
// segment and the weighted sum of its entropy-coded data, without decoding).
FrameCheck CheckFrame(const FrameFormat& format, const uint8_t* frame, size_t size);
// The same, converting YUV frames into `scratch` (kept between calls: no allocation per
// frame, for checks made on a streaming thread).
FrameCheck CheckFrame(const FrameFormat& format, const uint8_t* frame, size_t size, std::vector<uint8_t>& scratch);

// The exact BT.601 integer conversion of a top-down packed 4:2:2 frame (YUY2 or UYVY)
// into a bottom-up RGB24 frame of width*height*3 bytes. False for other formats.
bool Yuv422ToRgb24Reference(PixelFormat pixel, const uint8_t* src, int width, int height, uint8_t* dst);
// The same formula for a top-down 4:2:0 frame (NV12, I420, YV12: tight planes, chroma
// of ceil(w/2) x ceil(h/2), each sample serving its 2x2 block). False for other formats.
bool Yuv420ToRgb24Reference(PixelFormat pixel, const uint8_t* src, int width, int height, uint8_t* dst);
// Any uncompressed frame of the picture's formats into bottom-up RGB24 (RGB32 drops the
// fourth byte). False for MJPG or bad arguments.
bool ToRgb24Reference(PixelFormat pixel, const uint8_t* src, int width, int height, uint8_t* dst);
// What a correct grab of frame `sequence` yields as RGB24: the frame itself for RGB24,
// its reference conversion for the YUV and RGB32 formats, empty for MJPG (whose correct
// grab is the decode of its bytes) or an unsupported size.
std::vector<uint8_t> ExpectedRgb24(const FrameFormat& format, uint32_t sequence);

// The position-weighted byte sum used by the checksum: sum of data[i] * (i + 1), mod 2^32.
uint32_t WeightedSum(const uint8_t* data, size_t size);

}  // namespace qvvcam
