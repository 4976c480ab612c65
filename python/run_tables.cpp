#include "python/run_tables.h"
#include "base/assert.h"

#include <cmath>
#include <limits>
#include <optional>
#include <set>
#include <string_view>
#include <utility>
#include <variant>

#include "base/folder_lock.h"
#include "flux/window_sweep.h"
#include "input/configuration.h"
#include "plot/csv_reader.h"
#include "plot/fields.h"
#include "plot/run_model.h"
#include "report/csv_files.h"
#include "report/output_files.h"
#include "textio/line_reader.h"

namespace ecflux::python {
namespace {

using report::OutputRole;

constexpr double missing = std::numeric_limits<double>::quiet_NaN();

const std::set<std::string>& count_columns() {
  static const std::set<std::string> counts = [] {
    std::set<std::string> names;
    // The kind of each value is that of its cell in a row as the files write it.
    const report::QualityColumns all{true, true, true, true, true};
    const auto block_names = report::blocks_csv_names(all);
    const auto block_cells = report::block_row_cells({}, {}, all);
    for (std::size_t i = 0; i < block_names.size(); ++i) {
      if (std::holds_alternative<std::int64_t>(block_cells[i])) names.insert(block_names[i]);
    }
    const auto window_names = report::window_fluxes_csv_names();
    const auto window_cells = report::window_flux_cells(1, 0.0, 2, 1.0, 0.0);
    for (std::size_t i = 0; i < window_names.size(); ++i) {
      if (std::holds_alternative<std::int64_t>(window_cells[i])) {
        names.insert(window_names[i]);
      }
    }
    return names;
  }();
  return counts;
}

// A field's value into its column: NaN where it holds no number, counted by
// why.
void take(TableColumn& column, const plot::Field& field) {
  switch (field.state) {
    case plot::FieldState::number: column.values.push_back(field.value); return;
    case plot::FieldState::asterisks: ++column.asterisks; break;
    case plot::FieldState::not_a_number: ++column.not_numbers; break;
  }
  column.values.push_back(missing);
}

TableColumn column_named(std::string name, std::string label) {
  TableColumn column;
  column.count = is_count_column(name);
  column.name = std::move(name);
  column.label = std::move(label);
  return column;
}

base::Result<textio::LineReader> open_output(OutputRole role, const std::string& name) {
  return textio::LineReader::open(name, report::output_file(role).unit);
}

// A CSV file of the run, every column: an empty field is a value that was
// not finite; other text that is not a number is counted.
base::Result<RunTable> read_csv_table(OutputRole role) {
  const std::string name(report::output_file(role).fixed_name);
  ECFLUX_TRY_VALUE(reader, open_output(role, name));
  RunTable table{base::absolute_path(name), {}};
  ECFLUX_TRY_VALUE(opened, plot::CsvFile::open(std::move(reader), table.path, {}));
  plot::CsvFile& csv = opened;
  for (const std::string& column : csv.names())
    table.columns.push_back(column_named(column, column));
  for (;;) {
    ECFLUX_TRY_VALUE(row, csv.next());
    if (!row) return table;
    for (std::size_t c = 0; c < table.columns.size(); ++c) {
      const plot::Field field = csv.number(c);
      if (field.state == plot::FieldState::number || csv.text(c).empty()) {
        table.columns[c].values.push_back(field.state == plot::FieldState::number ? field.value
                                                                                  : missing);
      } else {
        take(table.columns[c], field);
      }
    }
  }
}

// The results file: the block's number, then the fields of each row.
base::Result<RunTable> read_results_file(const std::string& name) {
  ECFLUX_TRY_VALUE(reader, open_output(OutputRole::results, name));
  RunTable table{base::absolute_path(name), {column_named("block", "row")}};
  for (const report::ResultsColumn& column : report::results_columns) {
    table.columns.push_back(column_named(std::string(column.csv_name), std::string(column.label)));
  }
  const textio::RecordFormat& format = report::row_format(OutputRole::results);
  std::vector<plot::Field> fields;
  std::string_view record;
  for (bool header = true;; header = false) {
    ECFLUX_TRY_VALUE(line, reader.next(record));
    if (!line) return table;
    if (header) continue;
    table.columns[0].values.push_back(static_cast<double>(table.columns[0].values.size() + 1));
    plot::read_fields(format, record, fields);
    for (std::size_t i = 0; i < fields.size(); ++i) take(table.columns[i + 1], fields[i]);
  }
}

// The window-flux table, one record per window length with every block's
// flux, turned into the long form of window_fluxes.csv: for each block, each
// window. A block's time that is too wide for the table's first record is
// the results file's TIME of the block, written with the same decimals.
base::Result<RunTable> read_window_table(const std::vector<double>& block_times,
                                         const std::optional<input::BlockSizes>& sizes) {
  const std::string name(report::output_file(OutputRole::window_flux_table).fixed_name);
  ECFLUX_TRY_VALUE(reader, open_output(OutputRole::window_flux_table, name));
  const textio::RecordFormat& leading = report::row_format(OutputRole::window_flux_table);
  const textio::RecordFormat::Field frequency_field = leading.fields()[0];
  const textio::RecordFormat::Field block_field = report::block_field();
  const std::size_t first_block = leading.length();
  const auto width = static_cast<std::size_t>(block_field.width);
  const auto block_value = [&](std::string_view record, std::size_t b) {
    return plot::read_field(record, first_block + b * width, block_field.width,
                            block_field.decimals);
  };

  std::string_view record;
  ECFLUX_TRY_VALUE(first, reader.next(record));
  const std::size_t blocks =
      first && record.size() > first_block ? (record.size() - first_block + width - 1) / width : 0;
  TableColumn times = column_named("time_mean", "block time of the first record");
  for (std::size_t b = 0; b < blocks; ++b) {
    const plot::Field time = block_value(record, b);
    if (time.state == plot::FieldState::asterisks && b < block_times.size() &&
        !std::isnan(block_times[b])) {
      times.values.push_back(block_times[b]);
    } else {
      take(times, time);
    }
  }
  TableColumn frequencies = column_named("frequency_Hz", "FREQ");
  TableColumn fluxes = column_named("flux_K_m_day", "flux of a block");
  std::vector<double> by_window;  // the file's order: window after window
  while (first) {
    ECFLUX_TRY_VALUE(line, reader.next(record));
    if (!line) break;
    take(frequencies, plot::read_field(record, frequency_field.begin, frequency_field.width,
                                       frequency_field.decimals));
    for (std::size_t b = 0; b < blocks; ++b) take(fluxes, block_value(record, b));
  }
  const std::size_t windows = frequencies.values.size();
  by_window.swap(fluxes.values);

  std::vector<std::int32_t> lengths;
  if (sizes) lengths = flux::window_sequence(*sizes);
  const bool with_lengths = lengths.size() == windows;
  RunTable table{base::absolute_path(name), {}};
  TableColumn block = column_named("block", "block");
  TableColumn time = column_named("time_mean", times.label);
  TableColumn samples = column_named("window_samples", "window length of the sequence");
  TableColumn seconds = column_named("window_s", "window length of the sequence");
  TableColumn frequency = column_named("frequency_Hz", frequencies.label);
  TableColumn flux = column_named("flux_K_m_day", fluxes.label);
  for (std::size_t b = 0; b < blocks; ++b) {
    for (std::size_t k = 0; k < windows; ++k) {
      block.values.push_back(static_cast<double>(b + 1));
      time.values.push_back(times.values[b]);
      if (with_lengths) {
        const auto cells = report::window_flux_cells(static_cast<std::int64_t>(b) + 1, 0.0,
                                                     lengths[k], sizes->sample_rate, 0.0);
        samples.values.push_back(static_cast<double>(std::get<std::int64_t>(cells[2])));
        seconds.values.push_back(std::get<double>(cells[3]));
      }
      frequency.values.push_back(frequencies.values[k]);
      flux.values.push_back(by_window[k * blocks + b]);
    }
  }
  // Each field counted once, however many rows of the long form repeat it.
  time.asterisks = times.asterisks;
  time.not_numbers = times.not_numbers;
  frequency.asterisks = frequencies.asterisks;
  frequency.not_numbers = frequencies.not_numbers;
  flux.asterisks = fluxes.asterisks;
  flux.not_numbers = fluxes.not_numbers;
  table.columns.push_back(std::move(block));
  table.columns.push_back(std::move(time));
  if (with_lengths) {
    table.columns.push_back(std::move(samples));
    table.columns.push_back(std::move(seconds));
  }
  table.columns.push_back(std::move(frequency));
  table.columns.push_back(std::move(flux));
  return table;
}

}  // namespace

const TableColumn& RunTable::column(std::string_view name) const {
  for (const TableColumn& column : columns) {
    if (column.name == name) return column;
  }
  ECFLUX_ASSERT(false, "a column the table has");
  return columns.front();
}

bool is_count_column(const std::string& name) { return count_columns().contains(name); }

base::Result<RunTables> read_run_tables() {
  auto lock = base::lock_folder_for_reading("; nothing was read");
  if (!lock.ok()) return std::move(lock.failure());
  ECFLUX_TRY_VALUE(config, input::read_configuration());
  const std::string& results_name = config.results_file_name;

  RunTables tables;
  tables.csv = plot::csv_files_hold_results(results_name);
  auto blocks =
      tables.csv ? read_csv_table(OutputRole::blocks_csv) : read_results_file(results_name);
  if (!blocks.ok()) return std::move(blocks.failure());
  tables.blocks = std::move(blocks.value());
  if (tables.csv) {
    auto windows = read_csv_table(OutputRole::window_fluxes_csv);
    if (!windows.ok()) return std::move(windows.failure());
    tables.window_fluxes = std::move(windows.value());
    return tables;
  }
  std::optional<input::BlockSizes> sizes;
  if (auto derived = input::derive_block_sizes(config); derived.ok()) {
    sizes = derived.value();
  }
  ECFLUX_TRY_VALUE(windows, read_window_table(tables.blocks.column("time_mean").values, sizes));
  tables.window_fluxes = std::move(windows);
  return tables;
}

}  // namespace ecflux::python
