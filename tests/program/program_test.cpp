// Runs of the built program in temporary folders: the files it writes, its
// standard output and error, and its exit status.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/required_checks.h"
#include "tests/support/test_support.h"

namespace ecflux {
namespace {

using testing::ConfigurationText;
using testing::earlier_results_unchanged;
using testing::no_earlier_results;
using testing::output_names;
using testing::ProcessResult;
using testing::run_program;
using testing::severe;
using testing::split_records;
using testing::TempFolder;
using testing::write_run;

const std::string series_header =
    " " + std::string("        TIME      CUMFLUX        COVAR       ZPRIME      O2PRIME");
const std::string results_header =
    "        TIME   X-VEL   Y-VEL   Z-VEL   Z-STD     MAG MAG-STD   DIR      T(K) T-STD   "
    "FLUX-L   FLUX-R   LINMIN   RUNMIN   LINMAX   RUNMAX    SLMIN SRMIN SLMAX SRMAX";

// `count` records at fs 10 with a little structure, times from `first_time`.
std::string data_records(int count, double first_time = 0.0) {
  std::string text;
  char line[128];
  for (int i = 0; i < count; ++i) {
    std::snprintf(line, sizeof line, "%.1f %.3f %.3f %.3f %.3f %.4f %.4f\r\n", first_time + i * 0.1,
                  10.0 + (i % 7) * 0.3, -4.0 + (i % 5) * 0.2, ((i * 7) % 11 - 5) * 0.1,
                  ((i * 7) % 11 - 5) * 0.1 + 0.01, 4.0 + ((i * 3) % 13) * 0.01,
                  4.0 + ((i * 7 + 2) % 11) * 0.01);
    text += line;
  }
  return text;
}

void expect_no_output_files(const TempFolder& folder) {
  for (const auto& name : output_names) EXPECT_FALSE(folder.exists(name)) << name;
}

TEST(Program, BundledExample) {
  TempFolder folder;
  std::filesystem::copy(EXAMPLES_FOLDER "/ConfigDRAVEK.Dat", folder / "ConfigDRAVEK.Dat");
  std::filesystem::copy(EXAMPLES_FOLDER "/example.dat", folder / "example.dat");
  const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path());
  ASSERT_EQ(run.exit_status, 0) << run.standard_error;
  EXPECT_EQ(run.standard_error, "");

  // 3.5 blocks of 600 samples: three complete blocks.
  const auto results = split_records(folder.read("results.out"));
  ASSERT_EQ(results.size(), 4u);
  EXPECT_EQ(results[0], results_header);
  for (const auto& row : results) EXPECT_EQ(row.size(), 163u);

  const auto lines = split_records(run.standard_output);
  ASSERT_EQ(lines.size(), 3u);
  for (const auto& line : lines) EXPECT_EQ(line.size(), 39u);
  // Times are hours since the start of the deployment, so that every field
  // holds them.
  EXPECT_EQ(lines[0].substr(0, 12), " 0.008319444");

  const auto cumflux = split_records(folder.read("cumflux.out"));
  ASSERT_EQ(cumflux.size(), 1u + 1800u);
  EXPECT_EQ(cumflux[0], series_header);
  for (const auto& row : cumflux) EXPECT_EQ(row.size(), 65u);

  const auto cfshift = split_records(folder.read("CFSHIFT.out"));
  EXPECT_EQ(cfshift[0], series_header);
  EXPECT_GE(cfshift.size(), 1u + 3u * (600u - 20u));

