#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "textio/numbers.h"

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

std::uint64_t bits(double value) { return std::bit_cast<std::uint64_t>(value); }

// The C library's reading of a number in its own syntax: an infinity means
// out of range, which is not a number here.
std::optional<double> c_library_number(const std::string& text) {
  const double value = std::strtod(text.c_str(), nullptr);
  if (std::isinf(value)) return std::nullopt;
  return value;
}

ScannedNumber scan(std::string_view text) {
  return scan_number(text.data(), text.data() + text.size());
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

TEST(ScanNumber, EndsWhereTheNumberEndsInALongerText) {
  struct Case {
    std::string_view text;
    std::size_t length;  // of the number at its start; 0 for none
  };
  for (const Case& c :
       std::vector<Case>{{"12.5 7", 4}, {"-.5,3", 3}, {"5./", 2},  {"1.5e-3,2", 6}, {"1.5D+3\t", 6},
                         {"1.5-3 ", 5}, {"2+7+8", 3}, {"3*4", 1},  {"1.2.3", 3},    {"2e", 1},
                         {"2e+", 1},    {"2E x", 1},  {"2d-y", 1}, {"7-", 1},       {"7--1", 1},
                         {"1e5.0", 3},  {"", 0},      {"+", 0},    {"-.", 0},       {".e5", 0},
                         {"e5", 0},     {"+-1", 0},   {" 1", 0}}) {
    const ScannedNumber number = scan(c.text);
    EXPECT_EQ(number.valid, c.length > 0) << c.text;
    EXPECT_EQ(number.end - c.text.data(), static_cast<std::ptrdiff_t>(c.length)) << c.text;
  }
  // The digits and exponent of the number alone, not of what follows.
  const ScannedNumber number = scan("-2.5D-3 99");
  EXPECT_TRUE(number.negative);
  EXPECT_EQ(number.mantissa, 25U);
  EXPECT_EQ(number.exponent, -4);
}

TEST(ScanNumber, LeadingZerosAndMoreThanNineteenDigits) {
  struct Case {
    std::string_view text;
    std::uint64_t mantissa;
    std::int64_t exponent;
    bool too_many_digits;
  };
  for (const Case& c :
       std::vector<Case>{{"9999999999999999999", 9999999999999999999ULL, 0, false},
                         {"99999999999999999999", 9999999999999999999ULL, 1, true},
                         {"10000000000000000000", 1000000000000000000ULL, 1, true},
                         {"0.1234567890123456789", 1234567890123456789ULL, -19, false},
                         {"0000000000000000000000012.5", 125, -1, false},
                         {"0.000000000000000000000000123", 123, -27, false},
                         {"0000000000.0000000000000000", 0, -16, false},
                         {"12345678901234567890123", 1234567890123456789ULL, 4, true},
                         {"1234567890.12345678901234", 1234567890123456789ULL, -9, true},
                         {"0.00001234567890123456789012e5", 1234567890123456789ULL, -18, true},
                         {"000001234567890123456789.01", 1234567890123456789ULL, 0, true}}) {
    const ScannedNumber number = scan(c.text);
    ASSERT_TRUE(number.valid) << c.text;
    EXPECT_EQ(number.end, c.text.data() + c.text.size()) << c.text;
    EXPECT_EQ(number.mantissa, c.mantissa) << c.text;
    EXPECT_EQ(number.exponent, c.exponent) << c.text;
    EXPECT_EQ(number.too_many_digits, c.too_many_digits) << c.text;
  }
}

TEST(ConvertNumber, AroundTheLimitsOfTheExactPath) {
  // Mantissas around 2^53 and powers of ten around 10^22, where one
  // operation on an inexact operand would round twice.
  const std::uint64_t two_53 = std::uint64_t{1} << 53;
  std::vector<std::uint64_t> mantissas = {1, 3, 7, 9, 123456789, 999999999999999};
  for (std::uint64_t m = two_53 - 3; m <= two_53 + 9; ++m) mantissas.push_back(m);
  for (const std::uint64_t m : mantissas) {
    for (int exponent = -25; exponent <= 25; ++exponent) {
      const std::string text = std::to_string(m) + "e" + std::to_string(exponent);
      ASSERT_EQ(bits(*parse_number(text)), bits(*c_library_number(text))) << text;
    }
  }
}

TEST(ConvertNumber, OutOfRangeKeepsTheSign) {
  const std::string thirty_digits = "123456789012345678901234567890";
  const std::string zeros(400, '0');
  for (const std::string& text :
       std::vector<std::string>{"0." + zeros + "1", thirty_digits + "e-360",
                                "100000000000000000000000000000e-360", "0e99999999999"}) {
    EXPECT_EQ(bits(*parse_number(text)), bits(0.0)) << text;
    EXPECT_EQ(bits(*parse_number("-" + text)), bits(-0.0)) << text;
  }
  for (const std::string& text : std::vector<std::string>{
           "1e400", "1" + zeros, thirty_digits + "e300", "0.00000000000000000000000000001e340"}) {
    EXPECT_FALSE(parse_number(text).has_value()) << text;
    EXPECT_FALSE(parse_number("-" + text).has_value()) << text;
  }
  // Values inside the range that only look out of it from their exponent.
  EXPECT_EQ(*parse_number("0." + zeros + "1e400"), 0.1);
  EXPECT_EQ(*parse_number("-1" + zeros + "e-420"), -1e-20);
}

TEST(ConvertNumber, AgreesWithTheCLibraryOnRandomDecimals) {
  // Digit strings of every length up to well beyond 19, with runs of zeros
  // at either end, and exponents near and far; each also read from the
  // start of a longer text.
  std::mt19937_64 random(2024);
  for (int i = 0; i < 200000; ++i) {
    std::string text(1 + random() % 40, '0');
    for (char& c : text) c = static_cast<char>('0' + random() % 10);
    if (random() % 3 == 0) text.insert(0, random() % 25, '0');
    if (random() % 3 == 0) text.append(random() % 25, '0');
    if (random() % 2 == 0) text.insert(random() % (text.size() + 1), 1, '.');
    if (random() % 2 == 0) text.insert(0, 1, random() % 2 ? '-' : '+');
    if (random() % 2 == 0) {
      const auto exponent = random() % 4 == 0 ? static_cast<int>(random() % 700) - 360
                                              : static_cast<int>(random() % 60) - 30;
      text += "e" + std::to_string(exponent);
    }
    const auto expected = c_library_number(text);
    const auto parsed = parse_number(text);
    ASSERT_EQ(parsed.has_value(), expected.has_value()) << text;
    if (expected) {
      ASSERT_EQ(bits(*parsed), bits(*expected)) << text;
    }

    const std::string longer = text + ",1e5";
    const ScannedNumber number = scan(longer);
    ASSERT_TRUE(number.valid) << longer;
    ASSERT_EQ(number.end, longer.data() + text.size()) << longer;
  }
}

}  // namespace
}  // namespace ecflux::textio
