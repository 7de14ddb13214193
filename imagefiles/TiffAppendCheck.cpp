#include "TiffAppendCheck.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include <tiffio.h>

namespace {

// The most directories the library follows in a chain; a page appended after them
// could not be read back.
constexpr uint64_t kMostDirectories = 1048576;
// BigTIFF stores a directory's entry count in 64 bits; the library reads at most this.
constexpr uint64_t kMostEntries = 0xFFFF;

// 64-bit file positions, so files beyond 2 GiB are checked on Windows too.
#ifdef _WIN32
int SeekTo(std::FILE* f, uint64_t at) { return _fseeki64(f, static_cast<__int64>(at), SEEK_SET); }
int64_t SizeOf(std::FILE* f) { return _fseeki64(f, 0, SEEK_END) == 0 ? _ftelli64(f) : -1; }
#else
int SeekTo(std::FILE* f, uint64_t at) { return fseeko(f, static_cast<off_t>(at), SEEK_SET); }
int64_t SizeOf(std::FILE* f) { return fseeko(f, 0, SEEK_END) == 0 ? ftello(f) : -1; }
#endif

uint64_t Decode(const unsigned char* at, int count, bool bigEndian) {
  uint64_t value = 0;
  for (int i = 0; i < count; ++i) value |= uint64_t{at[bigEndian ? count - 1 - i : i]} << (8 * i);
  return value;
}

// Small reads at any offset through one 16 KiB window, so a long chain of
// directories laid out one after another costs few reads of the file.
class FileWindow {
 public:
  FileWindow(std::FILE* file, uint64_t size) : m_file(file), m_size(size) {}

  // The count bytes at offset, in the file's byte order; false when they lie
  // beyond the end or can't be read.
  bool Number(uint64_t at, int count, bool bigEndian, uint64_t* value) {
    if (at > m_size || m_size - at < static_cast<uint64_t>(count)) return false;
    if (at < m_start || at + count > m_start + m_length) {
      // Walking backwards (pages added at the front), the bytes wanted go in the
      // middle of the window, so the link after them is read from it too.
      const uint64_t half = sizeof m_buffer / 2;
      const uint64_t start = at >= m_start ? at : at > half ? at - half : 0;
      m_length = 0;
      if (SeekTo(m_file, start) != 0) return false;
      m_start = start;
      m_length = std::fread(m_buffer, 1, sizeof m_buffer, m_file);
      if (at + count > m_start + m_length) return false;
    }
    *value = Decode(m_buffer + (at - m_start), count, bigEndian);
    return true;
  }

