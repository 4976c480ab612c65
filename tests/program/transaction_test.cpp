// A run again in a folder that holds the results of an earlier run: the
// earlier results stay as they were, byte for byte and by modification time,
// until the new run completes, and then every file is replaced at once, links
// and permission bits kept.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace ecflux {
namespace {

using namespace std::chrono_literals;
using testing::ConfigurationText;
using testing::earlier_results_unchanged;
using testing::folder_state;
using testing::output_names;
using testing::ProcessOptions;
using testing::ProcessResult;
using testing::run_program;
using testing::severe;
using testing::split_records;
using testing::StartedProgram;
using testing::TempFolder;
using testing::ten_hertz_records;

// Three blocks and a half of ten_hertz_records.
const std::string three_blocks = "header\n" + ten_hertz_records(2100);

// A folder in which a run has completed.
struct CompletedRun {
  TempFolder folder;

  explicit CompletedRun(std::vector<std::string> arguments = {}) {
    testing::write_run(folder, ConfigurationText{}, three_blocks);
    const ProcessResult completed = run(std::move(arguments));
    EXPECT_EQ(completed.exit_status, 0) << completed.standard_error;
  }

  // The data file becomes a named pipe that the test writes.
  void pipe_the_data() const {
    std::filesystem::remove(folder / "data.txt");
    EXPECT_EQ(::mkfifo((folder / "data.txt").c_str(), 0600), 0);
  }

