// What ecflux-plot lays out, and how it ends, whatever the files hold: series
// with too many points to draw one by one, records cut short, files of a
// size or width no run writes, and tight limits of memory.

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <set>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "plot/chart.h"
#include "plot/fit.h"
#include "plot/report_page.h"
#include "plot/svg.h"
#include "plot/window_plot.h"
#include "plot/window_reading.h"
#include "report/output_files.h"
#include "tests/plot/plot_reading.h"
#include "tests/plot/plot_runs.h"
#include "tests/support/test_support.h"
#include "textio/line_reader.h"

namespace ecflux::plot {
namespace {

using testing::ProcessOptions;
using testing::ProcessResult;
using testing::TempFolder;

const std::vector<std::string> output_names = {"flux_by_block.svg", "cumulative_flux.svg",
                                               "flux_by_window.svg", "report.html"};

std::vector<std::pair<double, double>> points_of(const Line& line) {
  std::vector<std::pair<double, double>> points;
  for (const auto& segment : line.points.segments)
    for (const Point& point : segment) points.emplace_back(point.x, point.y);
  return points;
}

std::string all_notes(const Chart& chart) {
  std::string text;
  for (const auto& note : chart.notes) text += note + "\n";
  return text;
}

// The smallest and largest x and lower and upper value of a line or band.
template <class Series>
std::vector<double> extent(const Series& series) {
  std::vector<double> range = {1e300, -1e300, 1e300, -1e300};
  for (const auto& segment : series.points.segments) {
    for (const auto& point : segment) {
      if constexpr (std::is_same_v<Series, Band>) {
        range = {std::min(range[0], point.x), std::max(range[1], point.x),
                 std::min(range[2], point.low), std::max(range[3], point.high)};
      } else {
        range = {std::min(range[0], point.x), std::max(range[1], point.x),
                 std::min(range[2], point.y), std::max(range[3], point.y)};
      }
    }
  }
  return range;
}

// Every kept point is one of the line's, and its range is the whole line's,
// so that the axes stay those of all its points.
void expect_extremes_of(const Line& fitted, const Line& whole) {
  const auto all = points_of(whole);
  const std::set<std::pair<double, double>> allowed(all.begin(), all.end());
  for (const auto& point : points_of(fitted)) EXPECT_TRUE(allowed.count(point)) << whole.label;
  EXPECT_EQ(extent(fitted), extent(whole)) << whole.label;
}

TEST(DrawingBounds, SeriesTooManyToDrawOneByOneAreDrawnByPixelColumnKeepingTheirRange) {
  Line broken{"broken", "#000000", Marker::dot, {}};       // a piece for every value
  Line scribble{"scribble", "#111111", Marker::none, {}};  // x back and forth
  Line gappy{"gappy", "#222222", Marker::none, {}};        // many pieces, but fewer than the limit
  Line plain{"plain", "#333333", Marker::dot, {}};
  Band band{"band", "#444444", {}};
  for (int i = 0; i < 100'000; ++i) {
    const double x = i;
    broken.points.add({x, std::sin(i * 0.01) + (i % 7919 == 0 ? 50.0 : 0.0)});
    broken.points.gap();
    scribble.points.add({i % 2 == 0 ? x : 99'999 - x, std::cos(i * 0.1)});
    band.points.add({i % 2 == 0 ? x : 99'999 - x, -1.0 - i % 3, 1.0 + i % 5});
  }
  for (int i = 0; i < 15'000; ++i) {
    gappy.points.add({i * 6.0, static_cast<double>(i % 4)});
    gappy.points.gap();
  }
  for (int i = 0; i < 1'000; ++i) plain.points.add({i * 100.0, static_cast<double>(i % 10)});
  Chart chart;
  chart.lines = {broken, scribble, gappy, plain};
  chart.bands = {band};
  fit_to_drawing(chart);

  for (std::size_t i = 0; i < 2; ++i) {
    const Line& fitted = chart.lines[i];
    EXPECT_EQ(fitted.points.segments.size(), 1u) << fitted.label;
    EXPECT_LE(fitted.points.point_count(), drawn_point_limit) << fitted.label;
    EXPECT_EQ(fitted.marker, Marker::none) << fitted.label;
  }
  expect_extremes_of(chart.lines[0], broken);
  expect_extremes_of(chart.lines[1], scribble);
  EXPECT_EQ(points_of(chart.lines[2]), points_of(gappy));
  EXPECT_EQ(chart.lines[2].points.segments.size(), 15'000u);
  EXPECT_EQ(points_of(chart.lines[3]), points_of(plain));
  EXPECT_EQ(chart.lines[3].marker, Marker::dot);

  const Band& fitted_band = chart.bands[0];
  ASSERT_EQ(fitted_band.points.segments.size(), 1u);
  EXPECT_LE(fitted_band.points.point_count(), drawn_point_limit);
  EXPECT_EQ(extent(fitted_band), extent(band));

  EXPECT_EQ(all_notes(chart),
            "band: 100,000 values in 1 piece, drawn as their range in each pixel column.\n"
            "broken: 100,000 values in 100,000 pieces, drawn as their range in each pixel "
            "column.\n"
            "scribble: 100,000 values in 1 piece, drawn as their range in each pixel column.\n");
  const std::string svg = render_svg(chart);
  EXPECT_LT(svg.size(), 1024u * 1024u);
  const testing::PlotReading reading(svg);
  EXPECT_TRUE(reading.has_axes());

  // Marks that are not joined (flagged blocks) stay marks once fitted: a
  // line through them would join what is apart.
  Line marks{"marks", "#555555", Marker::cross, {}, {"", 2, false}};
  for (int i = 0; i < 100'000; ++i) marks.points.add({i * 1.0, static_cast<double>(i % 13)});
  Chart marked;
  marked.lines = {marks};
  fit_to_drawing(marked);
  expect_extremes_of(marked.lines[0], marks);
  EXPECT_EQ(marked.lines[0].marker, Marker::cross);
  EXPECT_EQ(render_svg(marked).find("<polyline"), std::string::npos);
}

// A window-flux table whose first record has six blocks.
constexpr std::string_view six_blocks =
    "      FREQ  29.9500  89.9500 149.9500 209.9500 269.9500 329.9500\r\n";

TEST(WindowChart, RecordsCutShortCountTheBlocksTheyDoNotReachAsMissing) {
  const std::string text = std::string(six_blocks) +
                           "  5.000000   1.0000   2.0000   3.0000   4.0000   5.0000   6.0000\r\n"
                           "  2.500000   1.5000   2.5000\r\n"
                           "  1.666667   1.2500   2.2500   3.2\r\n";
  auto reader = textio::LineReader::from_text(text, 40, "Cospectra.out");
  auto fluxes = read_window_table(reader, "Cospectra.out", {});
  ASSERT_TRUE(fluxes.ok());
  const Chart c = window_flux_chart(fluxes.value(), std::nullopt);
  ASSERT_EQ(c.lines.size(), 6u);
  EXPECT_EQ(c.lines[0].points.point_count(), 3u);
  EXPECT_EQ(c.lines[0].points.segments.size(), 1u);
  EXPECT_EQ(c.lines[2].points.point_count(), 2u);  // the field cut short is a number still
  EXPECT_EQ(c.lines[5].points.point_count(), 1u);
  EXPECT_EQ(all_notes(c), "Not plotted from Cospectra.out: 7 flux values not a number.\n");
}

TEST(ReportPage, TableOfMoreBlocksThanItShowsSaysWhereItCuts) {
  RunModel run;
  run.blocks.file_label = "results.out";
  for (int c = 0; c < 20; ++c) run.blocks.columns.push_back({"C" + std::to_string(c), "", ""});
  run.blocks.blocks.resize(100'003);
  run.blocks.records.assign(100'003, "      0.0083");
  const std::string page = report_page(run, "/data/run", {});
  EXPECT_NE(page.find(" The table shows the first 100,000 of 100,003 blocks; results.out holds "
                      "them all.</p>"),
            std::string::npos);
  const auto body = page.substr(page.find("<tbody>"));
  std::size_t rows = 0;
  for (auto at = body.find("<tr>"); at != std::string::npos; at = body.find("<tr>", at + 1)) ++rows;
  EXPECT_EQ(rows, 100'000u);
}

// A run of the bundled example with its outputs, in a folder of its own.
struct ExampleRun {
  TempFolder folder;
  explicit ExampleRun(bool csv) { testing::finish_example_run(folder, nullptr, csv); }
};

// ecflux-plot within a minute; where the build allows it, within 2 GB of
// address space, so that a page built without bound ends it rather than the
// machine's memory.
ProcessResult run_plot_bounded(const TempFolder& folder) {
  ProcessOptions options;
  options.limit = std::chrono::seconds(60);
  if (!testing::address_sanitizer)
    options.resource_limits.push_back({RLIMIT_AS, 2048ul * 1024 * 1024});
  return testing::run_program(ECFLUX_PLOT_PROGRAM, folder.path(), options);
}

TEST(DamagedRun, CospectraWithAFirstRecordFarLongerThanTheRestIsReadInOnePass) {
  const ExampleRun run(false);
  constexpr std::size_t blocks = 220'000, rows = 400'000;
  std::string text = "      FREQ";
  for (std::size_t b = 0; b < blocks; ++b) text += "   0.0083";
  text += "\r\n";
  char row[32];
  for (std::size_t r = 0; r < rows; ++r) {
    std::snprintf(row, sizeof row, "%10.6f   0.0107\r\n", 5.0 / static_cast<double>(r + 1));
    text += row;
  }
  run.folder.write("Cospectra.out", text);
  const ProcessResult plot = run_plot_bounded(run.folder);
  ASSERT_FALSE(plot.timed_out);
  ASSERT_EQ(plot.exit_status, 0) << plot.standard_error;
  const std::string page = run.folder.read("report.html");
  EXPECT_NE(page.find("Not plotted from Cospectra.out: 87999600000 flux values not a number."),
            std::string::npos);
  EXPECT_NE(page.find("Lines: 10 of the 220000 blocks"), std::string::npos);
  EXPECT_NO_THROW(testing::PlotReading(run.folder.read("flux_by_window.svg")));
}

TEST(DamagedRun, BlocksCsvOfTwoHundredThousandColumnsGivesATableThatSaysItCuts) {
  const ExampleRun run(true);
  const auto records = testing::split_records(run.folder.read("blocks.csv"));
  std::string text = records[0];
  const auto named = static_cast<std::size_t>(std::count(text.begin(), text.end(), ',')) + 1;
  for (std::size_t c = named; c < 200'000; ++c) text += ",extra_" + std::to_string(c);
  text += "\r\n";
  for (std::size_t r = 1; r < records.size(); ++r) text += records[r] + "\r\n";
  for (int r = 0; r < 2'000; ++r) text += std::to_string(r + 4) + ",1,600,600\r\n";
  run.folder.write("blocks.csv", text);
  const ProcessResult plot = run_plot_bounded(run.folder);
  ASSERT_FALSE(plot.timed_out);
  ASSERT_EQ(plot.exit_status, 0) << plot.standard_error;
  const std::string page = run.folder.read("report.html");
  EXPECT_NE(page.find(" The table shows the first 100 of 200,000 columns; blocks.csv holds them "
                      "all.</p>"),
            std::string::npos);
  pugi::xml_document document;
  ASSERT_TRUE(document.load_string(page.c_str()));
  EXPECT_EQ(document.select_nodes("//table[@id='blocks']/thead/tr/th").size(), 100u);
  const auto rows = document.select_nodes("//table[@id='blocks']/tbody/tr");
  ASSERT_EQ(rows.size(), 2'003u);
  EXPECT_EQ(rows[2'002].node().select_nodes("td").size(), 100u);
}

// run.json and cospectra.csv that no run writes: the record is not used and
// the page says so, the spectra are drawn of what there is.
TEST(DamagedRun, RecordAndSpectraOfNoRunGiveAPageThatSaysSoAndAPlotOfWhatThereIs) {
  TempFolder folder;
  testing::finish_example_run_with(folder, {"--spectra"});
  folder.write("run.json", std::string("{\"blocks\": [[[[\0\xff", 12));
  std::string spectra = std::string(report::cospectra_csv_header) + "\r\n";
  for (int r = 0; r < 50'000; ++r) {
    spectra += std::to_string(r % 5 - 1) + "," + (r % 7 == 0 ? "nan" : std::to_string(r + 1)) +
               ",1," + (r % 3 == 0 ? "1e308" : "-1e-300") + ",<b>&amp;\r\n";
  }
  folder.write("cospectra.csv", spectra);
  const ProcessResult plot = run_plot_bounded(folder);
  ASSERT_FALSE(plot.timed_out);
  ASSERT_EQ(plot.exit_status, 0) << plot.standard_error;
  EXPECT_NO_THROW(testing::PlotReading(folder.read("cospectra.svg")));
  const std::string page = folder.read("report.html");
  pugi::xml_document document;
  ASSERT_TRUE(document.load_string(page.c_str()));
  EXPECT_NE(page.find("run.json holds no record of a run"), std::string::npos);
}

// Under every limit of address space the program either draws what it draws
// without one, or ends with status 1 and one line naming what it was doing,
// and leaves the plots of an earlier run as they were.
TEST(PlotLimits, AddressSpaceFromSevenToFortyMegabytesEndsWithThePlotsOrOneLine) {
  if (testing::address_sanitizer) GTEST_SKIP() << "AddressSanitizer needs more address space";
  for (const bool csv : {false, true}) {
    const ExampleRun run(csv);
    ASSERT_EQ(testing::run_plot(run.folder).exit_status, 0);
    std::vector<std::string> unlimited;
    for (const auto& name : output_names) unlimited.push_back(run.folder.read(name));
    int drawn = 0, ended = 0;
    for (unsigned long kilobytes = 7 * 1024; kilobytes <= 40 * 1024; kilobytes += 512) {
      const std::string what =
          (csv ? "csv run, ulimit -v " : "ulimit -v ") + std::to_string(kilobytes);
      for (const auto& name : output_names) run.folder.write(name, "earlier " + name);
      ProcessOptions options;
      options.limit = std::chrono::seconds(60);
      options.resource_limits.push_back({RLIMIT_AS, kilobytes * 1024});
      const ProcessResult plot =
          testing::run_program(ECFLUX_PLOT_PROGRAM, run.folder.path(), options);
      ASSERT_EQ(plot.signal, 0) << what << ": " << plot.standard_error;
      ASSERT_FALSE(plot.timed_out) << what;
      if (plot.exit_status == 0) {
        EXPECT_EQ(plot.standard_error, "") << what;
        for (std::size_t i = 0; i < output_names.size(); ++i)
          EXPECT_TRUE(run.folder.read(output_names[i]) == unlimited[i]) << what;
        ++drawn;
        continue;
      }
      ++ended;
      EXPECT_EQ(plot.exit_status, 1) << what;
      EXPECT_EQ(plot.standard_error.rfind("ecflux-plot: out of memory while ", 0), 0u)
          << what << ": " << plot.standard_error;
      EXPECT_EQ(std::count(plot.standard_error.begin(), plot.standard_error.end(), '\n'), 1)
          << what << ": " << plot.standard_error;
      EXPECT_EQ(plot.standard_output, "") << what;
      for (const auto& name : output_names)
        EXPECT_EQ(run.folder.read(name), "earlier " + name) << what;
    }
    // The limits reach from too little for the smallest run to enough.
    EXPECT_GT(drawn, 0);
    EXPECT_GT(ended, 0);
  }
}

}  // namespace
}  // namespace ecflux::plot
