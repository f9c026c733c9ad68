#include "archive/crc32.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define VN_CRC_CLMUL 1
#endif

namespace vn {

namespace {

constexpr uint32_t kPolynomial = 0xEDB88320u;

// tables[k][b]: the CRC of byte b followed by k zero bytes, for slicing 16 bytes per step.
using CrcTables = std::array<std::array<uint32_t, 256>, 16>;

constexpr CrcTables MakeTables() {
  CrcTables t{};
  for (uint32_t b = 0; b < 256; ++b) {
    uint32_t c = b;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ kPolynomial : c >> 1;
    t[0][b] = c;
  }
  for (uint32_t b = 0; b < 256; ++b) {
    for (size_t k = 1; k < 16; ++k) t[k][b] = (t[k - 1][b] >> 8) ^ t[0][t[k - 1][b] & 0xFF];
  }
  return t;
}

constexpr CrcTables kTables = MakeTables();

uint32_t Load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;  // little-endian machines only, like the rest of the format code
}

// Works on the inverted register (the state between the initial and the final complement).
uint32_t SliceBy16(uint32_t state, const uint8_t* p, size_t n) {
  while (n >= 16) {
    const uint32_t a = Load32(p) ^ state;
    const uint32_t b = Load32(p + 4);
    const uint32_t c = Load32(p + 8);
    const uint32_t d = Load32(p + 12);
    state = kTables[15][a & 0xFF] ^ kTables[14][(a >> 8) & 0xFF] ^ kTables[13][(a >> 16) & 0xFF] ^
            kTables[12][a >> 24] ^ kTables[11][b & 0xFF] ^ kTables[10][(b >> 8) & 0xFF] ^
            kTables[9][(b >> 16) & 0xFF] ^ kTables[8][b >> 24] ^ kTables[7][c & 0xFF] ^
            kTables[6][(c >> 8) & 0xFF] ^ kTables[5][(c >> 16) & 0xFF] ^ kTables[4][c >> 24] ^
            kTables[3][d & 0xFF] ^ kTables[2][(d >> 8) & 0xFF] ^ kTables[1][(d >> 16) & 0xFF] ^
            kTables[0][d >> 24];
    p += 16;
    n -= 16;
  }
  while (n-- > 0) state = (state >> 8) ^ kTables[0][(state ^ *p++) & 0xFF];
  return state;
}

#ifdef VN_CRC_CLMUL
// Folding with carry-less multiplication (the method of Gopal et al., "Fast CRC computation for
// generic polynomials using PCLMULQDQ"): four 128-bit lanes are folded 64 bytes at a time, folded
// into one lane, reduced to 64 bits and finally to 32 bits by Barrett reduction. The constants are
// x^k mod P for the bit-reflected polynomial. Needs at least 64 bytes.
#define VN_CLMUL_TARGET __attribute__((target("pclmul,sse4.1")))

VN_CLMUL_TARGET inline __m128i Load128(const uint8_t* q) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
}

// x * x^k folded onto the next 128 bits.
VN_CLMUL_TARGET inline __m128i Fold(__m128i x, __m128i k, __m128i next) {
  const __m128i lo = _mm_clmulepi64_si128(x, k, 0x00);
  const __m128i hi = _mm_clmulepi64_si128(x, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(hi, lo), next);
}

VN_CLMUL_TARGET uint32_t FoldClmul(uint32_t state, const uint8_t* p, size_t n) {
  alignas(16) static const uint64_t k1k2[2] = {0x0154442bd4ULL, 0x01c6e41596ULL};
  alignas(16) static const uint64_t k3k4[2] = {0x01751997d0ULL, 0x00ccaa009eULL};
  alignas(16) static const uint64_t k5k0[2] = {0x0163cd6124ULL, 0};
  alignas(16) static const uint64_t poly[2] = {0x01db710641ULL, 0x01f7011641ULL};

  __m128i x1 = _mm_xor_si128(Load128(p), _mm_cvtsi32_si128(static_cast<int>(state)));
  __m128i x2 = Load128(p + 16), x3 = Load128(p + 32), x4 = Load128(p + 48);
  p += 64;
  n -= 64;

  __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(k1k2));
  while (n >= 64) {
    x1 = Fold(x1, k, Load128(p));
    x2 = Fold(x2, k, Load128(p + 16));
    x3 = Fold(x3, k, Load128(p + 32));
    x4 = Fold(x4, k, Load128(p + 48));
    p += 64;
    n -= 64;
  }
  k = _mm_load_si128(reinterpret_cast<const __m128i*>(k3k4));
  x1 = Fold(x1, k, x2);
  x1 = Fold(x1, k, x3);
  x1 = Fold(x1, k, x4);
  while (n >= 16) {
    x1 = Fold(x1, k, Load128(p));
    p += 16;
    n -= 16;
  }

  // 128 -> 64 bits
  const __m128i mask32 = _mm_setr_epi32(~0, 0, ~0, 0);
  __m128i t = _mm_clmulepi64_si128(x1, k, 0x10);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), t);
  k = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(k5k0));
  t = _mm_srli_si128(x1, 4);
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k, 0x00), t);

  // Barrett reduction to 32 bits
  k = _mm_load_si128(reinterpret_cast<const __m128i*>(poly));
  t = _mm_and_si128(x1, mask32);
  t = _mm_clmulepi64_si128(t, k, 0x10);
  t = _mm_and_si128(t, mask32);
  t = _mm_clmulepi64_si128(t, k, 0x00);
  x1 = _mm_xor_si128(x1, t);
  const uint32_t folded = static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
  return SliceBy16(folded, p, n);
}

bool HaveClmul() {
  static const bool have = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return have;
}
#endif

}  // namespace

uint32_t Crc32UpdatePortable(uint32_t crc, const void* data, size_t length) {
  return ~SliceBy16(~crc, static_cast<const uint8_t*>(data), length);
}

uint32_t Crc32Update(uint32_t crc, const void* data, size_t length) {
  const auto* p = static_cast<const uint8_t*>(data);
#ifdef VN_CRC_CLMUL
  if (length >= 64 && HaveClmul()) return ~FoldClmul(~crc, p, length);
#endif
  return ~SliceBy16(~crc, p, length);
}

}  // namespace vn
