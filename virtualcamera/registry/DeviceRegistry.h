// The registry side of the virtual camera: its COM classes and its devices (subkeys of
// the video input category's Instance key). Used by the DLL's DllRegisterServer, by the
// test helper and by the qvvcam-register tool.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace qvvcam {

struct DeviceEntry {
  std::wstring subkey;        // name of the Instance subkey; it decides the listing order
  std::wstring friendlyName;  // "FriendlyName"
  bool readableName = true;   // false: an empty subkey, a device whose name can't be read
  bool broken = false;        // CLSID of the class whose creation fails
  DWORD stopAfterFrames = 0;  // 0: never stops
  bool noStreamConfig = false;
  bool noPropertyPages = false;
  bool previewPin = false;  // QvPreviewPin: a preview pin as well as the capture pin
  bool refusesStop = false;  // QvRefuseStop: once started, Stop and Pause fail
  bool losesDevice = false;  // at stopAfterFrames the device is lost, not just silent
  DWORD mjpgDamage = 0;      // QvMjpgDamage: a qvvcam::MjpgDamage value
  DWORD sampleSlack = 0;     // QvSampleSlack: bytes after each picture
  bool formatIgnored = false;  // QvFormatIgnored: SetFormat reported, never used
  bool losesOnFormat = false;  // QvLoseOnFormat: lost once a SetFormat succeeds
};

// HKLM\Software\Classes\CLSID\{860BB310-5D01-11d0-BD3B-00A0C911CE86}\Instance
std::wstring InstanceKeyPath();
std::wstring GuidString(const GUID& guid);

// Registers every class of the DLL at modulePath (InprocServer32, ThreadingModel Both).
HRESULT RegisterClasses(const std::wstring& modulePath);
HRESULT UnregisterClasses();

HRESULT WriteDevice(const DeviceEntry& device);
// S_FALSE when there was no such subkey.
HRESULT RemoveDevice(const std::wstring& subkey);
// Every Instance subkey, in registry order, with what it holds; `ours` tells whether its
// CLSID is one of this DLL's classes.
struct ListedDevice {
  DeviceEntry entry;
  bool ours = false;
  std::wstring clsid;
};
std::vector<ListedDevice> ListDevices();
// Removes every device whose CLSID is one of this DLL's classes; returns how many.
int RemoveOurDevices();

}  // namespace qvvcam
