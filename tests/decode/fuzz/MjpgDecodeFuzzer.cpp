// Hands arbitrary bytes to the Motion-JPEG decoder as a camera frame, through one
// decoder kept from input to input as the host keeps one. Checks: no crash or sanitizer
// finding; nothing is written past the frame; the destination is either untouched or
// holds exactly what a fresh libjpeg decode of the same bytes gives (rows reversed, red
// and blue exchanged), and then libjpeg found nothing wrong; bytes that libjpeg alone
// decodes cleanly are never refused as corrupt; the same bytes expected at another size
// are refused with the destination untouched.
//
// The seeds in corpus/ are tiny frames made with the test encoder (MjpgTestFrames):
// 4:2:2, 4:2:0 without Huffman tables, grey, 4:4:4 with restart markers, progressive.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "GuardedBuffer.h"
#include "MjpgDecoder.h"
#include "MjpgTestFrames.h"

namespace {

// Frames up to this many pixels are decoded at their own size; bigger ones (and bytes
// without a readable header) are expected at 16 x 16, which exercises the refusals.
constexpr size_t kMaxPixels = 512 * 512;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "mjpg-decode: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static qv::MjpgDecoder decoder;

  unsigned width = 16, height = 16, declaredWidth = 0, declaredHeight = 0;
  if (mjpgtest::ReadDeclaredSize(data, size, &declaredWidth, &declaredHeight) &&
      static_cast<uint64_t>(declaredWidth) * declaredHeight <= kMaxPixels) {
    width = declaredWidth;
    height = declaredHeight;
  }

  mjpgtest::GuardedBuffer destination(static_cast<size_t>(width) * height * 3);
  const qv::MjpgDecodeResult result = decoder.DecodeToBottomUpBgr(data, size, static_cast<int32_t>(width),
                                                                  static_cast<int32_t>(height), destination.Data());
  Check(destination.GuardIntact(), "written past the frame");
  if (!result.IsDecoded()) Check(destination.Untouched(), "a refused frame changed the destination");

  if (result.IsDecoded() || result.Refusal() == qv::MjpgRefusal::CorruptFrame) {
    const mjpgtest::ReferenceDecode reference = mjpgtest::DecodeForReference(data, size, kMaxPixels);
    if (result.IsDecoded()) {
      Check(reference.clean, "decoded a frame that libjpeg finds fault with");
      Check(reference.bgrBottomUp == destination.Frame(), "the decoded frame differs from libjpeg's own decode");
    } else {
      Check(!reference.clean, "refused as corrupt a frame that libjpeg decodes cleanly");
    }
  }

  mjpgtest::GuardedBuffer otherSize(static_cast<size_t>(width + 1) * height * 3);
  const qv::MjpgDecodeResult other = decoder.DecodeToBottomUpBgr(data, size, static_cast<int32_t>(width + 1),
                                                                 static_cast<int32_t>(height), otherSize.Data());
  Check(!other.IsDecoded(), "decoded a frame at a size that is not its own");
  Check(otherSize.Untouched(), "a frame of another size changed the destination");
  return 0;
}
