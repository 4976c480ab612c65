#pragma once

// Runs of ecflux with the options of quality control on synthetic field
// records whose answers are known: the records, the runs and the files they
// write, read back as numbers.

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/test_support.h"

namespace ecflux::quality_testing {

// A record as the data file holds it: u, v and w in cm/s (w in both of its
// columns), temperature in degrees Celsius (in both of its columns), and
// the time in hours from 0 at `sample_rate`.
struct FieldRecord {
  double sample_rate = 16.0;
  std::vector<double> u, v, w, temperature;
  // Words written instead of a value, by sample and column (0 the time ...
  // 6 the second temperature): fill values, NaN, Inf, 1e400.
  std::map<std::pair<std::size_t, int>, std::string> words;

  std::size_t size() const { return w.size(); }
  // The data file: a header line, then one record per sample, every value
  // written so that it reads back to the same double.
  std::string text() const;
};

// Turbulence in the frame of its flow: a mean current of `speed` cm/s along
// x; eddies of about a second carry heat downwards (w up with colder water)
// and momentum (u against w), so that a tilted sensor mixes u's heat flux
// into its w. Each block of `block_samples` has mean v and w exactly zero
// (to rounding), as a sensor aligned with the flow would see them.
FieldRecord turbulent_field(std::size_t samples, std::size_t block_samples, double sample_rate,
                            std::uint64_t seed, double speed = 25.0);

// The configuration of a record: blocks of `block_seconds`, a running mean
// of `window_seconds`.
testing::ConfigurationText configuration_for(const FieldRecord& record, int block_seconds,
                                             int window_seconds = 30);

// A run folder with the configuration and the record.
void write_field_run(const testing::TempFolder& folder, const FieldRecord& record,
                     int block_seconds, int window_seconds = 30);

// ecflux in `folder` with `arguments`.
testing::ProcessResult run_ecflux(const std::filesystem::path& folder,
                                  std::vector<std::string> arguments = {});

// A CSV file of the run read back: its column names and its rows.
class CsvTable {
 public:
  explicit CsvTable(const std::filesystem::path& path);

  const std::vector<std::string>& names() const { return names_; }
  std::size_t rows() const { return rows_.size(); }
  bool has(const std::string& name) const;
  // A field as written; an empty field is a value that is not finite.
  const std::string& text(std::size_t row, const std::string& name) const;
  // A field as a number: NaN for an empty field.
  double number(std::size_t row, const std::string& name) const;
  std::vector<double> column(const std::string& name) const;

 private:
  std::size_t index(const std::string& name) const;

  std::vector<std::string> names_;
  std::vector<std::vector<std::string>> rows_;
};

// The records of a text file, with or without carriage returns.
std::vector<std::string> lines_of(const std::string& text);

// The numbers of a results-file row or progress line, split at blanks.
std::vector<double> numbers_of(const std::string& line);

// Whether a and b agree within `relative` of the larger of them.
bool close(double a, double b, double relative);

}  // namespace ecflux::quality_testing
