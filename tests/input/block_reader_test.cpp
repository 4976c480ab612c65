#include "input/block_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"

namespace ecflux::input {
namespace {

using ecflux::testing::TempFolder;

// Records with time i, velocities and temperatures derived from i.
std::string records(int first, int count) {
  std::string text;
  for (int i = first; i < first + count; ++i) {
    text += std::to_string(i) + " " + std::to_string(i % 7) + ".5 -2 " + std::to_string(i % 3) +
            " 4 10." + std::to_string(i % 10) + " 11\r\n";
  }
  return text;
}

struct Reader {
  TempFolder folder;
  DataFile file;

  explicit Reader(const std::string& text) : file(open(text)) {}

  DataFile open(const std::string& text) {
    folder.write("data.txt", text);
    auto opened = open_data_file((folder / "data.txt").string());
    EXPECT_TRUE(opened.ok());
    return std::move(opened.value());
  }
};

ReadSettings settings_for(int n) {
  ReadSettings settings;
  settings.block_samples = n;
  return settings;
}

TEST(BlockReader, WholeBlocksAndADroppedRest) {
  for (const int extra : {0, 5}) {
    Reader reader("header\r\n" + records(1, 2 * 10 + extra));
    Block block = make_block(10);
    EXPECT_EQ(read_block(reader.file, settings_for(10), block).value().status,
              BlockStatus::complete);
    EXPECT_EQ(block.sample_time[0], 1.0);
    EXPECT_EQ(read_block(reader.file, settings_for(10), block).value().status,
              BlockStatus::complete);
    EXPECT_EQ(block.sample_time[0], 11.0);
    EXPECT_EQ(block.sample_time[9], 20.0);
    EXPECT_EQ(block.sample_count, 10);
    EXPECT_EQ(read_block(reader.file, settings_for(10), block).value().status,
              BlockStatus::end_of_file);
  }
}

TEST(BlockReader, ConversionAndColumnChoice) {
  const std::string text = "h\n0.5 300 400 -2 -3 10.0 12.0\n0.5 300 400 -2 -3 10.0 12.0\n";
  {
    Reader reader(text);
    Block block = make_block(1);
    ASSERT_EQ(read_block(reader.file, settings_for(1), block).value().status,
              BlockStatus::complete);
    EXPECT_EQ(block.sample_time[0], 0.5);
    EXPECT_EQ(block.sum_u, 3.0);
    EXPECT_EQ(block.sum_v, 4.0);
    EXPECT_EQ(block.horizontal_speed[0], 5.0);
    EXPECT_EQ(block.w[0], -0.02);
    EXPECT_EQ(block.temperature[0], 285.1499938964844);
    EXPECT_EQ(block.sum_temperature, 285.1499938964844);
  }
  {
    Reader reader(text);
    Block block = make_block(1);
    ReadSettings settings = settings_for(1);
    settings.w_select = 1;
    settings.temperature_select = 1;
    ASSERT_EQ(read_block(reader.file, settings, block).value().status, BlockStatus::complete);
    EXPECT_EQ(block.w[0], -0.03);
    EXPECT_EQ(block.temperature[0], 283.1499938964844);
    // Any selection other than 1 keeps the default columns.
    settings.w_select = 2;
    settings.temperature_select = 2;
    ASSERT_EQ(read_block(reader.file, settings, block).value().status, BlockStatus::complete);
    EXPECT_EQ(block.w[0], -0.02);
    EXPECT_EQ(block.temperature[0], 285.1499938964844);
  }
}

TEST(BlockReader, SumsInSampleOrder) {
  Reader reader("h\n" + records(1, 5));
  Block block = make_block(5);
  ASSERT_EQ(read_block(reader.file, settings_for(5), block).value().status, BlockStatus::complete);
  double sum_w = 0.0, sum_time = 0.0;
  for (std::size_t k = 0; k < 5; ++k) {
    sum_w += block.w[k];
    sum_time += block.sample_time[k];
  }
  EXPECT_EQ(block.sum_w, sum_w);
  EXPECT_EQ(block.sum_time, sum_time);
  EXPECT_EQ(sum_time, 15.0);
  EXPECT_EQ(block.sample_count, 5);
}

TEST(BlockReader, StartTimeSkipsRecordsAnywhere) {
  Reader reader(
      "h\n99.9 1 1 1 1 1 1\n100.0 1 1 1 1 1 1\n101 1 1 1 1 1 1\n"
      "50 1 1 1 1 1 1\n102 1 1 1 1 1 1\n");
  ReadSettings settings = settings_for(3);
  settings.start_time = 100.0;
  Block block = make_block(3);
  ASSERT_EQ(read_block(reader.file, settings, block).value().status, BlockStatus::complete);
  EXPECT_EQ(block.sample_time[0], 100.0);
  EXPECT_EQ(block.sample_time[1], 101.0);
  EXPECT_EQ(block.sample_time[2], 102.0);
  EXPECT_EQ(block.sum_time, 303.0);
  EXPECT_EQ(block.sample_count, 3);
}

TEST(BlockReader, EndTimeEndsTheInputAtTheFirstLaterRecord) {
  Reader reader("h\n199 1 1 1 1 1 1\n200.0 1 1 1 1 1 1\n200.01 1 1 1 1 1 1\n150 1 1 1 1 1 1\n");
  ReadSettings settings = settings_for(2);
  settings.end_time = 200.0;
  Block block = make_block(2);
  ASSERT_EQ(read_block(reader.file, settings, block).value().status, BlockStatus::complete);
  EXPECT_EQ(block.sample_time[1], 200.0);
  EXPECT_EQ(read_block(reader.file, settings, block).value().status, BlockStatus::past_end_time);
}

TEST(BlockReader, RecordsSpreadOverLinesOrCarryingMoreValues) {
  Reader reader("h\n1 2 3 4 5 6 7 8\n\n2 2 3 4 5 6\n7 99 99\n3,2,3,4,5,6,7\n");
  Block block = make_block(3);
  ASSERT_EQ(read_block(reader.file, settings_for(3), block).value().status, BlockStatus::complete);
  EXPECT_EQ(block.sample_time[0], 1.0);
  EXPECT_EQ(block.sample_time[1], 2.0);
  EXPECT_EQ(block.temperature[1], 7.0 + kelvin_offset);
  EXPECT_EQ(block.sample_time[2], 3.0);
}

TEST(BlockReader, AWordEndsTheInputWithItsLine) {
  {
    Reader reader("h\nsecond header\n" + records(1, 3));
    Block block = make_block(2);
    const auto outcome = read_block(reader.file, settings_for(2), block);
    EXPECT_EQ(outcome.value().status, BlockStatus::unreadable_record);
    EXPECT_EQ(outcome.value().line, 2);
  }
  {
    // 2N + 3 good records, then a bad one: two blocks, then the end.
    Reader reader("h\n" + records(1, 23) + "24 1 1 x 1 1 1\n" + records(25, 10));
    Block block = make_block(10);
    EXPECT_EQ(read_block(reader.file, settings_for(10), block).value().status,
              BlockStatus::complete);
    EXPECT_EQ(read_block(reader.file, settings_for(10), block).value().status,
              BlockStatus::complete);
    const auto outcome = read_block(reader.file, settings_for(10), block);
    EXPECT_EQ(outcome.value().status, BlockStatus::unreadable_record);
    EXPECT_EQ(outcome.value().line, 25);
  }
}

TEST(BlockReader, OpeningFailures) {
  TempFolder folder;
  auto missing = open_data_file((folder / "none.txt").string());
  ASSERT_FALSE(missing.ok());
  EXPECT_EQ(missing.failure().io_failure()->condition, base::IoCondition::file_not_found);
  EXPECT_EQ(missing.failure().io_failure()->unit, 8);

  folder.write("empty.txt", "");
  auto empty = open_data_file((folder / "empty.txt").string());
  ASSERT_FALSE(empty.ok());
  EXPECT_EQ(empty.failure().io_failure()->condition, base::IoCondition::end_of_file);

  folder.write("header.txt", "only a header");
  auto header_only = open_data_file((folder / "header.txt").string());
  ASSERT_TRUE(header_only.ok());
  Block block = make_block(2);
  EXPECT_EQ(read_block(header_only.value(), settings_for(2), block).value().status,
            BlockStatus::end_of_file);
}

}  // namespace
}  // namespace ecflux::input
