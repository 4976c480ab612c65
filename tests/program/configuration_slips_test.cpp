// Slips in typing the configuration that read as another value: a run warns
// about each, naming the line, before it reads the data, and --strict will
// not go on with them.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/program/run_files.h"

namespace ecflux {
namespace {

using testing::ConfigurationText;
using testing::TempFolder;

// The configuration's text with its line `number` (from 1) replaced.
std::string with_line(const std::string& text, int number, const std::string& line) {
  std::size_t start = 0;
  for (int i = 1; i < number; ++i) start = text.find("\r\n", start) + 2;
  return text.substr(0, start) + line + text.substr(text.find("\r\n", start));
}

// A run folder with this configuration and two blocks of clean data.
struct SlipRun {
  TempFolder folder;

  explicit SlipRun(const std::string& configuration) {
    folder.write("ConfigDRAVEK.Dat", configuration);
    folder.write("data.txt", "header\n" + testing::ten_hertz_records(1300));
  }

  // A warning about the configuration's line `line`.
  std::string warning(int line, const std::string& text) const {
    return "ecflux: warning: line " + std::to_string(line) + " of the configuration " +
           (folder / "ConfigDRAVEK.Dat").string() + ": " + text;
  }
};

TEST(ConfigurationSlips, AWindowTypedTwoColumnsRight) {
  ConfigurationText config;
  config.block_seconds = "600";
  config.window_seconds = "  300";  // reads as 30: its "0" is past column 27
  SlipRun slip(config.text());
  slip.folder.write("data.txt", "header\n" + testing::ten_hertz_records(6100));
  const std::string warning =
      slip.warning(39,
                   "\"0\" after column 27 is not read (running-mean window); is a value typed too "
                   "far to the right?");
  const auto run = testing::run_ecflux(slip.folder);
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(testing::lines_of(run.standard_error), std::vector<std::string>{warning});
  EXPECT_EQ(testing::read_run_record(slip.folder)["configuration"]["fields"][8]["value"], 30.0);

  // With --strict the warning fails the run, and the results stay as they were.
  const auto before = testing::folder_state(slip.folder.path());
  const auto strict = testing::run_ecflux(slip.folder, {"--strict"});
  EXPECT_EQ(strict.exit_status, 1);
  EXPECT_EQ(strict.standard_error,
            warning + "\necflux: --strict: the run gave 1 warning; nothing was replaced\n" +
                testing::earlier_results_unchanged(slip.folder.path()));
  EXPECT_EQ(testing::folder_state(slip.folder.path()), before);
}

TEST(ConfigurationSlips, AChannelFlagTypedTwoColumnsRightOrAfterATab) {
  {
    // "1" meant for column 24, which stays blank: the second channel is taken.
    ConfigurationText config;
    config.temperature_select = "  1";
    SlipRun slip(config.text());
    const auto run = testing::run_ecflux(slip.folder);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(testing::lines_of(run.standard_error),
              (std::vector<std::string>{
                  slip.warning(37,
                               "\" 1\" after column 24 is not read (temperature column); is a "
                               "value typed too far to the right?"),
                  slip.warning(37,
                               "column 24 (temperature column) is blank, which chooses data "
                               "column 7; write 0 or 1 there")}));
    EXPECT_EQ(testing::run_ecflux(slip.folder, {"--strict"}).exit_status, 1);
  }
  {
    // A tab after the label is one column: the 1 lands in column 11, and
    // column 24 is blank.
    SlipRun slip(with_line(ConfigurationText{}.text(), 38, "W column:\t1"));
    const std::vector<std::string> warnings = {
        slip.warning(38,
                     "a tab before column 24 counts as one column, so the w column is read from "
                     "column 24 as \"\"; use blanks to reach column 24"),
        slip.warning(38,
                     "column 24 (w column) is blank, which chooses data column 4; write 0 or 1 "
                     "there")};
    const auto strict = testing::run_ecflux(slip.folder, {"--strict"});
    EXPECT_EQ(strict.exit_status, 1);
    EXPECT_EQ(testing::lines_of(strict.standard_error),
              (std::vector<std::string>{
                  warnings[0], warnings[1],
                  "ecflux: --strict: the run gave 2 warnings; nothing was replaced",
                  "ecflux: " + std::filesystem::canonical(slip.folder.path()).string() +
                      " held no earlier results, and none were written"}));
    EXPECT_EQ(slip.folder.names(), (std::vector<std::string>{"ConfigDRAVEK.Dat", "data.txt"}));

    const auto run = testing::run_ecflux(slip.folder);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(testing::lines_of(run.standard_error), warnings);
  }
}

}  // namespace
}  // namespace ecflux
