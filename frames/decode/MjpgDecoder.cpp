#include "MjpgDecoder.h"

#include <cstring>
#include <new>

#include "JpegFrameSession.h"

namespace qv {

namespace {

// width x |height| x 3 in 64 bits, so 32-bit builds refuse exactly what 64-bit ones do.
bool FrameBytes(int32_t width, int32_t height, size_t* bytes) {
  const int64_t w = width;
  const int64_t h = height < 0 ? -static_cast<int64_t>(height) : height;
  if (w < 1 || h < 1 || w > kMaxMjpgSide || h > kMaxMjpgSide) return false;
  const uint64_t frameBytes = static_cast<uint64_t>(w) * static_cast<uint64_t>(h) * 3;
  if (frameBytes > kMaxMjpgFrameBytes) return false;
  *bytes = static_cast<size_t>(frameBytes);
  return true;
}

uint32_t Magnitude(int32_t value) {
  return value < 0 ? static_cast<uint32_t>(-static_cast<int64_t>(value)) : static_cast<uint32_t>(value);
}

}  // namespace

const char* Describe(MjpgDecodeResult result) {
  if (result.IsDecoded()) return "decoded";
  switch (result.Refusal()) {
    case MjpgRefusal::NoInput:
      return "refused: no input";
    case MjpgRefusal::NoDestination:
      return "refused: no destination";
    case MjpgRefusal::SizeOutOfRange:
      return "refused: size out of range";
    case MjpgRefusal::InputTooLong:
      return "refused: input too long";
    case MjpgRefusal::NoMemory:
      return "refused: no memory";
    case MjpgRefusal::CorruptFrame:
      return "refused: corrupt frame";
    case MjpgRefusal::WrongSize:
      return "refused: wrong size";
    case MjpgRefusal::Unsupported:
      return "refused: unsupported frame";
    case MjpgRefusal::MissingTable:
      return "refused: missing table";
  }
  return "refused: unknown reason";
}

MjpgDecoder::MjpgDecoder() : m_session(mjpg::JpegFrameSession::Open()) {}

MjpgDecoder::~MjpgDecoder() = default;

bool MjpgDecoder::Reserve(int32_t width, int32_t height) {
  size_t bytes = 0;
  if (!FrameBytes(width, height, &bytes)) return false;
  if (bytes <= m_frameCapacity) return true;
  m_frame.reset();
  m_frameCapacity = 0;
  m_frame.reset(new (std::nothrow) uint8_t[bytes]);
  if (!m_frame) return false;
  // Touched now: fresh pages faulted in during a decode cost more than the decode.
  std::memset(m_frame.get(), 0, bytes);
  m_frameCapacity = bytes;
  return true;
}

MjpgDecodeResult MjpgDecoder::DecodeToBottomUpBgr(const uint8_t* data, size_t length, int32_t width, int32_t height,
                                                  uint8_t* destination) {
  if (data == nullptr || length == 0) return MjpgDecodeResult::Refused(MjpgRefusal::NoInput);
  if (destination == nullptr) return MjpgDecodeResult::Refused(MjpgRefusal::NoDestination);
  size_t bytes = 0;
  if (!FrameBytes(width, height, &bytes)) return MjpgDecodeResult::Refused(MjpgRefusal::SizeOutOfRange);
  if (static_cast<uint64_t>(length) > kMaxMjpgInputBytes) return MjpgDecodeResult::Refused(MjpgRefusal::InputTooLong);
  if (!m_session || !Reserve(width, height)) return MjpgDecodeResult::Refused(MjpgRefusal::NoMemory);

  MjpgRefusal why = MjpgRefusal::CorruptFrame;
  if (!m_session->Decode(data, length, static_cast<uint32_t>(width), Magnitude(height), m_frame.get(), &why)) {
    return MjpgDecodeResult::Refused(why);
  }
  std::memcpy(destination, m_frame.get(), bytes);
  return MjpgDecodeResult::Decoded();
}

}  // namespace qv
