#include "TiffPage.h"

#include <cstdio>

#include <tiffio.h>

#include "TiffAppendCheck.h"
#include "TiffMessages.h"
#include "TiffRearrangements.h"

namespace {

// The strip size asked of the library: no preference, so it picks rows of about 8 KiB.
constexpr uint32_t kAnyStripRows = 0xFFFFFFFFu;

}  // namespace

TiffWriteResult AppendTiffPage(const char* path, const TiffPageFields& page, TiffRowSource& rows, SampleWordSwap swap) {
  InstallTiffHandlers();
  if (!MayAppendTo(path)) {
    std::fprintf(stderr, "Cannot open file for output.\n");
    return kTiffFileRefused;
  }
  TIFF* tif = TIFFOpen(path, "a+");
  if (tif == nullptr) {
    std::fprintf(stderr, "Cannot open file for output.\n");
    return kTiffFileRefused;
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
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, kAnyStripRows));
  if (page.colorMap[0] != nullptr) {
    TIFFSetField(tif, TIFFTAG_COLORMAP, page.colorMap[0], page.colorMap[1], page.colorMap[2]);
  }

  for (uint32_t i = 0; i < page.height; ++i) {
    unsigned char* row = rows.Row(i);
    RearrangeSampleWords(row, page.rowBytes, swap);
    if (TIFFWriteScanline(tif, row, i, 0) < 0) {
      std::fprintf(stderr, "scanline %lu: Write error.\n", static_cast<unsigned long>(i));
      break;
    }
  }

  if (writeExplicitly) TIFFWriteDirectory(tif);
  TIFFClose(tif);  // writes the directory of a file that had none
  return kTiffWriterRan;
}
