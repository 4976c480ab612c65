#include "plot/block_table.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <utility>

#include "plot/csv_reader.h"
#include "report/csv_files.h"
#include "report/output_files.h"

namespace ecflux::plot {
namespace {

using report::OutputRole;

using report::ResultsValue;

std::vector<BlockColumn> results_columns() {
  std::vector<BlockColumn> columns;
  for (const report::ResultsColumn& column : report::results_columns) {
    columns.push_back(
        {std::string(column.label), std::string(column.unit), std::string(column.label)});
  }
  return columns;
}

std::string label_of(ResultsValue value) {
  return std::string(report::results_column(value).label);
}

std::string_view csv_name_of(ResultsValue value) { return report::results_column(value).csv_name; }

// A column of blocks.csv carries its unit at the end of its name.
BlockColumn csv_column(std::string_view name) {
  return {std::string(name), report::csv_column_unit(name),
          std::string(report::csv_column_stem(name))};
}

// A block's mean time in a line label: four decimals, as the results file
// writes it.
std::string time_label(const Field& time) {
  if (time.state != FieldState::number) return {};
  char text[64];
  std::snprintf(text, sizeof text, "%.4f", time.value);
  return text;
}

}  // namespace

std::string flag_words(int flag) {
  switch (flag) {
    case 0: return "good";
    case 1: return "use with care";
    case 2: return "do not use";
  }
  return "not known";
}

std::vector<std::string_view> BlockTable::cells(std::size_t block, std::size_t column_limit) const {
  const std::string_view record = records[block];
  const std::size_t count = std::min(columns.size(), column_limit);
  std::vector<std::string_view> texts;
  if (csv) {
    split_csv(record, texts, count);
    texts.resize(count);
    return texts;
  }
  for (const auto& field : report::row_format(OutputRole::results).fields()) {
    if (texts.size() == count) break;
    texts.push_back(
        field.begin < record.size()
            ? trim_blanks(record.substr(field.begin, static_cast<std::size_t>(field.width)))
            : std::string_view());
  }
  return texts;
}

base::Result<BlockTable> read_results_table(textio::LineReader& results,
                                            const std::string& file_label) {
  BlockTable table;
  table.file_label = file_label;
  table.columns = results_columns();
  table.names.time = label_of(ResultsValue::time);
  table.names.flux_linear = label_of(ResultsValue::flux_linear);
  table.names.flux_run = label_of(ResultsValue::flux_run);
  table.names.flux_run_min = label_of(ResultsValue::flux_run_min);
  table.names.flux_run_max = label_of(ResultsValue::flux_run_max);
  const textio::RecordFormat& format = report::row_format(OutputRole::results);
  std::string_view record;
  std::vector<Field> row;
  bool header = true;
  for (;;) {
    ECFLUX_TRY_VALUE(line, results.next(record));
    if (!line) return table;
    if (std::exchange(header, false)) continue;
    read_fields(format, record, row);
    const auto field = [&row](ResultsValue value) { return row[static_cast<std::size_t>(value)]; };
    const Field time = field(ResultsValue::time);
    BlockValues& block = table.blocks.emplace_back();
    block.time = time;
    block.flux_linear = field(ResultsValue::flux_linear);
    block.flux_run = field(ResultsValue::flux_run);
    block.flux_run_min = field(ResultsValue::flux_run_min);
    block.flux_run_max = field(ResultsValue::flux_run_max);
    block.delay_run_min = field(ResultsValue::delay_run_min);
    if (time.state == FieldState::number) {
      block.time_label =
          trim_blanks(record.substr(0, static_cast<std::size_t>(format.fields()[0].width)));
    }
    table.records.emplace_back(record);
  }
}

base::Result<BlockTable> read_blocks_csv(textio::LineReader blocks_csv,
                                         const std::string& file_label) {
  const std::string_view time = csv_name_of(ResultsValue::time),
                         flux_linear = csv_name_of(ResultsValue::flux_linear),
                         flux_run = csv_name_of(ResultsValue::flux_run),
                         run_min = csv_name_of(ResultsValue::flux_run_min),
                         run_max = csv_name_of(ResultsValue::flux_run_max),
                         delay = csv_name_of(ResultsValue::delay_run_min);
  ECFLUX_TRY_VALUE(file, CsvFile::open(std::move(blocks_csv), file_label,
                                       {time, flux_linear, flux_run, run_min, run_max, delay}));
  CsvFile& csv = file;
  // Columns that runs of earlier versions, or without quality control, do
  // not write: their values are missing then.
  const auto optional_name = [&](std::string_view name) {
    return csv.column(name) ? std::string(name) : std::string();
  };
  BlockTable table;
  table.file_label = file_label;
  table.csv = true;
  PlottedNames& names = table.names;
  names.time = time;
  names.flux_linear = flux_linear;
  names.flux_run = flux_run;
  names.flux_run_min = run_min;
  names.flux_run_max = run_max;
  names.flux_mean_removed = optional_name(report::blocks_csv_mean_removed);
  names.flux_corrected = optional_name("flux_linear_delay_corrected_W_m2");
  names.random_error = optional_name("flux_linear_random_error_W_m2");
  names.flag = optional_name("quality_flag");
  names.ogive_not_levelled = optional_name("ogive_not_levelled");
  for (const auto& name : csv.names()) table.columns.push_back(csv_column(name));
  const std::array<std::size_t, 6> at = {*csv.column(time),     *csv.column(flux_linear),
                                         *csv.column(flux_run), *csv.column(run_min),
                                         *csv.column(run_max),  *csv.column(delay)};
  // Looked up once: a damaged header may hold very many names.
  const auto column_of = [&](const std::string& name) {
    return name.empty() ? std::nullopt : csv.column(name);
  };
  const std::array<std::optional<std::size_t>, 6> optional_at = {
      column_of(names.flux_mean_removed),  column_of(names.flux_corrected),
      csv.column("delay_linear_at_edge"),  column_of(names.random_error),
      column_of(names.ogive_not_levelled), column_of(names.flag)};
  const auto optional_value = [&](std::size_t which) {
    return optional_at[which] ? csv.number(*optional_at[which]) : Field{};
  };
  for (;;) {
    ECFLUX_TRY_VALUE(row, csv.next());
    if (!row) return table;
    const Field mean_time = csv.number(at[0]);
    BlockValues block;
    block.time = mean_time;
    block.flux_linear = csv.number(at[1]);
    block.flux_run = csv.number(at[2]);
    block.flux_run_min = csv.number(at[3]);
    block.flux_run_max = csv.number(at[4]);
    block.delay_run_min = csv.number(at[5]);
    block.time_label = time_label(mean_time);
    block.flux_mean_removed = optional_value(0);
    block.flux_corrected = optional_value(1);
    block.corrected_at_edge = optional_value(2);
    block.random_error = optional_value(3);
    block.ogive_not_levelled = optional_value(4);
    const Field flag = optional_value(5);
    if (flag.state == FieldState::number &&
        (flag.value == 0.0 || flag.value == 1.0 || flag.value == 2.0)) {
      block.flag = static_cast<int>(flag.value);
    }
    table.blocks.push_back(std::move(block));
    table.records.emplace_back(csv.record());
  }
}

}  // namespace ecflux::plot
