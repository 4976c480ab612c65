// The three charts made from output records held in memory: which values
// become points, which are left out and how the notes count them.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "plot/block_plot.h"
#include "plot/cumulative_plot.h"
#include "plot/window_plot.h"
#include "textio/line_reader.h"

namespace ecflux::plot {
namespace {

using textio::LineReader;

const std::string results_header =
    "        TIME   X-VEL   Y-VEL   Z-VEL   Z-STD     MAG MAG-STD   DIR      T(K) T-STD   "
    "FLUX-L   FLUX-R   LINMIN   RUNMIN   LINMAX   RUNMAX    SLMIN SRMIN SLMAX SRMAX\r\n";

// A results row with the given TIME and flux fields (8 columns each) in
// their columns.
std::string results_row(const std::string& time, const std::string& flux_l,
                        const std::string& flux_r, const std::string& run_min,
                        const std::string& run_max) {
  return time + "  12.036  -2.955   0.399   1.027  12.393   1.438 166.2 277.359   0.005 " + flux_l +
         " " + flux_r + "  -164.28 " + run_min + "   -45.13 " + run_max +
         "    -0.30 -0.30 -2.00 -2.00\r\n";
}

std::string all_notes(const Chart& chart) {
  std::string text;
  for (const auto& note : chart.notes) text += note + "\n";
  return text;
}

// The cumulative plot of the texts of cumflux.out and CFSHIFT.out, their rows
// placed by `clock` where it is given.
Chart cumulative_chart(const std::string& plain, const std::string& shifted,
                       const SampleClock* clock = nullptr) {
  auto plain_file = LineReader::from_text(plain, 43, "cumflux.out");
  auto shifted_file = LineReader::from_text(shifted, 889, "CFSHIFT.out");
  auto plain_series = read_cumulative(plain_file, "cumflux.out", clock, false);
  auto shifted_series = read_cumulative(shifted_file, "CFSHIFT.out", clock, true);
  if (!plain_series.ok() || !shifted_series.ok()) {
    ADD_FAILURE() << "a series was not read";
    return {};
  }
  return cumulative_flux_chart(plain_series.value(), shifted_series.value(), clock);
}

// The window plot of the text of Cospectra.out.
Chart window_chart(const std::string& text, std::optional<RunWindow> run_window,
                   const std::vector<std::string>& results_times = {},
                   std::size_t line_limit = default_line_limit) {
  auto file = LineReader::from_text(text, 40, "Cospectra.out");
  auto fluxes = read_window_table(file, "Cospectra.out", results_times, {}, line_limit);
  if (!fluxes.ok()) {
    ADD_FAILURE() << fluxes.failure().message();
    return {};
  }
  return window_flux_chart(fluxes.value(), run_window);
}

TEST(BlockChart, FieldsThatHoldNoNumberBreakTheirLineAndAreCounted) {
  const std::string text =
      results_header + results_row("     29.9500", " -115.55", " -120.48", " -169.75", "  -46.12") +
      results_row("************", " -112.12", "  -91.93", " -146.54", "  -25.45") +
      results_row("    149.9500", "     NaN", " -117.61", "********", "    8.92") +
      results_row("    209.9500", "  -99.00", " -100.00", " -150.00", "  -20.00") +
      "    269.9500  12.036\r\n";  // a record cut short
  auto reader = LineReader::from_text(text, 9, "results.out");
  auto table = read_results_table(reader, "results.out");
  ASSERT_TRUE(table.ok());
  std::vector<std::string> times;
  for (const auto& block : table.value().blocks) times.push_back(block.time_label);
  EXPECT_EQ(times, (std::vector<std::string>{"29.9500", "", "149.9500", "209.9500", "269.9500"}));
  const std::optional<Chart> chart = block_flux_chart(table.value());
  const Line& flux_l = chart.value().lines[0];
  const Line& flux_r = chart.value().lines[1];
  const Band& delays = chart.value().bands[0];
  // FLUX-L: block 1 alone (the row after it has no time), then block 4.
  ASSERT_EQ(flux_l.points.point_count(), 2u);
  EXPECT_EQ(flux_l.points.segments.front().size(), 1u);
  EXPECT_DOUBLE_EQ(flux_l.points.segments.back().back().x, 209.95);
  EXPECT_DOUBLE_EQ(flux_l.points.segments.back().back().y, -99.0);
  EXPECT_EQ(flux_r.points.point_count(), 3u);
  EXPECT_EQ(delays.points.point_count(), 2u);
  EXPECT_DOUBLE_EQ(delays.points.segments.front().front().low, -169.75);
  EXPECT_DOUBLE_EQ(delays.points.segments.front().front().high, -46.12);

  const std::string notes = all_notes(chart.value());
  EXPECT_NE(notes.find("1 TIME value written as asterisks (its row is left out)"),
            std::string::npos)
      << notes;
  EXPECT_NE(notes.find("2 FLUX-L values not a number"), std::string::npos) << notes;
  EXPECT_NE(notes.find("1 RUNMIN value written as asterisks"), std::string::npos) << notes;
  EXPECT_NE(notes.find("too wide for its field"), std::string::npos) << notes;
}

std::string series_text(int rows, double first_time, double step, int spike_row) {
  std::string text = "         TIME      CUMFLUX        COVAR       ZPRIME      O2PRIME\r\n";
  char line[80];
  for (int i = 0; i < rows; ++i) {
    const double time = first_time + i * step;
    const double total = i == spike_row ? 5.0 : 0.001 * (i % 100);
    std::snprintf(line, sizeof line, " %12.8f %12.8f   0.00000054   0.00339490   0.00015788\r\n",
                  time, total);
    std::string record = line;
    // Times of 1000 and more do not fit F12.8.
    if (time >= 1000.0) record = " ************" + record.substr(record.size() - 54);
    text += record;
  }
  return text;
}

TEST(CumulativeChart, RowsWithoutATimeAreLeftOutAndLongSeriesAreThinnedKeepingSpikes) {
  // A second of 16 Hz rows around t = 1000: the later ones have asterisk
  // times; and a long series with one spike.
  const Chart chart = cumulative_chart(series_text(32, 999.0, 1.0 / 16, -1),
                                       series_text(300000, 0.0, 0.001, 123457));
  const Line& plain = chart.lines[0];
  EXPECT_EQ(plain.points.point_count(), 16u);
  EXPECT_LT(plain.points.segments.back().back().x, 1000.0);
  const std::string notes = all_notes(chart);
  EXPECT_NE(
      notes.find("cumflux.out: 16 TIME values written as asterisks (their rows are left out)"),
      std::string::npos)
      << notes;
  EXPECT_EQ(notes.find("CFSHIFT.out"), std::string::npos) << notes;

  const Line& shifted = chart.lines[1];
  EXPECT_LE(shifted.points.point_count(), 2000u);
  EXPECT_GE(shifted.points.point_count(), 500u);
  double highest = 0.0, last_x = -1.0;
  for (const auto& segment : shifted.points.segments) {
    for (const auto& point : segment) {
      highest = std::max(highest, point.y);
      EXPECT_GT(point.x, last_x);  // in the order of the file
      last_x = point.x;
    }
  }
  EXPECT_DOUBLE_EQ(highest, 5.0);
  EXPECT_DOUBLE_EQ(shifted.points.segments.front().front().x, 0.0);
  EXPECT_NEAR(last_x, 299.999, 1e-9);
}

TEST(SampleClock, RowsArePlacedByTheirBlockAndTheirSampleInIt) {
  const input::BlockSizes sizes{4, 2, 2.0};  // N = 4 samples of 0.5 s: blocks of 2 s
  // Mean times in hours, with a gap of one block before the fourth.
  const double second = 1.0 / 3600;
  const std::vector<double> times = {1.0 + 0.75 * second, 1.0 + 2.75 * second, 1.0 + 4.75 * second,
                                     1.0 + 8.75 * second};
  const std::vector<double> delays = {-0.5, 0.0, std::nan(""), 0.0};  // 1, 0, 0 and 0 samples
  const SampleClock clock(sizes, times, delays);
  ASSERT_TRUE(clock.time_unit());
  EXPECT_EQ(clock.time_unit()->name, "hours");
  EXPECT_DOUBLE_EQ(clock.plain_row(0), 0.0);
  EXPECT_NEAR(clock.plain_row(5), 2.5, 1e-9);
  EXPECT_NEAR(clock.plain_row(13), 8.5, 1e-9);   // after the gap
  EXPECT_NEAR(clock.plain_row(16), 10.0, 1e-9);  // beyond the blocks: on after the last
  // CFSHIFT.out: 3 rows for the first block, then 4 for each.
  EXPECT_DOUBLE_EQ(clock.shifted_row(2), 1.0);
  EXPECT_NEAR(clock.shifted_row(3), 2.0, 1e-9);
  EXPECT_NEAR(clock.shifted_row(11), 8.0, 1e-9);
  EXPECT_NEAR(clock.shifted_row(15), 10.0, 1e-9);

  // A missing time, or times whose spacing fits no unit, leave the blocks
  // one after another.
  for (const auto& unplaced : {std::vector<double>{1.0, std::nan(""), 3.0, 4.0},
                               std::vector<double>{0.0, 100.0, 200.0, 300.0}}) {
    const SampleClock plain(sizes, unplaced, delays);
    EXPECT_FALSE(plain.time_unit());
    EXPECT_DOUBLE_EQ(plain.plain_row(13), 6.5);
  }
  EXPECT_EQ(judge_time_unit(std::vector<double>{80899.98, 82699.98, 84499.98}, 1800.0)->name,
            "seconds");
  EXPECT_EQ(judge_time_unit(std::vector<double>{0.0083, 0.0250}, 60.0)->name, "hours");
  EXPECT_FALSE(judge_time_unit(std::vector<double>{5.0}, 60.0));
  EXPECT_FALSE(judge_time_unit(std::vector<double>{5.0, 5.0}, 60.0));
}

TEST(CumulativeChart, TimesBeyondTheirFieldAtTheEndGiveTheTimeSinceTheFirstSample) {
  // 16 Hz rows from t = 999: the record runs past what TIME can hold.
  const input::BlockSizes sizes{16, 8, 16.0};
  const SampleClock clock(sizes, std::vector<double>{999.47, 1000.47},
                          std::vector<double>{0.0, 0.0});
  const Chart c = cumulative_chart(series_text(32, 999.0, 1.0 / 16, 20),
                                   series_text(32, 999.0, 1.0 / 16, -1), &clock);
  EXPECT_EQ(c.x_title, "time since the first sample (s)");
  for (const Line& line : c.lines) {
    EXPECT_EQ(line.points.point_count(), 32u) << line.label;
    EXPECT_DOUBLE_EQ(line.points.segments.front().front().x, 0.0) << line.label;
    EXPECT_DOUBLE_EQ(line.points.segments.back().back().x, 31.0 / 16) << line.label;
  }
  EXPECT_DOUBLE_EQ(c.lines[0].points.segments[0][20].y, 5.0);
  const std::string notes = all_notes(c);
  EXPECT_NE(notes.find("TIME is written as asterisks in 16 rows of cumflux.out and 16 of "
                       "CFSHIFT.out."),
            std::string::npos)
      << notes;
  EXPECT_NE(notes.find("taken to be in seconds"), std::string::npos) << notes;
  EXPECT_EQ(notes.find("left out"), std::string::npos) << notes;

  // A lone TIME of asterisks within the record is only a gap.
  std::string text = series_text(8, 10.0, 0.5, -1);
  text.replace(text.find(" 11.5"), 13, "************ ");
  const Chart gapped = cumulative_chart(text, series_text(0, 0.0, 1.0, -1), &clock);
  EXPECT_EQ(gapped.x_title, "sample time TIME (data file's time unit)");
  EXPECT_EQ(gapped.lines[0].points.point_count(), 7u);
}

// "Cospectra.out" of `blocks` blocks whose fluxes are b + the frequency.
std::string spectra_text(int blocks, int windows) {
  std::string text = "      FREQ";
  char field[32];
  for (int b = 0; b < blocks; ++b) {
    std::snprintf(field, sizeof field, "%9.4f", 60.0 * b + 29.95);
    text += b == 4 ? "*********" : field;
  }
  text += "\r\n";
  for (int w = 0; w < windows; ++w) {
    const double frequency = 5.0 / (w + 1);
    std::snprintf(field, sizeof field, " %9.6f", frequency);
    text += w == 2 ? " *********" : field;
    for (int b = 0; b < blocks; ++b) {
      std::snprintf(field, sizeof field, "%9.4f", b + frequency);
      text += field;
    }
    text += "\r\n";
  }
  return text;
}

// A window flux of the table (K·m/day) in W/m², as the sea water of a run
// without --density and --heat-capacity carries it.
double watts(double flux_per_day) { return flux_per_day / 86400 * 1025 * 4008; }

TEST(WindowChart, ManyBlocksShowEvenlySpreadLinesOverTheRangeOfAll) {
  const Chart c = window_chart(spectra_text(25, 6), RunWindow{0.1, 10.0}, {}, 5);
  EXPECT_EQ(c.y_title, "heat flux (W/m²)");
  ASSERT_EQ(c.lines.size(), 5u);
  EXPECT_EQ(c.lines[0].label, "block 1, t = 29.9500");
  EXPECT_EQ(c.lines[4].label, "block 25, t = 1469.9500");
  // Block 13 of the middle line is at t = 12 * 60 + 29.95.
  EXPECT_EQ(c.lines[2].label, "block 13, t = 749.9500");
  for (const auto& line : c.lines) {
    EXPECT_EQ(line.points.point_count(), 5u)
        << line.label;  // the row of asterisk frequency is left out
    EXPECT_EQ(line.points.segments.size(), 2u) << line.label;
  }
  EXPECT_DOUBLE_EQ(c.lines[4].points.segments[0][0].y, watts(24.0 + 5.0));
  ASSERT_EQ(c.bands.size(), 1u);
  EXPECT_EQ(c.bands[0].label, "range of all 25 blocks");
  EXPECT_DOUBLE_EQ(c.bands[0].points.segments[0][1].low, watts(2.5));
  EXPECT_DOUBLE_EQ(c.bands[0].points.segments[0][1].high, watts(26.5));
  ASSERT_EQ(c.x_markers.size(), 1u);
  EXPECT_EQ(c.x_markers[0].label, "window of the run: 10 s");
  const std::string notes = all_notes(c);
  EXPECT_NE(notes.find("1 FREQ value written as asterisks (its row is left out)"),
            std::string::npos)
      << notes;
  EXPECT_NE(notes.find("Lines: 5 of the 25 blocks"), std::string::npos) << notes;

  // A block whose time did not fit takes it from the results file, when that
  // has a time for every block; otherwise its line says so.
  const std::vector<std::string> results_times = {"29.9500",  "89.9500",    "149.9500",
                                                  "209.9500", "10029.9500", ""};
  const Chart few = window_chart(spectra_text(6, 2), std::nullopt, results_times);
  ASSERT_EQ(few.lines.size(), 6u);
  EXPECT_TRUE(few.bands.empty());
  EXPECT_EQ(few.lines[4].label, "block 5, t = 10029.9500");
  EXPECT_TRUE(all_notes(few).empty()) << all_notes(few);

  const Chart without = window_chart(spectra_text(6, 2), std::nullopt, {"29.9500"});
  EXPECT_EQ(without.lines[4].label, "block 5, t = (too wide)");
  EXPECT_NE(all_notes(without).find("1 block time in the first record"), std::string::npos);
}

}  // namespace
}  // namespace ecflux::plot
