#include "TiffWriter.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <tiffio.h>

#include "ImageSizeLimits.h"
#include "RedBlueSwap.h"
#include "TiffAppendCheck.h"
#include "TiffMessages.h"
#include "TiffPage.h"

namespace {

// 64-bit file positions, so appending to files beyond 2 GiB works on Windows too.
#ifdef _WIN32
int SeekTo(std::FILE* f, uint64_t at, int whence) { return _fseeki64(f, static_cast<__int64>(at), whence); }
int64_t Tell(std::FILE* f) { return _ftelli64(f); }
#else
int SeekTo(std::FILE* f, uint64_t at, int whence) { return fseeko(f, static_cast<off_t>(at), whence); }
int64_t Tell(std::FILE* f) { return ftello(f); }
#endif

// Follows the chain of directory links of a file that starts with a TIFF header,
// reading only counts and links: false when a directory or link lies beyond the
// end of the file or the chain loops (the library would hang on a loop, or load
// and rewrite an existing directory in place of the new one).
bool ChainEndsCleanly(std::FILE* in, const unsigned char* header, std::string* fault) {
  const bool little = header[0] == 'I';
  const bool big = (little ? header[2] | (header[3] << 8) : (header[2] << 8) | header[3]) == 43;
  auto number = [little](const unsigned char* at, int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= uint64_t{at[little ? i : bytes - 1 - i]} << (8 * i);
    return value;
  };
  if (SeekTo(in, 0, SEEK_END) != 0) return false;
  const int64_t end = Tell(in);
  if (end < 0) return false;
  const uint64_t size = static_cast<uint64_t>(end);
  const int countBytes = big ? 8 : 2, entryBytes = big ? 20 : 12, linkBytes = big ? 8 : 4;
  uint64_t offset = big ? number(header + 8, 8) : number(header + 4, 4);
  std::vector<uint64_t> seen;
  unsigned char buffer[8];
  char text[160];
  while (offset != 0) {
    for (uint64_t earlier : seen) {
      if (earlier == offset) {
        std::snprintf(text, sizeof text, "Directory %zu links back to the directory at offset %llu",
                      seen.size() - 1, static_cast<unsigned long long>(offset));
        *fault = text;
        return false;
      }
    }
    seen.push_back(offset);
    uint64_t entries = 0;
    bool readable = offset <= size - countBytes && size >= static_cast<uint64_t>(countBytes) &&
                    SeekTo(in, offset, SEEK_SET) == 0 &&
                    std::fread(buffer, 1, countBytes, in) == static_cast<size_t>(countBytes);
    if (readable) {
      entries = number(buffer, countBytes);
      const uint64_t linkAt = offset + countBytes;
      readable = entries <= (size - linkAt) / entryBytes && size - linkAt - entries * entryBytes >= uint64_t(linkBytes) &&
                 SeekTo(in, linkAt + entries * entryBytes, SEEK_SET) == 0 &&
                 std::fread(buffer, 1, linkBytes, in) == static_cast<size_t>(linkBytes);
    }
    if (!readable) {
      std::snprintf(text, sizeof text, "Directory %zu at offset %llu lies beyond the end of the file", seen.size() - 1,
                    static_cast<unsigned long long>(offset));
      *fault = text;
      return false;
    }
    offset = number(buffer, linkBytes);
  }
  return true;
}

}  // namespace

