// Identifiers that mingw-w64's headers do not declare, written from their documented values.
#pragma once

#include <windows.h>

namespace qv {

// The sample grabber filter (qedit): {C1F400A0-3F08-11d3-9F0B-006008039E37}.
extern const CLSID CLSID_SampleGrabber;
// The null renderer filter (qedit): {C1F400A4-3F08-11d3-9F0B-006008039E37}.
extern const CLSID CLSID_NullRenderer;

}  // namespace qv
