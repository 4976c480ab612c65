// What a run warns about reaches its results: each block's row of blocks.csv
// counts what its records showed and carries a quality flag, run.json holds
// every warning printed, and --strict fails a run that gives any. The stored
// record "gaps" holds a gap, fill values and a wrapped record in blocks of
// their own (its configuration lists them).

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/program/run_files.h"

namespace ecflux {
namespace {

using testing::TempFolder;

std::int64_t integer(const std::string& field) { return std::stoll(field); }

TEST(WarningsInTheResults, EachBlockCountsWhatItsRecordsShowedAndIsFlagged) {
  TempFolder folder;
  testing::copy_record("gaps", folder);
  const auto run = testing::run_ecflux(folder, {"--csv"});
  ASSERT_EQ(run.exit_status, 0) << run.standard_error;
  const auto blocks = testing::csv_rows(folder.read("blocks.csv"));

  struct Expected {
    std::int64_t uneven_steps, implausible_values, values_unread;
    bool delay_at_edge;
    int flag;
  };
  const std::vector<Expected> expected = {
      {0, 0, 0, false, 0},  // clean
      {1, 0, 0, false, 2},  // five minutes without samples: do not use
      {0, 2, 0, false, 2},  // fill values: do not use
      {0, 0, 1, false, 1},  // a value of a wrapped record not read: use with care
      {0, 0, 0, true, 1},   // the delay search peaks at its edge: use with care
      {0, 0, 0, false, 0},  // clean
  };
  ASSERT_EQ(blocks.size(), expected.size());
  for (std::size_t b = 0; b < expected.size(); ++b) {
    SCOPED_TRACE("block " + std::to_string(b + 1));
    const auto& row = blocks[b];
    EXPECT_EQ(integer(row.at("uneven_steps")), expected[b].uneven_steps);
    EXPECT_EQ(integer(row.at("implausible_values")), expected[b].implausible_values);
    EXPECT_EQ(integer(row.at("values_unread")), expected[b].values_unread);
    EXPECT_EQ(row.at("delay_linear_at_edge"), expected[b].delay_at_edge ? "1" : "0");
    EXPECT_EQ(row.at("delay_run_at_edge"), expected[b].delay_at_edge ? "1" : "0");
    if (expected[b].delay_at_edge) {
      EXPECT_EQ(row.at("delay_linear_corrected_s"), "-2");
      EXPECT_EQ(row.at("delay_run_corrected_s"), "-2");
    }
    EXPECT_EQ(integer(row.at("quality_flag")), expected[b].flag);
    EXPECT_LT(std::stod(row.at("steady_state_difference_percent")), 100.0);
    // The gap is the largest step, in seconds though the times are minutes.
    EXPECT_NEAR(std::stod(row.at("time_step_max_s")), b == 1 ? 300.25 : 0.25, 1e-5);
  }
  const auto flags = testing::read_run_record(folder)["blocks"]["quality_flags"];
  EXPECT_EQ(flags, nlohmann::json({0, 2, 2, 1, 1, 0}));
}

TEST(WarningsInTheResults, RunJsonHoldsEveryWarningPrinted) {
  TempFolder folder;
  testing::copy_record("gaps", folder);
  const auto run = testing::run_ecflux(folder);
  ASSERT_EQ(run.exit_status, 0) << run.standard_error;
  const auto printed = testing::lines_of(run.standard_error);
  const auto warnings = testing::read_run_record(folder)["warnings"];
  ASSERT_EQ(warnings.size(), printed.size());
  for (std::size_t i = 0; i < printed.size(); ++i) {
    EXPECT_EQ(printed[i], "ecflux: warning: " + warnings[i]["text"].get<std::string>());
    EXPECT_EQ(warnings[i]["file"], (folder / "gaps.dat").string());
  }
  struct Expected {
    std::string kind;
    std::int64_t line, count;
  };
  // The total of fill values counts the written blocks' two; the one among
  // the samples the run drops is told apart.
  const std::vector<Expected> expected = {{"uneven_sampling", 182, 1},
                                          {"implausible_value", 272, 1},
                                          {"values_unread", 413, 1},
                                          {"implausible_value", 272, 2},
                                          {"dropped_samples", 743, 50}};
  ASSERT_EQ(warnings.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(warnings[i]["kind"], expected[i].kind) << i;
    EXPECT_EQ(warnings[i]["line"], expected[i].line) << i;
    EXPECT_EQ(warnings[i]["count"], expected[i].count) << i;
  }
  EXPECT_NE(printed[3].find("in all, 2 records "), std::string::npos) << printed[3];
  EXPECT_NE(printed[4].find("the 50 samples after the last complete block "), std::string::npos)
      << printed[4];
}

TEST(WarningsInTheResults, StrictRefusesToReplaceResultsWithWarnings) {
  TempFolder folder;
  testing::copy_record("gaps", folder);
  ASSERT_EQ(testing::run_ecflux(folder).exit_status, 0);
  const auto before = testing::folder_state(folder.path());

  const auto check = testing::run_ecflux(folder, {"--check", "--strict"});
  EXPECT_EQ(check.exit_status, 1);
  EXPECT_EQ(check.standard_error,
            "ecflux: --strict: a run would give 5 warnings and replace nothing\n");

  const auto strict = testing::run_ecflux(folder, {"--strict", "--csv"});
  EXPECT_EQ(strict.exit_status, 1);
  auto lines = testing::lines_of(strict.standard_error);
  ASSERT_EQ(lines.size(), 7u) << strict.standard_error;
  EXPECT_EQ(lines[5], "ecflux: --strict: the run gave 5 warnings; nothing was replaced");
  EXPECT_EQ(lines[6] + "\n", testing::earlier_results_unchanged(folder.path()));
  EXPECT_EQ(testing::folder_state(folder.path()), before);
}

TEST(WarningsInTheResults, TheLargestStepOfABlockWhoseTimesGoBack) {
  // The clock set back by five seconds in the first block.
  TempFolder folder;
  testing::write_run(
      folder, testing::ConfigurationText{},
      "header\n" + testing::ten_hertz_records(300) + testing::ten_hertz_records(900, 25.0, 300));
  const auto run = testing::run_ecflux(folder, {"--csv"});
  ASSERT_EQ(run.exit_status, 0) << run.standard_error;
  const auto blocks = testing::csv_rows(folder.read("blocks.csv"));
  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_NEAR(std::stod(blocks[0].at("time_step_max_s")), 4.9, 1e-9);
  EXPECT_EQ(blocks[0].at("uneven_steps"), "1");
  EXPECT_EQ(blocks[0].at("quality_flag"), "2");
  EXPECT_NEAR(std::stod(blocks[1].at("time_step_max_s")), 0.1, 1e-9);
  EXPECT_EQ(blocks[1].at("quality_flag"), "0");
}

}  // namespace
}  // namespace ecflux
