#pragma once

// What the fault tests share: synthetic records, and the checks that a run
// ended by itself and kept whole records.

#include <filesystem>
#include <string>

#include "tests/support/test_support.h"

namespace ecflux::faults {

// `count` records at `rate` samples a second, numbered from `first`: the
// time (in units of `time_unit` seconds), then values that vary a little from
// record to record, so that every statistic is defined.
std::string data_records(int count, double rate = 10.0, int first = 0, double time_unit = 1.0);

// The data of a long run, 40 blocks of ten_hertz(), with times in minutes, so
// that they fit every field.
std::string forty_blocks();

// Every line of the run's standard error is a warning.
void expect_only_warnings(const testing::ProcessResult& run, const std::string& what);

// The warning of a value that is not a number on `line` of data.txt.
std::string not_a_number_warning(const testing::TempFolder& folder, long line);

// The run ended by itself, in time.
void expect_finished(const testing::ProcessResult& run, const std::string& what);

void expect_no_output_files(const testing::TempFolder& folder, const std::string& what);

// What a failed run left of a file is the beginning of what a good run
// writes, and ends at the end of a record.
void expect_whole_records_of(const std::string& kept, const std::string& complete,
                             const std::string& what);

// A user whom permissions and process limits bind: nobody when the tests run
// as root (who may write anywhere and start any number of threads), else 0,
// the user of the tests. A folder that such a run writes into must let
// others write.
unsigned unprivileged_user();

// A run with the library of failing calls preloaded: `variable`
// (FAILING_CALL or PAUSING_CALL) chooses the call, "KIND N [NAME]", and the
// call, when it comes, writes "KIND PATH" into `report`.
testing::ProcessOptions with_chosen_call(const std::string& variable, const std::string& call,
                                         const std::filesystem::path& report);

// What the chosen call wrote into `report`: "KIND PATH", or "" when it never
// came.
std::string chosen_call(const std::filesystem::path& report);

// A configuration of blocks of N = 600 samples (fs 10, 60 s) and a running
// mean of 30 s.
inline testing::ConfigurationText ten_hertz() { return testing::ConfigurationText{}; }

}  // namespace ecflux::faults
