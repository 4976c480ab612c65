#include "plot/window_reading.h"

#include <algorithm>
#include <map>
#include <string_view>
#include <utility>

#include "flux/window_sweep.h"
#include "plot/block_lines.h"
#include "plot/csv_reader.h"
#include "report/output_files.h"

namespace ecflux::plot {
namespace {

// A window flux of K·m/day as a heat flux in W/m², as the run writes it to
// window_fluxes.csv.
Field in_watts(Field flux, const stats::Medium& medium) {
  if (flux.state == FieldState::number) flux.value = flux::window_flux_in_watts(flux.value, medium);
  return flux;
}

// Whether a window's frequency can be drawn on the logarithmic axis: a
// number above zero. Any other is counted as not shown, and its row with it.
bool take_frequency(SkipCount& skipped, const Field& frequency) {
  if (skipped.take(frequency) && !(frequency.value <= 0.0)) return true;
  if (frequency.state == FieldState::number) ++skipped.not_a_number;
  return false;
}

// A block's flux at one frequency on its line, or a break in the line where
// it has none.
void add_or_gap(Pieces<Point>& line, double frequency, const Field& flux) {
  if (flux.state == FieldState::number) {
    line.add({frequency, flux.value});
  } else {
    line.gap();
  }
}

// The columns of the window-flux table: after the frequency field, one field
// per block, all blocks in every record.
struct TableColumns {
  textio::RecordFormat::Field frequency;
  textio::RecordFormat::Field block;
  std::size_t first_block = 0;
  stats::Medium medium;

