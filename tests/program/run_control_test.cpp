// One run per folder at a time, and a run stopped by a signal. The data come
// through a named pipe, so that the test decides when the run can go on.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>

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
};

void write_all(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
    ASSERT_GT(written, 0);
    done += static_cast<std::size_t>(written);
  }
}

// Whether a run holds the folder's lock: another may not take it.
bool locked(const TempFolder& folder) {
  const int fd = ::open(folder.path().c_str(), O_RDONLY | O_DIRECTORY);
  const bool taken = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
  ::close(fd);
  return taken;
}

template <class Condition>
bool eventually(Condition condition) {
  for (int i = 0; i < 2000 && !condition(); ++i) std::this_thread::sleep_for(5ms);
  return condition();
}

TEST(RunControl, ASecondRunInTheSameFolderIsRefused) {
  PipedRun piped;
  StartedProgram first(ECFLUX_PROGRAM, piped.folder.path(), ProcessOptions{});
  ASSERT_TRUE(eventually([&] { return locked(piped.folder); }));

  const ProcessResult second = testing::run_program(ECFLUX_PROGRAM, piped.folder.path(), 60s);
  EXPECT_EQ(second.exit_status, 1);
  EXPECT_EQ(second.standard_error, "ecflux: another run is writing in " +
                                       std::filesystem::canonical(piped.folder.path()).string() +
                                       "; nothing was written\n" +
                                       testing::no_earlier_results(piped.folder.path()));
  for (const auto& name : output_names) EXPECT_FALSE(piped.folder.exists(name)) << name;

  // The first run goes on as if alone, and leaves no file of the lock.
  const int writer = piped.open_writer();
  write_all(writer, "header\n" + testing::ten_hertz_records(1300));
  ::close(writer);
  const ProcessResult run = first.wait();
  EXPECT_EQ(run.exit_status, 0) << run.standard_error;
  EXPECT_EQ(split_records(run.standard_output).size(), 2u);
  EXPECT_FALSE(locked(piped.folder));
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
    write_all(writer, "header\n" + testing::ten_hertz_records(1450));
    const std::string staged = ".results.out.ecflux-partial";
    ASSERT_TRUE(eventually([&] {
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

}  // namespace
}  // namespace ecflux
