#include "base/crc32.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace vq {

namespace {

// zlib's CRC-32 of `size` bytes (at most UINT_MAX at a time), continuing `crc`.
uint32_t ZlibCrc(uint32_t crc, const unsigned char* bytes, size_t size) {
  while (size > 0) {
    const size_t part = std::min<size_t>(size, UINT_MAX);
    crc = static_cast<uint32_t>(crc32(crc, bytes, static_cast<uInt>(part)));
    bytes += part;
    size -= part;
  }
  return crc;
}

#if defined(__x86_64__)

// Bytes below which folding does not pay.
constexpr size_t kFoldMinimum = 64;

// One lane `x` folded over 128 bits and added to `data`, by the constants `k`.
__attribute__((target("pclmul,sse4.1"))) __m128i Fold(__m128i x, __m128i k, __m128i data) {
  return _mm_xor_si128(_mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), data);
}

// The CRC-32 of `size` bytes (at least 64, a multiple of 16), continuing
// the inverted CRC `crc`, by carry-less multiplication: four 128-bit lanes
// are folded over the data, then into one, then reduced to 32 bits (the
// folding of the reflected zip polynomial with its constants x^n mod P).
__attribute__((target("pclmul,sse4.1"))) uint32_t FoldedCrc(uint32_t crc, const unsigned char* buf, size_t size) {
  alignas(16) static constexpr uint64_t kK1K2[] = {0x0154442bd4, 0x01c6e41596};
  alignas(16) static constexpr uint64_t kK3K4[] = {0x01751997d0, 0x00ccaa009e};
  alignas(16) static constexpr uint64_t kK5K0[] = {0x0163cd6124, 0x0000000000};
  alignas(16) static constexpr uint64_t kPoly[] = {0x01db710641, 0x01f7011641};
  const auto load = [](const unsigned char* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); };
  __m128i x1 = _mm_xor_si128(load(buf), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x2 = load(buf + 16), x3 = load(buf + 32), x4 = load(buf + 48);
  __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(kK1K2));
  buf += 64;
  size -= 64;
  for (; size >= 64; buf += 64, size -= 64) {
    x1 = Fold(x1, k, load(buf));
    x2 = Fold(x2, k, load(buf + 16));
    x3 = Fold(x3, k, load(buf + 32));
    x4 = Fold(x4, k, load(buf + 48));
  }
  k = _mm_load_si128(reinterpret_cast<const __m128i*>(kK3K4));
  x1 = Fold(Fold(Fold(x1, k, x2), k, x3), k, x4);
  for (; size >= 16; buf += 16, size -= 16) x1 = Fold(x1, k, load(buf));
  // 128 bits to 64, then Barrett's reduction to 32.
  const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k, 0x10));
  k = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kK5K0));
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x00), _mm_srli_si128(x1, 4));
  k = _mm_load_si128(reinterpret_cast<const __m128i*>(kPoly));
  __m128i x2r = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x10);
  x2r = _mm_clmulepi64_si128(_mm_and_si128(x2r, low32), k, 0x00);
  return static_cast<uint32_t>(_mm_extract_epi32(_mm_xor_si128(x1, x2r), 1));
}

bool CanFold() {
  static const bool can = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return can;
}

#endif

}  // namespace

void TCrc32::Add(const void* data, size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
#if defined(__x86_64__)
  // The bulk by folding where the processor multiplies without carries;
  // the rest as zlib computes it.
  if (size >= kFoldMinimum && CanFold()) {
    const size_t bulk = size & ~size_t{15};
    value_ = ~FoldedCrc(~value_, bytes, bulk);
    bytes += bulk;
    size -= bulk;
  }
#endif
  value_ = ZlibCrc(value_, bytes, size);
}

}  // namespace vq
