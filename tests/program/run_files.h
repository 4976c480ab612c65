#pragma once

// Reading what a run wrote, for the tests that look into its files: stored
// records copied into a run folder, CSV rows by column name, run.json, and
// standard error line by line.

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/support/test_support.h"

namespace ecflux::testing {

// The stored records of tests/expected: the configuration and data file of
// one, to run in a folder of a test's own.
void copy_record(std::string_view record, const TempFolder& folder);

// The rows of a CSV file after its header, each as column name -> field.
std::vector<std::map<std::string, std::string>> csv_rows(std::string_view text);

nlohmann::json read_run_record(const TempFolder& folder);

// The lines of a text that ends each with a line feed, such as standard error.
std::vector<std::string> lines_of(std::string_view text);

// A run of ecflux in `folder` with these arguments.
ProcessResult run_ecflux(const TempFolder& folder, std::vector<std::string> arguments = {},
                         unsigned user = 0);

}  // namespace ecflux::testing
