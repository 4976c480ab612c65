#include "plot/plots.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string_view>
#include <vector>

#include "plot/decimator.h"
#include "plot/fields.h"
#include "report/output_files.h"

namespace ecflux::plot {
namespace {

using report::OutputRole;

// Fields of a row of the results file, one row per complete block.
constexpr std::size_t time_field = 0;
constexpr std::size_t flux_l_field = 10;
constexpr std::size_t flux_r_field = 11;
constexpr std::size_t run_min_field = 13;
constexpr std::size_t run_max_field = 15;

constexpr std::string_view time_unit = "data file's time unit";

const char* const palette[] = {"#1f77b4", "#d62728", "#2ca02c", "#ff7f0e", "#9467bd",
                               "#8c564b", "#e377c2", "#17becf", "#bcbd22", "#7f7f7f"};

std::string plural(std::int64_t count, std::string_view one, std::string_view many) {
  return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

// What could not be shown of one column, for the notes.
struct SkippedColumn {
  std::string name;
  SkipCount count;
};

// One note per file, such as "Not plotted from results.out: 2 TIME values
// written as asterisks (their rows are left out), 1 FLUX-L value not a
// number." The row's key column (TIME, FREQ) says that whole rows are gone.
std::optional<std::string> skip_note(const std::string& file,
                                     const std::vector<SkippedColumn>& columns,
                                     std::string_view row_column) {
  std::string parts;
  for (const auto& column : columns) {
    const auto add = [&](std::int64_t count, std::string_view what) {
      if (count == 0) return;
      if (!parts.empty()) parts += ", ";
      parts += plural(count, column.name + " value", column.name + " values");
      parts += what;
      if (column.name == row_column)
        parts += count == 1 ? " (its row is left out)" : " (their rows are left out)";
    };
    add(column.count.asterisks, " written as asterisks");
    add(column.count.not_a_number, " not a number");
  }
  if (parts.empty()) return std::nullopt;
  return "Not plotted from " + file + ": " + parts + ".";
}

constexpr std::string_view asterisk_explanation =
    "Asterisks stand for a value too wide for its field in the file";

void add_notes(Chart& chart, const std::vector<std::optional<std::string>>& notes,
               std::string_view asterisk_detail = {}) {
  bool asterisks = false;
  for (const auto& note : notes) {
    if (!note) continue;
    chart.notes.push_back(*note);
    asterisks = asterisks || note->find("asterisks") != std::string::npos;
  }
  if (asterisks)
    chart.notes.push_back(std::string(asterisk_explanation) + std::string(asterisk_detail));
}

// Gives the next record, or false at the end; a read error is returned.
struct RowSource {
  textio::LineReader& reader;
  textio::Status status;

  bool next(std::string_view& record) {
    textio::Result<bool> line = reader.next(record);
    if (line.ok()) return line.value();
    status = std::move(line.failure());
    return false;
  }
};

std::string trim(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}

}  // namespace

textio::Result<Chart> block_flux_chart(textio::LineReader& results, const std::string& file_label,
                                       std::vector<std::string>* block_times) {
  const textio::RecordFormat& format = report::row_format(OutputRole::results);
  Chart chart;
  chart.title = "Heat flux of each block";
  chart.subtitle =
      "FLUX-L and FLUX-R of " + file_label +
      ": fluctuations about the least-squares lines and about the running means.\n"
      "Shaded: RUNMIN to RUNMAX, the range of FLUX-R over temperature delays of 0 to 2 s.";
  chart.x_title = "block mean time TIME (" + std::string(time_unit) + ")";
  chart.y_title = "heat flux (W/m²)";
  Line flux_l{"FLUX-L", palette[0], true, {}};
  Line flux_r{"FLUX-R", palette[1], true, {}};
  Band delays{"RUNMIN to RUNMAX", palette[1], {}};

  RowSource source{results, {}};
  std::string_view record;
  source.next(record);  // the header
  std::vector<SkippedColumn> skipped = {
      {"TIME", {}}, {"FLUX-L", {}}, {"FLUX-R", {}}, {"RUNMIN", {}}, {"RUNMAX", {}}};
  std::vector<Field> row;
  std::int64_t rows = 0;
  while (source.next(record)) {
    ++rows;
    read_fields(format, record, row);
    if (block_times) {
      const bool readable = row[time_field].state == FieldState::number;
      block_times->push_back(readable ? trim(record.substr(0, 12)) : std::string());
    }
    if (!skipped[0].count.take(row[time_field])) {
      flux_l.gap();
      flux_r.gap();
      delays.gap();
      continue;
    }
    const double time = row[time_field].value;
    const auto plot_field = [&](Line& line, std::size_t field, SkipCount& count) {
      if (count.take(row[field])) {
        line.add(time, row[field].value);
      } else {
        line.gap();
      }
    };
    plot_field(flux_l, flux_l_field, skipped[1].count);
    plot_field(flux_r, flux_r_field, skipped[2].count);
    const bool low = skipped[3].count.take(row[run_min_field]);
    const bool high = skipped[4].count.take(row[run_max_field]);
    if (low && high) {
      delays.add(time, row[run_min_field].value, row[run_max_field].value);
    } else {
      delays.gap();
    }
  }
  if (!source.status.ok()) return std::move(source.status.failure());

  chart.bands.push_back(std::move(delays));
  chart.lines.push_back(std::move(flux_l));
  chart.lines.push_back(std::move(flux_r));
  add_notes(chart, {skip_note(file_label, skipped, "TIME")}, ".");
  chart.empty_message = rows == 0 ? "No complete block in this run: " + file_label + " has no rows."
                                  : "No value of " + file_label + " could be plotted.";
  return chart;
}

namespace {

// CUMFLUX against TIME of "cumflux.out" or "CFSHIFT.out", thinned.
textio::Status read_cumulative(textio::LineReader& file, Line& line,
                               std::vector<SkippedColumn>& skipped, std::int64_t& rows) {
  const textio::RecordFormat& format = report::row_format(OutputRole::cumulative_flux);
  skipped = {{"TIME", {}}, {"CUMFLUX", {}}};
  Decimator thinned;
  RowSource source{file, {}};
  std::string_view record;
  source.next(record);  // the header
  std::vector<Field> row;
  while (source.next(record)) {
    ++rows;
    read_fields(format, record, row);
    if (!skipped[0].count.take(row[0]) || !skipped[1].count.take(row[1])) {
      thinned.gap();
      continue;
    }
    thinned.add(row[0].value, row[1].value);
  }
  if (!source.status.ok()) return source.status;
  thinned.fill(line);
  return {};
}

}  // namespace

textio::Result<Chart> cumulative_flux_chart(textio::LineReader& cumflux,
                                            textio::LineReader& cfshift) {
  Chart chart;
  chart.title = "Cumulative flux over the record";
  chart.subtitle =
      "CUMFLUX, the running total of COVAR / fs: about the running means (cumflux.out), and\n"
      "with the temperature delayed to each block's RUNMIN (CFSHIFT.out).";
  chart.x_title = "sample time TIME (" + std::string(time_unit) + ")";
  chart.y_title = "CUMFLUX (K·m)";
  Line plain{"cumflux.out", palette[0], false, {}};
  Line shifted{"CFSHIFT.out", palette[3], false, {}};
  std::vector<SkippedColumn> plain_skips, shifted_skips;
  std::int64_t rows = 0;
  if (auto read = read_cumulative(cumflux, plain, plain_skips, rows); !read.ok()) {
    return std::move(read.failure());
  }
  if (auto read = read_cumulative(cfshift, shifted, shifted_skips, rows); !read.ok()) {
    return std::move(read.failure());
  }
  chart.lines.push_back(std::move(plain));
  chart.lines.push_back(std::move(shifted));
  add_notes(chart,
            {skip_note("cumflux.out", plain_skips, "TIME"),
             skip_note("CFSHIFT.out", shifted_skips, "TIME")},
            "; TIME has room for values below 1000 only.");
  chart.empty_message =
      rows == 0 ? "No complete block in this run: cumflux.out and CFSHIFT.out have no rows."
                : "No value of cumflux.out or CFSHIFT.out could be plotted.";
  return chart;
}

namespace {

// The columns of the window-flux table: after the frequency field, one field
// per block, all blocks in every record.
struct TableColumns {
  textio::RecordFormat::Field frequency;
  textio::RecordFormat::Field block;
  std::size_t first_block = 0;

