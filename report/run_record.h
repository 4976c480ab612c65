#pragma once

// run.json: what a scientist needs to say later exactly how a result was
// made. The program, the command line and the options; the configuration as
// read, field by field; the data file (its size, modification time and a
// hash of its bytes, and what the run read of it); the block counts, each
// block's quality flag and the timing; the output files; and every warning,
// as data. Written and replaced like the run's other outputs.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/warning.h"

namespace ecflux::report {

struct RecordedField {
  std::string name;  // as messages name it: "sample rate"
  std::int64_t line = 0;
  std::size_t first_column = 0;
  std::size_t last_column = 0;
  std::string text;  // the field's columns as they stand in the file
  // The value taken: a file name, a whole number (the integer fields), or a
  // number.
  std::optional<std::string> name_value;
  std::optional<std::int64_t> integer_value;
  double number_value = 0.0;
};

struct RecordedData {
  std::string path;
  std::optional<std::uint64_t> size_bytes;  // of a regular file
  std::optional<std::string> modified_utc;  // of a regular file, ISO 8601
  std::optional<std::string> xxh3_64;       // of every byte of the file
  std::uint64_t bytes_hashed = 0;
  bool hash_of_whole_file = false;
  std::int64_t lines_read = 0;
  std::int64_t records_read = 0;
  std::int64_t records_before_start = 0;
  std::optional<double> first_time, last_time;  // of the accepted records
  std::string input_end;  // "end_of_file", "past_end_time", "unreadable_record"
  std::string time_unit;  // as judged: "seconds" ... "days"; empty before a block
};

// The options of quality control as the run applied them, and the plane of
// the planar fit.
struct RecordedQuality {
  bool despike = false;
  bool missing = false;
  std::vector<double> fill_values;
  double missing_allowance_percent = 10.0;
  std::string rotation = "none";  // "double", "planar"
  bool uncertainty = false;
  bool spectra = false;
  double density = 1025.0;
  double heat_capacity = 4008.0;
  struct Plane {
    double offset_m_s = 0.0;
    double slope_u = 0.0;
    double slope_v = 0.0;
    double pitch_deg = 0.0;
    double roll_deg = 0.0;
  };
  std::optional<Plane> plane;
};

struct RunRecord {
  std::string program;  // "ecflux"
  std::string version;
  std::vector<std::string> command_line;
  std::string run_folder;
  bool csv = false;
  bool durable = false;
  bool strict = false;
  RecordedQuality quality;
  std::string started_utc;  // ISO 8601
  std::string finished_utc;
  double wall_seconds = 0.0;
  std::string configuration_path;
  std::vector<RecordedField> configuration;
  std::int32_t block_samples = 0;
  std::int32_t window_samples = 0;
  double sample_rate = 0.0;
  std::int64_t window_lengths = 0;
  std::int64_t delays_searched = 0;  // the largest delay, samples
  RecordedData data;
  std::int64_t blocks = 0;
  std::int64_t samples_dropped = 0;  // read after the last complete block
  std::vector<int> quality_flags;    // one per block, from 1
  struct Output {
    std::string description;
    std::string path;
  };
  std::vector<Output> outputs;
  std::vector<base::Warning> warnings;
};

// The record as JSON text, ending with a line feed. Keys in a fixed order, so
// that two records of one run differ only in their times.
std::string run_record_json(const RunRecord& record);

// An instant as ISO 8601 in UTC with milliseconds: 2026-12-09T23:55:01.123Z.
std::string utc_time(std::int64_t seconds, std::int64_t nanoseconds);

}  // namespace ecflux::report