  const auto spectra = split_records(folder.read("Cospectra.out"));
  ASSERT_EQ(spectra.size(), 1u + 104u);  // 2 ... 9, 10 ... 100 by 2, 102 ... 592 by 10
  for (const auto& record : spectra) EXPECT_EQ(record.size(), 37u);
  EXPECT_EQ(spectra[0].substr(0, 10), "      FREQ");
  EXPECT_EQ(spectra[0].substr(10, 9), "   0.0083");
}

TEST(Program, OutputDoesNotDependOnTheOptimiser) {
#ifndef ECFLUX_UNOPTIMISED_PROGRAM
  ECFLUX_SKIP_OR_FAIL(testing::unoptimised_check,
                      "no unoptimised copy of ecflux: configure with -DECFLUX_UNOPTIMISED_CHECK=ON "
                      "(make test UNOPTIMISED_CHECK=ON)");
#else
  TempFolder optimised, unoptimised;
  for (const TempFolder* folder : {&optimised, &unoptimised}) {
    std::filesystem::copy(EXAMPLES_FOLDER "/ConfigDRAVEK.Dat", *folder / "ConfigDRAVEK.Dat");
    std::filesystem::copy(EXAMPLES_FOLDER "/example.dat", *folder / "example.dat");
  }
  const ProcessResult a = run_program(ECFLUX_PROGRAM, optimised.path());
  const ProcessResult b = run_program(ECFLUX_UNOPTIMISED_PROGRAM, unoptimised.path());
  ASSERT_EQ(a.exit_status, 0);
  ASSERT_EQ(b.exit_status, 0);
  EXPECT_EQ(a.standard_output, b.standard_output);
  for (const auto& name : output_names) {
    EXPECT_TRUE(optimised.read(name) == unoptimised.read(name)) << name << " differs";
  }
#endif
}

// The window sweep runs on as many threads as there are processors; the
// files must not depend on how many there are.
TEST(Program, OutputDoesNotDependOnTheNumberOfProcessors) {
  TempFolder one, all;
  ConfigurationText config;
  config.block_seconds = "20";
  config.window_seconds = "5";
  const std::string data = "header\n" + data_records(200 * 21 + 7);
  write_run(one, config, data);
  write_run(all, config, data);
  const ProcessResult a = run_program(ECFLUX_PROGRAM, one.path(), std::chrono::seconds(120), 1);
  const ProcessResult b = run_program(ECFLUX_PROGRAM, all.path());
  ASSERT_EQ(a.exit_status, 0);
  ASSERT_EQ(b.exit_status, 0);
  EXPECT_EQ(split_records(a.standard_output).size(), 21u);
  EXPECT_EQ(a.standard_output, b.standard_output);
  for (const auto& name : output_names) EXPECT_TRUE(one.read(name) == all.read(name)) << name;
}

// A run that completes no block fails with its reason and leaves what the
// folder held: no header-only files in place of earlier results.
TEST(Program, FewerRecordsThanABlockFailAndReplaceNothing) {
  TempFolder folder;
  ConfigurationText config;
  write_run(folder, config, "time u v w w T T\r\n" + data_records(599));
  const std::string reason = "ecflux: nothing to write: the data file " +
                             (folder / "data.txt").string() +
                             " holds 599 samples; a block needs 600\n";
  ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path());
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.standard_output, "");
  EXPECT_EQ(run.standard_error, reason + no_earlier_results(folder.path()));
  expect_no_output_files(folder);

  folder.write("results.out", "earlier results\n");
  run = run_program(ECFLUX_PROGRAM, folder.path());
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.standard_error, reason + earlier_results_unchanged(folder.path()));
  EXPECT_EQ(folder.read("results.out"), "earlier results\n");
  EXPECT_EQ(folder.names(),
            (std::vector<std::string>{"ConfigDRAVEK.Dat", "data.txt", "results.out"}));
}

TEST(Program, ExactBlocksGiveOneColumnEach) {
  TempFolder folder;
  ConfigurationText config;
  write_run(folder, config, "header\n" + data_records(1800));
  const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path());
  ASSERT_EQ(run.exit_status, 0);
  EXPECT_EQ(split_records(run.standard_output).size(), 3u);
  EXPECT_EQ(split_records(folder.read("results.out")).size(), 4u);
  EXPECT_EQ(split_records(folder.read("Cospectra.out"))[0].size(), 37u);
}

TEST(Program, EarlierOutputsAreReplaced) {
  TempFolder folder;
  ConfigurationText config;
  write_run(folder, config, "header\n" + data_records(700));
  const std::string old_content(200000, 'x');
  for (const auto& name : output_names) folder.write(name, old_content);
  const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path());
  ASSERT_EQ(run.exit_status, 0);
  for (const auto& name : output_names) {
    EXPECT_EQ(folder.read(name).find('x'), std::string::npos) << name;
  }
  EXPECT_EQ(split_records(folder.read("cumflux.out")).size(), 601u);
}

