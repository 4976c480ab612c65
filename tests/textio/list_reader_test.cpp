#include <algorithm>
#include <array>
#include <bit>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "textio/list_reader.h"
#include "textio/numbers.h"

namespace ecflux::textio {
namespace {

using Values = std::array<double, 7>;
constexpr double kept = -99.0;  // what a null value leaves in place

ListReader reader_of(std::string_view text) {
  return ListReader(LineReader::from_text(text, 8, "/data/run.txt"));
}

Values fresh() {
  Values values;
  values.fill(kept);
  return values;
}

TEST(ListReader, SeparatorsAndRecordBoundaries) {
  auto reader = reader_of(
      "3600.0625 12.345 -3.210 0.456 0.460 4.12345 4.12001\n"
      "1,2 , 3\t4 ,5\t,6,7\n"
      "1 2 3 4 5 6 7 8 9\n"  // two values too many: discarded
      "10 20 30 40\n"        // four values, the rest from the next record
      "\n"
      "   \t\n"
      "50 60 70 80 90\n"  // 80 and 90 discarded with the record
      "1 2 3 4 5 6 7");   // last line without a line feed
  Values v = fresh();
  ASSERT_EQ(reader.read(v).value(), ListReader::Outcome::complete);
  EXPECT_EQ(v, (Values{3600.0625, 12.345, -3.210, 0.456, 0.460, 4.12345, 4.12001}));
  ASSERT_EQ(reader.read(v).value(), ListReader::Outcome::complete);
  EXPECT_EQ(v, (Values{1, 2, 3, 4, 5, 6, 7}));
  ASSERT_EQ(reader.read(v).value(), ListReader::Outcome::complete);
  EXPECT_EQ(v, (Values{1, 2, 3, 4, 5, 6, 7}));
  ASSERT_EQ(reader.read(v).value(), ListReader::Outcome::complete);
  EXPECT_EQ(v, (Values{10, 20, 30, 40, 50, 60, 70}));
  EXPECT_EQ(reader.lines().line_number(), 7);
  ASSERT_EQ(reader.read(v).value(), ListReader::Outcome::complete);
  EXPECT_EQ(v, (Values{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(reader.read(v).value(), ListReader::Outcome::end_of_file);
}

TEST(ListReader, NullValuesRepeatsAndSlash) {
  auto reader = reader_of(
      "1,2,,4 5 6 7\n"
      ",2 3 4 5 6 7\n"
      "1,  ,3 4 5 6 7\n"
      "3*2.5 2* 6 7\n"
      "2*1 9*8\n"
      "1 2 3/ 4 5\n"
      "1 2 /\n"
      "1,\n"
      ",3,4,5,6,7\n"
      "/\n");
  Values v = fresh();
  ASSERT_EQ(reader.read(v).value(), ListReader::Outcome::complete);
  EXPECT_EQ(v, (Values{1, 2, kept, 4, 5, 6, 7}));
  v = fresh();
  ASSERT_EQ(reader.read(v).value(), ListReader::Outcome::complete);
  EXPECT_EQ(v, (Values{kept, 2, 3, 4, 5, 6, 7}));
  v = fresh();
  ASSERT_EQ(reader.read(v).value(), ListReader::Outcome::complete);
  EXPECT_EQ(v, (Values{1, kept, 3, 4, 5, 6, 7}));
  v = fresh();
  ASSERT_EQ(reader.read(v).value(), ListReader::Outcome::complete);
  EXPECT_EQ(v, (Values{2.5, 2.5, 2.5, kept, kept, 6, 7}));
  ASSERT_EQ(reader.read(v).value(), ListReader::Outcome::complete);
  EXPECT_EQ(v, (Values{1, 1, 8, 8, 8, 8, 8}));
  v = fresh();
  ASSERT_EQ(reader.read(v).value(), ListReader::Outcome::complete);
  EXPECT_EQ(v, (Values{1, 2, 3, kept, kept, kept, kept}));
  v = fresh();
  ASSERT_EQ(reader.read(v).value(), ListReader::Outcome::complete);
  EXPECT_EQ(v, (Values{1, 2, kept, kept, kept, kept, kept}));
  v = fresh();
  ASSERT_EQ(reader.read(v).value(), ListReader::Outcome::complete);  // "1," then ",3": a null
  EXPECT_EQ(v, (Values{1, kept, 3, 4, 5, 6, 7}));
  v = fresh();
  ASSERT_EQ(reader.read(v).value(), ListReader::Outcome::complete);
  EXPECT_EQ(v, fresh());
}

TEST(ListReader, NoValuesSkipsOneRecord) {
  auto reader = reader_of("header line, not numbers\n\n1 2 3 4 5 6 7\n");
  std::array<double, 0> none;
  ASSERT_EQ(reader.read(none).value(), ListReader::Outcome::complete);
  ASSERT_EQ(reader.read(none).value(), ListReader::Outcome::complete);  // the blank line
  Values v = fresh();
  ASSERT_EQ(reader.read(v).value(), ListReader::Outcome::complete);
  EXPECT_EQ(reader.read(none).value(), ListReader::Outcome::end_of_file);
  EXPECT_EQ(reader_of("").read(none).value(), ListReader::Outcome::end_of_file);
}

TEST(ListReader, CarriageReturnsAndEndOfFile) {
  auto reader = reader_of("1 2 3 4 5 6 7\r\n8 9\r\n");
  Values v = fresh();
  ASSERT_EQ(reader.read(v).value(), ListReader::Outcome::complete);
  EXPECT_EQ(v[6], 7.0);
  // Some values were read before the file ended.
  EXPECT_EQ(reader.read(v).value(), ListReader::Outcome::end_of_file);
  EXPECT_EQ(reader_of("").read(v).value(), ListReader::Outcome::end_of_file);
  EXPECT_EQ(reader_of("\n\n  \n").read(v).value(), ListReader::Outcome::end_of_file);
}

TEST(ListReader, BadValuesGiveTheirLine) {
  struct Case {
    const char* text;
    std::int64_t line;
  };
  for (const Case& c : {Case{"1 2 3 x 5 6 7\n", 1}, Case{"1 2 3\n\n4 5 6 NaN\n", 3},
                        Case{"1 2 3 4 5 6 7\n1 2 0*5 4 5 6 7\n", 2}, Case{"1 2 3 4 5 6 1e400\n", 1},
                        Case{"1 2 3 4 5 6 7\r8\n", 1}, Case{"1 2 *3 4 5 6 7\n", 1},
                        Case{"1 2 3 4 5 6 2*x\n", 1}, Case{"1 2 3 4 5 6 1.5e\n", 1}}) {
    auto reader = reader_of(c.text);
    Values v = fresh();
    ListReader::Outcome outcome = reader.read(v).value();
    if (c.line > 1 && outcome == ListReader::Outcome::complete) outcome = reader.read(v).value();
    EXPECT_EQ(outcome, ListReader::Outcome::bad_value) << c.text;
    EXPECT_EQ(reader.bad_value_line(), c.line) << c.text;
  }
  // A bad token after the statement is complete is never looked at.
  auto reader = reader_of("1 2 3 4 5 6 7 junk\n");
  Values v = fresh();
  EXPECT_EQ(reader.read(v).value(), ListReader::Outcome::complete);
}

TEST(ListReader, ValueForms) {
  auto reader = reader_of("12 -0.25 3. .5 1.5E-3 1.5d-3 1.5-3\n+1 -0 1e400x 2\n");
  Values v = fresh();
  ASSERT_EQ(reader.read(v).value(), ListReader::Outcome::complete);
  EXPECT_EQ(v, (Values{12, -0.25, 3, 0.5, 1.5e-3, 1.5e-3, 1.5e-3}));
  EXPECT_EQ(reader.read(v).value(), ListReader::Outcome::bad_value);
}

TEST(ListReader, SameValuesAsTheNumberSyntax) {
  // Plain decimals of every length around the limits of exact conversion,
  // some with exponents, read in records and one by one.
  std::mt19937_64 random(3);
  std::vector<std::string> tokens;
  std::string text;
  for (int i = 0; i < 70000; ++i) {
    std::string token = std::to_string(random());
    token.resize(1 + random() % std::min<std::size_t>(token.size(), 24));
    if (random() % 4 != 0) token.insert(random() % (token.size() + 1), ".");
    if (random() % 3 == 0) token.insert(0, "-");
    if (random() % 5 == 0) token += "e" + std::to_string(static_cast<int>(random() % 40) - 20);
    tokens.push_back(token);
    text += token + ((i % 7 == 6) ? "\n" : " ");
  }
  auto reader = reader_of(text);
  Values v;
  for (std::size_t i = 0; i < tokens.size(); i += 7) {
    ASSERT_EQ(reader.read(v).value(), ListReader::Outcome::complete);
    for (std::size_t k = 0; k < 7; ++k) {
      ASSERT_EQ(std::bit_cast<std::uint64_t>(v[k]),
                std::bit_cast<std::uint64_t>(*parse_number(tokens[i + k])))
          << tokens[i + k];
    }
  }
}

}  // namespace
}  // namespace ecflux::textio
