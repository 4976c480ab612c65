// Runs of the built program under faults and at the limits of its input: full
// devices, files that cannot be created, folders given as files, unreadable
// and enormous data. Every run has a time limit, so that a hang fails the test
// instead of blocking it. In each case the program must end with its message
// and exit status, and a run that fails must leave the folder as it was:
// its outputs are written aside and replace nothing until the run completes.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
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
using testing::ProcessResult;
using testing::run_program;
using testing::severe;
using testing::split_records;
using testing::TempFolder;
using testing::write_run;

bool is_character_device(const char* path) {
  struct stat status {};
  return ::stat(path, &status) == 0 && S_ISCHR(status.st_mode);
}

TEST(Faults, FullDeviceForEachOutputNamesItsUnitAndReplacesNothing) {
  // 40 blocks: cumflux.out grows past the output buffer, so its failure
  // shows in the middle of the run; the others fail when they are closed.
  const ConfigurationText config = ten_hertz();
  const std::string data = forty_blocks();
  TempFolder good;
  write_run(good, config, data);
  const ProcessResult reference = run_program(ECFLUX_PROGRAM, good.path(), 300s);
  ASSERT_EQ(reference.exit_status, 0) << reference.standard_error;

  const std::vector<std::pair<std::string, int>> units = {
      {"results.out", 9}, {"Cospectra.out", 40}, {"cumflux.out", 43}, {"CFSHIFT.out", 889}};
  for (const bool earlier_run : {false, true}) {
    for (const auto& [full, unit] : units) {
      TempFolder folder;
      write_run(folder, config, data);
      // The device is named only through the link.
      std::filesystem::create_symlink("/dev/full", folder / full);
      for (const auto& name : output_names) {
        if (earlier_run && name != full) folder.write(name, "an earlier run's " + name);
      }
      const auto before = testing::folder_state(folder.path());
      const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path(), 300s);
      const std::string what = full + (earlier_run ? " after an earlier run" : "");
      expect_finished(run, what);
      EXPECT_EQ(run.exit_status, 1) << what;
      EXPECT_EQ(run.standard_error, severe(38, "error during write, unit " + std::to_string(unit) +
                                                   ", file " + (folder / full).string()) +
                                        (earlier_run ? earlier_results_unchanged(folder.path())
                                                     : no_earlier_results(folder.path())));
      EXPECT_TRUE(testing::folder_state(folder.path()) == before) << what;
      expect_whole_records_of(run.standard_output, reference.standard_output,
                              what + ": standard output");
      if (full == "cumflux.out") {
        // The failure came during the run: output stopped there.
        EXPECT_LT(run.standard_output.size(), reference.standard_output.size());
      }
    }
  }
  EXPECT_TRUE(is_character_device("/dev/full"));
}

TEST(Faults, FullStandardOutputIsAWriteFailureOfUnitSix) {
  const ConfigurationText config = ten_hertz();
  const std::string data = "header\n" + data_records(600 * 3);
  TempFolder good, folder;
  write_run(good, config, data);
  ASSERT_EQ(run_program(ECFLUX_PROGRAM, good.path(), 120s).exit_status, 0);

  write_run(folder, config, data);
  std::filesystem::create_symlink("/dev/full", folder / "screen");
  folder.write("run.sh", "#!/bin/sh\nexec '" ECFLUX_PROGRAM "' > screen\n");
  std::filesystem::permissions(folder / "run.sh", std::filesystem::perms::owner_all);
  const auto before = testing::folder_state(folder.path());
  const ProcessResult run = run_program((folder / "run.sh").string(), folder.path(), 120s);
  expect_finished(run, "standard output");
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.standard_error, severe(38, "error during write, unit 6, file /dev/stdout") +
                                    no_earlier_results(folder.path()));
  EXPECT_TRUE(testing::folder_state(folder.path()) == before);
  EXPECT_TRUE(is_character_device("/dev/full"));
}

