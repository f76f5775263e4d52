// libFuzzer target: the generator's read paths.
#include "generator_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  velquin::fuzz::check_generator_input(data, size);
  return 0;
}
