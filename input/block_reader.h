#pragma once

// The data file: a header record, then one record of seven numbers per
// sample. Samples are selected by time, converted to m/s and kelvin, and
// gathered into blocks of N samples.

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "input/configuration.h"
#include "textio/list_reader.h"

namespace ecflux::input {

inline constexpr int data_unit = 8;

// 273.15 rounded to single precision and widened: the offset that turns the
// file's degrees Celsius into kelvin.
inline constexpr double kelvin_offset = static_cast<double>(273.15f);

// What has been read of the data file so far.
struct ReadCounts {
  std::int64_t records = 0;  // statements of seven values read
  std::int64_t skipped = 0;  // records before the start time
  std::int64_t accepted = 0;
  double first_time = 0.0;  // of the accepted records, when there is one
  double last_time = 0.0;
  double last_record_time = 0.0;  // of the last record read, accepted or not
};

// The open data file and the seven values of its last record. The values
// persist from record to record: a null value in a record leaves the value of
// the record before.
struct DataFile {
  textio::ListReader list;
  std::array<double, 7> values{};
  ReadCounts counts;
};

// Opens the data file on unit 8 and skips its header record. A missing file
// or one without any record fails.
base::Result<DataFile> open_data_file(std::string_view name);

struct ReadSettings {
  std::int32_t block_samples = 0;       // N
  double start_time = 0.0;              // > 0: earlier records are skipped
  double end_time = 0.0;                // > 0: a later record ends the input
  std::int32_t w_select = 0;            // 1: w from column 5, else column 4
  std::int32_t temperature_select = 0;  // 1: temperature from column 6, else 7
  double sample_rate = 0.0;             // fs, samples per second
  // For quality control: keep each sample's u and v (despiking and the
  // rotations need them); take values that are not numbers (NaN, Inf) and
  // the fill values as missing values of their sample, instead of the end
  // of the input.
  bool keep_components = false;
  bool missing_values = false;
  std::span<const double> fill_values;
};

// The marks of a sample's missing values in Block::missing.
enum MissingBit : std::uint8_t {
  missing_time = 1,
  missing_u = 2,
  missing_v = 4,
  missing_w = 8,
  missing_temperature = 16,
};

// The values that a record can hold without being suspect: beyond them the
// value is still used as it is, but the run says so.
inline constexpr double lowest_plausible_temperature = -5.0;  // degrees Celsius
inline constexpr double highest_plausible_temperature = 50.0;
inline constexpr double largest_plausible_velocity = 1000.0;  // cm/s, either sign

// The times that the files of the run can hold: cumflux.out and CFSHIFT.out
// write a sample's time in 12 columns with 8 decimals.
inline constexpr double largest_sample_time = 1000.0;  // not reached
inline constexpr double smallest_sample_time = -100.0;

// What the records of a block show that the run assumes they do not: for
// each kind, how many and where the first is.
struct BlockChecks {
  struct First {
    std::int64_t count = 0;
    std::int64_t line = 0;  // of the first
    double value = 0.0;     // what it holds
    int column = 0;         // its data column, where that matters
    bool continued = false;

    void add(std::int64_t at_line, double at_value, int at_column = 0, bool was_continued = false) {
      if (count++ == 0) {
        line = at_line;
        value = at_value;
        column = at_column;
        continued = was_continued;
      }
    }
  };
  First unread;       // lines with values after a record (value: unused)
  First implausible;  // values of the columns in use beyond the bounds above
  First wide_time;    // times that cumflux.out cannot hold
};

// One block of samples, indexed from 0, and the sums formed while reading.
// read_block gives the buffers room as samples arrive, up to N, so that the
// memory of a run follows the data it reads, not the configured block.
struct Block {
  std::vector<double> sample_time;
  std::vector<std::int64_t> sample_line;  // where the sample's record begins
  std::vector<double> w;                  // m/s
  std::vector<double> temperature;        // K
  std::vector<double> horizontal_speed;   // m/s
  // With ReadSettings::keep_components: u and v, m/s.
  std::vector<double> u, v;
  // With ReadSettings::missing_values: each sample's MissingBit marks; a
  // missing value is a NaN in its buffer (and in the sums).
  std::vector<std::uint8_t> missing;
  double sum_time = 0.0;
  double sum_u = 0.0;
  double sum_v = 0.0;
  double sum_w = 0.0;
  double sum_temperature = 0.0;
  // Counted exactly (the samples of a complete block, N, whatever its size);
  // a count in single precision would stop at 2^24.
  std::int64_t sample_count = 0;
  BlockChecks checks;  // of this block's records
};

// A block with room for N samples at once.
Block make_block(std::int32_t block_samples);

enum class BlockStatus {
  complete,           // N samples were read
  end_of_file,        // the file ended before the block was full
  past_end_time,      // a record after end_time ended the input
  unreadable_record,  // a value that is not a number ended the input
};

struct BlockOutcome {
  BlockStatus status = BlockStatus::complete;
  std::int64_t line = 0;     // unreadable_record: the line of the bad value
  std::int64_t samples = 0;  // stored in the block: N when complete
  double ending_time = 0.0;  // past_end_time: the time of the record that ended the input
};

// Samples held in memory, in the data file's units (the time in its unit,
// velocities in cm/s, the temperature in °C): one record per index, with the
// one vertical velocity and temperature in both channels of the record.
struct SampleArrays {
  std::span<const double> time, u, v, w, temperature;  // of one length
  std::size_t next = 0;                                // the index of the next record
  std::array<double, 7> values{};
  std::int64_t bad_line = 0;  // the record (from 1) of a value that is not finite
  ReadCounts counts;
};

// Fills the block with the next N accepted records. Every status but complete
// ends the input; the partial block is then of no use. A file that cannot be
// read fails with read_error; a stop signal, noticed before each record,
// gives an Interruption.
base::Result<BlockOutcome> read_block(DataFile& file, const ReadSettings& settings, Block& block);

// The same from arrays held in memory: the same acceptance by time, the same
// conversion and the same sums, so that a block of arrays is bit for bit the
// block of a data file of the same values. A value that is not finite ends
// the input as a value that is not a number ends a file's.
base::Result<BlockOutcome> read_block(SampleArrays& arrays, const ReadSettings& settings,
                                      Block& block);

}  // namespace ecflux::input
