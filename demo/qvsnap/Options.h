// qvsnap's command line.
#pragma once

#include <string>

struct Options {
  int device = 0;
  int frames = 5;
  std::string outDir = "qvsnap-out";
  bool list = false;
  bool help = false;
  bool headless = false;  // print the library's message boxes to stderr and close them
};

// Parses argv; false with a message in error for a bad argument.
bool ParseOptions(int argc, char** argv, Options* options, std::string* error);

extern const char kUsage[];
