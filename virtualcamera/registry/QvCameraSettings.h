// The virtual camera filter's own settings interface (what its device page edits).
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "VirtualCameraIds.h"

struct IQvCameraSettings : public IUnknown {
  // 0: the box moves 4 pixels a frame; 1: it stays where frame 0 has it.
  virtual HRESULT STDMETHODCALLTYPE GetPattern(LONG* still) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetPattern(LONG still) = 0;
  // Frames handed downstream in the filter's life, and the streaming thread's own work on
  // them (ticks of QueryPerformanceCounter from a sample's arrival to its Receive call).
  virtual HRESULT STDMETHODCALLTYPE GetStatistics(ULONG* frames, ULONGLONG* workTicks, ULONGLONG* tickFrequency) = 0;
  // The "FriendlyName" the filter was loaded with, in task memory.
  virtual HRESULT STDMETHODCALLTYPE GetDeviceName(LPWSTR* name) = 0;
};
__CRT_UUID_DECL(IQvCameraSettings, 0xbe87ffe3, 0x0510, 0x4f9a, 0x90, 0x16, 0xe7, 0xe8, 0x41, 0x05, 0xdd, 0xce)
