// Shared set-up of the virtual camera tests: one registered device, bound and configured.
#pragma once

#include <gtest/gtest.h>

#include "VcamGraph.h"
#include "VirtualCameraDevices.h"

namespace vcamtest {

// MEDIASUBTYPE_I420 (FOURCC 'I420').
extern const GUID kSubtypeI420;

// Position of the first listed device named `name`, or -1.
int FindDevice(const std::wstring& name);
// The filter's one pin.
HRESULT FirstPin(IBaseFilter* filter, IPin** pin);
// Makes `format` the pin's format through IAMStreamConfig (by its GetStreamCaps entry).
HRESULT SetPinFormat(IBaseFilter* filter, const qvvcam::FrameFormat& format);
const GUID& Subtype(qvvcam::PixelFormat pixel);
// Video size of a connected media type.
bool VideoSize(const AM_MEDIA_TYPE& mt, long* width, long* height);

}  // namespace vcamtest
