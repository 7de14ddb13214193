// libjpeg keeps a stream's quantisation and Huffman tables in the decompression object
// for the streams after it (IJG "abbreviated" streams). A decoder reused from frame to
// frame must not let one frame's tables decode the next: a frame without Huffman tables
// gets the standard ones and a frame without a quantisation table fails, as with a
// fresh object. These helpers make a reused object behave so.
#pragma once

#include <cstddef>
#include <cstdio>

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>

namespace qv {
namespace mjpg {

// The standard luminance (slot 0) and chrominance (slot 1) Huffman tables, which libjpeg
// installs when a Motion-JPEG frame defines none.
struct StandardHuffmanTables {
  JHUFF_TBL dc[2];
  JHUFF_TBL ac[2];
};

// Takes the tables from libjpeg's own compression defaults. False when libjpeg could
// not be set up (no memory).
bool LoadStandardHuffmanTables(StandardHuffmanTables* tables);

// Before each frame's header: Huffman slots 0 and 1 go back to the standard tables, and
// every other table the object still holds is marked as not defined (all zero), so a
// frame that uses it without defining it can be told.
void ForgetEarlierTables(j_decompress_ptr cinfo, const StandardHuffmanTables& standard);

// After the header: true when every table the frame's one scan uses was defined by the
// frame itself (or is a standard Huffman table). A table of all zeros counts as not
// defined: no valid frame has one.
bool UsesOnlyItsOwnTables(j_decompress_ptr cinfo);

}  // namespace mjpg
}  // namespace qv
