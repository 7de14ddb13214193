// The marker segments of a JPEG file, in file order, for checking what a writer
// put in them (frame type, tables, JFIF header) rather than how the picture decodes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ImageTestSupport.h"

namespace imgtest {

struct JpegSegment {
  uint8_t marker;  // the byte after 0xFF: 0xD8 SOI, 0xE0 APP0, 0xDB DQT, 0xC0 SOF0, 0xDA SOS ...
  Bytes body;      // after the length field; empty for SOI and EOI; SOS: its header only
};

struct JpegMarkers {
  bool ok = false;    // SOI first, every segment whole, EOI last with nothing after it
  std::string fault;  // why not
  std::vector<JpegSegment> segments;
  // Segments with this marker, in file order.
  std::vector<const JpegSegment*> All(uint8_t marker) const;
};

JpegMarkers ParseJpegMarkers(const Bytes& file);

}  // namespace imgtest
