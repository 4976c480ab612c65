#pragma once

// The data file: a header record, then one record of seven numbers per
// sample. Samples are selected by time, converted to m/s and kelvin, and
// gathered into blocks of N samples.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "textio/list_reader.h"
#include "textio/result.h"

namespace ecflux::input {

inline constexpr int data_unit = 8;

// 273.15 rounded to single precision and widened: the offset that turns the
// file's degrees Celsius into kelvin.
inline constexpr double kelvin_offset = static_cast<double>(273.15f);

// The open data file and the seven values of its last record. The values
// persist from record to record: a null value in a record leaves the value of
// the record before.
struct DataFile {
  textio::ListReader list;
  std::array<double, 7> values{};
};

// Opens the data file on unit 8 and skips its header record. A missing file
// or one without any record fails.
textio::Result<DataFile> open_data_file(std::string_view name);

struct ReadSettings {
  std::int32_t block_samples = 0;       // N
  double start_time = 0.0;              // > 0: earlier records are skipped
  double end_time = 0.0;                // > 0: a later record ends the input
  std::int32_t w_select = 0;            // 1: w from column 5, else column 4
  std::int32_t temperature_select = 0;  // 1: temperature from column 6, else 7
};

// One block of samples, indexed from 0, and the sums formed while reading.
// read_block gives the buffers room as samples arrive, up to N, so that the
// memory of a run follows the data it reads, not the configured block.
struct Block {
  std::vector<double> sample_time;
  std::vector<double> w;                 // m/s
  std::vector<double> temperature;       // K
  std::vector<double> horizontal_speed;  // m/s
  double sum_time = 0.0;
  double sum_u = 0.0;
  double sum_v = 0.0;
  double sum_w = 0.0;
  double sum_temperature = 0.0;
  float sample_count = 0.0f;  // counted in single precision; N for a complete block
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
  std::int64_t line = 0;  // unreadable_record: the line of the bad value
};

// Fills the block with the next N accepted records. Every status but complete
// ends the input; the partial block is then of no use. A file that cannot be
// read fails with read_error.
textio::Result<BlockOutcome> read_block(DataFile& file, const ReadSettings& settings, Block& block);

}  // namespace ecflux::input
