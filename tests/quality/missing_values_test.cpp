// Missing values through the program: fill values, NaN, Inf and numbers
// beyond a double, bridged within a block's allowance, and a block beyond it
// written as read and flagged.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "tests/quality/quality_runs.h"

namespace ecflux {
namespace {

using quality_testing::CsvTable;
using quality_testing::FieldRecord;
using quality_testing::lines_of;
using quality_testing::run_ecflux;
using quality_testing::write_field_run;
using testing::TempFolder;

constexpr std::size_t block_samples = 600;  // 60 s at 10 Hz
constexpr int block_seconds = 60;

// The data file's columns of the values the run uses (w and temperature
// from their first columns) and of the two it does not.
enum Column {
  time_column = 0,
  u_column = 1,
  v_column = 2,
  w_column = 3,
  unused_w = 4,
  unused_t = 5,
  t_column = 6
};

// A record with missing values, and which of the used values are missing.
struct GappyRecord {
  FieldRecord record;
  std::set<std::pair<std::size_t, int>> missing;

  void put(std::size_t first, std::size_t last, int column, const std::string& word) {
    for (std::size_t i = first; i <= last; ++i) {
      record.words[{i, column}] = word;
      if (column != unused_w && column != unused_t) missing.insert({i, column});
    }
  }
};

// Five blocks of 600 samples. The first holds fill values only, so that a
// run without --missing reads it whole; the second the first word that is
// not a number (sample 650); the third 61 missing samples, one more than
// its allowance of 10 %; the fourth exactly 60.
GappyRecord gappy_record() {
  GappyRecord g{quality_testing::turbulent_field(5 * block_samples, block_samples, 10.0, 21), {}};
  g.put(0, 2, w_column, "-9999");       // at the start of the record
  g.put(98, 98, time_column, "-9999");  // in the block whose steps give the unit of the times
  g.put(100, 103, t_column, "-9999");
  g.put(200, 200, u_column, "-9999");
  g.put(250, 250, unused_w, "-9999");    // not a value the run uses
  g.put(597, 603, w_column, "-9999.0");  // across the boundary of blocks 1 and 2
  g.put(650, 659, t_column, "NaN");
  g.put(700, 700, u_column, "Inf");
  g.put(701, 701, v_column, "-inf");
  g.put(702, 702, v_column, "1e400");
  g.put(703, 703, t_column, "-1E400");
  g.put(800, 800, unused_t, "nan");
  g.put(900, 900, w_column, "nan");
  g.put(900, 900, t_column, "-9999");
  g.put(1000, 1000, time_column, "NaN");
  g.put(1300, 1360, w_column, "-9999");
  g.put(1850, 1879, u_column, "-9999");
  g.put(2000, 2029, t_column, "NaN");
  g.put(2500, 2500, v_column, "NaN");
  g.put(2997, 2999, t_column, "-9999");  // at the end of the record
  return g;
}

// The reference bridging, written here on its own: within each block, each
// missing value takes the straight line between the nearest good values of
// its variable before and after it; a run of missing values at either end
// of the block takes the nearest good value.
void bridge(std::vector<double>& values, const std::vector<bool>& missing, std::size_t begin,
            std::size_t end) {
  for (std::size_t i = begin; i < end; ++i) {
    if (!missing[i]) continue;
    std::size_t before = i, after = i;
    bool has_before = false, has_after = false;
    for (std::size_t k = i; k-- > begin;) {
      if (!missing[k]) {
        before = k;
        has_before = true;
        break;
      }
    }
    for (std::size_t k = i + 1; k < end; ++k) {
      if (!missing[k]) {
        after = k;
        has_after = true;
        break;
      }
    }
    if (has_before && has_after) {
      const double share = static_cast<double>(i - before) / static_cast<double>(after - before);
      values[i] = values[before] + (values[after] - values[before]) * share;
    } else {
      values[i] = has_before ? values[before] : values[after];
    }
  }
}

FieldRecord bridged(const GappyRecord& g) {
  FieldRecord r = g.record;
  r.words.clear();
  const std::pair<int, std::vector<double>*> variables[] = {
      {u_column, &r.u}, {v_column, &r.v}, {w_column, &r.w}, {t_column, &r.temperature}};
  for (const auto& [column, values] : variables) {
    std::vector<bool> missing(r.size());
    for (std::size_t i = 0; i < r.size(); ++i) missing[i] = g.missing.count({i, column}) > 0;
    for (std::size_t begin = 0; begin < r.size(); begin += block_samples) {
      bridge(*values, missing, begin, begin + block_samples);
    }
  }
  return r;
}

std::vector<std::string> result_rows(const TempFolder& folder) {
  std::vector<std::string> rows = lines_of(folder.read("results.out"));
  rows.erase(rows.begin());
  return rows;
}

TEST(MissingValues, WithoutTheOptionTheFirstNonNumberEndsTheInput) {
  const GappyRecord g = gappy_record();
  TempFolder folder;
  write_field_run(folder, g.record, block_seconds);
  const testing::ProcessResult run = run_ecflux(folder.path());
  ASSERT_EQ(run.exit_status, 0) << run.standard_error;
  // Sample 650 is on line 652: one complete block before it.
  EXPECT_NE(run.standard_error.find("warning"), std::string::npos) << run.standard_error;
  EXPECT_NE(run.standard_error.find("652"), std::string::npos) << run.standard_error;
  EXPECT_EQ(result_rows(folder).size(), 1u);
}

TEST(MissingValues, BridgedBlocksEqualARunOfTheRecordBridgedBeforehand) {
  const GappyRecord g = gappy_record();
  TempFolder gappy, reference;
  write_field_run(gappy, g.record, block_seconds);
  write_field_run(reference, bridged(g), block_seconds);
  const testing::ProcessResult run = run_ecflux(gappy.path(), {"--missing", "-9999", "--csv"});
  ASSERT_EQ(run.exit_status, 0) << run.standard_error;
  EXPECT_EQ(run.standard_error, "");
  const testing::ProcessResult plain = run_ecflux(reference.path(), {"--csv"});
  ASSERT_EQ(plain.exit_status, 0) << plain.standard_error;

  const CsvTable blocks(gappy / "blocks.csv");
  const CsvTable expected(reference / "blocks.csv");
  ASSERT_EQ(blocks.rows(), 5u);
  ASSERT_EQ(expected.rows(), 5u);
  EXPECT_EQ(blocks.column("missing_samples"), (std::vector<double>{12, 20, 61, 60, 4}));
  EXPECT_EQ(blocks.column("missing_beyond_allowance"), (std::vector<double>{0, 0, 1, 0, 0}));

  const std::vector<std::string> rows = result_rows(gappy);
  const std::vector<std::string> expected_rows = result_rows(reference);
  ASSERT_EQ(rows.size(), 5u);
  for (const std::size_t block : {0u, 1u, 3u, 4u}) {
    SCOPED_TRACE("block " + std::to_string(block + 1));
    EXPECT_EQ(rows[block], expected_rows[block]);
    for (const std::string& name : expected.names()) {
      const double a = blocks.number(block, name), b = expected.number(block, name);
      // The bridges differ only in rounding: the reference bridges the
      // file's values, the run the values in its own units.
      EXPECT_NEAR(a, b, 1e-9 * std::fabs(b) + 1e-12) << name;
    }
  }

  // The block beyond the allowance is written as read, with the figures
  // that its good values give, and flagged not to be used.
  EXPECT_EQ(blocks.number(2, "quality_flag"), 2);
  EXPECT_EQ(expected.number(2, "quality_flag"), 0);
  for (const std::string name : {"u_mean_cm_s", "v_mean_cm_s", "temperature_mean_K"}) {
    EXPECT_EQ(blocks.text(2, name), expected.text(2, name)) << name;
  }
  EXPECT_EQ(blocks.text(2, "flux_linear_W_m2"), "");

  // The running total of cumflux.out does not take the block beyond the
  // allowance: its rows are not numbers, and the total goes on after it
  // from where it stood, so the last row is a number.
  const std::vector<std::string> cumflux = testing::split_records(gappy.read("cumflux.out"));
  ASSERT_GT(cumflux.size(), 2u);
  EXPECT_EQ(cumflux.back().find("NaN"), std::string::npos) << cumflux.back();
}

TEST(MissingValues, TheAllowanceIsAPercentageOfTheBlock) {
  const GappyRecord g = gappy_record();
  TempFolder folder;
  write_field_run(folder, g.record, block_seconds);
  // 3 % of 600 samples: blocks 1 (12) and 5 (4) are within it.
  const testing::ProcessResult run =
      run_ecflux(folder.path(),
                 {"--missing=-9999", "--missing-allowance", "3", "--missing", "12345", "--csv"});
  ASSERT_EQ(run.exit_status, 0) << run.standard_error;
  const CsvTable blocks(folder / "blocks.csv");
  EXPECT_EQ(blocks.column("missing_beyond_allowance"), (std::vector<double>{0, 1, 1, 1, 0}));
  EXPECT_EQ(blocks.column("quality_flag")[1], 2);
}

TEST(MissingValues, AMissingTimeIsBridgedAndLeavesTheUnitOfTheTimes) {
  // The example with the time of line 100 missing: the first block's steps,
  // which give the unit of the times, hold two that are not numbers.
  TempFolder plain, gappy;
  for (const TempFolder* folder : {&plain, &gappy}) {
    std::filesystem::copy(EXAMPLES_FOLDER "/ConfigDRAVEK.Dat", *folder / "ConfigDRAVEK.Dat");
  }
  const std::string example = testing::read_file(EXAMPLES_FOLDER "/example.dat");
  plain.write("example.dat", example);
  std::vector<std::string> lines = lines_of(example);
  lines[99].replace(0, lines[99].find(' '), "NaN");
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  gappy.write("example.dat", text);

  ASSERT_EQ(run_ecflux(plain.path(), {"--csv"}).exit_status, 0);
  const testing::ProcessResult run = run_ecflux(gappy.path(), {"--missing", "-9999", "--csv"});
  ASSERT_EQ(run.exit_status, 0) << run.standard_error;
  EXPECT_EQ(run.standard_error, "");
  const CsvTable expected(plain / "blocks.csv"), blocks(gappy / "blocks.csv");
  EXPECT_EQ(blocks.column("missing_samples"), (std::vector<double>{1, 0, 0}));
  EXPECT_EQ(blocks.column("uneven_steps"), expected.column("uneven_steps"));
  EXPECT_EQ(blocks.column("quality_flag"), expected.column("quality_flag"));
  EXPECT_NEAR(blocks.number(0, "time_mean"), expected.number(0, "time_mean"), 1e-12);
}

}  // namespace
}  // namespace ecflux
