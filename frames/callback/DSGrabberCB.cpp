#include "DSGrabberCB.h"

#include <cstdint>
#include <cstring>
#include <new>

#include "ByteCount.h"
#include "FourccSubtype.h"
#include "FrameFormats.h"
#include "MjpgDecoder.h"
#include "MjpgSampleCapacity.h"
#include "PixelConversions.h"
#include "PlanarConversions.h"

std::atomic<LONG> g_nGrabFlag{kGrabFlagOn};

namespace {

using qv::rows::kRgb24PixelBytes;
constexpr int kPackedYuvPixelBytes = 2;
// The platform pads each RGB24 row to a multiple of 4 bytes.
constexpr uint64_t kRgb24RowAlignment = 4;

CString DefaultCapturePath() {
  const wchar_t kDefault[] = L"c:\\ombrix.bmp";
  char ansi[64] = {};
  WideCharToMultiByte(CP_ACP, 0, kDefault, -1, ansi, sizeof ansi, nullptr, nullptr);
  return CString(ansi);
}

}  // namespace

CDSGrabberCB::Layout CDSGrabberCB::LayoutOf(const GUID& subtype) {
  if (IsEqualGUID(subtype, MEDIASUBTYPE_RGB24)) return Layout::Rgb24;
  if (IsEqualGUID(subtype, MEDIASUBTYPE_YUY2)) return Layout::Yuy2;
  if (IsEqualGUID(subtype, MEDIASUBTYPE_UYVY)) return Layout::Uyvy;
  if (IsEqualGUID(subtype, MEDIASUBTYPE_NV12)) return Layout::Nv12;
  if (IsEqualGUID(subtype, qv::kMediaSubtypeI420) || IsEqualGUID(subtype, MEDIASUBTYPE_IYUV)) return Layout::I420;
  if (IsEqualGUID(subtype, MEDIASUBTYPE_YV12)) return Layout::Yv12;
  if (IsEqualGUID(subtype, MEDIASUBTYPE_RGB32)) return Layout::Rgb32;
  if (IsEqualGUID(subtype, MEDIASUBTYPE_MJPG)) return Layout::Mjpg;
  return Layout::Other;
}

CDSGrabberCB::CDSGrabberCB() : m_strCapturePath(DefaultCapturePath()), m_subtype(MEDIASUBTYPE_RGB24) {}

CDSGrabberCB::~CDSGrabberCB() = default;

