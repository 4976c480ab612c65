// The command line of ecflux and ecflux-plot: options, a run folder, and
// the refusals that read and write nothing.

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
using testing::output_names;
using testing::ProcessOptions;
using testing::ProcessResult;
using testing::run_program;
using testing::severe;
using testing::split_records;
using testing::TempFolder;
using testing::write_run;

ProcessResult run_with(const std::string& program, const std::filesystem::path& folder,
                       std::vector<std::string> arguments) {
  ProcessOptions options;
  options.arguments = std::move(arguments);
  options.limit = std::chrono::seconds(60);
  return run_program(program, folder, options);
}

void copy_example(const TempFolder& folder) {
  std::filesystem::copy(EXAMPLES_FOLDER "/ConfigDRAVEK.Dat", folder / "ConfigDRAVEK.Dat");
  std::filesystem::copy(EXAMPLES_FOLDER "/example.dat", folder / "example.dat");
}

TEST(CommandLine, HelpAndVersionReadAndWriteNothing) {
  for (const std::string program : {ECFLUX_PROGRAM, ECFLUX_PLOT_PROGRAM}) {
    const std::string name = std::filesystem::path(program).filename().string();
    TempFolder folder;
    copy_example(folder);
    const auto before = folder.names();
    for (const std::string help : {"--help", "-h"}) {
      const ProcessResult run = run_with(program, folder.path(), {help});
      EXPECT_EQ(run.exit_status, 0) << name << " " << help;
      EXPECT_EQ(run.standard_output.rfind("usage: " + name + " [OPTION]... [RUN_FOLDER]\n", 0), 0u)
          << run.standard_output;
      EXPECT_EQ(run.standard_error, "");
    }
    const ProcessResult version = run_with(program, folder.path(), {"--version"});
    EXPECT_EQ(version.exit_status, 0);
    EXPECT_EQ(version.standard_output, name + " " ECFLUX_VERSION "\n");
    EXPECT_EQ(std::string(ECFLUX_VERSION), "2.0.0");
    // Nothing was run: the folder holds what it held.
    EXPECT_EQ(folder.names(), before) << name;
  }
  // ecflux's usage names its options and where to read more.
  TempFolder empty;
  const std::string usage = run_with(ECFLUX_PROGRAM, empty.path(), {"--help"}).standard_output;
  for (const char* part : {"--check", "--version", "README", "ConfigDRAVEK.Dat", "Exit status"}) {
    EXPECT_NE(usage.find(part), std::string::npos) << part;
  }
}

// An answer that cannot be written is a failure, whether standard output is
// a full device or closed: one line on standard error, and status 1.
TEST(CommandLine, AnswersThatCannotBeWrittenEndWithOne) {
  TempFolder folder;
  copy_example(folder);
  for (const std::string option : {"--check", "--help", "--version"}) {
    for (const bool closed : {false, true}) {
      ProcessOptions options;
      options.arguments = {option};
      options.limit = std::chrono::seconds(60);
      options.close_standard_output = closed;
      if (!closed) options.standard_output_file = "/dev/full";
      const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path(), options);
      const std::string what = option + (closed ? " >&-" : " > /dev/full");
      EXPECT_EQ(run.exit_status, 1) << what;
      EXPECT_EQ(run.standard_error, severe(38, "error during write, unit 6, file /dev/stdout"))
          << what;
    }
  }
}

TEST(CommandLine, MistakesShowTheUsageWriteNothingAndEndWithTwo) {
  TempFolder folder;
  copy_example(folder);
  std::filesystem::create_directory(folder / "a");
  std::filesystem::create_directory(folder / "b");
  const auto before = folder.names();
  const std::vector<std::vector<std::string>> mistakes = {
      {"--bogus"}, {"-x"}, {"--check", "--verbose"}, {"a", "b"}, {"--", "a", "b"}};
  for (const auto& arguments : mistakes) {
    const ProcessResult run = run_with(ECFLUX_PROGRAM, folder.path(), arguments);
    const std::string what = arguments.front() + " " + arguments.back();
    EXPECT_EQ(run.exit_status, 2) << what;
    EXPECT_EQ(run.standard_output, "") << what;
    EXPECT_EQ(run.standard_error.rfind("ecflux: ", 0), 0u) << what;
    EXPECT_NE(run.standard_error.find("\nusage: ecflux "), std::string::npos) << what;
    EXPECT_EQ(folder.names(), before) << what;
  }
  // ecflux-plot takes neither --check nor two folders.
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"--check"}, std::vector<std::string>{"a", "b"}}) {
    const ProcessResult run = run_with(ECFLUX_PLOT_PROGRAM, folder.path(), arguments);
    EXPECT_EQ(run.exit_status, 2);
    EXPECT_NE(run.standard_error.find("usage: ecflux-plot "), std::string::npos);
  }
}

