// The warnings about data that are not what the run assumes: one line per
// kind at its first line, a count at the end, and the outputs as they would
// be without them. Clean data give none.

#include <gtest/gtest.h>

#include <algorithm>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace ecflux {
namespace {

using testing::ConfigurationText;
using testing::ProcessResult;
using testing::run_program;
using testing::split_records;
using testing::TempFolder;
using testing::write_run;

using testing::ten_hertz_record;
using testing::ten_hertz_records;

// A run of the data in a folder of its own, and its standard error as lines.
struct DataRun {
  TempFolder folder;
  ProcessResult result;
  std::vector<std::string> warnings;
  std::string data_path;

  explicit DataRun(const std::string& data, const ConfigurationText& config = ConfigurationText{}) {
    write_run(folder, config, data);
    result = run_program(ECFLUX_PROGRAM, folder.path(), std::chrono::seconds(60));
    std::size_t start = 0;
    const std::string& text = result.standard_error;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
      warnings.push_back(text.substr(start, end - start));
    }
    data_path = (folder / "data.txt").string();
  }
};

std::string warning(const DataRun&, const std::string& text) { return "ecflux: warning: " + text; }

// The run ended normally and told exactly these lines.
void expect_warnings(const DataRun& run, const std::vector<std::string>& lines) {
  EXPECT_EQ(run.result.exit_status, 0) << run.result.standard_error;
  EXPECT_EQ(run.warnings, lines);
}

// The run completed no block: it failed with this reason, after these
// warnings, and wrote nothing.
void expect_no_block(const DataRun& run, const std::vector<std::string>& warnings,
                     const std::string& reason) {
  EXPECT_EQ(run.result.exit_status, 1) << run.result.standard_error;
  std::vector<std::string> lines = warnings;
  lines.push_back("ecflux: nothing to write: " + reason);
  std::string last = testing::no_earlier_results(run.folder.path());
  last.pop_back();
  lines.push_back(last);
  EXPECT_EQ(run.warnings, lines);
  EXPECT_EQ(run.folder.names(), (std::vector<std::string>{"ConfigDRAVEK.Dat", "data.txt"}));
}

TEST(DataWarnings, FiveColumns) {
  // One thermistor and one vertical velocity: each record takes two values
  // from the next line, and the rest of that line is lost.
  std::string data = "header\n";
  for (int i = 0; i < 1300; ++i) data += std::to_string(i * 0.1) + " 10.0 -3.0 0.5 4.2\n";
  const DataRun run(data);
  const std::string file = "of the data file " + run.folder.path().string() + "/data.txt";
  ASSERT_GE(run.warnings.size(), 2u);
  EXPECT_EQ(run.warnings[0],
            warning(run, "line 3 " + file +
                             " finishes a record begun on a line before it and holds values after "
                             "it that are not used (a column missing, or a comma at the end of "
                             "the line before?); the records are read as the format says"));
  // Counted at the end over the complete blocks, and the samples the run
  // drops apart.
  ASSERT_GE(run.warnings.size(), 3u);
  EXPECT_NE(run.warnings[run.warnings.size() - 3].find("lines " + file +
                                                       " hold values that are not used"),
            std::string::npos);
  EXPECT_EQ(run.warnings[run.warnings.size() - 2].rfind(warning(run, "in all, "), 0), 0u);
  EXPECT_NE(run.warnings[run.warnings.size() - 2].find("time steps"),
            std::string::npos);  // every other time
  EXPECT_EQ(run.warnings.back().rfind(warning(run, "the "), 0), 0u);
  EXPECT_NE(run.warnings.back().find(" after the last complete block " + file +
                                     ", which the run drops, hold "),
            std::string::npos)
      << run.warnings.back();
}

TEST(DataWarnings, DateAndTimeColumnsFirst) {
  std::string data = "date time ...\n";
  for (int i = 0; i < 700; ++i) {
    char line[160];
    std::snprintf(line, sizeof line, "2024 06 01 00 %02d %06.3f 19.410 -2.1 0.3 0.31 4.2 4.3\n",
                  i / 600, (i % 600) * 0.1);
    data += line;
  }
  const DataRun run(data);
  ASSERT_FALSE(run.warnings.empty());
  EXPECT_EQ(run.warnings[0],
            warning(run, "line 2 of the data file " + run.data_path +
                             " holds more than seven values; the values after the seventh are not "
                             "used (columns of date and time before the seven?)"));
  // Counted once at the end: every record of the one complete block, then
  // the 100 records after it, which the run drops, apart.
  // (The year in the place of the time makes every step uneven, too.)
  const auto told = [&run](const std::string& line) {
    return std::find(run.warnings.begin(), run.warnings.end(), line) != run.warnings.end();
  };
  EXPECT_TRUE(told(warning(run, "in all, 600 lines of the data file " + run.data_path +
                                    " hold values that are not used")));
  EXPECT_TRUE(
      told(warning(run, "in all, 599 time steps in 1 block of the data file " + run.data_path +
                            " are further than half a sample interval from 1/fs")));
  EXPECT_EQ(run.warnings.back(),
            warning(run, "the 100 samples after the last complete block of the data file " +
                             run.data_path +
                             ", which the run drops, hold 99 time steps further than half a "
                             "sample interval from 1/fs and 100 lines with values not used"));
}

