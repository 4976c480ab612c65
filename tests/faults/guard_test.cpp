// The guard against lost data, tried with every spelling of a file name and
// with the standard streams: an output that would replace an input or another
// output, or standard output or error that is one of the run's files, is refused
// before anything is written, and closed standard streams never let a file of
// the run take their place.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/faults/fault_support.h"
#include "tests/support/test_support.h"

namespace ecflux::faults {
namespace {

using namespace std::chrono_literals;
using testing::ConfigurationText;
using testing::earlier_results_unchanged;
using testing::no_earlier_results;
using testing::output_names;
using testing::ProcessOptions;
using testing::ProcessResult;
using testing::run_program;
using testing::severe;
using testing::split_records;
using testing::TempFolder;
using testing::write_run;

TEST(Guard, OutputsThatDoNotExistYetAreComparedAfterResolvingTheirNames) {
  struct Case {
    std::string results_file;
    std::string link;         // a symbolic link made before the run, if any
    std::string link_target;  // where it points (nowhere yet)
  };
  const std::vector<Case> cases = {
      {"./cumflux.out", "", ""},
      {".//cumflux.out", "", ""},
      {"sub/../cumflux.out", "", ""},
      {"./CFSHIFT.out", "", ""},
      {"./Cospectra.out", "", ""},
      {"r.out", "r.out", "Cospectra.out"},
      {"x.out", "cumflux.out", "CFSHIFT.out"},
      {"sub/../sub/./r.out", "sub/r.out", "../cumflux.out"},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    ConfigurationText config = ten_hertz();
    config.results_file = c.results_file;
    const std::string data = "header\n" + data_records(1300);
    write_run(folder, config, data);
    std::filesystem::create_directory(folder / "sub");
    if (!c.link.empty()) std::filesystem::create_symlink(c.link_target, folder / c.link);
    const auto before = folder.names();

    const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path(), 60s);
    const std::string what = c.results_file + (c.link.empty() ? "" : " with " + c.link);
    EXPECT_EQ(run.exit_status, 1) << what;
    EXPECT_EQ(split_records(run.standard_error).size(), 1u) << what;
    EXPECT_NE(run.standard_error.find("are the same file; nothing was written"), std::string::npos)
        << what << ": " << run.standard_error;
    EXPECT_EQ(run.standard_output, "") << what;
    EXPECT_EQ(folder.names(), before) << what << ": a file was created";
    EXPECT_EQ(folder.read("data.txt"), data) << what;
  }
}

TEST(Guard, DistinctNamesStillRun) {
  for (const std::string results : {"./results.out", "sub/results.out", "sub/../res.out"}) {
    TempFolder folder;
    ConfigurationText config = ten_hertz();
    config.results_file = results;
    write_run(folder, config, "header\n" + data_records(700));
    std::filesystem::create_directory(folder / "sub");
    const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path(), 60s);
    EXPECT_EQ(run.exit_status, 0) << results << ": " << run.standard_error;
    EXPECT_EQ(split_records(folder.read(results)).size(), 2u) << results;
  }
}

// As "ecflux > results.out": the shell has created the file already.
TEST(Guard, StandardOutputThatIsOneOfTheRunsFilesIsRefused) {
  for (const std::string name : {"results.out", "cumflux.out", "Cospectra.out"}) {
    TempFolder folder;
    write_run(folder, ten_hertz(), "header\n" + data_records(1300));
    ProcessOptions options;
    options.standard_output_file = folder / name;
    const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path(), options);
    EXPECT_EQ(run.exit_status, 1) << name;
    EXPECT_EQ(run.standard_error.rfind("ecflux: standard output and ", 0), 0u)
        << name << ": " << run.standard_error;
    EXPECT_NE(run.standard_error.find((folder / name).string() + " are the same file"),
              std::string::npos)
        << run.standard_error;
    EXPECT_EQ(folder.read(name), "") << name;
    for (const auto& output : output_names) {
      if (output == name) continue;
      EXPECT_FALSE(folder.exists(output)) << name << ": " << output;
    }
  }
  // Standard output into another file is a run like any other.
  TempFolder folder;
  write_run(folder, ten_hertz(), "header\n" + data_records(1300));
  ProcessOptions options;
  options.standard_output_file = folder / "progress.txt";
  const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path(), options);
  EXPECT_EQ(run.exit_status, 0) << run.standard_error;
  EXPECT_EQ(split_records(folder.read("progress.txt")).size(), 2u);
}