// A run started with the folder as argument is the run started inside it:
// the same files, byte for byte, and messages with full paths.
TEST(CommandLine, RunFolderArgument) {
  TempFolder inside, outside;
  copy_example(inside);
  const ProcessResult in_place = run_program(ECFLUX_PROGRAM, inside.path());
  ASSERT_EQ(in_place.exit_status, 0);

  std::filesystem::create_directory(outside / "-mooring 7");
  const TempFolder& runs = outside;
  std::filesystem::copy(EXAMPLES_FOLDER "/ConfigDRAVEK.Dat", runs / "-mooring 7/ConfigDRAVEK.Dat");
  std::filesystem::copy(EXAMPLES_FOLDER "/example.dat", runs / "-mooring 7/example.dat");
  // A name that looks like an option is a folder after "--".
  const ProcessResult elsewhere = run_with(ECFLUX_PROGRAM, runs.path(), {"--", "-mooring 7"});
  ASSERT_EQ(elsewhere.exit_status, 0) << elsewhere.standard_error;
  EXPECT_EQ(elsewhere.standard_output, in_place.standard_output);
  for (const auto& name : output_names) {
    EXPECT_TRUE(runs.read("-mooring 7/" + name) == inside.read(name)) << name;
    EXPECT_FALSE(runs.exists(name)) << name << " written outside the run folder";
  }

  // The plots too.
  const ProcessResult plots = run_with(ECFLUX_PLOT_PROGRAM, runs.path(), {"--", "-mooring 7"});
  ASSERT_EQ(plots.exit_status, 0) << plots.standard_error;
  const std::string plot_folder = std::filesystem::canonical(runs / "-mooring 7").string();
  EXPECT_EQ(plots.standard_output.rfind(plot_folder + "/flux_by_block.svg\n" + plot_folder +
                                            "/cumulative_flux.svg\n" + plot_folder +
                                            "/flux_by_window.svg\n",
                                        0),
            0u)
      << plots.standard_output;

  // Messages name the file by its full path.
  std::filesystem::remove(runs / "-mooring 7/example.dat");
  const ProcessResult missing = run_with(ECFLUX_PROGRAM, runs.path(), {"--", "-mooring 7"});
  EXPECT_EQ(missing.exit_status, 1);
  EXPECT_EQ(
      missing.standard_error,
      severe(29, "file not found, unit 8, file " +
                     std::filesystem::canonical(runs / "-mooring 7").string() + "/example.dat") +
          earlier_results_unchanged(runs / "-mooring 7"));
}

TEST(CommandLine, FolderThatDoesNotExistOrIsAFile) {
  TempFolder folder;
  folder.write("notes.txt", "not a folder\n");
  const auto before = folder.names();
  const std::string root = std::filesystem::canonical(folder.path()).string();
  struct Case {
    std::string argument;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"missing", "the run folder " + root + "/missing does not exist"},
      {"notes.txt", "the run folder " + root + "/notes.txt is not a folder"}};
  for (const std::string program : {ECFLUX_PROGRAM, ECFLUX_PLOT_PROGRAM}) {
    const std::string name = std::filesystem::path(program).filename().string();
    for (const Case& c : cases) {
      const ProcessResult run = run_with(program, folder.path(), {c.argument});
      EXPECT_EQ(run.exit_status, 1) << name << " " << c.argument;
      EXPECT_EQ(run.standard_error, name + ": " + c.message + "; nothing was read or written\n");
      EXPECT_EQ(folder.names(), before);
    }
  }
}

}  // namespace
}  // namespace ecflux
