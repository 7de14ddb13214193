// The formats the capture pin offers and their DirectShow media types.
#pragma once

#include <windows.h>
#include <dshow.h>

#include "TestPicture.h"

namespace qvvcam {

// Every format runs at 30 frames per second; times are in 100 ns units.
constexpr int kFramesPerSecond = 30;
constexpr REFERENCE_TIME kUnitsPerSecond = 10000000;
constexpr REFERENCE_TIME kFrameInterval = kUnitsPerSecond / kFramesPerSecond;  // 333333
constexpr int kSizeCount = 4;
constexpr int kFormatCount = kPixelFormatCount * kSizeCount;

// The capabilities in GetStreamCaps order: RGB24, YUY2, UYVY, MJPG, RGB32, NV12, I420,
// YV12 (PixelFormat order), each at 320x240, 640x480, 1280x720 and 1920x1080.
const FrameFormat& FormatAt(int index);
// RGB24 640x480: what the pin offers first and connects with until SetFormat.
constexpr int kDefaultFormat = 1;
int FormatIndex(const FrameFormat& format);  // -1 when not one of the table

const GUID& SubtypeOf(PixelFormat pixel);

// Fills a media type (format block in task memory) for a table format.
HRESULT FillMediaType(const FrameFormat& format, AM_MEDIA_TYPE* mt);
// A media type and its record both in task memory, as GetFormat/GetStreamCaps hand out
// (the receiver frees both, e.g. with a MediaTypeHolder).
AM_MEDIA_TYPE* NewMediaType(const FrameFormat& format);
HRESULT CopyMediaType(AM_MEDIA_TYPE* dst, const AM_MEDIA_TYPE* src);

// The table format that a complete media type describes (video, a known subtype,
// FORMAT_VideoInfo with a whole VIDEOINFOHEADER of a listed size, 30 fps or no rate).
bool FormatOfMediaType(const AM_MEDIA_TYPE* mt, FrameFormat* format);
// Whether a (possibly partial: GUID_NULL fields are wildcards) type admits a format.
bool TypeAdmits(const AM_MEDIA_TYPE* partial, const FrameFormat& format);

void FillStreamCaps(const FrameFormat& format, VIDEO_STREAM_CONFIG_CAPS* caps);

}  // namespace qvvcam
