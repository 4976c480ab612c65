#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "textio/fields.h"

namespace ecflux::textio {
namespace {

std::string real(double value, int width, int decimals) {
  std::string field(static_cast<std::size_t>(width), '?');
  char* end = put_real(field.data(), value, width, decimals);
  EXPECT_EQ(end, field.data() + width);
  return field;
}

// The F field built the slow way from printf's exact fixed-point text.
std::string reference_real(double value, int width, int decimals) {
  char digits[700];
  std::snprintf(digits, sizeof digits, "%.*f", decimals, std::fabs(value));
  std::string body = digits;
  if (decimals == 0) body += '.';
  const std::string sign = value < 0 ? "-" : "";
  const auto columns = static_cast<std::size_t>(width);
  if (body.rfind("0.", 0) == 0 && sign.size() + body.size() > columns) body.erase(0, 1);
  const std::string text = sign + body;
  if (text.size() > columns) return std::string(columns, '*');
  return std::string(columns - text.size(), ' ') + text;
}

TEST(RealField, WidthsAndAsterisks) {
  EXPECT_EQ(real(1234.5, 7, 3), "*******");
  EXPECT_EQ(real(-0.5, 7, 3), " -0.500");
  EXPECT_EQ(real(0.25, 5, 2), " 0.25");
  EXPECT_EQ(real(0.12345 * 100, 7, 3), " 12.345");
  EXPECT_EQ(real(293.15, 7, 3), "293.150");
  EXPECT_EQ(real(123456.7, 8, 2), "********");
  EXPECT_EQ(real(99.5, 12, 9), "99.500000000");
  EXPECT_EQ(real(100.0, 12, 9), "************");
  EXPECT_EQ(real(-10.0, 12, 9), "************");
  EXPECT_EQ(real(9999999.9999, 12, 4), "9999999.9999");
  EXPECT_EQ(real(9.9996, 5, 3), "*****");  // rounds up to 10.000
  EXPECT_EQ(real(3.0, 4, 0), "  3.");
  EXPECT_EQ(real(-2.0, 5, 2), "-2.00");
  EXPECT_EQ(real(1e300, 20, 2), std::string(20, '*'));
}

TEST(RealField, ZeroBeforeThePointOnlyWithRoom) {
  EXPECT_EQ(real(0.25, 3, 2), ".25");
  EXPECT_EQ(real(0.25, 4, 2), "0.25");
  EXPECT_EQ(real(-0.5, 3, 1), "-.5");
  EXPECT_EQ(real(-0.5, 4, 1), "-0.5");
  EXPECT_EQ(real(0.4, 1, 0), ".");
  EXPECT_EQ(real(0.4, 2, 0), "0.");
  EXPECT_EQ(real(-0.5, 2, 1), "**");
}

TEST(RealField, TiesGoToEvenAndSignsOfZero) {
  EXPECT_EQ(real(0.125, 5, 2), " 0.12");
  EXPECT_EQ(real(0.375, 5, 2), " 0.38");
  EXPECT_EQ(real(2.5, 3, 0), " 2.");
  EXPECT_EQ(real(3.5, 3, 0), " 4.");
  EXPECT_EQ(real(0.5, 3, 0), " 0.");
  EXPECT_EQ(real(-0.001, 5, 2), "-0.00");
  EXPECT_EQ(real(-1e-300, 6, 2), " -0.00");
  EXPECT_EQ(real(-0.0, 12, 8), "  0.00000000");
  EXPECT_EQ(real(0.0, 4, 2), "0.00");
  EXPECT_EQ(real(4.9e-324, 6, 3), " 0.000");
  EXPECT_EQ(real(0.999, 4, 2), "1.00");
}

TEST(RealField, NonFiniteValuesByWidth) {
  const double inf = INFINITY;
  EXPECT_EQ(real(NAN, 12, 8), "         NaN");
  EXPECT_EQ(real(NAN, 3, 1), "NaN");
  EXPECT_EQ(real(NAN, 2, 1), "**");
  EXPECT_EQ(real(inf, 8, 2), "Infinity");
  EXPECT_EQ(real(inf, 7, 2), "    Inf");
  EXPECT_EQ(real(inf, 3, 1), "Inf");
  EXPECT_EQ(real(inf, 2, 1), "**");
  EXPECT_EQ(real(-inf, 12, 8), "   -Infinity");
  EXPECT_EQ(real(-inf, 8, 2), "    -Inf");
  EXPECT_EQ(real(-inf, 4, 2), "-Inf");
  EXPECT_EQ(real(-inf, 3, 2), "***");
}

TEST(RealField, MatchesExactReferenceOnRandomValues) {
  std::mt19937_64 random(20240611);
  std::uniform_int_distribution<int> scale(-25, 25);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  for (int i = 0; i < 200000; ++i) {
    double value;
    switch (i % 4) {
      case 0: value = unit(random) * std::pow(10.0, scale(random)); break;
      // Multiples of a power of two: many exact ties.
      case 1: value = std::ldexp(static_cast<double>(random() % 100000) - 50000, -(i % 12)); break;
      case 2:
        value = std::bit_cast<double>(random());
        if (!std::isfinite(value)) value = 1.0;
        break;
      default: value = std::round(unit(random) * 1e6) / 1e4; break;
    }
    // Mostly common widths, sometimes up to the widest field.
    const bool wide = i % 50 == 0;
    const int width = 1 + static_cast<int>(random() % (wide ? max_field_width : 40));
    const int decimals =
        static_cast<int>(random() % static_cast<unsigned>(wide ? width : std::min(width, 24)));
    ASSERT_EQ(real(value, width, decimals), reference_real(value, width, decimals))
        << "value " << std::hexfloat << value << " F" << width << "." << decimals;
  }
}

TEST(RealField, AgreesWithLibraryFixedConversion) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> unit(-100.0, 100.0);
  for (int i = 0; i < 100000; ++i) {
    const double value = unit(random);
    char digits[64];
    const auto end =
        std::to_chars(digits, digits + sizeof digits, std::fabs(value), std::chars_format::fixed, 8)
            .ptr;
    const std::string text = (value < 0 ? "-" : "") + std::string(digits, end);
    ASSERT_EQ(real(value, 12, 8), std::string(12 - text.size(), ' ') + text) << value;
  }
}

TEST(IntegerAndTextFields, JustificationAndOverflow) {
  char field[32];
  const auto integer = [&](std::int64_t value, int width) {
    return std::string(field, put_integer(field, value, width));
  };
  EXPECT_EQ(integer(42, 5), "   42");
  EXPECT_EQ(integer(-42, 3), "-42");
  EXPECT_EQ(integer(-42, 2), "**");
  EXPECT_EQ(integer(0, 1), "0");
  EXPECT_EQ(integer(INT64_MIN, 20), "-9223372036854775808");
  EXPECT_EQ(integer(INT64_MAX, 18), std::string(18, '*'));

  const auto text = [&](std::string_view value, int width) {
    return std::string(field, put_text(field, value, width));
  };
  EXPECT_EQ(text("abc", 5), "abc  ");
  EXPECT_EQ(text("abcdef", 4), "abcd");
  EXPECT_EQ(text("", 2), "  ");
  EXPECT_EQ(std::string(field, put_blanks(field, 3)), "   ");
  EXPECT_EQ(put_blanks(field, 0), field);
}

TEST(FieldOutputDeathTest, WidthsOutsideTheLimitsStop) {
#ifdef NDEBUG
  GTEST_SKIP() << "built without assertions";
#endif
  char field[max_field_width + 8];
  EXPECT_DEATH(put_real(field, 1.0, 0, 0), "width");
  EXPECT_DEATH(put_real(field, 1.0, max_field_width + 1, 2), "width");
  EXPECT_DEATH(put_real(field, 1.0, 5, 5), "decimals");
  EXPECT_DEATH(put_integer(field, 1, 0), "width");
  EXPECT_DEATH(put_blanks(field, -1), "count");
}

}  // namespace
}  // namespace ecflux::textio
