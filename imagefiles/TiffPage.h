// The page writer shared by the TIFF writers: appends one directory, with its rows,
// to a new or existing TIFF file.
#pragma once

#include <cstdint>

#include "TiffOptions.h"

// The fields of one page, as the library's tag values.
struct TiffPageFields {
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
class TiffRowSource {
 public:
  virtual unsigned char* Row(uint32_t i) = 0;

 protected:
  ~TiffRowSource() = default;
};

// Opens path for appending and writes one directory with its rows, each row's words
// rearranged by swap first. kTiffWriterRan when the writer ran (a row that fails is
// reported on stderr); kTiffFileRefused when the file could not be opened or may not
// be appended to (left unchanged).
TiffWriteResult AppendTiffPage(const char* path, const TiffPageFields& page, TiffRowSource& rows, SampleWordSwap swap);
