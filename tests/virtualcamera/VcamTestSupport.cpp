#include "VcamTestSupport.h"

namespace vcamtest {

const GUID kSubtypeI420 = {0x30323449, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

int FindDevice(const std::wstring& name) {
  const std::vector<ListedDevice> list = EnumerateVideoInputs();
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i].readable && list[i].name == name) return static_cast<int>(i);
  return -1;
}

HRESULT FirstPin(IBaseFilter* filter, IPin** pin) {
  *pin = nullptr;
  ComHolder<IEnumPins> pins;
  HRESULT hr = filter->EnumPins(pins.Out());
  if (FAILED(hr)) return hr;
  return pins->Next(1, pin, nullptr);
}

const GUID& Subtype(qvvcam::PixelFormat pixel) {
  switch (pixel) {
    case qvvcam::PixelFormat::Yuy2:
      return MEDIASUBTYPE_YUY2;
    case qvvcam::PixelFormat::Uyvy:
      return MEDIASUBTYPE_UYVY;
    case qvvcam::PixelFormat::Mjpg:
      return MEDIASUBTYPE_MJPG;
    case qvvcam::PixelFormat::Rgb32:
      return MEDIASUBTYPE_RGB32;
    case qvvcam::PixelFormat::Nv12:
      return MEDIASUBTYPE_NV12;
    case qvvcam::PixelFormat::I420:
      return kSubtypeI420;  // the headers name only IYUV
    case qvvcam::PixelFormat::Yv12:
      return MEDIASUBTYPE_YV12;
    default:
      return MEDIASUBTYPE_RGB24;
  }
}

bool VideoSize(const AM_MEDIA_TYPE& mt, long* width, long* height) {
  if (!IsEqualGUID(mt.formattype, FORMAT_VideoInfo) || mt.cbFormat < sizeof(VIDEOINFOHEADER) || !mt.pbFormat)
    return false;
  const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt.pbFormat);
  *width = vih->bmiHeader.biWidth;
  *height = vih->bmiHeader.biHeight;
  return true;
}

HRESULT SetPinFormat(IBaseFilter* filter, const qvvcam::FrameFormat& format) {
  ComHolder<IPin> pin;
  HRESULT hr = FirstPin(filter, pin.Out());
  if (hr != S_OK) return FAILED(hr) ? hr : E_FAIL;
  ComHolder<IAMStreamConfig> config;
  hr = pin->QueryInterface(IID_IAMStreamConfig, config.OutVoid());
  if (FAILED(hr)) return hr;
  int count = 0, size = 0;
  hr = config->GetNumberOfCapabilities(&count, &size);
  if (FAILED(hr)) return hr;
  for (int i = 0; i < count; ++i) {
    MediaTypeHolder mt;
    VIDEO_STREAM_CONFIG_CAPS caps;
    if (config->GetStreamCaps(i, mt.TaskOut(), reinterpret_cast<BYTE*>(&caps)) != S_OK || !mt.HasTaskRecord()) continue;
    long w = 0, h = 0;
    const bool match = IsEqualGUID(mt->subtype, Subtype(format.pixel)) && VideoSize(*mt, &w, &h) && w == format.width &&
                       h == format.height;
    if (match) return config->SetFormat(mt.Get());
  }
  return E_INVALIDARG;
}

}  // namespace vcamtest
