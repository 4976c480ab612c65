#pragma once

// A slow, independent reading of one number as the data and configuration
// files write it: an optional sign, digits with at most one point (at least
// one digit), and an optional exponent, a letter E, e, D or d followed by an
// optionally signed integer, or a sign followed by digits. The text is
// checked character by character, rewritten in C syntax and converted with
// strtod, which rounds correctly. A value beyond the range of a double is not
// a number; one too small for a double is the value strtod gives (a
// subnormal, or a zero of its sign).

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace ecflux::fuzz {

inline std::optional<double> reference_number(std::string_view text) {
  std::string c_text;
  std::size_t i = 0;
  const auto digit = [&](std::size_t at) {
    return at < text.size() && text[at] >= '0' && text[at] <= '9';
  };
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) c_text += text[i++];
  int digits = 0;
  while (digit(i)) {
    c_text += text[i++];
    ++digits;
  }
  if (i < text.size() && text[i] == '.') {
    c_text += text[i++];
    while (digit(i)) {
      c_text += text[i++];
      ++digits;
    }
  }
  if (digits == 0) return std::nullopt;
  if (i < text.size()) {
    const char c = text[i];
    if (c == 'E' || c == 'e' || c == 'D' || c == 'd') {
      ++i;
    } else if (c != '+' && c != '-') {
      return std::nullopt;
    }
    c_text += 'e';
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) c_text += text[i++];
    if (!digit(i)) return std::nullopt;
    while (digit(i)) c_text += text[i++];
    if (i != text.size()) return std::nullopt;
  }
  errno = 0;
  char* end = nullptr;
  const double value = std::strtod(c_text.c_str(), &end);
  if (end != c_text.c_str() + c_text.size()) return std::nullopt;
  if (errno == ERANGE && std::isinf(value)) return std::nullopt;
  return value;
}

}  // namespace ecflux::fuzz
