#include "plot/report_page.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "input/data_warnings.h"
#include "plot/notes.h"
#include "plot/page_table.h"
#include "plot/svg.h"
#include "report/output_files.h"

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
table.blocks tbody tr.flag-1 { background: #fff1dc; }
table.blocks tbody tr.flag-2 { background: #fbe0ea; }
table.blocks tbody tr.flag-1 td:first-child { box-shadow: inset 4px 0 #ff7f0e; }
table.blocks tbody tr.flag-2 td:first-child { box-shadow: inset 4px 0 #c51b7d; }
td.flag { font-weight: bold; }
.advice p { margin: 0 0 8px; max-width: 900px; }
.advice code, .hint code { font-family: "DejaVu Sans Mono", monospace; font-size: 12.5px; }
.hint { color: #4b5563; max-width: 900px; margin: 0 auto 10px; }
table.warnings { border-collapse: collapse; font-size: 13px; }
table.warnings th { text-align: left; background: #e9edf2; padding: 4px 8px; }
table.warnings td { padding: 4px 8px; border-bottom: 1px solid #eef0f3; vertical-align: top; }
table.warnings td.count { text-align: right; font-variant-numeric: tabular-nums; }
.none { color: #4b5563; margin: 0; }
footer { color: #6b7280; font-size: 12px; text-align: center; }
)";

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
  append_fact(
      page, "Temperature column", std::to_string(config.temperature_select),
      "data column " + std::to_string(input::temperature_column(config.temperature_select)));
  append_fact(page, "Vertical velocity column", std::to_string(config.w_select),
              "data column " + std::to_string(input::w_column(config.w_select)));
  page += "</table></div>\n";
}

// "2 good, 1 use with care, 0 do not use", or nothing where no block has
// a flag.
std::string flag_counts(const BlockTable& table) {
  std::int64_t counts[3] = {0, 0, 0};
  bool any = false;
  for (const BlockValues& block : table.blocks) {
    if (block.flag < 0 || block.flag > 2) continue;
    ++counts[block.flag];
    any = true;
  }
  if (!any) return {};
  return input::with_thousands(counts[0]) + " " + flag_words(0) + ", " +
         input::with_thousands(counts[1]) + " " + flag_words(1) + ", " +
         input::with_thousands(counts[2]) + " " + flag_words(2);
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
  if (run.record && !run.record->data.time_unit.empty()) {
    append_fact(page, "Times of the data file", run.record->data.time_unit,
                "as the run judged them from the sample spacing");
  } else {
    append_fact(page, "Times of the data file",
                time_unit ? std::string(time_unit->name) : "unit not known",
                time_unit ? "judged from the spacing of the blocks' mean times" : "");
  }
  if (const std::string flags = flag_counts(run.blocks); !flags.empty())
    append_fact(page, "Quality flags", flags);
  append_fact(page, "Blocks from", run.blocks.file_label);
  page += "</table></div>\n";
}

std::string yes_no(bool value) { return value ? "yes" : "no"; }

// The options of the run as run.json records them.
void append_options(std::string& page, const RunRecordFacts& record) {
  const report::RecordedQuality& quality = record.quality;
  page += "<div class=\"card\"><h2>Options of the run</h2>\n<table class=\"facts\">\n";
  append_fact(page, "Program", "ecflux " + record.version);
  append_fact(page, "CSV files (--csv)", yes_no(record.csv));
  append_fact(page, "Warnings fail the run (--strict)", yes_no(record.strict));
  append_fact(page, "Waits for the disk (--durable)", yes_no(record.durable));
  append_fact(page, "Despiking (--despike)", yes_no(quality.despike));
  std::string fills;
  for (const double value : quality.fill_values)
    fills += (fills.empty() ? "" : ", ") + number_text(value);
  append_fact(page, "Missing values (--missing)",
              quality.missing ? "fill values " + (fills.empty() ? "none" : fills) : "no",
              quality.missing ? "at most " + number_text(quality.missing_allowance_percent) +
                                    " % of a block filled"
                              : "");
  append_fact(page, "Tilt correction (--rotate)", quality.rotation);
  if (quality.plane) {
    const report::RecordedQuality::Plane& plane = *quality.plane;
    append_fact(
        page, "Plane of the planar fit",
        "w = " + number_text(plane.offset_m_s) + " m/s + " + number_text(plane.slope_u) + " u + " +
            number_text(plane.slope_v) + " v",
        "pitch " + number_text(plane.pitch_deg) + "°, roll " + number_text(plane.roll_deg) + "°");
  }
  append_fact(page, "Random error (--uncertainty)", yes_no(quality.uncertainty));
  append_fact(page, "Spectra (--spectra)", yes_no(quality.spectra));
  append_fact(
      page, "Medium",
      number_text(quality.density) + " kg/m³ × " + number_text(quality.heat_capacity) + " J/(kg K)",
      "density × specific heat");
  page += "</table></div>\n";
}

// The data file as run.json identifies it.
void append_data_file(std::string& page, const RunRecordFacts& record) {
  const report::RecordedData& data = record.data;
  page += "<div class=\"card\"><h2>Data file</h2>\n<table class=\"facts\">\n";
  append_fact(page, "Path", data.path);
  if (data.size_bytes)
    append_fact(page, "Size",
                input::with_thousands(static_cast<std::int64_t>(*data.size_bytes)) + " bytes");
  if (data.modified_utc) append_fact(page, "Modified", *data.modified_utc);
  append_fact(page, "Hash (XXH3-64)", data.xxh3_64.value_or("none"),
              data.hash_of_whole_file
                  ? "of the whole file"
                  : "of its first " +
                        input::with_thousands(static_cast<std::int64_t>(data.bytes_hashed)) +
                        " bytes");
  append_fact(page, "Lines read", input::with_thousands(data.lines_read),
              input::with_thousands(data.records_read) + " records");
  if (data.first_time && data.last_time)
    append_fact(page, "First and last time",
                number_text(*data.first_time) + " and " + number_text(*data.last_time));
  page += "</table></div>\n";
}

// Where run.json is not: what the page cannot tell, and why.
void append_no_record(std::string& page, const RunModel& run) {
  page +=
      "<div class=\"card\"><h2>Record of the run</h2>\n<p class=\"none\">" +
      escape_xml(run.record_absence) +
      " The options of the run, its warnings and the data file's hash are not known.</p></div>\n";
}

// What a scientist reports of a run, in the words of the README's paragraph
// of the same name.
constexpr std::string_view which_flux = R"(<section class="advice"><h2>Which flux to report</h2>
<p>The usual choice is the delay-corrected flux of FLUX-L (<code>flux_linear_delay_corrected_W_m2</code> of <code>blocks.csv</code>, the thick line of the block plot): the flux about the least-squares lines at the delay of 0 to 2 s where the covariance of w and temperature is largest in magnitude (covariance maximisation), which corrects for sensors that sit apart or answer at different speeds. Prefer it where its delay stays about the same from block to block; where the delay wanders, the peak is noise, and FLUX-L at zero delay is the better estimate. FLUX-R leaves out motions slower than the running-mean window: where the window plot shows the flux levelled off at the run's window, it holds the same turbulent flux.</p>
<p>A delay at the edge of the search (<code>delay_linear_at_edge</code> 1, about −2 s) is suspect: the covariance may peak beyond the delays searched, or not at all. Such blocks are flagged 1.</p>
<p>Report blocks of quality flag 0; look at those flagged 1 (use with care) before using them, and leave out those flagged 2 (do not use). Flagged blocks are marked in the plot and the table.</p>
<p>The band from RUNMIN to RUNMAX is the spread of the flux over the delays searched: how much the flux depends on the delay. It is not an uncertainty of the flux. The random error of a block's flux, where <code>ecflux --uncertainty</code> computed it, is one standard deviation of its covariance from the block's own turbulence, drawn as error bars.</p>
</section>
)";

// Every warning of the run, as run.json records it; at most a bounded
// number, which a run of any length stays far below.
void append_warnings(std::string& page, const RunModel& run) {
  constexpr std::size_t shown_limit = 10'000;
  page += "<section><h2>Warnings</h2>\n";
  if (!run.record) {
    page += "<p class=\"none\">Not known: " + escape_xml(run.record_absence) + "</p></section>\n";
    return;
  }
  const std::vector<RecordedWarning>& warnings = run.record->warnings;
  if (warnings.empty()) {
    page += "<p class=\"none\">None: the run gave no warning.</p></section>\n";
    return;
  }
  page +=
      "<table class=\"warnings\" id=\"warnings\">\n<thead><tr><th>kind</th><th>line</th>"
      "<th>count</th><th>warning</th></tr></thead>\n<tbody>\n";
  for (std::size_t i = 0; i < std::min(warnings.size(), shown_limit); ++i) {
    const RecordedWarning& warning = warnings[i];
    page += "<tr><td>" + escape_xml(warning.kind) + "</td><td class=\"count\">" +
            (warning.line > 0 ? input::with_thousands(warning.line) : "–") +
            "</td><td class=\"count\">" + input::with_thousands(warning.count) + "</td><td>" +
            escape_xml(warning.text) + "</td></tr>\n";
  }
  page += "</tbody></table>\n";
  if (warnings.size() > shown_limit) {
    page += "<p class=\"none\">The first " +
            input::with_thousands(static_cast<std::int64_t>(shown_limit)) + " of " +
            input::with_thousands(static_cast<std::int64_t>(warnings.size())) +
            " warnings; run.json holds them all.</p>\n";
  }
  page += "</section>\n";
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

// How to get the plot of the cospectra, where the run has none.
void append_spectra_hint(std::string& page) {
  page += "<p class=\"hint\">The cospectra and ogives of the blocks (" +
          std::string(report::output_file(report::OutputRole::cospectra_plot).fixed_name) +
          ") are drawn from " +
          std::string(report::output_file(report::OutputRole::cospectra_csv).fixed_name) +
          ", which this run did not write: run <code>ecflux --spectra</code> (or "
          "<code>--qc</code>) and ecflux-plot again to get them.</p>\n";
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
  if (run.record) {
    append_options(page, *run.record);
    append_data_file(page, *run.record);
  } else {
    append_no_record(page, run);
  }
  page += "</div>\n";
  page += which_flux;
  append_warnings(page, run);
  page += "<section><h2>Plots</h2>\n";
  for (const Chart& chart : charts) append_plot(page, chart);
  if (!run.spectra) append_spectra_hint(page);
  page += "</section>\n";
  append_block_table(page, run.blocks);
  page +=
      "<footer>Written by ecflux-plot " ECFLUX_VERSION ".</footer>\n</main>\n</body>\n</html>\n";
  return page;
}

}  // namespace ecflux::plot
