#include "input/block_reader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <utility>

#include "base/stop_signals.h"

namespace ecflux::input {

base::Result<DataFile> open_data_file(std::string_view name) {
  ECFLUX_TRY_VALUE(lines, textio::LineReader::open(name, data_unit));
  // The run records a hash of the data it read, taken as it reads.
  lines.hash_bytes();
  DataFile file{textio::ListReader(std::move(lines)), {}, {}};
  // A statement of no values skips exactly one record: the header.
  ECFLUX_TRY_VALUE(header, file.list.read({}));
  if (header != textio::ListReader::Outcome::complete) {
    return file.list.lines().failure(base::IoCondition::end_of_file);
  }
  return file;
}

namespace {

void resize_block(Block& block, std::size_t samples, const ReadSettings* settings = nullptr) {
  block.sample_time.resize(samples);
  block.sample_line.resize(samples);
  block.w.resize(samples);
  block.temperature.resize(samples);
  block.horizontal_speed.resize(samples);
  if (settings != nullptr && settings->keep_components) {
    block.u.resize(samples);
    block.v.resize(samples);
  }
  if (settings != nullptr && settings->missing_values) block.missing.resize(samples);
}

// Marks the missing values among those of a sample that the run uses (the
// time, u, v and the chosen w and temperature) and makes them NaN: a value
// that is not a number, or one of the fill values as the file writes it.
std::uint8_t mark_missing(std::array<double, 7>& values, std::size_t w_column,
                          std::size_t temperature_column, std::span<const double> fill_values) {
  std::uint8_t marks = 0;
  const std::pair<std::size_t, std::uint8_t> used[] = {{0, missing_time},
                                                       {1, missing_u},
                                                       {2, missing_v},
                                                       {w_column, missing_w},
                                                       {temperature_column, missing_temperature}};
  for (const auto& [column, bit] : used) {
    double& value = values[column];
    const bool missing = !std::isfinite(value) || std::find(fill_values.begin(), fill_values.end(),
                                                            value) != fill_values.end();
    if (missing) {
      marks |= bit;
      value = std::numeric_limits<double>::quiet_NaN();
    }
  }
  return marks;
}

// The room of a block that has to grow beyond `filled` samples on its way to
// N: twice as much, so that growing costs little per sample, but never more
// than N.
std::size_t grown_room(std::size_t filled, std::size_t block_samples) {
  constexpr std::size_t first_room = 4096;
  return std::min(block_samples, std::max(first_room, 2 * filled));
}

}  // namespace

Block make_block(std::int32_t block_samples) {
  Block block;
  resize_block(block, static_cast<std::size_t>(block_samples));
  return block;
}

namespace {

// The checks of one accepted sample that need no other sample.
void check_sample(const std::array<double, 7>& values, std::size_t w_column,
                  std::size_t temperature_column, std::int64_t line, BlockChecks& checks) {
  const double t = values[0];
  const double temperature = values[temperature_column];
  // Nearly every sample passes: one test without branches (the comparisons
  // combined as integers, where && would branch on each), the details only
  // for the rare sample that does not.
  const int usual = int{t < largest_sample_time} & int{t > smallest_sample_time} &
                    int{std::fabs(values[1]) <= largest_plausible_velocity} &
                    int{std::fabs(values[2]) <= largest_plausible_velocity} &
                    int{std::fabs(values[w_column]) <= largest_plausible_velocity} &
                    int{temperature >= lowest_plausible_temperature} &
                    int{temperature <= highest_plausible_temperature};
  if (usual != 0) return;
  if (t >= largest_sample_time || t <= smallest_sample_time) checks.wide_time.add(line, t);
  for (const std::size_t column : {std::size_t{1}, std::size_t{2}, w_column}) {
    if (std::fabs(values[column]) > largest_plausible_velocity) {
      checks.implausible.add(line, values[column], static_cast<int>(column) + 1);
      return;
    }
  }
  if (temperature < lowest_plausible_temperature || temperature > highest_plausible_temperature) {
    checks.implausible.add(line, temperature, static_cast<int>(temperature_column) + 1);
  }
}

}  // namespace

namespace {

// How a source of records gave its next record.
enum class RecordOutcome { complete, end_of_file, bad_value };

// The records of the data file: free-form statements of seven values.
struct FileRecords {
  DataFile& file;

  std::array<double, 7>& values() { return file.values; }
  void read_non_numbers_as_missing() { file.list.read_non_numbers_as_missing(); }

  // The next record into values(), its line, and what its shape showed.
  base::Result<RecordOutcome> next(std::int64_t& line, BlockChecks& checks) {
    ECFLUX_TRY_VALUE(statement, file.list.read(file.values));
    switch (statement) {
      case textio::ListReader::Outcome::complete: break;
      case textio::ListReader::Outcome::end_of_file: return RecordOutcome::end_of_file;
      case textio::ListReader::Outcome::bad_value: return RecordOutcome::bad_value;
    }
    const auto& shape = file.list.last_statement();
    line = shape.first_line;
    if (shape.rest_unread) {
      checks.unread.add(file.list.lines().line_number(), 0.0, 0, shape.continued);
    }
    return RecordOutcome::complete;
  }

