#include "TiffMessages.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include <tiffio.h>

#include "MessageBox.h"

namespace {

// The caption when the library names no module.
constexpr char kUnnamedModule[] = "TIFFLIB";

void ShowTiffMessage(const char* module, const char* fmt, va_list ap, const char* suffix, qv::BoxIcon icon) {
  std::string caption = module != nullptr ? module : kUnnamedModule;
  caption += suffix;
  std::string text;
  va_list count;
  va_copy(count, ap);
  int length = std::vsnprintf(nullptr, 0, fmt, count);
  va_end(count);
  if (length > 0) {
    text.resize(static_cast<size_t>(length) + 1);
    std::vsnprintf(&text[0], text.size(), fmt, ap);
    text.resize(static_cast<size_t>(length));
  }
  qv::ShowOkBox(caption.c_str(), text.c_str(), icon, qv::BoxOwner::FocusWindow);
}

void TiffErrorBox(const char* module, const char* fmt, va_list ap) {
  ShowTiffMessage(module, fmt, ap, " Error", qv::BoxIcon::Exclamation);
}

void TiffWarningBox(const char* module, const char* fmt, va_list ap) {
  ShowTiffMessage(module, fmt, ap, " Warning", qv::BoxIcon::Information);
}

}  // namespace

void InstallTiffHandlers() {
  static const bool installed = [] {
    TIFFSetErrorHandler(TiffErrorBox);
    TIFFSetWarningHandler(TiffWarningBox);
    return true;
  }();
  (void)installed;
}
