// Runs stopped by a signal at every stage, in a folder that holds an earlier
// run's results: while opening an input that is a named pipe without a
// writer, before the data's header arrives, after each block, with a line
// half read, during the final window sweep, with standard output blocked,
// while the window-flux table is written and while the files are put in
// place. Until its files are put in place, a stopped run ends within a
// bounded time with 128 + the signal and leaves the folder exactly as it was;
// once it has begun putting them in place, it completes.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/faults/fault_support.h"
#include "tests/support/test_support.h"

namespace ecflux::faults {
namespace {

using namespace std::chrono_literals;
using testing::ConfigurationText;
using testing::eventually;
using testing::folder_state;
using testing::FolderEntry;
using testing::output_names;
using testing::ProcessOptions;
using testing::ProcessResult;
using testing::run_program;
using testing::split_records;
using testing::StartedProgram;
using testing::TempFolder;
using testing::write_run;

constexpr int stop_signals[] = {SIGINT, SIGTERM, SIGHUP};

// Well above the time a stopped run needs; never a measure of it.
ProcessOptions time_limited() {
  ProcessOptions options;
  options.limit = 10s;
  return options;
}

// A folder with the results of an earlier run of three blocks, set up for a
// run with `config`.
struct EarlierResults {
  TempFolder folder;

  explicit EarlierResults(const ConfigurationText& config = ten_hertz()) {
    write_run(folder, ten_hertz(), "header\n" + data_records(1900));
    const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path(), 60s);
    EXPECT_EQ(run.exit_status, 0) << run.standard_error;
    folder.write("ConfigDRAVEK.Dat", config.text());
  }

  // `name` becomes a named pipe, without a writer until the test opens one.
  void make_pipe(const std::string& name) const {
    std::filesystem::remove(folder / name);
    EXPECT_EQ(::mkfifo((folder / name).c_str(), 0600), 0);
  }