// An output that cannot be created leaves the files of an earlier run as
// they were, and creates none.
TEST(Faults, OutputThatCannotBeCreated) {
  struct Case {
    std::string results_file;
    std::string folder_in_the_way;  // an output name that is a folder
    int unit;
    std::string failing;  // the file named in the message
  };
  const std::vector<Case> cases = {
      // A path through a regular file: no folder can hold the file.
      {"data.txt/results.out", "", 9, "data.txt/results.out"},
      {"results.out", "results.out", 9, "results.out"},
      {"results.out", "Cospectra.out", 40, "Cospectra.out"},
      {"results.out", "cumflux.out", 43, "cumflux.out"},
      {"results.out", "CFSHIFT.out", 889, "CFSHIFT.out"},
  };
  for (const bool earlier_run : {false, true}) {
    for (const Case& c : cases) {
      TempFolder folder;
      ConfigurationText config = ten_hertz();
      config.results_file = c.results_file;
      write_run(folder, config, "header\n" + data_records(700));
      if (!c.folder_in_the_way.empty()) {
        std::filesystem::create_directory(folder / c.folder_in_the_way);
      }
      const auto earlier = [](const std::string& name) { return "an earlier run's " + name; };
      for (const auto& name : output_names) {
        if (earlier_run && name != c.folder_in_the_way) folder.write(name, earlier(name));
      }
      const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path(), 60s);
      const std::string what = c.failing + (earlier_run ? " after an earlier run" : "");
      expect_finished(run, what);
      EXPECT_EQ(run.exit_status, 1) << what;
      EXPECT_EQ(run.standard_error, severe(30, "open failure, unit " + std::to_string(c.unit) +
                                                   ", file " + (folder / c.failing).string()) +
                                        (earlier_run ? earlier_results_unchanged(folder.path())
                                                     : no_earlier_results(folder.path())));
      EXPECT_EQ(run.standard_output, "") << what;
      for (const auto& name : output_names) {
        if (name == c.folder_in_the_way) continue;
        ASSERT_EQ(folder.exists(name), earlier_run) << what << ": " << name;
        if (earlier_run) {
          EXPECT_EQ(folder.read(name), earlier(name)) << what << ": " << name;
        }
      }
    }
  }
}

TEST(Faults, OutputFolderThatIsNotWritable) {
  TempFolder folder;
  write_run(folder, ten_hertz(), "header\n" + data_records(700));
  using std::filesystem::perms;
  std::filesystem::permissions(folder.path(), perms::owner_read | perms::owner_exec |
                                                  perms::group_read | perms::group_exec |
                                                  perms::others_read | perms::others_exec);
  testing::ProcessOptions options;
  options.limit = 60s;
  options.user = unprivileged_user();
  const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path(), options);
  expect_finished(run, "read-only folder");
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.standard_error, severe(9, "permission to access file denied, unit 9, file " +
                                              (folder / "results.out").string()) +
                                    no_earlier_results(folder.path()));
  expect_no_output_files(folder, "read-only folder");
}

// An output that may not be written, after an earlier run: every file keeps
// what the earlier run wrote.
TEST(Faults, ReadOnlyOutputLeavesTheEarlierFiles) {
  TempFolder folder;
  write_run(folder, ten_hertz(), "header\n" + data_records(1300));
  ASSERT_EQ(run_program(ECFLUX_PROGRAM, folder.path(), 60s).exit_status, 0);
  std::vector<std::string> earlier;
  using std::filesystem::perms;
  for (const auto& name : output_names) {
    earlier.push_back(folder.read(name));
    std::filesystem::permissions(folder / name, name == "Cospectra.out"
                                                    ? perms::owner_read | perms::others_read
                                                    : perms::all & ~perms::owner_exec);
  }
  std::filesystem::permissions(folder.path(), perms::all);
  testing::ProcessOptions options;
  options.limit = 60s;
  options.user = unprivileged_user();
  const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path(), options);
  expect_finished(run, "read-only Cospectra.out");
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.standard_error, severe(9, "permission to access file denied, unit 40, file " +
                                              (folder / "Cospectra.out").string()) +
                                    earlier_results_unchanged(folder.path()));
  for (std::size_t i = 0; i < output_names.size(); ++i) {
    EXPECT_TRUE(folder.read(output_names[i]) == earlier[i]) << output_names[i];
  }
}

