#include "MediaFormats.h"

#include <cstring>

namespace qvvcam {
namespace {

constexpr SIZE kSizes[kSizeCount] = {{320, 240}, {640, 480}, {1280, 720}, {1920, 1080}};

struct Table {
  FrameFormat formats[kFormatCount];
  Table() {
    for (int p = 0; p < kPixelFormatCount; ++p)
      for (int s = 0; s < kSizeCount; ++s)
        formats[p * kSizeCount + s] = {static_cast<PixelFormat>(p), static_cast<int>(kSizes[s].cx),
                                       static_cast<int>(kSizes[s].cy)};
  }
};
const Table& TheTable() {
  static const Table table;
  return table;
}

// MEDIASUBTYPE_I420: the headers name only IYUV. A FOURCC subtype is the FOURCC, then
// 0000-0010-8000-00AA00389B71.
constexpr GUID kSubtypeI420 = {
    MAKEFOURCC('I', '4', '2', '0'), 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

// What the media type says of each pixel format, in PixelFormat order.
struct PixelInfo {
  const GUID* subtype;
  DWORD compression;  // biCompression
  WORD bits;          // biBitCount
};
const PixelInfo kPixelInfo[kPixelFormatCount] = {
    {&MEDIASUBTYPE_RGB24, BI_RGB, 24},
    {&MEDIASUBTYPE_YUY2, MAKEFOURCC('Y', 'U', 'Y', '2'), 16},
    {&MEDIASUBTYPE_UYVY, MAKEFOURCC('U', 'Y', 'V', 'Y'), 16},
    {&MEDIASUBTYPE_MJPG, MAKEFOURCC('M', 'J', 'P', 'G'), 24},
    {&MEDIASUBTYPE_RGB32, BI_RGB, 32},
    {&MEDIASUBTYPE_NV12, MAKEFOURCC('N', 'V', '1', '2'), 12},
    {&kSubtypeI420, MAKEFOURCC('I', '4', '2', '0'), 12},
    {&MEDIASUBTYPE_YV12, MAKEFOURCC('Y', 'V', '1', '2'), 12},
};

const PixelInfo& InfoOf(PixelFormat p) {
  const int i = static_cast<int>(p);
  return kPixelInfo[i >= 0 && i < kPixelFormatCount ? i : 0];
}

}  // namespace

const FrameFormat& FormatAt(int index) {
  return TheTable().formats[(index >= 0 && index < kFormatCount) ? index : kDefaultFormat];
}

int FormatIndex(const FrameFormat& f) {
  for (int i = 0; i < kFormatCount; ++i) {
    const FrameFormat& t = TheTable().formats[i];
    if (t.pixel == f.pixel && t.width == f.width && t.height == f.height) return i;
  }
  return -1;
}

const GUID& SubtypeOf(PixelFormat p) { return *InfoOf(p).subtype; }

HRESULT FillMediaType(const FrameFormat& f, AM_MEDIA_TYPE* mt) {
  if (mt == nullptr) return E_POINTER;
  std::memset(mt, 0, sizeof *mt);
  auto* vih = static_cast<VIDEOINFOHEADER*>(CoTaskMemAlloc(sizeof(VIDEOINFOHEADER)));
  if (vih == nullptr) return E_OUTOFMEMORY;
  std::memset(vih, 0, sizeof *vih);
  const DWORD image = static_cast<DWORD>(FrameCapacity(f));
  vih->AvgTimePerFrame = kFrameInterval;
  vih->dwBitRate = static_cast<DWORD>(static_cast<unsigned long long>(image) * 8 * kFramesPerSecond);
  BITMAPINFOHEADER& bih = vih->bmiHeader;
  bih.biSize = sizeof(BITMAPINFOHEADER);
  bih.biWidth = f.width;
  bih.biHeight = f.height;  // positive: RGB bottom-up; the FOURCC formats are top-down
  bih.biPlanes = 1;
  bih.biBitCount = InfoOf(f.pixel).bits;
  bih.biCompression = InfoOf(f.pixel).compression;
  bih.biSizeImage = image;
  mt->majortype = MEDIATYPE_Video;
  mt->subtype = SubtypeOf(f.pixel);
  mt->bFixedSizeSamples = f.pixel != PixelFormat::Mjpg;
  mt->bTemporalCompression = FALSE;
  mt->lSampleSize = f.pixel != PixelFormat::Mjpg ? image : 0;
  mt->formattype = FORMAT_VideoInfo;
  mt->cbFormat = sizeof(VIDEOINFOHEADER);
  mt->pbFormat = reinterpret_cast<BYTE*>(vih);
  return S_OK;
}

AM_MEDIA_TYPE* NewMediaType(const FrameFormat& f) {
  auto* mt = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  if (mt == nullptr) return nullptr;
  if (FAILED(FillMediaType(f, mt))) {
    CoTaskMemFree(mt);
    return nullptr;
  }
  return mt;
}

HRESULT CopyMediaType(AM_MEDIA_TYPE* dst, const AM_MEDIA_TYPE* src) {
  if (dst == nullptr || src == nullptr) return E_POINTER;
  *dst = *src;
  if (src->cbFormat != 0 && src->pbFormat != nullptr) {
    dst->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(src->cbFormat));
    if (dst->pbFormat == nullptr) {
      dst->cbFormat = 0;
      dst->pUnk = nullptr;
      return E_OUTOFMEMORY;
    }
    std::memcpy(dst->pbFormat, src->pbFormat, src->cbFormat);
  } else {
    dst->pbFormat = nullptr;
    dst->cbFormat = 0;
  }
  if (dst->pUnk != nullptr) dst->pUnk->AddRef();
  return S_OK;
}

bool FormatOfMediaType(const AM_MEDIA_TYPE* mt, FrameFormat* out) {
  if (mt == nullptr || !IsEqualGUID(mt->majortype, MEDIATYPE_Video) || !IsEqualGUID(mt->formattype, FORMAT_VideoInfo) ||
      mt->cbFormat < sizeof(VIDEOINFOHEADER) || mt->pbFormat == nullptr)
    return false;
  const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt->pbFormat);
  if (vih->AvgTimePerFrame != 0 && vih->AvgTimePerFrame != kFrameInterval) return false;
  for (int p = 0; p < kPixelFormatCount; ++p) {
    const PixelFormat pixel = static_cast<PixelFormat>(p);
    if (!IsEqualGUID(mt->subtype, SubtypeOf(pixel))) continue;
    const FrameFormat f{pixel, static_cast<int>(vih->bmiHeader.biWidth), static_cast<int>(vih->bmiHeader.biHeight)};
    if (FormatIndex(f) < 0) return false;
    if (out) *out = f;
    return true;
  }
  return false;
}

