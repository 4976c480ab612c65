#pragma once

// A double as the shortest text that reads back to the same double, with a
// point for the decimals: how the comma-separated files write numbers, and
// how messages quote a value so that the user sees exactly what was used.

#include <charconv>
#include <string>

namespace ecflux::textio {

inline void append_shortest_text(std::string& text, double value) {
  char digits[32];  // the longest shortest form of a double has 24 characters
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  text.append(digits, end);
}

inline std::string shortest_text(double value) {
  std::string text;
  append_shortest_text(text, value);
  return text;
}

}  // namespace ecflux::textio
