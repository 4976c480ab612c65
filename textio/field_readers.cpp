#include "textio/field_readers.h"

#include <string>

#include "textio/numbers.h"

namespace ecflux::textio {

namespace {

// The field without its blanks, in `small` when it fits, else in `large`.
std::string_view without_blanks(std::string_view field, char* small, std::size_t small_size,
                                std::string& large) {
  char* out = small;
  if (field.size() > small_size) {
    large.resize(field.size());
    out = large.data();
  }
  std::size_t n = 0;
  for (const char c : field) {
    if (c != ' ') out[n++] = c;
  }
  return {out, n};
}

}  // namespace

std::optional<double> read_real_field(std::string_view field, int decimals) {
  char small[256];
  std::string large;
  const std::string_view text = without_blanks(field, small, sizeof small, large);
  if (text.empty()) return 0.0;
  if (decimals <= 0 || text.find('.') != std::string_view::npos) return parse_number(text);

  // No point: the last `decimals` digits are the fraction, which divides the
  // value by 10^decimals. Both exponents move, since the exact conversion
  // works from the written one.
  const char* const end = text.data() + text.size();
  ScannedNumber number = scan_number(text.data(), end);
  if (!number.valid || number.end != end) return std::nullopt;
  number.exponent -= decimals;
  number.written_exponent -= decimals;
  return convert_number(number);
}

std::optional<std::int64_t> read_integer_field(std::string_view field) {
  bool negative = false;
  bool seen_sign = false;
  bool seen_digit = false;
  std::uint64_t magnitude = 0;
  std::uint64_t limit = static_cast<std::uint64_t>(INT64_MAX);
  for (const char c : field) {
    if (c == ' ') continue;
    if (c == '+' || c == '-') {
      if (seen_sign || seen_digit) return std::nullopt;
      seen_sign = true;
      negative = c == '-';
      if (negative) limit = static_cast<std::uint64_t>(INT64_MAX) + 1;
      continue;
    }
    if (!is_digit(c)) return std::nullopt;
    seen_digit = true;
    const auto d = static_cast<std::uint64_t>(c - '0');
    if (magnitude > (limit - d) / 10) return std::nullopt;
    magnitude = magnitude * 10 + d;
  }
  if (!seen_digit) {
    if (seen_sign) return std::nullopt;
    return 0;
  }
  if (negative) return static_cast<std::int64_t>(std::uint64_t{0} - magnitude);
  return static_cast<std::int64_t>(magnitude);
}

}  // namespace ecflux::textio
