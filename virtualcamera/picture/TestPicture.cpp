#include "TestPicture.h"

#include <algorithm>
#include <cstring>

#include "MjpgEncoder.h"

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

// The MJPG frame starts SOI, then a comment segment: tag, sequence, the stamp's checksum
// and the checksum of the entropy-coded data (all LE32); the JPEG's own segments follow.
constexpr uint8_t kMjpgTag[8] = {'Q', 'V', 'V', 'C', 'A', 'M', 0, 0};
constexpr size_t kMjpgCommentLength = 8 + 4 + 4 + 4;
constexpr size_t kMjpgSeqOffset = 2 + 2 + 2 + 8;
constexpr size_t kMjpgDataSumOffset = kMjpgSeqOffset + 8;
constexpr size_t kMjpgHeader = kMjpgDataSumOffset + 4;

bool IsYuv(PixelFormat p) { return p == PixelFormat::Yuy2 || p == PixelFormat::Uyvy; }
bool IsRgb(PixelFormat p) { return p == PixelFormat::Rgb24 || p == PixelFormat::Rgb32; }

// Offset of the first entropy-coded byte: the end of the SOS segment; 0 when none.
size_t ScanDataOffset(const uint8_t* frame, size_t length) {
  size_t at = 2;
  while (at + 4 <= length) {
    if (frame[at] != 0xFF) return 0;
    const size_t segment = (static_cast<size_t>(frame[at + 2]) << 8) | frame[at + 3];
    if (segment < 2 || at + 2 + segment > length) return 0;
    if (frame[at + 1] == 0xDA) return at + 2 + segment;
    at += 2 + segment;
  }
  return 0;
}

void PutLe32(uint8_t* at, uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t GetLe32(const uint8_t* at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | at[i];
  return v;
}

// The comment's last field: covers the entropy-coded data and the comment's other fields.
uint32_t MjpgDataSum(const uint8_t* scan, size_t length, uint32_t sequence, uint32_t pictureChecksum);

// 4:2:0 planes of a top-down frame: Y, then U and V (NV12: one interleaved plane).
struct Planes {
  uint8_t* y;
  uint8_t* u;
  uint8_t* v;
  size_t chromaStep;    // bytes from one chroma sample to the next in a row
  size_t chromaStride;  // bytes a chroma row
};
Planes PlanesOf(PixelFormat p, uint8_t* base, int w, int h) {
  const size_t cw = static_cast<size_t>(w + 1) / 2, ch = static_cast<size_t>(h + 1) / 2;
  uint8_t* chroma = base + static_cast<size_t>(w) * h;
  if (p == PixelFormat::Nv12) return {base, chroma, chroma + 1, 2, 2 * cw};
  uint8_t* first = chroma;
  uint8_t* second = chroma + cw * ch;
  if (p == PixelFormat::Yv12) return {base, second, first, 1, cw};
  return {base, first, second, 1, cw};
}

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

// Packed formats only.
int BytesPerPixel(PixelFormat p) { return p == PixelFormat::Rgb24 ? 3 : (p == PixelFormat::Rgb32 ? 4 : 2); }

void PutRgb(PixelFormat p, uint8_t* at, const Rgb& c) {
  at[0] = c.b, at[1] = c.g, at[2] = c.r;
  if (p == PixelFormat::Rgb32) at[3] = 255;
}

// Stamp bit k (0..79), MSB first: magic, sequence, checksum.
bool StampBit(uint32_t sequence, uint32_t checksum, int k) {
  if (k < 16) return (kStampMagic >> (15 - k)) & 1u;
  if (k < 48) return (sequence >> (47 - k)) & 1u;
  return (checksum >> (79 - k)) & 1u;
}

size_t Stride(const FrameFormat& f) { return static_cast<size_t>(f.width) * BytesPerPixel(f.pixel); }

// Byte offset of visual row y: RGB is bottom-up, the packed YUV formats top-down.
size_t RowOffset(const FrameFormat& f, int y) {
  const int memRow = IsRgb(f.pixel) ? f.height - 1 - y : y;
  return static_cast<size_t>(memRow) * Stride(f);
}

bool IsRgb24FrameOfSize(const uint8_t* frame, size_t size, int width, int height) {
  const FrameFormat f{PixelFormat::Rgb24, width, height};
  return frame != nullptr && IsSupported(f) && size == FrameCapacity(f);
}

// Fills sequence and checksum from the stamp's bits (bitAt(k) for bit k, MSB first);
// true when the magic reads right. The inverse of StampBit.
template <class BitAt>
bool ReadStampFields(FrameCheck& check, BitAt bitAt) {
  uint32_t magic = 0;
  for (int k = 0; k < kStampBits; ++k) {
    const uint32_t bit = bitAt(k) ? 1u : 0u;
    if (k < 16)
      magic = (magic << 1) | bit;
    else if (k < 48)
      check.sequence = (check.sequence << 1) | bit;
    else
      check.checksum = (check.checksum << 1) | bit;
  }
  return magic == kStampMagic;
}

uint32_t Rgb24ContentSum(const uint8_t* frame, int width, int height) {
  const size_t covered = static_cast<size_t>(height - kStampRows) * width * 3;
  return WeightedSum(frame, covered);
}

}  // namespace