STDMETHODIMP CDSGrabberCB::QueryInterface(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  if (IsEqualGUID(iid, IID_ISampleGrabberCB) || IsEqualGUID(iid, IID_IUnknown)) {
    *object = static_cast<ISampleGrabberCB*>(this);
    return S_OK;
  }
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CDSGrabberCB::AddRef() { return 2; }
STDMETHODIMP_(ULONG) CDSGrabberCB::Release() { return 1; }

STDMETHODIMP CDSGrabberCB::SampleCB(double, IMediaSample*) { return S_OK; }

STDMETHODIMP CDSGrabberCB::BufferCB(double, BYTE* buffer, long length) {
  if (buffer == nullptr) return E_POINTER;
  LONG seen = g_nGrabFlag.load();
  if (seen != kGrabFlagOn) {
    // Turned off only from the value seen: a host that sets the flag meanwhile (the
    // format change turning recording back on) is not undone by a late frame.
    if (seen != kGrabFlagOff) g_nGrabFlag.compare_exchange_strong(seen, kGrabFlagOff);
    return S_OK;
  }
  // Only frames the grab can hand out are kept: a sample that can't hold the recorded
  // format's picture is not recorded (the flag is left as it is).
  // The flag is asked again before publishing, so a host that turns recording off and
  // then clears the frame finds nothing recorded by a call already under way.
  if (length <= 0 ||
      !m_store.Publish(buffer, static_cast<size_t>(length), [] { return g_nGrabFlag.load() == kGrabFlagOn; })) {
    return S_OK;
  }
  m_pBuffer.store(const_cast<unsigned char*>(m_store.NewestAddress()));
  return S_FALSE;
}

void CDSGrabberCB::GrabFrame(unsigned char* destination) {
  if (destination == nullptr || m_pBuffer.load() == nullptr) return;
  const Layout layout = LayoutOf(m_subtype);
  if (layout == Layout::Other) return;
  const int width = m_nWidth, height = m_nHeight;
  if (layout != m_recordedLayout || width != m_recordedWidth || height != m_recordedHeight) return;
  // Every conversion checks its arguments before it writes, and the decoder writes
  // only a clean decode of the recorded size: the destination gets a whole frame or
  // nothing.
  m_store.ReadNewest([&](const uint8_t* frame, size_t bytes) {
    switch (layout) {
      case Layout::Rgb24:
        std::memcpy(destination, frame, bytes);
        break;
      case Layout::Yuy2:
      case Layout::Uyvy:
        YUV422ToRGB24(frame, destination, width, height,
                      layout == Layout::Yuy2 ? 1 : 0 /* the conversion's flag: 1 YUY2, 0 UYVY */);
        break;
      case Layout::Nv12:
        NV12ToRGB24(frame, destination, width, height);
        break;
      case Layout::I420:
        I420ToRGB24(frame, destination, width, height);
        break;
      case Layout::Yv12:
        YV12ToRGB24(frame, destination, width, height);
        break;
      case Layout::Rgb32:
        RGB32ToRGB24(frame, destination, width, height);
        break;
      case Layout::Mjpg:
        m_decoder->DecodeToBottomUpBgr(frame, bytes, width, height, destination);
        break;
      case Layout::Other:
        break;
    }
  });
}

void CDSGrabberCB::GetImageSize(int* width, int* height) {
  if (width != nullptr) *width = m_nWidth;
  if (height != nullptr) *height = m_nHeight;
}

void CDSGrabberCB::SetCaptureFile(const char* path, int flag) {
  g_nGrabFlag.store(flag);
  m_strCapturePath = path;
}

void CDSGrabberCB::RecordFormat(const GUID& subtype, int width, int height) {
  m_subtype = subtype;
  m_nWidth = width;
  m_nHeight = height;
  m_pBuffer.store(nullptr);
  m_recordedLayout = Layout::Other;
  m_store.Reset();
  const Layout layout = LayoutOf(subtype);
  if (width <= 0 || height <= 0 || layout == Layout::Other || !SizeSlots(layout, width, height)) return;
  m_recordedLayout = layout;
  m_recordedWidth = width;
  m_recordedHeight = height;
}

bool CDSGrabberCB::SizeSlots(Layout layout, int width, int height) {
  using qv::conversion::FrameFormat;
  switch (layout) {
    case Layout::Rgb24:
    case Layout::Yuy2:
    case Layout::Uyvy:
      break;
    // Planar and RGB32 samples hold at least their planes: the first that many bytes are the frame.
    case Layout::Nv12:
      return m_store.ConfigureLeading(qv::conversion::SourceFrameBytes(FrameFormat::Nv12, width, height));
    case Layout::I420:
      return m_store.ConfigureLeading(qv::conversion::SourceFrameBytes(FrameFormat::I420, width, height));
    case Layout::Yv12:
      return m_store.ConfigureLeading(qv::conversion::SourceFrameBytes(FrameFormat::Yv12, width, height));
    case Layout::Rgb32:
      return m_store.ConfigureLeading(qv::conversion::SourceFrameBytes(FrameFormat::Rgb32, width, height));
    // MJPG samples of any length up to a bound fixed now.
    case Layout::Mjpg:
      if (!m_decoder) m_decoder.reset(new (std::nothrow) qv::MjpgDecoder);
      return m_decoder && m_decoder->Reserve(width, height) &&
             m_store.ConfigureVariable(qv::MjpgSampleCapacity(width, height));
    case Layout::Other:
      return false;
  }
  // Copied or converted whole: rows whose bytes (delivered, padded or converted) pass 32
  // bits are refused, worked in 64 bits so a 32-bit build can't wrap.
  const int pixelBytes = layout == Layout::Rgb24 ? kRgb24PixelBytes : kPackedYuvPixelBytes;
  const uint64_t rowBytes = static_cast<uint64_t>(width) * pixelBytes;
  const uint64_t paddedRowBytes =
      layout == Layout::Rgb24 ? (rowBytes + kRgb24RowAlignment - 1) & ~(kRgb24RowAlignment - 1) : rowBytes;
  size_t paddedFrameBytes = 0, convertedFrameBytes = 0;
  if (!qv::rows::CountBytes(paddedRowBytes, height, 1, qv::rows::kMax32BitBytes, &paddedFrameBytes) ||
      !qv::rows::CountBytes(width, height, kRgb24PixelBytes, qv::rows::kMax32BitBytes, &convertedFrameBytes)) {
    return false;
  }
  // Both counts fit 32 bits, so every size below fits size_t.
  return m_store.Configure(static_cast<size_t>(rowBytes), static_cast<size_t>(height),
                           static_cast<size_t>(paddedRowBytes));
}

void CDSGrabberCB::ClearRecordedFrame() {
  m_pBuffer.store(nullptr);
  m_store.Clear();
}