 private:
  std::FILE* m_file;
  uint64_t m_size;
  uint64_t m_start = 0;
  size_t m_length = 0;
  unsigned char m_buffer[16384];
};

struct TiffHeader {
  bool bigEndian;
  bool bigTiff;
  uint64_t firstDirectory;
  uint64_t bytes;  // 8, or 16 for BigTIFF
};

// The header as the library's append open accepts it without writing a fresh one:
// the byte-order mark, version 42, or 43 with offsets of 8 bytes and 0 reserved.
bool ReadHeader(const unsigned char* h, size_t got, TiffHeader* header) {
  if (got < 8 || h[0] != h[1] || (h[0] != 'I' && h[0] != 'M')) return false;
  const bool be = h[0] == 'M';
  auto number = [be](const unsigned char* at, int count) { return Decode(at, count, be); };
  const uint64_t version = number(h + 2, 2);
  if (version == 42) {
    *header = {be, false, number(h + 4, 4), 8};
    return true;
  }
  if (version != 43 || got < 16 || number(h + 4, 2) != 8 || number(h + 6, 2) != 0) return false;
  *header = {be, true, number(h + 8, 8), 16};
  return true;
}

std::string Format(const char* fmt, unsigned long long a, unsigned long long b, unsigned long long c = 0) {
  char text[200];
  std::snprintf(text, sizeof text, fmt, a, b, c);
  return text;
}

// Where a directory lies, from its entry count to the end of its link.
struct DirectorySpan {
  uint64_t start;
  uint64_t end;
  unsigned long long index;  // place in the chain
};

// A directory that starts where an earlier one did is a loop: the library would
// stop early there and rewrite an existing page. One that overlaps another would
// have the new link written into that one. Spans in chain order.
std::string OverlapFault(std::vector<DirectorySpan> spans) {
  std::sort(spans.begin(), spans.end(), [](const DirectorySpan& a, const DirectorySpan& b) {
    return a.start != b.start ? a.start < b.start : a.index < b.index;
  });
  // The first directory in chain order that repeats an earlier one, if any.
  const DirectorySpan* repeat = nullptr;
  for (size_t i = 1; i < spans.size(); ++i) {
    if (spans[i].start == spans[i - 1].start && (repeat == nullptr || spans[i].index < repeat->index)) {
      repeat = &spans[i];
    }
  }
  if (repeat != nullptr) {
    return Format("Directory %llu links back to the directory at offset %llu", repeat->index - 1, repeat->start);
  }
  for (size_t i = 1; i < spans.size(); ++i) {
    if (spans[i].start < spans[i - 1].end) {
      const DirectorySpan& later = spans[i].index > spans[i - 1].index ? spans[i] : spans[i - 1];
      const DirectorySpan& earlier = spans[i].index > spans[i - 1].index ? spans[i - 1] : spans[i];
      return Format("Directory %llu at offset %llu overlaps directory %llu", later.index, later.start, earlier.index);
    }
  }
  return std::string();
}

// Follows the chain of directory links reading only each directory's entry count
// and link, as the library's append does. Empty when the chain ends cleanly,
// otherwise what is wrong: a directory inside the header, one or its link beyond
// the end, more entries than the library reads, a loop or an overlap, or more
// directories than the library follows.
std::string ChainFault(FileWindow& file, const TiffHeader& header) {
  const int countBytes = header.bigTiff ? 8 : 2, entryBytes = header.bigTiff ? 20 : 12;
  const int linkBytes = header.bigTiff ? 8 : 4;
  std::vector<DirectorySpan> spans;
  // Each directory after the end of the one before: no loop or overlap is possible,
  // as in files written by appending.
  bool ascending = true;
  // A loop is found within twice its length by comparing each link with a marked
  // directory, marked anew after 1, 2, 4, ... steps.
  uint64_t mark = header.firstDirectory;
  unsigned long long sinceMark = 0, markEvery = 1;
  uint64_t offset = header.firstDirectory;
  while (offset != 0 && spans.size() < kMostDirectories) {
    const unsigned long long index = spans.size();
    if (offset < header.bytes) return Format("Directory %llu at offset %llu overlaps the file header", index, offset);
    uint64_t entries = 0;
    if (!file.Number(offset, countBytes, header.bigEndian, &entries)) {
      return Format("Directory %llu at offset %llu lies beyond the end of the file", index, offset);
    }
    if (entries > kMostEntries) {
      return Format("Directory %llu at offset %llu has %llu entries, more than the library reads (65535)", index,
                    offset, entries);
    }
    const uint64_t linkAt = offset + countBytes + entries * entryBytes;
    uint64_t next = 0;
    if (!file.Number(linkAt, linkBytes, header.bigEndian, &next)) {
      return Format("Directory %llu at offset %llu lies beyond the end of the file", index, offset);
    }
    if (!spans.empty() && offset < spans.back().end) ascending = false;
    spans.push_back({offset, linkAt + linkBytes, index});
    if (next != 0 && next == mark) {
      spans.push_back({next, next, index + 1});  // the repeat, named by the first directory that links back
      return OverlapFault(std::move(spans));
    }
    if (++sinceMark == markEvery) {
      mark = next;
      markEvery *= 2;
      sinceMark = 0;
    }
    offset = next;
  }
  const bool tooMany = spans.size() >= kMostDirectories;
  if (!ascending) {
    std::string fault = OverlapFault(std::move(spans));
    if (!fault.empty()) return fault;
  }
  if (tooMany) {
    return Format("The chain holds %llu directories or more, the most the library reads", kMostDirectories, 0);
  }
  return std::string();
}

}  // namespace

// Opening for append writes a fresh header over any file too short to hold one,
// and a chain that doesn't end cleanly makes the library hang, or rewrite an
// existing directory. No directory is parsed: the reader would warn about tags of
// other programs, or reject directories that the append never needs to read.
bool MayAppendTo(const char* path) {
  std::FILE* in = std::fopen(path, "rb");
  if (in == nullptr) return true;  // missing or unreadable: the append open reports why
  unsigned char bytes[16];
  const size_t got = std::fread(bytes, 1, sizeof bytes, in);
  if (got == 0) {
    std::fclose(in);
    return true;  // empty: becomes a new TIFF file
  }
  TiffHeader header;
  if (!ReadHeader(bytes, got, &header)) {
    std::fclose(in);
    // Not a TIFF file: the library says so in its own words. Opened header-only, so
    // it reads no directory even of a header it accepts.
    if (TIFF* probe = TIFFOpen(path, "rh")) {
      TIFFClose(probe);
      TIFFErrorExt(nullptr, path, "%s", "Not a TIFF file the writer can append to");
    }
    return false;
  }
  const int64_t size = SizeOf(in);
  std::string fault = "Cannot read the file";
  if (size >= 0) {
    FileWindow window(in, static_cast<uint64_t>(size));
    try {
      fault = ChainFault(window, header);
    } catch (const std::bad_alloc&) {
      fault = "Not enough memory to follow the chain of directories";  // never thrown into the host
    }
  }
  std::fclose(in);
  if (!fault.empty()) {
    TIFFErrorExt(nullptr, path, "%s", fault.c_str());
    return false;
  }
  return true;
}
