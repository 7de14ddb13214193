// Helpers of the image-file tests: a private folder, whole-file reads and writes,
// test pictures, and the message boxes that the code under test showed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#ifdef _WIN32
#include "MessageBoxWatcher.h"
#endif

namespace imgtest {

using Bytes = std::vector<unsigned char>;

// A fresh folder, removed with everything in it at the end of the test.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string Path(const std::string& name) const;

 private:
  std::string m_dir;
};

bool FileExists(const std::string& path);
Bytes ReadFile(const std::string& path);
void WriteFile(const std::string& path, const Bytes& bytes);

// An RGB24 frame (bottom row first, blue-green-red) of a smooth picture whose
// top-left is dark, red grows to the right and green downwards, blue the other way:
// a flipped or colour-swapped copy differs from it by far more than JPEG's loss.
Bytes GradientFrame(int width, int height);
// The red, green, blue of picture pixel (x, y), y = 0 the top row, in such a frame.
void FramePixel(const Bytes& frame, int width, int height, int x, int y, unsigned char rgb[3]);
// An RGB24 frame of pseudo-random bytes, for exact comparisons.
Bytes NoiseFrame(int width, int height, uint32_t seed);

struct Box {
  std::string caption;
  std::string text;
};
std::string Describe(const std::vector<Box>& boxes);

// What reached the standard error stream, with the CR that a Windows text stream
// may put before each newline taken out again.
std::string StderrText(const std::string& captured);

// Collects the boxes shown while it lives. Natively the platform layer records them;
// on Windows they are real modal boxes, found, read and closed by a watcher thread.
class BoxLog {
 public:
  BoxLog();
  // Boxes shown since construction or the last Take, in order.
  std::vector<Box> Take();

 private:
#ifdef _WIN32
  qvtest::MessageBoxWatcher m_watcher;
#endif
};

}  // namespace imgtest
