#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "textio/field_readers.h"

namespace ecflux::textio {
namespace {

TEST(RealFieldInput, BlanksImpliedDecimalsAndExponents) {
  EXPECT_EQ(*read_real_field("     2.5", 0), 2.5);
  EXPECT_EQ(*read_real_field("  1 2.5 ", 0), 12.5);
  EXPECT_EQ(*read_real_field("        ", 3), 0.0);
  EXPECT_EQ(*read_real_field("", 0), 0.0);
  EXPECT_EQ(*read_real_field("   2.5E1", 0), 25.0);
  EXPECT_EQ(*read_real_field("      20", 0), 20.0);
  EXPECT_EQ(*read_real_field("   12345", 2), 123.45);
  EXPECT_EQ(*read_real_field("      -5", 2), -0.05);
  EXPECT_EQ(*read_real_field("    12E1", 1), 12.0);
  EXPECT_EQ(*read_real_field("   1.5  ", 3), 1.5);
  EXPECT_EQ(*read_real_field("123456789", 5), 1234.56789);
  EXPECT_EQ(*read_real_field("3", 1), 0.3);
  EXPECT_EQ(*read_real_field("  1.5D-3", 0), 1.5e-3);
  EXPECT_EQ(*read_real_field("  1.5-3", 0), 1.5e-3);
  for (const char* field : {"  abc   ", "1.2.3", "  1,5", "    -", "  E5", " 1 e", "NaN"}) {
    EXPECT_FALSE(read_real_field(field, 0).has_value()) << field;
    EXPECT_FALSE(read_real_field(field, 2).has_value()) << field;
  }
}

TEST(RealFieldInput, ImpliedDecimalsAgreeWithThePointWrittenOut) {
  // The digits without a point, with the point put where the decimals say,
  // read by the C library; long digit strings and exponents included.
  std::mt19937_64 random(11);
  for (int i = 0; i < 50000; ++i) {
    std::string digits(1 + random() % 30, '0');
    for (char& c : digits) c = static_cast<char>('0' + random() % 10);
    const int decimals = 1 + static_cast<int>(random() % 35);
    const std::string exponent =
        random() % 3 == 0 ? "e" + std::to_string(static_cast<int>(random() % 660) - 330) : "";
    const std::string sign = random() % 2 ? "-" : "";
    const auto fraction = static_cast<std::size_t>(decimals);
    const std::string pointed = digits.size() > fraction
                                    ? digits.substr(0, digits.size() - fraction) + "." +
                                          digits.substr(digits.size() - fraction)
                                    : "." + std::string(fraction - digits.size(), '0') + digits;
    const double expected = std::strtod((sign + pointed + exponent).c_str(), nullptr);
    const auto read = read_real_field(sign + digits + exponent, decimals);
    if (std::isinf(expected)) {
      ASSERT_FALSE(read.has_value()) << digits << exponent << " " << decimals;
    } else {
      ASSERT_TRUE(read.has_value()) << digits << exponent << " " << decimals;
      ASSERT_EQ(std::bit_cast<std::uint64_t>(*read), std::bit_cast<std::uint64_t>(expected))
          << sign << digits << exponent << " with " << decimals << " decimals";
    }
  }
}

TEST(IntegerFieldInput, BlanksSignsAndLimits) {
  EXPECT_EQ(*read_integer_field("     -12"), -12);
  EXPECT_EQ(*read_integer_field("  +7    "), 7);
  EXPECT_EQ(*read_integer_field(" 1 2"), 12);
  EXPECT_EQ(*read_integer_field("    "), 0);
  EXPECT_EQ(*read_integer_field("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(*read_integer_field("-9223372036854775808"), INT64_MIN);
  for (const char* field : {"9223372036854775808", "-9223372036854775809", "1.0", "-", " + ", "1-",
                            "--1", "1e3", "x"}) {
    EXPECT_FALSE(read_integer_field(field).has_value()) << field;
  }
}

}  // namespace
}  // namespace ecflux::textio
