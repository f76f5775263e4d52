// The AVX2 walks of the general operations; built with its own flags.
//
// A tile is four consecutive amplitudes, two registers, split into parts:
// lane l holds amplitude kLaneAmplitude[l] of the tile (the order
// Avx2::deinterleave leaves them in). A unit's tiles are its group members
// over the high targets; a target below the tile is a lane bit, reached by
// a lane permutation per column of the matrix. Each lane then computes the
// scalar formula of its own amplitude, in the same order: the coefficient for
// (row of the lane, column c) times the operand of column c, summed from c = 0.
// Lanes whose low control bits miss their values are kept as loaded.
#include <immintrin.h>

#include <cstring>

#include "math_core/complex_arith.h"
#include "math_core/lanes_avx2.h"
#include "math_core/op_variants.h"

namespace math_core {
namespace {

using V = Avx2::V;
using CL = ComplexLanes<V>;

constexpr unsigned kTile = 1u << kTileBits;  // amplitudes per tile == lanes
static_assert(kTile == Avx2::kLanes);
constexpr unsigned kLaneAmplitude[kTile] = {0, 2, 1, 3};  // its own inverse

// Walks, as PreparedOp::walk.
enum Walk : int {
  kScalarWalk = 0,
  kDenseWalk,     // high targets only
  kDenseLowWalk,  // some target below the tile: lane permutations
  kDiagonalWalk,
  kMovesWalk,       // permutation on high targets only
  kMonomialWalk,    // permutation with phases on high targets only
  kPermuteLowWalk,  // permutation, with phases or not, some target below the tile
  kMaskPhaseWalk,
  kParityWalk,
};

CL load_tile(const Complex64* p) { return Avx2::deinterleave(Avx2::load(p), Avx2::load(p + 2)); }
void store_tile(Complex64* p, const CL& c) {
  __m256d r0, r1;
  Avx2::interleave(c, r0, r1);
  Avx2::store(p, r0);
  Avx2::store(p + 2, r1);
}
V lanes_at(const double* four) { return V(_mm256_loadu_pd(four)); }
CL complex_at(const double* eight) { return {lanes_at(eight), lanes_at(eight + 4)}; }
// Lane l of the result is lane index[l] of x (index: two 32-bit halves per lane).
V permute(V x, __m256i index) {
  return V(_mm256_castsi256_pd(_mm256_permutevar8x32_epi32(_mm256_castpd_si256(x.v), index)));
}
CL permute(const CL& x, __m256i index) { return {permute(x.re, index), permute(x.im, index)}; }
// Lanes whose mask lane has its sign bit set take `take`, the others `keep`: bits move only.
CL select(const CL& keep, const CL& take, __m256d mask) {
  return {V(_mm256_blendv_pd(keep.re.v, take.re.v, mask)),
          V(_mm256_blendv_pd(keep.im.v, take.im.v, mask))};
}

// Table layout in PreparedOp::lanes (doubles) and ::words, per walk:
//   lanes[0..3]: the lane mask of low controls (all-ones bits where active)
//   then the walk's coefficients, 8 doubles (re lanes, im lanes) each;
//   words[0]: tiles per unit, then the tiles' offsets, then per column its
//   source tile, then per column a lane permutation (4 words: 8 x 32 bits);
//   a permutation with a low target: per output lane of each unit (tile after
//   tile) its source tile, then a permutation bringing its source lane to
//   every lane (4 words), and per output tile the lanes' coefficients.
constexpr std::size_t kMaskLanes = 4;

void put_mask(PreparedOp& op, std::uint64_t low_mask, std::uint64_t low_value,
              std::uint64_t low_targets_all_ones) {
  op.lanes.assign(kMaskLanes, 0.0);
  for (unsigned l = 0; l < kTile; ++l) {
    const std::uint64_t a = kLaneAmplitude[l];
    const bool active =
        (a & low_mask) == low_value && (a & low_targets_all_ones) == low_targets_all_ones;
    const std::uint64_t bits = active ? ~std::uint64_t{0} : 0;
    std::memcpy(&op.lanes[l], &bits, sizeof bits);
  }
}

void put_complex(PreparedOp& op, const Complex64 (&per_lane)[kTile]) {
  for (unsigned l = 0; l < kTile; ++l) op.lanes.push_back(per_lane[l].re);
  for (unsigned l = 0; l < kTile; ++l) op.lanes.push_back(per_lane[l].im);
}

void prepare(PreparedOp& op) {
  const OpShape& shape = op.shape;
  op.walk = kScalarWalk;
  if (op.layout.tile_bits < kTileBits) return;
  const std::uint64_t low = kTile - 1;
  const std::uint64_t low_controls = shape.control_mask & low;
  const std::uint64_t low_values = shape.control_value & low;
  const std::uint64_t low_targets = shape.target_mask & low;
  switch (shape.kind) {
    case OpKind::kMaskPhase:
      put_mask(op, low_controls, low_values, low_targets);
      put_complex(op, {shape.coefficients[0], shape.coefficients[0], shape.coefficients[0],
                       shape.coefficients[0]});
      op.walk = kMaskPhaseWalk;
      return;
    case OpKind::kParityPhase:
      put_mask(op, low_controls, low_values, 0);
      for (unsigned high = 0; high < 2; ++high) {
        Complex64 per_lane[kTile];
        for (unsigned l = 0; l < kTile; ++l) {
          per_lane[l] = shape.coefficients[high ^ parity(kLaneAmplitude[l] & low_targets)];
        }
        put_complex(op, per_lane);
      }
      op.walk = kParityWalk;
      return;
    case OpKind::kDense:
    case OpKind::kDiagonal:
    case OpKind::kPermutation:
    case OpKind::kMonomial:
      break;
    default:
      return;  // two-level, Pauli words and their rotations: the scalar walk
  }
  // Dense and permutation walks hold a unit's tiles in registers: at most 16.
  if (shape.kind != OpKind::kDiagonal && shape.k > 4) return;
  const bool has_low = low_targets != 0;
  const bool moves = shape.kind == OpKind::kPermutation || shape.kind == OpKind::kMonomial;
  put_mask(op, low_controls, low_values, 0);
  // Member bit i is a lane bit (low target) or a tile bit (high target).
  unsigned high_index[kMaxTargets];
  unsigned high_count = 0;
  for (unsigned i = 0; i < shape.k; ++i) {
    if (shape.targets[i] >= kTileBits) high_index[high_count++] = i;
  }
  const unsigned members = 1u << shape.k, tiles = 1u << high_count;
  auto tile_of = [&](unsigned m) {  // the high-target bits of member m, compacted
    unsigned h = 0;
    for (unsigned j = 0; j < high_count; ++j) h |= ((m >> high_index[j]) & 1u) << j;
    return h;
  };
  auto member_at = [&](unsigned tile,
                       std::uint64_t amplitude) {  // member of (tile, lane amplitude)
    unsigned m = 0;
    for (unsigned j = 0; j < high_count; ++j) m |= ((tile >> j) & 1u) << high_index[j];
    for (unsigned i = 0; i < shape.k; ++i) {
      if (shape.targets[i] < kTileBits)
        m |= static_cast<unsigned>((amplitude >> shape.targets[i]) & 1) << i;
    }
    return m;
  };
  op.words.push_back(tiles);
  for (unsigned h = 0; h < tiles; ++h) {
    std::uint64_t offset = 0;
    for (unsigned j = 0; j < high_count; ++j) {
      offset |= std::uint64_t{(h >> j) & 1u} << shape.targets[high_index[j]];
    }
    op.words.push_back(offset);
  }
  if (moves && has_low) {
    for (unsigned r = 0; r < tiles; ++r) {
      Complex64 per_lane[kTile];
      for (unsigned l = 0; l < kTile; ++l) {
        const unsigned m = member_at(r, kLaneAmplitude[l]);
        const unsigned s = shape.permutation[m];
        std::uint64_t amplitude = kLaneAmplitude[l] & ~low_targets;
        for (unsigned i = 0; i < shape.k; ++i) {
          if (shape.targets[i] < kTileBits)
            amplitude |= std::uint64_t{(s >> i) & 1u} << shape.targets[i];
        }
        const std::uint32_t lane = kLaneAmplitude[amplitude];
        std::uint32_t index[2 * kTile];
        for (unsigned j = 0; j < kTile; ++j) {
          index[2 * j] = 2 * lane;
          index[2 * j + 1] = 2 * lane + 1;
        }
        std::uint64_t packed[kTile];
        std::memcpy(packed, index, sizeof index);
        op.words.push_back(tile_of(s));
        for (std::uint64_t word : packed) op.words.push_back(word);
        per_lane[l] = shape.kind == OpKind::kMonomial ? shape.coefficients[m] : Complex64{};
      }
      put_complex(op, per_lane);
    }
    op.walk = kPermuteLowWalk;
    return;
  }
  if (moves) {
    for (unsigned h = 0; h < tiles; ++h)
      op.words.push_back(tile_of(shape.permutation[member_at(h, 0)]));
    if (shape.kind == OpKind::kMonomial) {
      for (unsigned h = 0; h < tiles; ++h) {
        const Complex64 c = shape.coefficients[member_at(h, 0)];
        put_complex(op, {c, c, c, c});
      }
    }
    op.walk = shape.kind == OpKind::kMonomial ? kMonomialWalk : kMovesWalk;
    return;
  }
  if (shape.kind == OpKind::kDiagonal) {
    for (unsigned h = 0; h < tiles; ++h) {
      Complex64 per_lane[kTile];
      for (unsigned l = 0; l < kTile; ++l)
        per_lane[l] = shape.coefficients[member_at(h, kLaneAmplitude[l])];
      put_complex(op, per_lane);
    }
    op.walk = kDiagonalWalk;
    return;
  }
  for (unsigned c = 0; c < members; ++c) op.words.push_back(tile_of(c));
  for (unsigned c = 0; c < members; ++c) {
    std::uint32_t index[2 * kTile];
    for (unsigned l = 0; l < kTile; ++l) {
      // Column c's operand for lane l: its group's member c, in tile tile_of(c).
      std::uint64_t source = kLaneAmplitude[l] & ~low_targets;
      for (unsigned i = 0; i < shape.k; ++i) {
        if (shape.targets[i] < kTileBits)
          source |= std::uint64_t{(c >> i) & 1u} << shape.targets[i];
      }
      const std::uint32_t lane = kLaneAmplitude[source];
      index[2 * l] = 2 * lane;
      index[2 * l + 1] = 2 * lane + 1;
    }
    std::uint64_t packed[kTile];
    std::memcpy(packed, index, sizeof index);
    for (std::uint64_t word : packed) op.words.push_back(word);
  }
  for (unsigned h = 0; h < tiles; ++h) {
    for (unsigned c = 0; c < members; ++c) {
      Complex64 per_lane[kTile];
      for (unsigned l = 0; l < kTile; ++l) {
        per_lane[l] =
            shape.coefficients[std::uint64_t{member_at(h, kLaneAmplitude[l])} * members + c];
      }
      put_complex(op, per_lane);
    }
  }
  op.walk = has_low ? kDenseLowWalk : kDenseWalk;
}

__m256d mask_of(const PreparedOp& op) { return _mm256_loadu_pd(op.lanes.data()); }

template <unsigned kMembers, bool kLow, bool kMasked>
void dense_walk(const PreparedOp& op, Complex64* data, std::uint64_t begin, std::uint64_t end) {
  const std::uint64_t* words = op.words.data();
  const unsigned tiles = static_cast<unsigned>(words[0]);
  const std::uint64_t* tile_offset = words + 1;
  const std::uint64_t* source = tile_offset + tiles;
  const std::uint64_t* permutations = source + kMembers;
  const double* coefficients = op.lanes.data() + kMaskLanes;
  const __m256d mask = mask_of(op);
  __m256i index[kMembers];
  for (unsigned c = 0; c < kMembers; ++c) {
    index[c] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(permutations + 4 * c));
  }
  const TileLayout layout = op.layout;
  for (std::uint64_t o = begin; o < end; ++o) {
    Complex64* base = data + layout.base(o);
    CL in[kMembers], out[kMembers];
    for (unsigned h = 0; h < tiles; ++h) in[h] = load_tile(base + tile_offset[h]);
    for (unsigned r = 0; r < tiles; ++r) {
      const double* row = coefficients + std::size_t{r} * kMembers * 8;
      CL operand = in[source[0]];
      if constexpr (kLow) operand = permute(operand, index[0]);
      CL acc = mul(complex_at(row), operand);
      for (unsigned c = 1; c < kMembers; ++c) {
        operand = in[source[c]];
        if constexpr (kLow) operand = permute(operand, index[c]);
        acc = add(acc, mul(complex_at(row + 8 * c), operand));
      }
      out[r] = kMasked ? select(in[r], acc, mask) : acc;
    }
    for (unsigned h = 0; h < tiles; ++h) store_tile(base + tile_offset[h], out[h]);
  }
}

template <bool kMasked>
void diagonal_walk(const PreparedOp& op, Complex64* data, std::uint64_t begin, std::uint64_t end) {
  const unsigned tiles = static_cast<unsigned>(op.words[0]);
  const std::uint64_t* tile_offset = op.words.data() + 1;
  const double* coefficients = op.lanes.data() + kMaskLanes;
  const __m256d mask = mask_of(op);
  const TileLayout layout = op.layout;
  for (std::uint64_t o = begin; o < end; ++o) {
    Complex64* base = data + layout.base(o);
    for (unsigned h = 0; h < tiles; ++h) {
      const CL in = load_tile(base + tile_offset[h]);
      const CL out = mul(in, complex_at(coefficients + 8 * h));
      store_tile(base + tile_offset[h], kMasked ? select(in, out, mask) : out);
    }
  }
}

// Walks units [begin, end) of an operation whose units are kTiles tiles (their
// offsets in op.words after the count): every tile is loaded, then output tile
// r is body(in, r), stored where tile r was. Fixed bounds and offsets, so the
// compiler keeps the unit's tiles in registers.
template <unsigned kTiles, class Body>
[[gnu::always_inline]] inline void each_unit(const PreparedOp& op, Complex64* data,
                                             std::uint64_t begin, std::uint64_t end, Body body) {
  std::uint64_t offset[kTiles];
  for (unsigned h = 0; h < kTiles; ++h) offset[h] = op.words[1 + h];
  const TileLayout layout = op.layout;
  for (std::uint64_t o = begin; o < end; ++o) {
    Complex64* base = data + layout.base(o);
    CL in[kTiles];
#pragma GCC unroll 16
    for (unsigned h = 0; h < kTiles; ++h) in[h] = load_tile(base + offset[h]);
#pragma GCC unroll 16
    for (unsigned r = 0; r < kTiles; ++r) store_tile(base + offset[r], body(in, r));
  }
}

// Output tile h is input tile source[h], for a monomial times c_h (the
// coefficient first): high targets only.
template <unsigned kTiles, bool kPhases>
void monomial_walk(const PreparedOp& op, Complex64* data, std::uint64_t begin, std::uint64_t end) {
  const std::uint64_t* source = op.words.data() + 1 + kTiles;
  const double* coefficients = op.lanes.data() + kMaskLanes;
  const __m256d mask = mask_of(op);
  each_unit<kTiles>(op, data, begin, end, [&](const CL(&in)[kTiles], unsigned h) {
    CL out = in[source[h]];
    if constexpr (kPhases) out = mul(complex_at(coefficients + 8 * h), out);
    return select(in[h], out, mask);
  });
}

// A permutation with a low target: lane l of output tile r is its source
// lane of its source tile, brought to every lane and blended into lane l
// (bits move only), then for a monomial times the lane's coefficient, the
// coefficient first as in the scalar formula.
template <unsigned kTiles, bool kPhases>
void permute_low_walk(const PreparedOp& op, Complex64* data, std::uint64_t begin,
                      std::uint64_t end) {
  const std::uint64_t* lanes = op.words.data() + 1 + kTiles;  // 5 words per output lane
  const double* coefficients = op.lanes.data() + kMaskLanes;
  const __m256d mask = mask_of(op);
  __m256d lane_mask[kTile];
  for (unsigned l = 0; l < kTile; ++l) {
    std::uint64_t bits[kTile] = {};
    bits[l] = ~std::uint64_t{0};
    std::memcpy(&lane_mask[l], bits, sizeof bits);
  }
  each_unit<kTiles>(op, data, begin, end, [&](const CL(&in)[kTiles], unsigned r) {
    CL operand{};
#pragma GCC unroll 4
    for (unsigned l = 0; l < kTile; ++l) {
      const std::uint64_t* at = lanes + 5 * (std::size_t{r} * kTile + l);
      const __m256i index = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 1));
      operand = select(operand, permute(in[at[0]], index), lane_mask[l]);
    }
    if constexpr (kPhases) operand = mul(complex_at(coefficients + 8 * r), operand);
    return select(in[r], operand, mask);
  });
}

