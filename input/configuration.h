#pragma once

// The run's settings, read once from "ConfigDRAVEK.Dat" in the working
// directory, and the block and window lengths derived from them.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "base/warning.h"
#include "textio/layout.h"
#include "textio/line_reader.h"

namespace ecflux::input {

inline constexpr std::string_view configuration_file_name = "ConfigDRAVEK.Dat";
inline constexpr int configuration_unit = 2030;

// The nine values, in the order of the file; where each stands, its line and
// columns, the layout of the file alone says (configuration_line).
struct Configuration {
  std::string data_file_name;
  std::string results_file_name;
  double sample_rate = 0.0;  // fs, samples per second
  double start_time = 0.0;   // > 0 skips earlier records
  double end_time = 0.0;     // > 0 ends the input after it
  std::int32_t block_seconds = 0;
  std::int32_t temperature_select = 0;  // see temperature_column
  std::int32_t w_select = 0;            // see w_column
  std::int32_t window_seconds = 0;      // clamped to block_seconds
};

// The fields of the configuration, in the order of the file and of
// configuration_fields.
enum class ConfigurationField : std::size_t {
  data_file_name,
  results_file_name,
  sample_rate,
  start_time,
  end_time,
  block_seconds,
  temperature_select,
  w_select,
  window_seconds,
};

// The line of the configuration file that holds a field, from the layout
// the file is read with.
std::int64_t configuration_line(ConfigurationField field);

// The nine values as messages and reports name them, in the order of the
// file.
inline constexpr std::array<std::string_view, 9> configuration_fields = {
    "data file name", "results file name",  "sample rate", "start time",         "end time",
    "block length",   "temperature column", "w column",    "running-mean window"};

// The data columns (counted from 1) that the two channel flags choose: 1
// takes temperature's first channel (column 6) and w's second (column 5),
// anything else the other.
constexpr int temperature_column(std::int32_t temperature_select) {
  return temperature_select == 1 ? 6 : 7;
}
constexpr int w_column(std::int32_t w_select) { return w_select == 1 ? 5 : 4; }

// The configuration needs this many lines.
inline constexpr std::int64_t configuration_lines = 39;

// Opens the configuration file on unit 2030 and reads it.
base::Result<Configuration> read_configuration(std::vector<textio::FieldPlace>* places = nullptr);

// Reads the nine values from an open configuration file, then clamps
// window_seconds to block_seconds. With `places`, each value's place in the
// file. A numeric field that does not hold a number, and a file of fewer
// than 39 lines, fail with a hint that names the line.
base::Result<Configuration> read_configuration(textio::LineReader& file,
                                               std::vector<textio::FieldPlace>* places = nullptr);

// What the configuration's text shows that may not be what its writer meant,
// each a warning naming the line: text to the right of a number (a value
// typed too far right), a tab before a value (it counts as one column), a
// channel flag that is blank or holds anything but 0 or 1 (it silently
// chooses the second channel), a file name that goes on past its field (it
// is cut there). `places` are those read_configuration gives.
std::vector<base::Warning> configuration_findings(const std::vector<textio::FieldPlace>& places);

// What every block of a run shares: its sample count, the running-mean window
// and the sample rate they were derived from.
struct BlockSizes {
  std::int32_t block_samples = 0;   // N
  std::int32_t window_samples = 0;  // W
  double sample_rate = 0.0;         // fs, samples per second

  // The block's length in seconds, N / fs.
  double duration() const { return block_samples / sample_rate; }
};

// N = trunc(sample_rate) * block_seconds, W = trunc(window_seconds *
// sample_rate), W larger than N used as N. Refuses a sample_rate that is not
// above zero, N below 2, W below 1, and counts beyond 32 bits: such runs
// could not produce a block or would never end.
base::Result<BlockSizes> derive_block_sizes(const Configuration& config);

}  // namespace ecflux::input
