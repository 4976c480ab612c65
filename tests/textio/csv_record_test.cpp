#include "textio/csv_record.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "textio/numbers.h"

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

// Values hard to write in the fewest digits and read back: subnormals and the
// ends of the exponent range, neighbours of powers of two and of ten, values
// that need all seventeen digits, and integers beyond 2^53. Each field must
// come back from the number reader of our own input files as the same double,
// the sign of zero included, and need no quoting.
TEST(CsvRecord, HardNumbersReadBackThroughTheNumberReader) {
  using limits = std::numeric_limits<double>;
  std::vector<double> values = {limits::denorm_min(),
                                2 * limits::denorm_min(),
                                3 * limits::denorm_min(),
                                std::nextafter(limits::min(), 0.0),
                                limits::min(),
                                std::nextafter(limits::min(), 1.0),
                                limits::max(),
                                std::nextafter(limits::max(), 0.0),
                                0x1p-1022 + 0x1p-1074,
                                0x1p1023,
                                0.0,
                                -0.0,
                                0.1 + 0.2,
                                1.0 / 3.0,
                                2.0 / 3.0,
                                0x1p53,
                                0x1p53 + 2,
                                0x1p63,
                                0x1p64 - 2048,
                                123456789012345680.0,
                                5e-324,
                                9.5e-323,
                                1e-320,
                                1e-308,
                                1e21,
                                1e22,
                                1e23,
                                8.41e21,
                                5.0e-310,
                                277.1499938964844,
                                -115.54510841202543};
  for (double power = 1e-300; power < 1e300; power *= 1e25) {
    values.push_back(std::nextafter(power, 0.0));
    values.push_back(std::nextafter(power, limits::infinity()));
  }
  for (int exponent = -1074; exponent <= 1023; exponent += 89) {
    const double power = std::ldexp(1.0, exponent);
    values.push_back(std::nextafter(power, 0.0));
    values.push_back(std::nextafter(power, limits::infinity()));
  }
  for (const double value : values) {
    for (const double signed_value : {value, -value}) {
      CsvRecord record;
      record.add(signed_value);
      const std::string text(record.text());
      ASSERT_EQ(text.find_first_of(",\" \r\n"), std::string::npos) << text;
      const auto read = parse_number(text);
      ASSERT_TRUE(read.has_value()) << text;
      EXPECT_EQ(std::bit_cast<std::uint64_t>(*read), std::bit_cast<std::uint64_t>(signed_value))
          << text;
    }
  }
}

}  // namespace
}  // namespace ecflux::textio