TEST(Faults, FolderGivenAsAnInputFile) {
  {
    TempFolder folder;
    folder.write("ConfigDRAVEK.Dat", ten_hertz().text());
    std::filesystem::create_directory(folder / "data.txt");
    const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path(), 60s);
    expect_finished(run, "data folder");
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.standard_error,
              severe(30, "open failure, unit 8, file " + (folder / "data.txt").string()) +
                  no_earlier_results(folder.path()));
    expect_no_output_files(folder, "data folder");
  }
  {
    TempFolder folder;
    std::filesystem::create_directory(folder / "ConfigDRAVEK.Dat");
    folder.write("data.txt", "header\n" + data_records(700));
    const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path(), 60s);
    expect_finished(run, "configuration folder");
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.standard_error, severe(30, "open failure, unit 2030, file " +
                                                 (folder / "ConfigDRAVEK.Dat").string()) +
                                      no_earlier_results(folder.path()));
    expect_no_output_files(folder, "configuration folder");
  }
}

// One complete block of 600 records, 50 more, then `bad` as line 652, then
// enough good records for two more blocks that must not be read.
std::string data_with_bad_record(const std::string& bad) {
  return "header\n" + data_records(650) + bad + "\n" + data_records(1300, 10.0, 651);
}

// The input ends at the record: the first block is kept, the second dropped.
void expect_input_ends_at_line_652(const TempFolder& folder, const ProcessResult& run,
                                   const std::string& what) {
  expect_finished(run, what);
  EXPECT_EQ(run.exit_status, 0) << what;
  EXPECT_EQ(run.standard_error, not_a_number_warning(folder, 652)) << what;
  EXPECT_EQ(split_records(run.standard_output).size(), 1u) << what;
  EXPECT_EQ(split_records(folder.read("results.out")).size(), 2u) << what;
  EXPECT_EQ(split_records(folder.read("cumflux.out")).size(), 601u) << what;
}

TEST(Faults, ValuesThatAreNotNumbersEndTheInput) {
  // Words, numbers beyond the range of a double, bytes that belong to no
  // number (a NUL among them), and forms of other languages.
  const std::vector<std::string> bad = {
      "65.1 1 2 NaN 4 5 6",   "65.1 1 2 3 4 5 Inf",
      "65.1 1 2 3 4 5 nan",   "65.1 -Infinity 2 3 4 5 6",
      "65.1 1 2 3 1e400 5 6", "65.1 1 2 3 4 5 -1E400",
      "65.1 1 2 3 4 5 1D999", "65.1 1 2 3 4 5 1.0+400",
      "1e400 1 2 3 4 5 6",    std::string("65.1 1 2\0 3 4 5 6", 17),
      std::string("\0", 1),   "65.1 1 2 0x10 4 5 6",
      "65.1 1 2 3 4 5 6e",    "65.1 1 2 3 4 5 \x80\xff",
      "65.1 1 2 3 4 5 1.5.2"};
  for (const std::string& record : bad) {
    TempFolder folder;
    write_run(folder, ten_hertz(), data_with_bad_record(record));
    const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path(), 60s);
    expect_input_ends_at_line_652(folder, run, "record '" + record + "'");
  }
}

TEST(Faults, RecordsThatAreStillNumbers) {
  // Too small for a double is zero; bytes after the seventh value are never
  // looked at, a NUL among them, but the run says that they are there.
  struct Case {
    std::string record;
    bool values_after_seven;
  };
  const std::vector<Case> good = {{"65.0 1 2 3 4 5 1e-400", false},
                                  {std::string("65.0 1 2 3 4 5 6 \0 NaN", 22), true},
                                  {"65.0 1 2 3 4 5 6 Inf", true}};
  for (const Case& c : good) {
    TempFolder folder;
    write_run(folder, ten_hertz(), data_with_bad_record(c.record));
    const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path(), 60s);
    expect_finished(run, c.record);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.standard_error,
              c.values_after_seven
                  ? "ecflux: warning: line 652 of the data file " + (folder / "data.txt").string() +
                        " holds more than seven values; the values after the seventh are not "
                        "used (columns of date and time before the seven?)\n"
                  : "")
        << c.record;
    EXPECT_EQ(split_records(run.standard_output).size(), 3u) << c.record;
  }
}

