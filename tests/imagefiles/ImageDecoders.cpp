#include "ImageDecoders.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <tiffio.h>

namespace imgtest {

namespace {

struct DecodeError {
  jpeg_error_mgr pub;
  jmp_buf back;
};

void DecodeErrorExit(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<DecodeError*>(cinfo->err)->back, 1); }

template <typename T>
T Tag(TIFF* tif, ttag_t tag) {
  T value{};
  TIFFGetField(tif, tag, &value);
  return value;
}

uint32_t Le32(const Bytes& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint16_t Le16(const Bytes& b, size_t at) { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }

}  // namespace

DecodedJpeg DecodeJpeg(const std::string& path) {
  DecodedJpeg out;
  Bytes file = ReadFile(path);
  if (file.empty()) return out;
  jpeg_decompress_struct cinfo;
  DecodeError err;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = DecodeErrorExit;
  if (setjmp(err.back)) {
    jpeg_destroy_decompress(&cinfo);
    out.ok = false;
    return out;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(&cinfo, TRUE);
  jpeg_start_decompress(&cinfo);
  out.width = cinfo.output_width;
  out.height = cinfo.output_height;
  out.components = cinfo.output_components;
  out.pixels.resize(static_cast<size_t>(out.width) * out.height * out.components);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = out.pixels.data() + static_cast<size_t>(cinfo.output_scanline) * out.width * out.components;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  out.ok = true;
  return out;
}

bool TiffPage::operator==(const TiffPage& o) const {
  return width == o.width && length == o.length && rowsPerStrip == o.rowsPerStrip && strips == o.strips &&
         orientation == o.orientation && samplesPerPixel == o.samplesPerPixel && bitsPerSample == o.bitsPerSample &&
         fillOrder == o.fillOrder && planar == o.planar && photometric == o.photometric &&
         sampleFormat == o.sampleFormat && compression == o.compression && colorMap[0] == o.colorMap[0] &&
         colorMap[1] == o.colorMap[1] && colorMap[2] == o.colorMap[2] && rows == o.rows;
}

namespace {

TiffPage ReadCurrentPage(TIFF* tif, bool rgbJpeg) {
  TiffPage p;
  p.width = Tag<uint32_t>(tif, TIFFTAG_IMAGEWIDTH);
  p.length = Tag<uint32_t>(tif, TIFFTAG_IMAGELENGTH);
  p.orientation = Tag<uint16_t>(tif, TIFFTAG_ORIENTATION);
  p.samplesPerPixel = Tag<uint16_t>(tif, TIFFTAG_SAMPLESPERPIXEL);
  p.bitsPerSample = Tag<uint16_t>(tif, TIFFTAG_BITSPERSAMPLE);
  p.fillOrder = Tag<uint16_t>(tif, TIFFTAG_FILLORDER);
  p.planar = Tag<uint16_t>(tif, TIFFTAG_PLANARCONFIG);
  p.photometric = Tag<uint16_t>(tif, TIFFTAG_PHOTOMETRIC);
  p.sampleFormat = Tag<uint16_t>(tif, TIFFTAG_SAMPLEFORMAT);
  p.compression = Tag<uint16_t>(tif, TIFFTAG_COMPRESSION);
  p.rowsPerStrip = Tag<uint32_t>(tif, TIFFTAG_ROWSPERSTRIP);
  p.strips = TIFFNumberOfStrips(tif);
  if (p.photometric == PHOTOMETRIC_PALETTE) {
    uint16_t *r = nullptr, *g = nullptr, *b = nullptr;
    if (TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b)) {
      size_t n = size_t{1} << p.bitsPerSample;
      p.colorMap[0].assign(r, r + n);
      p.colorMap[1].assign(g, g + n);
      p.colorMap[2].assign(b, b + n);
    }
  }
  if (rgbJpeg && p.compression == COMPRESSION_JPEG) TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
  Bytes row(static_cast<size_t>(TIFFScanlineSize(tif)));
  for (uint32_t i = 0; i < p.length; ++i) {
    if (TIFFReadScanline(tif, row.data(), i, 0) < 0) break;
    p.rows.push_back(row);
  }
  return p;
}

}  // namespace

std::vector<TiffPage> ReadTiffPages(const std::string& path, bool rgbJpeg) {
  std::vector<TiffPage> pages;
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (tif == nullptr) return pages;
  do {
    pages.push_back(ReadCurrentPage(tif, rgbJpeg));
  } while (TIFFReadDirectory(tif));
  TIFFClose(tif);
  return pages;
}

// Opened header-only ('h'), so a first directory the reader rejects doesn't stop it.
uint32_t CountTiffPages(const std::string& path) {
  TIFF* tif = TIFFOpen(path.c_str(), "rh");
  if (tif == nullptr) return 0;
  const uint32_t count = TIFFNumberOfDirectories(tif);
  TIFFClose(tif);
  return count;
}

bool ReadTiffPage(const std::string& path, uint32_t index, TiffPage* page) {
  TIFF* tif = TIFFOpen(path.c_str(), "rh");
  if (tif == nullptr) return false;
  const bool found = TIFFSetDirectory(tif, index) != 0;
  if (found) *page = ReadCurrentPage(tif, false);
  TIFFClose(tif);
  return found;
}

ParsedBmp ParseBmp(const Bytes& file) {
  ParsedBmp bmp;
  bmp.bytes = file.size();
  if (file.size() < 54 || file[0] != 'B' || file[1] != 'M') return bmp;
  bmp.type = Le16(file, 0);
  bmp.fileSize = Le32(file, 2);
  bmp.reserved = Le32(file, 6);
  bmp.offBits = Le32(file, 10);
  bmp.infoSize = Le32(file, 14);
  bmp.width = static_cast<int32_t>(Le32(file, 18));
  bmp.height = static_cast<int32_t>(Le32(file, 22));
  bmp.planes = Le16(file, 26);
  bmp.bitCount = Le16(file, 28);
  bmp.compression = Le32(file, 30);
  bmp.sizeImage = Le32(file, 34);
  bmp.xPelsPerMeter = Le32(file, 38);
  bmp.yPelsPerMeter = Le32(file, 42);
  bmp.clrUsed = Le32(file, 46);
  bmp.clrImportant = Le32(file, 50);
  if (bmp.width < 0 || bmp.height < 0 || bmp.bitCount != 24) return bmp;
  // Rows of width x 3 bytes, each padded to a multiple of 4, from bfOffBits on.
  const size_t rowBytes = static_cast<size_t>(bmp.width) * 3;
  const size_t stride = (rowBytes + 3) / 4 * 4;
  for (int32_t r = 0; r < bmp.height; ++r) {
    const size_t at = bmp.offBits + static_cast<size_t>(r) * stride;
    if (at + rowBytes > file.size()) return bmp;
    bmp.rows.emplace_back(file.begin() + static_cast<ptrdiff_t>(at),
                          file.begin() + static_cast<ptrdiff_t>(at + rowBytes));
  }
  bmp.ok = true;
  return bmp;
}

Bytes PictureRow(const Bytes& frame, int width, int height, int y) {
  Bytes row(static_cast<size_t>(width) * 3);
  for (int x = 0; x < width; ++x) FramePixel(frame, width, height, x, y, &row[3 * x]);
  return row;
}

}  // namespace imgtest
