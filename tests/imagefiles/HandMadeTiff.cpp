#include "HandMadeTiff.h"

#include <algorithm>

namespace imgtest {

namespace {

int TypeSize(uint16_t type) {
  switch (type) {
    case kTiffShort:
      return 2;
    case kTiffLong:
      return 4;
    case kTiffLong8:
      return 8;
    default:
      return 1;
  }
}

void Append(Bytes& bytes, uint64_t value, int size, bool bigEndian) {
  const size_t at = bytes.size();
  bytes.resize(at + static_cast<size_t>(size));
  PutNumber(bytes, at, value, size, bigEndian);
}

void PadToWord(Bytes& bytes) {
  if (bytes.size() % 2 != 0) bytes.push_back(0);
}

}  // namespace

uint64_t GetNumber(const Bytes& bytes, uint64_t at, int size, bool bigEndian) {
  uint64_t value = 0;
  for (int i = 0; i < size; ++i) {
    value |= uint64_t{bytes.at(static_cast<size_t>(at) + (bigEndian ? size - 1 - i : i))} << (8 * i);
  }
  return value;
}

void PutNumber(Bytes& bytes, uint64_t at, uint64_t value, int size, bool bigEndian) {
  for (int i = 0; i < size; ++i) {
    bytes.at(static_cast<size_t>(at) + (bigEndian ? size - 1 - i : i)) = static_cast<unsigned char>(value >> (8 * i));
  }
}

HandMadeTiff MakeTiff(TiffLayout layout, const std::vector<TiffDirectory>& directories) {
  const bool be = layout.bigEndian;
  const int offsetBytes = layout.bigTiff ? 8 : 4;
  const int countBytes = layout.bigTiff ? 8 : 2;
  HandMadeTiff tiff;
  tiff.linkBytes = offsetBytes;
  Bytes& out = tiff.bytes;
  out = {static_cast<unsigned char>(be ? 'M' : 'I'), static_cast<unsigned char>(be ? 'M' : 'I')};
  Append(out, layout.bigTiff ? 43 : 42, 2, be);
  if (layout.bigTiff) {
    Append(out, 8, 2, be);  // bytes per offset
    Append(out, 0, 2, be);  // reserved
  }
  tiff.headerLink = out.size();
  Append(out, 0, offsetBytes, be);

  for (const TiffDirectory& directory : directories) {
    std::vector<TiffEntry> entries = directory.entries;
    if (!directory.strip.empty()) {
      PadToWord(out);
      entries.push_back({273, kTiffLong, {out.size()}});
      entries.push_back({279, kTiffLong, {directory.strip.size()}});
      out.insert(out.end(), directory.strip.begin(), directory.strip.end());
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const TiffEntry& a, const TiffEntry& b) { return a.tag < b.tag; });

    // Values too long for the entry go first; the entry then holds their offset.
    std::vector<uint64_t> valueAt(entries.size(), 0);
    for (size_t i = 0; i < entries.size(); ++i) {
      const int size = TypeSize(entries[i].type);
      if (entries[i].values.size() * size <= static_cast<size_t>(offsetBytes)) continue;
      PadToWord(out);
      valueAt[i] = out.size();
      for (uint64_t v : entries[i].values) Append(out, v, size, be);
    }

    PadToWord(out);
    tiff.directories.push_back(out.size());
    Append(out, entries.size(), countBytes, be);
    for (size_t i = 0; i < entries.size(); ++i) {
      const TiffEntry& e = entries[i];
      const int size = TypeSize(e.type);
      Append(out, e.tag, 2, be);
      Append(out, e.type, 2, be);
      Append(out, e.values.size(), offsetBytes, be);
      const size_t field = out.size();
      Append(out, 0, offsetBytes, be);
      if (valueAt[i] != 0) {
        PutNumber(out, field, valueAt[i], offsetBytes, be);
      } else {
        for (size_t k = 0; k < e.values.size(); ++k) PutNumber(out, field + k * size, e.values[k], size, be);
      }
    }
    tiff.links.push_back(out.size());
    Append(out, 0, offsetBytes, be);
  }

  if (layout.backwards) {
    std::reverse(tiff.directories.begin(), tiff.directories.end());
    std::reverse(tiff.links.begin(), tiff.links.end());
  }
  uint64_t link = tiff.headerLink;
  for (size_t i = 0; i < tiff.directories.size(); ++i) {
    PutNumber(out, link, tiff.directories[i], offsetBytes, be);
    link = tiff.links[i];
  }
  return tiff;
}

TiffDirectory RgbPage(uint32_t width, uint32_t height, const Bytes& rows, std::vector<TiffEntry> extra) {
  TiffDirectory page;
  page.entries = {{256, kTiffLong, {width}},  {257, kTiffLong, {height}}, {258, kTiffShort, {8, 8, 8}},
                  {259, kTiffShort, {1}},     {262, kTiffShort, {2}},     {277, kTiffShort, {3}},
                  {278, kTiffLong, {height}}, {284, kTiffShort, {1}}};
  page.entries.insert(page.entries.end(), extra.begin(), extra.end());
  page.strip = rows;
  return page;
}

}  // namespace imgtest
