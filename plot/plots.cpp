#include "plot/plots.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string_view>
#include <vector>

#include "input/data_warnings.h"
#include "plot/decimator.h"
#include "plot/fields.h"
#include "report/output_files.h"

namespace ecflux::plot {
namespace {

using report::OutputRole;

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

// The file and its columns in the block plot's subtitle: the fixed-column
// file's names are the plot's own; blocks.csv names them in full.
std::string block_subtitle(const BlockTable& blocks) {
  const PlottedNames& names = blocks.names;
  if (!blocks.csv) {
    return "FLUX-L and FLUX-R of " + blocks.file_label +
           ": fluctuations about the least-squares lines and about the running means.\n"
           "Shaded: RUNMIN to RUNMAX, the range of FLUX-R over temperature delays of 0 to 2 s.";
  }
  return "FLUX-L and FLUX-R of " + blocks.file_label + " (" + names.flux_linear + ", " +
         names.flux_run +
         "): fluctuations about the least-squares lines\nand about the running means. "
         "Shaded: RUNMIN to RUNMAX (" +
         names.flux_run_min + " to " + names.flux_run_max +
         "),\nthe range of FLUX-R over temperature delays of 0 to 2 s.";
}

}  // namespace

Chart block_flux_chart(const BlockTable& blocks) {
  const PlottedNames& names = blocks.names;
  Chart chart;
  chart.title = "Heat flux of each block";
  chart.subtitle = block_subtitle(blocks);
  chart.x_title = "block mean time " + names.time + " (" + std::string(time_unit) + ")";
  chart.y_title = "heat flux (W/m²)";
  Line flux_l{"FLUX-L", palette[0], true, {}};
  Line flux_r{"FLUX-R", palette[1], true, {}};
  Band delays{"RUNMIN to RUNMAX", palette[1], {}};

  std::vector<SkippedColumn> skipped = {{names.time, {}},
                                        {names.flux_linear, {}},
                                        {names.flux_run, {}},
                                        {names.flux_run_min, {}},
                                        {names.flux_run_max, {}}};
  for (const BlockValues& block : blocks.blocks) {
    if (!skipped[0].count.take(block.time)) {
      flux_l.gap();
      flux_r.gap();
      delays.gap();
      continue;
    }
    const double time = block.time.value;
    const auto plot_value = [&](Line& line, const Field& value, SkipCount& count) {
      if (count.take(value)) {
        line.add(time, value.value);
      } else {
        line.gap();
      }
    };
    plot_value(flux_l, block.flux_linear, skipped[1].count);
    plot_value(flux_r, block.flux_run, skipped[2].count);
    const bool low = skipped[3].count.take(block.flux_run_min);
    const bool high = skipped[4].count.take(block.flux_run_max);
    if (low && high) {
      delays.add(time, block.flux_run_min.value, block.flux_run_max.value);
    } else {
      delays.gap();
    }
  }

  chart.bands.push_back(std::move(delays));
  chart.lines.push_back(std::move(flux_l));
  chart.lines.push_back(std::move(flux_r));
  add_notes(chart, {skip_note(blocks.file_label, skipped, names.time)}, ".");
  chart.empty_message =
      blocks.blocks.empty()
          ? "No complete block in this run: " + blocks.file_label + " has no rows."
          : "No value of " + blocks.file_label + " could be plotted.";
  fit_to_drawing(chart);
  return chart;
}

namespace {

// One file of the cumulative flux read both ways at once: against TIME, and
// against the time since the first sample. Which is drawn is known only at
// the end, when every TIME has been seen.
struct SeriesReading {
  Decimator by_time;
  Decimator by_sample;
  // Of the rows with a TIME; a row without one is not looked at further.
  std::vector<SkippedColumn> skipped = {{"TIME", {}}, {"CUMFLUX", {}}};
  SkipCount flux_of_every_row;
  std::int64_t rows = 0;
  FieldState first_time = FieldState::number;
  FieldState last_time = FieldState::number;

