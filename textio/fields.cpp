#include "textio/fields.h"
#include "base/assert.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <system_error>

namespace ecflux::textio {

namespace {

constexpr std::uint64_t pow10_u64[20] = {
    1ULL,
    10ULL,
    100ULL,
    1000ULL,
    10000ULL,
    100000ULL,
    1000000ULL,
    10000000ULL,
    100000000ULL,
    1000000000ULL,
    10000000000ULL,
    100000000000ULL,
    1000000000000ULL,
    10000000000000ULL,
    100000000000000ULL,
    1000000000000000ULL,
    10000000000000000ULL,
    100000000000000000ULL,
    1000000000000000000ULL,
    10000000000000000000ULL,
};

constexpr char digit_pairs[201] =
    "00010203040506070809"
    "10111213141516171819"
    "20212223242526272829"
    "30313233343536373839"
    "40414243444546474849"
    "50515253545556575859"
    "60616263646566676869"
    "70717273747576777879"
    "80818283848586878889"
    "90919293949596979899";

// 128-bit products for the exact rounding of fixed-point output.
__extension__ typedef unsigned __int128 u128;

char* fill(char* out, char c, int count) {
  std::memset(out, c, static_cast<std::size_t>(count));
  return out + count;
}

// The text right-justified in `width` columns, or asterisks when it is wider.
char* put_justified(char* out, const char* text, int length, int width) {
  if (length > width) return fill(out, '*', width);
  std::memset(out, ' ', static_cast<std::size_t>(width - length));
  std::memcpy(out + (width - length), text, static_cast<std::size_t>(length));
  return out + width;
}

// Exactly eight digits of v < 10^8 at `at`. The two halves and their pairs
// are independent, which keeps the chain of divisions short.
inline void put_eight_digits(char* at, std::uint32_t v) {
  const std::uint32_t high = v / 10000;
  const std::uint32_t low = v % 10000;
  std::memcpy(at, digit_pairs + 2 * (high / 100), 2);
  std::memcpy(at + 2, digit_pairs + 2 * (high % 100), 2);
  std::memcpy(at + 4, digit_pairs + 2 * (low / 100), 2);
  std::memcpy(at + 6, digit_pairs + 2 * (low % 100), 2);
}

// Exactly `count` (0..18) digits of v < 10^count, ending at `end`. Writes
// whole groups of eight, so up to seven bytes before end - count are
// overwritten as well.
inline void put_fixed_digits(char* end, std::uint64_t v, int count) {
  put_eight_digits(end - 8, static_cast<std::uint32_t>(v % 100000000));
  if (count > 8) {
    v /= 100000000;
    put_eight_digits(end - 16, static_cast<std::uint32_t>(v % 100000000));
    if (count > 16) put_eight_digits(end - 24, static_cast<std::uint32_t>(v / 100000000));
  }
}

// Copies n <= 64 bytes with a few fixed-size moves (overlapping when n is
// not a power of two) instead of a call for a variable length.
inline void copy_short(char* to, const char* from, int n) {
  if (n >= 16) {
    if (n > 32) {
      std::memcpy(to, from, 32);
      std::memcpy(to + n - 32, from + n - 32, 32);
    } else {
      std::memcpy(to, from, 16);
      std::memcpy(to + n - 16, from + n - 16, 16);
    }
  } else if (n >= 8) {
    std::memcpy(to, from, 8);
    std::memcpy(to + n - 8, from + n - 8, 8);
  } else if (n >= 4) {
    std::memcpy(to, from, 4);
    std::memcpy(to + n - 4, from + n - 4, 4);
  } else {
    for (int i = 0; i < n; ++i) to[i] = from[i];
  }
}

// All decimal digits of n (none for zero) before `p`.
char* all_digits_before(char* p, std::uint64_t n) {
  while (n >= 100) {
    const auto pair = static_cast<unsigned>(n % 100);
    n /= 100;
    p -= 2;
    std::memcpy(p, digit_pairs + 2 * pair, 2);
  }
  if (n >= 10) {
    p -= 2;
    std::memcpy(p, digit_pairs + 2 * n, 2);
  } else if (n > 0) {
    *--p = static_cast<char>('0' + n);
  }
  return p;
}

// The magnitude rounded to `decimals` (at most 18) places, ties to even,
// as its integer part and its fraction in units of 10^-decimals; false when
// the magnitude is 2^53 or more (left to the general method).
//
// A double is m * 2^e with m < 2^53. For e < 0 the integer part is the high
// bits of m and the fraction f / 2^-e is exact, so the rounded fraction is
// f * 10^d / 2^-e with the remainder of that division deciding.
inline bool split_magnitude(double magnitude, int decimals, std::uint64_t& integer,
                            std::uint64_t& fraction) {
  const auto bits = std::bit_cast<std::uint64_t>(magnitude);
  const int biased = static_cast<int>(bits >> 52);
  std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
  int shift;
  if (biased == 0) {
    shift = 1074;
  } else {
    mantissa |= std::uint64_t{1} << 52;
    shift = 1075 - biased;
  }
  if (shift <= 0) return false;
  std::uint64_t fraction_bits;
  if (shift < 53) {
    integer = mantissa >> shift;
    fraction_bits = mantissa & ((std::uint64_t{1} << shift) - 1);
  } else {
    integer = 0;
    fraction_bits = mantissa;
  }
  const std::uint64_t unit = pow10_u64[decimals];
  // The product stays below 2^113; beyond that shift it is under half a unit.
  if (shift > 113) {
    fraction = 0;
    return true;
  }
  const u128 product = static_cast<u128>(fraction_bits) * unit;
  std::uint64_t quotient = static_cast<std::uint64_t>(product >> shift);
  const u128 remainder = product & ((u128{1} << shift) - 1);
  const u128 half = u128{1} << (shift - 1);
  // The last digit written is the fraction's, or the integer's when there
  // are no decimals; its parity breaks a tie.
  const std::uint64_t last = decimals > 0 ? quotient : integer;
  if (remainder > half || (remainder == half && (last & 1) != 0)) {
    if (++quotient == unit) {
      quotient = 0;
      ++integer;
    }
  }
  fraction = quotient;
  return true;
}

// Fixed-point text of the magnitude through the library's exact conversion,
// for values and precisions outside the integer method.
[[gnu::noinline]] char* put_real_general(char* out, double magnitude, bool negative, int width,
                                         int decimals) {
  // Up to 309 integer digits, the point and up to 254 decimals.
  char digits[640];
  const auto result =
      std::to_chars(digits, digits + sizeof digits, magnitude, std::chars_format::fixed, decimals);
  if (result.ec != std::errc()) return fill(out, '*', width);
  const char* point = static_cast<const char*>(
      std::memchr(digits, '.', static_cast<std::size_t>(result.ptr - digits)));
  const char* integer_end = point ? point : result.ptr;
  const int integer_length = static_cast<int>(integer_end - digits);
  const bool integer_zero = integer_length == 1 && digits[0] == '0';
  const int body = (integer_zero ? 0 : integer_length) + 1 + decimals;
  int length = body + (negative ? 1 : 0);
  const bool lead_zero = integer_zero && length < width;
  if (lead_zero) ++length;
  if (length > width) return fill(out, '*', width);
  char* p = fill(out, ' ', width - length);
  if (negative) *p++ = '-';
  if (lead_zero) *p++ = '0';
  if (!integer_zero) {
    std::memcpy(p, digits, static_cast<std::size_t>(integer_length));
    p += integer_length;
  }
  *p++ = '.';
  if (decimals > 0) {
    std::memcpy(p, point + 1, static_cast<std::size_t>(decimals));
    p += decimals;
  }
  return p;
}

}  // namespace

char* put_real(char* out, double value, int width, int decimals) {
  ECFLUX_ASSERT(width >= 1 && width <= max_field_width, "a width the fields can have");
  ECFLUX_ASSERT(decimals >= 0 && decimals < width, "decimals within the width");
  if (std::isnan(value)) return put_justified(out, "NaN", 3, width);
  if (std::isinf(value)) {
    if (value > 0) {
      return width >= 8 ? put_justified(out, "Infinity", 8, width)
                        : put_justified(out, "Inf", 3, width);
    }
    return width >= 9 ? put_justified(out, "-Infinity", 9, width)
                      : put_justified(out, "-Inf", 4, width);
  }
  // A zero of either sign has no minus; any other negative value keeps it,
  // even when it rounds to zero.
  const bool negative = value < 0;
  const double magnitude = std::fabs(value);
  std::uint64_t integer;
  std::uint64_t fraction;
  if (decimals > 18 || !split_magnitude(magnitude, decimals, integer, fraction)) {
    return put_real_general(out, magnitude, negative, width, decimals);
  }
  // The text from the right: the decimals, the point, the integer part, in
  // a buffer of blanks so that a field of up to its size is copied at once.
  char text[64];
  std::memset(text, ' ', sizeof text);
  char* const text_end = text + sizeof text;
  char* p = text_end - decimals;
  if (decimals > 0) put_fixed_digits(text_end, fraction, decimals);
  *--p = '.';
  if (integer != 0) {
    p = all_digits_before(p, integer);
  } else if (static_cast<int>(text_end - p) + (negative ? 1 : 0) < width) {
    *--p = '0';
  }
  if (negative) *--p = '-';
  const int length = static_cast<int>(text_end - p);
  if (length > width) return fill(out, '*', width);
  // The groups of eight fraction digits may have left digits in the eight
  // bytes before the text.
  std::memset(p - 8, ' ', 8);
  if (width <= static_cast<int>(sizeof text)) {
    copy_short(out, text_end - width, width);
    return out + width;
  }
  return put_justified(out, p, length, width);
}

char* put_integer(char* out, std::int64_t value, int width) {
  ECFLUX_ASSERT(width >= 1, "a width of at least one");
  const bool negative = value < 0;
  std::uint64_t magnitude = negative ? std::uint64_t{0} - static_cast<std::uint64_t>(value)
                                     : static_cast<std::uint64_t>(value);
  char text[24];
  char* const text_end = text + sizeof text;
  char* p = all_digits_before(text_end, magnitude);
  if (p == text_end) *--p = '0';
  if (negative) *--p = '-';
  return put_justified(out, p, static_cast<int>(text_end - p), width);
}

char* put_text(char* out, std::string_view text, int width) {
  ECFLUX_ASSERT(width >= 1, "a width of at least one");
  const std::size_t shown = std::min(text.size(), static_cast<std::size_t>(width));
  std::memcpy(out, text.data(), shown);
  std::memset(out + shown, ' ', static_cast<std::size_t>(width) - shown);
  return out + width;
}

char* put_blanks(char* out, int count) {
  ECFLUX_ASSERT(count >= 0, "no negative count");
  return fill(out, ' ', count);
}

}  // namespace ecflux::textio
