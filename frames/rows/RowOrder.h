// Reversing the order of rows in place: the one flip behind FlipVertical,
// FlipRows and FlipTiffRows.
#pragma once

#include <cstddef>

namespace qv::rows {

// Exchanges row i and row rows - 1 - i of rows x rowBytes bytes at data, for every
// i below rows / 2, through scratch (scratchBytes >= 1) a piece at a time. The
// caller has checked the sizes; nothing is allocated, so it can't fail half way.
void ReverseRows(unsigned char* data, size_t rowBytes, size_t rows, unsigned char* scratch, size_t scratchBytes);

// The same through a scratch row of rowBytes bytes (1 for empty rows) taken from the
// heap first. false, with nothing changed, when it can't be allocated.
bool ReverseRowsThroughScratchRow(unsigned char* data, size_t rowBytes, size_t rows);

}  // namespace qv::rows
