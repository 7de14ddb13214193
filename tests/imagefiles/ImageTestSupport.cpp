#include "ImageTestSupport.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

#ifndef _WIN32
#include <unistd.h>

#include "RecordedMessageBoxes.h"
#else
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace imgtest {

namespace {
unsigned long ProcessId() {
#ifdef _WIN32
  return GetCurrentProcessId();
#else
  return static_cast<unsigned long>(getpid());
#endif
}
}  // namespace

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  fs::path dir = fs::temp_directory_path() / ("qv_img_" + std::to_string(ProcessId()) + "_" + std::to_string(stamp) +
                                              "_" + std::to_string(counter++));
  fs::create_directories(dir);
  m_dir = dir.string();
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(m_dir, ignored);
}

std::string TempDir::Path(const std::string& name) const { return (fs::path(m_dir) / name).string(); }

bool FileExists(const std::string& path) {
  std::error_code ignored;
  return fs::exists(path, ignored);
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes GradientFrame(int width, int height) {
  Bytes frame(static_cast<size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    // Picture row y is stored height - 1 - y rows into the frame.
    unsigned char* row = frame.data() + static_cast<size_t>(height - 1 - y) * width * 3;
    for (int x = 0; x < width; ++x) {
      int red = width > 1 ? 20 + x * 215 / (width - 1) : 20;
      int green = height > 1 ? 20 + y * 215 / (height - 1) : 20;
      int blue = 235 - red / 2;
      row[3 * x] = static_cast<unsigned char>(blue);
      row[3 * x + 1] = static_cast<unsigned char>(green);
      row[3 * x + 2] = static_cast<unsigned char>(red);
    }
  }
  return frame;
}

void FramePixel(const Bytes& frame, int width, int height, int x, int y, unsigned char rgb[3]) {
  const unsigned char* px = frame.data() + (static_cast<size_t>(height - 1 - y) * width + x) * 3;
  rgb[0] = px[2];
  rgb[1] = px[1];
  rgb[2] = px[0];
}

Bytes NoiseFrame(int width, int height, uint32_t seed) {
  Bytes frame(static_cast<size_t>(width) * height * 3);
  uint32_t state = seed * 2654435761u + 1;
  for (unsigned char& byte : frame) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    byte = static_cast<unsigned char>(state >> 7);
  }
  return frame;
}

std::string Describe(const std::vector<Box>& boxes) {
  std::string all;
  for (const Box& box : boxes) all += "[" + box.caption + "|" + box.text + "]\n";
  return all.empty() ? "(no boxes)" : all;
}

#ifdef _WIN32
BoxLog::BoxLog() = default;

std::vector<Box> BoxLog::Take() {
  // A box is recorded before the watcher presses OK, so every box that the call
  // under test showed (and waited on) is here once the call returned.
  std::vector<Box> boxes;
  for (const qvtest::SeenBox& seen : m_watcher.Take()) boxes.push_back({seen.caption, seen.text});
  return boxes;
}
#else
BoxLog::BoxLog() { qv::TakeRecordedBoxes(); }

std::vector<Box> BoxLog::Take() {
  std::vector<Box> boxes;
  for (const qv::RecordedBox& box : qv::TakeRecordedBoxes()) boxes.push_back({box.caption, box.text});
  return boxes;
}
#endif

std::string StderrText(const std::string& captured) {
  std::string out;
  for (size_t i = 0; i < captured.size(); ++i) {
    if (captured[i] == '\r' && i + 1 < captured.size() && captured[i + 1] == '\n') continue;
    out += captured[i];
  }
  return out;
}

}  // namespace imgtest
