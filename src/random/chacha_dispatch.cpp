#include "random/chacha_dispatch.h"

#include "base/isa.h"
#include "random/chacha_block.h"

namespace velquin::random {

void chacha_four_blocks(const std::uint32_t* rows, int double_rounds, std::uint8_t* out) noexcept {
#if defined(VELQUIN_CHACHA_AVX2)
  if (chosen_isa() >= Isa::kAvx2) {
    chacha_four_blocks_avx2(rows, double_rounds, out);
    return;
  }
#endif
  chacha_four_blocks_scalar(rows, double_rounds, out);
}

}  // namespace velquin::random
