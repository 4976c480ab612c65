// One run per folder at a time, whatever happens to the configuration file
// meanwhile, and a run stopped by a signal. The data come through a named
// pipe, so that the test decides when the run can go on.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>

#include "tests/support/test_support.h"

namespace ecflux {
namespace {

using namespace std::chrono_literals;
using testing::ConfigurationText;
using testing::output_names;
using testing::ProcessOptions;
using testing::ProcessResult;
using testing::split_records;
using testing::StartedProgram;
using testing::TempFolder;

// A run folder whose data file is a named pipe.
struct PipedRun {
  TempFolder folder;

  PipedRun() {
    folder.write("ConfigDRAVEK.Dat", ConfigurationText{}.text());
    EXPECT_EQ(::mkfifo((folder / "data.txt").c_str(), 0600), 0);
  }

  // The writing end, once the run has opened the reading end.
  int open_writer() const { return ::open((folder / "data.txt").c_str(), O_WRONLY); }

  // The run waits for a writer of its data, with the folder locked.
  static bool first_run_waits_for_data(const StartedProgram& run) {
    return testing::eventually([&] { return run.waiting_in() == SYS_openat; });
  }

  // Gives the run its data and waits for its end.
  ProcessResult feed(StartedProgram& run) const {
    const int writer = open_writer();
    EXPECT_TRUE(testing::write_all(writer, "header\n" + testing::ten_hertz_records(1300)));
    ::close(writer);
    return run.wait();
  }
};

std::string another_run_is_writing(const TempFolder& folder) {
  return "ecflux: another run is writing in " + std::filesystem::canonical(folder.path()).string() +
         "; nothing was written\n" + testing::no_earlier_results(folder.path());
}

TEST(RunControl, ASecondRunInTheSameFolderIsRefused) {
  PipedRun piped;
  StartedProgram first(ECFLUX_PROGRAM, piped.folder.path(), ProcessOptions{});
  ASSERT_TRUE(piped.first_run_waits_for_data(first));

  const ProcessResult second = testing::run_program(ECFLUX_PROGRAM, piped.folder.path(), 60s);
  EXPECT_EQ(second.exit_status, 1);
  EXPECT_EQ(second.standard_error, "ecflux: another run is writing in " +
                                       std::filesystem::canonical(piped.folder.path()).string() +
                                       "; nothing was written\n" +
                                       testing::no_earlier_results(piped.folder.path()));
  for (const auto& name : output_names) EXPECT_FALSE(piped.folder.exists(name)) << name;

  // The first run goes on as if alone, and leaves no file of the lock.
  const int writer = piped.open_writer();
  testing::write_all(writer, "header\n" + testing::ten_hertz_records(1300));
  ::close(writer);
  const ProcessResult run = first.wait();
  EXPECT_EQ(run.exit_status, 0) << run.standard_error;
  EXPECT_EQ(split_records(run.standard_output).size(), 2u);
  EXPECT_FALSE(testing::folder_locked(piped.folder.path()));
}

// A run stopped part way replaces nothing: the earlier results stay as
// they were, byte for byte, and no staged file is left.
TEST(RunControl, AnInterruptedRunSaysSoAndReplacesNothing) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    PipedRun piped;
    for (const auto& name : output_names) piped.folder.write(name, "earlier " + name + "\n");
    const std::vector<std::string> before = piped.folder.names();
    StartedProgram run(ECFLUX_PROGRAM, piped.folder.path(), ProcessOptions{});
    const int writer = piped.open_writer();
    ASSERT_GE(writer, 0);
    // Two blocks and part of a third; the run then waits for more data.
    testing::write_all(writer, "header\n" + testing::ten_hertz_records(1450));
    const std::string staged = ".results.out.ecflux-partial";
    ASSERT_TRUE(testing::eventually([&] {
      return piped.folder.exists(staged) && split_records(piped.folder.read(staged)).size() == 3;
    }));
    run.signal(signal);
    const ProcessResult result = run.wait();
    ::close(writer);
    EXPECT_EQ(result.exit_status, 128 + signal) << result.standard_error;
    EXPECT_EQ(result.standard_error, "ecflux: interrupted after 2 blocks; nothing was replaced\n");
    EXPECT_EQ(split_records(result.standard_output).size(), 2u);
    EXPECT_EQ(piped.folder.names(), before);
    for (const auto& name : output_names) {
      EXPECT_EQ(piped.folder.read(name), "earlier " + name + "\n");
    }
  }
}

