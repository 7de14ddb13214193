// AVX-512VBMI kernel: every pixel computed once (no overlapping lanes). Two
// registers of 32 pixels give B, G, R planes; the 64-pixel block's 192
// output bytes are then gathered from them with whole-register byte permutes.
#include "ConversionKernels.h"

#if defined(__x86_64__) || defined(__i386__)
#include <array>
#include <cstdint>

#include "SimdLane128.h"
#include "SimdLane512.h"

namespace qv::conversion {

namespace {

#define QV_VBMI __attribute__((target("avx512f,avx512bw,avx512vbmi")))

using Table64 = std::array<std::uint8_t, 64>;

// After packus(B_a, G_a) (pixels 0..31), lane k holds B of pixels 8k..8k+7
// then their G; the same for packus(B_b, G_b) with pixels 32..63.
constexpr int PosB(int p) { return 16 * (p / 8) + p % 8; }
constexpr int PosG(int p) { return PosB(p) + 8; }
// packus(R_a, R_b): lane k holds R of pixels 8k..8k+7, then of 32+8k..32+8k+7.
constexpr int PosR(int p) { return p < 32 ? PosB(p) : PosB(p - 32) + 8; }

constexpr int OutPixel(int piece, int t) { return (64 * piece + t) / 3; }
constexpr int OutChannel(int piece, int t) { return (64 * piece + t) % 3; }

// Index for permutex2var: bit 6 selects the second operand.
// piece 0: (BG_a, R); piece 1 first step: (BG_a, BG_b), R merged after; piece 2: (BG_b, R).
constexpr Table64 PieceIndex(int piece) {
  Table64 t{};
  for (int j = 0; j < 64; ++j) {
    const int p = OutPixel(piece, j), ch = OutChannel(piece, j);
    int index = 0;
    if (piece == 1) {
      if (ch != 2) index = p < 32 ? (ch == 0 ? PosB(p) : PosG(p)) : 64 + (ch == 0 ? PosB(p - 32) : PosG(p - 32));
    } else if (ch == 2) {
      index = 64 + PosR(p);
    } else {
      const int q = piece == 0 ? p : p - 32;
      index = ch == 0 ? PosB(q) : PosG(q);
    }
    t[j] = static_cast<std::uint8_t>(index);
  }
  return t;
}

constexpr Table64 PieceOneRIndex() {
  Table64 t{};
  for (int j = 0; j < 64; ++j) t[j] = static_cast<std::uint8_t>(OutChannel(1, j) == 2 ? PosR(OutPixel(1, j)) : 0);
  return t;
}

constexpr std::uint64_t PieceOneRMask() {
  std::uint64_t m = 0;
  for (int j = 0; j < 64; ++j)
    if (OutChannel(1, j) == 2) m |= std::uint64_t{1} << j;
  return m;
}

struct alignas(64) VbmiTables {
  Table64 piece[3] = {PieceIndex(0), PieceIndex(1), PieceIndex(2)};
  Table64 pieceOneR = PieceOneRIndex();
};
constexpr VbmiTables kVbmi{};

QV_VBMI inline __m512i Load64(const Table64& t) { return _mm512_load_si512(t.data()); }

QV_VBMI inline __m512i Broadcast(const simd::Table16& t) {
  return _mm512_maskz_broadcast_i32x4(0xFFFF, simd::Load128(t));
}

template <bool Yuy2>
QV_VBMI void ConvertGroups(const unsigned char* s, unsigned char* d, std::size_t groups) {
  using simd::kTables;
  const simd::Masks128 m128 = simd::MakeMasks128(Yuy2);
  const __m512i yu = Broadcast(Yuy2 ? kTables.yuYuy2 : kTables.yuUyvy);
  const __m512i yv = Broadcast(Yuy2 ? kTables.yvYuy2 : kTables.yvUyvy);
  const __m512i idx0 = Load64(kVbmi.piece[0]), idx1 = Load64(kVbmi.piece[1]), idx2 = Load64(kVbmi.piece[2]);
  const __m512i idx1r = Load64(kVbmi.pieceOneR);
  const __mmask64 mask1r = PieceOneRMask();
  std::size_t k = 0;
  for (; k + 32 <= groups; k += 32, s += 128, d += 192) {
    // The unsigned-saturating packs are the clamp to 0..255. Each half is packed as soon
    // as it is computed, so that 32-bit x86's 8 registers hold what is live.
    const simd::Channels512 a = simd::Compute512(_mm512_loadu_si512(s), yu, yv);
    const __m512i bgA = _mm512_packus_epi16(a.b, a.g);
    const simd::Channels512 b = simd::Compute512(_mm512_loadu_si512(s + 64), yu, yv);
    const __m512i bgB = _mm512_packus_epi16(b.b, b.g);
    const __m512i r = _mm512_packus_epi16(a.r, b.r);
    _mm512_storeu_si512(d, _mm512_permutex2var_epi8(bgA, idx0, r));
    const __m512i piece1 = _mm512_permutex2var_epi8(bgA, idx1, bgB);
    _mm512_storeu_si512(d + 64, _mm512_mask_permutexvar_epi8(piece1, mask1r, idx1r, r));
    _mm512_storeu_si512(d + 128, _mm512_permutex2var_epi8(bgB, idx2, r));
  }
  for (; k + 8 <= groups; k += 8, s += 32, d += 48) simd::Block128(s, d, m128);
  if (k < groups) (Yuy2 ? ConvertGroupsScalarYuy2 : ConvertGroupsScalarUyvy)(s, d, groups - k);
}

#undef QV_VBMI

}  // namespace

KernelPair Avx512vbmiKernels() { return {ConvertGroups<true>, ConvertGroups<false>}; }

}  // namespace qv::conversion
#else
namespace qv::conversion {
KernelPair Avx512vbmiKernels() { return {nullptr, nullptr}; }
}  // namespace qv::conversion
#endif