  std::size_t block_begin(std::size_t b) const {
    return first_block + b * static_cast<std::size_t>(block.width);
  }
};

TableColumns table_columns() {
  const textio::RecordFormat& leading = report::row_format(OutputRole::window_flux_table);
  return {leading.fields()[0], report::block_field(), leading.length()};
}

// What the first record of the table says: how many blocks, and the lines
// drawn for some of them, labelled with their times.
struct TableBlocks {
  std::size_t count = 0;
  std::vector<std::size_t> shown;  // the blocks drawn as lines
  std::vector<std::string> labels;
  std::int64_t hidden_times = 0;  // labels without a time
};

TableBlocks read_table_blocks(std::string_view first_record, const TableColumns& columns,
                              const std::vector<std::string>& results_times,
                              std::size_t line_limit) {
  TableBlocks blocks;
  const auto width = static_cast<std::size_t>(columns.block.width);
  if (first_record.size() > columns.first_block) {
    // A last field cut short counts as a block too.
    blocks.count = (first_record.size() - columns.first_block + width - 1) / width;
  }
  for (std::size_t i = 0; i < std::min(blocks.count, line_limit); ++i) {
    // Evenly spread over the run, the first and the last block included.
    blocks.shown.push_back(blocks.count <= line_limit
                               ? i
                               : (i * (blocks.count - 1) + (line_limit - 1) / 2) /
                                     (line_limit - 1));
  }
  for (const std::size_t b : blocks.shown) {
    const std::size_t begin = columns.block_begin(b);
    const Field time = read_field(first_record, begin, columns.block.width, columns.block.decimals);
    std::string label = "block " + std::to_string(b + 1) + ", t = ";
    if (time.state == FieldState::number) {
      label += trim(first_record.substr(begin, width));
    } else if (results_times.size() == blocks.count && !results_times[b].empty()) {
      label += results_times[b];
    } else {
      label += time.state == FieldState::asterisks ? "(too wide)" : "(unreadable)";
      ++blocks.hidden_times;
    }
    blocks.labels.push_back(std::move(label));
  }
  return blocks;
}

}  // namespace

textio::Result<Chart> window_flux_chart(textio::LineReader& cospectra,
                                        std::optional<RunWindow> run_window,
                                        const std::vector<std::string>& results_times,
                                        std::size_t line_limit) {
  Chart chart;
  chart.title = "Flux against running-mean window";
  chart.subtitle =
      "The flux of each block for every window length (Cospectra.out). Longer windows are to the\n"
      "left; a window is long enough where the flux levels off.";
  chart.x_title = "frequency, 1 / window length (Hz)";
  chart.y_title = "flux: covariance × 86400 (K·m/day)";
  chart.log_x = true;

  const TableColumns columns = table_columns();
  RowSource source{cospectra, {}};
  std::string_view record;
  const bool has_first = source.next(record);
  const TableBlocks blocks = read_table_blocks(has_first ? record : std::string_view(), columns,
                                               results_times, std::max<std::size_t>(line_limit, 2));
  for (std::size_t i = 0; i < blocks.shown.size(); ++i) {
    chart.lines.push_back({blocks.labels[i], palette[i % std::size(palette)], false, {}});
  }
  const bool banded = blocks.count > blocks.shown.size();
  Band range{"range of all " + std::to_string(blocks.count) + " blocks", "#7f7f7f", {}};

  std::vector<SkippedColumn> skipped = {{"FREQ", {}}, {"flux", {}}};
  std::vector<Field> row(blocks.count);
  std::int64_t rows = 0;
  while (source.next(record)) {
    ++rows;
    const Field frequency = read_field(record, columns.frequency.begin, columns.frequency.width,
                                       columns.frequency.decimals);
    if (!skipped[0].count.take(frequency) || frequency.value <= 0.0) {
      if (frequency.state == FieldState::number) ++skipped[0].count.not_a_number;
      for (auto& line : chart.lines) line.gap();
      range.gap();
      continue;
    }
    const double x = frequency.value;
    double low = 0.0, high = 0.0;
    bool any = false;
    for (std::size_t b = 0; b < blocks.count; ++b) {
      row[b] =
          read_field(record, columns.block_begin(b), columns.block.width, columns.block.decimals);
      if (!skipped[1].count.take(row[b])) continue;
      low = any ? std::min(low, row[b].value) : row[b].value;
      high = any ? std::max(high, row[b].value) : row[b].value;
      any = true;
    }
    for (std::size_t i = 0; i < blocks.shown.size(); ++i) {
      const Field& flux = row[blocks.shown[i]];
      if (flux.state == FieldState::number)
        chart.lines[i].add(x, flux.value);
      else
        chart.lines[i].gap();
    }
    if (!banded) continue;
    if (any)
      range.add(x, low, high);
    else
      range.gap();
  }
  if (!source.status.ok()) return std::move(source.status.failure());

  if (banded) chart.bands.push_back(std::move(range));
  if (run_window && run_window->frequency > 0.0) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", run_window->seconds);
    chart.x_markers.push_back(
        {run_window->frequency, "window of the run: " + std::string(seconds) + " s"});
  }
  std::vector<std::optional<std::string>> notes = {skip_note("Cospectra.out", skipped, "FREQ")};
  if (banded) {
    notes.push_back("Lines: " + std::to_string(blocks.shown.size()) + " of the " +
                    std::to_string(blocks.count) + " blocks, spread evenly over the run.");
  }
  if (blocks.hidden_times > 0) {
    notes.push_back(plural(blocks.hidden_times, "block time", "block times") +
                    " in the first record of Cospectra.out written as asterisks or unreadable,"
                    " and not found in the results file.");
  }
  add_notes(chart, notes, ".");
  chart.empty_message = blocks.count == 0 || rows == 0
                            ? "No complete block in this run: Cospectra.out has no block."
                            : "No value of Cospectra.out could be plotted.";
  return chart;
}

}  // namespace ecflux::plot
