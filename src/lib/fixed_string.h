// A string literal usable as a template argument, so that a member's class,
// name and parameter names can be written once, in its table entry.
#pragma once

#include <cstddef>
#include <string_view>

namespace velquin::lib {

template <std::size_t N>
struct FixedString {
  char text[N]{};
  constexpr FixedString(const char (&literal)[N]) {  // NOLINT(google-explicit-constructor)
    for (std::size_t i = 0; i < N; ++i) text[i] = literal[i];
  }
  constexpr std::string_view view() const { return {text, N - 1}; }
  constexpr const char* c_str() const { return text; }
};

}  // namespace velquin::lib
