#include "input/configuration.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_support.h"

namespace ecflux::input {
namespace {

using ecflux::testing::ConfigurationText;

base::Result<Configuration> read_text(const std::string& text) {
  auto reader = textio::LineReader::from_text(text, configuration_unit, "/run/ConfigDRAVEK.Dat");
  return read_configuration(reader);
}

Configuration read_ok(const ConfigurationText& config) {
  auto result = read_text(config.text());
  EXPECT_TRUE(result.ok());
  return result.ok() ? result.value() : Configuration{};
}

BlockSizes sizes_of(double fs, int block_seconds, int window_seconds) {
  Configuration config;
  config.sample_rate = fs;
  config.block_seconds = block_seconds;
  config.window_seconds = window_seconds;
  const auto sizes = derive_block_sizes(config);
  EXPECT_TRUE(sizes.ok());
  return sizes.ok() ? sizes.value() : BlockSizes{};
}

std::string refusal_of(double fs, int block_seconds, int window_seconds) {
  Configuration config;
  config.sample_rate = fs;
  config.block_seconds = block_seconds;
  config.window_seconds = window_seconds;
  const auto sizes = derive_block_sizes(config);
  EXPECT_FALSE(sizes.ok());
  return sizes.ok() ? "" : sizes.failure().refusal()->message;
}

TEST(Configuration, ReadsTheNineValuesFromTheirColumns) {
  ConfigurationText text;
  text.data_file = "  run 12 data.txt   ";
  text.results_file = "out.txt";
  text.sample_rate = "20.9";
  text.start_time = "2.5E1";
  text.end_time = "";
  text.block_seconds = "     600";
  text.temperature_select = "1";
  text.w_select = "2";
  text.window_seconds = "300 seconds";
  const Configuration config = read_ok(text);
  EXPECT_EQ(config.data_file_name, "run 12 data.txt");
  EXPECT_EQ(config.results_file_name, "out.txt");
  EXPECT_EQ(config.sample_rate, 20.9);
  EXPECT_EQ(config.start_time, 25.0);
  EXPECT_EQ(config.end_time, 0.0);
  EXPECT_EQ(config.block_seconds, 600);
  EXPECT_EQ(config.temperature_select, 1);
  EXPECT_EQ(config.w_select, 2);
  EXPECT_EQ(config.window_seconds, 300);
}

TEST(Configuration, WholeNumbersAndBlankFields) {
  ConfigurationText text;
  text.sample_rate = "20";
  text.start_time = "";
  text.temperature_select = "";
  const Configuration config = read_ok(text);
  EXPECT_EQ(config.sample_rate, 20.0);
  EXPECT_EQ(config.start_time, 0.0);
  EXPECT_EQ(config.temperature_select, 0);
}

TEST(Configuration, SelectionIsReadFromColumn24Alone) {
  ConfigurationText text;
  text.temperature_select = " 1";
  text.w_select = " 1";
  const Configuration config = read_ok(text);
  EXPECT_EQ(config.temperature_select, 0);
  EXPECT_EQ(config.w_select, 0);
}

TEST(Configuration, NamesAreCutAtTwentyCharacters) {
  ConfigurationText text;
  text.data_file = "abcdefghijklmnopqrstuvwxyz";
  EXPECT_EQ(read_ok(text).data_file_name, "abcdefghijklmnopqrst");
}

TEST(Configuration, WindowIsClampedToTheBlock) {
  ConfigurationText text;
  text.block_seconds = "600";
  text.window_seconds = "900";
  EXPECT_EQ(read_ok(text).window_seconds, 600);
  text.window_seconds = "300";
  EXPECT_EQ(read_ok(text).window_seconds, 300);
}

TEST(Configuration, TooFewLinesOrAMalformedField) {
  ConfigurationText config;
  std::string text = config.text();
  text.resize(text.rfind("window"));
  auto short_file = read_text(text);
  ASSERT_FALSE(short_file.ok());
  EXPECT_EQ(short_file.failure().io_failure()->condition, base::IoCondition::end_of_file);
  EXPECT_EQ(short_file.failure().io_failure()->unit, 2030);

  config.sample_rate = "1O.0";
  auto malformed = read_text(config.text());
  ASSERT_FALSE(malformed.ok());
  EXPECT_EQ(malformed.failure().io_failure()->condition, base::IoCondition::conversion_error);
  EXPECT_EQ(malformed.failure().io_failure()->path, "/run/ConfigDRAVEK.Dat");
}

TEST(BlockSizes, TruncationOfRateAndWindow) {
  const auto a = sizes_of(20.0, 600, 300);
  EXPECT_EQ(a.block_samples, 12000);
  EXPECT_EQ(a.window_samples, 6000);
  const auto b = sizes_of(20.9, 10, 5);
  EXPECT_EQ(b.block_samples, 200);
  EXPECT_EQ(b.window_samples, 104);
  // A fractional rate with the window equal to the block: W is used as N.
  const auto c = sizes_of(10.5, 600, 600);
  EXPECT_EQ(c.block_samples, 6000);
  EXPECT_EQ(c.window_samples, 6000);
}

TEST(BlockSizes, RefusalsNameTheValue) {
  EXPECT_NE(refusal_of(0.0, 600, 300).find("sample_rate 0 "), std::string::npos);
  EXPECT_NE(refusal_of(-10.0, -600, -300).find("sample_rate -10 "), std::string::npos);
  EXPECT_NE(refusal_of(0.5, 600, 300).find("a block of 0 samples"), std::string::npos);
  EXPECT_NE(refusal_of(10.0, 0, 0).find("fewer than two"), std::string::npos);
  EXPECT_NE(refusal_of(1.0, 1, 1).find("a block of 1 samples"), std::string::npos);
  EXPECT_NE(refusal_of(99999999.0, 99999999, 1).find("does not fit"), std::string::npos);
  EXPECT_NE(refusal_of(10.0, 600, 0).find("window of 0 samples"), std::string::npos);
  EXPECT_NE(refusal_of(10.0, 600, -5).find("less than one sample"), std::string::npos);
  for (const auto& message : {refusal_of(0.0, 600, 300), refusal_of(10.0, 600, 0)}) {
    EXPECT_EQ(message.rfind("ecflux", 0), std::string::npos);
    EXPECT_EQ(message.find('\n'), std::string::npos);
  }
}

TEST(BlockSizes, LargestCountsThatFit) {
  const auto sizes = sizes_of(2147483647.0, 1, 1);
  EXPECT_EQ(sizes.block_samples, 2147483647);
  EXPECT_EQ(sizes.window_samples, 2147483647);
}

}  // namespace
}  // namespace ecflux::input