bool IsSupported(const FrameFormat& f) {
  const bool pixelOk = static_cast<int>(f.pixel) >= 0 && static_cast<int>(f.pixel) < kPixelFormatCount;
  return pixelOk && f.width >= kStampBits * kStampCellWidth && f.width % 16 == 0 && f.width <= 8192 && f.height >= 32 &&
         f.height % 8 == 0 && f.height <= 8192;
}

size_t FrameCapacity(const FrameFormat& f) {
  if (!IsSupported(f)) return 0;
  if (f.pixel == PixelFormat::Mjpg) return static_cast<size_t>(f.width) * f.height * 2;
  if (IsPlanar(f.pixel)) return static_cast<size_t>(f.width) * f.height * 3 / 2;  // even sizes
  return Stride(f) * f.height;
}

const char* PixelFormatName(PixelFormat p) {
  switch (p) {
    case PixelFormat::Rgb24:
      return "RGB24";
    case PixelFormat::Yuy2:
      return "YUY2";
    case PixelFormat::Uyvy:
      return "UYVY";
    case PixelFormat::Mjpg:
      return "MJPG";
    case PixelFormat::Rgb32:
      return "RGB32";
    case PixelFormat::Nv12:
      return "NV12";
    case PixelFormat::I420:
      return "I420";
    case PixelFormat::Yv12:
      return "YV12";
  }
  return "?";
}

const char* FrameStatusName(FrameStatus s) {
  switch (s) {
    case FrameStatus::Ok:
      return "ok";
    case FrameStatus::WrongSize:
      return "wrong size";
    case FrameStatus::NoStamp:
      return "no readable stamp";
    case FrameStatus::BadChecksum:
      return "checksum mismatch (torn or damaged frame)";
  }
  return "?";
}

uint32_t WeightedSum(const uint8_t* data, size_t size) {
  uint32_t sum = 0;
  for (size_t i = 0; i < size; ++i) sum += data[i] * static_cast<uint32_t>(i + 1);
  return sum;
}

bool IsPlanar(PixelFormat p) { return p == PixelFormat::Nv12 || p == PixelFormat::I420 || p == PixelFormat::Yv12; }

namespace {
uint32_t MjpgDataSum(const uint8_t* scan, size_t length, uint32_t sequence, uint32_t pictureChecksum) {
  return WeightedSum(scan, length) + sequence * kSequenceWeight + pictureChecksum;
}
}  // namespace

BoxPlace BoxPlacement(const FrameFormat& f, uint32_t sequence) {
  const int width = f.width / 8;
  const uint64_t range = static_cast<uint64_t>(f.width - width);
  const int x = static_cast<int>((uint64_t{4} * sequence) % range);
  // 4:2:0: whole 2x2 blocks, so the box's chroma covers the box only.
  const int rowMask = IsPlanar(f.pixel) ? ~1 : ~0;
  return {x & ~1, width, (f.height * 3 / 8) & rowMask, (f.height * 5 / 8) & rowMask};
}