  std::int64_t asterisk_times() const { return skipped[0].count.asterisks; }
  // Times beyond the field's room at the start or the end of the record: a
  // TIME axis would not reach that end. A lone field of asterisks within the
  // record leaves only a gap.
  bool time_cut_short() const {
    return first_time == FieldState::asterisks || last_time == FieldState::asterisks;
  }
};

// CUMFLUX of "cumflux.out" or, `shifted`, of "CFSHIFT.out", thinned.
textio::Status read_cumulative(textio::LineReader& file, const SampleClock* clock, bool shifted,
                               SeriesReading& reading) {
  const textio::RecordFormat& format = report::row_format(OutputRole::cumulative_flux);
  RowSource source{file, {}};
  std::string_view record;
  source.next(record);  // the header
  std::vector<Field> row;
  for (std::int64_t r = 0; source.next(record); ++r) {
    ++reading.rows;
    read_fields(format, record, row);
    if (r == 0) reading.first_time = row[0].state;
    reading.last_time = row[0].state;
    if (clock) {
      if (reading.flux_of_every_row.take(row[1])) {
        reading.by_sample.add(shifted ? clock->shifted_row(r) : clock->plain_row(r), row[1].value);
      } else {
        reading.by_sample.gap();
      }
    }
    if (!reading.skipped[0].count.take(row[0]) || !reading.skipped[1].count.take(row[1])) {
      reading.by_time.gap();
      continue;
    }
    reading.by_time.add(row[0].value, row[1].value);
  }
  return source.status;
}

std::string number_text(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

// What the time since the first sample stands for, and why it is drawn.
std::vector<std::optional<std::string>> sample_time_notes(const SampleClock& clock,
                                                          const SeriesReading& plain,
                                                          const SeriesReading& shifted) {
  const std::string rate = "fs = " + number_text(clock.sample_rate()) + " Hz.";
  return {
      "TIME is written as asterisks in " + input::with_thousands(plain.asterisk_times()) +
          " rows of cumflux.out and " + input::with_thousands(shifted.asterisk_times()) +
          " of CFSHIFT.out.",
      std::string("So each row is drawn at its time since the first sample: its block's start "
                  "plus its sample in the block / fs."),
      clock.time_unit() ? "Blocks start where their mean times say (taken to be in " +
                              std::string(clock.time_unit()->name) + "); " + rate
                        : "Blocks are taken to follow each other without gaps; " + rate,
      skip_note("cumflux.out", {{"CUMFLUX", plain.flux_of_every_row}}, "TIME"),
      skip_note("CFSHIFT.out", {{"CUMFLUX", shifted.flux_of_every_row}}, "TIME"),
  };
}

}  // namespace

textio::Result<Chart> cumulative_flux_chart(textio::LineReader& cumflux,
                                            textio::LineReader& cfshift, const SampleClock* clock) {
  Chart chart;
  chart.title = "Cumulative flux over the record";
  chart.subtitle =
      "CUMFLUX, the running total of COVAR / fs: about the running means (cumflux.out), and\n"
      "with the temperature delayed to each block's RUNMIN (CFSHIFT.out).";
  chart.x_title = "sample time TIME (" + std::string(time_unit) + ")";
  chart.y_title = "CUMFLUX (K·m)";
  SeriesReading plain, shifted;
  if (auto read = read_cumulative(cumflux, clock, false, plain); !read.ok()) {
    return std::move(read.failure());
  }
  if (auto read = read_cumulative(cfshift, clock, true, shifted); !read.ok()) {
    return std::move(read.failure());
  }
  const bool by_sample = clock && (plain.time_cut_short() || shifted.time_cut_short());
  Line plain_line{"cumflux.out", palette[0], false, {}};
  Line shifted_line{"CFSHIFT.out", palette[3], false, {}};
  (by_sample ? plain.by_sample : plain.by_time).fill(plain_line);
  (by_sample ? shifted.by_sample : shifted.by_time).fill(shifted_line);
  chart.lines.push_back(std::move(plain_line));
  chart.lines.push_back(std::move(shifted_line));
  if (by_sample) {
    chart.x_title = "time since the first sample (s)";
    add_notes(chart, sample_time_notes(*clock, plain, shifted),
              "; TIME has room for values below 1000 only.");
  } else {
    add_notes(chart,
              {skip_note("cumflux.out", plain.skipped, "TIME"),
               skip_note("CFSHIFT.out", shifted.skipped, "TIME")},
              "; TIME has room for values below 1000 only.");
  }
  chart.empty_message =
      plain.rows + shifted.rows == 0
          ? "No complete block in this run: cumflux.out and CFSHIFT.out have no rows."
          : "No value of cumflux.out or CFSHIFT.out could be plotted.";
  fit_to_drawing(chart);
  return chart;
}

namespace {

// The window plot's titles and axes, for `file`.
Chart window_chart_frame(const std::string& file) {
  Chart chart;
  chart.title = "Flux against running-mean window";
  chart.subtitle = "The flux of each block for every window length (" + file +
                   "). Longer windows are to the\n"
                   "left; a window is long enough where the flux levels off.";
  chart.x_title = "frequency, 1 / window length (Hz)";
  chart.y_title = "flux: covariance × 86400 (K·m/day)";
  chart.log_x = true;
  return chart;
}

// The blocks drawn as lines: all of them, or `line_limit` (at least 2)
// evenly spread over the run, the first and the last included.
std::vector<std::size_t> shown_blocks(std::size_t count, std::size_t line_limit) {
  line_limit = std::max<std::size_t>(line_limit, 2);
  std::vector<std::size_t> shown;
  for (std::size_t i = 0; i < std::min(count, line_limit); ++i) {
    shown.push_back(
        count <= line_limit ? i : (i * (count - 1) + (line_limit - 1) / 2) / (line_limit - 1));
  }
  return shown;
}

std::string block_label(std::size_t block, const std::string& time) {
  return "block " + std::to_string(block + 1) + ", t = " + time;
}

// The lowest and highest flux of all blocks at one frequency.
struct FluxRange {
  double low = 0.0;
  double high = 0.0;
  bool any = false;