// As "ecflux 2>> results.out": messages would go into a file of the run.
// The refusal goes to standard output instead, and the file is not touched.
TEST(Guard, StandardErrorAppendedToAFileOfTheRunIsRefused) {
  TempFolder good;
  write_run(good, ten_hertz(), "header\n" + data_records(1300));
  ASSERT_EQ(run_program(ECFLUX_PROGRAM, good.path(), 60s).exit_status, 0);
  struct Case {
    std::string name;
    std::string description;
  };
  const std::vector<Case> cases = {{"results.out", "the results file"},
                                   {"cumflux.out", "the cumulative-flux file"},
                                   {"data.txt", "the data file"},
                                   {"ConfigDRAVEK.Dat", "the configuration file"}};
  for (const Case& c : cases) {
    TempFolder folder;
    write_run(folder, ten_hertz(), "header\n" + data_records(1300));
    for (const auto& name : output_names) folder.write(name, good.read(name));
    const auto before = testing::folder_state(folder.path());
    ProcessOptions options;
    options.standard_error_file = folder / c.name;
    options.append = true;
    options.limit = 60s;
    const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path(), options);
    EXPECT_EQ(run.exit_status, 1) << c.name;
    EXPECT_EQ(run.standard_output, "ecflux: standard error and " + c.description + " " +
                                       (folder / c.name).string() +
                                       " are the same file; nothing was written\n" +
                                       earlier_results_unchanged(folder.path()))
        << c.name;
    EXPECT_TRUE(testing::folder_state(folder.path()) == before) << c.name;
  }
}

TEST(Guard, ClosedStandardStreamsAreNeverTakenByTheRunsFiles) {
  TempFolder good;
  // A value that is not a number after two blocks: a warning on standard error.
  const std::string data = "header\n" + data_records(1250) + "125.0 1 2 NaN 4 5 6\n";
  write_run(good, ten_hertz(), data);
  const ProcessResult reference = run_program(ECFLUX_PROGRAM, good.path(), 60s);
  ASSERT_EQ(reference.exit_status, 0);
  ASSERT_NE(reference.standard_error, "");

  {
    // Closed standard output: its first record fails as it always has, and
    // the run replaces nothing.
    const std::string clean = "header\n" + data_records(1250);
    for (const bool input_closed_too : {false, true}) {
      TempFolder folder;
      write_run(folder, ten_hertz(), clean);
      ProcessOptions options;
      options.close_standard_output = true;
      options.close_standard_input = input_closed_too;
      const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path(), options);
      EXPECT_EQ(run.exit_status, 1);
      EXPECT_EQ(run.standard_error, severe(38, "error during write, unit 6, file /dev/stdout") +
                                        no_earlier_results(folder.path()));
      expect_no_output_files(folder, "closed standard output");
    }
  }
  {
    // Closed standard error: the warning is lost, never written into a file.
    TempFolder folder;
    write_run(folder, ten_hertz(), data);
    ProcessOptions options;
    options.close_standard_error = true;
    const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path(), options);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.standard_output, reference.standard_output);
    for (const auto& name : output_names) {
      EXPECT_TRUE(folder.read(name) == good.read(name)) << name;
    }
  }
  {
    // ... and so is the fatal message.
    TempFolder folder;
    write_run(folder, ten_hertz(), data);
    std::filesystem::create_symlink("/dev/full", folder / "CFSHIFT.out");
    const auto before = testing::folder_state(folder.path());
    ProcessOptions options;
    options.close_standard_error = true;
    const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path(), options);
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_TRUE(testing::folder_state(folder.path()) == before);
  }
}

// The two CSV files are outputs like the others: guarded, with --csv or
// without (a completed run without it removes an earlier run's CSV files, so
// an input of that name would be lost), and their write failures named with
// their units.
TEST(Guard, CsvFilesAreOutputsLikeTheOthers) {
  ProcessOptions csv;
  csv.arguments = {"--csv"};
  csv.limit = 60s;
  for (const bool with_csv : {false, true}) {
    TempFolder folder;
    ConfigurationText config = ten_hertz();
    config.results_file = "./blocks.csv";
    write_run(folder, config, "header\n" + data_records(1300));
    const ProcessResult run = with_csv ? run_program(ECFLUX_PROGRAM, folder.path(), csv)
                                       : run_program(ECFLUX_PROGRAM, folder.path(), 60s);
    EXPECT_EQ(run.exit_status, 1) << run.standard_error;
    EXPECT_NE(run.standard_error.find("the block table"), std::string::npos) << run.standard_error;
  }
  TempFolder good;
  write_run(good, ten_hertz(), forty_blocks());
  ASSERT_EQ(run_program(ECFLUX_PROGRAM, good.path(), csv).exit_status, 0);
  for (const auto& [name, unit] : {std::pair<std::string, int>{"blocks.csv", 50},
                                   std::pair<std::string, int>{"window_fluxes.csv", 51}}) {
    TempFolder folder;
    write_run(folder, ten_hertz(), forty_blocks());
    std::filesystem::create_symlink("/dev/full", folder / name);
    const auto before = testing::folder_state(folder.path());
    const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path(), csv);
    EXPECT_EQ(run.exit_status, 1) << name;
    EXPECT_EQ(run.standard_error, severe(38, "error during write, unit " + std::to_string(unit) +
                                                 ", file " + (folder / name).string()) +
                                      no_earlier_results(folder.path()));
    EXPECT_TRUE(testing::folder_state(folder.path()) == before) << name;
  }
}

}  // namespace
}  // namespace ecflux::faults
