// Registers a chosen set of virtual camera devices for as long as the object lives (the
// video input category of the running Wine prefix or Windows machine), and removes them
// again. Tests that register devices share the machine's one device list: give each
// such test RESOURCE_LOCK devices.
//
//   qvtest::VirtualCameraDevices devices({qvtest::VirtualDevice::Named(L"Cam A"),
//                                         qvtest::VirtualDevice::Unreadable()});
//   ASSERT_TRUE(devices.Ok()) << devices.Error();
//
// The devices are listed by the system device enumerator in the order given (their
// Instance subkeys are named QvVcamTest00, QvVcamTest01, ...). On construction every
// earlier device of this DLL's classes (the default one of DllRegisterServer, leftovers
// of a crashed test) is removed first, so the list holds exactly this set plus whatever
// other drivers registered.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace qvtest {

struct VirtualDevice {
  std::wstring name = L"QV Virtual Camera";  // its "FriendlyName"
  bool readableName = true;                  // false: an empty subkey, no name to read
  uint32_t stopAfterFrames = 0;              // an unplugged camera: no frame after the Nth
  bool noStreamConfig = false;               // the pin offers no IAMStreamConfig
  bool noPropertyPages = false;              // neither filter nor pin offers ISpecifyPropertyPages
  bool failsToCreate = false;                // BindToObject fails (the class can't be created)
  bool previewPin = false;                   // a preview pin after the capture pin
  bool refusesStop = false;                  // once started, Stop and Pause fail, changing nothing
  bool losesDevice = false;                  // at stopAfterFrames: EC_DEVICE_LOST, Pause/Run/Stop fail
  uint32_t mjpgDamage = 0;                   // QvMjpgDamage: 1 truncated, 2 corrupt, 3 no Huffman tables
  uint32_t sampleSlack = 0;                  // QvSampleSlack: bytes after each picture in its sample
  bool formatIgnored = false;                // QvFormatIgnored: SetFormat reported, never connected with
  bool losesOnFormat = false;                // QvLoseOnFormat: lost once a SetFormat succeeds

  static VirtualDevice Named(std::wstring name);
  static VirtualDevice Unreadable();
};

class VirtualCameraDevices {
 public:
  explicit VirtualCameraDevices(const std::vector<VirtualDevice>& devices);
  ~VirtualCameraDevices();
  VirtualCameraDevices(const VirtualCameraDevices&) = delete;
  VirtualCameraDevices& operator=(const VirtualCameraDevices&) = delete;

  bool Ok() const { return SUCCEEDED(m_result); }
  HRESULT Result() const { return m_result; }
  const std::string& Error() const { return m_error; }
  const std::vector<std::wstring>& Subkeys() const { return m_subkeys; }

 private:
  void Fail(HRESULT hr, const std::string& what);
  HRESULT m_result = S_OK;
  std::string m_error;
  std::vector<std::wstring> m_subkeys;
};

// Subkey prefix of the devices this helper writes.
constexpr const wchar_t* kTestSubkeyPrefix = L"QvVcamTest";

// Loads qvvcam.dll (next to the test executable) and registers its classes.
HRESULT RegisterVirtualCameraClasses(std::string* error = nullptr);

}  // namespace qvtest
