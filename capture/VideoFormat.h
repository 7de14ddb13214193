// Reading the frame size out of a media type's format block.
#pragma once

#include "DirectShow.h"

namespace qv {

struct FrameSize {
  int width;
  int height;  // with its sign: negative for top-down RGB
};

// The bitmap header's biWidth and biHeight when the block is a VIDEOINFOHEADER long
// enough to hold them; otherwise 0 x 0, so no frame of an unknown size is handed out.
FrameSize ReadFrameSize(const AM_MEDIA_TYPE& mediaType);

}  // namespace qv