template <bool kPhases>
void permute_low_for(const PreparedOp& op, Complex64* data, std::uint64_t begin,
                     std::uint64_t end) {
  switch (op.words[0]) {
    case 1:
      return permute_low_walk<1, kPhases>(op, data, begin, end);
    case 2:
      return permute_low_walk<2, kPhases>(op, data, begin, end);
    case 4:
      return permute_low_walk<4, kPhases>(op, data, begin, end);
    default:
      return permute_low_walk<8, kPhases>(op, data, begin, end);
  }
}

// One tile per unit, every lane (or those the mask names) times its coefficient.
template <bool kParity>
void phase_walk(const PreparedOp& op, Complex64* data, std::uint64_t begin, std::uint64_t end) {
  const double* coefficients = op.lanes.data() + kMaskLanes;
  const __m256d mask = mask_of(op);
  const TileLayout layout = op.layout;
  const std::uint64_t targets = op.shape.target_mask;
  for (std::uint64_t o = begin; o < end; ++o) {
    const std::uint64_t at = layout.base(o);
    const CL in = load_tile(data + at);
    const unsigned high = kParity ? parity(at & targets) : 0;
    const CL out = mul(in, complex_at(coefficients + 8 * high));
    store_tile(data + at, select(in, out, mask));
  }
}