TEST(Program, MissingConfigurationCreatesNothing) {
  TempFolder folder;
  const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path());
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(
      run.standard_error,
      severe(29, "file not found, unit 2030, file " + (folder / "ConfigDRAVEK.Dat").string()) +
          "ecflux: no ConfigDRAVEK.Dat in " + folder.path().string() +
          "; see the README's template (a complete one is examples/ConfigDRAVEK.Dat)\n" +
          no_earlier_results(folder.path()));
  expect_no_output_files(folder);
}

TEST(Program, MissingOrEmptyDataFileCreatesNothing) {
  {
    TempFolder folder;
    ConfigurationText config;
    folder.write("ConfigDRAVEK.Dat", config.text());
    const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path());
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.standard_error,
              severe(29, "file not found, unit 8, file " + (folder / "data.txt").string()) +
                  no_earlier_results(folder.path()));
    expect_no_output_files(folder);
  }
  {
    TempFolder folder;
    ConfigurationText config;
    write_run(folder, config, "");
    const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path());
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.standard_error, severe(24, "end-of-file during read, unit 8, file " +
                                                 (folder / "data.txt").string()) +
                                      no_earlier_results(folder.path()));
    expect_no_output_files(folder);
  }
}

TEST(Program, ShortOrMalformedConfiguration) {
  TempFolder folder;
  ConfigurationText config;
  std::string text = config.text();
  folder.write("ConfigDRAVEK.Dat", text.substr(0, text.rfind("window")));
  folder.write("data.txt", "h\n" + data_records(10));
  ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path());
  EXPECT_EQ(run.exit_status, 1);
  // The message as always, then the line that says where to look.
  EXPECT_EQ(run.standard_error, severe(24, "end-of-file during read, unit 2030, file " +
                                               (folder / "ConfigDRAVEK.Dat").string()) +
                                    "ecflux: line 38 is the last; the configuration needs 39 "
                                    "lines (see the README's template)\n" +
                                    no_earlier_results(folder.path()));
  config.block_seconds = "6O";
  folder.write("ConfigDRAVEK.Dat", config.text());
  run = run_program(ECFLUX_PROGRAM, folder.path());
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.standard_error, severe(64, "input conversion error, unit 2030, file " +
                                               (folder / "ConfigDRAVEK.Dat").string()) +
                                    "ecflux: line 36, columns 24-31 (block length): \"6O\" is "
                                    "not a number\n" +
                                    no_earlier_results(folder.path()));
  expect_no_output_files(folder);
}

TEST(Program, RefusedConfigurationsCreateNothingAndNeverHang) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"sample_rate", "0"},   {"sample_rate", "-10"},    {"sample_rate", "0.5"},
      {"block_seconds", "0"}, {"block_seconds", "-600"}, {"window_seconds", ""}};
  for (const auto& [field, value] : cases) {
    TempFolder folder;
    ConfigurationText config;
    if (field == "sample_rate") config.sample_rate = value;
    if (field == "block_seconds") config.block_seconds = value;
    if (field == "window_seconds") config.window_seconds = value;
    write_run(folder, config, "h\n" + data_records(50));
    const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path(), std::chrono::seconds(20));
    EXPECT_FALSE(run.timed_out) << field << " " << value;
    EXPECT_EQ(run.exit_status, 1) << field << " " << value;
    EXPECT_EQ(run.standard_error.rfind("ecflux: ", 0), 0u) << run.standard_error;
    const std::string last_line = no_earlier_results(folder.path());
    ASSERT_TRUE(run.standard_error.ends_with(last_line)) << run.standard_error;
    EXPECT_EQ(run.standard_error.find('\n'), run.standard_error.size() - last_line.size() - 1);
    expect_no_output_files(folder);
  }
}

