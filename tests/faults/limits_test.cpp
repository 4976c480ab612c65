// Runs under limits of the system: address space, threads, file size,
// descriptors and memory. The program must never be killed or abort: it
// finishes with the outputs of an unlimited run, or ends with one line on
// standard error and whole records in every file.

#include <gtest/gtest.h>

#include <algorithm>

#include <sys/resource.h>
#include <unistd.h>

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

// A run of 40 blocks and its outputs without limits.
struct GoodRun {
  std::string data = forty_blocks();
  TempFolder folder;
  ProcessResult run;

  GoodRun() {
    write_run(folder, ten_hertz(), data);
    run = run_program(ECFLUX_PROGRAM, folder.path(), 300s);
  }
};

ProcessOptions limited(int resource, unsigned long value) {
  ProcessOptions options;
  options.limit = 300s;
  options.resource_limits.push_back({resource, value});
  return options;
}

// Either the whole run, or one line and whole records of it.
void expect_whole_or_stopped_cleanly(const ProcessResult& run, const TempFolder& folder,
                                     const GoodRun& good, const std::string& what) {
  expect_finished(run, what);
  if (run.exit_status == 0) {
    EXPECT_EQ(run.standard_error, "") << what;
    EXPECT_EQ(run.standard_output, good.run.standard_output) << what;
    for (const auto& name : output_names) {
      EXPECT_TRUE(folder.read(name) == good.folder.read(name)) << what << ": " << name;
    }
    return;
  }
  EXPECT_EQ(run.exit_status, 1) << what;
  // One line, then what the folder still holds: nothing was written.
  EXPECT_EQ(std::count(run.standard_error.begin(), run.standard_error.end(), '\n'), 2)
      << what << ": " << run.standard_error;
  const bool known = run.standard_error.rfind("ecflux: ", 0) == 0 ||
                     run.standard_error.rfind("forrtl: severe (", 0) == 0;
  EXPECT_TRUE(known) << what << ": " << run.standard_error;
  EXPECT_TRUE(run.standard_error.ends_with(testing::no_earlier_results(folder.path())))
      << what << ": " << run.standard_error;
  expect_whole_records_of(run.standard_output, good.run.standard_output, what + ": stdout");
  expect_no_output_files(folder, what);
}

// Tight limits of address space leave the worker threads without stacks,
// and then the rest of the run without memory.
TEST(Limits, AddressSpaceFromFifteenToThirtyFiveMegabytes) {
  if (testing::address_sanitizer) GTEST_SKIP() << "AddressSanitizer needs more address space";
  const GoodRun good;
  ASSERT_EQ(good.run.exit_status, 0);
  for (unsigned long kilobytes = 15000; kilobytes <= 35000; kilobytes += 2500) {
    TempFolder folder;
    write_run(folder, ten_hertz(), good.data);
    const ProcessResult run =
        run_program(ECFLUX_PROGRAM, folder.path(), limited(RLIMIT_AS, kilobytes * 1024));
    expect_whole_or_stopped_cleanly(run, folder, good, "ulimit -v " + std::to_string(kilobytes));
  }
}

// Address space that runs out while the outputs are created, each with its
// buffer: the files created so far go, and the earlier results stay. The scan
// starts where the program starts at all (below, the loader or the C++
// run-time fails before it runs) and ends with the first run that completes.
TEST(Limits, AddressSpaceRunningOutWhileTheOutputsAreCreated) {
  if (testing::address_sanitizer) GTEST_SKIP() << "AddressSanitizer needs more address space";
  const std::string data = "header\n" + data_records(1900);
  TempFolder good;
  write_run(good, ten_hertz(), data);
  ASSERT_EQ(run_program(ECFLUX_PROGRAM, good.path(), 60s).exit_status, 0);
  TempFolder folder;
  write_run(folder, ten_hertz(), data);
  for (const auto& name : output_names) folder.write(name, "an earlier run's " + name);
  const auto before = testing::folder_state(folder.path());

  bool started = false;
  int failures = 0;
  for (unsigned long kilobytes = 4000; kilobytes < 64000; kilobytes += 250) {
    const ProcessResult run =
        run_program(ECFLUX_PROGRAM, folder.path(), limited(RLIMIT_AS, kilobytes * 1024));
    const std::string what = "ulimit -v " + std::to_string(kilobytes);
    const bool refused = run.exit_status == 1 &&
                         run.standard_error.ends_with(earlier_results_unchanged(folder.path()));
    if (!started && run.exit_status != 0 && !refused) continue;
    started = true;
    expect_finished(run, what);
    if (run.exit_status == 0) {
      for (const auto& name : output_names) {
        EXPECT_TRUE(folder.read(name) == good.read(name)) << what << ": " << name;
      }
      break;
    }
    ++failures;
    EXPECT_TRUE(refused) << what << ": " << run.standard_error;
    EXPECT_TRUE(testing::folder_state(folder.path()) == before) << what << ": the folder changed";
  }
  EXPECT_GT(failures, 0);
}

// One process for the user: no thread can be started. Root is not bound by
// the limit, so a test run by root runs the program as the user nobody.
TEST(Limits, NoThreadCanStart) {
  if (testing::address_sanitizer) GTEST_SKIP() << "the leak checker needs a thread of its own";
  const GoodRun good;
  ASSERT_EQ(good.run.exit_status, 0);
  TempFolder folder;
  write_run(folder, ten_hertz(), good.data);
  ProcessOptions options = limited(RLIMIT_NPROC, 1);
  options.user = unprivileged_user();
  std::filesystem::permissions(folder.path(), std::filesystem::perms::all);
  const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path(), options);
  EXPECT_EQ(run.exit_status, 0) << run.standard_error;
  expect_whole_or_stopped_cleanly(run, folder, good, "ulimit -u 1");
}

