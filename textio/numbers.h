#pragma once

// Numbers as the data and configuration files write them, read in two steps:
// scan_number finds where a number ends and takes it apart into a decimal
// mantissa and a power of ten; the conversion makes the correctly rounded
// double of it. The steps are apart so that a reader that meets numbers in a
// longer text (a free-form record) scans each one once, in place, and so that
// the common short number never leaves the inline code.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace ecflux::textio {

inline bool is_digit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

// One number as written: an optional sign, digits with at most one decimal
// point (at least one digit), and an optional exponent: E, e, D or d followed
// by an optionally signed integer, or a sign followed by digits.
struct ScannedNumber {
  // Just after the number; where the scan began when there is none.
  const char* end = nullptr;
  // The digits before and after the point as written, leading zeros included.
  std::string_view integer;
  std::string_view fraction;
  // The exponent as written, capped at ten digits: beyond that any nonzero
  // value overflows or underflows anyway.
  std::int64_t written_exponent = 0;
  // The value is mantissa * 10^exponent, exactly unless too_many_digits.
  std::uint64_t mantissa = 0;
  std::int64_t exponent = 0;
  bool negative = false;
  // More than 19 significant digits: the mantissa holds the first 19.
  bool too_many_digits = false;
  bool valid = false;
};

// For more than 19 written digits, where the mantissa may have wrapped:
// leading zeros do not count, and of more than 19 significant digits the
// mantissa keeps the first 19.
void keep_significant_digits(ScannedNumber& number);

// The exponent after the digits; `p` itself when there is none, also when a
// letter or sign is not followed by digits (that ends the number before it).
inline const char* scan_exponent(const char* p, const char* end, std::int64_t& written) {
  const char c = *p;
  const char* q = p;
  if (c == 'E' || c == 'e' || c == 'D' || c == 'd') {
    ++q;
  } else if (c != '+' && c != '-') {
    return p;
  }
  bool negative = false;
  if (q != end && (*q == '+' || *q == '-')) {
    negative = *q == '-';
    ++q;
  }
  if (q == end || !is_digit(*q)) return p;
  std::int64_t value = 0;
  do {
    if (value < 1000000000) value = value * 10 + (*q - '0');
    ++q;
  } while (q != end && is_digit(*q));
  written = negative ? -value : value;
  return q;
}

// The number at the start of [begin, end), if any. Every digit goes into the
// 64-bit mantissa unchecked, which is exact for up to 19 digits, the common
// case; only a longer digit string is taken apart again.
inline ScannedNumber scan_number(const char* begin, const char* end) {
  ScannedNumber number;
  number.end = begin;
  const char* p = begin;
  if (p != end && (*p == '+' || *p == '-')) {
    number.negative = *p == '-';
    ++p;
  }
  std::uint64_t mantissa = 0;
  const char* const integer_begin = p;
  while (p != end && is_digit(*p)) {
    mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
    ++p;
  }
  number.integer = {integer_begin, static_cast<std::size_t>(p - integer_begin)};
  if (p != end && *p == '.') {
    const char* const fraction_begin = ++p;
    while (p != end && is_digit(*p)) {
      mantissa = mantissa * 10 + static_cast<unsigned>(*p - '0');
      ++p;
    }
    number.fraction = {fraction_begin, static_cast<std::size_t>(p - fraction_begin)};
  }
  const std::size_t digit_count = number.integer.size() + number.fraction.size();
  if (digit_count == 0) return number;
  if (p != end) p = scan_exponent(p, end, number.written_exponent);
  number.end = p;
  number.valid = true;
  number.mantissa = mantissa;
  number.exponent = number.written_exponent - static_cast<std::int64_t>(number.fraction.size());
  if (digit_count > 19) keep_significant_digits(number);
  return number;
}

// Powers of ten that are exact doubles.
inline constexpr int max_exact_power = 22;
inline constexpr double exact_powers_of_ten[max_exact_power + 1] = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Integers up to this one are exact doubles.
inline constexpr std::uint64_t max_exact_mantissa = std::uint64_t{1} << 53;

// The value, when the mantissa and the power of ten are both exact doubles:
// then the one multiplication or division rounds correctly. False otherwise.
inline bool convert_exact(const ScannedNumber& number, double& value) {
  if (number.too_many_digits || number.mantissa > max_exact_mantissa ||
      number.exponent < -max_exact_power || number.exponent > max_exact_power) {
    return false;
  }
  double v = static_cast<double>(number.mantissa);
  if (number.exponent < 0) {
    v /= exact_powers_of_ten[static_cast<std::size_t>(-number.exponent)];
  } else {
    v *= exact_powers_of_ten[static_cast<std::size_t>(number.exponent)];
  }
  value = number.negative ? -v : v;
  return true;
}

// The correctly rounded double of a valid scanned number. A value too small
// for a double is a zero of its sign; one too large for it is not a number.
std::optional<double> convert_number(const ScannedNumber& number);

// The whole text as one number (see ScannedNumber), converted. Words such as
// NaN or Inf are not numbers.
std::optional<double> parse_number(std::string_view text);

}  // namespace ecflux::textio