  // The records of the staged results file; none while there is no such file.
  std::optional<std::size_t> staged_results_records() const {
    const std::string staged = ".results.out.ecflux-partial";
    if (!folder.exists(staged)) return std::nullopt;
    return split_records(folder.read(staged)).size();
  }
};

void expect_interrupted(const ProcessResult& run, int signal, int blocks,
                        const std::vector<FolderEntry>& before, const TempFolder& folder,
                        const std::string& what) {
  expect_finished(run, what);
  EXPECT_EQ(run.exit_status, 128 + signal) << what;
  EXPECT_EQ(run.standard_error, "ecflux: interrupted after " + std::to_string(blocks) +
                                    (blocks == 1 ? " block" : " blocks") +
                                    "; nothing was replaced\n")
      << what;
  EXPECT_EQ(split_records(run.standard_output).size(), static_cast<std::size_t>(blocks)) << what;
  EXPECT_TRUE(folder_state(folder.path()) == before) << what << ": the folder changed";
}

// The run's main thread waits in a read of its data, which holds nothing
// more, and the run has written `records` records of the staged results file
// (nullopt: before it made one).
bool waits_for_data(const StartedProgram& run, const EarlierResults& earlier, int writer,
                    std::optional<std::size_t> records) {
  int unread = -1;
  return run.waiting_in() == SYS_read && ::ioctl(writer, FIONREAD, &unread) == 0 && unread == 0 &&
         earlier.staged_results_records() == records;
}

TEST(Interruption, WhileOpeningAnInputThatIsAPipeWithoutWriter) {
  int i = 0;
  for (const std::string input : {"ConfigDRAVEK.Dat", "data.txt"}) {
    const int signal = stop_signals[i++];
    const EarlierResults earlier;
    earlier.make_pipe(input);
    const auto before = folder_state(earlier.folder.path());
    StartedProgram run(ECFLUX_PROGRAM, earlier.folder.path(), time_limited());
    ASSERT_TRUE(eventually([&] { return run.waiting_in() == SYS_openat; })) << input;
    run.signal(signal);
    expect_interrupted(run.wait(), signal, 0, before, earlier.folder, input);
  }
}

TEST(Interruption, BeforeTheDataHeaderArrives) {
  int i = 0;
  for (const std::string delivered : {"", "time u v w1"}) {
    const int signal = stop_signals[i++];
    const EarlierResults earlier;
    earlier.make_pipe("data.txt");
    const auto before = folder_state(earlier.folder.path());
    StartedProgram run(ECFLUX_PROGRAM, earlier.folder.path(), time_limited());
    const int writer = testing::open_pipe_writer(earlier.folder / "data.txt");
    ASSERT_GE(writer, 0);
    ASSERT_TRUE(testing::write_all(writer, delivered));
    ASSERT_TRUE(eventually([&] { return waits_for_data(run, earlier, writer, std::nullopt); }));
    run.signal(signal);
    expect_interrupted(run.wait(), signal, 0, before, earlier.folder, "'" + delivered + "'");
    ::close(writer);
  }
}

TEST(Interruption, AfterEachBlock) {
  for (int blocks = 0; blocks <= 3; ++blocks) {
    const int signal = stop_signals[blocks % 3];
    const EarlierResults earlier;
    earlier.make_pipe("data.txt");
    const auto before = folder_state(earlier.folder.path());
    StartedProgram run(ECFLUX_PROGRAM, earlier.folder.path(), time_limited());
    const int writer = testing::open_pipe_writer(earlier.folder / "data.txt");
    ASSERT_GE(writer, 0);
    ASSERT_TRUE(testing::write_all(writer, "header\n" + data_records(600 * blocks + 300)));
    // The header of the results file goes out with the first block's row.
    const std::size_t records = blocks == 0 ? 0 : 1 + static_cast<std::size_t>(blocks);
    ASSERT_TRUE(eventually([&] { return waits_for_data(run, earlier, writer, records); }));
    run.signal(signal);
    expect_interrupted(run.wait(), signal, blocks, before, earlier.folder,
                       std::to_string(blocks) + " blocks");
    ::close(writer);
  }
}

// 1,199 whole records and half of the 1,200th: taken as a record, the half
// line would complete the second block.
TEST(Interruption, HalfReadLineIsNeverARecord) {
  const EarlierResults earlier;
  earlier.make_pipe("data.txt");
  const auto before = folder_state(earlier.folder.path());
  StartedProgram run(ECFLUX_PROGRAM, earlier.folder.path(), time_limited());
  const int writer = testing::open_pipe_writer(earlier.folder / "data.txt");
  ASSERT_GE(writer, 0);
  const std::string last = data_records(1, 10.0, 1199);
  ASSERT_TRUE(testing::write_all(
      writer, "header\n" + data_records(1199) + last.substr(0, last.size() / 2)));
  ASSERT_TRUE(eventually([&] { return waits_for_data(run, earlier, writer, std::size_t{2}); }));
  run.signal(SIGINT);
  expect_interrupted(run.wait(), SIGINT, 1, before, earlier.folder, "half a line");
  ::close(writer);
}

// One block of 20,000 samples has as many window lengths, whose sweep at
// the end of the run takes a second or more.
TEST(Interruption, DuringTheFinalWindowSweep) {
  ConfigurationText config;
  config.sample_rate = "20000";
  config.block_seconds = "1";
  config.window_seconds = "1";
  const EarlierResults earlier(config);
  earlier.folder.write("data.txt", "header\n" + data_records(20'000 + 100, 20'000.0));
  const auto before = folder_state(earlier.folder.path());
  StartedProgram run(ECFLUX_PROGRAM, earlier.folder.path(), time_limited());
  ASSERT_TRUE(eventually([&] { return earlier.staged_results_records() == std::size_t{2}; }));
  run.signal(SIGINT);
  expect_interrupted(run.wait(), SIGINT, 1, before, earlier.folder, "sweep");
}

// Standard output is a pipe that nobody reads: the output thread waits in a
// write that no signal interrupts, and the run ends without it.
TEST(Interruption, WhileStandardOutputIsAPipeNobodyReads) {
  ConfigurationText config;  // 4,000 blocks of two samples: 160 kB of progress lines
  config.sample_rate = "2";
  config.block_seconds = "1";
  config.window_seconds = "1";
  const EarlierResults earlier(config);
  earlier.folder.write("data.txt", "header\n" + data_records(8'001, 2.0, 0, 60.0));
  const auto before = folder_state(earlier.folder.path());
  TempFolder elsewhere;
  ASSERT_EQ(::mkfifo((elsewhere / "progress").c_str(), 0600), 0);
  const int unread = ::open((elsewhere / "progress").c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(unread, 0);
  ProcessOptions options = time_limited();
  options.standard_output_file = elsewhere / "progress";
  StartedProgram run(ECFLUX_PROGRAM, earlier.folder.path(), options);

  const int capacity = ::fcntl(unread, F_GETPIPE_SZ);
  int held = 0;
  ASSERT_TRUE(eventually([&] {
    int before_pause = 0;
    ::ioctl(unread, FIONREAD, &before_pause);
    std::this_thread::sleep_for(50ms);
    ::ioctl(unread, FIONREAD, &held);
    return held == before_pause && held > capacity - 4096;
  }));
  run.signal(SIGTERM);
  const ProcessResult result = run.wait();
  ::close(unread);
  expect_finished(result, "blocked standard output");
  EXPECT_EQ(result.exit_status, 128 + SIGTERM);
  EXPECT_EQ(result.standard_error.rfind("ecflux: interrupted after ", 0), 0u)
      << result.standard_error;
  EXPECT_TRUE(result.standard_error.ends_with(" blocks; nothing was replaced\n"))
      << result.standard_error;
  EXPECT_TRUE(folder_state(earlier.folder.path()) == before);
}

// The window-flux table is written after the last block; a run stopped then
// still replaces nothing.
TEST(Interruption, WhileTheWindowFluxTableIsWritten) {
  const EarlierResults earlier;
  const auto before = folder_state(earlier.folder.path());
  TempFolder elsewhere;
  StartedProgram run(ECFLUX_PROGRAM, earlier.folder.path(),
                     with_chosen_call("PAUSING_CALL", "write 1 .Cospectra.out.ecflux-partial",
                                      elsewhere / "call"));
  ASSERT_TRUE(eventually([&] { return chosen_call(elsewhere / "call") != ""; }));
  run.signal(SIGHUP);
  expect_interrupted(run.wait(), SIGHUP, 3, before, earlier.folder, "window-flux table");
}

// Once the files are being put in place, the run is past the point where it
// could still leave everything as it was: it completes, and the folder holds
// every new file.
TEST(Interruption, WhileTheFilesArePutInPlaceTheRunCompletes) {
  ConfigurationText config = ten_hertz();
  config.window_seconds = "20";
  TempFolder reference;
  write_run(reference, config, "header\n" + data_records(1900));
  ASSERT_EQ(run_program(ECFLUX_PROGRAM, reference.path(), 60s).exit_status, 0);
  for (const int rename : {1, 3}) {
    const EarlierResults earlier(config);
    TempFolder elsewhere;
    StartedProgram run(
        ECFLUX_PROGRAM, earlier.folder.path(),
        with_chosen_call("PAUSING_CALL", "rename " + std::to_string(rename), elsewhere / "call"));
    ASSERT_TRUE(eventually([&] { return chosen_call(elsewhere / "call") != ""; }));
    run.signal(SIGTERM);
    const ProcessResult result = run.wait();
    const std::string what = "rename " + std::to_string(rename);
    expect_finished(result, what);
    EXPECT_EQ(result.exit_status, 0) << what;
    EXPECT_EQ(result.standard_error, "") << what;
    for (const auto& name : output_names) {
      EXPECT_TRUE(earlier.folder.read(name) == reference.read(name)) << what << ": " << name;
    }
    EXPECT_EQ(earlier.folder.names(), reference.names()) << what;
  }
}

}  // namespace
}  // namespace ecflux::faults