  std::int64_t bad_value_line() const { return file.list.bad_value_line(); }
};

// The samples of arrays held in memory, one record per index: a value that
// is not finite is not a number, as in a file.
struct ArrayRecords {
  SampleArrays& arrays;

  std::array<double, 7>& values() { return arrays.values; }
  void read_non_numbers_as_missing() { missing_allowed = true; }
  bool missing_allowed = false;

  base::Result<RecordOutcome> next(std::int64_t& line, BlockChecks&) {
    if (arrays.next >= arrays.time.size()) return RecordOutcome::end_of_file;
    const std::size_t i = arrays.next++;
    line = static_cast<std::int64_t>(i) + 1;
    auto& v = arrays.values;
    v = {arrays.time[i], arrays.u[i],           arrays.v[i],          arrays.w[i],
         arrays.w[i],    arrays.temperature[i], arrays.temperature[i]};
    for (const double value : v) {
      if (!std::isfinite(value) && !missing_allowed) {
        arrays.bad_line = line;
        return RecordOutcome::bad_value;
      }
    }
    return RecordOutcome::complete;
  }

  std::int64_t bad_value_line() const { return arrays.bad_line; }
};

// Fills the block with the next N accepted records of `records`: the one
// rule of acceptance, conversion and summing, whatever holds the records.
template <class Records>
base::Result<BlockOutcome> fill_block(Records records, ReadCounts& source_counts,
                                      const ReadSettings& settings, Block& block) {
  block.sum_time = 0.0;
  block.sum_u = 0.0;
  block.sum_v = 0.0;
  block.sum_w = 0.0;
  block.sum_temperature = 0.0;
  block.sample_count = 0;
  block.checks = {};

  auto& values = records.values();
  if (settings.missing_values) records.read_non_numbers_as_missing();
  // The counts are kept in a local copy, which the compiler can hold in
  // registers across the reads, and handed back however the block ends.
  struct CountsHandedBack {
    ReadCounts& file_counts;
    ReadCounts counts;
    ~CountsHandedBack() { file_counts = counts; }
  } kept{source_counts, source_counts};
  ReadCounts& counts = kept.counts;
  const auto w_column = static_cast<std::size_t>(input::w_column(settings.w_select) - 1);
  const auto temperature_column =
      static_cast<std::size_t>(input::temperature_column(settings.temperature_select) - 1);

  const auto block_samples = static_cast<std::size_t>(settings.block_samples);
  for (std::size_t k = 0; k < block_samples; ++k) {
    ++block.sample_count;
    double t;
    std::int64_t line = 0;
    for (;;) {
      if (base::stop_requested()) return base::Interruption{base::stop_signal()};
      ECFLUX_TRY_VALUE(record, records.next(line, block.checks));
      switch (record) {
        case RecordOutcome::complete: break;
        case RecordOutcome::end_of_file:
          return BlockOutcome{BlockStatus::end_of_file, 0, static_cast<std::int64_t>(k)};
        case RecordOutcome::bad_value:
          return BlockOutcome{BlockStatus::unreadable_record, records.bad_value_line(),
                              static_cast<std::int64_t>(k)};
      }
      ++counts.records;
      t = values[0];
      counts.last_record_time = t;
      if (!(settings.start_time > 0.0 && t < settings.start_time)) break;
      ++counts.skipped;
    }
    if (settings.end_time > 0.0 && t > settings.end_time) {
      return BlockOutcome{BlockStatus::past_end_time, 0, static_cast<std::int64_t>(k), t};
    }
    std::uint8_t marks = 0;
    if (settings.missing_values) {
      marks = mark_missing(values, w_column, temperature_column, settings.fill_values);
      t = values[0];
    }
    if (counts.accepted++ == 0) counts.first_time = t;
    counts.last_time = t;
    check_sample(values, w_column, temperature_column, line, block.checks);

    const double u = values[1] / 100.0;
    const double v = values[2] / 100.0;
    const double w = values[w_column] / 100.0;
    const double temperature = values[temperature_column] + kelvin_offset;
    if (k == block.sample_time.size()) {
      resize_block(block, grown_room(k, block_samples), &settings);
    }
    if (settings.keep_components) {
      block.u[k] = u;
      block.v[k] = v;
    }
    if (settings.missing_values) block.missing[k] = marks;
    block.sample_time[k] = t;
    block.sample_line[k] = line;
    block.w[k] = w;
    block.temperature[k] = temperature;
    block.horizontal_speed[k] = std::sqrt(u * u + v * v);

    block.sum_u += u;
    block.sum_v += v;
    block.sum_w += w;
    block.sum_time += t;
    block.sum_temperature += temperature;
  }
  return BlockOutcome{BlockStatus::complete, 0, static_cast<std::int64_t>(block_samples)};
}

}  // namespace

base::Result<BlockOutcome> read_block(DataFile& file, const ReadSettings& settings, Block& block) {
  return fill_block(FileRecords{file}, file.counts, settings, block);
}

base::Result<BlockOutcome> read_block(SampleArrays& arrays, const ReadSettings& settings,
                                      Block& block) {
  return fill_block(ArrayRecords{arrays}, arrays.counts, settings, block);
}

}  // namespace ecflux::input