  void take(double flux) {
    low = any ? std::min(low, flux) : flux;
    high = any ? std::max(high, flux) : flux;
    any = true;
  }
};

// The band of all blocks when not every block has a line, the run's window,
// and the notes: what was skipped, which blocks have lines, then `more`.
void finish_window_chart(Chart& chart, Band range, std::size_t block_count,
                         std::optional<RunWindow> run_window, std::optional<std::string> skipped,
                         std::optional<std::string> more) {
  const bool banded = block_count > chart.lines.size();
  if (banded) chart.bands.push_back(std::move(range));
  if (run_window && run_window->frequency > 0.0) {
    chart.x_markers.push_back(
        {run_window->frequency, "window of the run: " + number_text(run_window->seconds) + " s"});
  }
  std::optional<std::string> lines;
  if (banded) {
    lines = "Lines: " + std::to_string(chart.lines.size()) + " of the " +
            std::to_string(block_count) + " blocks, spread evenly over the run.";
  }
  add_notes(chart, {std::move(skipped), std::move(lines), std::move(more)}, ".");
}

Band all_blocks_band(std::size_t block_count) {
  return {"range of all " + std::to_string(block_count) + " blocks", "#7f7f7f", {}};
}

// The columns of the window-flux table: after the frequency field, one field
// per block, all blocks in every record.
struct TableColumns {
  textio::RecordFormat::Field frequency;
  textio::RecordFormat::Field block;
  std::size_t first_block = 0;

  std::size_t block_begin(std::size_t b) const {
    return first_block + b * static_cast<std::size_t>(block.width);
  }
  // The block fields that `record` reaches; a last field cut short counts.
  std::size_t fields_in(std::string_view record) const {
    const auto width = static_cast<std::size_t>(block.width);
    return record.size() > first_block ? (record.size() - first_block + width - 1) / width : 0;
  }
  Field block_value(std::string_view record, std::size_t b) const {
    return read_field(record, block_begin(b), block.width, block.decimals);
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
  blocks.count = columns.fields_in(first_record);
  blocks.shown = shown_blocks(blocks.count, line_limit);
  for (const std::size_t b : blocks.shown) {
    const Field time = columns.block_value(first_record, b);
    if (time.state == FieldState::number) {
      blocks.labels.push_back(
          block_label(b, trim(first_record.substr(columns.block_begin(b),
                                                  static_cast<std::size_t>(columns.block.width)))));
    } else if (results_times.size() == blocks.count && !results_times[b].empty()) {
      blocks.labels.push_back(block_label(b, results_times[b]));
    } else {
      blocks.labels.push_back(
          block_label(b, time.state == FieldState::asterisks ? "(too wide)" : "(unreadable)"));
      ++blocks.hidden_times;
    }
  }
  return blocks;
}

}  // namespace

textio::Result<Chart> window_flux_chart(textio::LineReader& cospectra,
                                        std::optional<RunWindow> run_window,
                                        const std::vector<std::string>& results_times,
                                        std::size_t line_limit, std::size_t* window_lengths) {
  Chart chart = window_chart_frame("Cospectra.out");
  const TableColumns columns = table_columns();
  RowSource source{cospectra, {}};
  std::string_view record;
  const bool has_first = source.next(record);
  const TableBlocks blocks = read_table_blocks(has_first ? record : std::string_view(), columns,
                                               results_times, line_limit);
  for (std::size_t i = 0; i < blocks.shown.size(); ++i) {
    chart.lines.push_back({blocks.labels[i], palette[i % std::size(palette)], false, {}});
  }
  Band range = all_blocks_band(blocks.count);

  std::vector<SkippedColumn> skipped = {{"FREQ", {}}, {"flux", {}}};
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
    // The blocks beyond the end of a record cut short are missing values,
    // counted all at once: a damaged file of short records after a long
    // first one is read in time in proportion to its size.
    const std::size_t reached = std::min(blocks.count, columns.fields_in(record));
    FluxRange all;
    for (std::size_t b = 0; b < reached; ++b) {
      const Field flux = columns.block_value(record, b);
      if (skipped[1].count.take(flux)) all.take(flux.value);
    }
    skipped[1].count.not_a_number += static_cast<std::int64_t>(blocks.count - reached);
    for (std::size_t i = 0; i < blocks.shown.size(); ++i) {
      const Field flux = columns.block_value(record, blocks.shown[i]);
      if (flux.state == FieldState::number)
        chart.lines[i].add(x, flux.value);
      else
        chart.lines[i].gap();
    }
    if (all.any)
      range.add(x, all.low, all.high);
    else
      range.gap();
  }
  if (!source.status.ok()) return std::move(source.status.failure());
  if (window_lengths) *window_lengths = static_cast<std::size_t>(rows);