TestPicture::~TestPicture() = default;

TestPicture::TestPicture(const FrameFormat& format) : m_format(format) {
  if (!IsSupported(format)) return;
  const int w = format.width, h = format.height;
  m_boxWidth = w / 8;
  if (format.pixel == PixelFormat::Mjpg) {
    m_source = std::make_unique<TestPicture>(FrameFormat{PixelFormat::Rgb24, w, h});
    m_sourceFrame.reset(new uint8_t[static_cast<size_t>(w) * h * 3]);
    m_encoder = std::make_unique<MjpgEncoder>(w, h);
    m_valid = m_source->Valid() && m_encoder->Valid();
    return;
  }

  m_background.assign(FrameCapacity(format), 0);
  const int barsEnd = h * 3 / 4;
  if (IsPlanar(format.pixel)) {
    const Planes planes = PlanesOf(format.pixel, m_background.data(), w, h);
    for (int y = 0; y < h; ++y) {
      uint8_t* row = planes.y + static_cast<size_t>(y) * w;
      for (int x = 0; x < w; x += 2) {
        uint8_t y0 = kYuvBlackY, y1 = kYuvBlackY, u, v;
        if (y >= barsEnd) {
          RampYuv(x, y, y0, y1, u, v);
        } else if (y >= kStampRows) {
          y0 = y1 = kBarsYuv[x / (w / 8)].y;
        }
        row[x] = y0, row[x + 1] = y1;
      }
    }
    for (int cy = 0; cy < h / 2; ++cy) {
      const int y = 2 * cy;
      for (int cx = 0; cx < w / 2; ++cx) {
        const int x = 2 * cx;
        uint8_t u = kYuvNeutral, v = kYuvNeutral, y0, y1;
        if (y >= barsEnd) {
          RampYuv(x, y, y0, y1, u, v);
        } else if (y >= kStampRows) {
          u = kBarsYuv[x / (w / 8)].u, v = kBarsYuv[x / (w / 8)].v;
        }
        const size_t at = static_cast<size_t>(cy) * planes.chromaStride + static_cast<size_t>(cx) * planes.chromaStep;
        planes.u[at] = u, planes.v[at] = v;
      }
    }
  }
  for (int y = 0; y < h && !IsPlanar(format.pixel); ++y) {
    uint8_t* row = m_background.data() + RowOffset(format, y);
    const int bpp = BytesPerPixel(format.pixel);
    for (int x = 0; x < w; x += 2) {
      const int bar = x / (w / 8);
      if (IsRgb(format.pixel)) {
        for (int i = 0; i < 2; ++i) {
          const Rgb c = y < kStampRows ? Rgb{0, 0, 0} : (y < barsEnd ? kBarsRgb[bar] : RampRgb(x + i, y));
          PutRgb(format.pixel, row + static_cast<size_t>(bpp) * (x + i), c);
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
  if (format.pixel != PixelFormat::Rgb24) {
    rendition.resize(static_cast<size_t>(w) * h * 3);
    ToRgb24Reference(format.pixel, m_background.data(), w, h, rendition.data());
    rgb = rendition.data();
  }
  m_backgroundSum = Rgb24ContentSum(rgb, w, h);
  const Rgb box = IsRgb(format.pixel) ? kBoxRgb : YuvToRgb(kBoxYuv.y, kBoxYuv.u, kBoxYuv.v);
  const uint8_t* barsRow = rgb + static_cast<size_t>(h - 1 - h / 2) * w * 3;
  m_boxDelta.resize(static_cast<size_t>(w) * 3);
  for (int x = 0; x < w; ++x) {
    m_boxDelta[3 * x] = box.b - barsRow[3 * x];
    m_boxDelta[3 * x + 1] = box.g - barsRow[3 * x + 1];
    m_boxDelta[3 * x + 2] = box.r - barsRow[3 * x + 2];
  }
  m_valid = true;
}

uint32_t TestPicture::Checksum(uint32_t sequence, bool still) const {
  if (!Valid()) return 0;
  if (m_format.pixel == PixelFormat::Mjpg) return m_source->Checksum(sequence, still);
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
  if (!Valid() || dst == nullptr) return 0;
  const FrameFormat& f = m_format;
  if (f.pixel == PixelFormat::Mjpg) {
    const size_t sourceBytes = static_cast<size_t>(f.width) * f.height * 3;
    m_source->Generate(sequence, m_sourceFrame.get(), sourceBytes, still);
    uint8_t comment[kMjpgCommentLength];
    std::memcpy(comment, kMjpgTag, sizeof kMjpgTag);
    PutLe32(comment + 8, sequence);
    PutLe32(comment + 12, m_source->Checksum(sequence, still));
    PutLe32(comment + 16, 0);  // the data's checksum, known once encoded
    const size_t length = m_encoder->Encode(m_sourceFrame.get(), comment, sizeof comment, dst, capacity);
    const size_t scan = length != 0 ? ScanDataOffset(dst, length) : 0;
    if (scan == 0 || dst[2] != 0xFF || dst[3] != 0xFE) return 0;
    PutLe32(dst + kMjpgDataSumOffset, MjpgDataSum(dst + scan, length - scan, sequence, GetLe32(comment + 12)));
    return length;
  }
  if (capacity < m_background.size()) return 0;
  const uint32_t checksum = Checksum(sequence, still);
  std::memcpy(dst, m_background.data(), m_background.size());
  const BoxPlace box = BoxPlacement(f, still ? 0 : sequence);
  if (IsPlanar(f.pixel)) {
    const Planes planes = PlanesOf(f.pixel, dst, f.width, f.height);
    for (int y = box.top; y < box.bottom; ++y)
      std::memset(planes.y + static_cast<size_t>(y) * f.width + box.x, kBoxYuv.y, box.width);
    for (int cy = box.top / 2; cy < box.bottom / 2; ++cy) {
      for (int cx = box.x / 2; cx < (box.x + box.width) / 2; ++cx) {
        const size_t at = static_cast<size_t>(cy) * planes.chromaStride + static_cast<size_t>(cx) * planes.chromaStep;
        planes.u[at] = kBoxYuv.u, planes.v[at] = kBoxYuv.v;
      }
    }
    for (int k = 0; k < kStampBits; ++k) {
      if (StampBit(sequence, checksum, k))
        std::memset(planes.y + static_cast<size_t>(k) * kStampCellWidth, kYuvWhiteY, kStampCellWidth);
    }
    for (int y = 1; y < kStampRows; ++y) std::memcpy(planes.y + static_cast<size_t>(y) * f.width, planes.y, f.width);
    return m_background.size();
  }

  const size_t stride = Stride(f);
  // One box row, then copies of it.
  uint8_t* first = dst + RowOffset(f, box.top) + static_cast<size_t>(box.x) * BytesPerPixel(f.pixel);
  if (IsRgb(f.pixel)) {
    for (int x = 0; x < box.width; ++x)
      PutRgb(f.pixel, first + static_cast<size_t>(BytesPerPixel(f.pixel)) * x, kBoxRgb);
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
    if (IsRgb(f.pixel)) {
      std::memset(cell, 255, static_cast<size_t>(kStampCellWidth) * BytesPerPixel(f.pixel));
    } else {
      for (int x = 0; x < kStampCellWidth; x += 2)
        PutPair(f.pixel, cell + 2 * x, kYuvWhiteY, kYuvWhiteY, kYuvNeutral, kYuvNeutral);
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

bool Yuv420ToRgb24Reference(PixelFormat pixel, const uint8_t* src, int width, int height, uint8_t* dst) {
  if (!IsPlanar(pixel) || src == nullptr || dst == nullptr || width <= 0 || height <= 0) return false;
  const Planes planes = PlanesOf(pixel, const_cast<uint8_t*>(src), width, height);
  for (int y = 0; y < height; ++y) {
    uint8_t* out = dst + static_cast<size_t>(height - 1 - y) * width * 3;
    for (int x = 0; x < width; ++x, out += 3) {
      const size_t at =
          static_cast<size_t>(y / 2) * planes.chromaStride + static_cast<size_t>(x / 2) * planes.chromaStep;
      const Rgb c = YuvToRgb(planes.y[static_cast<size_t>(y) * width + x], planes.u[at], planes.v[at]);
      out[0] = c.b, out[1] = c.g, out[2] = c.r;
    }
  }
  return true;
}

bool ToRgb24Reference(PixelFormat pixel, const uint8_t* src, int width, int height, uint8_t* dst) {
  if (IsYuv(pixel)) return Yuv422ToRgb24Reference(pixel, src, width, height, dst);
  if (IsPlanar(pixel)) return Yuv420ToRgb24Reference(pixel, src, width, height, dst);
  if (!IsRgb(pixel) || src == nullptr || dst == nullptr || width <= 0 || height <= 0) return false;
  const size_t pixels = static_cast<size_t>(width) * height;
  if (pixel == PixelFormat::Rgb24) {
    std::memcpy(dst, src, pixels * 3);
    return true;
  }
  for (size_t i = 0; i < pixels; ++i)
    dst[3 * i] = src[4 * i], dst[3 * i + 1] = src[4 * i + 1], dst[3 * i + 2] = src[4 * i + 2];
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
  ToRgb24Reference(format.pixel, frame.data(), format.width, format.height, rgb.data());
  return rgb;
}

FrameCheck ReadRgb24Stamp(const uint8_t* frame, size_t size, int width, int height) {
  FrameCheck check;
  if (!IsRgb24FrameOfSize(frame, size, width, height)) {
    check.status = FrameStatus::WrongSize;
    return check;
  }
  const size_t stride = static_cast<size_t>(width) * 3;
  const bool magic = ReadStampFields(check, [&](int k) {
    int sum = 0;
    for (int y = 3; y <= 4; ++y) {
      const uint8_t* row = frame + static_cast<size_t>(height - 1 - y) * stride;
      for (int x = k * kStampCellWidth + 1; x <= k * kStampCellWidth + 2; ++x) sum += row[3 * x + 1];
    }
    return sum > 4 * 128;
  });
  check.status = magic ? FrameStatus::Ok : FrameStatus::NoStamp;
  return check;
}

FrameCheck CheckRgb24Frame(const uint8_t* frame, size_t size, int width, int height) {
  FrameCheck check;
  if (!IsRgb24FrameOfSize(frame, size, width, height)) {
    check.status = FrameStatus::WrongSize;
    return check;
  }
  const size_t stride = static_cast<size_t>(width) * 3;
  const uint8_t* top = frame + static_cast<size_t>(height - 1) * stride;  // visual row 0
  // Every byte of the band must be exactly what the bits read draw.
  bool exact = ReadStampFields(check, [&](int k) { return top[static_cast<size_t>(k) * kStampCellWidth * 3] > 127; });
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
    case PixelFormat::Mjpg: {
      if (size < kMjpgHeader || size > FrameCapacity(format)) return check;
      check.status = FrameStatus::NoStamp;
      if (frame[0] != 0xFF || frame[1] != 0xD8 || frame[2] != 0xFF || frame[3] != 0xFE || frame[4] != 0 ||
          frame[5] != 2 + kMjpgCommentLength || std::memcmp(frame + 6, kMjpgTag, sizeof kMjpgTag) != 0)
        return check;
      check.sequence = GetLe32(frame + kMjpgSeqOffset);
      check.checksum = GetLe32(frame + kMjpgSeqOffset + 4);
      const size_t scan = ScanDataOffset(frame, size);
      const uint32_t content = scan == 0 ? 0 : MjpgDataSum(frame + scan, size - scan, check.sequence, check.checksum);
      check.status =
          scan != 0 && content == GetLe32(frame + kMjpgDataSumOffset) ? FrameStatus::Ok : FrameStatus::BadChecksum;
      return check;
    }
    default: {
      if (size != FrameCapacity(format)) return check;
      scratch.resize(static_cast<size_t>(format.width) * format.height * 3);
      ToRgb24Reference(format.pixel, frame, format.width, format.height, scratch.data());
      return CheckRgb24Frame(scratch.data(), scratch.size(), format.width, format.height);
    }
  }
}

}  // namespace qvvcam
