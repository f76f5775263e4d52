// Instruction-set variants, and the one place the running CPU is asked which
// it has. Every library with variant code (math_core's kernels, the engine's
// gate loops, random's ChaCha) takes the variant from here and turns it into
// code with `with_isa`; every variant computes the same bits, so the choice
// changes speed, never results.
#pragma once

#include <cstdint>

namespace velquin {

/// Ordered from narrowest to widest.
enum class Isa : std::uint8_t { kScalar, kSse2, kAvx2, kAvx512 };
inline constexpr unsigned kIsaCount = 4;

/// The widest variant this CPU and operating system run, probed once.
Isa detected_isa() noexcept;

/// Whether this CPU runs `isa`.
bool isa_supported(Isa isa) noexcept;

/// The variant defaults use: the detected one, or the narrower one an
/// IsaOverride in force asks for.
Isa chosen_isa() noexcept;

/// Narrows chosen_isa() to `isa` until destroyed (for tests and benchmarks);
/// a variant the CPU lacks is replaced by the widest it has. Results do not
/// depend on it: only which code computes them.
class IsaOverride {
 public:
  explicit IsaOverride(Isa isa) noexcept;
  ~IsaOverride();
  IsaOverride(const IsaOverride&) = delete;
  IsaOverride& operator=(const IsaOverride&) = delete;

 private:
  int previous_;
};

/// Lower-case name ("scalar", "sse2", "avx2", "avx512"), for tests and benchmarks.
const char* isa_name(Isa isa) noexcept;

/// The one switch from a run-time variant to code: calls
/// `f.template operator()<I>()` with I == isa and returns what it returns.
/// Each library picks its variant table with it, e.g.
///   with_isa(isa, []<Isa I>() -> const Table& { return table_for<I>(); })
template <class F>
decltype(auto) with_isa(Isa isa, F&& f) {
  switch (isa) {
    case Isa::kAvx512:
      return f.template operator()<Isa::kAvx512>();
    case Isa::kAvx2:
      return f.template operator()<Isa::kAvx2>();
    case Isa::kSse2:
      return f.template operator()<Isa::kSse2>();
    case Isa::kScalar:
      break;
  }
  return f.template operator()<Isa::kScalar>();
}

}  // namespace velquin
