#pragma once

// Fixed-column fields: how one value looks in a record, and how it is read
// back. Output fields write exactly their width; input fields take exactly
// their width.

#include <cstdint>
#include <optional>
#include <string_view>

namespace ecflux::textio {

// Widest field that the writers and readers accept.
inline constexpr int max_field_width = 255;

// Fw.d: the value rounded to `decimals` places from its exact binary value,
// an exact tie going to the even last digit; a minus sign for a negative value
// (kept when it rounds to zero; a zero of either sign is written without one);
// a single 0 before the point when the integer part is zero and the field has
// room for it; right-justified; `width` asterisks when the text does not fit.
// Not-a-number is "NaN", infinities "Infinity"/"Inf" and "-Infinity"/"-Inf"
// by the width, right-justified. Writes exactly `width` characters and
// returns the position after them. 1 <= width <= max_field_width,
// 0 <= decimals < width.
char* put_real(char* out, double value, int width, int decimals);

// Iw: the digits with a leading minus for a negative value, right-justified;
// `width` asterisks when they do not fit.
char* put_integer(char* out, std::int64_t value, int width);

// Aw: the text left-justified and padded with blanks, or its leftmost `width`
// characters when it is longer.
char* put_text(char* out, std::string_view text, int width);

// nX on output: `count` blanks.
char* put_blanks(char* out, int count);

// One number written as text: an optional sign, digits with at most one
// decimal point (at least one digit), and an optional exponent: E, e, D or d
// followed by an optionally signed integer, or a sign followed by digits.
// The whole text must be the number. The result is the correctly rounded
// double; a value too small for a double reads as a zero of its sign, and a
// value too large for one is not a number. Words such as NaN or Inf are not
// numbers.
std::optional<double> parse_number(std::string_view text);

// Fw.d on input. `field` is the field's exact columns (a short line padded
// with blanks). Blanks are ignored and an all-blank field reads as zero.
// Without a decimal point the last `decimals` digits are the fraction.
// nullopt when the field does not hold a number.
std::optional<double> read_real_field(std::string_view field, int decimals);

// Iw on input: blanks ignored, all-blank reads as zero, an optional sign and
// digits. nullopt when the field holds anything else or overflows 64 bits.
std::optional<std::int64_t> read_integer_field(std::string_view field);

}  // namespace ecflux::textio
