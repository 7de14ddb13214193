#include "TiffWriter.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <tiffio.h>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define QV_TIFF_SSSE3 1
#endif

#include "FrameSize.h"
#include "MessageBox.h"

namespace {

// Limits worked in 64 bits, so the 32-bit and 64-bit builds refuse the same sizes.
// The library sizes a row in a signed size_t-wide integer: in the 32-bit build a row
// past 2^31 - 1 bytes overflows it, so such rows are refused on every build.
constexpr uint64_t kMaxRowBytes = INT32_MAX;
// The general writer's working copy, and so its data, is addressed with 32 bits.
constexpr uint64_t kMaxDataBytes = UINT32_MAX;

// The library's own errors and warnings, shown to the user.
void ShowTiffMessage(const char* module, const char* fmt, va_list ap, const char* suffix, qv::BoxIcon icon) {
  std::string caption = module != nullptr ? module : "TIFFLIB";
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

// Errors the library reported on this thread, so the writer can tell whether a
// step that returns no result of its own went wrong.
thread_local unsigned long t_tiffErrors = 0;

void TiffErrorBox(const char* module, const char* fmt, va_list ap) {
  ++t_tiffErrors;
  ShowTiffMessage(module, fmt, ap, " Error", qv::BoxIcon::Exclamation);
}

void TiffWarningBox(const char* module, const char* fmt, va_list ap) {
  ShowTiffMessage(module, fmt, ap, " Warning", qv::BoxIcon::Information);
}

// Process-wide: installed once, before this library's first TIFF call.
void InstallTiffHandlers() {
  static const bool installed = [] {
    TIFFSetErrorHandler(TiffErrorBox);
    TIFFSetWarningHandler(TiffWarningBox);
    return true;
  }();
  (void)installed;
}

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

struct PageFields {
  uint32_t width;
  uint32_t height;
  uint16_t samplesPerPixel;
  uint16_t bitsPerSample;
  uint16_t photometric;
  uint16_t compression;
  uint32_t rowBytes;
  const uint16_t* colorMap[3];  // red, green, blue; null when there is none
};

// Gives row i of the page (0 is the top of the picture), ready for the library,
// which may change it.
class RowSource {
 public:
  virtual unsigned char* Row(uint32_t i) = 0;

 protected:
  ~RowSource() = default;
};

uint16_t CompressionFor(int compressionKind) {
  switch (compressionKind) {
    case 0:
      return COMPRESSION_NONE;
    case 1:
      return COMPRESSION_JPEG;
    case 2:
      return COMPRESSION_LZW;
    default:
      return 65535;  // no such scheme: the first row fails
  }
}

// Opens path for appending and writes one directory with its rows.
// 0 the writer ran; 2 the file could not be opened or is not a TIFF file.
int AppendPage(const char* path, const PageFields& page, RowSource& rows, int swapMode) {
  InstallTiffHandlers();
  if (!MayAppendTo(path)) {
    std::fprintf(stderr, "Cannot open file for output.\n");
    return 2;
  }
  TIFF* tif = TIFFOpen(path, "a+");
  if (tif == nullptr) {
    std::fprintf(stderr, "Cannot open file for output.\n");
    return 2;
  }

  // A file that already holds pages gets a fresh directory, linked after the last
  // one when it is written; walking to the end of the chain loads no directory.
  tdir_t existing = TIFFNumberOfDirectories(tif);
  bool writeExplicitly = existing > 0;
  if (writeExplicitly) {
    TIFFCreateDirectory(tif);
    TIFFSetDirectory(tif, existing);
  }

  // The order matters: the JPEG colour mode exists only once Compression is JPEG,
  // and the strip size is computed from the fields before it.
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, page.width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, page.height);
  TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, page.samplesPerPixel);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, page.bitsPerSample);
  TIFFSetField(tif, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, page.photometric);
  TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_INT);  // readers have always been given 2
  TIFFSetField(tif, TIFFTAG_COMPRESSION, page.compression);
  if (page.compression == COMPRESSION_JPEG) TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0xFFFFFFFFu));
  if (page.colorMap[0] != nullptr) {
    TIFFSetField(tif, TIFFTAG_COLORMAP, page.colorMap[0], page.colorMap[1], page.colorMap[2]);
  }

  for (uint32_t i = 0; i < page.height; ++i) {
    unsigned char* row = rows.Row(i);
    SwapSampleWords(row, page.rowBytes, swapMode);
    if (TIFFWriteScanline(tif, row, i, 0) < 0) {
      std::fprintf(stderr, "scanline %lu: Write error.\n", static_cast<unsigned long>(i));
      break;
    }
  }

  if (writeExplicitly) TIFFWriteDirectory(tif);
  TIFFClose(tif);  // writes the directory of a file that had none
  return 0;
}

