// Decodes one Motion-JPEG frame into the library's RGB24 frame: width x height pixels
// of blue, green, red, the bottom row first, no padding.
//
// Camera frames are often truncated or corrupt. The decoder writes the host's buffer
// only after a whole frame decoded without a single libjpeg error or warning; any other
// frame leaves it untouched. To make that possible the picture is first decoded into a
// buffer the decoder owns and keeps, then copied out in one piece. Nothing is shown or
// printed. Keep one decoder per thread: it holds the libjpeg state between frames.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace qv {

namespace mjpg {
class JpegFrameSession;
}

// Why a frame was not decoded. The destination is untouched in every case.
enum class MjpgRefusal : uint8_t {
  NoInput,         // null data or zero length
  NoDestination,   // null destination
  SizeOutOfRange,  // width or |height| is 0 or beyond kMaxMjpgSide, or the frame beyond kMaxMjpgFrameBytes
  InputTooLong,    // more than kMaxMjpgInputBytes of compressed data
  NoMemory,        // the decoder's frame buffer or libjpeg's working memory could not be had
  CorruptFrame,    // libjpeg reported an error or a warning (truncated data, bad markers, ...)
  WrongSize,       // the frame's own size differs from the expected one
  Unsupported,     // not a single-scan Huffman frame in grey, YCbCr or RGB
  MissingTable,    // a quantisation or Huffman table the frame uses was not defined by it
};

class MjpgDecodeResult {
 public:
  static constexpr MjpgDecodeResult Decoded() { return MjpgDecodeResult(true, MjpgRefusal::NoInput); }
  static constexpr MjpgDecodeResult Refused(MjpgRefusal why) { return MjpgDecodeResult(false, why); }

  constexpr bool IsDecoded() const { return m_decoded; }
  // Meaningful only when the frame was refused.
  constexpr MjpgRefusal Refusal() const { return m_refusal; }

  constexpr bool operator==(const MjpgDecodeResult& o) const {
    return m_decoded == o.m_decoded && (m_decoded || m_refusal == o.m_refusal);
  }
  constexpr bool operator!=(const MjpgDecodeResult& o) const { return !(*this == o); }

 private:
  constexpr MjpgDecodeResult(bool decoded, MjpgRefusal why) : m_decoded(decoded), m_refusal(why) {}
  bool m_decoded;
  MjpgRefusal m_refusal;
};

// "decoded", or the refusal's name; for logs and test messages.
const char* Describe(MjpgDecodeResult result);

// Frames larger than this are refused before anything is allocated: 16384 pixels a
// side and 256 MiB of RGB24 (8K UHD is 99.5 MB). Compressed frames beyond 256 MiB too.
constexpr int64_t kMaxMjpgSide = 16384;
constexpr uint64_t kMaxMjpgFrameBytes = uint64_t{256} << 20;
constexpr uint64_t kMaxMjpgInputBytes = uint64_t{256} << 20;

class MjpgDecoder {
 public:
  MjpgDecoder();
  ~MjpgDecoder();
  MjpgDecoder(const MjpgDecoder&) = delete;
  MjpgDecoder& operator=(const MjpgDecoder&) = delete;

  // Makes the frame buffer ready for frames of width x |height| ahead of the first
  // frame, so the first decode neither allocates nor takes page faults. False when the
  // size is out of range or the memory can't be had. Optional: a decode sizes it too.
  bool Reserve(int32_t width, int32_t height);

  // Decodes data[0, length) into destination, which has room for width x |height| x 3
  // bytes. The frame's own size must be width x |height|. The sign of height changes
  // nothing: a JPEG's rows always run top to bottom, and the frame is always written
  // bottom row first, the picture upright.
  MjpgDecodeResult DecodeToBottomUpBgr(const uint8_t* data, size_t length, int32_t width, int32_t height,
                                       uint8_t* destination);

 private:
  std::unique_ptr<mjpg::JpegFrameSession> m_session;  // libjpeg's state; null if it could not be created
  std::unique_ptr<uint8_t[]> m_frame;                 // the decode target, kept from frame to frame
  size_t m_frameCapacity = 0;
};

}  // namespace qv
