#include "JpegWriter.h"

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

#include "GrayLevel.h"
#include "ImageSizeLimits.h"
#include "MessageBox.h"
#include "RedBlueSwap.h"
#include "RowOrder.h"

namespace {

constexpr int kFrameQuality = 75;
// WriteJpegFile's colour argument for a three-component file (0 makes it gray).
constexpr int kColourFile = 1;
constexpr int kColourComponents = 3;
constexpr int kGrayComponents = 1;

// The library refuses images wider or taller than this. They are refused before the
// file is opened, so no existing file is truncated for an image that can't be written,
// and every row length and offset below stays far inside 32 bits.
bool LibraryTakes(uint64_t width, uint64_t height) {
  return width != 0 && height != 0 && width <= JPEG_MAX_DIMENSION && height <= JPEG_MAX_DIMENSION;
}

// The library's standard error manager followed by the recovery point of one call.
struct JpegErrorManager {
  jpeg_error_mgr pub;
  jmp_buf recovery;
};

// Never returns to the library: the caller's recovery point cleans up. The user
// sees the save path's "Write Error" rather than the library's text.
void JpegErrorExit(j_common_ptr cinfo) {
  JpegErrorManager* mgr = reinterpret_cast<JpegErrorManager*>(cinfo->err);
  std::longjmp(mgr->recovery, 1);
}

void JpegOutputMessage(j_common_ptr cinfo) {
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  qv::ShowOkBox("JPEG Error", text, qv::BoxIcon::None, qv::BoxOwner::ActiveWindow);
}

// Kept out of the function that holds the recovery point, so no object with a
// destructor lives across a long jump. The path is shown whole, whatever its length.
void ShowCantOpen(const char* path) {
  std::string text = "JpegFile :\nCan't open ";
  text += path;
  text += "\n";
  AfxMessageBox(text.c_str());
}

// Where the rows handed to the library lie: rowBytes apart from firstRow on, upwards
// in memory, or downwards when bottomUp (firstRow is then the last row in memory).
struct RowWalk {
  const JSAMPLE* firstRow;
  size_t rowBytes;
  bool bottomUp;
  // Offsets stay below the frame's size, which is checked to fit 32 bits.
  JSAMPROW Row(JDIMENSION i) const {
    const size_t offset = static_cast<size_t>(i) * rowBytes;
    return const_cast<JSAMPROW>(bottomUp ? firstRow - offset : firstRow + offset);
  }
};

// One compression of width x height pixels (a size the library takes). 1 written, 0 not.
int CompressRows(const char* path, unsigned int width, unsigned int height, RowWalk rows, int components,
                 J_COLOR_SPACE colorSpace, int quality) {
  jpeg_compress_struct cinfo;
  JpegErrorManager jerr;
  // Changed after setjmp and read after the jump: must live in memory.
  std::FILE* volatile out = nullptr;

  cinfo.err = jpeg_std_error(&jerr.pub);
  jerr.pub.error_exit = JpegErrorExit;
  jerr.pub.output_message = JpegOutputMessage;
  if (setjmp(jerr.recovery)) {
    jpeg_destroy_compress(&cinfo);
    if (out != nullptr) std::fclose(out);
    return 0;
  }
  jpeg_create_compress(&cinfo);

  out = std::fopen(path, "wb");
  if (out == nullptr) {
    ShowCantOpen(path);
    jpeg_destroy_compress(&cinfo);
    return 0;
  }
  jpeg_stdio_dest(&cinfo, out);

  // Set before the defaults: the library picks the file's colour space from them.
  cinfo.image_width = width;
  cinfo.image_height = height;
  cinfo.input_components = components;
  cinfo.in_color_space = colorSpace;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);  // baseline: every table value within 8 bits
  jpeg_start_compress(&cinfo, TRUE);

  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = rows.Row(cinfo.next_scanline);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  std::fclose(out);
  out = nullptr;
  jpeg_destroy_compress(&cinfo);
  return 1;
}

// The save path's checks, shared by both routes. Returns false after showing the
// message; frameBytes receives the frame's size.
bool CheckFrame(unsigned char* frame, int width, int height, size_t* frameBytes) {
  if (frame == nullptr) {
    AfxMessageBox("No Image!");
    return false;
  }
  // Negative sizes and frames beyond 32-bit byte counts can't have a working copy.
  if (!qv::CountImageBytes(width, height, qv::kRgb24PixelBytes, frameBytes)) {
    AfxMessageBox("memory is over!");
    return false;
  }
  return true;
}

}  // namespace

