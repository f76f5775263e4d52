#include "program/gate_library.h"

#include <array>
#include <cmath>

namespace velquin::program {
namespace {

using C = Complex64;

// Hides a literal from the optimiser, so the math call below runs here.
double at_run_time(double x) {
  volatile double held = x;
  return held;
}

// (cos a, sin a) from the platform's math library.
C unit(double a) { return {std::cos(a), std::sin(a)}; }
C times(C a, C b) { return {(a.re * b.re) - (a.im * b.im), (a.re * b.im) + (a.im * b.re)}; }
C scaled(double r, C a) { return {r * a.re, r * a.im}; }
C minus(C a) { return {-a.re, -a.im}; }
// Half-angle cosine and sine, theta * 0.5 as the register's rotations take it.
struct Half {
  double c, s;
  explicit Half(double theta) : c(std::cos(theta * 0.5)), s(std::sin(theta * 0.5)) {}
};

void fill(C* out, std::uint64_t count, C value) {
  for (std::uint64_t i = 0; i < count; ++i) out[i] = value;
}

// A 4x4 identity with the given entries changed; entries as (row, column).
void identity4(C* out) {
  fill(out, 16, {0.0, 0.0});
  for (int i = 0; i < 4; ++i) out[5 * i] = {1.0, 0.0};
}

using Params = std::span<const double>;
using Word = std::span<const std::uint8_t>;

// ---- the register's gates, as general operations (when controlled) ----
void make_y(Params, unsigned, Word, C* m) {
  m[0] = {0.0, 0.0}, m[1] = {0.0, -1.0}, m[2] = {0.0, 1.0}, m[3] = {0.0, 0.0};
}
void make_z(Params, unsigned, Word, C* m) { m[0] = {-1.0, 0.0}; }
void make_h(Params, unsigned, Word, C* m) {
  const double r = 1.0 / std::sqrt(at_run_time(2.0));
  m[0] = {r, 0.0}, m[1] = {r, 0.0}, m[2] = {r, 0.0}, m[3] = {-r, 0.0};
}
void make_s(Params, unsigned, Word, C* m) { m[0] = {0.0, 1.0}; }
void make_sdg(Params, unsigned, Word, C* m) { m[0] = {0.0, -1.0}; }
constexpr double kQuarterPi = 0.7853981633974483;  // the double nearest pi/4, as t has it
void make_t(Params, unsigned, Word, C* m) { m[0] = unit(at_run_time(kQuarterPi)); }
void make_tdg(Params, unsigned, Word, C* m) { m[0] = unit(-at_run_time(kQuarterPi)); }
void make_sx(Params, unsigned, Word, C* m) {
  m[0] = {0.5, 0.5}, m[1] = {0.5, -0.5}, m[2] = {0.5, -0.5}, m[3] = {0.5, 0.5};
}
void make_sxdg(Params, unsigned, Word, C* m) {
  m[0] = {0.5, -0.5}, m[1] = {0.5, 0.5}, m[2] = {0.5, 0.5}, m[3] = {0.5, -0.5};
}
void make_rx(Params p, unsigned, Word, C* m) {
  const Half h(p[0]);
  m[0] = {h.c, 0.0}, m[1] = {0.0, -h.s}, m[2] = {0.0, -h.s}, m[3] = {h.c, 0.0};
}
void make_ry(Params p, unsigned, Word, C* m) {
  const Half h(p[0]);
  m[0] = {h.c, 0.0}, m[1] = {-h.s, 0.0}, m[2] = {h.s, 0.0}, m[3] = {h.c, 0.0};
}
void make_rz(Params p, unsigned, Word, C* m) {
  const Half h(p[0]);
  m[0] = {h.c, -h.s}, m[1] = {h.c, h.s};
}

// ---- one qubit ----
void make_phase(Params p, unsigned, Word, C* m) { m[0] = unit(p[0]); }
// U(theta, phi, lambda) = [[c, -e^{i lambda} s], [e^{i phi} s, e^{i (phi + lambda)} c]].
void make_u(Params p, unsigned, Word, C* m) {
  const Half h(p[0]);
  m[0] = {h.c, 0.0};
  m[1] = minus(scaled(h.s, unit(p[2])));
  m[2] = scaled(h.s, unit(p[1]));
  m[3] = scaled(h.c, unit(p[1] + p[2]));
}
// R(theta, phi) = exp(-i theta/2 (cos phi X + sin phi Y)).
void make_r(Params p, unsigned, Word, C* m) {
  const Half h(p[0]);
  const C e = unit(p[1]);
  m[0] = {h.c, 0.0};
  m[1] = {-(e.im * h.s), -(e.re * h.s)};  // -i e^{-i phi} s
  m[2] = {e.im * h.s, -(e.re * h.s)};     // -i e^{i phi} s
  m[3] = {h.c, 0.0};
}
// Rot(phi, theta, omega) = RZ(omega) RY(theta) RZ(phi).
void make_rot(Params p, unsigned, Word, C* m) {
  const Half h(p[1]);
  const double sum = (p[0] + p[2]) * 0.5, difference = (p[0] - p[2]) * 0.5;
  m[0] = scaled(h.c, unit(-sum));
  m[1] = minus(scaled(h.s, unit(difference)));
  m[2] = scaled(h.s, unit(-difference));
  m[3] = scaled(h.c, unit(sum));
}
// exp(-i theta/2 H), H = (X + Z) / sqrt(2).
void make_rh(Params p, unsigned, Word, C* m) {
  const Half h(p[0]);
  const double r = 1.0 / std::sqrt(at_run_time(2.0));
  const double t = h.s * r;
  m[0] = {h.c, -t}, m[1] = {0.0, -t}, m[2] = {0.0, -t}, m[3] = {h.c, t};
}

// ---- two qubits (member bit 0 is the first target) ----
void make_rxx(Params p, unsigned, Word, C* m) {
  const Half h(p[0]);
  fill(m, 16, {0.0, 0.0});
  for (int i = 0; i < 4; ++i) m[5 * i] = {h.c, 0.0};
  m[3] = m[6] = m[9] = m[12] = {0.0, -h.s};
}
void make_ryy(Params p, unsigned, Word, C* m) {
  const Half h(p[0]);
  fill(m, 16, {0.0, 0.0});
  for (int i = 0; i < 4; ++i) m[5 * i] = {h.c, 0.0};
  m[3] = m[12] = {0.0, h.s};
  m[6] = m[9] = {0.0, -h.s};
}
// exp(-i theta/2 Z X): Z on the first target, X on the second.
void make_rzx(Params p, unsigned, Word, C* m) {
  const Half h(p[0]);
  fill(m, 16, {0.0, 0.0});
  for (int i = 0; i < 4; ++i) m[5 * i] = {h.c, 0.0};
  m[2] = m[8] = {0.0, -h.s};
  m[7] = m[13] = {0.0, h.s};
}
// exp(-i theta/4 (XX - YY)) rotated by beta: couples |00> and |11>.
void make_xx_minus_yy(Params p, unsigned, Word, C* m) {
  const Half h(p[0]);
  const C e = unit(p[1]);
  identity4(m);
  m[0] = m[15] = {h.c, 0.0};
  m[3] = {-(e.im * h.s), -(e.re * h.s)};  // -i e^{-i beta} s
  m[12] = {e.im * h.s, -(e.re * h.s)};    // -i e^{i beta} s
}
// exp(-i theta/4 (XX + YY)) rotated by beta: couples |01> and |10>.
void make_xx_plus_yy(Params p, unsigned, Word, C* m) {
  const Half h(p[0]);
  const C e = unit(p[1]);
  identity4(m);
  m[5] = m[10] = {h.c, 0.0};
  m[6] = {-(e.im * h.s), -(e.re * h.s)};  // row |01>, column |10>: -i e^{-i beta} s
  m[9] = {e.im * h.s, -(e.re * h.s)};     // -i e^{i beta} s
}
// FSim(theta, phi): cos and -i sin on |01>, |10>, e^{-i phi} on |11>.
void make_fsim(Params p, unsigned, Word, C* m) {
  const double c = std::cos(p[0]), s = std::sin(p[0]);
  identity4(m);
  m[5] = m[10] = {c, 0.0};
  m[6] = m[9] = {0.0, -s};
  m[15] = unit(-p[1]);
}
// PhasedFSim(theta, zeta, chi, gamma, phi) with member bit 1 the first qubit of
// the pair as the framework lists it (|01>: second qubit set).
void make_phased_fsim(Params p, unsigned, Word, C* m) {
  const double c = std::cos(p[0]), s = std::sin(p[0]);
  const double zeta = p[1], chi = p[2], gamma = p[3], phi = p[4];
  identity4(m);
  m[5] = scaled(c, unit(-(gamma + zeta)));        // |01> -> |01>
  m[6] = times({0.0, -s}, unit(-(gamma - chi)));  // |10> -> |01>
  m[9] = times({0.0, -s}, unit(-(gamma + chi)));  // |01> -> |10>
  m[10] = scaled(c, unit(-(gamma - zeta)));       // |10> -> |10>
  m[15] = unit(-((gamma + gamma) + phi));
}
// The swap to the power alpha / pi: X^t on |01>, |10>, g = e^{i alpha}.
void make_swap_power(Params p, unsigned, Word, C* m) {
  const C g = unit(p[0]);
  identity4(m);
  m[5] = m[10] = {(1.0 + g.re) * 0.5, g.im * 0.5};
  m[6] = m[9] = {(1.0 - g.re) * 0.5, -(g.im * 0.5)};
}
// PSWAP(phi): the swap with e^{i phi} on the exchanged members.
void make_phased_swap(Params p, unsigned, Word, C* m) {
  identity4(m);
  m[5] = m[10] = {0.0, 0.0};
  m[6] = m[9] = unit(p[0]);
}
void make_iswap(Params, unsigned, Word, C* m) {
  identity4(m);
  m[5] = m[10] = {0.0, 0.0};
  m[6] = m[9] = {0.0, 1.0};
}
void make_ecr(Params, unsigned, Word, C* m) {
  const double r = 1.0 / std::sqrt(at_run_time(2.0));
  fill(m, 16, {0.0, 0.0});
  m[1] = {r, 0.0}, m[3] = {0.0, r};
  m[4] = {r, 0.0}, m[6] = {0.0, -r};
  m[9] = {0.0, r}, m[11] = {r, 0.0};
  m[12] = {0.0, -r}, m[14] = {r, 0.0};
}
// Givens rotation on |01>, |10> (two-level, members 1 and 2; and 3 and 12 on four).
void make_excitation(Params p, unsigned, Word, C* m) {
  const Half h(p[0]);
  m[0] = {h.c, 0.0}, m[1] = {-h.s, 0.0}, m[2] = {h.s, 0.0}, m[3] = {h.c, 0.0};
}
template <int kSign>
void make_excitation_phased(Params p, unsigned, Word, C* m) {
  const Half h(p[0]);
  identity4(m);
  m[0] = m[15] = unit(kSign * (p[0] * 0.5));
  m[5] = m[10] = {h.c, 0.0};
  m[6] = {-h.s, 0.0};
  m[9] = {h.s, 0.0};
}

// ---- any number of qubits ----
void make_multi_rz(Params p, unsigned, Word, C* m) {
  const Half h(p[0]);
  m[0] = {h.c, -h.s}, m[1] = {h.c, h.s};
}
// exp(-i theta/2 P): with a flip, c and w(parity) = -i s i^y (+1, -1); else a parity phase.
void make_pauli_rotation(Params p, unsigned, Word word, C* m) {
  const Half h(p[0]);
  unsigned y = 0;
  bool flips = false;
  for (std::uint8_t letter : word) {
    y += letter == 'Y';
    flips = flips || letter != 'Z';
  }
  if (!flips) return make_multi_rz(p, 0, word, m);
  static constexpr C kTurn[4] = {{0.0, -1.0}, {1.0, 0.0}, {0.0, 1.0}, {-1.0, 0.0}};  // -i i^y
  const C w = {kTurn[y % 4].re * h.s, kTurn[y % 4].im * h.s};
  m[0] = {h.c, 0.0};
  m[1] = w;
  m[2] = minus(w);
}
void make_global_phase(Params p, unsigned, Word, C* m) { m[0] = unit(p[0]); }
void make_phases(Params p, unsigned targets, Word, C* m) {
  for (std::uint64_t i = 0; i < (std::uint64_t{1} << targets); ++i) m[i] = unit(p[i]);
}
void make_nothing(Params, unsigned, Word, C*) {}

constexpr std::uint32_t kFlip[2] = {1, 0};
constexpr std::uint32_t kSwap[4] = {0, 2, 1, 3};
constexpr std::uint32_t kDcx[4] = {0, 3, 1, 2};  // CX(first, second), then CX(second, first)

constexpr unsigned kAny = kAnyTargets;
using K = OpKind;
using P = Payload;
using G = GateKind;

OperationInfo row(std::string_view name, unsigned targets, unsigned leading_controls,
                  unsigned params, OpKind kind, Payload payload, Maker make,
                  const std::uint32_t* permutation = nullptr,
                  std::optional<GateKind> gate = std::nullopt, bool word_kind = false) {
  return {name,    targets, leading_controls, params, kind,
          payload, make,    permutation,      gate,   word_kind};
}

// clang-format off
const OperationInfo kOperations[] = {
    // name, targets, leading controls, params, structure, payload, maker, [permutation], [gate]
    row("x", 1, 0, 0, K::kPermutation, P::kNone, nullptr, kFlip, G::kX),
    row("y", 1, 0, 0, K::kDense, P::kNone, make_y, nullptr, G::kY),
    row("z", 1, 0, 0, K::kMaskPhase, P::kNone, make_z, nullptr, G::kZ),
    row("h", 1, 0, 0, K::kDense, P::kNone, make_h, nullptr, G::kH),
    row("s", 1, 0, 0, K::kMaskPhase, P::kNone, make_s, nullptr, G::kS),
    row("sdg", 1, 0, 0, K::kMaskPhase, P::kNone, make_sdg, nullptr, G::kSdg),
    row("t", 1, 0, 0, K::kMaskPhase, P::kNone, make_t, nullptr, G::kT),
    row("tdg", 1, 0, 0, K::kMaskPhase, P::kNone, make_tdg, nullptr, G::kTdg),
    row("sx", 1, 0, 0, K::kDense, P::kNone, make_sx, nullptr, G::kSx),
    row("rx", 1, 0, 1, K::kDense, P::kNone, make_rx, nullptr, G::kRx),
    row("ry", 1, 0, 1, K::kDense, P::kNone, make_ry, nullptr, G::kRy),
    row("rz", 1, 0, 1, K::kDiagonal, P::kNone, make_rz, nullptr, G::kRz),
    row("cx", 1, 1, 0, K::kPermutation, P::kNone, nullptr, kFlip, G::kCx),
    row("swap", 2, 0, 0, K::kPermutation, P::kNone, nullptr, kSwap, G::kSwap),
    row("cy", 1, 1, 0, K::kDense, P::kNone, make_y, nullptr, G::kCy),
    row("cz", 1, 1, 0, K::kMaskPhase, P::kNone, make_z, nullptr, G::kCz),
    row("sxdg", 1, 0, 0, K::kDense, P::kNone, make_sxdg),
    row("p", 1, 0, 1, K::kMaskPhase, P::kNone, make_phase),
    row("u", 1, 0, 3, K::kDense, P::kNone, make_u),
    row("r", 1, 0, 2, K::kDense, P::kNone, make_r),
    row("rot", 1, 0, 3, K::kDense, P::kNone, make_rot),
    row("rh", 1, 0, 1, K::kDense, P::kNone, make_rh),
    row("rxx", 2, 0, 1, K::kDense, P::kNone, make_rxx),
    row("ryy", 2, 0, 1, K::kDense, P::kNone, make_ryy),
    row("rzz", 2, 0, 1, K::kParityPhase, P::kNone, make_multi_rz),
    row("rzx", 2, 0, 1, K::kDense, P::kNone, make_rzx),
    row("xx_minus_yy", 2, 0, 2, K::kDense, P::kNone, make_xx_minus_yy),
    row("xx_plus_yy", 2, 0, 2, K::kDense, P::kNone, make_xx_plus_yy),
    row("fsim", 2, 0, 2, K::kDense, P::kNone, make_fsim),
    row("phased_fsim", 2, 0, 5, K::kDense, P::kNone, make_phased_fsim),
    row("swap_power", 2, 0, 1, K::kDense, P::kNone, make_swap_power),
    row("iswap", 2, 0, 0, K::kDense, P::kNone, make_iswap),
    row("phased_swap", 2, 0, 1, K::kDense, P::kNone, make_phased_swap),
    row("ecr", 2, 0, 0, K::kDense, P::kNone, make_ecr),
    row("dcx", 2, 0, 0, K::kPermutation, P::kNone, nullptr, kDcx),
    row("single_excitation", 2, 0, 1, K::kTwoLevel, P::kNone, make_excitation),
    row("single_excitation_plus", 2, 0, 1, K::kDense, P::kNone, make_excitation_phased<1>),
    row("single_excitation_minus", 2, 0, 1, K::kDense, P::kNone, make_excitation_phased<-1>),
    row("double_excitation", 4, 0, 1, K::kTwoLevel, P::kNone, make_excitation),
    row("multi_rz", kAny, 0, 1, K::kParityPhase, P::kNone, make_multi_rz),
    row("pauli_rotation", kAny, 0, 1, K::kPauliRotation, P::kWord, make_pauli_rotation, nullptr, {}, true),
    row("pauli", kAny, 0, 0, K::kPauli, P::kWord, make_nothing),
    row("global_phase", 0, 0, 1, K::kMaskPhase, P::kNone, make_global_phase),
    row("phases", kAny, 0, kAny, K::kDiagonal, P::kNone, make_phases),
    row("unitary", kAny, 0, 0, K::kDense, P::kMatrix, nullptr),
    row("diagonal", kAny, 0, 0, K::kDiagonal, P::kDiagonal, nullptr),
    row("permutation", kAny, 0, 0, K::kPermutation, P::kPermutation, nullptr),
};
// clang-format on

}  // namespace

const OperationInfo* find_operation(std::string_view name) noexcept {
  for (const OperationInfo& info : kOperations) {
    if (info.name == name) return &info;
  }
  return nullptr;
}

std::span<const OperationInfo> operations() noexcept { return kOperations; }

std::uint64_t coefficient_count(OpKind kind, unsigned targets) noexcept {
  const std::uint64_t members = std::uint64_t{1} << targets;
  switch (kind) {
    case OpKind::kDense:
      return members * members;
    case OpKind::kDiagonal:
      return members;
    case OpKind::kTwoLevel:
      return 4;
    case OpKind::kMaskPhase:
      return 1;
    case OpKind::kParityPhase:
      return 2;
    case OpKind::kPauliRotation:
      return 3;
    case OpKind::kPermutation:
    case OpKind::kPauli:
      return 0;
  }
  return 0;
}

unsigned parameter_count(const OperationInfo& info, unsigned targets) noexcept {
  return info.params == kAnyTargets ? 1u << targets : info.params;
}

OpKind word_structure(const OperationInfo& info, std::span<const std::uint8_t> word) noexcept {
  if (!info.word_kind) return info.kind;
  for (std::uint8_t letter : word) {
    if (letter != 'Z') return OpKind::kPauliRotation;
  }
  return OpKind::kParityPhase;
}

}  // namespace velquin::program
