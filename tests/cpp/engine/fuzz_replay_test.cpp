// The fuzz checks of tests/fuzz, run in the unit tests: every input of the
// committed corpus, then random inputs from a fixed seed. A failed check
// prints what failed and aborts the test process.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "../../fuzz/generator_check.h"
#include "../../fuzz/sampler_check.h"

namespace velquin::fuzz {
namespace {

namespace fs = std::filesystem;
using Check = void (*)(const std::uint8_t*, std::size_t);

std::vector<std::vector<std::uint8_t>> corpus(const char* target) {
  std::vector<std::vector<std::uint8_t>> inputs;
  const fs::path dir = fs::path(__FILE__).parent_path() / "../../fuzz/corpus" / target;
  if (!fs::is_directory(dir)) return inputs;
  for (const auto& entry : fs::directory_iterator(dir)) {
    std::ifstream file(entry.path(), std::ios::binary);
    inputs.emplace_back(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  }
  return inputs;
}

void replay(Check check, const char* target, int random_inputs, std::size_t max_length) {
  for (const auto& input : corpus(target)) check(input.data(), input.size());
  std::mt19937_64 bytes(20240611);
  std::vector<std::uint8_t> input;
  for (int i = 0; i < random_inputs; ++i) {
    input.resize(bytes() % max_length);
    for (auto& b : input) b = static_cast<std::uint8_t>(bytes());
    check(input.data(), input.size());
  }
}

TEST(FuzzReplay, sampler_checks_hold) { replay(&check_sampler_input, "sampler", 4000, 300); }

TEST(FuzzReplay, generator_checks_hold) { replay(&check_generator_input, "generator", 4000, 600); }

}  // namespace
}  // namespace velquin::fuzz