// dense_walk when every target lies above the tile: member m is tile m, so
// the loops have fixed bounds and fixed operands and the compiler keeps the
// unit's tiles in registers.
template <unsigned kMembers, bool kMasked>
void dense_high_walk(const PreparedOp& op, Complex64* data, std::uint64_t begin,
                     std::uint64_t end) {
  const double* coefficients = op.lanes.data() + kMaskLanes;
  const __m256d mask = mask_of(op);
  each_unit<kMembers>(op, data, begin, end, [&](const CL(&in)[kMembers], unsigned r) {
    const double* row = coefficients + std::size_t{r} * kMembers * 8;
    CL acc = mul(complex_at(row), in[0]);
#pragma GCC unroll 16
    for (unsigned c = 1; c < kMembers; ++c) acc = add(acc, mul(complex_at(row + 8 * c), in[c]));
    return kMasked ? select(in[r], acc, mask) : acc;
  });
}

template <bool kPhases>
void monomial_for(const PreparedOp& op, Complex64* data, std::uint64_t begin, std::uint64_t end) {
  switch (op.shape.k) {
    case 1:
      return monomial_walk<2, kPhases>(op, data, begin, end);
    case 2:
      return monomial_walk<4, kPhases>(op, data, begin, end);
    case 3:
      return monomial_walk<8, kPhases>(op, data, begin, end);
    default:
      return monomial_walk<16, kPhases>(op, data, begin, end);
  }
}