TEST(Faults, BinaryGarbage) {
  std::mt19937 random(20240611);
  std::string garbage(1 << 20, '\0');
  for (char& c : garbage) c = static_cast<char>(random());
  {
    // After one good block: the first garbage record is line 652.
    TempFolder folder;
    write_run(folder, ten_hertz(), "header\n" + data_records(650) + "\x01" + garbage);
    const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path(), 60s);
    expect_input_ends_at_line_652(folder, run, "garbage after a block");
  }
  {
    // A whole file of garbage: its first line is the header; then either a
    // value that is not a number or the end of the file ends the input,
    // before a block is complete.
    TempFolder folder;
    write_run(folder, ten_hertz(), garbage);
    const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path(), 60s);
    expect_finished(run, "garbage file");
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_NE(run.standard_error.find("ecflux: nothing to write: "), std::string::npos)
        << run.standard_error;
    EXPECT_EQ(run.standard_output, "");
    expect_no_output_files(folder, "garbage file");
  }
}

TEST(Faults, LineEndsMissingAndLinesOfTenMegabytes) {
  const std::string ten_megabytes_of_blanks(10'000'000, ' ');
  struct Case {
    std::string what;
    std::string data;
    std::size_t blocks;
    long warning_line;  // 0: none
  };
  std::string without_final_feed = "header\n" + data_records(1200);
  without_final_feed.pop_back();
  const std::vector<Case> cases = {
      {"no final line feed", without_final_feed, 2, 0},
      {"no line ends at all", "header" + ten_megabytes_of_blanks, 0, 0},
      {"a header of 10 MB", ten_megabytes_of_blanks + "header\n" + data_records(1200), 2, 0},
      // The record of the next sample is still incomplete when the file ends.
      {"a last line of 10 MB", "header\n" + data_records(650) + ten_megabytes_of_blanks + "1 2 3",
       1, 0},
      {"a number of ten million digits",
       "header\n" + data_records(650) + std::string(10'000'000, '7'), 1, 652},
  };
  for (const Case& c : cases) {
    TempFolder folder;
    write_run(folder, ten_hertz(), c.data);
    const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path(), 120s);
    expect_finished(run, c.what);
    EXPECT_EQ(run.exit_status, c.blocks == 0 ? 1 : 0) << c.what;
    std::string expected = c.warning_line ? not_a_number_warning(folder, c.warning_line) : "";
    if (c.blocks == 0) {
      expected += "ecflux: nothing to write: the data file " + (folder / "data.txt").string() +
                  " holds no record after its header\n" + no_earlier_results(folder.path());
    }
    EXPECT_EQ(run.standard_error, expected) << c.what;
    EXPECT_EQ(split_records(run.standard_output).size(), c.blocks) << c.what;
    if (c.blocks > 0) {
      EXPECT_EQ(split_records(folder.read("cumflux.out")).size(), 1 + 600 * c.blocks) << c.what;
    }
  }
}

