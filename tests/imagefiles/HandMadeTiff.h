// TIFF files laid out byte by byte, in either byte order, classic or BigTIFF: the
// files other programs write (private tags, directories libtiff's reader rejects)
// with every directory's and link's position known, so a test can check that an
// append changed nothing but the last link.
#pragma once

#include <cstdint>
#include <vector>

#include "ImageTestSupport.h"

namespace imgtest {

enum : uint16_t { kTiffByte = 1, kTiffAscii = 2, kTiffShort = 3, kTiffLong = 4, kTiffLong8 = 16 };

struct TiffEntry {
  uint16_t tag;
  uint16_t type;
  std::vector<uint64_t> values;  // one per element; ASCII: one per character, with the closing 0
};

struct TiffDirectory {
  std::vector<TiffEntry> entries;
  // Written before the directory as its one strip, with StripOffsets and
  // StripByteCounts added; empty: no strip and no strip tags.
  Bytes strip;
};

struct HandMadeTiff {
  Bytes bytes;
  uint64_t headerLink = 4;            // the header's link to the first directory
  std::vector<uint64_t> directories;  // offset of each directory, in chain order
  std::vector<uint64_t> links;        // offset of each directory's link, in chain order
  int linkBytes = 4;                  // 8 in BigTIFF
};

struct TiffLayout {
  bool bigEndian = false;
  bool bigTiff = false;
  bool backwards = false;  // the chain runs from the last directory in the file to the first
};

// Header, then for each directory its strip, its values that don't fit in an
// entry, and the directory itself (entries sorted by tag), each directory linked to
// the next (or, backwards, to the one before) and the last in the chain to 0.
HandMadeTiff MakeTiff(TiffLayout layout, const std::vector<TiffDirectory>& directories);

// An uncompressed 8-bit RGB page of width x height in one strip (rows top first,
// red-green-blue), with extra entries added.
TiffDirectory RgbPage(uint32_t width, uint32_t height, const Bytes& rows, std::vector<TiffEntry> extra = {});

// Numbers in the file's byte order.
uint64_t GetNumber(const Bytes& bytes, uint64_t at, int size, bool bigEndian);
void PutNumber(Bytes& bytes, uint64_t at, uint64_t value, int size, bool bigEndian);

}  // namespace imgtest
