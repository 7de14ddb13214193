// Appends a small frame as a TIFF page onto arbitrary existing file bytes, by the
// save path and by the general writer. Checks: no crash or sanitizer finding; a
// refused file (result 2) is byte-identical afterwards; a file that doesn't start
// with a TIFF header is always refused; an append keeps every existing byte but
// the one link it sets; both routes leave the same bytes.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "RecordedMessageBoxes.h"
#include "TiffWriter.h"

namespace {

using Bytes = std::vector<unsigned char>;

void Put(const std::string& path, const uint8_t* data, size_t size) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (size != 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  std::fclose(f);
}

Bytes Get(const std::string& path) {
  Bytes bytes;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) std::abort();
  unsigned char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
  std::fclose(f);
  return bytes;
}

bool StartsLikeTiff(const uint8_t* d, size_t size) {
  if (size == 0) return true;
  if (size < 8) return false;
  unsigned version;
  if (d[0] == 'I' && d[1] == 'I') {
    version = d[2] | (d[3] << 8);
  } else if (d[0] == 'M' && d[1] == 'M') {
    version = (d[2] << 8) | d[3];
  } else {
    return false;
  }
  return version == 42 || version == 43;
}

// An append writes past the old end and, inside the old file, only the link to the
// new directory (the header's or the last directory's: 4 bytes, 8 in BigTIFF).
bool KeptAllButOneLink(const Bytes& before, const Bytes& after) {
  if (before.empty()) return true;
  if (after.size() <= before.size()) return false;
  const bool big = (before[0] == 'I' ? before[2] | (before[3] << 8) : (before[2] << 8) | before[3]) == 43;
  size_t first = before.size(), last = 0;
  for (size_t i = 0; i < before.size(); ++i) {
    if (before[i] == after[i]) continue;
    if (first == before.size()) first = i;
    last = i;
  }
  return first == before.size() || last - first < (big ? 8u : 4u);
}

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "tiff-append: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A folder of this process's own under the system's temporary folder, so
  // parallel jobs never share a file.
  static const std::string path = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::string dir = std::string(tmp != nullptr && *tmp != 0 ? tmp : "/tmp") + "/qv-tiff-append-XXXXXX";
    if (mkdtemp(&dir[0]) == nullptr) std::abort();
    static std::string made;
    made = dir;
    std::atexit([] { rmdir(made.c_str()); });
    return dir + "/page.tif";
  }();
  static Bytes frame = [] {
    Bytes f(5 * 3 * 3);
    for (size_t i = 0; i < f.size(); ++i) f[i] = static_cast<unsigned char>(i * 37 + 11);
    return f;
  }();
  const Bytes input(data, data + size);
  const bool looksLikeTiff = StartsLikeTiff(data, size);

  Put(path, data, size);
  int general = WriteTiffFile(path.c_str(), 5, 3, 2, 24, 0, 1, 0, nullptr, 0, frame.data());
  Bytes afterGeneral = Get(path);
  Check(general == 0 || general == 2, "unexpected result");
  Check(looksLikeTiff || general == 2, "a file without a TIFF header was not refused");
  Check(general != 2 || afterGeneral == input, "a refused file was changed");
  Check(general != 0 || KeptAllButOneLink(input, afterGeneral), "an append changed the existing file");

  Put(path, data, size);
  int save = WriteTiffFrame(path.c_str(), frame.data(), 5, 3);
  Bytes afterSave = Get(path);
  Check(save == general, "the save path and the general writer disagree");
  Check(afterSave == afterGeneral, "the save path and the general writer wrote different bytes");

  // The native message-box sink keeps what it records: drain it every run.
  qv::TakeRecordedBoxes();
  std::remove(path.c_str());
  return 0;
}
