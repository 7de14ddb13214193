// Identifiers of the virtual camera that its users (tests, tools, the registration code)
// share: class identifiers, registry value names and the property pages' control IDs.
#pragma once

#include <windows.h>

namespace qvvcam {

// The capture source filter "QV Virtual Camera".
extern const CLSID CLSID_QvVirtualCamera;
// A class whose creation always fails (a device whose driver is gone), so that binding
// such a device fails for real.
extern const CLSID CLSID_QvVirtualCameraBroken;
// The filter's device page and the pin's stream-format page.
extern const CLSID CLSID_QvDevicePage;
extern const CLSID CLSID_QvFormatPage;
// The filter's own settings interface (IQvCameraSettings).
extern const IID IID_IQvCameraSettings;

// What creating the broken class returns.
constexpr HRESULT kBrokenDeviceResult = HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED);
// What a lost device answers to Pause, Run, Stop, Connect and SetFormat.
constexpr HRESULT kLostDeviceResult = HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED);

constexpr const wchar_t* kDefaultDeviceName = L"QV Virtual Camera";

// Values of a device's subkey of the video input category's Instance key, read by the
// filter through IPersistPropertyBag::Load (REG_DWORD, or REG_SZ holding a number).
constexpr const wchar_t* kValueFriendlyName = L"FriendlyName";
constexpr const wchar_t* kValueClsid = L"CLSID";
constexpr const wchar_t* kValueStopAfterFrames = L"QvStopAfterFrames";  // deliver N frames, then none
constexpr const wchar_t* kValueNoStreamConfig = L"QvNoStreamConfig";    // 1: pin without IAMStreamConfig
constexpr const wchar_t* kValueNoPropertyPages = L"QvNoPropertyPages";  // 1: no ISpecifyPropertyPages
constexpr const wchar_t* kValuePreviewPin = L"QvPreviewPin";            // 1: a preview pin after the capture pin
// 1: once it has left Stopped, Stop and Pause answer E_FAIL and change nothing
constexpr const wchar_t* kValueRefuseStop = L"QvRefuseStop";
// 1: at the frame limit the device is lost (EC_DEVICE_LOST; Pause, Run and Stop then fail)
constexpr const wchar_t* kValueLoseDevice = L"QvLoseDevice";
constexpr const wchar_t* kValueMjpgDamage = L"QvMjpgDamage";  // 1 truncated, 2 corrupt, 3 no Huffman tables
// N: every sample is N bytes longer than its picture (an allocator-sized buffer)
constexpr const wchar_t* kValueSampleSlack = L"QvSampleSlack";
// 1: SetFormat is accepted and reported, but the pin keeps connecting in its first format
constexpr const wchar_t* kValueFormatIgnored = L"QvFormatIgnored";
// 1: the device is lost as soon as a SetFormat succeeds (a camera that vanishes while its
// stream-format page is open)
constexpr const wchar_t* kValueLoseOnFormat = L"QvLoseOnFormat";

// Control IDs of the property pages' child windows (children of the page window, which
// is a child of the property frame's page host).
constexpr int kFormatPageLabelId = 1100;    // static "Stream format:"
constexpr int kFormatPageComboId = 1101;    // drop-down list, one entry per GetStreamCaps index
constexpr int kDevicePageLabelId = 1200;    // static with the device name
constexpr int kDevicePagePatternId = 1201;  // drop-down list: "Moving box" (0), "Still box" (1)

// Names and ids of the output pins: the capture pin, and the preview pin of a device
// made with QvPreviewPin.
constexpr const wchar_t* kPinName = L"Capture";
constexpr const wchar_t* kPreviewPinName = L"Preview";

}  // namespace qvvcam
