// libjpeg-turbo with nothing around it, what the benchmarks hold the library's MJPG
// grab against: one kept object, the bytes decoded straight into the destination's rows
// from the last upwards (bottom-up BGR), as many rows per call as it has.
#pragma once

#include <cstddef>
#include <cstdio>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "MjpgTestFrames.h"

namespace mjpgtest {

class BareJpegDecoder {
 public:
  BareJpegDecoder() {
    m_cinfo.err = jpeg_std_error(&m_jerr);
    jpeg_create_decompress(&m_cinfo);
  }
  ~BareJpegDecoder() { jpeg_destroy_decompress(&m_cinfo); }
  BareJpegDecoder(const BareJpegDecoder&) = delete;
  BareJpegDecoder& operator=(const BareJpegDecoder&) = delete;

  void Decode(const Bytes& jpeg, uint8_t* destination) {
    jpeg_mem_src(&m_cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&m_cinfo, TRUE);
    m_cinfo.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&m_cinfo);
    const size_t rowBytes = size_t{m_cinfo.output_width} * 3;
    JSAMPROW rows[32];
    while (m_cinfo.output_scanline < m_cinfo.output_height) {
      const JDIMENSION first = m_cinfo.output_scanline;
      JDIMENSION count = m_cinfo.output_height - first;
      if (count > 32) count = 32;
      for (JDIMENSION i = 0; i < count; ++i) {
        rows[i] = destination + size_t{m_cinfo.output_height - 1 - (first + i)} * rowBytes;
      }
      jpeg_read_scanlines(&m_cinfo, rows, count);
    }
    jpeg_finish_decompress(&m_cinfo);
  }

 private:
  jpeg_decompress_struct m_cinfo;
  jpeg_error_mgr m_jerr;
};

}  // namespace mjpgtest