int SaveJpegImage(const char* path, unsigned char* frame, int width, int height) {
  size_t frameBytes = 0;
  if (!CheckFrame(frame, width, height, &frameBytes)) return 0;
#ifdef JCS_EXTENSIONS
  // libjpeg-turbo reads blue-green-red rows itself, so the frame is encoded where it
  // lies, its rows walked from the last in memory (the top of the picture) to the first.
  int written = 0;
  if (path != nullptr && LibraryTakes(static_cast<uint64_t>(width), static_cast<uint64_t>(height))) {
    const size_t rowBytes = static_cast<size_t>(width) * qv::kRgb24PixelBytes;
    const RowWalk rows{frame + (static_cast<size_t>(height) - 1) * rowBytes, rowBytes, true};
    written = CompressRows(path, static_cast<unsigned int>(width), static_cast<unsigned int>(height), rows,
                           kColourComponents, JCS_EXT_BGR, kFrameQuality);
  }
  if (!written) {
    AfxMessageBox("Write Error");
    return 0;
  }
  return 1;
#else
  return SaveJpegImageByCopy(path, frame, width, height);
#endif
}

int SaveJpegImageByCopy(const char* path, unsigned char* frame, int width, int height) {
  size_t frameBytes = 0;
  if (!CheckFrame(frame, width, height, &frameBytes)) return 0;
  // A size the writer refuses needs no working copy: the result is the writer's refusal.
  if (!LibraryTakes(static_cast<uint64_t>(width), static_cast<uint64_t>(height))) {
    AfxMessageBox("Write Error");
    return 0;
  }
  std::unique_ptr<unsigned char[]> copy(new (std::nothrow) unsigned char[frameBytes]);
  if (!copy) {
    AfxMessageBox("memory is over!");
    return 0;
  }
  std::memcpy(copy.get(), frame, frameBytes);
  FlipRows(copy.get(), width * qv::kRgb24PixelBytes, height);
  SwapRedBlue(copy.get(), width, height);
  int written = WriteJpegFile(path, copy.get(), static_cast<unsigned int>(width), static_cast<unsigned int>(height),
                              kColourFile, kFrameQuality);
  copy.reset();
  if (!written) {
    AfxMessageBox("Write Error");
    return 0;
  }
  return 1;
}

int WriteJpegFile(const char* path, unsigned char* data, unsigned int width, unsigned int height, int colour,
                  int quality) {
  if (data == nullptr || path == nullptr || !LibraryTakes(width, height)) return 0;
  size_t dataBytes = 0;
  if (!qv::CountImageBytes(width, height, qv::kRgb24PixelBytes, &dataBytes)) {
    if (!colour) AfxMessageBox("Memory error");
    return 0;  // the data can't be that large
  }
  if (colour) {
    return CompressRows(path, width, height, RowWalk{data, static_cast<size_t>(width) * qv::kRgb24PixelBytes, false},
                        kColourComponents, JCS_RGB, quality);
  }

  const size_t pixels = dataBytes / qv::kRgb24PixelBytes;
  std::unique_ptr<unsigned char[]> gray(new (std::nothrow) unsigned char[pixels]);
  if (!gray) {
    AfxMessageBox("Memory error");
    return 0;
  }
  for (size_t i = 0; i < pixels; ++i) {
    const unsigned char* px = data + qv::kRgb24PixelBytes * i;
    gray[i] = qv::GrayLevel(px[0], px[1], px[2]);
  }
  return CompressRows(path, width, height, RowWalk{gray.get(), width, false}, kGrayComponents, JCS_GRAYSCALE, quality);
}

int FlipRows(unsigned char* data, int rowBytes, int rows) {
  if (data == nullptr || rowBytes < 0 || rows < 0) return 0;
  return qv::rows::ReverseRowsThroughScratchRow(data, static_cast<size_t>(rowBytes), static_cast<size_t>(rows)) ? 1 : 0;
}

int SwapRedBlue(unsigned char* data, int width, int height) {
  size_t bytes = 0;
  if (data == nullptr || !qv::CountImageBytes(width, height, qv::kRgb24PixelBytes, &bytes)) return 0;
  qv::conversion::SwapRedBlueBytes(data, data, bytes);
  return 1;
}