  ProcessResult run(std::vector<std::string> arguments = {}) const {
    ProcessOptions options;
    options.arguments = std::move(arguments);
    options.limit = 60s;
    return run_program(ECFLUX_PROGRAM, folder.path(), options);
  }
};

std::string staged(const std::string& name) { return "." + name + ".ecflux-partial"; }

// As `ecflux | head -1`: the reader of standard output goes away after the
// first line, and the run fails at its next line.
TEST(Transaction, ProgressPipedIntoHeadThatEndsAfterOneLine) {
  const CompletedRun earlier;
  earlier.pipe_the_data();
  const auto before = folder_state(earlier.folder.path());
  TempFolder elsewhere;
  ASSERT_EQ(::mkfifo((elsewhere / "progress").c_str(), 0600), 0);
  const int head = ::open((elsewhere / "progress").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(head, 0);
  ProcessOptions options;
  options.standard_output_file = elsewhere / "progress";
  options.limit = 30s;
  StartedProgram run(ECFLUX_PROGRAM, earlier.folder.path(), options);

  const int data = testing::open_pipe_writer(earlier.folder / "data.txt");
  ASSERT_GE(data, 0);
  ASSERT_TRUE(testing::write_all(data, "header\n" + ten_hertz_records(650)));
  std::string first_line;
  ASSERT_TRUE(testing::eventually([&] {
    char byte;
    while (::read(head, &byte, 1) == 1) first_line += byte;
    return first_line.find('\n') != std::string::npos;
  }));
  ::close(head);
  // The rest of the record arrives once nobody reads the progress lines.
  ASSERT_TRUE(testing::write_all(data, ten_hertz_records(1450, 65.0, 650)));
  ::close(data);

  const ProcessResult result = run.wait();
  EXPECT_FALSE(result.timed_out);
  EXPECT_EQ(result.exit_status, 1);
  EXPECT_EQ(result.standard_error, severe(38, "error during write, unit 6, file /dev/stdout") +
                                       earlier_results_unchanged(earlier.folder.path()));
  EXPECT_EQ(split_records(first_line).size(), 1u);
  EXPECT_TRUE(folder_state(earlier.folder.path()) == before);
}

TEST(Transaction, RunThatCompletesNoBlockKeepsTheEarlierResults) {
  const CompletedRun earlier;
  ConfigurationText late;
  late.start_time = "900.0";  // after the last record, at 209.9
  earlier.folder.write("ConfigDRAVEK.Dat", late.text());
  const auto before = folder_state(earlier.folder.path());
  const ProcessResult run = earlier.run();
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.standard_error,
            "ecflux: nothing to write: no record of the data file " +
                (earlier.folder / "data.txt").string() +
                " has a time at or after the start time 900 (the last is 209.9)\n" +
                earlier_results_unchanged(earlier.folder.path()));
  EXPECT_EQ(run.standard_output, "");
  EXPECT_TRUE(folder_state(earlier.folder.path()) == before);
}

// The CSV files describe the run that wrote them: a later run without --csv
// removes them once its own files are in place, and not before.
TEST(Transaction, RunWithoutCsvRemovesTheEarlierCsvFilesWhenItCompletes) {
  const CompletedRun earlier({"--csv"});
  ASSERT_TRUE(earlier.folder.exists("blocks.csv"));
  ASSERT_TRUE(earlier.folder.exists("window_fluxes.csv"));

  ConfigurationText late;
  late.start_time = "900.0";
  earlier.folder.write("ConfigDRAVEK.Dat", late.text());
  const auto before_failure = folder_state(earlier.folder.path());
  EXPECT_EQ(earlier.run().exit_status, 1);
  EXPECT_TRUE(folder_state(earlier.folder.path()) == before_failure);

  earlier.folder.write("ConfigDRAVEK.Dat", ConfigurationText{}.text());
  const ProcessResult run = earlier.run();
  EXPECT_EQ(run.exit_status, 0) << run.standard_error;
  EXPECT_FALSE(earlier.folder.exists("blocks.csv"));
  EXPECT_FALSE(earlier.folder.exists("window_fluxes.csv"));
  for (const auto& name : output_names) EXPECT_TRUE(earlier.folder.exists(name)) << name;
}

// A run killed outright cannot clean up: its staged files stay until the
// next run, which says that it removed them, once.
TEST(Transaction, LeftoversOfAKilledRunAreListedAndRemovedByTheNextRun) {
  const CompletedRun earlier;
  earlier.pipe_the_data();
  const std::string results_partial = staged("results.out");
  {
    StartedProgram run(ECFLUX_PROGRAM, earlier.folder.path(), ProcessOptions{});
    const int data = testing::open_pipe_writer(earlier.folder / "data.txt");
    ASSERT_GE(data, 0);
    ASSERT_TRUE(testing::write_all(data, "header\n" + ten_hertz_records(1300)));
    ASSERT_TRUE(testing::eventually([&] {
      return earlier.folder.exists(results_partial) &&
             split_records(earlier.folder.read(results_partial)).size() == 3;
    }));
    run.signal(SIGKILL);
    EXPECT_EQ(run.wait().signal, SIGKILL);
    ::close(data);
  }
  std::vector<std::string> leftovers;
  std::vector<std::string> staged_outputs = output_names;
  staged_outputs.push_back("run.json");
  for (const auto& name : staged_outputs) {
    EXPECT_TRUE(earlier.folder.exists(staged(name))) << name;
    leftovers.push_back(
        (std::filesystem::canonical(earlier.folder.path()) / staged(name)).string());
  }
  std::sort(leftovers.begin(), leftovers.end());

  std::filesystem::remove(earlier.folder / "data.txt");
  earlier.folder.write("data.txt", three_blocks);
  // The check lists them, and ends with 1 as a run would not complete
  // without removing them.
  const ProcessResult check = earlier.run({"--check"});
  EXPECT_EQ(check.exit_status, 1);
  EXPECT_EQ(check.standard_error, "ecflux: a run that did not complete left staged files in " +
                                      std::filesystem::canonical(earlier.folder.path()).string() +
                                      "; a run removes them before it writes\n");
  std::string listed =
      "\nLeft by a run that did not complete (a run removes them before it writes):\n";
  for (const auto& path : leftovers) listed += "  " + path + "\n";
  EXPECT_TRUE(check.standard_output.ends_with(listed)) << check.standard_output;
  for (const auto& name : staged_outputs) EXPECT_TRUE(earlier.folder.exists(staged(name))) << name;

  const ProcessResult next = earlier.run();
  EXPECT_EQ(next.exit_status, 0);
  std::string removed;
  for (const auto& path : leftovers) removed += (removed.empty() ? "" : ", ") + path;
  EXPECT_EQ(next.standard_error,
            "ecflux: removed what a run that did not complete left behind: " + removed + "\n");
  EXPECT_EQ(split_records(next.standard_output).size(), 3u);
  for (const auto& name : staged_outputs) EXPECT_FALSE(earlier.folder.exists(staged(name))) << name;

  const ProcessResult after = earlier.run();
  EXPECT_EQ(after.exit_status, 0);
  EXPECT_EQ(after.standard_error, "");
}

// An output that is a symbolic link stays one and its target is replaced; a
// replaced file keeps its permission bits; a second (hard) link of an output
// keeps the earlier results, as a copy would.
TEST(Transaction, LinksAndPermissionBitsOfReplacedFiles) {
  const CompletedRun earlier;
  const TempFolder& folder = earlier.folder;
  std::filesystem::create_directory(folder / "kept");
  std::filesystem::rename(folder / "results.out", folder / "kept/results-may.out");
  std::filesystem::create_symlink("kept/results-may.out", folder / "results.out");
  std::filesystem::create_hard_link(folder / "cumflux.out", folder / "cumflux-copy.out");
  ::chmod((folder / "CFSHIFT.out").c_str(), 0640);
  ::chmod((folder / "Cospectra.out").c_str(), 0604);
  // The new run's results differ from the earlier ones.
  ConfigurationText config;
  config.window_seconds = "20";
  folder.write("ConfigDRAVEK.Dat", config.text());
  const std::string earlier_cumflux = folder.read("cumflux.out");

  TempFolder reference;
  testing::write_run(reference, config, three_blocks);
  ASSERT_EQ(run_program(ECFLUX_PROGRAM, reference.path()).exit_status, 0);

  const ProcessResult run = earlier.run();
  ASSERT_EQ(run.exit_status, 0) << run.standard_error;
  EXPECT_TRUE(std::filesystem::is_symlink(folder / "results.out"));
  EXPECT_EQ(std::filesystem::read_symlink(folder / "results.out"), "kept/results-may.out");
  EXPECT_EQ(folder.read("kept/results-may.out"), reference.read("results.out"));
  EXPECT_FALSE(folder.exists("kept/" + staged("results-may.out")));
  for (const auto& name : {"cumflux.out", "CFSHIFT.out", "Cospectra.out"}) {
    EXPECT_TRUE(folder.read(name) == reference.read(name)) << name;
  }
  EXPECT_TRUE(folder.read("cumflux-copy.out") == earlier_cumflux);
  const auto mode = [&](const char* name) {
    return std::filesystem::status(folder / name).permissions();
  };
  using std::filesystem::perms;
  EXPECT_EQ(mode("CFSHIFT.out"), perms::owner_read | perms::owner_write | perms::group_read);
  EXPECT_EQ(mode("Cospectra.out"), perms::owner_read | perms::owner_write | perms::others_read);
}

}  // namespace
}  // namespace ecflux