TEST(Faults, TwentyThousandBlocksAtTwoHertz) {
  // Blocks of N = 2 samples (fs 2, 1 s) have one window of two samples: a
  // cheap run with one Cospectra.out column per block.
  TempFolder folder;
  ConfigurationText config;
  config.sample_rate = "2";
  config.block_seconds = "1";
  config.window_seconds = "1";
  write_run(folder, config, "header\n" + data_records(40'001, 2.0));
  const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path(), 300s);
  expect_finished(run, "20,000 blocks");
  ASSERT_EQ(run.exit_status, 0) << run.standard_error;
  EXPECT_EQ(split_records(run.standard_output).size(), 20'000u);
  EXPECT_EQ(split_records(folder.read("results.out")).size(), 20'001u);
  EXPECT_EQ(split_records(folder.read("cumflux.out")).size(), 40'001u);
  const auto spectra = split_records(folder.read("Cospectra.out"));
  ASSERT_EQ(spectra.size(), 2u);
  EXPECT_EQ(spectra[0].size(), 180'010u);
  EXPECT_EQ(spectra[1].size(), 180'010u);
  // Block b holds the times b and b + 0.5.
  EXPECT_EQ(spectra[0].substr(0, 28), "      FREQ   0.2500   1.2500");
  EXPECT_EQ(spectra[1].substr(0, 10), "  1.000000");
  // From 10000 on the mean time no longer fits nine columns.
  EXPECT_EQ(spectra[0].substr(10 + 9 * 9999, 18), "9999.2500*********");
}

TEST(Faults, FiftyThousandSamplesASecond) {
  // One block of one second: 49,998 windows (2 ... 49,999 by one sample)
  // and delays up to the whole block.
  TempFolder folder;
  ConfigurationText config;
  config.sample_rate = "50000";
  config.block_seconds = "1";
  config.window_seconds = "1";
  write_run(folder, config, "header\n" + data_records(50'000 + 777, 50'000.0));
  const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path(), 600s);
  expect_finished(run, "50,000 Hz");
  ASSERT_EQ(run.exit_status, 0) << run.standard_error;
  EXPECT_EQ(run.standard_error, "");
  ASSERT_EQ(split_records(run.standard_output).size(), 1u);
  EXPECT_EQ(split_records(folder.read("results.out")).size(), 2u);
  EXPECT_EQ(split_records(folder.read("cumflux.out")).size(), 50'001u);
  const auto cfshift = split_records(folder.read("CFSHIFT.out"));
  EXPECT_GE(cfshift.size(), 2u);
  EXPECT_LE(cfshift.size(), 50'001u);
  const auto spectra = split_records(folder.read("Cospectra.out"));
  ASSERT_EQ(spectra.size(), 1u + 49'998u);
  // Frequencies of 100 and more do not fit F9.6.
  EXPECT_EQ(spectra[1].substr(0, 10), " *********");
  EXPECT_EQ(spectra.back().substr(0, 10), "  1.000020");
}

// Writes `count` records of the same values quickly, the time counting up.
std::string uniform_records(int count) {
  std::string text;
  text.reserve(static_cast<std::size_t>(count) * 24);
  char number[16];
  for (int i = 0; i < count; ++i) {
    const auto end = std::to_chars(number, number + sizeof number, i).ptr;
    text.append(number, end);
    text += (i % 2) ? " 1 2 3 4 5 6\n" : " 2 1 4 3 6 5\n";
  }
  return text;
}

ConfigurationText two_million_samples() {
  ConfigurationText config;
  config.sample_rate = "1000";
  config.block_seconds = "2000";
  config.window_seconds = "300";
  return config;
}

TEST(Faults, BlockOfTwoMillionSamplesThatTheDataDoNotFill) {
  TempFolder folder;
  write_run(folder, two_million_samples(), "header\n" + uniform_records(1'999'999));
  const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path(), 300s);
  expect_finished(run, "2,000,000 samples");
  // Whole seconds at 1000 Hz are uneven sampling, and the data fill no block.
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_TRUE(run.standard_error.ends_with("; a block needs 2,000,000\n" +
                                           no_earlier_results(folder.path())))
      << run.standard_error;
  EXPECT_EQ(run.standard_output, "");
  expect_no_output_files(folder, "2,000,000 samples");
}

// A whole block of two million samples costs some 10^10 multiplications
// (3,000 windows and 2,000 delays, each over the block): half a minute on
// two processors. Run with ECFLUX_SLOW_TESTS=1.
TEST(Faults, BlockOfTwoMillionSamples) {
  if (std::getenv("ECFLUX_SLOW_TESTS") == nullptr) {
    GTEST_SKIP() << "a run of about half a minute; set ECFLUX_SLOW_TESTS=1 to run it";
  }
  TempFolder folder;
  write_run(folder, two_million_samples(), "header\n" + uniform_records(2'000'000 + 5));
  const ProcessResult run = run_program(ECFLUX_PROGRAM, folder.path(), 1200s);
  expect_finished(run, "2,000,000 samples");
  ASSERT_EQ(run.exit_status, 0) << run.standard_error;
  expect_only_warnings(run, "2,000,000 samples");
  EXPECT_EQ(split_records(run.standard_output).size(), 1u);
  EXPECT_EQ(split_records(folder.read("cumflux.out")).size(), 2'000'001u);
  // Windows 2 ... 999, 1000 ... 10250 by 250, then 11250 ... 1999250 by 1000.
  EXPECT_EQ(split_records(folder.read("Cospectra.out")).size(), 1u + 998u + 38u + 1989u);
}

}  // namespace
}  // namespace ecflux::faults
