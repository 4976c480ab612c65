#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "textio/fields.h"

namespace ecflux::textio {
namespace {

// The C library's conversion of the same number, after rewriting the forms
// that it does not know (D exponents, an exponent given by its sign alone).
double reference_number(std::string text) {
  for (char& c : text) {
    if (c == 'D' || c == 'd') c = 'e';
  }
  for (std::size_t i = 1; i < text.size(); ++i) {
    if ((text[i] == '+' || text[i] == '-') && text[i - 1] != 'e' && text[i - 1] != 'E') {
      text.insert(i, 1, 'e');
      break;
    }
  }
  return std::strtod(text.c_str(), nullptr);
}

void expect_same_double(std::string_view text) {
  const auto parsed = parse_number(text);
  ASSERT_TRUE(parsed.has_value()) << text;
  const double expected = reference_number(std::string(text));
  EXPECT_EQ(std::bit_cast<std::uint64_t>(*parsed), std::bit_cast<std::uint64_t>(expected))
      << text << " gave " << *parsed << ", expected " << expected;
}

TEST(ParseNumber, AcceptedForms) {
  for (const char* text : {"12",
                           "-0.25",
                           "3.",
                           ".5",
                           "+7",
                           "1.5E-3",
                           "1.5e-3",
                           "1.5D-3",
                           "1.5d+3",
                           "1.5-3",
                           "1.5+3",
                           "-2-2",
                           "0",
                           "-0",
                           "0e5",
                           "1E0",
                           "007.50",
                           "123456789012345678901234567890",
                           "0.000000000000000000000000000000000123456789",
                           "1e22",
                           "1e23",
                           "9007199254740993",
                           "4.9406564584124654e-324",
                           "2.2250738585072011e-308",
                           "1.7976931348623157e308"}) {
    expect_same_double(text);
  }
  EXPECT_EQ(*parse_number("1.5-3"), 1.5e-3);
  EXPECT_EQ(*parse_number("-2.5D2"), -250.0);
  EXPECT_TRUE(std::signbit(*parse_number("-0.0")));
}

TEST(ParseNumber, UnderflowIsSignedZeroAndOverflowIsNotANumber) {
  EXPECT_EQ(*parse_number("1e-400"), 0.0);
  EXPECT_FALSE(std::signbit(*parse_number("1e-400")));
  EXPECT_TRUE(std::signbit(*parse_number("-1e-400")));
  EXPECT_EQ(*parse_number("2.4703282292062327e-324"), 0.0);
  EXPECT_EQ(*parse_number("1e-99999999999999999999"), 0.0);
  EXPECT_FALSE(parse_number("1e400").has_value());
  EXPECT_FALSE(parse_number("-1e400").has_value());
  EXPECT_FALSE(parse_number("1.7976931348623159e308").has_value());
  EXPECT_FALSE(parse_number("1e99999999999999999999").has_value());
  EXPECT_EQ(*parse_number("0e99999999999999999999"), 0.0);
}

TEST(ParseNumber, RejectsEverythingElse) {
  for (const char* text : {"",      "+",    "-",     ".",   "+.",    "e5",  "1e",       "1e+",
                           "1E-",   "1-",   "1.2.3", "NaN", "nan",   "Inf", "infinity", "-Infinity",
                           "0x1p3", "0x10", "1 2",   " 1",  "1 ",    "1,2", "1*2",      "1e5.0",
                           "1f",    "1..",  "--1",   "+-1", "1e--3", "1/",  "\t1",      "1\r"}) {
    EXPECT_FALSE(parse_number(text).has_value()) << '"' << text << '"';
  }
  EXPECT_FALSE(parse_number(std::string_view("1\0", 2)).has_value());
}

TEST(ParseNumber, CorrectlyRoundedOnRandomAndHalfwayInputs) {
  std::mt19937_64 random(99);
  char text[128];
  for (int i = 0; i < 100000; ++i) {
    double value = std::bit_cast<double>(random());
    if (!std::isfinite(value)) continue;
    // Shortest-but-one and longer forms of random doubles.
    std::snprintf(text, sizeof text, "%.17g", value);
    expect_same_double(text);
    std::snprintf(text, sizeof text, "%.*e", static_cast<int>(random() % 25), value);
    if (std::isfinite(std::strtod(text, nullptr))) expect_same_double(text);
  }
  for (int i = 0; i < 20000; ++i) {
    // The exact midpoint between two neighbouring doubles, and just above it.
    const double low = std::ldexp(static_cast<double>((random() >> 11) | (1ULL << 52)),
                                  static_cast<int>(random() % 80) - 92);
    const long double middle = (static_cast<long double>(low) + std::nextafter(low, INFINITY)) / 2;
    std::snprintf(text, sizeof text, "%.60Lf", middle);
    expect_same_double(text);
    std::string above = text;
    above += "1";
    expect_same_double(above);
  }
  for (int i = 0; i < 50000; ++i) {
    // Short decimal numbers in every exponent form.
    std::string number = std::to_string(random() % 100000000);
    number.insert(random() % (number.size() + 1), ".");
    static const char* const letters[] = {"E", "e", "D", "d", ""};
    const int exponent = static_cast<int>(random() % 60) - 30;
    const std::string letter = letters[random() % 5];
    number += letter;
    if (exponent < 0) {
      number += '-';
    } else if (letter.empty() || random() % 2) {
      number += '+';
    }
    number += std::to_string(std::abs(exponent));
    if (random() % 2) number.insert(0, "-");
    expect_same_double(number);
  }
}

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
