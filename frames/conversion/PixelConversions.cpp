#include "PixelConversions.h"

#include <cstring>

#include "ConversionKernels.h"
#include "YuvFormula.h"

using qv::conversion::BestSupportedLevel;
using qv::conversion::ConvertWithLevel;

int YUV422ToRGB24(const unsigned char* source, unsigned char* destination, int width, int height, int bYUY2)
{
    // The rows are written at their reversed positions in the same pass, so
    // there is no separate flip and no temporary frame.
    return ConvertWithLevel(BestSupportedLevel(), source, destination, width, height, bYUY2);
}

int FlipVertical(unsigned char* frame, int width, int height)
{
    std::size_t pixels = 0;
    if (!frame || !qv::conversion::FrameSize(width, height, pixels))
        return 1;
    // Swap rows pairwise through a fixed stack buffer, a chunk at a time: no
    // allocation, so the frame is always fully reversed, never half done.
    unsigned char chunk[4096];
    const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
    unsigned char* top = frame;
    unsigned char* bottom = frame + (static_cast<std::size_t>(height) - 1) * rowBytes;
    for (; top < bottom; top += rowBytes, bottom -= rowBytes) {
        for (std::size_t at = 0; at < rowBytes; at += sizeof chunk) {
            const std::size_t n = rowBytes - at < sizeof chunk ? rowBytes - at : sizeof chunk;
            std::memcpy(chunk, top + at, n);
            std::memcpy(top + at, bottom + at, n);
            std::memcpy(bottom + at, chunk, n);
        }
    }
    return 1;
}