// Rows of a working copy, the top row first once it was flipped.
class CopyRows final : public RowSource {
 public:
  CopyRows(unsigned char* data, uint32_t rowBytes) : m_data(data), m_rowBytes(rowBytes) {}
  unsigned char* Row(uint32_t i) override { return m_data + static_cast<size_t>(i) * m_rowBytes; }

 private:
  unsigned char* m_data;
  uint32_t m_rowBytes;
};

// One row of blue-green-red pixels as red-green-blue.
void BgrToRgbScalar(const unsigned char* in, unsigned char* out, size_t bytes) {
  for (size_t x = 0; x + 2 < bytes; x += 3) {
    out[x] = in[x + 2];
    out[x + 1] = in[x + 1];
    out[x + 2] = in[x];
  }
}

#ifdef QV_TIFF_SSSE3
// Five pixels per shuffle: 16 bytes are read and written, the 16th is the next
// group's first byte and is written again, swapped, on the next step.
__attribute__((target("ssse3"))) void BgrToRgbSsse3(const unsigned char* in, unsigned char* out, size_t bytes) {
  const __m128i order = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
  size_t x = 0;
  for (; x + 16 <= bytes; x += 15) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_shuffle_epi8(v, order));
  }
  BgrToRgbScalar(in + x, out + x, bytes - x);
}
#endif

using RowConverter = void (*)(const unsigned char*, unsigned char*, size_t);

RowConverter PickBgrToRgb() {
#ifdef QV_TIFF_SSSE3
  if (__builtin_cpu_supports("ssse3")) return BgrToRgbSsse3;
#endif
  return BgrToRgbScalar;
}

// Rows built one at a time from a bottom-up blue-green-red frame: the frame's last
// row first, each pixel turned to red-green-blue.
class FrameRows final : public RowSource {
 public:
  FrameRows(const unsigned char* frame, uint32_t width, uint32_t height, unsigned char* row)
      : m_frame(frame), m_rowBytes(static_cast<size_t>(width) * 3), m_height(height), m_row(row) {}
  unsigned char* Row(uint32_t i) override {
    static const RowConverter convert = PickBgrToRgb();
    convert(m_frame + static_cast<size_t>(m_height - 1 - i) * m_rowBytes, m_row, m_rowBytes);
    return m_row;
  }

 private:
  const unsigned char* m_frame;
  size_t m_rowBytes;
  uint32_t m_height;
  unsigned char* m_row;
};

}  // namespace

namespace {
bool CanWriteFrame(const char* path, const unsigned char* frame, int width, int height) {
  size_t frameBytes = 0;
  return path != nullptr && frame != nullptr && qv::CountBytes(width, height, 3, &frameBytes) && frameBytes != 0 &&
         static_cast<uint64_t>(width) * 3 <= kMaxRowBytes;
}
}  // namespace

int SaveTiffImage(const char* path, unsigned char* frame, int width, int height) {
  if (!CanWriteFrame(path, frame, width, height)) return 0;
  // The writer makes no change to the frame, so it needs no copy of it.
  WriteTiffFrame(path, frame, width, height);
  return 1;
}

