#pragma once

// Byte tables shared by the shuffle-based kernels (SSSE3, AVX2, AVX-512BW).
//
// Exact arithmetic in 16-bit lanes: with 298 = 256 + 42, 516 = 512 + 4,
// -208 = -256 + 48 and 409 = 512 - 103, each channel is
//   outer + (inner >> 8), an exact identity because outer is a whole multiple of 256
// in the full sum, where for raw samples Y, U, V (0..255):
//   B: outer = Y + 2U - 272,  inner = 42Y + 4U - 1056             (-1056..11730 -> fits)
//   G: outer = Y - V + 112,   inner = 42Y - 100U + 48V + 6112     (-19388..29062)
//   R: outer = Y + 2V - 272,  inner = 42Y - 103V + 12640          (-13625..23350)
// Every inner term and every partial sum stays inside int16, and the
// unsigned-saturating pack to bytes is the clamp.
//
// Each 128-bit lane takes 16 source bytes (8 pixels). The SSSE3 and AVX2 kernels take a
// 32-byte source block (16 pixels, 48 output bytes) as two lanes, pack their B and G to
// bytes per lane and R across both, and gather each 16-byte output piece from those three
// registers with byte shuffles: every pixel is computed once. The AVX-512BW kernel
// instead covers a block with three lanes loaded at source offsets 0, 8 and 16; each lane
// computes 8 pixels and keeps the 5 or 6 its output piece needs, so that every shuffle
// stays inside its lane.

#include <array>
#include <cstdint>

namespace qv::conversion::simd {

using Table16 = std::array<std::uint8_t, 16>;

constexpr std::int16_t Pair(int first, int second) {
  return static_cast<std::int16_t>((first & 0xFF) | ((second & 0xFF) << 8));
}

// Source bytes -> (Y, U) or (Y, V) byte pairs, one pair per pixel.
constexpr Table16 PairShuffle(bool yuy2, bool wantV) {
  Table16 t{};
  for (int i = 0; i < 8; ++i) {
    const int g = 4 * (i / 2);
    const int y = yuy2 ? g + 2 * (i & 1) : g + 1 + 2 * (i & 1);
    const int c = yuy2 ? (wantV ? g + 3 : g + 1) : (wantV ? g + 2 : g);
    t[2 * i] = static_cast<std::uint8_t>(y);
    t[2 * i + 1] = static_cast<std::uint8_t>(c);
  }
  return t;
}

// Output piece `piece` (0, 1, 2) of a 48-byte block, from the lane loaded at
// source offset 8 * piece (local pixels 0..7 = block pixels 4*piece..4*piece+7).
// fromBG picks from [B0..B7 G0..G7], fromR from [R0..R7 R0..R7]; 0x80 gives 0.
constexpr Table16 OutputShuffle(int piece, bool fromR) {
  Table16 t{};
  for (int j = 0; j < 16; ++j) {
    const int byte = 16 * piece + j;
    const int local = byte / 3 - 4 * piece;
    const int channel = byte % 3;
    if (fromR)
      t[j] = channel == 2 ? static_cast<std::uint8_t>(local) : 0x80;
    else
      t[j] = channel == 2 ? 0x80 : static_cast<std::uint8_t>(channel == 0 ? local : 8 + local);
  }
  return t;
}

// Output piece `piece` (0, 1, 2) of a 48-byte block from the packed bytes of its two
// lanes: from = 0 picks from [B0..B7 G0..G7], 1 from [B8..B15 G8..G15], 2 from
// [R0..R15]; 0x80 gives 0.
constexpr Table16 BlockShuffle(int piece, int from) {
  Table16 t{};
  for (int j = 0; j < 16; ++j) {
    const int byte = 16 * piece + j;
    const int pixel = byte / 3;
    const int channel = byte % 3;
    int index = 0x80;
    if (from == 2 && channel == 2)
      index = pixel;
    else if (from < 2 && channel != 2 && pixel / 8 == from)
      index = pixel % 8 + (channel == 1 ? 8 : 0);
    t[j] = static_cast<std::uint8_t>(index);
  }
  return t;
}

struct alignas(16) Tables {
  Table16 yuYuy2 = PairShuffle(true, false);
  Table16 yvYuy2 = PairShuffle(true, true);
  Table16 yuUyvy = PairShuffle(false, false);
  Table16 yvUyvy = PairShuffle(false, true);
  // Two-lane blocks (SSSE3, AVX2): piece 0 takes nothing from the second lane's B and
  // G, piece 2 nothing from the first's.
  Table16 piece0Low = BlockShuffle(0, 0), piece0Red = BlockShuffle(0, 2);
  Table16 piece1Low = BlockShuffle(1, 0), piece1High = BlockShuffle(1, 1), piece1Red = BlockShuffle(1, 2);
  Table16 piece2High = BlockShuffle(2, 1), piece2Red = BlockShuffle(2, 2);
  // Overlapping three-lane blocks (AVX-512BW).
  Table16 bg[3] = {OutputShuffle(0, false), OutputShuffle(1, false), OutputShuffle(2, false)};
  Table16 r[3] = {OutputShuffle(0, true), OutputShuffle(1, true), OutputShuffle(2, true)};
};

inline constexpr Tables kTables{};

// Coefficient pairs for pmaddubsw (unsigned pixel byte x signed coefficient).
constexpr std::int16_t kInnerB = Pair(42, 4), kOuterB = Pair(1, 2);
constexpr std::int16_t kInnerGyu = Pair(42, -100), kInnerGv = Pair(0, 48), kOuterG = Pair(1, -1);
constexpr std::int16_t kInnerR = Pair(42, -103), kOuterR = Pair(1, 2);
constexpr std::int16_t kBiasInnerB = -1056, kBiasOuterB = -272;
constexpr std::int16_t kBiasInnerG = 6112, kBiasOuterG = 112;
constexpr std::int16_t kBiasInnerR = 12640, kBiasOuterR = -272;

}  // namespace qv::conversion::simd
