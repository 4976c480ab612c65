#include "textio/record_format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ecflux::textio {
namespace {

// The results row's layout with twelve fields more than any row fills.
constexpr const char* results_row =
    "F12.4, 6(1X,F7.3), 1X,F5.1, 2(1X,F7.3), 7(1X,F8.2), 3(1X,F5.2), 12(1X,F8.2)";

std::string record(std::string_view codes, const std::vector<double>& values) {
  const auto format = RecordFormat::make(codes);
  EXPECT_TRUE(format.has_value()) << codes;
  if (!format) return {};
  std::string out(format->length() + 64, '#');
  char* end = format->put(out.data(), values);
  out.resize(static_cast<std::size_t>(end - out.data()));
  return out;
}

TEST(RecordFormat, ColumnsOfTheFields) {
  const auto format = RecordFormat::make("F12.4, 2(1X,F7.3), 3X, F5.1");
  ASSERT_TRUE(format.has_value());
  ASSERT_EQ(format->fields().size(), 4u);
  EXPECT_EQ(format->fields()[0].begin, 0u);
  EXPECT_EQ(format->fields()[1].begin, 13u);
  EXPECT_EQ(format->fields()[2].begin, 21u);
  EXPECT_EQ(format->fields()[3].begin, 31u);
  EXPECT_EQ(format->fields()[3].decimals, 1);
  // A trailing skip is not part of a record.
  EXPECT_EQ(format->length(), 36u);
  EXPECT_EQ(RecordFormat::make("F5.1, 4X")->length(), 5u);
  for (const char* other : {"F5.1/F5.1", "I5", "A3", "'x',F5.1", "F5", "2(F5.1"}) {
    EXPECT_FALSE(RecordFormat::make(other).has_value()) << other;
  }
}

TEST(RecordFormat, RowStopsAfterItsLastValue) {
  std::vector<double> values;
  for (int i = 0; i < 20; ++i) values.push_back(1.5 + i);
  values[1] = 0.12345 * 100;
  values[11] = 123456.7;
  const std::string row = record(results_row, values);
  ASSERT_EQ(row.size(), 163u);
  EXPECT_EQ(row.substr(0, 21), "      1.5000  12.345 ");
  EXPECT_EQ(row.substr(91, 9), " ********");  // FLUX-R, columns 93-100
  EXPECT_EQ(row.substr(145), " 18.50 19.50 20.50");
  // Skips are written only before a field that is written.
  EXPECT_EQ(record("F5.1, 3X, F5.1", {1.0}), "  1.0");
  EXPECT_EQ(record("1X, F5.1", {}), "");
  EXPECT_EQ(record("1X, F5.1", {-0.25}), "  -0.2");
  // A long repeat writes only the values given.
  EXPECT_EQ(record("10000(1X,F4.1)", {1.0, 2.0, 3.0}), "  1.0  2.0  3.0");
}

}  // namespace
}  // namespace ecflux::textio
