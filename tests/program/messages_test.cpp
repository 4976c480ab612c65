// What ecflux says when it cannot go on: a failure that a slip in the
// configuration explains names the slip on a second line, text from the
// files is shown with its control characters escaped, and --help names every
// exit status.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/program/run_files.h"

namespace ecflux {
namespace {

using testing::ConfigurationText;
using testing::TempFolder;

// The run's failure and the check's are the same lines; the run adds what
// the folder still holds.
void expect_failure(const TempFolder& folder, const std::vector<std::string>& lines) {
  const auto run = testing::run_ecflux(folder);
  EXPECT_EQ(run.exit_status, 1);
  std::vector<std::string> told = lines;
  told.push_back("ecflux: " + std::filesystem::canonical(folder.path()).string() +
                 " held no earlier results, and none were written");
  EXPECT_EQ(testing::lines_of(run.standard_error), told);
  const auto check = testing::run_ecflux(folder, {"--check"});
  EXPECT_EQ(check.exit_status, 1);
  EXPECT_EQ(testing::lines_of(check.standard_error), lines);
}

TEST(Messages, AFailureThatASlipExplainsNamesItOnASecondLine) {
  {
    // A tab before the sample rate: columns 24-31 are blank, so the rate is 0.
    TempFolder folder;
    ConfigurationText config;
    std::string text = config.text();
    const std::string rate_line = std::string("sample rate").append(12, ' ') + "10.0";
    text.replace(text.find(rate_line), rate_line.size(), "Sample rate (Hz):\t10.0");
    testing::write_file(folder / "ConfigDRAVEK.Dat", text);
    folder.write("data.txt", "header\n" + testing::ten_hertz_records(700));
    expect_failure(
        folder, {"ecflux: sample_rate 0 in line 33 of ConfigDRAVEK.Dat must be greater than zero",
                 "ecflux: line 33 holds a tab before its value, which counts as one column: the "
                 "value is read from the wrong columns; use blanks (ecflux --check shows each "
                 "field as read)"});
  }
  {
    // The name's 21st character and on are past the field: the name is cut.
    TempFolder folder;
    ConfigurationText config;
    config.data_file = "mooring-7-adcp-2024-06.dat";
    testing::write_run(folder, config, "header\n" + testing::ten_hertz_records(700));
    expect_failure(
        folder, {"forrtl: severe (29): file not found, unit 8, file " +
                     (folder / "mooring-7-adcp-2024-").string(),
                 "ecflux: the data file name fills all 20 columns of its field (line 29, columns "
                 "24-43): a longer name is cut there; rename the file or give a shorter path"});
  }
}

TEST(Messages, ControlCharactersFromTheFilesAreShownEscaped) {
  // A data file name with an escape sequence that would clear the terminal.
  TempFolder folder;
  ConfigurationText config;
  config.data_file = "data\x1b[2J.txt";
  folder.write("ConfigDRAVEK.Dat", config.text());
  const std::string shown = (folder / "data\\x1B[2J.txt").string();
  expect_failure(folder, {"forrtl: severe (29): file not found, unit 8, file " + shown});

  folder.write(config.data_file, "header\n" + testing::ten_hertz_records(700));
  const auto check = testing::run_ecflux(folder, {"--check"});
  EXPECT_EQ(check.exit_status, 0) << check.standard_error;
  EXPECT_EQ(check.standard_output.find('\x1b'), std::string::npos);
  EXPECT_NE(check.standard_output.find("\"data\\x1B[2J.txt\""), std::string::npos)
      << check.standard_output;
  EXPECT_NE(check.standard_output.find("Data " + shown + ":\n"), std::string::npos);
}

TEST(Messages, HelpNamesEveryExitStatus) {
  TempFolder folder;
  const auto help = testing::run_ecflux(folder, {"--help"});
  EXPECT_EQ(help.exit_status, 0);
  std::string text = help.standard_output;
  for (char& c : text) c = c == '\n' ? ' ' : c;
  for (const char* status : {"Exit status: 0 done,", " 1 a failure,",
                             " 2 a mistake on the command line,", " 128 + N stopped by signal N"}) {
    EXPECT_NE(text.find(status), std::string::npos) << status << "\n" << help.standard_output;
  }
}

}  // namespace
}  // namespace ecflux
