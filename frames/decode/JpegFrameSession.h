// One libjpeg decompression object, kept from frame to frame, that decodes a frame
// straight into bottom-up blue-green-red rows. Errors and warnings end the decode at
// once through a long jump; nothing is shown or printed.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>
#include <jerror.h>

#include "CarriedTables.h"
#include "MjpgDecoder.h"

namespace qv {
namespace mjpg {

class JpegFrameSession {
 public:
  // Null when libjpeg could not be set up (no memory).
  static std::unique_ptr<JpegFrameSession> Open();
  ~JpegFrameSession();
  JpegFrameSession(const JpegFrameSession&) = delete;
  JpegFrameSession& operator=(const JpegFrameSession&) = delete;

  // Decodes a frame of exactly width x height pixels into target (width x height x 3
  // bytes, the bottom row first). True for a clean decode; otherwise *why says why and
  // target may hold part of the frame. length must fit libjpeg's unsigned long.
  bool Decode(const uint8_t* data, size_t length, uint32_t width, uint32_t height, uint8_t* target, MjpgRefusal* why);

 private:
  JpegFrameSession() = default;

  // The library's error manager followed by the recovery point of the decode under way.
  struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf recovery;
    MjpgRefusal refusal;
  };
  static void ErrorExit(j_common_ptr cinfo);
  static void EmitMessage(j_common_ptr cinfo, int msgLevel);
  static void OutputMessage(j_common_ptr cinfo);
  [[noreturn]] void Refuse(MjpgRefusal why);
  void CheckHeader(uint32_t width, uint32_t height);
  void ReadRowsBottomUp(uint8_t* target, size_t rowBytes);

  jpeg_decompress_struct m_cinfo;
  ErrorManager m_err;
  StandardHuffmanTables m_standard;
  bool m_created = false;
};

}  // namespace mjpg
}  // namespace qv