// Opening for append writes a fresh header over any file too short to hold one,
// and a chain of directories that doesn't end cleanly makes the library hang or
// rewrite an existing directory. So an existing file is appended to only when it
// starts with a TIFF header (either byte order, classic or big), its chain ends
// cleanly and the library reads it without error through a read-only open, which
// changes nothing. A missing or empty file goes straight to the append open.
bool MayAppendTo(const char* path) {
  std::FILE* in = std::fopen(path, "rb");
  if (in == nullptr) return true;  // missing or unreadable: the append open reports why
  unsigned char header[16];
  const size_t got = std::fread(header, 1, sizeof header, in);
  if (got == 0) {
    std::fclose(in);
    return true;  // empty: becomes a new TIFF file
  }
  bool tiffHeader = got >= 8 && (header[0] == header[1]) && (header[0] == 'I' || header[0] == 'M');
  if (tiffHeader) {
    const unsigned version = header[0] == 'I' ? header[2] | (header[3] << 8) : (header[2] << 8) | header[3];
    tiffHeader = version == 42 || (version == 43 && got >= 16);
  }
  std::string fault;
  const bool chainOk = tiffHeader && ChainEndsCleanly(in, header, &fault);
  std::fclose(in);
  if (!tiffHeader) {
    // Not a TIFF file: the library's read-only open says so in its own words.
    if (TIFF* probe = TIFFOpen(path, "r")) TIFFClose(probe);
    return false;
  }
  if (!chainOk) {
    TIFFErrorExt(nullptr, path, "%s", fault.empty() ? "Cannot read the chain of directories" : fault.c_str());
    return false;
  }
  const unsigned long errorsBefore = t_tiffErrors;
  TIFF* probe = TIFFOpen(path, "r");
  if (probe == nullptr) return false;
  TIFFNumberOfDirectories(probe);
  TIFFClose(probe);
  return t_tiffErrors == errorsBefore;
}

namespace {

// Rows built one at a time from a bottom-up blue-green-red frame: the frame's last
// row first, each pixel turned to red-green-blue.
class FrameRows final : public TiffRowSource {
 public:
  FrameRows(const unsigned char* frame, uint32_t width, uint32_t height, unsigned char* row)
      : m_frame(frame), m_rowBytes(static_cast<size_t>(width) * qv::kRgb24PixelBytes), m_height(height), m_row(row) {}
  unsigned char* Row(uint32_t i) override {
    qv::conversion::SwapRedBlueBytes(m_frame + static_cast<size_t>(m_height - 1 - i) * m_rowBytes, m_row, m_rowBytes);
    return m_row;
  }

 private:
  const unsigned char* m_frame;
  size_t m_rowBytes;
  uint32_t m_height;
  unsigned char* m_row;
};

bool CanWriteFrame(const char* path, const unsigned char* frame, int width, int height) {
  size_t frameBytes = 0, rowBytes = 0;
  return path != nullptr && frame != nullptr && qv::CountImageBytes(width, height, qv::kRgb24PixelBytes, &frameBytes) &&
         frameBytes != 0 && qv::rows::CountBytes(width, 1, qv::kRgb24PixelBytes, qv::kMaxTiffRowBytes, &rowBytes);
}

}  // namespace

int SaveTiffImage(const char* path, unsigned char* frame, int width, int height) {
  if (!CanWriteFrame(path, frame, width, height)) return 0;
  // The writer makes no change to the frame, so it needs no copy of it.
  WriteTiffFrame(path, frame, width, height);
  return 1;
}

int WriteTiffFrame(const char* path, const unsigned char* frame, int width, int height) {
  if (!CanWriteFrame(path, frame, width, height)) return kTiffWriterRan;  // nothing to write
  const uint32_t rowBytes = static_cast<uint32_t>(width) * qv::kRgb24PixelBytes;
  std::unique_ptr<unsigned char[]> row(new (std::nothrow) unsigned char[rowBytes]);
  if (!row) return kTiffWriterRan;
  // The page of WriteTiffFile(path, width, height, kTiffRgb, 24, kTiffUncompressed,
  // kWordsAsGiven, 0, nullptr, 0, frame): 3 samples of 8 bits, red first.
  TiffPageFields page{static_cast<uint32_t>(width), static_cast<uint32_t>(height), 3, 8, PHOTOMETRIC_RGB,
                      COMPRESSION_NONE, rowBytes, {nullptr, nullptr, nullptr}};
  FrameRows rows(frame, page.width, page.height, row.get());
  return AppendTiffPage(path, page, rows, kWordsAsGiven);
}
