// The gray level of one 3-byte pixel: (b1 x 0.587 + b0 x 0.299) + b2 x 0.114 in IEEE
// double precision, in that order, truncated toward zero.
//
// Worked in integers so every build gives the same byte: the 32-bit x87 build rounds
// doubles in extended precision and would give 254 for white, and a build allowed to
// fuse multiply-adds would differ too. Every value of the formula is a multiple of
// 2^-56 below 2^8 (the smallest nonzero product, 0.114, has that ulp), so it fits a
// 64-bit integer exactly; each product and sum is rounded to 53 significant bits,
// ties to even, as the double operations round. A test checks all 2^24 pixels
// against the double formula.
#pragma once

#include <cstdint>

namespace qv {

// The three weights as doubles, in units of 2^-56: 0.587 is 0x12C8B439581062 x 2^-53,
// 0.299 is 0x1322D0E5604189 x 2^-54, 0.114 is 0x1D2F1A9FBE76C9 x 2^-56.
constexpr uint64_t kGrayWeight1 = uint64_t{0x12C8B439581062} << 3;
constexpr uint64_t kGrayWeight0 = uint64_t{0x1322D0E5604189} << 2;
constexpr uint64_t kGrayWeight2 = uint64_t{0x1D2F1A9FBE76C9};

// v rounded to 53 significant bits, ties to even. The formula's values stay below
// 2^64 - 2^56, so rounding up can't overflow.
constexpr uint64_t RoundToDoublePrecision(uint64_t v) {
  if (v == 0) return 0;
  const int bits = 64 - __builtin_clzll(v);
  if (bits <= 53) return v;
  const int dropped = bits - 53;
  const uint64_t half = uint64_t{1} << (dropped - 1);
  const uint64_t remainder = v & ((uint64_t{1} << dropped) - 1);
  uint64_t kept = v >> dropped;
  if (remainder > half || (remainder == half && (kept & 1) != 0)) ++kept;
  return kept << dropped;
}

constexpr unsigned char GrayLevel(unsigned char b0, unsigned char b1, unsigned char b2) {
  const uint64_t first = RoundToDoublePrecision(b1 * kGrayWeight1);
  const uint64_t second = RoundToDoublePrecision(b0 * kGrayWeight0);
  const uint64_t third = RoundToDoublePrecision(b2 * kGrayWeight2);
  const uint64_t sum = RoundToDoublePrecision(RoundToDoublePrecision(first + second) + third);
  return static_cast<unsigned char>(sum >> 56);
}

}  // namespace qv