int WriteTiffFrame(const char* path, const unsigned char* frame, int width, int height) {
  if (!CanWriteFrame(path, frame, width, height)) return 0;  // nothing to write
  const uint32_t rowBytes = static_cast<uint32_t>(width) * 3;
  std::unique_ptr<unsigned char[]> row(new (std::nothrow) unsigned char[rowBytes]);
  if (!row) return 0;
  PageFields page{static_cast<uint32_t>(width), static_cast<uint32_t>(height), 3, 8, PHOTOMETRIC_RGB,
                  COMPRESSION_NONE, rowBytes, {nullptr, nullptr, nullptr}};
  FrameRows rows(frame, page.width, page.height, row.get());
  return AppendPage(path, page, rows, 1);
}

int WriteTiffFile(const char* path, unsigned int width, unsigned int height, int photometricKind,
                  unsigned int bitsPerPixel, int compressionKind, int swapMode, int /*reserved*/,
                  const unsigned char* palette, unsigned int paletteCount, unsigned char* data) {
  uint16_t samplesPerPixel;
  uint16_t photometric;
  switch (photometricKind) {
    case 1:
      samplesPerPixel = 1;
      photometric = PHOTOMETRIC_MINISBLACK;
      break;
    case 2:
      samplesPerPixel = 3;
      photometric = PHOTOMETRIC_RGB;
      break;
    case 3:
      samplesPerPixel = 1;
      photometric = PHOTOMETRIC_PALETTE;
      break;
    default:
      return -1;
  }
  if (path == nullptr || data == nullptr) return 0;

  const unsigned int bitsPerSample = paletteCount == 0 ? bitsPerPixel / samplesPerPixel : bitsPerPixel;
  if (bitsPerSample == 0 || bitsPerSample > 0xFFFF) return 0;
  // Each pixel has at least one bit: more pixels than this can't fit in a 32-bit count.
  if (static_cast<uint64_t>(width) * height > uint64_t{UINT32_MAX} * 8) return 0;
  const uint64_t dataBytes = static_cast<uint64_t>(width) * height * bitsPerPixel / 8;
  const uint64_t rowBytes = static_cast<uint64_t>(width) * bitsPerPixel / 8;
  // The library reads whole scanlines of its own size; the copy is padded so the
  // last row never reads beyond it, even where that size exceeds rowBytes.
  const uint64_t scanlineBytes = (static_cast<uint64_t>(width) * bitsPerSample * samplesPerPixel + 7) / 8;
  const uint64_t slack = scanlineBytes > rowBytes ? scanlineBytes - rowBytes : 0;
  if (dataBytes == 0 || rowBytes == 0 || dataBytes + slack > kMaxDataBytes || rowBytes > kMaxRowBytes ||
      scanlineBytes > kMaxRowBytes) {
    return 0;
  }

  // The colour map's arrays hold every value the library will read (2^BitsPerSample),
  // entries beyond the palette black; each 8-bit component fills both bytes.
  std::unique_ptr<uint16_t[]> colorMap;
  size_t mapEntries = 0;
  if (photometricKind == 3 && bitsPerSample <= 16) {
    mapEntries = size_t{1} << bitsPerSample;
    colorMap.reset(new (std::nothrow) uint16_t[3 * mapEntries]());
    if (!colorMap) return 0;  // nothing written
    for (size_t i = 0; palette != nullptr && i < paletteCount && i < mapEntries; ++i) {
      colorMap[i] = static_cast<uint16_t>(palette[4 * i + 2] * 0x101);
      colorMap[mapEntries + i] = static_cast<uint16_t>(palette[4 * i + 1] * 0x101);
      colorMap[2 * mapEntries + i] = static_cast<uint16_t>(palette[4 * i] * 0x101);
    }
  }

  std::unique_ptr<unsigned char[]> copy(new (std::nothrow) unsigned char[dataBytes + slack]);
  if (!copy) return 0;
  std::memcpy(copy.get(), data, dataBytes);
  std::memset(copy.get() + dataBytes, 0, slack);

  if (photometricKind == 2) {
    // width x height 3-byte pixels, but never beyond the data given.
    uint64_t pixels = static_cast<uint64_t>(width) * height;
    if (pixels > dataBytes / 3) pixels = dataBytes / 3;
    unsigned char* px = copy.get();
    for (uint64_t i = 0; i < pixels; ++i, px += 3) {
      unsigned char first = px[0];
      px[0] = px[2];
      px[2] = first;
    }
  }

  PageFields page{width,
                  height,
                  samplesPerPixel,
                  static_cast<uint16_t>(bitsPerSample),
                  photometric,
                  CompressionFor(compressionKind),
                  static_cast<uint32_t>(rowBytes),
                  {nullptr, nullptr, nullptr}};
  if (colorMap) {
    page.colorMap[0] = colorMap.get();
    page.colorMap[1] = colorMap.get() + mapEntries;
    page.colorMap[2] = colorMap.get() + 2 * mapEntries;
  }

  // A depth that can't be flipped keeps the rows in their given order.
  FlipTiffRows(width, height, bitsPerPixel, copy.get());
  CopyRows rows(copy.get(), page.rowBytes);
  int result = AppendPage(path, page, rows, swapMode);
  return result == 2 ? 2 : 0;
}

