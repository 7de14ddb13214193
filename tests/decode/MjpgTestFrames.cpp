#include "MjpgTestFrames.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

namespace mjpgtest {

namespace {

struct QuietErrors {
  jpeg_error_mgr pub;
  jmp_buf recovery;
};

void JumpOnError(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<QuietErrors*>(cinfo->err)->recovery, 1); }

// Counts warnings without printing them, and keeps decoding, as libjpeg does by default.
void CountWarning(j_common_ptr cinfo, int level) {
  if (level < 0) cinfo->err->num_warnings++;
}

void PrintNothing(j_common_ptr) {}

void Quiet(jpeg_error_mgr* err) {
  err->error_exit = JumpOnError;
  err->emit_message = CountWarning;
  err->output_message = PrintNothing;
}

void EncoderFailed(j_common_ptr cinfo) {
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  std::fprintf(stderr, "test encoder: %s\n", text);
  std::abort();
}

void SetSampling(jpeg_compress_struct* cinfo, Sampling sampling) {
  int h = 1, v = 1;
  switch (sampling) {
    case Sampling::k444:
      break;
    case Sampling::k422:
      h = 2;
      break;
    case Sampling::k420:
      h = 2;
      v = 2;
      break;
    case Sampling::k440:
      v = 2;
      break;
    case Sampling::k411:
      h = 4;
      break;
    case Sampling::kGray:
      jpeg_set_colorspace(cinfo, JCS_GRAYSCALE);
      return;
  }
  cinfo->comp_info[0].h_samp_factor = h;
  cinfo->comp_info[0].v_samp_factor = v;
  for (int c = 1; c < cinfo->num_components; ++c) {
    cinfo->comp_info[c].h_samp_factor = 1;
    cinfo->comp_info[c].v_samp_factor = 1;
  }
}

void MoveChromaToSlot2(jpeg_compress_struct* cinfo) {
  JHUFF_TBL** dc = &cinfo->dc_huff_tbl_ptrs[2];
  JHUFF_TBL** ac = &cinfo->ac_huff_tbl_ptrs[2];
  *dc = jpeg_alloc_huff_table(reinterpret_cast<j_common_ptr>(cinfo));
  *ac = jpeg_alloc_huff_table(reinterpret_cast<j_common_ptr>(cinfo));
  **dc = *cinfo->dc_huff_tbl_ptrs[1];
  **ac = *cinfo->ac_huff_tbl_ptrs[1];
  for (int c = 1; c < cinfo->num_components; ++c) {
    cinfo->comp_info[c].dc_tbl_no = 2;
    cinfo->comp_info[c].ac_tbl_no = 2;
  }
}

// The setjmp lives here, with nothing but plain locals; the caller owns the results.
void DecodeInto(const uint8_t* data, size_t length, size_t maxPixels, ReferenceDecode* out, Bytes* rgb) {
  jpeg_decompress_struct cinfo;
  QuietErrors jerr;
  cinfo.err = jpeg_std_error(&jerr.pub);
  Quiet(&jerr.pub);
  if (setjmp(jerr.recovery)) {
    jpeg_destroy_decompress(&cinfo);
    out->error = true;
    return;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(length));
  jpeg_read_header(&cinfo, TRUE);
  out->width = cinfo.image_width;
  out->height = cinfo.image_height;
  if (static_cast<uint64_t>(cinfo.image_width) * cinfo.image_height > maxPixels) {
    jpeg_destroy_decompress(&cinfo);
    return;
  }
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  const size_t rowBytes = static_cast<size_t>(cinfo.output_width) * 3;
  rgb->assign(rowBytes * cinfo.output_height, 0);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = rgb->data() + rowBytes * cinfo.output_scanline;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  out->clean = cinfo.output_components == 3 && jerr.pub.num_warnings == 0;
  jpeg_destroy_decompress(&cinfo);
}

}  // namespace

const char* SamplingName(Sampling s) {
  switch (s) {
    case Sampling::k444:
      return "4:4:4";
    case Sampling::k422:
      return "4:2:2";
    case Sampling::k420:
      return "4:2:0";
    case Sampling::k440:
      return "4:4:0";
    case Sampling::k411:
      return "4:1:1";
    case Sampling::kGray:
      return "grey";
  }
  return "?";
}

Bytes PictureRgb(int width, int height, uint32_t seed) {
  Bytes rgb(static_cast<size_t>(width) * height * 3);
  uint32_t noise = seed * 2654435761u + 1;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      noise = noise * 1664525u + 1013904223u;
      const int jitter = static_cast<int>(noise >> 28) - 8;
      int r = x * 255 / (width > 1 ? width - 1 : 1);
      int g = y * 255 / (height > 1 ? height - 1 : 1);
      int b = ((x + y + static_cast<int>(seed) * 7) * 3) & 255;
      // A bright box and a dark stripe: edges that ring in the chroma planes.
      if (x > width / 4 && x < width / 2 && y > height / 3 && y < 2 * height / 3) r = g = 250;
      if ((x + static_cast<int>(seed)) % 23 < 2) b = 10;
      uint8_t* px = &rgb[(static_cast<size_t>(y) * width + x) * 3];
      px[0] = static_cast<uint8_t>(std::min(255, std::max(0, r + jitter)));
      px[1] = static_cast<uint8_t>(std::min(255, std::max(0, g + jitter)));
      px[2] = static_cast<uint8_t>(std::min(255, std::max(0, b + jitter)));
    }
  }
  return rgb;
}

