#include "textio/csv_record.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace ecflux::textio {
namespace {

TEST(CsvRecord, FieldsAndMissingValues) {
  CsvRecord record;
  record.add(std::int64_t{1}).add(-2).add(0.5).add(-0.0).add(1e-300).add(123456789.125);
  EXPECT_EQ(record.text(), "1,-2,0.5,-0,1e-300,123456789.125");
  record.clear();
  // A value that is not finite is an empty field, also the first and last.
  const double nan = std::numeric_limits<double>::quiet_NaN();
  record.add(nan).add(1.0).add(std::numeric_limits<double>::infinity()).add(2).add(-HUGE_VAL);
  EXPECT_EQ(record.text(), ",1,,2,");
  record.clear();
  record.add(nan);
  EXPECT_EQ(record.text(), "");
}

TEST(CsvRecord, EveryNumberReadsBackToTheSameDouble) {
  std::mt19937_64 random(7);
  std::uniform_int_distribution<std::uint64_t> bits;
  for (int i = 0; i < 100000; ++i) {
    double value;
    const std::uint64_t pattern = bits(random);
    std::memcpy(&value, &pattern, sizeof value);
    if (!std::isfinite(value)) continue;
    CsvRecord record;
    record.add(value);
    const std::string text(record.text());
    ASSERT_EQ(text.find_first_of(",\" \n"), std::string::npos) << text;
    EXPECT_EQ(std::strtod(text.c_str(), nullptr), value) << text;
  }
}

}  // namespace
}  // namespace ecflux::textio