int FlipTiffRows(unsigned int width, unsigned int height, unsigned int bitsPerPixel, unsigned char* data) {
  switch (bitsPerPixel) {
    case 1:
    case 2:
    case 4:
    case 8:
    case 16:
    case 24:
    case 48:
      break;
    default:
      return -1;
  }
  if (data == nullptr) return -1;
  // Rows that together pass the general writer's 32-bit limit can't be in memory here;
  // refused before a 32-bit size_t could wrap.
  const uint64_t rowBytes64 = static_cast<uint64_t>(width) * bitsPerPixel / 8;
  if (height != 0 && rowBytes64 > kMaxDataBytes / height) return -1;
  const size_t rowBytes = static_cast<size_t>(rowBytes64);
  std::unique_ptr<unsigned char[]> scratch(new (std::nothrow) unsigned char[rowBytes ? rowBytes : 1]);
  if (!scratch) return -1;
  for (size_t i = 0; i < height / 2; ++i) {
    unsigned char* top = data + i * rowBytes;
    unsigned char* bottom = data + (height - 1 - i) * rowBytes;
    std::memcpy(scratch.get(), top, rowBytes);
    std::memcpy(top, bottom, rowBytes);
    std::memcpy(bottom, scratch.get(), rowBytes);
  }
  return 0;
}

int SwapSampleWords(unsigned char* data, unsigned int byteCount, int mode) {
  if (data == nullptr || mode < 2 || mode > 5) return 0;
  for (unsigned int i = 0; i + 1 < byteCount; i += 2) {
    unsigned w = data[i] | (data[i + 1] << 8);
    switch (mode) {
      case 2:
        w = ((w << 8) | (w >> 8)) & 0xFFFF;
        break;
      case 3:
        w = (w & 0xFF00) | ((w & 0x0F) << 4) | ((w & 0xF0) >> 4);
        break;
      case 4:
        w = (w & 0xFF00) | ((w & 0x0F) << 4) | ((w & 0xF0) >> 4);
        w = ((w << 8) | (w >> 8)) & 0xFFFF;
        break;
      case 5:
        w = ((w << 4) | (w >> 12)) & 0xFFFF;
        break;
    }
    data[i] = static_cast<unsigned char>(w);
    data[i + 1] = static_cast<unsigned char>(w >> 8);
  }
  return 0;
}
