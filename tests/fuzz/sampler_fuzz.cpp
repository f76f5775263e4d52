// libFuzzer target: the weighted and the bulk measurement samplers.
#include "sampler_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  velquin::fuzz::check_sampler_input(data, size);
  return 0;
}