// A file size limit makes the write fail: the first file to reach it is
// named, and the earlier run's files are as they were.
TEST(Limits, FileSizeLimitIsAWriteFailureThatReplacesNothing) {
  const GoodRun good;
  ASSERT_EQ(good.run.exit_status, 0);
  for (const unsigned long bytes : {100'000ul, 1'500'001ul}) {
    TempFolder folder;
    write_run(folder, ten_hertz(), good.data);
    for (const auto& name : output_names) folder.write(name, "earlier " + name);
    const auto before = testing::folder_state(folder.path());
    const ProcessResult run =
        run_program(ECFLUX_PROGRAM, folder.path(), limited(RLIMIT_FSIZE, bytes));
    const std::string what = "ulimit -f of " + std::to_string(bytes) + " bytes";
    expect_finished(run, what);
    EXPECT_EQ(run.exit_status, 1) << what;
    EXPECT_EQ(run.standard_error,
              severe(38, "error during write, unit 43, file " + (folder / "cumflux.out").string()) +
                  testing::earlier_results_unchanged(folder.path()))
        << what;
    EXPECT_TRUE(testing::folder_state(folder.path()) == before) << what;
  }
}

// Standard output into a file that reaches the file size limit part way
// through a line: the file ends with the last whole line. The results go to
// /dev/null and the other files are written out only when their buffers
// fill, so that standard output reaches the limit first.
TEST(Limits, StandardOutputCutByTheFileSizeLimitEndsWithAWholeLine) {
  const GoodRun good;
  ASSERT_EQ(good.run.exit_status, 0);
  TempFolder folder, elsewhere;
  ConfigurationText config = ten_hertz();
  config.results_file = "/dev/null";
  write_run(folder, config, good.data);
  constexpr unsigned long limit = 500;  // 12 progress lines and part of the 13th
  ProcessOptions options = limited(RLIMIT_FSIZE, limit);
  options.standard_output_file = elsewhere / "progress";
  const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path(), options);
  expect_finished(run, "ulimit -f");
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.standard_error, severe(38, "error during write, unit 6, file /dev/stdout") +
                                    no_earlier_results(folder.path()));
  const std::string kept = elsewhere.read("progress");
  expect_whole_records_of(kept, good.run.standard_output, "standard output");
  EXPECT_EQ(kept.size(), limit / 41 * 41);
}

// Too few descriptors for the outputs: the open failure is reported as
// always, and an earlier run's files are as they were.
TEST(Limits, TooFewDescriptorsLeaveTheEarlierFiles) {
  TempFolder folder;
  write_run(folder, ten_hertz(), "header\n" + data_records(1300));
  ASSERT_EQ(run_program(ECFLUX_PROGRAM, folder.path(), 60s).exit_status, 0);
  std::vector<std::string> earlier;
  for (const auto& name : output_names) earlier.push_back(folder.read(name));
  const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path(), limited(RLIMIT_NOFILE, 5));
  expect_finished(run, "ulimit -n 5");
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.standard_error.rfind("forrtl: severe (30): open failure, unit ", 0), 0u)
      << run.standard_error;
  for (std::size_t i = 0; i < output_names.size(); ++i) {
    EXPECT_TRUE(folder.read(output_names[i]) == earlier[i]) << output_names[i];
  }
}

// A block far longer than the data: memory follows the samples read, not
// the block that the configuration could hold.
TEST(Limits, MemoryFollowsTheDataNotTheConfiguredBlock) {
  TempFolder folder;
  ConfigurationText config = ten_hertz();
  config.sample_rate = "2.5";
  config.block_seconds = "1000000";  // N = 2,000,000 samples
  config.window_seconds = "300";
  write_run(folder, config, "header\n" + data_records(4000, 2.5));
  const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path(), 60s);
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_NE(run.standard_error.find("holds 4,000 samples; a block needs 2,000,000"),
            std::string::npos)
      << run.standard_error;
  // A run that held the block's tables took about 500 MB.
  const long bound_kb = (testing::address_sanitizer ? 200 : 100) * 1024;
  EXPECT_LT(run.peak_memory_kb, bound_kb) << "kB";
}

// An input without line ends (here endless) fails with its file and line
// before it takes all the memory there is.
TEST(Limits, EndlessLineNamesTheFileAndTheLine) {
  if (testing::address_sanitizer) GTEST_SKIP() << "AddressSanitizer needs more address space";
  for (const std::string endless : {"data.txt", "ConfigDRAVEK.Dat"}) {
    TempFolder folder;
    write_run(folder, ten_hertz(), "header\n" + data_records(100));
    std::filesystem::remove(folder / endless);
    std::filesystem::create_symlink("/dev/zero", folder / endless);
    const ProcessResult run =
        run_program(ECFLUX_PROGRAM, folder.path(), limited(RLIMIT_AS, 1024ul * 1024 * 1024));
    expect_finished(run, endless);
    EXPECT_EQ(run.exit_status, 1) << endless;
    const std::string start = "ecflux: line 1 of " + (folder / endless).string() +
                              " does not end within the memory this machine can give (";
    EXPECT_EQ(run.standard_error.rfind(start, 0), 0u) << run.standard_error;
    EXPECT_EQ(split_records(run.standard_error).size(), 1u) << run.standard_error;
    expect_no_output_files(folder, endless);
  }
}

}  // namespace
}  // namespace ecflux::faults
