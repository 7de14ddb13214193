#include "RowOrder.h"

#include <cstring>
#include <memory>
#include <new>

namespace qv::rows {

void ReverseRows(unsigned char* data, size_t rowBytes, size_t rows, unsigned char* scratch, size_t scratchBytes) {
  for (size_t i = 0; i < rows / 2; ++i) {
    unsigned char* top = data + i * rowBytes;
    unsigned char* bottom = data + (rows - 1 - i) * rowBytes;
    for (size_t at = 0; at < rowBytes; at += scratchBytes) {
      const size_t n = rowBytes - at < scratchBytes ? rowBytes - at : scratchBytes;
      std::memcpy(scratch, top + at, n);
      std::memcpy(top + at, bottom + at, n);
      std::memcpy(bottom + at, scratch, n);
    }
  }
}

bool ReverseRowsThroughScratchRow(unsigned char* data, size_t rowBytes, size_t rows) {
  const size_t scratchBytes = rowBytes != 0 ? rowBytes : 1;
  std::unique_ptr<unsigned char[]> scratch(new (std::nothrow) unsigned char[scratchBytes]);
  if (!scratch) return false;
  ReverseRows(data, rowBytes, rows, scratch.get(), scratchBytes);
  return true;
}

}  // namespace qv::rows
