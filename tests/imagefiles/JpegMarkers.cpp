#include "JpegMarkers.h"

namespace imgtest {

std::vector<const JpegSegment*> JpegMarkers::All(uint8_t marker) const {
  std::vector<const JpegSegment*> found;
  for (const JpegSegment& s : segments) {
    if (s.marker == marker) found.push_back(&s);
  }
  return found;
}

JpegMarkers ParseJpegMarkers(const Bytes& file) {
  JpegMarkers out;
  auto fail = [&out](const std::string& why, size_t at) {
    out.fault = why + " at byte " + std::to_string(at);
    return out;
  };
  if (file.size() < 4 || file[0] != 0xFF || file[1] != 0xD8) return fail("no SOI", 0);
  out.segments.push_back({0xD8, {}});
  size_t at = 2;
  while (true) {
    if (at + 2 > file.size() || file[at] != 0xFF) return fail("no marker", at);
    while (at + 1 < file.size() && file[at + 1] == 0xFF) ++at;  // fill bytes
    if (at + 2 > file.size()) return fail("cut marker", at);
    const uint8_t marker = file[at + 1];
    at += 2;
    if (marker == 0xD9) {
      out.segments.push_back({marker, {}});
      if (at != file.size()) return fail("bytes after EOI", at);
      out.ok = true;
      return out;
    }
    if (at + 2 > file.size()) return fail("cut length", at);
    const size_t length = (size_t{file[at]} << 8) | file[at + 1];
    if (length < 2 || at + length > file.size()) return fail("bad length", at);
    out.segments.push_back({marker, Bytes(file.begin() + at + 2, file.begin() + at + length)});
    at += length;
    if (marker != 0xDA) continue;
    // Entropy-coded data: 0xFF is followed by a stuffed 0 or a restart marker
    // until the next real marker.
    while (at + 1 < file.size() &&
           !(file[at] == 0xFF && file[at + 1] != 0 && (file[at + 1] < 0xD0 || file[at + 1] > 0xD7))) {
      ++at;
    }
  }
}

}  // namespace imgtest
