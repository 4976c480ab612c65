// What ecflux-plot takes from run.json and cospectra.csv: the record as the
// run writes it, the time axis it allows, and the spectra drawn over each
// block's covariance.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "plot/run_record_reading.h"
#include "plot/spectra_plot.h"
#include "plot/spectra_reading.h"
#include "plot/time_scale.h"
#include "report/output_files.h"
#include "report/run_record.h"
#include "textio/line_reader.h"

namespace ecflux::plot {
namespace {

using textio::LineReader;

TEST(RunRecordReading, ReadsBackWhatTheRunWritesAndDefaultsWhatIsMissingOrWrong) {
  report::RunRecord written;
  written.version = "2.0.0";
  written.csv = true;
  written.strict = true;
  written.quality.despike = true;
  written.quality.missing = true;
  written.quality.fill_values = {-9999.0, 9999.0};
  written.quality.rotation = "planar";
  written.quality.density = 1000.0;
  written.quality.heat_capacity = 4186.0;
  written.quality.plane = report::RecordedQuality::Plane{0.01, -0.02, 0.03, 1.5, -2.5};
  written.data.path = "/data/run/d.dat";
  written.data.size_bytes = 117164;
  written.data.xxh3_64 = "73934fcdcc59dad7";
  written.data.hash_of_whole_file = true;
  written.data.first_time = 0.25;
  written.data.last_time = 8.2;
  written.data.time_unit = "minutes";
  written.blocks = 3;
  written.quality_flags = {0, 2, 1};
  written.warnings.push_back({base::WarningKind::implausible_value, "/data/run/d.dat", 272, 2,
                              "holds a temperature of -9999 °C <a fill value?> & more"});

  auto read = parse_run_record(report::run_record_json(written));
  ASSERT_TRUE(read.ok()) << read.failure().message();
  const RunRecordFacts& facts = read.value();
  EXPECT_EQ(facts.version, "2.0.0");
  EXPECT_TRUE(facts.csv);
  EXPECT_TRUE(facts.strict);
  EXPECT_FALSE(facts.durable);
  EXPECT_TRUE(facts.quality.despike);
  EXPECT_EQ(facts.quality.fill_values, written.quality.fill_values);
  EXPECT_EQ(facts.quality.rotation, "planar");
  EXPECT_EQ(facts.quality.density, 1000.0);
  EXPECT_EQ(facts.quality.heat_capacity, 4186.0);
  ASSERT_TRUE(facts.quality.plane);
  EXPECT_EQ(facts.quality.plane->roll_deg, -2.5);
  EXPECT_EQ(facts.data.size_bytes, written.data.size_bytes);
  EXPECT_EQ(facts.data.xxh3_64, written.data.xxh3_64);
  EXPECT_EQ(facts.data.first_time, 0.25);
  EXPECT_EQ(facts.data.time_unit, "minutes");
  EXPECT_EQ(facts.quality_flags, written.quality_flags);
  ASSERT_EQ(facts.warnings.size(), 1u);
  EXPECT_EQ(facts.warnings[0].kind, "implausible_value");
  EXPECT_EQ(facts.warnings[0].line, 272);
  EXPECT_EQ(facts.warnings[0].count, 2);
  EXPECT_EQ(facts.warnings[0].text, written.warnings[0].text);

  // A record of another shape gives what it has: flags that are no flag are
  // not known, values of the wrong type leave their defaults.
  auto odd = parse_run_record(
      R"({"options": {"csv": "yes"}, "quality_control": {"density_kg_m3": null},
          "data": {"first_time": "0", "time_unit": 3},
          "blocks": {"quality_flags": [0, 7, "1", 2.0, 1]}, "warnings": {"kind": "x"}})");
  ASSERT_TRUE(odd.ok());
  EXPECT_FALSE(odd.value().csv);
  EXPECT_EQ(odd.value().quality.density, 1025.0);
  EXPECT_FALSE(odd.value().data.first_time);
  EXPECT_EQ(odd.value().data.time_unit, "");
  EXPECT_EQ(odd.value().quality_flags, (std::vector<int>{0, -1, -1, -1, 1}));
  EXPECT_TRUE(odd.value().warnings.empty());

