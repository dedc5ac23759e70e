#pragma once

#include <charconv>
#include <cstring>
#include <optional>

namespace bench {

// A command-line count: a whole positive number and nothing else.
inline std::optional<int> Number(const char* text) {
  int value = 0;
  const char* end = text + std::strlen(text);
  auto [stop, error] = std::from_chars(text, end, value);
  if (error != std::errc() || stop != end || value <= 0) {
    return std::nullopt;
  }
  return value;
}

}  // namespace bench