  std::optional<std::string> hidden;
  if (blocks.hidden_times > 0) {
    hidden = plural(blocks.hidden_times, "block time", "block times") +
             " in the first record of Cospectra.out written as asterisks or unreadable,"
             " and not found in the results file.";
  }
  finish_window_chart(chart, std::move(range), blocks.count, run_window,
                      skip_note("Cospectra.out", skipped, "FREQ"), std::move(hidden));
  chart.empty_message = blocks.count == 0 || rows == 0
                            ? "No complete block in this run: Cospectra.out has no block."
                            : "No value of Cospectra.out could be plotted.";
  fit_to_drawing(chart);
  return chart;
}

textio::Result<Chart> csv_window_flux_chart(textio::LineReader window_fluxes,
                                            const std::string& file_label,
                                            std::optional<RunWindow> run_window,
                                            const std::vector<std::string>& block_times,
                                            std::size_t line_limit, std::size_t* window_lengths) {
  constexpr std::string_view block_column = "block", frequency_column = "frequency_Hz",
                             flux_column = "flux_K_m_day";
  auto file = CsvFile::open(std::move(window_fluxes), file_label,
                            {block_column, frequency_column, flux_column});
  if (!file.ok()) return std::move(file.failure());
  CsvFile& csv = file.value();
  const std::size_t block_at = *csv.column(block_column);
  const std::size_t frequency_at = *csv.column(frequency_column);
  const std::size_t flux_at = *csv.column(flux_column);

  Chart chart = window_chart_frame(file_label);
  const std::size_t count = block_times.size();
  // The line of each block of the run, or none.
  std::vector<Line*> line_of_block(count, nullptr);
  const auto shown = shown_blocks(count, line_limit);
  chart.lines.reserve(shown.size());
  for (std::size_t i = 0; i < shown.size(); ++i) {
    const std::string& time = block_times[shown[i]];
    chart.lines.push_back({block_label(shown[i], time.empty() ? "(not a number)" : time),
                           palette[i % std::size(palette)],
                           false,
                           {}});
    line_of_block[shown[i]] = &chart.lines.back();
  }

  // The windows are the same for every block, so the band is kept by
  // frequency while the blocks come one after another.
  std::map<double, FluxRange> ranges;
  std::vector<SkippedColumn> skipped = {{std::string(frequency_column), {}},
                                        {std::string(flux_column), {}}};
  std::int64_t rows = 0;
  for (;;) {
    auto next = csv.next();
    if (!next.ok()) return std::move(next.failure());
    if (!next.value()) break;
    ++rows;
    const Field block = csv.number(block_at);
    Line* line = nullptr;
    if (block.state == FieldState::number && block.value >= 1.0 &&
        block.value <= static_cast<double>(count)) {
      line = line_of_block[static_cast<std::size_t>(block.value) - 1];
    }
    const Field frequency = csv.number(frequency_at);
    if (!skipped[0].count.take(frequency) || frequency.value <= 0.0) {
      if (frequency.state == FieldState::number) ++skipped[0].count.not_a_number;
      if (line) line->gap();
      continue;
    }
    FluxRange& range = ranges[frequency.value];
    const Field flux = csv.number(flux_at);
    if (!skipped[1].count.take(flux)) {
      if (line) line->gap();
      continue;
    }
    range.take(flux.value);
    if (line) line->add(frequency.value, flux.value);
  }
  if (window_lengths) *window_lengths = ranges.size();

  Band band = all_blocks_band(count);
  for (const auto& [frequency, range] : ranges) {
    if (range.any)
      band.add(frequency, range.low, range.high);
    else
      band.gap();
  }
  finish_window_chart(chart, std::move(band), count, run_window,
                      skip_note(file_label, skipped, frequency_column), std::nullopt);
  chart.empty_message = count == 0 || rows == 0
                            ? "No complete block in this run: " + file_label + " has no rows."
                            : "No value of " + file_label + " could be plotted.";
  fit_to_drawing(chart);
  return chart;
}

}  // namespace ecflux::plot