  for (const char* text : {"", "[1, 2]", "{\"program\": ", "\xff\xfe"}) {
    EXPECT_FALSE(parse_run_record(text).ok()) << text;
  }
}

TEST(TimeScale, TimeSinceTheFirstSampleInAUnitThatSuitsTheRecord) {
  struct Case {
    const char* unit;
    double first, last, time;
    const char* symbol;  // empty: the data file's own times
    double shown;
  };
  const Case cases[] = {
      {"hours", 0.0, 0.0583, 0.0250, "min", 1.5},    // three minutes of hours
      {"seconds", 80000, 83600, 80300, "min", 5.0},  // an hour of seconds of the day
      {"hours", 100.0, 130.0, 124.0, "h", 24.0},     // a day and a bit
      {"days", 10.0, 40.0, 12.5, "d", 2.5},          // a month
      {"minutes", 0.0, 10000.0, 5040.0, "d", 3.5},   // a week of minutes
      {"fortnights", 0.0, 1.0, 0.5, "", 0.5},        // a unit not known
      {"", 0.0, 1.0, 0.5, "", 0.5},                  // a run without a block
  };
  for (const Case& c : cases) {
    const TimeScale scale = time_scale(c.unit, c.first, c.last);
    EXPECT_EQ(scale.symbol, c.symbol) << c.unit << " " << c.last;
    EXPECT_NEAR(scale.axis_time(c.time), c.shown, 1e-9) << c.unit << " " << c.last;
  }
  EXPECT_FALSE(time_scale("hours", std::nullopt, 1.0).since_first_sample());
  EXPECT_EQ(time_scale("hours", 0.0, std::nullopt).symbol, "min");
  EXPECT_DOUBLE_EQ(time_scale("hours", 0.0, 30.0).axis_seconds(5400.0), 1.5);
}

// cospectra.csv of two blocks of three bins; fs / N = 0.5 Hz, so each
// block's covariance is half its sum of counts times densities.
std::string spectra_rows() {
  return std::string(report::cospectra_csv_header) +
         "\r\n"
         "1,0.5,1,-2,1,0.1,0.1\r\n"
         "1,1.25,2,-1,0.6,0.1,0.1\r\n"
         "1,2,1,0,0.2,0.1,0.1\r\n"
         "2,0.5,1,0,1,0.1,0.1\r\n"  // a block of no covariance
         "2,1.25,2,0,,0.1,0.1\r\n"  // and an ogive missing
         "2,2,1,0,0.3,0.1,0.1\r\n"
         "7,2,1,1,1,0.1,0.1\r\n";  // a block the run does not have
}

TEST(SpectraReading, CospectraOverTheCovarianceOfEachBlockAndItsOgive) {
  auto read = read_spectra(LineReader::from_text(spectra_rows(), 53, "cospectra.csv"),
                           "cospectra.csv", {"0.0083", "0.0250"}, 0.5);
  ASSERT_TRUE(read.ok()) << read.failure().message();
  const BlockSpectra& spectra = read.value();
  EXPECT_EQ(spectra.rows, 7);
  ASSERT_EQ(spectra.shown.size(), 2u);
  // Block 1: cov = (1 * -2 + 2 * -1 + 1 * 0) * 0.5 = -2.
  const auto& first = spectra.shown[0].cospectrum.segments.at(0);
  ASSERT_EQ(first.size(), 3u);
  EXPECT_DOUBLE_EQ(first[0].y, 0.5 * -2 / -2.0);
  EXPECT_DOUBLE_EQ(first[1].y, 1.25 * -1 / -2.0);
  EXPECT_DOUBLE_EQ(first[2].y, 0.0);
  EXPECT_EQ(spectra.shown[0].ogive.point_count(), 3u);
  // Block 2 has no covariance to weigh by: only its ogive, broken where it
  // is missing.
  EXPECT_EQ(spectra.shown[1].cospectrum.point_count(), 0u);
  EXPECT_EQ(spectra.shown[1].ogive.segments.size(), 2u);
  EXPECT_EQ(spectra.without_covariance, 1);
  EXPECT_EQ(spectra.skipped[2].count.not_a_number, 1);

  // The chart marks a block whose ogive has not levelled off, and names it.
  BlockTable blocks;
  blocks.names.ogive_not_levelled = "ogive_not_levelled";
  blocks.blocks.resize(2);
  blocks.blocks[1].ogive_not_levelled = {FieldState::number, 1.0};
  const Chart chart = spectra_chart(spectra, blocks);
  ASSERT_EQ(chart.lines.size(), 4u);
  EXPECT_EQ(chart.lines[0].label, "block 1, t = 0.0083");
  EXPECT_EQ(chart.lines[0].marker, Marker::none);
  EXPECT_EQ(chart.lines[2].label, "block 2, t = 0.0250");
  EXPECT_EQ(chart.lines[2].marker, Marker::triangle);
  EXPECT_FALSE(chart.lines[3].in_legend);  // the ogive, dashed in the block's colour
  EXPECT_EQ(chart.lines[3].color, chart.lines[2].color);
  std::string notes;
  for (const auto& note : chart.notes) notes += note + "\n";
  EXPECT_NE(notes.find("1 block of 2 (2)"), std::string::npos) << notes;
  EXPECT_NE(notes.find("1 block without a covariance"), std::string::npos) << notes;

  // With one line of two blocks, the range of both is shaded.
  auto one = read_spectra(LineReader::from_text(spectra_rows(), 53, "cospectra.csv"),
                          "cospectra.csv", {"0.0083", "0.0250", "0.0417"}, 0.5, 2);
  ASSERT_TRUE(one.ok());
  const auto& range = one.value().ogive_range.segments.at(0);
  ASSERT_EQ(range.size(), 3u);
  EXPECT_DOUBLE_EQ(range[2].low, 0.2);
  EXPECT_DOUBLE_EQ(range[2].high, 0.3);
}

}  // namespace
}  // namespace ecflux::plot
