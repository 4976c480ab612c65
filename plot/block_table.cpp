#include "plot/block_table.h"

#include <algorithm>
#include <array>
#include <cstdio>
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
    columns.push_back({labels[i], std::string(i < results_units.size() ? results_units[i] : "")});
  }
  return columns;
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

textio::Result<BlockTable> read_results_table(textio::LineReader& results,
                                              const std::string& file_label) {
  BlockTable table{
      file_label, false, results_columns(), {"TIME", "FLUX-L", "FLUX-R", "RUNMIN", "RUNMAX"},
      {},         {}};
  const textio::RecordFormat& format = report::row_format(OutputRole::results);
  std::string_view record;
  std::vector<Field> row;
  bool header = true;
  for (;;) {
    auto line = results.next(record);
    if (!line.ok()) return std::move(line.failure());
    if (!line.value()) return table;
    if (std::exchange(header, false)) continue;
    read_fields(format, record, row);
    const Field& time = row[time_field];
    table.blocks.push_back({time, row[flux_l_field], row[flux_r_field], row[run_min_field],
                            row[run_max_field], row[run_min_delay_field],
                            time.state == FieldState::number
                                ? std::string(trim_blanks(record.substr(
                                      0, static_cast<std::size_t>(format.fields()[0].width))))
                                : std::string()});
    table.records.emplace_back(record);
  }
}

textio::Result<BlockTable> read_blocks_csv(textio::LineReader blocks_csv,
                                           const std::string& file_label) {
  constexpr std::string_view time = "time_mean", flux_linear = "flux_linear_W_m2",
                             flux_run = "flux_run_W_m2", run_min = "flux_run_min_W_m2",
                             run_max = "flux_run_max_W_m2", delay = "delay_run_min_s";
  auto file = CsvFile::open(std::move(blocks_csv), file_label,
                            {time, flux_linear, flux_run, run_min, run_max, delay});
  if (!file.ok()) return std::move(file.failure());
  CsvFile& csv = file.value();
  BlockTable table{file_label,
                   true,
                   {},
                   {std::string(time), std::string(flux_linear), std::string(flux_run),
                    std::string(run_min), std::string(run_max)},
                   {},
                   {}};
  for (const auto& name : csv.names())
    table.columns.push_back({name, report::csv_column_unit(name)});
  const std::array<std::size_t, 6> at = {*csv.column(time),     *csv.column(flux_linear),
                                         *csv.column(flux_run), *csv.column(run_min),
                                         *csv.column(run_max),  *csv.column(delay)};
  for (;;) {
    auto row = csv.next();
    if (!row.ok()) return std::move(row.failure());
    if (!row.value()) return table;
    const Field mean_time = csv.number(at[0]);
    table.blocks.push_back({mean_time, csv.number(at[1]), csv.number(at[2]), csv.number(at[3]),
                            csv.number(at[4]), csv.number(at[5]), time_label(mean_time)});
    table.records.emplace_back(csv.record());
  }
}

}  // namespace ecflux::plot
