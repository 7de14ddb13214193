#include "TestPicture.h"

#include <algorithm>
#include <cstring>

namespace qvvcam {
namespace {

struct Rgb {
  uint8_t b, g, r;
};
struct Yuv {
  uint8_t y, u, v;
};

// 75% colour bars, left to right: white, yellow, cyan, green, magenta, red, blue, black.
constexpr Rgb kBarsRgb[8] = {{191, 191, 191}, {0, 191, 191}, {191, 191, 0}, {0, 191, 0},
                             {191, 0, 191},   {0, 0, 191},   {191, 0, 0},   {0, 0, 0}};
constexpr Yuv kBarsYuv[8] = {{180, 128, 128}, {162, 44, 142}, {131, 156, 44}, {112, 72, 58},
                             {84, 184, 198},  {65, 100, 212}, {35, 212, 114}, {16, 128, 128}};
constexpr Rgb kBoxRgb = {40, 220, 250};
constexpr Yuv kBoxYuv = {170, 40, 220};
constexpr uint8_t kYuvBlackY = 16, kYuvWhiteY = 235, kYuvNeutral = 128;

// The MJPG frame: SOI, a comment segment with the stamp, a fixed payload, EOI.
constexpr uint8_t kMjpgTag[8] = {'Q', 'V', 'V', 'C', 'A', 'M', 0, 0};
constexpr size_t kMjpgHeader = 2 + 2 + 2 + 16;  // SOI, COM marker, length, tag+seq+checksum
constexpr size_t kMjpgSeqOffset = 2 + 2 + 2 + 8;

bool IsYuv(PixelFormat p) { return p == PixelFormat::Yuy2 || p == PixelFormat::Uyvy; }

size_t MjpgPayload(const FrameFormat& f) { return static_cast<size_t>(f.width) * f.height / 8; }
size_t MjpgLength(const FrameFormat& f) { return kMjpgHeader + MjpgPayload(f) + 2; }

uint8_t Clamp(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// The exact integer BT.601 formula, one pixel.
Rgb YuvToRgb(int y, int u, int v) {
  const int c = y - 16, d = u - 128, e = v - 128;
  return {Clamp((298 * c + 516 * d + 128) >> 8), Clamp((298 * c - 100 * d - 208 * e + 128) >> 8),
          Clamp((298 * c + 409 * e + 128) >> 8)};
}

// Ramp band contents: every pixel differs. The YUV ramp stays where the conversion never
// clamps (Y 76..176, U and V 104..152), so a change of any of its bytes shows in RGB24.
Rgb RampRgb(int x, int y) {
  return {static_cast<uint8_t>((x ^ y) & 255), static_cast<uint8_t>((y * 2) & 255), static_cast<uint8_t>(x & 255)};
}
void RampYuv(int x, int y, uint8_t& y0, uint8_t& y1, uint8_t& u, uint8_t& v) {
  y0 = static_cast<uint8_t>(76 + (x * 5 + y * 3) % 101);
  y1 = static_cast<uint8_t>(76 + (x * 5 + y * 3 + 37) % 101);
  u = static_cast<uint8_t>(104 + (x * 3 + y * 7) % 49);
  v = static_cast<uint8_t>(104 + (x * 13 + y * 2 + 50) % 49);
}

void PutPair(PixelFormat p, uint8_t* at, uint8_t y0, uint8_t y1, uint8_t u, uint8_t v) {
  if (p == PixelFormat::Yuy2) {
    at[0] = y0, at[1] = u, at[2] = y1, at[3] = v;
  } else {
    at[0] = u, at[1] = y0, at[2] = v, at[3] = y1;
  }
}

int BytesPerPixel(PixelFormat p) { return p == PixelFormat::Rgb24 ? 3 : 2; }

// Stamp bit k (0..79), MSB first: magic, sequence, checksum.
bool StampBit(uint32_t sequence, uint32_t checksum, int k) {
  if (k < 16) return (kStampMagic >> (15 - k)) & 1u;
  if (k < 48) return (sequence >> (47 - k)) & 1u;
  return (checksum >> (79 - k)) & 1u;
}

size_t Stride(const FrameFormat& f) { return static_cast<size_t>(f.width) * BytesPerPixel(f.pixel); }

// Byte offset of visual row y: RGB24 is bottom-up, the packed YUV formats top-down.
size_t RowOffset(const FrameFormat& f, int y) {
  const int memRow = f.pixel == PixelFormat::Rgb24 ? f.height - 1 - y : y;
  return static_cast<size_t>(memRow) * Stride(f);
}

uint32_t Rgb24ContentSum(const uint8_t* frame, int width, int height) {
  const size_t covered = static_cast<size_t>(height - kStampRows) * width * 3;
  return WeightedSum(frame, covered);
}

}  // namespace

bool IsSupported(const FrameFormat& f) {
  const bool pixelOk = f.pixel == PixelFormat::Rgb24 || IsYuv(f.pixel) || f.pixel == PixelFormat::Mjpg;
  return pixelOk && f.width >= kStampBits * kStampCellWidth && f.width % 16 == 0 && f.width <= 8192 &&
         f.height >= 32 && f.height % 8 == 0 && f.height <= 8192;
}

size_t FrameCapacity(const FrameFormat& f) {
  if (!IsSupported(f)) return 0;
  if (f.pixel == PixelFormat::Mjpg) return static_cast<size_t>(f.width) * f.height * 2;
  return Stride(f) * f.height;
}

const char* PixelFormatName(PixelFormat p) {
  switch (p) {
    case PixelFormat::Rgb24: return "RGB24";
    case PixelFormat::Yuy2: return "YUY2";
    case PixelFormat::Uyvy: return "UYVY";
    case PixelFormat::Mjpg: return "MJPG";
  }
  return "?";
}

const char* FrameStatusName(FrameStatus s) {
  switch (s) {
    case FrameStatus::Ok: return "ok";
    case FrameStatus::WrongSize: return "wrong size";
    case FrameStatus::NoStamp: return "no readable stamp";
    case FrameStatus::BadChecksum: return "checksum mismatch (torn or damaged frame)";
  }
  return "?";
}

uint32_t WeightedSum(const uint8_t* data, size_t size) {
  uint32_t sum = 0;
  for (size_t i = 0; i < size; ++i) sum += data[i] * static_cast<uint32_t>(i + 1);
  return sum;
}

BoxPlace BoxPlacement(const FrameFormat& f, uint32_t sequence) {
  const int width = f.width / 8;
  const uint64_t range = static_cast<uint64_t>(f.width - width);
  const int x = static_cast<int>((uint64_t{4} * sequence) % range);
  return {x & ~1, width, f.height * 3 / 8, f.height * 5 / 8};
}

TestPicture::TestPicture(const FrameFormat& format) : m_format(format) {
  if (!IsSupported(format)) return;
  const int w = format.width, h = format.height;
  m_boxWidth = w / 8;
  if (format.pixel == PixelFormat::Mjpg) {
    const size_t payload = MjpgPayload(format);
    m_background.assign(MjpgLength(format), 0);
    uint8_t* p = m_background.data();
    p[0] = 0xFF, p[1] = 0xD8, p[2] = 0xFF, p[3] = 0xFE, p[4] = 0, p[5] = 18;
    std::memcpy(p + 6, kMjpgTag, sizeof kMjpgTag);
    uint8_t* data = p + kMjpgHeader;
    for (size_t k = 0; k < payload; ++k) data[k] = static_cast<uint8_t>((k * 31 + (k >> 8) * 7) % 255);
    p[kMjpgHeader + payload] = 0xFF, p[kMjpgHeader + payload + 1] = 0xD9;
    m_backgroundSum = WeightedSum(data, payload);
    return;
  }

  m_background.assign(FrameCapacity(format), 0);
  const int barsEnd = h * 3 / 4;
  for (int y = 0; y < h; ++y) {
    uint8_t* row = m_background.data() + RowOffset(format, y);
    for (int x = 0; x < w; x += 2) {
      const int bar = x / (w / 8);
      if (format.pixel == PixelFormat::Rgb24) {
        for (int i = 0; i < 2; ++i) {
          const Rgb c = y < kStampRows ? Rgb{0, 0, 0} : (y < barsEnd ? kBarsRgb[bar] : RampRgb(x + i, y));
          row[3 * (x + i)] = c.b, row[3 * (x + i) + 1] = c.g, row[3 * (x + i) + 2] = c.r;
        }
      } else if (y < kStampRows) {
        PutPair(format.pixel, row + 2 * x, kYuvBlackY, kYuvBlackY, kYuvNeutral, kYuvNeutral);
      } else if (y < barsEnd) {
        const Yuv c = kBarsYuv[bar];
        PutPair(format.pixel, row + 2 * x, c.y, c.y, c.u, c.v);
      } else {
        uint8_t y0, y1, u, v;
        RampYuv(x, y, y0, y1, u, v);
        PutPair(format.pixel, row + 2 * x, y0, y1, u, v);
      }
    }
  }

  // The checksum is taken over the RGB24 rendition; keep the background's sum and, per
  // byte of a bars row, what the box changes, so a frame's checksum costs O(box rows).
  std::vector<uint8_t> rendition;
  const uint8_t* rgb = m_background.data();
  if (IsYuv(format.pixel)) {
    rendition.resize(static_cast<size_t>(w) * h * 3);
    Yuv422ToRgb24Reference(format.pixel, m_background.data(), w, h, rendition.data());
    rgb = rendition.data();
  }
  m_backgroundSum = Rgb24ContentSum(rgb, w, h);
  const Rgb box = format.pixel == PixelFormat::Rgb24 ? kBoxRgb : YuvToRgb(kBoxYuv.y, kBoxYuv.u, kBoxYuv.v);
  const uint8_t* barsRow = rgb + static_cast<size_t>(h - 1 - h / 2) * w * 3;
  m_boxDelta.resize(static_cast<size_t>(w) * 3);
  for (int x = 0; x < w; ++x) {
    m_boxDelta[3 * x] = box.b - barsRow[3 * x];
    m_boxDelta[3 * x + 1] = box.g - barsRow[3 * x + 1];
    m_boxDelta[3 * x + 2] = box.r - barsRow[3 * x + 2];
  }
}

uint32_t TestPicture::Checksum(uint32_t sequence, bool still) const {
  if (!Valid()) return 0;
  if (m_format.pixel == PixelFormat::Mjpg) return m_backgroundSum + sequence * kSequenceWeight;
  const BoxPlace box = BoxPlacement(m_format, still ? 0 : sequence);
  const int64_t stride = static_cast<int64_t>(m_format.width) * 3;
  int64_t d0 = 0, d1 = 0;
  for (int64_t j = 3 * box.x; j < 3 * (box.x + box.width); ++j) {
    d0 += m_boxDelta[j];
    d1 += m_boxDelta[j] * (j + 1);
  }
  int64_t delta = 0;
  for (int y = box.top; y < box.bottom; ++y) {
    const int64_t memRow = m_format.height - 1 - y;  // the rendition is bottom-up
    delta += memRow * stride * d0 + d1;
  }
  return m_backgroundSum + static_cast<uint32_t>(static_cast<uint64_t>(delta)) + sequence * kSequenceWeight;
}

size_t TestPicture::Generate(uint32_t sequence, uint8_t* dst, size_t capacity, bool still) const {
  if (!Valid() || dst == nullptr || capacity < m_background.size()) return 0;
  const uint32_t checksum = Checksum(sequence, still);
  std::memcpy(dst, m_background.data(), m_background.size());
  if (m_format.pixel == PixelFormat::Mjpg) {
    uint8_t* p = dst + kMjpgSeqOffset;
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(sequence >> (8 * i));
    for (int i = 0; i < 4; ++i) p[4 + i] = static_cast<uint8_t>(checksum >> (8 * i));
    return m_background.size();
  }

  const FrameFormat& f = m_format;
  const BoxPlace box = BoxPlacement(f, still ? 0 : sequence);
  const size_t stride = Stride(f);
  // One box row, then copies of it.
  uint8_t* first = dst + RowOffset(f, box.top) + static_cast<size_t>(box.x) * BytesPerPixel(f.pixel);
  if (f.pixel == PixelFormat::Rgb24) {
    for (int x = 0; x < box.width; ++x) first[3 * x] = kBoxRgb.b, first[3 * x + 1] = kBoxRgb.g, first[3 * x + 2] = kBoxRgb.r;
  } else {
    for (int x = 0; x < box.width; x += 2) PutPair(f.pixel, first + 2 * x, kBoxYuv.y, kBoxYuv.y, kBoxYuv.u, kBoxYuv.v);
  }
  const size_t boxBytes = static_cast<size_t>(box.width) * BytesPerPixel(f.pixel);
  for (int y = box.top + 1; y < box.bottom; ++y)
    std::memcpy(dst + RowOffset(f, y) + static_cast<size_t>(box.x) * BytesPerPixel(f.pixel), first, boxBytes);

  // Stamp: draw visual row 0 (already black from the background), copy it down the band.
  uint8_t* stampRow = dst + RowOffset(f, 0);
  for (int k = 0; k < kStampBits; ++k) {
    if (!StampBit(sequence, checksum, k)) continue;
    uint8_t* cell = stampRow + static_cast<size_t>(k) * kStampCellWidth * BytesPerPixel(f.pixel);
    if (f.pixel == PixelFormat::Rgb24) {
      std::memset(cell, 255, kStampCellWidth * 3);
    } else {
      for (int x = 0; x < kStampCellWidth; x += 2) PutPair(f.pixel, cell + 2 * x, kYuvWhiteY, kYuvWhiteY, kYuvNeutral, kYuvNeutral);
    }
  }
  for (int y = 1; y < kStampRows; ++y) std::memcpy(dst + RowOffset(f, y), stampRow, stride);
  return m_background.size();
}

bool Yuv422ToRgb24Reference(PixelFormat pixel, const uint8_t* src, int width, int height, uint8_t* dst) {
  if (!IsYuv(pixel) || src == nullptr || dst == nullptr || width <= 0 || height <= 0 || width % 2 != 0) return false;
  const bool yuy2 = pixel == PixelFormat::Yuy2;
  for (int y = 0; y < height; ++y) {
    const uint8_t* in = src + static_cast<size_t>(y) * width * 2;
    uint8_t* out = dst + static_cast<size_t>(height - 1 - y) * width * 3;
    for (int x = 0; x < width; x += 2, in += 4, out += 6) {
      const int y0 = yuy2 ? in[0] : in[1], u = yuy2 ? in[1] : in[0];
      const int y1 = yuy2 ? in[2] : in[3], v = yuy2 ? in[3] : in[2];
      const Rgb a = YuvToRgb(y0, u, v), b = YuvToRgb(y1, u, v);
      out[0] = a.b, out[1] = a.g, out[2] = a.r, out[3] = b.b, out[4] = b.g, out[5] = b.r;
    }
  }
  return true;
}

std::vector<uint8_t> ExpectedRgb24(const FrameFormat& format, uint32_t sequence) {
  if (format.pixel == PixelFormat::Mjpg) return {};
  TestPicture picture(format);
  if (!picture.Valid()) return {};
  std::vector<uint8_t> frame(FrameCapacity(format));
  picture.Generate(sequence, frame.data(), frame.size());
  if (format.pixel == PixelFormat::Rgb24) return frame;
  std::vector<uint8_t> rgb(static_cast<size_t>(format.width) * format.height * 3);
  Yuv422ToRgb24Reference(format.pixel, frame.data(), format.width, format.height, rgb.data());
  return rgb;
}

FrameCheck CheckRgb24Frame(const uint8_t* frame, size_t size, int width, int height) {
  FrameCheck check;
  const FrameFormat f{PixelFormat::Rgb24, width, height};
  if (frame == nullptr || !IsSupported(f) || size != FrameCapacity(f)) {
    check.status = FrameStatus::WrongSize;
    return check;
  }
  const size_t stride = static_cast<size_t>(width) * 3;
  const uint8_t* top = frame + static_cast<size_t>(height - 1) * stride;  // visual row 0
  uint32_t magic = 0;
  for (int k = 0; k < kStampBits; ++k) {
    const uint32_t bit = top[static_cast<size_t>(k) * kStampCellWidth * 3] > 127 ? 1u : 0u;
    if (k < 16) magic = (magic << 1) | bit;
    else if (k < 48) check.sequence = (check.sequence << 1) | bit;
    else check.checksum = (check.checksum << 1) | bit;
  }
  // Every byte of the band must be exactly what those bits draw.
  bool exact = magic == kStampMagic;
  for (int y = 0; exact && y < kStampRows; ++y) {
    const uint8_t* row = frame + static_cast<size_t>(height - 1 - y) * stride;
    for (size_t i = 0; i < stride; ++i) {
      const int k = static_cast<int>(i / (kStampCellWidth * 3));
      const uint8_t want = (k < kStampBits && StampBit(check.sequence, check.checksum, k)) ? 255 : 0;
      if (row[i] != want) {
        exact = false;
        break;
      }
    }
  }
  if (!exact) {
    check.status = FrameStatus::NoStamp;
    return check;
  }
  const uint32_t content = Rgb24ContentSum(frame, width, height) + check.sequence * kSequenceWeight;
  check.status = content == check.checksum ? FrameStatus::Ok : FrameStatus::BadChecksum;
  return check;
}

FrameCheck CheckFrame(const FrameFormat& format, const uint8_t* frame, size_t size) {
  std::vector<uint8_t> scratch;
  return CheckFrame(format, frame, size, scratch);
}

FrameCheck CheckFrame(const FrameFormat& format, const uint8_t* frame, size_t size, std::vector<uint8_t>& scratch) {
  FrameCheck check;
  check.status = FrameStatus::WrongSize;
  if (frame == nullptr || !IsSupported(format)) return check;
  switch (format.pixel) {
    case PixelFormat::Rgb24:
      return CheckRgb24Frame(frame, size, format.width, format.height);
    case PixelFormat::Yuy2:
    case PixelFormat::Uyvy: {
      if (size != FrameCapacity(format)) return check;
      scratch.resize(static_cast<size_t>(format.width) * format.height * 3);
      Yuv422ToRgb24Reference(format.pixel, frame, format.width, format.height, scratch.data());
      return CheckRgb24Frame(scratch.data(), scratch.size(), format.width, format.height);
    }
    case PixelFormat::Mjpg: {
      const size_t payload = MjpgPayload(format);
      if (size != MjpgLength(format)) return check;
      check.status = FrameStatus::NoStamp;
      if (frame[0] != 0xFF || frame[1] != 0xD8 || frame[2] != 0xFF || frame[3] != 0xFE || frame[4] != 0 ||
          frame[5] != 18 || std::memcmp(frame + 6, kMjpgTag, sizeof kMjpgTag) != 0 || frame[size - 2] != 0xFF ||
          frame[size - 1] != 0xD9)
        return check;
      for (int i = 3; i >= 0; --i) check.sequence = (check.sequence << 8) | frame[kMjpgSeqOffset + i];
      for (int i = 3; i >= 0; --i) check.checksum = (check.checksum << 8) | frame[kMjpgSeqOffset + 4 + i];
      const uint32_t content = WeightedSum(frame + kMjpgHeader, payload) + check.sequence * kSequenceWeight;
      check.status = content == check.checksum ? FrameStatus::Ok : FrameStatus::BadChecksum;
      return check;
    }
  }
  return check;
}

}  // namespace qvvcam