  std::size_t block_begin(std::size_t b) const {
    return first_block + b * static_cast<std::size_t>(block.width);
  }
  // The block fields that `record` reaches; a last field cut short counts.
  std::size_t fields_in(std::string_view record) const {
    const auto width = static_cast<std::size_t>(block.width);
    return record.size() > first_block ? (record.size() - first_block + width - 1) / width : 0;
  }
  Field frequency_value(std::string_view record) const {
    return read_field(record, frequency.begin, frequency.width, frequency.decimals);
  }
  // A block's flux in W/m², from the table's K·m/day.
  Field block_value(std::string_view record, std::size_t b) const {
    return in_watts(read_field(record, block_begin(b), block.width, block.decimals), medium);
  }
  std::string_view block_text(std::string_view record, std::size_t b) const {
    return trim_blanks(record.substr(block_begin(b), static_cast<std::size_t>(block.width)));
  }
};

TableColumns table_columns(const stats::Medium& medium) {
  const textio::RecordFormat& leading = report::row_format(report::OutputRole::window_flux_table);
  return {leading.fields()[0], report::block_field(), leading.length(), medium};
}

// The blocks of the table's first record, and the time of each shown one.
void read_table_blocks(std::string_view first_record, const TableColumns& columns,
                       const std::vector<std::string>& block_times, std::size_t line_limit,
                       WindowFluxes& fluxes) {
  fluxes.block_count = columns.fields_in(first_record);
  for (const std::size_t b : shown_blocks(fluxes.block_count, line_limit)) {
    const Field time = columns.block_value(first_record, b);
    std::string label;
    if (time.state == FieldState::number) {
      label = columns.block_text(first_record, b);
    } else if (block_times.size() == fluxes.block_count && !block_times[b].empty()) {
      label = block_times[b];
    } else {
      label = time.state == FieldState::asterisks ? "(too wide)" : "(unreadable)";
      ++fluxes.hidden_times;
    }
    fluxes.shown.push_back({b, std::move(label), {}});
  }
}

// One record of the table: every block's flux at one frequency.
void take_table_record(std::string_view record, const TableColumns& columns, WindowFluxes& fluxes) {
  const Field frequency = columns.frequency_value(record);
  if (!take_frequency(fluxes.skipped[0].count, frequency)) {
    for (BlockFluxes& block : fluxes.shown) block.fluxes.gap();
    fluxes.range.gap();
    return;
  }
  // The blocks beyond the end of a record cut short are missing values,
  // counted all at once: a damaged file of short records after a long first
  // one is read in time in proportion to its size.
  const std::size_t reached = std::min(fluxes.block_count, columns.fields_in(record));
  ValueSpread all;
  for (std::size_t b = 0; b < reached; ++b) {
    const Field flux = columns.block_value(record, b);
    if (fluxes.skipped[1].count.take(flux)) all.take(flux.value);
  }
  fluxes.skipped[1].count.not_a_number += static_cast<std::int64_t>(fluxes.block_count - reached);
  for (BlockFluxes& block : fluxes.shown) {
    add_or_gap(block.fluxes, frequency.value, columns.block_value(record, block.block));
  }
  all.add_to(fluxes.range, frequency.value);
}

}  // namespace

base::Result<WindowFluxes> read_window_table(textio::LineReader& cospectra, std::string file_label,
                                             const std::vector<std::string>& block_times,
                                             const stats::Medium& medium, std::size_t line_limit) {
  const TableColumns columns = table_columns(medium);
  WindowFluxes fluxes;
  fluxes.file_label = std::move(file_label);
  fluxes.medium = medium;
  std::string_view record;
  const auto first = cospectra.next(record);
  if (!first.ok()) return first.failure();
  read_table_blocks(first.value() ? record : std::string_view(), columns, block_times, line_limit,
                    fluxes);
  while (first.value()) {
    const auto line = cospectra.next(record);
    if (!line.ok()) return line.failure();
    if (!line.value()) break;
    ++fluxes.rows;
    take_table_record(record, columns, fluxes);
  }
  fluxes.window_lengths = static_cast<std::size_t>(fluxes.rows);
  return fluxes;
}

base::Result<WindowFluxes> read_window_list(textio::LineReader window_fluxes,
                                            std::string file_label,
                                            const std::vector<std::string>& block_times,
                                            const stats::Medium& medium, std::size_t line_limit) {
  constexpr std::string_view block_column = "block", frequency_column = "frequency_Hz",
                             day_flux_column = "flux_K_m_day", watts_column = "flux_W_m2";
  ECFLUX_TRY_VALUE(file, CsvFile::open(std::move(window_fluxes), file_label,
                                       {block_column, frequency_column, day_flux_column}));
  CsvFile& csv = file;
  const std::size_t block_at = *csv.column(block_column);
  const std::size_t frequency_at = *csv.column(frequency_column);
  // The run's own flux in W/m², where a run of this version wrote it.
  const bool in_file = csv.column(watts_column).has_value();
  const std::string_view flux_column = in_file ? watts_column : day_flux_column;
  const std::size_t flux_at = *csv.column(flux_column);

  WindowFluxes fluxes;
  fluxes.file_label = std::move(file_label);
  fluxes.csv = true;
  fluxes.medium = medium;
  fluxes.converted = !in_file;
  fluxes.block_count = block_times.size();
  fluxes.skipped = {{std::string(frequency_column), {}}, {std::string(flux_column), {}}};
  const auto shown = shown_blocks(fluxes.block_count, line_limit);
  fluxes.shown.reserve(shown.size());
  // The line of each block of the run, or none.
  std::vector<Pieces<Point>*> line_of_block(fluxes.block_count, nullptr);
  for (const std::size_t b : shown) {
    const std::string& time = block_times[b];
    fluxes.shown.push_back({b, time.empty() ? "(not a number)" : time, {}});
    line_of_block[b] = &fluxes.shown.back().fluxes;
  }

  // The windows are the same for every block, so the range is kept by
  // frequency while the blocks come one after another.
  std::map<double, ValueSpread> ranges;
  for (;;) {
    ECFLUX_TRY_VALUE(next, csv.next());
    if (!next) break;
    ++fluxes.rows;
    const Field block = csv.number(block_at);
    Pieces<Point>* line = nullptr;
    if (block.state == FieldState::number && block.value >= 1.0 &&
        block.value <= static_cast<double>(fluxes.block_count)) {
      line = line_of_block[static_cast<std::size_t>(block.value) - 1];
    }
    const Field frequency = csv.number(frequency_at);
    if (!take_frequency(fluxes.skipped[0].count, frequency)) {
      if (line) line->gap();
      continue;
    }
    ValueSpread& range = ranges[frequency.value];
    const Field flux = in_file ? csv.number(flux_at) : in_watts(csv.number(flux_at), medium);
    if (fluxes.skipped[1].count.take(flux)) range.take(flux.value);
    if (line) add_or_gap(*line, frequency.value, flux);
  }
  fluxes.window_lengths = ranges.size();
  for (const auto& [frequency, range] : ranges) range.add_to(fluxes.range, frequency);
  return fluxes;
}

}  // namespace ecflux::plot
