#include "textio/numbers.h"

#include <charconv>
#include <cstring>
#include <string>
#include <system_error>

namespace ecflux::textio {

namespace {

// The smallest integer of 19 digits.
constexpr std::uint64_t nineteen_digits = 1000000000000000000ULL;

// Adds digits of `text` to the mantissa until it has 19; returns how many it
// took.
std::size_t take_digits(std::string_view text, std::uint64_t& mantissa) {
  std::size_t taken = 0;
  while (mantissa < nineteen_digits && taken < text.size()) {
    mantissa = mantissa * 10 + static_cast<unsigned>(text[taken] - '0');
    ++taken;
  }
  return taken;
}

// The zeros before the first nonzero digit, those after the point included.
std::size_t leading_zeros(const ScannedNumber& number) {
  const std::size_t in_integer = number.integer.find_first_not_of('0');
  if (in_integer != std::string_view::npos) return in_integer;
  const std::size_t in_fraction = number.fraction.find_first_not_of('0');
  return number.integer.size() +
         (in_fraction == std::string_view::npos ? number.fraction.size() : in_fraction);
}

int decimal_digits(std::uint64_t n) {
  int count = 1;
  while (n >= 10) {
    n /= 10;
    ++count;
  }
  return count;
}

// The library's exact conversion, on a copy in its own syntax: the sign only
// when negative, the digits with their point, the exponent after an e.
std::optional<double> convert_general(const ScannedNumber& number) {
  const std::size_t needed = number.integer.size() + number.fraction.size() + 32;
  char small[128];
  std::string large;
  char* text = small;
  if (needed > sizeof small) {
    large.resize(needed);
    text = large.data();
  }
  char* q = text;
  if (number.negative) *q++ = '-';
  std::memcpy(q, number.integer.data(), number.integer.size());
  q += number.integer.size();
  if (!number.fraction.empty()) {
    *q++ = '.';
    std::memcpy(q, number.fraction.data(), number.fraction.size());
    q += number.fraction.size();
  }
  *q++ = 'e';
  q = std::to_chars(q, text + needed, number.written_exponent).ptr;
  double value = 0.0;
  const auto result = std::from_chars(text, q, value);
  if (result.ec == std::errc::result_out_of_range) {
    // Out of range either way: the position of the leading digit tells
    // overflow (not a number) from underflow (a zero of the sign).
    const std::int64_t leading = number.exponent + decimal_digits(number.mantissa) - 1;
    if (leading >= 0) return std::nullopt;
    return number.negative ? -0.0 : 0.0;
  }
  if (result.ec != std::errc() || result.ptr != q) return std::nullopt;
  return value;
}

}  // namespace

void keep_significant_digits(ScannedNumber& number) {
  const std::size_t digits = number.integer.size() + number.fraction.size();
  if (digits - leading_zeros(number) <= 19) return;

  number.too_many_digits = true;
  std::uint64_t mantissa = 0;
  const std::size_t integer_taken = take_digits(number.integer, mantissa);
  if (mantissa >= nineteen_digits) {
    // The integer digits not taken scale the mantissa up.
    number.exponent =
        number.written_exponent + static_cast<std::int64_t>(number.integer.size() - integer_taken);
  } else {
    const std::size_t fraction_taken = take_digits(number.fraction, mantissa);
    number.exponent = number.written_exponent - static_cast<std::int64_t>(fraction_taken);
  }
  number.mantissa = mantissa;
}

std::optional<double> convert_number(const ScannedNumber& number) {
  double value;
  if (convert_exact(number, value)) return value;
  if (number.mantissa == 0) return number.negative ? -0.0 : 0.0;
  return convert_general(number);
}

std::optional<double> parse_number(std::string_view text) {
  const char* const end = text.data() + text.size();
  const ScannedNumber number = scan_number(text.data(), end);
  if (!number.valid || number.end != end) return std::nullopt;
  // The common case without the call.
  double value;
  if (convert_exact(number, value)) return value;
  return convert_number(number);
}

}  // namespace ecflux::textio
