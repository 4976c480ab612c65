#pragma once

// Fixed-column fields on input: each reader takes exactly the field's columns
// and gives its value, or nullopt when the field does not hold one.

#include <cstdint>
#include <optional>
#include <string_view>

namespace ecflux::textio {

// Fw.d on input. `field` is the field's exact columns (a short line padded
// with blanks). Blanks are ignored and an all-blank field reads as zero.
// Without a decimal point the last `decimals` digits are the fraction. The
// number is written as parse_number reads it.
std::optional<double> read_real_field(std::string_view field, int decimals);

// Iw on input: blanks ignored, all-blank reads as zero, an optional sign and
// digits. nullopt when the field holds anything else or overflows 64 bits.
std::optional<std::int64_t> read_integer_field(std::string_view field);

}  // namespace ecflux::textio
