#include "base/messages.h"

namespace velquin::messages {

std::string allocation_failed(std::uint64_t bytes, std::string_view what) {
  return "cannot allocate " + std::to_string(bytes) + " bytes for " + std::string(what);
}

std::string allocation_refused(std::uint64_t bytes, std::string_view what,
                               std::uint64_t available) {
  return allocation_failed(bytes, what) + " (" + std::to_string(available) + " bytes available)";
}

std::string entropy_failed(std::string_view cause) {
  return kFromEntropyFailed + std::string(cause);
}

std::string entropy_unknown_code(std::uint32_t code) {
  return "Unknown Error: " + std::to_string(code);
}

std::string entropy_os_code(int code) { return "OS Error: " + std::to_string(code); }

std::string member_name(std::string_view cls, std::string_view func) {
  std::string name;
  if (!cls.empty()) {
    name += cls;
    name += '.';
  }
  name += func;
  name += "()";
  return name;
}

std::string too_many_positional(std::string_view member, std::size_t min, std::size_t max,
                                std::size_t given) {
  std::string text(member);
  if (min == max) {
    text += " takes " + std::to_string(max);
  } else {
    text += " takes from " + std::to_string(min) + " to " + std::to_string(max);
  }
  return text + " positional arguments but " + std::to_string(given) +
         (given == 1 ? " was" : " were") + " given";
}

std::string multiple_values(std::string_view member, std::string_view name) {
  return std::string(member) + " got multiple values for argument '" + std::string(name) + "'";
}

std::string unexpected_keyword_prefix(std::string_view member) {
  return std::string(member) + " got an unexpected keyword argument '";
}

// 'a'; 'a' and 'b'; 'a', 'b', and 'c'.
std::string missing_positional(std::string_view member, std::span<const std::string_view> names) {
  const std::size_t count = names.size();
  std::string text = std::string(member) + " missing " + std::to_string(count) +
                     " required positional " + (count == 1 ? "argument" : "arguments") + ": ";
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) {
      if (count > 2) text += ',';
      text += (i + 1 == count) ? " and " : " ";
    }
    text += '\'';
    text += names[i];
    text += '\'';
  }
  return text;
}

std::string argument_prefix(std::string_view name) {
  return "argument '" + std::string(name) + "': ";
}

}  // namespace velquin::messages
