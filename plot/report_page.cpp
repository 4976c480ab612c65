#include "plot/report_page.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "input/data_warnings.h"
#include "plot/csv_reader.h"
#include "plot/notes.h"
#include "plot/svg.h"

namespace ecflux::plot {
namespace {

// No '<' or '&' anywhere, so that the page stays well-formed XML.
constexpr std::string_view style = R"(
body { margin: 0; background: #f3f4f6; color: #1c2127;
  font: 14px/1.45 "DejaVu Sans", Arial, Helvetica, sans-serif; }
main { max-width: 1140px; margin: 0 auto; padding: 22px 28px 36px; }
h1 { font-size: 24px; margin: 0 0 2px; }
h2 { font-size: 17px; margin: 0 0 12px; }
.folder { margin: 0; color: #4b5563; font-family: "DejaVu Sans Mono", monospace;
  overflow-wrap: anywhere; }
.sources { margin: 4px 0 0; color: #4b5563; }
.cards { display: grid; grid-template-columns: repeat(auto-fit, minmax(330px, 1fr)); gap: 16px;
  margin: 18px 0 16px; }
.card, section { background: #ffffff; border: 1px solid #d9dde3; border-radius: 8px;
  padding: 16px 20px; }
section { margin-bottom: 16px; }
table.facts { border-collapse: collapse; }
table.facts th { text-align: left; font-weight: normal; color: #4b5563; padding: 3px 18px 3px 0;
  vertical-align: top; white-space: nowrap; }
table.facts td { padding: 3px 0; }
.derived { color: #4b5563; }
figure { margin: 0 0 22px; }
figure svg { display: block; width: 100%; max-width: 900px; height: auto; margin: 0 auto; }
ul.notes { max-width: 900px; margin: 4px auto 0; padding-left: 20px; color: #8a4b00;
  font-size: 13px; }
.intro { margin: 0 0 10px; color: #4b5563; }
.scroll { overflow: auto; max-height: 640px; border: 1px solid #d9dde3; border-radius: 4px; }
table.blocks { border-collapse: collapse; font-size: 12.5px; white-space: nowrap;
  font-variant-numeric: tabular-nums; }
table.blocks th { position: sticky; top: 0; background: #e9edf2; text-align: right;
  padding: 6px 8px; border-bottom: 1px solid #c9ced6; vertical-align: bottom; }
table.blocks td { text-align: right; padding: 3px 8px; border-bottom: 1px solid #eef0f3; }
table.blocks tbody tr:nth-child(even) { background: #f8f9fb; }
table.blocks tbody tr:hover { background: #fff7e0; }
.unit { display: block; font-weight: normal; color: #5b6472; font-size: 11px; }
td.wide { color: #a05a00; }
td.missing { color: #9aa1ab; }
footer { color: #6b7280; font-size: 12px; text-align: center; }
)";

// A header cell: the name with its unit below; a long name of blocks.csv may
// break after each underscore, so that the table stays narrow.
std::string header_cell(const BlockColumn& column) {
  std::string cell = "<th>";
  for (const char c : escape_xml(column.name)) {
    cell += c;
    if (c == '_') cell += "<wbr/>";
  }
  if (!column.unit.empty()) cell += "<span class=\"unit\">" + escape_xml(column.unit) + "</span>";
  return cell + "</th>";
}

// A value of blocks.csv as the table shows it: whole numbers as written,
// others to eight significant digits (the file has them in full).
std::string csv_cell(std::string_view text) {
  if (text.empty()) return "<td class=\"missing\">–</td>";
  const Field value = read_csv_number(text);
  if (value.state != FieldState::number || text.find_first_of(".eE") == std::string_view::npos)
    return "<td>" + escape_xml(text) + "</td>";
  char shown[32];
  std::snprintf(shown, sizeof shown, "%.8g", value.value);
  return "<td>" + std::string(shown) + "</td>";
}

// A field of the results file as written; asterisks stand out.
std::string fixed_cell(std::string_view text) {
  if (!text.empty() && text.find_first_not_of('*') == std::string_view::npos)
    return "<td class=\"wide\" title=\"too wide for its field\">" + escape_xml(text) + "</td>";
  return "<td>" + escape_xml(text) + "</td>";
}

void append_fact(std::string& page, std::string_view name, const std::string& value,
                 const std::string& derived = {}) {
  page += "<tr><th>" + escape_xml(name) + "</th><td>" + escape_xml(value);
  if (!derived.empty()) page += " <span class=\"derived\">(" + escape_xml(derived) + ")</span>";
  page += "</td></tr>\n";
}

void append_configuration(std::string& page, const RunModel& run) {
  const input::Configuration& config = run.config;
  const auto samples = [&](std::string_view symbol, std::int32_t count) {
    return std::string(symbol) + " = " + input::with_thousands(count) + " samples";
  };
  const input::BlockSizes sizes = run.sizes.value_or(input::BlockSizes{});
  page += "<div class=\"card\"><h2>Configuration</h2>\n<table class=\"facts\">\n";
  append_fact(page, "Data file", config.data_file_name);
  append_fact(page, "Results file", config.results_file_name);
  append_fact(page, "Sample rate fs", number_text(config.sample_rate) + " Hz");
  append_fact(page, "Start time", number_text(config.start_time),
              config.start_time > 0.0 ? "earlier records skipped" : "from the first record");
  append_fact(page, "End time", number_text(config.end_time),
              config.end_time > 0.0 ? "the input ends after it" : "to the end of the data file");
  append_fact(page, "Block length", std::to_string(config.block_seconds) + " s",
              run.sizes ? samples("N", sizes.block_samples) : "");
  append_fact(page, "Running-mean window", std::to_string(config.window_seconds) + " s",
              run.sizes ? samples("W", sizes.window_samples) : "");
  append_fact(page, "Temperature column", std::to_string(config.temperature_select),
              config.temperature_select == 1 ? "data column 6, first channel"
                                             : "data column 7, second channel");
  append_fact(
      page, "Vertical velocity column", std::to_string(config.w_select),
      config.w_select == 1 ? "data column 5, second channel" : "data column 4, first channel");
  page += "</table></div>\n";
}

void append_counts(std::string& page, const RunModel& run) {
  const auto blocks = static_cast<std::int64_t>(run.blocks.blocks.size());
  // The unit judged from the blocks' mean times, where the clock has one.
  const TimeUnit* time_unit =
      run.clock && run.clock->time_unit() ? &*run.clock->time_unit() : nullptr;
  page += "<div class=\"card\"><h2>The run</h2>\n<table class=\"facts\">\n";
  append_fact(page, "Complete blocks", input::with_thousands(blocks));
  if (run.sizes) {
    append_fact(page, "Samples in them", input::with_thousands(blocks * run.sizes->block_samples),
                "N per block");
    append_fact(page, "Duration of the blocks",
                number_text(static_cast<double>(blocks) * run.sizes->duration()) + " s",
                "N / fs per block");
  }
  append_fact(page, "Window lengths",
              input::with_thousands(static_cast<std::int64_t>(run.windows.window_lengths)));
  append_fact(page, "Times of the data file",
              time_unit ? std::string(time_unit->name) : "unit not known",
              time_unit ? "judged from the spacing of the blocks' mean times" : "");
  append_fact(page, "Blocks from", run.blocks.file_label);
  page += "</table></div>\n";
}

// The chart's drawing without its notes, which follow it as text of the
// page, and without the XML declaration, which has no place inside a page.
void append_plot(std::string& page, const Chart& chart) {
  page += "<figure>\n" + render_svg(chart, SvgForm::in_page);
  if (!chart.notes.empty()) {
    page += "<ul class=\"notes\">\n";
    for (const auto& note : chart.notes) page += "<li>" + escape_xml(note) + "</li>\n";
    page += "</ul>\n";
  }
  page += "</figure>\n";
}

// What the table of blocks lays out at most, so that the page of any file
// is one a browser opens. A run's files hold 20 or 28 columns; a year of
// quarter-hour blocks is 35,040 rows, shown whole.
constexpr std::size_t table_column_limit = 100;
constexpr std::size_t table_row_limit = 100'000;
constexpr std::size_t table_cell_limit = 3'000'000;

// The part of the table that is shown: its first rows and columns.
struct TableCut {
  std::size_t rows;
  std::size_t columns;
};

TableCut table_cut(const BlockTable& table) {
  const std::size_t columns = std::min(table.columns.size(), table_column_limit);
  const std::size_t rows = std::min({table.records.size(), table_row_limit,
                                     table_cell_limit / std::max<std::size_t>(columns, 1)});
  return {rows, columns};
}

// "the first 100 of 200,000 columns", or nothing when all are shown.
std::string first_of(std::size_t shown, std::size_t all, std::string_view what) {
  if (shown == all) return {};
  return "the first " + input::with_thousands(static_cast<std::int64_t>(shown)) + " of " +
         input::with_thousands(static_cast<std::int64_t>(all)) + " " + std::string(what);
}

void append_block_table(std::string& page, const BlockTable& table) {
  const TableCut cut = table_cut(table);
  page += "<section><h2>Blocks</h2>\n<p class=\"intro\">One row per complete block, from " +
          escape_xml(table.file_label) +
          (table.csv ? " (shown to eight significant digits; the file holds every value in full)."
                     : ", as written: asterisks stand for a value too wide for its field.");
  const std::string rows = first_of(cut.rows, table.records.size(), "blocks");
  const std::string columns = first_of(cut.columns, table.columns.size(), "columns");
  if (!rows.empty() || !columns.empty()) {
    page += " The table shows " + rows + (!rows.empty() && !columns.empty() ? " and " : "") +
            columns + "; " + escape_xml(table.file_label) + " holds them all.";
  }
  page += "</p>\n<div class=\"scroll\"><table class=\"blocks\" id=\"blocks\">\n<thead><tr>";
  for (std::size_t c = 0; c < cut.columns; ++c) page += header_cell(table.columns[c]);
  page += "</tr></thead>\n<tbody>\n";
  for (std::size_t b = 0; b < cut.rows; ++b) {
    page += "<tr>";
    for (const auto text : table.cells(b, cut.columns))
      page += table.csv ? csv_cell(text) : fixed_cell(text);
    page += "</tr>\n";
  }
  page += "</tbody></table></div></section>\n";
}

}  // namespace

std::string report_page(const RunModel& run, const std::string& run_folder,
                        const std::vector<Chart>& charts) {
  std::string page =
      "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n<head>\n"
      "<meta charset=\"utf-8\"/>\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"/>\n"
      "<title>Heat-flux run " +
      escape_xml(run_folder) + "</title>\n<style>" + std::string(style) +
      "</style>\n</head>\n<body>\n<main>\n<header><h1>Heat-flux run</h1>\n<p class=\"folder\">" +
      escape_xml(run_folder) + "</p>\n<p class=\"sources\">Drawn from";
  for (std::size_t i = 0; i < run.files_read.size(); ++i)
    page += (i == 0 ? " " : ", ") + escape_xml(run.files_read[i]);
  page += ".</p></header>\n<div class=\"cards\">\n";
  append_configuration(page, run);
  append_counts(page, run);
  page += "</div>\n<section><h2>Plots</h2>\n";
  for (const Chart& chart : charts) append_plot(page, chart);
  page += "</section>\n";
  append_block_table(page, run.blocks);
  page +=
      "<footer>Written by ecflux-plot " ECFLUX_VERSION ".</footer>\n</main>\n</body>\n</html>\n";
  return page;
}

}  // namespace ecflux::plot
