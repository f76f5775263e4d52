#include "program/gate_library.h"

#include <array>
#include <cmath>

namespace velquin::program {
namespace {

// Every maker is written once for T = double (the coefficients) and T = Dual
// (the same coefficients with their derivatives, dual.h): the value parts of
// the Dual run compute exactly the double run's operations.

// Hides a literal from the optimiser, so the math call below runs here.
double at_run_time(double x) {
  volatile double held = x;
  return held;
}

// (cos a, sin a) from the platform's math library.
template <class T>
Cx<T> unit(T a) {
  return {cos_of(a), sin_of(a)};
}
template <class T>
Cx<T> times(Cx<T> a, Cx<T> b) {
  return {(a.re * b.re) - (a.im * b.im), (a.re * b.im) + (a.im * b.re)};
}
template <class T>
Cx<T> scaled(T r, Cx<T> a) {
  return {r * a.re, r * a.im};
}
template <class T>
Cx<T> minus(Cx<T> a) {
  return {-a.re, -a.im};
}
// Half-angle cosine and sine, theta * 0.5 as the register's rotations take it.
template <class T>
struct Half {
  T c, s;
  explicit Half(T theta) : c(cos_of(theta * 0.5)), s(sin_of(theta * 0.5)) {}
};

template <class T>
void fill(Cx<T>* out, std::uint64_t count, Cx<T> value) {
  for (std::uint64_t i = 0; i < count; ++i) out[i] = value;
}

// A 4x4 identity, to change some entries of.
template <class T>
void identity4(Cx<T>* out) {
  fill<T>(out, 16, {T(0.0), T(0.0)});
  for (int i = 0; i < 4; ++i) out[5 * i] = {T(1.0), T(0.0)};
}

template <class T>
using Params = std::span<const T>;
using Word = std::span<const std::uint8_t>;

// ---- the register's gates, as general operations (when controlled) ----
// Y as a permutation with phases: out0 = -i in1, out1 = i in0.
template <class T>
void make_y(Params<T>, unsigned, Word, Cx<T>* m) {
  m[0] = {0.0, -1.0}, m[1] = {0.0, 1.0};
}
template <class T>
void make_z(Params<T>, unsigned, Word, Cx<T>* m) {
  m[0] = {-1.0, 0.0};
}
template <class T>
void make_h(Params<T>, unsigned, Word, Cx<T>* m) {
  const T r = 1.0 / std::sqrt(at_run_time(2.0));
  m[0] = {r, 0.0}, m[1] = {r, 0.0}, m[2] = {r, 0.0}, m[3] = {-r, 0.0};
}
template <class T>
void make_s(Params<T>, unsigned, Word, Cx<T>* m) {
  m[0] = {0.0, 1.0};
}
template <class T>
void make_sdg(Params<T>, unsigned, Word, Cx<T>* m) {
  m[0] = {0.0, -1.0};
}
constexpr double kQuarterPi = 0.7853981633974483;  // the double nearest pi/4, as t has it
template <class T>
void make_t(Params<T>, unsigned, Word, Cx<T>* m) {
  m[0] = unit<T>(T(at_run_time(kQuarterPi)));
}
template <class T>
void make_tdg(Params<T>, unsigned, Word, Cx<T>* m) {
  m[0] = unit<T>(T(-at_run_time(kQuarterPi)));
}
template <class T>
void make_sx(Params<T>, unsigned, Word, Cx<T>* m) {
  m[0] = {0.5, 0.5}, m[1] = {0.5, -0.5}, m[2] = {0.5, -0.5}, m[3] = {0.5, 0.5};
}
template <class T>
void make_sxdg(Params<T>, unsigned, Word, Cx<T>* m) {
  m[0] = {0.5, -0.5}, m[1] = {0.5, 0.5}, m[2] = {0.5, 0.5}, m[3] = {0.5, -0.5};
}
template <class T>
void make_rx(Params<T> p, unsigned, Word, Cx<T>* m) {
  const Half<T> h(p[0]);
  m[0] = {h.c, 0.0}, m[1] = {0.0, -h.s}, m[2] = {0.0, -h.s}, m[3] = {h.c, 0.0};
}
template <class T>
void make_ry(Params<T> p, unsigned, Word, Cx<T>* m) {
  const Half<T> h(p[0]);
  m[0] = {h.c, 0.0}, m[1] = {-h.s, 0.0}, m[2] = {h.s, 0.0}, m[3] = {h.c, 0.0};
}
template <class T>
void make_rz(Params<T> p, unsigned, Word, Cx<T>* m) {
  const Half<T> h(p[0]);
  m[0] = {h.c, -h.s}, m[1] = {h.c, h.s};
}

// ---- one qubit ----
template <class T>
void make_phase(Params<T> p, unsigned, Word, Cx<T>* m) {
  m[0] = unit(p[0]);
}
// U(theta, phi, lambda) = [[c, -e^{i lambda} s], [e^{i phi} s, e^{i (phi + lambda)} c]].
template <class T>
void make_u(Params<T> p, unsigned, Word, Cx<T>* m) {
  const Half<T> h(p[0]);
  m[0] = {h.c, 0.0};
  m[1] = minus<T>(scaled<T>(h.s, unit(p[2])));
  m[2] = scaled<T>(h.s, unit(p[1]));
  m[3] = scaled<T>(h.c, unit(p[1] + p[2]));
}
// R(theta, phi) = exp(-i theta/2 (cos phi X + sin phi Y)).
template <class T>
void make_r(Params<T> p, unsigned, Word, Cx<T>* m) {
  const Half<T> h(p[0]);
  const Cx<T> e = unit(p[1]);
  m[0] = {h.c, 0.0};
  m[1] = {-(e.im * h.s), -(e.re * h.s)};  // -i e^{-i phi} s
  m[2] = {e.im * h.s, -(e.re * h.s)};     // -i e^{i phi} s
  m[3] = {h.c, 0.0};
}
// Rot(phi, theta, omega) = RZ(omega) RY(theta) RZ(phi).
template <class T>
void make_rot(Params<T> p, unsigned, Word, Cx<T>* m) {
  const Half<T> h(p[1]);
  const T sum = (p[0] + p[2]) * 0.5, difference = (p[0] - p[2]) * 0.5;
  m[0] = scaled<T>(h.c, unit(-sum));
  m[1] = minus<T>(scaled<T>(h.s, unit(difference)));
  m[2] = scaled<T>(h.s, unit(-difference));
  m[3] = scaled<T>(h.c, unit(sum));
}
// exp(-i theta/2 H), H = (X + Z) / sqrt(2).
template <class T>
void make_rh(Params<T> p, unsigned, Word, Cx<T>* m) {
  const Half<T> h(p[0]);
  const T r = 1.0 / std::sqrt(at_run_time(2.0));
  const T t = h.s * r;
  m[0] = {h.c, -t}, m[1] = {0.0, -t}, m[2] = {0.0, -t}, m[3] = {h.c, t};
}

// ---- two qubits (member bit 0 is the first target) ----
template <class T>
void make_rxx(Params<T> p, unsigned, Word, Cx<T>* m) {
  const Half<T> h(p[0]);
  fill<T>(m, 16, {T(0.0), T(0.0)});
  for (int i = 0; i < 4; ++i) m[5 * i] = {h.c, 0.0};
  m[3] = m[6] = m[9] = m[12] = {0.0, -h.s};
}
template <class T>
void make_ryy(Params<T> p, unsigned, Word, Cx<T>* m) {
  const Half<T> h(p[0]);
  fill<T>(m, 16, {T(0.0), T(0.0)});
  for (int i = 0; i < 4; ++i) m[5 * i] = {h.c, 0.0};
  m[3] = m[12] = {0.0, h.s};
  m[6] = m[9] = {0.0, -h.s};
}
// exp(-i theta/2 Z X): Z on the first target, X on the second.
template <class T>
void make_rzx(Params<T> p, unsigned, Word, Cx<T>* m) {
  const Half<T> h(p[0]);
  fill<T>(m, 16, {T(0.0), T(0.0)});
  for (int i = 0; i < 4; ++i) m[5 * i] = {h.c, 0.0};
  m[2] = m[8] = {0.0, -h.s};
  m[7] = m[13] = {0.0, h.s};
}
// exp(-i theta/4 (XX - YY)) rotated by beta: couples |00> and |11>.
template <class T>
void make_xx_minus_yy(Params<T> p, unsigned, Word, Cx<T>* m) {
  const Half<T> h(p[0]);
  const Cx<T> e = unit(p[1]);
  identity4<T>(m);
  m[0] = m[15] = {h.c, 0.0};
  m[3] = {-(e.im * h.s), -(e.re * h.s)};  // -i e^{-i beta} s
  m[12] = {e.im * h.s, -(e.re * h.s)};    // -i e^{i beta} s
}
// exp(-i theta/4 (XX + YY)) rotated by beta: couples |01> and |10>.
template <class T>
void make_xx_plus_yy(Params<T> p, unsigned, Word, Cx<T>* m) {
  const Half<T> h(p[0]);
  const Cx<T> e = unit(p[1]);
  identity4<T>(m);
  m[5] = m[10] = {h.c, 0.0};
  m[6] = {-(e.im * h.s), -(e.re * h.s)};  // row |01>, column |10>: -i e^{-i beta} s
  m[9] = {e.im * h.s, -(e.re * h.s)};     // -i e^{i beta} s
}
// FSim(theta, phi): cos and -i sin on |01>, |10>, e^{-i phi} on |11>.
template <class T>
void make_fsim(Params<T> p, unsigned, Word, Cx<T>* m) {
  const T c = cos_of(p[0]), s = sin_of(p[0]);
  identity4<T>(m);
  m[5] = m[10] = {c, 0.0};
  m[6] = m[9] = {0.0, -s};
  m[15] = unit(-p[1]);
}
// PhasedFSim(theta, zeta, chi, gamma, phi) with member bit 1 the first qubit of
// the pair as the framework lists it (|01>: second qubit set).
template <class T>
void make_phased_fsim(Params<T> p, unsigned, Word, Cx<T>* m) {
  const T c = cos_of(p[0]), s = sin_of(p[0]);
  const T zeta = p[1], chi = p[2], gamma = p[3], phi = p[4];
  identity4<T>(m);
  m[5] = scaled<T>(c, unit(-(gamma + zeta)));           // |01> -> |01>
  m[6] = times<T>({T(0.0), -s}, unit(-(gamma - chi)));  // |10> -> |01>
  m[9] = times<T>({T(0.0), -s}, unit(-(gamma + chi)));  // |01> -> |10>
  m[10] = scaled<T>(c, unit(-(gamma - zeta)));          // |10> -> |10>
  m[15] = unit(-((gamma + gamma) + phi));
}
// The swap to the power alpha / pi: X^t on |01>, |10>, g = e^{i alpha}.
template <class T>
void make_swap_power(Params<T> p, unsigned, Word, Cx<T>* m) {
  const Cx<T> g = unit(p[0]);
  identity4<T>(m);
  m[5] = m[10] = {(1.0 + g.re) * 0.5, g.im * 0.5};
  m[6] = m[9] = {(1.0 - g.re) * 0.5, -(g.im * 0.5)};
}
// PSWAP(phi): the swap with e^{i phi} on the exchanged members.
template <class T>
void make_phased_swap(Params<T> p, unsigned, Word, Cx<T>* m) {
  identity4<T>(m);
  m[5] = m[10] = {0.0, 0.0};
  m[6] = m[9] = unit(p[0]);
}
// iSWAP as a permutation with phases: members 1 and 2 trade places times i.
template <class T>
void make_iswap(Params<T>, unsigned, Word, Cx<T>* m) {
  m[0] = m[3] = {T(1.0), T(0.0)};
  m[1] = m[2] = {T(0.0), T(1.0)};
}
template <class T>
void make_ecr(Params<T>, unsigned, Word, Cx<T>* m) {
  const T r = 1.0 / std::sqrt(at_run_time(2.0));
  fill<T>(m, 16, {T(0.0), T(0.0)});
  m[1] = {r, 0.0}, m[3] = {0.0, r};
  m[4] = {r, 0.0}, m[6] = {0.0, -r};
  m[9] = {0.0, r}, m[11] = {r, 0.0};
  m[12] = {0.0, -r}, m[14] = {r, 0.0};
}
// Givens rotation on |01>, |10> (two-level, members 1 and 2; and 3 and 12 on four).
template <class T>
void make_excitation(Params<T> p, unsigned, Word, Cx<T>* m) {
  const Half<T> h(p[0]);
  m[0] = {h.c, 0.0}, m[1] = {-h.s, 0.0}, m[2] = {h.s, 0.0}, m[3] = {h.c, 0.0};
}
template <int kSign, class T>
void make_excitation_phased(Params<T> p, unsigned, Word, Cx<T>* m) {
  const Half<T> h(p[0]);
  identity4<T>(m);
  m[0] = m[15] = unit(kSign * (p[0] * 0.5));
  m[5] = m[10] = {h.c, 0.0};
  m[6] = {-h.s, 0.0};
  m[9] = {h.s, 0.0};
}

// ---- any number of qubits ----
template <class T>
void make_multi_rz(Params<T> p, unsigned, Word, Cx<T>* m) {
  const Half<T> h(p[0]);
  m[0] = {h.c, -h.s}, m[1] = {h.c, h.s};
}
// exp(-i theta/2 P): with a flip, c and w(parity) = -i s i^y (+1, -1); else a parity phase.
template <class T>
void make_pauli_rotation(Params<T> p, unsigned, Word word, Cx<T>* m) {
  const Half<T> h(p[0]);
  unsigned y = 0;
  bool flips = false;
  for (std::uint8_t letter : word) {
    y += letter == 'Y';
    flips = flips || letter != 'Z';
  }
  if (!flips) return make_multi_rz(p, 0, word, m);
  static constexpr Complex64 kTurn[4] = {
      {0.0, -1.0}, {1.0, 0.0}, {0.0, 1.0}, {-1.0, 0.0}};  // -i i^y
  const Cx<T> w = {kTurn[y % 4].re * h.s, kTurn[y % 4].im * h.s};
  m[0] = {h.c, 0.0};
  m[1] = w;
  m[2] = minus<T>(w);
}
template <class T>
void make_global_phase(Params<T> p, unsigned, Word, Cx<T>* m) {
  m[0] = unit(p[0]);
}
template <class T>
void make_phases(Params<T> p, unsigned targets, Word, Cx<T>* m) {
  for (std::uint64_t i = 0; i < (std::uint64_t{1} << targets); ++i) m[i] = unit(p[i]);
}
template <class T>
void make_nothing(Params<T>, unsigned, Word, Cx<T>*) {}

constexpr std::uint32_t kFlip[2] = {1, 0};
constexpr std::uint32_t kSwap[4] = {0, 2, 1, 3};
constexpr std::uint32_t kDcx[4] = {0, 3, 1, 2};  // CX(first, second), then CX(second, first)

constexpr unsigned kAny = kAnyTargets;
using K = OpKind;
using P = Payload;
using G = GateKind;

struct Makers {
  Maker make = nullptr;
  DualMaker derive = nullptr;
};
// The double and the Dual run of one maker.
#define VELQUIN_MAKERS(f) \
  Makers { &f<double>, &f<Dual> }

OperationInfo row(std::string_view name, unsigned targets, unsigned leading_controls,
                  unsigned params, OpKind kind, Payload payload, Makers makers,
                  const std::uint32_t* permutation = nullptr,
                  std::optional<GateKind> gate = std::nullopt, bool word_kind = false) {
  return {name,        targets,       leading_controls, params, kind,     payload,
          makers.make, makers.derive, permutation,      gate,   word_kind};
}

template <class T>
void make_excitation_plus(Params<T> p, unsigned targets, Word word, Cx<T>* m) {
  make_excitation_phased<1, T>(p, targets, word, m);
}
template <class T>
void make_excitation_minus(Params<T> p, unsigned targets, Word word, Cx<T>* m) {
  make_excitation_phased<-1, T>(p, targets, word, m);
}

// clang-format off
const OperationInfo kOperations[] = {
    // name, targets, leading controls, params, structure, payload, maker, [permutation], [gate]
    row("x", 1, 0, 0, K::kPermutation, P::kNone, Makers{}, kFlip, G::kX),
    row("y", 1, 0, 0, K::kMonomial, P::kNone, VELQUIN_MAKERS(make_y), kFlip, G::kY),
    row("z", 1, 0, 0, K::kMaskPhase, P::kNone, VELQUIN_MAKERS(make_z), nullptr, G::kZ),
    row("h", 1, 0, 0, K::kDense, P::kNone, VELQUIN_MAKERS(make_h), nullptr, G::kH),
    row("s", 1, 0, 0, K::kMaskPhase, P::kNone, VELQUIN_MAKERS(make_s), nullptr, G::kS),
    row("sdg", 1, 0, 0, K::kMaskPhase, P::kNone, VELQUIN_MAKERS(make_sdg), nullptr, G::kSdg),
    row("t", 1, 0, 0, K::kMaskPhase, P::kNone, VELQUIN_MAKERS(make_t), nullptr, G::kT),
    row("tdg", 1, 0, 0, K::kMaskPhase, P::kNone, VELQUIN_MAKERS(make_tdg), nullptr, G::kTdg),
    row("sx", 1, 0, 0, K::kDense, P::kNone, VELQUIN_MAKERS(make_sx), nullptr, G::kSx),
    row("rx", 1, 0, 1, K::kDense, P::kNone, VELQUIN_MAKERS(make_rx), nullptr, G::kRx),
    row("ry", 1, 0, 1, K::kDense, P::kNone, VELQUIN_MAKERS(make_ry), nullptr, G::kRy),
    row("rz", 1, 0, 1, K::kDiagonal, P::kNone, VELQUIN_MAKERS(make_rz), nullptr, G::kRz),
    row("cx", 1, 1, 0, K::kPermutation, P::kNone, Makers{}, kFlip, G::kCx),
    row("swap", 2, 0, 0, K::kPermutation, P::kNone, Makers{}, kSwap, G::kSwap),
    row("cy", 1, 1, 0, K::kMonomial, P::kNone, VELQUIN_MAKERS(make_y), kFlip, G::kCy),
    row("cz", 1, 1, 0, K::kMaskPhase, P::kNone, VELQUIN_MAKERS(make_z), nullptr, G::kCz),
    row("sxdg", 1, 0, 0, K::kDense, P::kNone, VELQUIN_MAKERS(make_sxdg)),
    row("p", 1, 0, 1, K::kMaskPhase, P::kNone, VELQUIN_MAKERS(make_phase)),
    row("u", 1, 0, 3, K::kDense, P::kNone, VELQUIN_MAKERS(make_u)),
    row("r", 1, 0, 2, K::kDense, P::kNone, VELQUIN_MAKERS(make_r)),
    row("rot", 1, 0, 3, K::kDense, P::kNone, VELQUIN_MAKERS(make_rot)),
    row("rh", 1, 0, 1, K::kDense, P::kNone, VELQUIN_MAKERS(make_rh)),
    row("rxx", 2, 0, 1, K::kDense, P::kNone, VELQUIN_MAKERS(make_rxx)),
    row("ryy", 2, 0, 1, K::kDense, P::kNone, VELQUIN_MAKERS(make_ryy)),
    row("rzz", 2, 0, 1, K::kParityPhase, P::kNone, VELQUIN_MAKERS(make_multi_rz)),
    row("rzx", 2, 0, 1, K::kDense, P::kNone, VELQUIN_MAKERS(make_rzx)),
    row("xx_minus_yy", 2, 0, 2, K::kDense, P::kNone, VELQUIN_MAKERS(make_xx_minus_yy)),
    row("xx_plus_yy", 2, 0, 2, K::kDense, P::kNone, VELQUIN_MAKERS(make_xx_plus_yy)),
    row("fsim", 2, 0, 2, K::kDense, P::kNone, VELQUIN_MAKERS(make_fsim)),
    row("phased_fsim", 2, 0, 5, K::kDense, P::kNone, VELQUIN_MAKERS(make_phased_fsim)),
    row("swap_power", 2, 0, 1, K::kDense, P::kNone, VELQUIN_MAKERS(make_swap_power)),
    row("iswap", 2, 0, 0, K::kMonomial, P::kNone, VELQUIN_MAKERS(make_iswap), kSwap),
    row("phased_swap", 2, 0, 1, K::kDense, P::kNone, VELQUIN_MAKERS(make_phased_swap)),
    row("ecr", 2, 0, 0, K::kDense, P::kNone, VELQUIN_MAKERS(make_ecr)),
    row("dcx", 2, 0, 0, K::kPermutation, P::kNone, Makers{}, kDcx),
    row("single_excitation", 2, 0, 1, K::kTwoLevel, P::kNone, VELQUIN_MAKERS(make_excitation)),
    row("single_excitation_plus", 2, 0, 1, K::kDense, P::kNone, VELQUIN_MAKERS(make_excitation_plus)),
    row("single_excitation_minus", 2, 0, 1, K::kDense, P::kNone, VELQUIN_MAKERS(make_excitation_minus)),
    row("double_excitation", 4, 0, 1, K::kTwoLevel, P::kNone, VELQUIN_MAKERS(make_excitation)),
    row("multi_rz", kAny, 0, 1, K::kParityPhase, P::kNone, VELQUIN_MAKERS(make_multi_rz)),
    row("pauli_rotation", kAny, 0, 1, K::kPauliRotation, P::kWord, VELQUIN_MAKERS(make_pauli_rotation), nullptr, {}, true),
    row("pauli", kAny, 0, 0, K::kPauli, P::kWord, VELQUIN_MAKERS(make_nothing)),
    row("global_phase", 0, 0, 1, K::kMaskPhase, P::kNone, VELQUIN_MAKERS(make_global_phase)),
    row("phases", kAny, 0, kAny, K::kDiagonal, P::kNone, VELQUIN_MAKERS(make_phases)),
    row("unitary", kAny, 0, 0, K::kDense, P::kMatrix, Makers{}),
    row("diagonal", kAny, 0, 0, K::kDiagonal, P::kDiagonal, Makers{}),
    row("permutation", kAny, 0, 0, K::kPermutation, P::kPermutation, Makers{}),
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
    case OpKind::kMonomial:
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