Bytes Encode(const Bytes& rgbTopDown, int width, int height, const EncodeOptions& options) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr jerr;
  cinfo.err = jpeg_std_error(&jerr);
  jerr.error_exit = EncoderFailed;
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
  cinfo.input_components = options.cmyk ? 4 : 3;
  cinfo.in_color_space = options.cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, options.quality, TRUE);
  if (!options.cmyk) SetSampling(&cinfo, options.sampling);
  cinfo.optimize_coding = options.optimizedTables ? TRUE : FALSE;
  cinfo.restart_in_rows = options.restartRows;
  cinfo.arith_code = options.arithmetic ? TRUE : FALSE;
  if (options.progressive) jpeg_simple_progression(&cinfo);
  jpeg_scan_info scans[MAX_COMPONENTS];
  if (options.scanPerComponent) {
    for (int c = 0; c < cinfo.num_components; ++c) {
      scans[c] = jpeg_scan_info{1, {c, 0, 0, 0}, 0, DCTSIZE2 - 1, 0, 0};
    }
    cinfo.scan_info = scans;
    cinfo.num_scans = cinfo.num_components;
  }
  if (options.chromaInSlot2) MoveChromaToSlot2(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  Bytes row(static_cast<size_t>(width) * 4);
  while (cinfo.next_scanline < cinfo.image_height) {
    const uint8_t* source = rgbTopDown.data() + static_cast<size_t>(cinfo.next_scanline) * width * 3;
    if (options.cmyk) {
      for (int x = 0; x < width; ++x) {
        std::memcpy(&row[x * 4], source + x * 3, 3);
        row[x * 4 + 3] = static_cast<uint8_t>(x * 5);
      }
    } else {
      std::memcpy(row.data(), source, static_cast<size_t>(width) * 3);
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  Bytes jpeg(buffer, buffer + size);
  std::free(buffer);
  jpeg_destroy_compress(&cinfo);
  return jpeg;
}

ReferenceDecode DecodeForReference(const uint8_t* data, size_t length, size_t maxPixels) {
  ReferenceDecode out;
  if (data == nullptr || length == 0) {
    out.error = true;
    return out;
  }
  Bytes rgb;
  DecodeInto(data, length, maxPixels, &out, &rgb);
  if (!out.clean) return out;
  const size_t rowBytes = static_cast<size_t>(out.width) * 3;
  out.bgrBottomUp.resize(rgb.size());
  for (unsigned y = 0; y < out.height; ++y) {
    const uint8_t* in = &rgb[rowBytes * y];
    uint8_t* to = &out.bgrBottomUp[rowBytes * (out.height - 1 - y)];
    for (size_t i = 0; i < rowBytes; i += 3) {
      to[i] = in[i + 2];
      to[i + 1] = in[i + 1];
      to[i + 2] = in[i];
    }
  }
  return out;
}

bool ReadDeclaredSize(const uint8_t* data, size_t length, unsigned* width, unsigned* height) {
  ReferenceDecode header;
  if (data == nullptr || length == 0) return false;
  Bytes unused;
  DecodeInto(data, length, 0, &header, &unused);  // stops after the header: no frame has 0 pixels
  *width = header.width;
  *height = header.height;
  return header.width != 0 && header.height != 0;
}

std::vector<Segment> HeaderSegments(const Bytes& jpeg) {
  std::vector<Segment> segments;
  if (jpeg.size() < 2 || jpeg[0] != 0xFF || jpeg[1] != 0xD8) return segments;
  segments.push_back({0xD8, 0, 2});
  size_t pos = 2;
  while (pos + 4 <= jpeg.size() && jpeg[pos] == 0xFF) {
    const uint8_t marker = jpeg[pos + 1];
    const size_t length = 2 + ((static_cast<size_t>(jpeg[pos + 2]) << 8) | jpeg[pos + 3]);
    if (pos + length > jpeg.size()) break;
    segments.push_back({marker, pos, length});
    pos += length;
    if (marker == 0xDA) break;
  }
  return segments;
}

size_t EntropyStart(const Bytes& jpeg) {
  std::vector<Segment> segments = HeaderSegments(jpeg);
  if (segments.empty() || segments.back().marker != 0xDA) return 0;
  return segments.back().offset + segments.back().length;
}

size_t FindSegment(const Bytes& jpeg, uint8_t marker) {
  for (const Segment& s : HeaderSegments(jpeg)) {
    if (s.marker == marker) return s.offset;
  }
  return SIZE_MAX;
}

Bytes WithoutSegments(const Bytes& jpeg, uint8_t marker) {
  Bytes out;
  size_t copied = 0;
  for (const Segment& s : HeaderSegments(jpeg)) {
    if (s.marker != marker) continue;
    out.insert(out.end(), jpeg.begin() + static_cast<ptrdiff_t>(copied),
               jpeg.begin() + static_cast<ptrdiff_t>(s.offset));
    copied = s.offset + s.length;
  }
  out.insert(out.end(), jpeg.begin() + static_cast<ptrdiff_t>(copied), jpeg.end());
  return out;
}

}  // namespace mjpgtest
