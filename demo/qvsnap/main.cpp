// qvsnap: opens a camera through QVDirectX, grabs frames and saves them as files.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "BoxEcho.h"
#include "Options.h"
#include "QVDirectX.h"

namespace {

enum ExitCode { kOk = 0, kBadArgument = 1, kNoDevice = 2, kOpenFailed = 3, kNoFrames = 4, kSaveFailed = 5 };

std::vector<std::string> ListDevices(HWND owner) {
  HWND combo =
      CreateWindowExA(0, "COMBOBOX", "", WS_CHILD | CBS_DROPDOWNLIST, 0, 0, 200, 200, owner, nullptr, nullptr, nullptr);
  std::vector<std::string> names;
  int count = DSCameraRegisterpixel(combo);
  for (int i = 0; i < count; ++i) {
    char name[2048] = {};
    if (SendMessageA(combo, CB_GETLBTEXTLEN, i, 0) < static_cast<LRESULT>(sizeof name)) {
      SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(name));
    }
    names.push_back(name);
  }
  DestroyWindow(combo);
  return names;
}

LONGLONG Now() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t.QuadPart;
}

double Seconds(LONGLONG ticks) {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  return static_cast<double>(ticks) / static_cast<double>(f.QuadPart);
}

// Grabs until the buffer holds a frame different from previous; false after timeoutMs.
bool GrabNewFrame(std::vector<unsigned char>& frame, const std::vector<unsigned char>& previous, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  do {
    DSGrabFrame(frame.data());
    if (frame != previous) return true;
    Sleep(2);
  } while (GetTickCount() - start < timeoutMs);
  return false;
}

bool FileHasBytes(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  return GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) && (data.nFileSizeLow | data.nFileSizeHigh);
}

int Run(const Options& options) {
  HWND host = CreateWindowExA(0, "STATIC", "qvsnap", WS_POPUP, 0, 0, 64, 64, nullptr, nullptr, nullptr, nullptr);
  std::vector<std::string> devices = ListDevices(host);
  std::printf("capture devices: %zu\n", devices.size());
  for (size_t i = 0; i < devices.size(); ++i) std::printf("  %zu: %s\n", i, devices[i].c_str());
  if (options.list) return kOk;
  if (options.device >= static_cast<int>(devices.size())) {
    std::fprintf(stderr, "qvsnap: no capture device %d (%zu found)\n", options.device, devices.size());
    return kNoDevice;
  }

  std::printf("opening %d: %s\n", options.device, devices[options.device].c_str());
  LONGLONG opened = Now();
  if (DSCameraInit(static_cast<uint8_t>(options.device), host) != 1) {
    std::fprintf(stderr, "qvsnap: the capture graph for device %d could not be built\n", options.device);
    DSCameraUnInit();
    return kOpenFailed;
  }
  DSCameraPlay();
  int32_t width = 0, height = 0;
  DSCameraGetImageSize(&width, &height);
  if (width <= 0 || height == 0) {
    std::fprintf(stderr, "qvsnap: the camera reports no usable frame size (%d x %d)\n", width, height);
    DSCameraUnInit();
    return kNoFrames;
  }
  int rows = height < 0 ? -height : height;
  std::printf("frame size: %d x %d\n", width, rows);

  size_t bytes = static_cast<size_t>(width) * rows * 3;
  std::vector<unsigned char> previous(bytes, 0x5A), frame(bytes, 0x5A);
  if (!GrabNewFrame(frame, previous, 5000)) {
    std::fprintf(stderr, "qvsnap: no frame arrived within 5 seconds\n");
    DSCameraUnInit();
    return kNoFrames;
  }
  std::printf("first frame after %.0f ms\n", Seconds(Now() - opened) * 1000.0);

  std::vector<std::vector<unsigned char>> grabbed;
  LONGLONG start = Now();
  grabbed.push_back(frame);
  while (static_cast<int>(grabbed.size()) < options.frames) {
    previous = frame;
    if (!GrabNewFrame(frame, previous, 2000)) {
      std::fprintf(stderr, "qvsnap: the camera stopped delivering after %zu frames\n", grabbed.size());
      break;
    }
    grabbed.push_back(frame);
    double elapsed = Seconds(Now() - start);
    std::printf("\rgrabbed %zu/%d  %.1f fps", grabbed.size(), options.frames,
                elapsed > 0 ? (grabbed.size() - 1) / elapsed : 0.0);
    std::fflush(stdout);
  }
  std::printf("\n");
  DSCameraStop();
  DSCameraUnInit();

  CreateDirectoryA(options.outDir.c_str(), nullptr);
  std::string tiff = options.outDir + "\\frames.tif";
  DeleteFileA(tiff.c_str());
  std::vector<std::string> written;
  bool failed = false;
  for (size_t i = 0; i < grabbed.size(); ++i) {
    char stem[64];
    std::snprintf(stem, sizeof stem, "\\frame_%03zu", i);
    const struct {
      int type;
      const char* extension;
    } kinds[] = {{QVDX_FILE_JPEG, ".jpg"}, {QVDX_FILE_BMP, ".bmp"}, {QVDX_FILE_RAW, ".raw"}};
    for (const auto& kind : kinds) {
      std::string path = options.outDir + stem + kind.extension;
      DeleteFileA(path.c_str());
      DSCameraImageSave(grabbed[i].data(), kind.type, width, rows, path.c_str());
      if (FileHasBytes(path))
        written.push_back(path);
      else {
        failed = true;
        std::fprintf(stderr, "qvsnap: could not save %s\n", path.c_str());
      }
    }
    DSCameraImageSave(grabbed[i].data(), QVDX_FILE_TIFF, width, rows, tiff.c_str());
  }
  if (FileHasBytes(tiff)) {
    written.push_back(tiff + " (" + std::to_string(grabbed.size()) + " pages)");
  } else {
    failed = true;
    std::fprintf(stderr, "qvsnap: could not save %s\n", tiff.c_str());
  }
  std::printf("wrote %zu files:\n", written.size());
  for (const std::string& path : written) std::printf("  %s\n", path.c_str());
  DestroyWindow(host);
  return failed ? kSaveFailed : kOk;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  std::string error;
  if (!ParseOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "qvsnap: %s\n%s", error.c_str(), kUsage);
    return kBadArgument;
  }
  if (options.help) {
    std::printf("%s", kUsage);
    return kOk;
  }
  if (options.headless) StartBoxEcho();
  CoInitialize(nullptr);  // listing the devices needs COM before the camera is opened
  int code = Run(options);
  CoUninitialize();
  StopBoxEcho();
  return code;
}