TEST(Program, BlocksLargerThanTheMachinesMemoryAreRefused) {
  TempFolder folder;
  ConfigurationText config;
  config.sample_rate = "1000000";
  config.block_seconds = "2000";
  write_run(folder, config, "h\n" + data_records(10));
  const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path(), std::chrono::seconds(20));
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.standard_error.rfind("ecflux: blocks of 2000000000 samples need about ", 0), 0u)
      << run.standard_error;
  expect_no_output_files(folder);
}

TEST(Program, ResultsFileThatWouldReplaceAnInputOrOutputIsRefused) {
  for (const std::string results :
       {"data.txt", "./data.txt", "ConfigDRAVEK.Dat", "cumflux.out", "link-to-data"}) {
    TempFolder folder;
    ConfigurationText config;
    config.results_file = results;
    const std::string data = "h\n" + data_records(700);
    write_run(folder, config, data);
    std::filesystem::create_symlink("data.txt", folder / "link-to-data");
    const std::string config_text = folder.read("ConfigDRAVEK.Dat");
    const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path());
    EXPECT_EQ(run.exit_status, 1) << results;
    EXPECT_NE(run.standard_error.find("are the same file"), std::string::npos)
        << run.standard_error;
    EXPECT_EQ(folder.read("data.txt"), data);
    EXPECT_EQ(folder.read("ConfigDRAVEK.Dat"), config_text);
    for (const auto& name : {"Cospectra.out", "cumflux.out", "CFSHIFT.out"}) {
      EXPECT_FALSE(folder.exists(name)) << name;
    }
  }
}

TEST(Program, WriteFailureNamesTheUnitAndReplacesNothing) {
  TempFolder folder;
  ConfigurationText config;
  write_run(folder, config, "h\n" + data_records(1300));
  // The results file is a link to a device that refuses every write. The
  // device is only ever named through the link.
  std::filesystem::create_symlink("/dev/full", folder / "results.out");
  const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path());
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.standard_error,
            severe(38, "error during write, unit 9, file " + (folder / "results.out").string()) +
                no_earlier_results(folder.path()));
  struct stat device {};
  ASSERT_EQ(::stat("/dev/full", &device), 0);
  EXPECT_TRUE(S_ISCHR(device.st_mode));
  EXPECT_TRUE(std::filesystem::is_symlink(folder / "results.out"));
  // The other outputs were written aside and are gone with the run.
  EXPECT_EQ(folder.names(),
            (std::vector<std::string>{"ConfigDRAVEK.Dat", "data.txt", "results.out"}));
}

TEST(Program, UnreadableRecordEndsTheInputWithAWarning) {
  TempFolder folder;
  ConfigurationText config;
  write_run(folder, config,
            "h\n" + data_records(1203) + "120.3 1 2 NaN 4 5 6\n" + data_records(600, 200));
  const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path());
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.standard_error, "ecflux: warning: line 1205 of the data file " +
                                    (folder / "data.txt").string() +
                                    " holds a value that is not a number; the input ends there "
                                    "and the block in progress is dropped\n");
  EXPECT_EQ(split_records(run.standard_output).size(), 2u);
  EXPECT_EQ(split_records(folder.read("Cospectra.out"))[0].size(), 28u);
}

TEST(Program, TwoHeaderLinesEndTheInputAtOnce) {
  TempFolder folder;
  ConfigurationText config;
  write_run(folder, config, "first header\nsecond header\n" + data_records(700));
  const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path());
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.standard_output, "");
  EXPECT_NE(run.standard_error.find("line 2 of the data file"), std::string::npos);
}

TEST(Program, SlowSamplingEndsNormally) {
  TempFolder folder;
  ConfigurationText config;
  config.sample_rate = "2";
  config.block_seconds = "60";
  config.window_seconds = "10";
  write_run(folder, config, "header\n" + data_records(250));
  const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path(), std::chrono::seconds(20));
  ASSERT_FALSE(run.timed_out);
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(split_records(run.standard_output).size(), 2u);
  // Windows 2 ... 21 by one sample, then 23 ... 119 by two.
  EXPECT_EQ(split_records(folder.read("Cospectra.out")).size(), 1u + 20u + 49u);
}

}  // namespace
}  // namespace ecflux
