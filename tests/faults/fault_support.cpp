#include "tests/faults/fault_support.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>

namespace ecflux::faults {
namespace {

void append_record(std::string& text, double time, int i) {
  char line[160];
  const int length =
      std::snprintf(line, sizeof line, "%.8f %.2f %.2f %.2f %.2f %.3f %.3f\n", time, 10.0 + i % 7,
                    -3.0 + i % 5, (i * 7 % 11 - 5) * 0.1, (i * 3 % 7 - 3) * 0.1,
                    4.0 + (i * 3 % 13) * 0.01, 4.0 + (i * 5 % 11) * 0.01);
  text.append(line, static_cast<std::size_t>(length));
}

}  // namespace

std::string data_records(int count, double rate, int first, double time_unit) {
  std::string text;
  text.reserve(static_cast<std::size_t>(count) * 48);
  for (int i = first; i < first + count; ++i) append_record(text, i / rate / time_unit, i);
  return text;
}

std::string forty_blocks() { return "header\n" + data_records(600 * 40 + 17, 10.0, 0, 60.0); }

void expect_only_warnings(const testing::ProcessResult& run, const std::string& what) {
  for (const std::string& line : testing::split_records(run.standard_error)) {
    EXPECT_EQ(line.rfind("ecflux: warning: ", 0), 0u) << what << ": " << line;
  }
}

std::string not_a_number_warning(const testing::TempFolder& folder, long line) {
  return "ecflux: warning: line " + std::to_string(line) + " of the data file " +
         (folder / "data.txt").string() +
         " holds a value that is not a number; the input ends there and the block in progress "
         "is dropped\n";
}

testing::ProcessOptions with_chosen_call(const std::string& variable, const std::string& call,
                                         const std::filesystem::path& report) {
  testing::ProcessOptions options;
  options.limit = std::chrono::seconds(60);
  options.environment = {"LD_PRELOAD=" FAILING_CALLS_LIBRARY, variable + "=" + call,
                         "CALLS_REPORT=" + report.string()};
  // The sanitizer's run-time library wants to be loaded first; the
  // preloaded library only passes calls on to it.
  if (testing::address_sanitizer)
    options.environment.push_back("ASAN_OPTIONS=verify_asan_link_order=0");
  return options;
}

std::string chosen_call(const std::filesystem::path& report) {
  if (!std::filesystem::exists(report)) return "";
  std::string text = testing::read_file(report);
  if (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

unsigned unprivileged_user() {
  constexpr unsigned nobody = 65534;
  return ::geteuid() == 0 ? nobody : 0;
}

void expect_finished(const testing::ProcessResult& run, const std::string& what) {
  EXPECT_FALSE(run.timed_out) << what << ": still running at the time limit";
  EXPECT_NE(run.exit_status, -1) << what << ": did not exit normally (signal " << run.signal << ")";
}

void expect_no_output_files(const testing::TempFolder& folder, const std::string& what) {
  for (const auto& name : testing::output_names) {
    EXPECT_FALSE(folder.exists(name)) << what << ": " << name;
  }
}

void expect_whole_records_of(const std::string& kept, const std::string& complete,
                             const std::string& what) {
  ASSERT_LE(kept.size(), complete.size()) << what;
  EXPECT_TRUE(complete.compare(0, kept.size(), kept) == 0) << what << " differs from a good run";
  if (!kept.empty()) {
    EXPECT_EQ(kept.substr(kept.size() - 2), "\r\n") << what << " ends mid-record";
  }
}

}  // namespace ecflux::faults
