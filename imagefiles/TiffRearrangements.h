// Changes the TIFF writers make to rows in their working copies.
#pragma once

#include "TiffOptions.h"

// The words of one row of byteCount bytes rearranged in place as swap says (a last
// odd byte is left alone); the typed form of SwapSampleWords.
void RearrangeSampleWords(unsigned char* data, unsigned int byteCount, SampleWordSwap swap);
