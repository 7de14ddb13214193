// Real decoders for the files under test: libjpeg-turbo's decompressor, libtiff's
// reader and a plain parse of a BMP's headers and rows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ImageTestSupport.h"

namespace imgtest {

struct DecodedJpeg {
  bool ok = false;
  unsigned width = 0;
  unsigned height = 0;
  int components = 0;
  Bytes pixels;  // rows as stored, first row first
};

// Decodes without the library's exit on error, so a broken file gives ok == false.
DecodedJpeg DecodeJpeg(const std::string& path);

struct TiffPage {
  uint32_t width = 0, length = 0, rowsPerStrip = 0, strips = 0;
  uint16_t orientation = 0, samplesPerPixel = 0, bitsPerSample = 0, fillOrder = 0, planar = 0, photometric = 0,
           sampleFormat = 0, compression = 0;
  std::vector<uint16_t> colorMap[3];
  std::vector<Bytes> rows;  // as stored: row 0 first
  bool operator==(const TiffPage& o) const;
};

// Every page of the file, in the order of the directory chain; empty when libtiff
// can't open it. rgbJpeg: JPEG-compressed pages are read back as RGB.
std::vector<TiffPage> ReadTiffPages(const std::string& path, bool rgbJpeg = false);

// The number of directories in the chain, without reading any of them (0 when
// libtiff can't open the file), and the page of one directory, read alone.
uint32_t CountTiffPages(const std::string& path);
bool ReadTiffPage(const std::string& path, uint32_t index, TiffPage* page);

struct ParsedBmp {
  bool ok = false;  // "BM" and at least the 54 header bytes
  uint16_t type = 0, planes = 0, bitCount = 0;
  uint32_t fileSize = 0, reserved = 0, offBits = 0, infoSize = 0, compression = 0, sizeImage = 0, xPelsPerMeter = 0,
           yPelsPerMeter = 0, clrUsed = 0, clrImportant = 0;
  int32_t width = 0, height = 0;
  std::vector<Bytes> rows;  // the pixel bytes of each stored row (fill bytes left out), stored order
  size_t bytes = 0;         // the whole file's size
};

ParsedBmp ParseBmp(const Bytes& file);

// The picture's row y (0 the top) of an RGB24 frame, as red-green-blue bytes.
Bytes PictureRow(const Bytes& frame, int width, int height, int y);

}  // namespace imgtest
