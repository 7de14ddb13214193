#include "MjpgEncoder.h"

#include <csetjmp>
#include <cstdio>
#include <vector>

#include <jpeglib.h>

namespace qvvcam {
namespace {

constexpr int kQuality = 90;

struct ErrorHandler {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

// libjpeg's default would print and exit the process; the camera runs inside a host.
void JumpOnError(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<ErrorHandler*>(cinfo->err)->jump, 1); }
void Silent(j_common_ptr, int) {}
void SilentOutput(j_common_ptr) {}

// Writes into the caller's buffer; running out marks the frame lost instead of growing it.
struct FixedDestination {
  jpeg_destination_mgr pub;
  uint8_t* buffer = nullptr;
  size_t capacity = 0;
  bool overflow = false;
};

void InitDestination(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<FixedDestination*>(cinfo->dest);
  d->pub.next_output_byte = d->buffer;
  d->pub.free_in_buffer = d->capacity;
  d->overflow = false;
}
boolean EmptyOutput(j_compress_ptr cinfo) {
  auto* d = reinterpret_cast<FixedDestination*>(cinfo->dest);
  d->overflow = true;
  d->pub.next_output_byte = d->buffer;  // keep going into the same bytes; the frame is dropped
  d->pub.free_in_buffer = d->capacity;
  return TRUE;
}
void TermDestination(j_compress_ptr) {}

}  // namespace

struct MjpgEncoder::State {
  jpeg_compress_struct cinfo{};
  ErrorHandler error{};
  FixedDestination destination;
  std::vector<JSAMPROW> rows;
  int width = 0, height = 0;
  bool created = false;
};

MjpgEncoder::MjpgEncoder(int width, int height) : m_state(new State) {
  State& s = *m_state;
  if (width <= 0 || height <= 0) return;
  s.width = width;
  s.height = height;
  s.rows.resize(static_cast<size_t>(height));
  s.cinfo.err = jpeg_std_error(&s.error.pub);
  s.error.pub.error_exit = JumpOnError;
  s.error.pub.emit_message = Silent;
  s.error.pub.output_message = SilentOutput;
  if (setjmp(s.error.jump)) {
    jpeg_destroy_compress(&s.cinfo);
    return;
  }
  jpeg_create_compress(&s.cinfo);
  s.destination.pub.init_destination = InitDestination;
  s.destination.pub.empty_output_buffer = EmptyOutput;
  s.destination.pub.term_destination = TermDestination;
  s.cinfo.dest = &s.destination.pub;
  s.cinfo.image_width = static_cast<JDIMENSION>(width);
  s.cinfo.image_height = static_cast<JDIMENSION>(height);
  s.cinfo.input_components = 3;
  s.cinfo.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&s.cinfo);
  jpeg_set_quality(&s.cinfo, kQuality, TRUE);
  s.cinfo.write_JFIF_header = FALSE;       // as cameras send it: SOI, then our comment
  s.cinfo.optimize_coding = FALSE;         // the standard tables, so a frame may leave them out
  s.cinfo.comp_info[0].h_samp_factor = 2;  // 4:2:2
  s.cinfo.comp_info[0].v_samp_factor = 1;
  s.cinfo.comp_info[1].h_samp_factor = s.cinfo.comp_info[1].v_samp_factor = 1;
  s.cinfo.comp_info[2].h_samp_factor = s.cinfo.comp_info[2].v_samp_factor = 1;
  s.created = true;
}

MjpgEncoder::~MjpgEncoder() {
  if (m_state->created) jpeg_destroy_compress(&m_state->cinfo);
}

bool MjpgEncoder::Valid() const { return m_state->created; }

size_t MjpgEncoder::Encode(const uint8_t* bottomUpBgr, const uint8_t* comment, size_t commentLength, uint8_t* dst,
                           size_t capacity) {
  State& s = *m_state;
  if (!s.created || bottomUpBgr == nullptr || dst == nullptr || capacity == 0 || commentLength > 65533) return 0;
  const size_t stride = static_cast<size_t>(s.width) * 3;
  for (int y = 0; y < s.height; ++y)
    s.rows[y] = const_cast<JSAMPROW>(bottomUpBgr + static_cast<size_t>(s.height - 1 - y) * stride);
  s.destination.buffer = dst;
  s.destination.capacity = capacity;
  if (setjmp(s.error.jump)) {
    jpeg_abort_compress(&s.cinfo);
    return 0;
  }
  jpeg_start_compress(&s.cinfo, TRUE);
  if (comment != nullptr) jpeg_write_marker(&s.cinfo, JPEG_COM, comment, static_cast<unsigned>(commentLength));
  while (s.cinfo.next_scanline < s.cinfo.image_height) {
    const JDIMENSION done = s.cinfo.next_scanline;
    jpeg_write_scanlines(&s.cinfo, s.rows.data() + done, s.cinfo.image_height - done);
  }
  jpeg_finish_compress(&s.cinfo);
  if (s.destination.overflow) return 0;
  return capacity - s.destination.pub.free_in_buffer;
}

}  // namespace qvvcam
