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

constexpr std::string_view time_unit = "data file's unit";

// The fields of a results row that the plots use.
constexpr std::size_t time_field = 0;
constexpr std::size_t flux_l_field = 10;
constexpr std::size_t flux_r_field = 11;
constexpr std::size_t run_min_field = 13;
constexpr std::size_t run_max_field = 15;
constexpr std::size_t run_min_delay_field = 17;

// The unit of each field of a results row, in the order of its header.
constexpr std::array<std::string_view, 20> results_units = {
    time_unit, "cm/s", "cm/s", "cm/s", "cm/s", "cm/s", "cm/s", "°", "K", "K",
    "W/m²",    "W/m²", "W/m²", "W/m²", "W/m²", "W/m²", "s",    "s", "s", "s"};

std::vector<std::string> header_labels(std::string_view header) {
  std::vector<std::string> labels;
  std::size_t at = 0;
  while ((at = header.find_first_not_of(' ', at)) != std::string_view::npos) {
    const auto end = header.find(' ', at);
    labels.emplace_back(header.substr(at, end == std::string_view::npos ? end : end - at));
    at = end;
  }
  return labels;
}

std::vector<BlockColumn> results_columns() {
  const auto labels = header_labels(report::results_header);
  std::vector<BlockColumn> columns;
  for (std::size_t i = 0; i < labels.size(); ++i) {
    columns.push_back(
        {labels[i], std::string(i < results_units.size() ? results_units[i] : ""), labels[i]});
  }
  return columns;
}

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
  table.names.time = "TIME";
  table.names.flux_linear = "FLUX-L";
  table.names.flux_run = "FLUX-R";
  table.names.flux_run_min = "RUNMIN";
  table.names.flux_run_max = "RUNMAX";
  const textio::RecordFormat& format = report::row_format(OutputRole::results);
  std::string_view record;
  std::vector<Field> row;
  bool header = true;
  for (;;) {
    ECFLUX_TRY_VALUE(line, results.next(record));
    if (!line) return table;
    if (std::exchange(header, false)) continue;
    read_fields(format, record, row);
    const Field& time = row[time_field];
    BlockValues& block = table.blocks.emplace_back();
    block.time = time;
    block.flux_linear = row[flux_l_field];
    block.flux_run = row[flux_r_field];
    block.flux_run_min = row[run_min_field];
    block.flux_run_max = row[run_max_field];
    block.delay_run_min = row[run_min_delay_field];
    if (time.state == FieldState::number) {
      block.time_label =
          trim_blanks(record.substr(0, static_cast<std::size_t>(format.fields()[0].width)));
    }
    table.records.emplace_back(record);
  }
}

base::Result<BlockTable> read_blocks_csv(textio::LineReader blocks_csv,
                                         const std::string& file_label) {
  constexpr std::string_view time = "time_mean", flux_linear = "flux_linear_W_m2",
                             flux_run = "flux_run_W_m2", run_min = "flux_run_min_W_m2",
                             run_max = "flux_run_max_W_m2", delay = "delay_run_min_s";
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
  names.flux_mean_removed = optional_name("flux_mean_removed_W_m2");
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