// The lock belongs to the folder, not to the configuration file: an editor
// that replaces the file by a rename (as sed -i does) lets no second run in.
TEST(RunControl, ConfigurationReplacedByARenameDuringARun) {
  PipedRun piped;
  StartedProgram first(ECFLUX_PROGRAM, piped.folder.path(), ProcessOptions{});
  ASSERT_TRUE(piped.first_run_waits_for_data(first));
  piped.folder.write("sedAbC123", ConfigurationText{}.text());
  std::filesystem::rename(piped.folder / "sedAbC123", piped.folder / "ConfigDRAVEK.Dat");

  const ProcessResult second = testing::run_program(ECFLUX_PROGRAM, piped.folder.path(), 10s);
  EXPECT_EQ(second.exit_status, 1);
  EXPECT_EQ(second.standard_error, another_run_is_writing(piped.folder));
  const ProcessResult run = piped.feed(first);
  EXPECT_EQ(run.exit_status, 0) << run.standard_error;
}

// Deployments that share one configuration through links are separate runs.
TEST(RunControl, FoldersWhoseConfigurationsLinkToOneFileRunSideBySide) {
  TempFolder shared;
  shared.write("ConfigDRAVEK.Dat", ConfigurationText{}.text());
  for (const bool symbolic : {true, false}) {
    const auto link = [&](const TempFolder& folder) {
      std::filesystem::remove(folder / "ConfigDRAVEK.Dat");
      if (symbolic) {
        std::filesystem::create_symlink(shared / "ConfigDRAVEK.Dat", folder / "ConfigDRAVEK.Dat");
      } else {
        std::filesystem::create_hard_link(shared / "ConfigDRAVEK.Dat", folder / "ConfigDRAVEK.Dat");
      }
    };
    PipedRun piped;
    link(piped.folder);
    TempFolder other;
    other.write("data.txt", "header\n" + testing::ten_hertz_records(1300));
    link(other);

    StartedProgram first(ECFLUX_PROGRAM, piped.folder.path(), ProcessOptions{});
    ASSERT_TRUE(piped.first_run_waits_for_data(first));
    const ProcessResult second = testing::run_program(ECFLUX_PROGRAM, other.path(), 10s);
    EXPECT_EQ(second.exit_status, 0) << second.standard_error;
    EXPECT_EQ(split_records(second.standard_output).size(), 2u);
    const ProcessResult run = piped.feed(first);
    EXPECT_EQ(run.exit_status, 0) << run.standard_error;
  }
}

// A configuration that is a named pipe without a writer: the run waits for
// it with the folder locked, and stops on a signal.
TEST(RunControl, ConfigurationThatIsAPipeWithoutWriter) {
  TempFolder folder;
  ASSERT_EQ(::mkfifo((folder / "ConfigDRAVEK.Dat").c_str(), 0600), 0);
  ProcessOptions options;
  options.limit = 10s;
  StartedProgram first(ECFLUX_PROGRAM, folder.path(), options);
  ASSERT_TRUE(testing::eventually([&] { return first.waiting_in() == SYS_openat; }));

  const ProcessResult second = testing::run_program(ECFLUX_PROGRAM, folder.path(), 10s);
  EXPECT_EQ(second.exit_status, 1);
  EXPECT_EQ(second.standard_error, another_run_is_writing(folder));
  first.signal(SIGTERM);
  const ProcessResult run = first.wait();
  EXPECT_FALSE(run.timed_out);
  EXPECT_EQ(run.exit_status, 128 + SIGTERM);
  EXPECT_EQ(run.standard_error, "ecflux: interrupted after 0 blocks; nothing was replaced\n");
}

TEST(RunControl, CheckWhileARunWrites) {
  PipedRun piped;
  StartedProgram first(ECFLUX_PROGRAM, piped.folder.path(), ProcessOptions{});
  ASSERT_TRUE(piped.first_run_waits_for_data(first));
  ProcessOptions check;
  check.arguments = {"--check"};
  check.limit = 10s;
  const ProcessResult checked = testing::run_program(ECFLUX_PROGRAM, piped.folder.path(), check);
  EXPECT_EQ(checked.exit_status, 1);
  EXPECT_EQ(checked.standard_error, "ecflux: a run is writing in " +
                                        std::filesystem::canonical(piped.folder.path()).string() +
                                        "\n");
  EXPECT_EQ(checked.standard_output, "");
  const ProcessResult run = piped.feed(first);
  EXPECT_EQ(run.exit_status, 0) << run.standard_error;
}

}  // namespace
}  // namespace ecflux
