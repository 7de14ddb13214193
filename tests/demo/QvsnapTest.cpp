// qvsnap end to end on the virtual camera: the files it writes open in real decoders
// and hold the camera's picture; its error exits.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <tiffio.h>

#include "VirtualCameraDevices.h"
#include "TestPicture.h"

namespace {

struct QvsnapRun {
  DWORD exitCode = 0xFFFFFFFF;
  std::string output;
};

std::string ExeDir() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string dir(path);
  return dir.substr(0, dir.find_last_of('\\') + 1);
}

QvsnapRun RunQvsnap(const std::string& arguments) {
  std::string outPath = ExeDir() + "qvsnap_output.txt";
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE out = CreateFileA(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
  STARTUPINFOA startup = {sizeof startup};
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = out;
  startup.hStdError = out;
  PROCESS_INFORMATION process = {};
  std::string command = "\"" + ExeDir() + "qvsnap.exe\" " + arguments;
  QvsnapRun run;
  if (CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  CloseHandle(out);
  if (FILE* f = std::fopen(outPath.c_str(), "rb")) {
    char buffer[4096];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) run.output.append(buffer, got);
    std::fclose(f);
  }
  return run;
}

std::vector<unsigned char> ReadFile(const std::string& path) {
  std::vector<unsigned char> bytes;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    unsigned char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    std::fclose(f);
  }
  return bytes;
}

// Decodes a JPEG into top-down RGB rows; empty on failure.
std::vector<unsigned char> DecodeJpeg(const std::string& path, int* width, int* height) {
  std::vector<unsigned char> file = ReadFile(path), pixels;
  if (file.empty()) return pixels;
  jpeg_decompress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, file.data(), static_cast<unsigned long>(file.size()));
  if (jpeg_read_header(&info, TRUE) == JPEG_HEADER_OK) {
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    *width = static_cast<int>(info.output_width);
    *height = static_cast<int>(info.output_height);
    pixels.resize(static_cast<size_t>(*width) * *height * 3);
    while (info.output_scanline < info.output_height) {
      JSAMPROW row = pixels.data() + static_cast<size_t>(info.output_scanline) * *width * 3;
      jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
  }
  jpeg_destroy_decompress(&info);
  return pixels;
}

// Turns top-down RGB rows into the library's bottom-up BGR frame.
std::vector<unsigned char> ToFrame(const std::vector<unsigned char>& rgb, int width, int height) {
  std::vector<unsigned char> frame(rgb.size());
  const size_t row = static_cast<size_t>(width) * 3;
  for (int y = 0; y < height; ++y) {
    const unsigned char* from = rgb.data() + y * row;
    unsigned char* to = frame.data() + (height - 1 - y) * row;
    for (int x = 0; x < width; ++x) {
      to[3 * x] = from[3 * x + 2];
      to[3 * x + 1] = from[3 * x + 1];
      to[3 * x + 2] = from[3 * x];
    }
  }
  return frame;
}

double MeanError(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b) {
  if (a.size() != b.size() || a.empty()) return 1e9;
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) sum += a[i] > b[i] ? a[i] - b[i] : b[i] - a[i];
  return sum / a.size();
}

}  // namespace

TEST(Qvsnap, SavesEveryKindOfFileWithTheCamerasPicture) {
  qvtest::VirtualCameraDevices devices({{L"QV Virtual Camera"}});
  ASSERT_TRUE(devices.Ok());
  const std::string out = ExeDir() + "qvsnap_test_out";
  QvsnapRun run = RunQvsnap("--headless --frames 3 --out \"" + out + "\"");
  ASSERT_EQ(0u, run.exitCode) << run.output;
  EXPECT_NE(std::string::npos, run.output.find("frame size: 640 x 480")) << run.output;

  std::vector<uint32_t> sequences;
  for (int i = 0; i < 3; ++i) {
    char stem[64];
    std::snprintf(stem, sizeof stem, "\\frame_%03d", i);
    // BMP: the frame itself after the 54-byte header, no fill at this width.
    std::vector<unsigned char> bmp = ReadFile(out + stem + ".bmp");
    ASSERT_EQ(54u + 640 * 480 * 3, bmp.size()) << stem;
    std::vector<unsigned char> frame(bmp.begin() + 54, bmp.end());
    qvvcam::FrameCheck check = qvvcam::CheckRgb24Frame(frame.data(), frame.size(), 640, 480);
    ASSERT_EQ(qvvcam::FrameStatus::Ok, check.status) << stem << ": " << qvvcam::FrameStatusName(check.status);
    sequences.push_back(check.sequence);

    // Raw: the frame's first width x height bytes.
    std::vector<unsigned char> raw = ReadFile(out + stem + ".raw");
    ASSERT_EQ(640u * 480, raw.size());
    EXPECT_TRUE(std::equal(raw.begin(), raw.end(), frame.begin())) << stem;

    // JPEG: decodes to the same picture, upright and with red and blue in place.
    int width = 0, height = 0;
    std::vector<unsigned char> rgb = DecodeJpeg(out + stem + ".jpg", &width, &height);
    ASSERT_EQ(640, width);
    ASSERT_EQ(480, height);
    EXPECT_LT(MeanError(ToFrame(rgb, width, height), frame), 6.0) << stem;
  }
  EXPECT_LT(sequences[0], sequences[1]);
  EXPECT_LT(sequences[1], sequences[2]);

  // TIFF: one page per frame, top row first in RGB order, the same pictures.
  TIFF* tiff = TIFFOpen((out + "\\frames.tif").c_str(), "r");
  ASSERT_NE(nullptr, tiff);
  int pages = 0;
  do {
    uint32_t width = 0, height = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    ASSERT_EQ(640u, width);
    ASSERT_EQ(480u, height);
    std::vector<unsigned char> rgb(640 * 480 * 3);
    for (uint32_t y = 0; y < height; ++y) TIFFReadScanline(tiff, rgb.data() + y * 640 * 3, y, 0);
    std::vector<unsigned char> frame = ToFrame(rgb, 640, 480);
    qvvcam::FrameCheck check = qvvcam::CheckRgb24Frame(frame.data(), frame.size(), 640, 480);
    EXPECT_EQ(qvvcam::FrameStatus::Ok, check.status) << "page " << pages;
    if (pages < 3) EXPECT_EQ(sequences[pages], check.sequence) << "page " << pages;
    ++pages;
  } while (TIFFReadDirectory(tiff));
  TIFFClose(tiff);
  EXPECT_EQ(3, pages);
}

TEST(Qvsnap, ErrorExitsForAMissingDeviceAndBadArguments) {
  qvtest::VirtualCameraDevices devices({{L"Only one"}});
  ASSERT_TRUE(devices.Ok());
  struct Case {
    const char* arguments;
    DWORD exitCode;
    const char* says;
  } cases[] = {
      {"--headless --device 3", 2, "no capture device 3 (1 found)"},
      {"--frames 0", 1, "--frames takes a number from 1 to 1000"},
      {"--device x", 1, "--device takes a number from 0 to 255"},
      {"--bogus", 1, "unknown argument: --bogus"},
      {"--help", 0, "usage: qvsnap"},
  };
  for (const Case& c : cases) {
    QvsnapRun run = RunQvsnap(c.arguments);
    EXPECT_EQ(c.exitCode, run.exitCode) << c.arguments << "\n" << run.output;
    EXPECT_NE(std::string::npos, run.output.find(c.says)) << c.arguments << "\n" << run.output;
  }
}
