// ecflux --check: the report of a run that is not made, and the same
// refusals and failures as a run.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace ecflux {
namespace {

using testing::ConfigurationText;
using testing::earlier_results_unchanged;
using testing::no_earlier_results;
using testing::ProcessOptions;
using testing::ProcessResult;
using testing::run_program;
using testing::severe;
using testing::TempFolder;
using testing::write_run;

ProcessResult check(const TempFolder& folder) {
  ProcessOptions options;
  options.arguments = {"--check"};
  options.limit = std::chrono::seconds(60);
  return run_program(ECFLUX_PROGRAM, folder.path(), options);
}

void expect_lines(const std::string& report, const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    EXPECT_NE(report.find(line + "\n"), std::string::npos) << "missing: " << line << "\n" << report;
  }
}

TEST(Check, TheExampleIsReportedAndNothingIsWritten) {
  TempFolder folder;
  std::filesystem::copy(EXAMPLES_FOLDER "/ConfigDRAVEK.Dat", folder / "ConfigDRAVEK.Dat");
  std::filesystem::copy(EXAMPLES_FOLDER "/example.dat", folder / "example.dat");
  const auto before = folder.names();
  const ProcessResult run = check(folder);
  EXPECT_EQ(run.exit_status, 0) << run.standard_error;
  EXPECT_EQ(run.standard_error, "");
  EXPECT_EQ(folder.names(), before);
  expect_lines(
      run.standard_output,
      {"    29  24-43    data file name       \"example.dat\"           example.dat",
       "    33  24-31    sample rate          \"10.0\"                  10 samples a second",
       "    36  24-31    block length         \"60\"                    60 s",
       "    37  24       temperature column   \"0\"                     data column 7",
       "  samples per block (N)        600 = 10 (the whole sample rate) x 60 s",
       "  running-mean window (W)      300 samples = trunc(30 s x 10)",
       "  window lengths of the sweep  104",
       "  delays searched              0 to 20 samples (0 to 2 s)",
       "  lines read                   2,101", "  records read                 2,100",
       "  first and last time          0 and 0.058305556",
       "  complete blocks              3, and 300 samples left over, which a run drops",
       "  the input ends               at the end of the file", "Warnings: none."});
  EXPECT_NE(run.standard_output.find("times taken to be in hours"), std::string::npos);
}

// A window typed two columns to the right reads as 30, not 300: the check
// shows the text right of the field.
TEST(Check, TextRightOfANumberIsFlagged) {
  TempFolder folder;
  ConfigurationText config;
  config.block_seconds = "600";
  config.window_seconds = "  300";
  write_run(folder, config, "header\n" + testing::ten_hertz_records(6100));
  const ProcessResult run = check(folder);
  EXPECT_EQ(run.exit_status, 0) << run.standard_error;
  expect_lines(run.standard_output,
               {"    39  24-27    running-mean window  \"  30\"                  30 s",
                "  ! line 39 of the configuration " + (folder / "ConfigDRAVEK.Dat").string() +
                    ": \"0\" after column 27 is not read (running-mean window); is a value "
                    "typed too far to the right?"});
  // A W cut to the block is said too.
  config.block_seconds = "60";
  config.window_seconds = "60";
  config.sample_rate = "10.5";
  write_run(folder, config, "header\n" + testing::ten_hertz_records(700));
  expect_lines(check(folder).standard_output,
               {"  running-mean window (W)      600 samples = trunc(60 s x 10.5), cut to N from "
                "630"});
}

TEST(Check, RefusalsAndFailuresAreThoseOfARun) {
  {
    TempFolder folder;
    ConfigurationText config;
    config.sample_rate = "32 Hz";
    write_run(folder, config, "header\n" + testing::ten_hertz_records(10));
    const ProcessResult run = check(folder);
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.standard_output, "");
    EXPECT_EQ(run.standard_error,
              severe(64, "input conversion error, unit 2030, file " +
                             (folder / "ConfigDRAVEK.Dat").string()) +
                  "ecflux: line 33, columns 24-31 (sample rate): \"32 Hz\" is not a number\n");
  }
  {
    TempFolder folder;
    folder.write("ConfigDRAVEK.Dat", "only\none\nor two lines\n" + std::string(10, '\n'));
    const ProcessResult run = check(folder);
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.standard_error,
              severe(24, "end-of-file during read, unit 2030, file " +
                             (folder / "ConfigDRAVEK.Dat").string()) +
                  "ecflux: line 13 is the last; the configuration needs 39 lines (see the "
                  "README's template)\n");
  }
  {
    TempFolder folder;
    ConfigurationText config;
    folder.write("ConfigDRAVEK.Dat", config.text());
    const ProcessResult run = check(folder);
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.standard_error,
              severe(29, "file not found, unit 8, file " + (folder / "data.txt").string()));
  }
  {
    TempFolder folder;
    ConfigurationText config;
    config.results_file = "data.txt";
    write_run(folder, config, "header\n" + testing::ten_hertz_records(700));
    const ProcessResult run = check(folder);
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_NE(run.standard_error.find("are the same file"), std::string::npos);
  }
}

TEST(Check, NoBlockEndsWithTheReason) {
  TempFolder folder;
  ConfigurationText config;
  config.start_time = "500";
  write_run(folder, config, "header\n" + testing::ten_hertz_records(700));
  const ProcessResult run = check(folder);
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.standard_error,
            "ecflux: a run would write no block: no record of the data file " +
                (folder / "data.txt").string() +
                " has a time at or after the start time 500 (the last is 69.9)\n");
  expect_lines(run.standard_output,
               {"  records read                 700, 700 before the start time",
                "  complete blocks              0, and 0 samples left over, which a run drops"});
}

TEST(Check, WarningsAndWhereTheInputEnds) {
  TempFolder folder;
  ConfigurationText config;
  config.end_time = "100";
  std::string data = "header\n" + testing::ten_hertz_records(650) + "65.0 1 2 3 4 5 -9999\n" +
                     testing::ten_hertz_records(700, 65.1);
  write_run(folder, config, data);
  const ProcessResult run = check(folder);
  EXPECT_EQ(run.exit_status, 0);
  expect_lines(run.standard_output,
               {"  complete blocks              1, and 401 samples left over, which a run drops",
                "  the input ends               at line 1003: the time 100.1 is after the end "
                "time 100"});
  EXPECT_NE(run.standard_output.find("  ecflux: warning: line 652 of the data file " +
                                     (folder / "data.txt").string() +
                                     " holds a temperature of -9999 °C in column 7"),
            std::string::npos)
      << run.standard_output;
}

}  // namespace
}  // namespace ecflux