bool TypeAdmits(const AM_MEDIA_TYPE* partial, const FrameFormat& f) {
  if (partial == nullptr) return true;
  if (!IsEqualGUID(partial->majortype, GUID_NULL) && !IsEqualGUID(partial->majortype, MEDIATYPE_Video)) return false;
  if (!IsEqualGUID(partial->subtype, GUID_NULL) && !IsEqualGUID(partial->subtype, SubtypeOf(f.pixel))) return false;
  if (IsEqualGUID(partial->formattype, GUID_NULL)) return true;
  FrameFormat exact;
  return FormatOfMediaType(partial, &exact) && exact.pixel == f.pixel && exact.width == f.width &&
         exact.height == f.height;
}

void FillStreamCaps(const FrameFormat& f, VIDEO_STREAM_CONFIG_CAPS* caps) {
  std::memset(caps, 0, sizeof *caps);
  caps->guid = FORMAT_VideoInfo;
  caps->VideoStandard = 0;  // AnalogVideo_None
  caps->InputSize = {f.width, f.height};
  caps->MinCroppingSize = caps->MaxCroppingSize = caps->InputSize;
  caps->CropGranularityX = caps->CropGranularityY = 1;
  caps->CropAlignX = caps->CropAlignY = 1;
  caps->MinOutputSize = caps->MaxOutputSize = caps->InputSize;
  caps->OutputGranularityX = caps->OutputGranularityY = 1;
  caps->MinFrameInterval = caps->MaxFrameInterval = kFrameInterval;
  const long long bitsPerSecond = static_cast<long long>(FrameCapacity(f)) * 8 * kFramesPerSecond;
  const LONG bits = static_cast<LONG>(bitsPerSecond > 0x7fffffff ? 0x7fffffff : bitsPerSecond);
  caps->MinBitsPerSecond = caps->MaxBitsPerSecond = bits;
}

}  // namespace qvvcam
