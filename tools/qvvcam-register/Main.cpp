// qvvcam-register: registers the virtual camera's classes and devices by hand, for a
// developer without a camera (run it as an administrator: it writes HKLM).
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "DeviceRegistry.h"

namespace {

void Usage() {
  fputs(
      "usage: qvvcam-register COMMAND\n"
      "  classes [DLL]             register the classes of qvvcam.dll (default: next to this program)\n"
      "  add SUBKEY NAME [options] add a device; devices list in SUBKEY order\n"
      "      --stop-after N        deliver N frames, then none (an unplugged camera)\n"
      "      --lose-device         after those N frames the device is lost (EC_DEVICE_LOST)\n"
      "      --lose-on-format      the device is lost once a format is chosen (SetFormat)\n"
      "      --mjpg-damage KIND    MJPG frames: truncated or corrupt (every odd frame), no-huffman\n"
      "      --sample-slack N      every sample is N bytes longer than its picture\n"
      "      --format-ignored      SetFormat is reported but the pin connects in its first format\n"
      "      --no-stream-config    the pin offers no IAMStreamConfig\n"
      "      --no-pages            no property pages\n"
      "      --preview-pin         a preview pin as well as the capture pin\n"
      "      --refuse-stop         once started, Stop and Pause fail (E_FAIL) and change nothing\n"
      "      --broken              creating the filter fails\n"
      "      --unreadable          an empty subkey: a device without a readable name\n"
      "  remove SUBKEY             remove one device\n"
      "  clear                     remove every device of qvvcam.dll\n"
      "  list                      list every video input device subkey\n",
      stderr);
}

std::wstring DefaultDll() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dir(path, n < MAX_PATH ? n : 0);
  return dir.substr(0, dir.find_last_of(L"\\/") + 1) + L"qvvcam.dll";
}

int RegisterClassesOf(const std::wstring& dll) {
  HMODULE module = LoadLibraryW(dll.c_str());
  if (module == nullptr) {
    fwprintf(stderr, L"cannot load %ls (error %lu)\n", dll.c_str(), GetLastError());
    return 1;
  }
  using Register = HRESULT(STDAPICALLTYPE*)();
  auto fn = reinterpret_cast<Register>(reinterpret_cast<void*>(GetProcAddress(module, "QvVcamRegisterClasses")));
  const HRESULT hr = fn ? fn() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  FreeLibrary(module);
  if (FAILED(hr)) {
    fprintf(stderr, "registering the classes failed: 0x%08lX\n", static_cast<unsigned long>(hr));
    return 1;
  }
  return 0;
}

// A whole decimal number, nothing after it.
bool ReadCount(const wchar_t* text, DWORD* count) {
  wchar_t* end = nullptr;
  *count = static_cast<DWORD>(wcstoul(text, &end, 10));
  return end != nullptr && end != text && *end == 0;
}

int Add(int argc, wchar_t** argv) {
  if (argc < 4) {
    Usage();
    return 2;
  }
  qvvcam::DeviceEntry d;
  d.subkey = argv[2];
  d.friendlyName = argv[3];
  for (int i = 4; i < argc; ++i) {
    const std::wstring option = argv[i];
    if (option == L"--stop-after" && i + 1 < argc) {
      if (!ReadCount(argv[++i], &d.stopAfterFrames)) {
        fputs("--stop-after needs a number\n", stderr);
        return 2;
      }
    } else if (option == L"--lose-device") {
      d.losesDevice = true;
    } else if (option == L"--mjpg-damage" && i + 1 < argc) {
      const std::wstring kind = argv[++i];
      d.mjpgDamage = kind == L"truncated" ? 1 : kind == L"corrupt" ? 2 : kind == L"no-huffman" ? 3 : 0;
      if (d.mjpgDamage == 0) {
        fputs("--mjpg-damage takes truncated, corrupt or no-huffman\n", stderr);
        return 2;
      }
    } else if (option == L"--sample-slack" && i + 1 < argc) {
      if (!ReadCount(argv[++i], &d.sampleSlack)) {
        fputs("--sample-slack needs a number of bytes\n", stderr);
        return 2;
      }
    } else if (option == L"--lose-on-format") {
      d.losesOnFormat = true;
    } else if (option == L"--format-ignored") {
      d.formatIgnored = true;
    } else if (option == L"--no-stream-config") {
      d.noStreamConfig = true;
    } else if (option == L"--no-pages") {
      d.noPropertyPages = true;
    } else if (option == L"--preview-pin") {
      d.previewPin = true;
    } else if (option == L"--refuse-stop") {
      d.refusesStop = true;
    } else if (option == L"--broken") {
      d.broken = true;
    } else if (option == L"--unreadable") {
      d.readableName = false;
    } else {
      fwprintf(stderr, L"unknown option %ls\n", option.c_str());
      return 2;
    }
  }
  const HRESULT hr = qvvcam::WriteDevice(d);
  if (FAILED(hr)) {
    fprintf(stderr, "writing the device failed: 0x%08lX\n", static_cast<unsigned long>(hr));
    return 1;
  }
  return 0;
}

int List() {
  for (const qvvcam::ListedDevice& d : qvvcam::ListDevices()) {
    wprintf(L"%ls\t%ls\t%ls", d.entry.subkey.c_str(),
            d.entry.readableName ? d.entry.friendlyName.c_str() : L"<no name>", d.ours ? L"qvvcam" : d.clsid.c_str());
    if (d.entry.broken) wprintf(L" broken");
    if (d.entry.stopAfterFrames) wprintf(L" stop-after=%lu", static_cast<unsigned long>(d.entry.stopAfterFrames));
    if (d.entry.losesDevice) wprintf(L" lose-device");
    if (d.entry.losesOnFormat) wprintf(L" lose-on-format");
    if (d.entry.mjpgDamage) wprintf(L" mjpg-damage=%lu", static_cast<unsigned long>(d.entry.mjpgDamage));
    if (d.entry.sampleSlack) wprintf(L" sample-slack=%lu", static_cast<unsigned long>(d.entry.sampleSlack));
    if (d.entry.formatIgnored) wprintf(L" format-ignored");
    if (d.entry.noStreamConfig) wprintf(L" no-stream-config");
    if (d.entry.noPropertyPages) wprintf(L" no-pages");
    if (d.entry.previewPin) wprintf(L" preview-pin");
    if (d.entry.refusesStop) wprintf(L" refuse-stop");
    wprintf(L"\n");
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    Usage();
    return 2;
  }
  const std::wstring command = argv[1];
  if (command == L"classes") return RegisterClassesOf(argc > 2 ? argv[2] : DefaultDll());
  if (command == L"add") return Add(argc, argv);
  if (command == L"remove" && argc == 3) {
    const HRESULT hr = qvvcam::RemoveDevice(argv[2]);
    if (hr == S_FALSE) fwprintf(stderr, L"no device %ls\n", argv[2]);
    return hr == S_OK ? 0 : 1;
  }
  if (command == L"clear") {
    printf("removed %d devices\n", qvvcam::RemoveOurDevices());
    return 0;
  }
  if (command == L"list") return List();
  Usage();
  return 2;
}
