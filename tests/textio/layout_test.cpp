#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "textio/layout.h"
#include "textio/line_reader.h"

namespace ecflux::textio {
namespace {

const char* const results_row =
    "F12.4, 6(1X,F7.3), 1X,F5.1, 2(1X,F7.3), 7(1X,F8.2), 3(1X,F5.2), 12(1X,F8.2)";
const char* const configuration =
    "28/ 23X,A20 /// 23X,A20 / 23X,F8.0 / 23X,F8.0 / 23X,F8.0 / 23X,I8 / 23X,I1 / 23X,I1 / "
    "23X,I4";

std::optional<base::Failure> failure_of(const base::Status& status) {
  if (status.ok()) return std::nullopt;
  return status.failure();
}

Layout layout(std::string_view codes) {
  auto parsed = parse_layout(codes);
  EXPECT_TRUE(parsed.has_value()) << codes;
  return parsed.value_or(Layout{});
}

TEST(ParseLayout, ExpandsRepeatsAndGroups) {
  const Layout row = layout(results_row);
  ASSERT_EQ(row.items.size(), 1u + 2 * 6 + 2 + 2 * 2 + 2 * 7 + 2 * 3 + 2 * 12);
  EXPECT_EQ(row.items[0].kind, ItemKind::real);
  EXPECT_EQ(row.items[0].width, 12);
  EXPECT_EQ(row.items[0].decimals, 4);
  EXPECT_EQ(row.items[1].kind, ItemKind::skip);

  const Layout config = layout(configuration);
  int records_advanced = 0;
  int data_items = 0;
  for (const LayoutItem& item : config.items) {
    if (item.kind == ItemKind::next_record) records_advanced += item.width;
    if (item.kind != ItemKind::next_record && item.kind != ItemKind::skip) ++data_items;
  }
  EXPECT_EQ(records_advanced, 38);
  EXPECT_EQ(data_items, 9);

  EXPECT_EQ(layout("2(I2,2('x''y',1X))").items.size(), 10u);
  EXPECT_EQ(layout("'it''s'").items[0].literal, "it's");
  EXPECT_EQ(layout("3F5.1").items.size(), 3u);
  EXPECT_TRUE(layout("").items.empty());
  for (const char* bad : {"F0.0", "F256.2", "F5.5", "F5", "I0", "A", "X", "0X", "3'a'", "F5.1 I",
                          "(I2", "I2)", "I2,,I3", ",I2", "I2,", "I2I3", "Q5", "2(I2", "F5.1.2"}) {
    EXPECT_FALSE(parse_layout(bad).has_value()) << bad;
  }
  EXPECT_TRUE(parse_layout("A255").has_value());
}

TEST(ReadRecords, ShortLinesSlashesAndFailures) {
  auto reader = LineReader::from_text(
      "xxxxxxxxxxxxxxxxxxxxxxx12\n"  // 25 characters: F8.0 takes "12" and six blanks
      "skipped\n"
      "  -3  abcd\n"
      "next\n",
      2030, "/w/c.Dat");
  std::vector<FieldValue> values{1.0, 2.0};
  ASSERT_TRUE(read_records(reader, layout("23X,F8.0,I3 2/ I4,2X,A6"), values).ok());
  ASSERT_EQ(values.size(), 4u);
  EXPECT_EQ(values[0].kind, ItemKind::real);
  EXPECT_EQ(values[0].real, 12.0);  // trailing blanks do not count
  EXPECT_EQ(values[1].integer, 0);
  EXPECT_EQ(values[2].integer, -3);
  EXPECT_EQ(values[3].kind, ItemKind::text);
  EXPECT_EQ(values[3].text, "abcd  ");
  // The rest of the record is discarded: the next statement starts at "next".
  ASSERT_TRUE(read_records(reader, layout("A4"), values).ok());
  EXPECT_EQ(values[0].text, "next");
  EXPECT_EQ(failure_of(read_records(reader, layout("A4"), values)),
            base::Failure(base::IoFailure{base::IoCondition::end_of_file, 2030, "/w/c.Dat"}));

  auto short_file = LineReader::from_text("1\n2\n", 2030, "/w/c.Dat");
  EXPECT_EQ(failure_of(read_records(short_file, layout("I1/I1/I1"), values)),
            base::Failure(base::IoFailure{base::IoCondition::end_of_file, 2030, "/w/c.Dat"}));
  auto malformed = LineReader::from_text("   1.5x\n", 2030, "/w/c.Dat");
  EXPECT_EQ(failure_of(read_records(malformed, layout("F8.0"), values)),
            base::Failure(base::IoFailure{base::IoCondition::conversion_error, 2030, "/w/c.Dat"}));
}

TEST(ReadRecords, ConfigurationLayout) {
  std::string text;
  for (int i = 1; i <= 39; ++i) {
    std::string line(23, '.');
    switch (i) {
      case 29: line += "data.txt"; break;
      case 32: line += "results.out           trailing"; break;
      case 33: line += "    10.0"; break;
      case 34: line += "  2.5E1"; break;
      case 35: line += "      20"; break;
      case 36: line += "     600"; break;
      case 37: line += "1"; break;
      case 38: break;  // an empty field reads as zero
      case 39: line += "  30"; break;
      default: line = "comment";
    }
    text += line + "\r\n";
  }
  auto reader = LineReader::from_text(text, 2030, "/w/c.Dat");
  std::vector<FieldValue> values;
  ASSERT_TRUE(read_records(reader, layout(configuration), values).ok());
  ASSERT_EQ(values.size(), 9u);
  EXPECT_EQ(values[0].text, "data.txt            ");
  EXPECT_EQ(values[1].text, "results.out         ");
  EXPECT_EQ(values[2].real, 10.0);
  EXPECT_EQ(values[3].real, 25.0);
  EXPECT_EQ(values[4].real, 20.0);
  EXPECT_EQ(values[5].integer, 600);
  EXPECT_EQ(values[6].integer, 1);
  EXPECT_EQ(values[7].integer, 0);
  EXPECT_EQ(values[8].integer, 30);
}

}  // namespace
}  // namespace ecflux::textio