TEST(DataWarnings, TrailingCommaTakesAValueFromTheNextLine) {
  // A record whose last value was lost, with the comma before it left at
  // the end of the line.
  std::string line = ten_hertz_record(300, 30.0);
  line.erase(line.rfind(' '));
  for (char& c : line) c = c == ' ' ? ',' : c;
  line += ',';
  const std::string data =
      "header\n" + ten_hertz_records(300) + line + "\n" + ten_hertz_records(999, 30.1, 301);
  const DataRun run(data);
  ASSERT_FALSE(run.warnings.empty());
  EXPECT_EQ(run.warnings[0].rfind(warning(run, "line 303 of the data file " + run.data_path +
                                                   " finishes a record begun on a line before"),
                                  0),
            0u)
      << run.warnings[0];
  // The record lost is a gap of one sample in the block.
  EXPECT_NE(run.result.standard_error.find("is not evenly sampled"), std::string::npos);
}

TEST(DataWarnings, GapAndBackwardTime) {
  {
    // A five-minute gap after the first block's 400th sample.
    const DataRun run("header\n" + ten_hertz_records(400) + ten_hertz_records(900, 340.0, 400));
    expect_warnings(run, {warning(run, "block 1 of the data file " + run.data_path +
                                           " is not evenly sampled: the time on line 402 is 300.1 "
                                           "after the sample before it, where a sample interval, "
                                           "1/fs, is 0.1 (times taken to be in seconds): a gap, a "
                                           "repeated or a backward time; the block is used as it "
                                           "is")});
    EXPECT_EQ(split_records(run.result.standard_output).size(), 2u);
  }
  {
    const DataRun run("header\n" + ten_hertz_records(700) + ten_hertz_records(600, 65.0, 700));
    expect_warnings(run, {warning(run, "block 2 of the data file " + run.data_path +
                                           " is not evenly sampled: the time on line 702 is -4.9 "
                                           "after the sample before it, where a sample interval, "
                                           "1/fs, is 0.1 (times taken to be in seconds): a gap, a "
                                           "repeated or a backward time; the block is used as it "
                                           "is")});
  }
}

TEST(DataWarnings, FillValuesInTheColumnsInUse) {
  std::string data = "header\n" + ten_hertz_records(650) + "65.0 1 2 3 4 5 -9999\n" +
                     "65.1 9999 2 3 4 5 6\n" + ten_hertz_records(700, 65.2, 652);
  const DataRun run(data);
  expect_warnings(run, {warning(run, "line 652 of the data file " + run.data_path +
                                         " holds a temperature of -9999 °C in column 7, outside "
                                         "-5 to 50 °C (a fill value?); it is used as it is"),
                        warning(run, "in all, 2 records of the data file " + run.data_path +
                                         " hold implausible values")});
  // Column 6 is not in use: a fill value there is not told.
  data = "header\n" + ten_hertz_records(650) + "65.0 1 2 3 4 -9999 6\n" +
         ten_hertz_records(700, 65.1, 651);
  expect_warnings(DataRun(data), {});
}

TEST(DataWarnings, TimesInSecondsOfTheDay) {
  const DataRun run("header\n" + ten_hertz_records(1300, 86000.0));
  expect_warnings(run, {warning(run, "line 2 of the data file " + run.data_path +
                                         " has the time 86000, which cumflux.out and CFSHIFT.out "
                                         "cannot hold: they write times of 1000 or more, and of "
                                         "-100 or less, as asterisks; give times relative to the "
                                         "start of the deployment (in hours or days) to keep them"),
                        warning(run, "in all, 1,200 times of the data file " + run.data_path +
                                         " are written as asterisks in cumflux.out and "
                                         "CFSHIFT.out")});
}

TEST(DataWarnings, RunsThatWriteNoBlock) {
  {
    ConfigurationText config;
    config.start_time = "5000";
    const DataRun run("header\n" + ten_hertz_records(700), config);
    expect_no_block(run, {},
                    "no record of the data file " + run.data_path +
                        " has a time at or after the start time 5000 (the last is 69.9)");
  }
  {
    ConfigurationText config;
    config.end_time = "100";
    const DataRun run("header\n" + ten_hertz_records(700, 3600.0), config);
    expect_no_block(run, {},
                    "the end time 100 is before the first record's time 3600 in the data file " +
                        run.data_path);
  }
  {
    ConfigurationText config;
    config.start_time = "10";
    const DataRun run("header\n" + ten_hertz_records(500), config);
    expect_no_block(run, {},
                    "the data file " + run.data_path +
                        " holds 400 samples after the start time; a block needs 600");
  }
}

TEST(DataWarnings, CleanDataAreSilent) {
  {
    TempFolder folder;
    std::filesystem::copy(EXAMPLES_FOLDER "/ConfigDRAVEK.Dat", folder / "ConfigDRAVEK.Dat");
    std::filesystem::copy(EXAMPLES_FOLDER "/example.dat", folder / "example.dat");
    const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path());
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.standard_error, "");
    EXPECT_EQ(run.standard_output.find('*'), std::string::npos);
    for (const char* name : {"results.out", "cumflux.out", "CFSHIFT.out", "Cospectra.out"}) {
      EXPECT_EQ(folder.read(name).find('*'), std::string::npos) << name;
    }
  }
  // A record that wraps over two lines and ends at a line end.
  std::string wrapped = ten_hertz_record(650, 65.0);
  wrapped[wrapped.find(' ', wrapped.find(' ') + 1)] = '\n';
  expect_warnings(
      DataRun("header\n" + ten_hertz_records(650) + wrapped + ten_hertz_records(700, 65.1, 651)),
      {});
  // A clean record with times in days since the start of the deployment.
  std::string days = "header\n";
  for (int i = 0; i < 1300; ++i) {
    const std::string line = ten_hertz_record(i, 0.0);
    char time[32];
    std::snprintf(time, sizeof time, "%.12f", 3.0 + i / 864000.0);
    days += time + line.substr(line.find(' '));
  }
  expect_warnings(DataRun(days), {});
}

}  // namespace
}  // namespace ecflux
