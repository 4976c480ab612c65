#pragma once

// Fixed-column fields on output: how one value looks in a record. Each writer
// writes exactly the field's width. They are read back by field_readers.h.

#include <cstdint>
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
// `width` asterisks when they do not fit. 1 <= width.
char* put_integer(char* out, std::int64_t value, int width);

// Aw: the text left-justified and padded with blanks, or its leftmost `width`
// characters when it is longer. 1 <= width.
char* put_text(char* out, std::string_view text, int width);

// nX on output: `count` blanks, 0 <= count.
char* put_blanks(char* out, int count);

}  // namespace ecflux::textio