template <unsigned kMembers>
void dense_for(const PreparedOp& op, bool masked, Complex64* data, std::uint64_t begin,
               std::uint64_t end) {
  const bool low = op.walk == kDenseLowWalk;
  if (low && masked) return dense_walk<kMembers, true, true>(op, data, begin, end);
  if (low) return dense_walk<kMembers, true, false>(op, data, begin, end);
  if (kMembers <= 4) {
    if (masked) return dense_high_walk<kMembers, true>(op, data, begin, end);
    return dense_high_walk<kMembers, false>(op, data, begin, end);
  }
  if (masked) return dense_walk<kMembers, false, true>(op, data, begin, end);
  dense_walk<kMembers, false, false>(op, data, begin, end);
}

void run(const PreparedOp& op, Complex64* data, std::uint64_t begin, std::uint64_t end) {
  const bool masked = (op.shape.control_mask & (kTile - 1)) != 0;
  switch (op.walk) {
    case kDenseWalk:
    case kDenseLowWalk:
      switch (op.shape.k) {
        case 1:
          return dense_for<2>(op, masked, data, begin, end);
        case 2:
          return dense_for<4>(op, masked, data, begin, end);
        case 3:
          return dense_for<8>(op, masked, data, begin, end);
        default:
          return dense_for<16>(op, masked, data, begin, end);
      }
    case kDiagonalWalk:
      return masked ? diagonal_walk<true>(op, data, begin, end)
                    : diagonal_walk<false>(op, data, begin, end);
    case kMovesWalk:
    case kMonomialWalk:
      return op.shape.kind == OpKind::kMonomial ? monomial_for<true>(op, data, begin, end)
                                                : monomial_for<false>(op, data, begin, end);
    case kPermuteLowWalk:
      return op.shape.kind == OpKind::kMonomial ? permute_low_for<true>(op, data, begin, end)
                                                : permute_low_for<false>(op, data, begin, end);
    case kMaskPhaseWalk:
      return phase_walk<false>(op, data, begin, end);
    case kParityWalk:
      return phase_walk<true>(op, data, begin, end);
    default:
      return;
  }
}

}  // namespace

template <>
const OpVariant& op_variant<Isa::kAvx2>() noexcept {
  static constexpr OpVariant kVariant{&prepare, &run};
  return kVariant;
}

}  // namespace math_core
