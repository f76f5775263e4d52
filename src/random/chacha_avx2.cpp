// ChaCha four-block variant for AVX2. Built for AVX2 (cmake/velquin_isa.cmake)
// and reached only through the dispatcher when the CPU has it; it includes no
// header with inline functions, so no AVX2 copy of shared code can leak into
// the rest of the program.
//
// Layout: one 256-bit register holds the same row of two blocks (one block per
// 128-bit lane), so four registers hold two whole blocks and the column round
// is plain lane-wise arithmetic. The diagonal round rotates rows b, c, d within
// each lane so that the diagonals line up as columns, then rotates them back.
// Two block pairs are processed side by side for instruction-level parallelism.
#include <immintrin.h>

#include <cstdint>

#include "random/chacha_dispatch.h"

namespace velquin::random {
namespace {

struct TwoBlocks {
  __m256i a, b, c, d;
};

// The byte masks and the quarter rounds are laid out by row.
// clang-format off
inline __m256i rotl16(__m256i v) {
  const __m256i mask = _mm256_setr_epi8(2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13,
                                        2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13);
  return _mm256_shuffle_epi8(v, mask);
}

inline __m256i rotl8(__m256i v) {
  const __m256i mask = _mm256_setr_epi8(3, 0, 1, 2, 7, 4, 5, 6, 11, 8, 9, 10, 15, 12, 13, 14,
                                        3, 0, 1, 2, 7, 4, 5, 6, 11, 8, 9, 10, 15, 12, 13, 14);
  return _mm256_shuffle_epi8(v, mask);
}

template <int kBits>
inline __m256i rotl(__m256i v) {
  return _mm256_or_si256(_mm256_slli_epi32(v, kBits), _mm256_srli_epi32(v, 32 - kBits));
}

// Four quarter rounds at once, one per column of the rows held in s.
inline void column_round(TwoBlocks& s) {
  s.a = _mm256_add_epi32(s.a, s.b); s.d = _mm256_xor_si256(s.d, s.a); s.d = rotl16(s.d);
  s.c = _mm256_add_epi32(s.c, s.d); s.b = _mm256_xor_si256(s.b, s.c); s.b = rotl<12>(s.b);
  s.a = _mm256_add_epi32(s.a, s.b); s.d = _mm256_xor_si256(s.d, s.a); s.d = rotl8(s.d);
  s.c = _mm256_add_epi32(s.c, s.d); s.b = _mm256_xor_si256(s.b, s.c); s.b = rotl<7>(s.b);
}
// clang-format on

// After this, column k holds the diagonal (k, 5+k, 10+k, 15+k) of the block.
inline void diagonalize(TwoBlocks& s) {
  s.b = _mm256_shuffle_epi32(s.b, 0x39);
  s.c = _mm256_shuffle_epi32(s.c, 0x4E);
  s.d = _mm256_shuffle_epi32(s.d, 0x93);
}

inline void undiagonalize(TwoBlocks& s) {
  s.b = _mm256_shuffle_epi32(s.b, 0x93);
  s.c = _mm256_shuffle_epi32(s.c, 0x4E);
  s.d = _mm256_shuffle_epi32(s.d, 0x39);
}

inline TwoBlocks input_pair(const std::uint32_t* rows, std::uint64_t first_counter) {
  const std::uint64_t second_counter = first_counter + 1;
  const __m128i key_lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows));
  const __m128i key_hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows + 4));
  TwoBlocks s;
  s.a = _mm256_setr_epi32(0x61707865, 0x3320646e, 0x79622d32, 0x6b206574, 0x61707865, 0x3320646e,
                          0x79622d32, 0x6b206574);
  s.b = _mm256_broadcastsi128_si256(key_lo);
  s.c = _mm256_broadcastsi128_si256(key_hi);
  s.d = _mm256_setr_epi32(static_cast<int>(static_cast<std::uint32_t>(first_counter)),
                          static_cast<int>(static_cast<std::uint32_t>(first_counter >> 32)),
                          static_cast<int>(rows[10]), static_cast<int>(rows[11]),
                          static_cast<int>(static_cast<std::uint32_t>(second_counter)),
                          static_cast<int>(static_cast<std::uint32_t>(second_counter >> 32)),
                          static_cast<int>(rows[10]), static_cast<int>(rows[11]));
  return s;
}

inline void add_input(TwoBlocks& s, const TwoBlocks& input) {
  s.a = _mm256_add_epi32(s.a, input.a);
  s.b = _mm256_add_epi32(s.b, input.b);
  s.c = _mm256_add_epi32(s.c, input.c);
  s.d = _mm256_add_epi32(s.d, input.d);
}

// Lane 0 is the first block of the pair, lane 1 the second; each is 64 bytes.
inline void store_pair(const TwoBlocks& s, std::uint8_t* out) {
  __m256i* first = reinterpret_cast<__m256i*>(out);
  __m256i* second = reinterpret_cast<__m256i*>(out + 64);
  _mm256_storeu_si256(first, _mm256_permute2x128_si256(s.a, s.b, 0x20));
  _mm256_storeu_si256(first + 1, _mm256_permute2x128_si256(s.c, s.d, 0x20));
  _mm256_storeu_si256(second, _mm256_permute2x128_si256(s.a, s.b, 0x31));
  _mm256_storeu_si256(second + 1, _mm256_permute2x128_si256(s.c, s.d, 0x31));
}

}  // namespace

void chacha_four_blocks_avx2(const std::uint32_t* rows, int double_rounds,
                             std::uint8_t* out) noexcept {
  const std::uint64_t counter =
      static_cast<std::uint64_t>(rows[8]) | (static_cast<std::uint64_t>(rows[9]) << 32);
  const TwoBlocks input01 = input_pair(rows, counter);
  const TwoBlocks input23 = input_pair(rows, counter + 2);
  TwoBlocks s01 = input01;
  TwoBlocks s23 = input23;
  for (int i = 0; i < double_rounds; ++i) {
    column_round(s01);
    column_round(s23);
    diagonalize(s01);
    diagonalize(s23);
    column_round(s01);
    column_round(s23);
    undiagonalize(s01);
    undiagonalize(s23);
  }
  add_input(s01, input01);
  add_input(s23, input23);
  store_pair(s01, out);
  store_pair(s23, out + 128);
}

}  // namespace velquin::random
