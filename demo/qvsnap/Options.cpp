#include "Options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

const char kUsage[] =
    "usage: qvsnap [--device N] [--frames N] [--out DIR] [--list] [--headless] [--help]\n"
    "  Opens video capture device N (default 0), grabs N frames (default 5, 1..1000),\n"
    "  and saves each as JPEG, BMP and raw, and all of them as one multi-page TIFF,\n"
    "  in DIR (default qvsnap-out).\n"
    "  --list       only list the capture devices\n"
    "  --headless   print the library's message boxes on stderr and close them\n";

namespace {
bool ParseCount(const char* text, int low, int high, int* value) {
  if (text == nullptr || *text == '\0') return false;
  char* end = nullptr;
  errno = 0;
  long parsed = std::strtol(text, &end, 10);
  if (errno != 0 || *end != '\0' || parsed < low || parsed > high) return false;
  *value = static_cast<int>(parsed);
  return true;
}
}  // namespace

bool ParseOptions(int argc, char** argv, Options* options, std::string* error) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      options->help = true;
    } else if (std::strcmp(arg, "--list") == 0) {
      options->list = true;
    } else if (std::strcmp(arg, "--headless") == 0) {
      options->headless = true;
    } else if (std::strcmp(arg, "--device") == 0) {
      if (!ParseCount(next, 0, 255, &options->device)) {
        *error = "--device takes a number from 0 to 255";
        return false;
      }
      ++i;
    } else if (std::strcmp(arg, "--frames") == 0) {
      if (!ParseCount(next, 1, 1000, &options->frames)) {
        *error = "--frames takes a number from 1 to 1000";
        return false;
      }
      ++i;
    } else if (std::strcmp(arg, "--out") == 0) {
      if (next == nullptr || *next == '\0') {
        *error = "--out takes a folder";
        return false;
      }
      options->outDir = next;
      ++i;
    } else {
      *error = std::string("unknown argument: ") + arg;
      return false;
    }
  }
  return true;
}
