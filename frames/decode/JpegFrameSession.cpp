#include "JpegFrameSession.h"

#include <algorithm>
#include <new>

namespace qv {
namespace mjpg {

namespace {

// Enough for the tallest iMCU row libjpeg can hand out in one call (4 x 8 rows), so
// each call returns all the rows it has.
constexpr JDIMENSION kRowsPerCall = 32;

bool ConvertibleToBgr(J_COLOR_SPACE space) { return space == JCS_YCbCr || space == JCS_GRAYSCALE || space == JCS_RGB; }

}  // namespace

std::unique_ptr<JpegFrameSession> JpegFrameSession::Open() {
  std::unique_ptr<JpegFrameSession> session(new (std::nothrow) JpegFrameSession);
  if (!session || !LoadStandardHuffmanTables(&session->m_standard)) return nullptr;

  jpeg_decompress_struct* cinfo = &session->m_cinfo;
  ErrorManager* err = &session->m_err;
  cinfo->err = jpeg_std_error(&err->pub);
  err->pub.error_exit = ErrorExit;
  err->pub.emit_message = EmitMessage;
  err->pub.output_message = OutputMessage;
  if (setjmp(err->recovery)) {
    jpeg_destroy_decompress(cinfo);  // safe on a half-made object
    return nullptr;
  }
  jpeg_create_decompress(cinfo);
  session->m_created = true;
  return session;
}

JpegFrameSession::~JpegFrameSession() {
  if (m_created) jpeg_destroy_decompress(&m_cinfo);
}

void JpegFrameSession::ErrorExit(j_common_ptr cinfo) {
  ErrorManager* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  err->refusal = err->pub.msg_code == JERR_OUT_OF_MEMORY ? MjpgRefusal::NoMemory : MjpgRefusal::CorruptFrame;
  std::longjmp(err->recovery, 1);
}

// Warnings (level -1) are what libjpeg says about corrupt or truncated data it would
// otherwise paper over with grey blocks: the decode ends there, as libjpeg's own
// stop-on-warning mode does. Trace messages (level 0 and up) are ignored.
void JpegFrameSession::EmitMessage(j_common_ptr cinfo, int msgLevel) {
  if (msgLevel >= 0) return;
  ErrorManager* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  err->pub.num_warnings++;
  err->refusal = MjpgRefusal::CorruptFrame;
  std::longjmp(err->recovery, 1);
}

// Nothing is ever shown or printed; the caller gets the reason instead.
void JpegFrameSession::OutputMessage(j_common_ptr) {}

void JpegFrameSession::Refuse(MjpgRefusal why) {
  m_err.refusal = why;
  std::longjmp(m_err.recovery, 1);
}

bool JpegFrameSession::Decode(const uint8_t* data, size_t length, uint32_t width, uint32_t height, uint8_t* target,
                              MjpgRefusal* why) {
  m_err.refusal = MjpgRefusal::CorruptFrame;
  m_err.pub.num_warnings = 0;
  // Nothing changed after this point is read after the jump but members of *this.
  if (setjmp(m_err.recovery)) {
    jpeg_abort_decompress(&m_cinfo);  // frees the frame's working memory, keeps the object
    *why = m_err.refusal;
    return false;
  }
  ForgetEarlierTables(&m_cinfo, m_standard);
  jpeg_mem_src(&m_cinfo, data, static_cast<unsigned long>(length));
  if (jpeg_read_header(&m_cinfo, TRUE) != JPEG_HEADER_OK) Refuse(MjpgRefusal::CorruptFrame);
  CheckHeader(width, height);

  m_cinfo.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&m_cinfo);
  if (m_cinfo.output_width != width || m_cinfo.output_height != height || m_cinfo.output_components != 3) {
    Refuse(MjpgRefusal::Unsupported);
  }
  ReadRowsBottomUp(target, static_cast<size_t>(width) * 3);
  // Reads on to the end marker: a frame cut after its last row is still refused.
  jpeg_finish_decompress(&m_cinfo);
  return true;
}

// Refuses, before anything frame-sized is allocated, frames of another size, frames that
// need a whole-frame coefficient buffer (progressive or several scans; no camera sends
// them) and frames that lean on an earlier frame's tables.
void JpegFrameSession::CheckHeader(uint32_t width, uint32_t height) {
  if (m_cinfo.image_width != width || m_cinfo.image_height != height) Refuse(MjpgRefusal::WrongSize);
  if (m_cinfo.progressive_mode || m_cinfo.arith_code || jpeg_has_multiple_scans(&m_cinfo) ||
      m_cinfo.data_precision != 8 || !ConvertibleToBgr(m_cinfo.jpeg_color_space)) {
    Refuse(MjpgRefusal::Unsupported);
  }
  if (!UsesOnlyItsOwnTables(&m_cinfo)) Refuse(MjpgRefusal::MissingTable);
}

// Output row r (0 the top of the picture) goes to target row height - 1 - r, so the
// frame comes out bottom row first with no flip pass.
void JpegFrameSession::ReadRowsBottomUp(uint8_t* target, size_t rowBytes) {
  const JDIMENSION height = m_cinfo.output_height;
  uint8_t* const bottomRowOfPicture = target;
  JSAMPROW rows[kRowsPerCall];
  while (m_cinfo.output_scanline < height) {
    const JDIMENSION first = m_cinfo.output_scanline;
    const JDIMENSION count = std::min(kRowsPerCall, height - first);
    for (JDIMENSION i = 0; i < count; ++i) {
      rows[i] = bottomRowOfPicture + static_cast<size_t>(height - 1 - (first + i)) * rowBytes;
    }
    // The memory source never suspends; no rows would mean a stuck decode.
    if (jpeg_read_scanlines(&m_cinfo, rows, count) == 0) Refuse(MjpgRefusal::CorruptFrame);
  }
}

}  // namespace mjpg
}  // namespace qv
