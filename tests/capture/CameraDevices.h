// Registers chosen virtual-camera devices in the test's Wine prefix, and removes them again.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace qvtest {

struct CameraDevice {
  std::wstring name;
  bool readableName = true;     // false: an empty device key, whose name can't be read
  bool broken = false;          // its filter can't be created
  DWORD stopAfterFrames = 0;    // 0: never stops; N: delivers N frames, then none (unplugged)
  bool noStreamConfig = false;  // its pin has no stream configuration
  bool noPropertyPages = false; // neither the filter nor the pin has property pages
};

class CameraDevices {
 public:
  // Registers the virtual camera's classes (qvvcam.dll beside the test) and the devices,
  // in this order in the video input category.
  explicit CameraDevices(const std::vector<CameraDevice>& devices);
  ~CameraDevices();
  CameraDevices(const CameraDevices&) = delete;
  CameraDevices& operator=(const CameraDevices&) = delete;

  bool Ok() const { return m_ok; }

 private:
  std::vector<std::wstring> m_keys;
  bool m_ok = true;
};

}  // namespace qvtest
