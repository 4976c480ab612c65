// The options of quality control as a whole: --qc on the bundled example,
// the check's prediction of a run with them, and the mistakes on the
// command line that are refused before anything is read.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/quality/quality_runs.h"

namespace ecflux {
namespace {

using quality_testing::CsvTable;
using quality_testing::lines_of;
using quality_testing::run_ecflux;
using testing::ProcessResult;
using testing::TempFolder;

void copy_example(const TempFolder& folder) {
  std::filesystem::copy(EXAMPLES_FOLDER "/ConfigDRAVEK.Dat", folder / "ConfigDRAVEK.Dat");
  std::filesystem::copy(EXAMPLES_FOLDER "/example.dat", folder / "example.dat");
}

// The line of the check's report that begins with `label`, without it.
std::string reported(const std::string& report, const std::string& label) {
  for (const std::string& line : lines_of(report)) {
    if (line.rfind("  " + label, 0) == 0) {
      const std::size_t value = line.find_first_not_of(' ', label.size() + 2);
      return value == std::string::npos ? "" : line.substr(value);
    }
  }
  ADD_FAILURE() << "no \"" << label << "\" in\n" << report;
  return {};
}

std::size_t result_rows(const TempFolder& folder) {
  return lines_of(folder.read("results.out")).size() - 1;
}

TEST(QualityOptions, TheUsualSetRunsOnTheExample) {
  TempFolder plain, controlled;
  copy_example(plain);
  copy_example(controlled);
  const ProcessResult plain_run = run_ecflux(plain.path(), {"--csv"});
  ASSERT_EQ(plain_run.exit_status, 0) << plain_run.standard_error;
  const ProcessResult run = run_ecflux(controlled.path(), {"--qc", "--csv"});
  ASSERT_EQ(run.exit_status, 0) << run.standard_error;
  EXPECT_EQ(run.standard_error, "");

  EXPECT_EQ(result_rows(controlled), result_rows(plain));
  EXPECT_FALSE(plain.exists("cospectra.csv"));
  const CsvTable blocks(controlled / "blocks.csv");
  for (const std::string name : {"missing_samples", "spikes_w", "yaw_deg",
                                 "flux_linear_random_error_W_m2", "ogive_not_levelled"}) {
    EXPECT_TRUE(blocks.has(name)) << name;
  }
  const CsvTable spectra(controlled / "cospectra.csv");
  EXPECT_EQ(spectra.number(0, "block"), 1);
  EXPECT_EQ(spectra.number(spectra.rows() - 1, "block"), static_cast<double>(blocks.rows()));
  const std::string record = controlled.read("run.json");
  EXPECT_NE(record.find("\"rotation\": \"double\""), std::string::npos) << record;
  EXPECT_NE(record.find("-9999"), std::string::npos);
}

TEST(QualityOptions, TheCheckPredictsTheRun) {
  // Four blocks of 60 s at 10 Hz with a NaN in the second: without --missing
  // it ends the input at its line; with --qc the run reads all four blocks.
  quality_testing::FieldRecord record = quality_testing::turbulent_field(2400, 600, 10.0, 17);
  record.words[{700, 3}] = "NaN";
  record.words[{1500, 6}] = "-9999";
  TempFolder folder;
  quality_testing::write_field_run(folder, record, 60);

  const ProcessResult plain_check = run_ecflux(folder.path(), {"--check"});
  EXPECT_EQ(plain_check.exit_status, 0) << plain_check.standard_error;
  EXPECT_EQ(reported(plain_check.standard_output, "complete blocks").substr(0, 3), "1, ");
  EXPECT_EQ(reported(plain_check.standard_output, "the input ends"),
            "at line 702: a value that is not a number");

  const ProcessResult check = run_ecflux(folder.path(), {"--qc", "--check"});
  EXPECT_EQ(check.exit_status, 0) << check.standard_error;
  EXPECT_EQ(reported(check.standard_output, "complete blocks").substr(0, 3), "4, ");
  EXPECT_EQ(reported(check.standard_output, "the input ends"), "at the end of the file");
  const ProcessResult run = run_ecflux(folder.path(), {"--qc"});
  ASSERT_EQ(run.exit_status, 0) << run.standard_error;
  EXPECT_EQ(result_rows(folder), 4u);
}

TEST(QualityOptions, TheCheckPredictsThePlaneAndItsRefusal) {
  TempFolder example;
  copy_example(example);
  const ProcessResult check = run_ecflux(example.path(), {"--check", "--rotate", "planar"});
  EXPECT_EQ(check.exit_status, 0) << check.standard_error;
  const std::string plane = reported(check.standard_output, "plane of the mean currents");
  const ProcessResult run = run_ecflux(example.path(), {"--rotate", "planar"});
  ASSERT_EQ(run.exit_status, 0) << run.standard_error;
  const std::string record = example.read("run.json");
  const auto recorded = [&](const std::string& name) {
    const std::size_t at = record.find("\"" + name + "\"", record.find("\"plane\""));
    return std::strtod(record.c_str() + record.find(':', at) + 1, nullptr);
  };
  ASSERT_EQ(plane.rfind("pitch ", 0), 0u) << plane;
  EXPECT_EQ(std::strtod(plane.c_str() + 6, nullptr), recorded("pitch_deg"));
  EXPECT_EQ(std::strtod(plane.c_str() + plane.find("roll ") + 5, nullptr), recorded("roll_deg"));

  // Two blocks give no plane: the check and the run refuse alike.
  TempFolder short_record;
  quality_testing::write_field_run(short_record,
                                   quality_testing::turbulent_field(1200, 600, 10.0, 3), 60);
  const auto before = short_record.names();
  const ProcessResult refused_check =
      run_ecflux(short_record.path(), {"--check", "--rotate", "planar"});
  const ProcessResult refused_run = run_ecflux(short_record.path(), {"--rotate", "planar"});
  for (const ProcessResult& refused : {refused_check, refused_run}) {
    EXPECT_EQ(refused.exit_status, 1);
    EXPECT_NE(refused.standard_error.find("--rotate planar needs the mean currents of three "
                                          "blocks or more"),
              std::string::npos)
        << refused.standard_error;
  }
  EXPECT_EQ(short_record.names(), before);
}

TEST(QualityOptions, MistakesShowTheUsageAndEndWithTwo) {
  TempFolder folder;
  copy_example(folder);
  const auto before = folder.names();
  const std::vector<std::vector<std::string>> mistakes = {
      {"--rotate", "sideways"},   {"--rotate"},       {"--missing"},
      {"--missing", "--despike"}, {"--missing=abc"},  {"--missing-allowance", "120"},
      {"--missing-allowance=-1"}, {"--density", "0"}, {"--heat-capacity", "nan"},
      {"--qc", "--despike=yes"}};
  for (const auto& arguments : mistakes) {
    std::string what;
    for (const std::string& argument : arguments) what += argument + " ";
    const ProcessResult run = run_ecflux(folder.path(), arguments);
    EXPECT_EQ(run.exit_status, 2) << what;
    EXPECT_NE(run.standard_error.find("usage: ecflux"), std::string::npos) << what;
    EXPECT_EQ(run.standard_output, "") << what;
  }
  EXPECT_EQ(folder.names(), before);
  // The usage names every option of quality control.
  const std::string usage = run_ecflux(folder.path(), {"--help"}).standard_output;
  for (const char* option :
       {"--missing VALUE", "--missing-allowance", "--despike", "--rotate double|planar",
        "--uncertainty", "--spectra", "--density", "--heat-capacity", "--qc"}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
}

}  // namespace
}  // namespace ecflux
