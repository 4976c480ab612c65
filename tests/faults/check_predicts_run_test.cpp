// ecflux --check predicts the run: what a run would refuse before it writes,
// the check refuses in the run's own words and ends with 1, having written
// nothing; and it fails on what a run that did not complete left behind.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/faults/fault_support.h"

namespace ecflux::faults {
namespace {

using namespace std::chrono_literals;
using std::filesystem::perms;
using testing::ProcessResult;
using testing::TempFolder;

ProcessResult run(const TempFolder& folder, std::vector<std::string> arguments, unsigned user = 0) {
  testing::ProcessOptions options;
  options.arguments = std::move(arguments);
  options.limit = 60s;
  options.user = user;
  return testing::run_program(ECFLUX_PROGRAM, folder.path(), options);
}

std::string first_line(const std::string& text) { return text.substr(0, text.find('\n') + 1); }

// The check refuses with the line the run refuses with, and changes nothing.
void expect_check_refuses_as_the_run(const TempFolder& folder, const std::string& refusal,
                                     std::vector<std::string> options = {}, unsigned user = 0) {
  const auto before = testing::folder_state(folder.path());
  std::vector<std::string> check_options = options;
  check_options.insert(check_options.begin(), "--check");
  const ProcessResult check = run(folder, check_options, user);
  EXPECT_EQ(check.exit_status, 1);
  EXPECT_EQ(check.standard_error, refusal);
  EXPECT_EQ(testing::folder_state(folder.path()), before);

  const ProcessResult refused = run(folder, options, user);
  EXPECT_EQ(refused.exit_status, 1);
  EXPECT_EQ(first_line(refused.standard_error), refusal);
}

TEST(CheckPredictsRun, AResultsFileNamedLikeACsvFile) {
  TempFolder folder;
  testing::ConfigurationText config;
  config.results_file = "blocks.csv";
  testing::write_run(folder, config, "header\n" + data_records(700));
  const std::string path = (folder / "blocks.csv").string();
  const std::string refusal = "ecflux: the results file " + path + " and the block table " + path +
                              " are the same file; nothing was written\n";
  expect_check_refuses_as_the_run(folder, refusal, {"--csv"});
  // The name is refused whether or not this run would write the CSV files.
  expect_check_refuses_as_the_run(folder, refusal);
}

TEST(CheckPredictsRun, FoldersAndOutputsTheUserMayNotWrite) {
  const unsigned user = unprivileged_user();
  const std::string denied = "forrtl: severe (9): permission to access file denied, unit ";
  {
    // The user's own folder, made read-only.
    TempFolder folder;
    write_run(folder, ten_hertz(), "header\n" + data_records(700));
    if (user != 0) {
      ASSERT_EQ(::chown(folder.path().c_str(), user, user), 0);
    }
    std::filesystem::permissions(folder.path(), perms::all & ~perms::owner_write &
                                                    ~perms::group_write & ~perms::others_write);
    expect_check_refuses_as_the_run(
        folder, denied + "9, file " + (folder / "results.out").string() + "\n", {}, user);
  }
  if (user != 0) {
    // Another user's folder, which others may read but not write.
    TempFolder folder;
    write_run(folder, ten_hertz(), "header\n" + data_records(700));
    expect_check_refuses_as_the_run(
        folder, denied + "9, file " + (folder / "results.out").string() + "\n", {}, user);
  }
  {
    // An earlier run's Cospectra.out, made read-only.
    TempFolder folder;
    write_run(folder, ten_hertz(), "header\n" + data_records(700));
    std::filesystem::permissions(folder.path(), perms::all);
    ASSERT_EQ(run(folder, {}, user).exit_status, 0);
    std::filesystem::permissions(folder / "Cospectra.out",
                                 perms::owner_read | perms::group_read | perms::others_read);
    expect_check_refuses_as_the_run(
        folder, denied + "40, file " + (folder / "Cospectra.out").string() + "\n", {}, user);
  }
}

TEST(CheckPredictsRun, ARunHoldingTheFolder) {
  TempFolder folder;
  write_run(folder, ten_hertz(), "header\n" + data_records(700));
  // What a run holds while it writes: the lock on its folder.
  const int held = ::open(folder.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  const std::string canonical = std::filesystem::canonical(folder.path()).string();
  const ProcessResult check = run(folder, {"--check"});
  EXPECT_EQ(check.exit_status, 1);
  EXPECT_EQ(check.standard_error, "ecflux: a run is writing in " + canonical + "\n");
  EXPECT_EQ(check.standard_output, "");
  const ProcessResult second = run(folder, {});
  EXPECT_EQ(second.exit_status, 1);
  EXPECT_EQ(first_line(second.standard_error),
            "ecflux: another run is writing in " + canonical + "; nothing was written\n");
  ::close(held);
}

TEST(CheckPredictsRun, WhatARunThatDidNotCompleteLeftBehind) {
  TempFolder folder;
  write_run(folder, ten_hertz(), "header\n" + data_records(700));
  folder.write(".results.out.ecflux-partial", "half a row");
  folder.write(".cumflux.out.ecflux-partial", "");
  const std::string canonical = std::filesystem::canonical(folder.path()).string();
  const ProcessResult check = run(folder, {"--check"});
  EXPECT_EQ(check.exit_status, 1);
  EXPECT_NE(check.standard_output.find(
                "Left by a run that did not complete (a run removes them before it writes):\n"
                "  " +
                canonical + "/.cumflux.out.ecflux-partial\n  " + canonical +
                "/.results.out.ecflux-partial\n"),
            std::string::npos)
      << check.standard_output;
  EXPECT_EQ(check.standard_error, "ecflux: a run that did not complete left staged files in " +
                                      canonical + "; a run removes them before it writes\n");
  EXPECT_TRUE(folder.exists(".results.out.ecflux-partial"));

  // The run removes them, says so, and completes.
  const ProcessResult cleared = run(folder, {});
  EXPECT_EQ(cleared.exit_status, 0);
  EXPECT_EQ(cleared.standard_error,
            "ecflux: removed what a run that did not complete left behind: " + canonical +
                "/.cumflux.out.ecflux-partial, " + canonical + "/.results.out.ecflux-partial\n");
  EXPECT_EQ(run(folder, {"--check"}).exit_status, 0);
}

}  // namespace
}  // namespace ecflux::faults
