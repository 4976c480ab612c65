// The CSV files of a run read back: the reader's fields and numbers, the
// block table, and the block and window charts drawn from them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plot/block_plot.h"
#include "plot/block_table.h"
#include "plot/csv_reader.h"
#include "plot/svg.h"
#include "plot/window_plot.h"
#include "plot/window_reading.h"
#include "report/csv_files.h"
#include "report/output_files.h"
#include "tests/plot/plot_reading.h"
#include "textio/line_reader.h"

namespace ecflux::plot {
namespace {

using textio::LineReader;

TEST(CsvReader, FieldsSplitAtEveryCommaAndOnlyWholeFiniteNumbersAreNumbers) {
  std::vector<std::string_view> fields;
  split_csv("1,,x,", fields);
  EXPECT_EQ(fields, (std::vector<std::string_view>{"1", "", "x", ""}));
  split_csv("", fields);
  EXPECT_EQ(fields, (std::vector<std::string_view>{""}));

  for (const auto& [text, value] :
       std::vector<std::pair<std::string, double>>{{"-115.54510841202543", -115.54510841202543},
                                                   {"0.1", 0.1},
                                                   {"2e-3", 0.002},
                                                   {" 7 ", 7.0},
                                                   {"57600", 57600.0}}) {
    const Field field = read_csv_number(text);
    EXPECT_EQ(field.state, FieldState::number) << text;
    EXPECT_EQ(field.value, value) << text;
  }
  for (const char* text :
       {"", "  ", "nan", "inf", "-inf", "1e400", "1.5x", "\"3\"", "1,5", "+", "-", "0x10", "1 2"}) {
    EXPECT_EQ(read_csv_number(text).state, FieldState::not_a_number) << text;
  }
}

TEST(CsvReader, FindsColumnsByNameAndRefusesAHeaderWithoutANeededOne) {
  auto file = CsvFile::open(LineReader::from_text("b,a\r\n1,2\r\n3\r\n\"4\",x,9\r\n", 50, "t.csv"),
                            "t.csv", {"a"});
  ASSERT_TRUE(file.ok());
  CsvFile& csv = file.value();
  EXPECT_EQ(csv.column("a"), 1u);
  EXPECT_FALSE(csv.column("c"));
  std::vector<std::pair<FieldState, FieldState>> rows;
  for (;;) {
    auto next = csv.next();
    ASSERT_TRUE(next.ok());
    if (!next.value()) break;
    rows.emplace_back(csv.number(0).state, csv.number(1).state);
  }
  // A short row and a quoted or worded field leave their own values missing.
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], std::make_pair(FieldState::number, FieldState::number));
  EXPECT_EQ(rows[1], std::make_pair(FieldState::number, FieldState::not_a_number));
  EXPECT_EQ(rows[2], std::make_pair(FieldState::not_a_number, FieldState::not_a_number));

  auto without = CsvFile::open(LineReader::from_text("b,a\r\n", 50, "t.csv"), "t.csv", {"a", "c"});
  ASSERT_FALSE(without.ok());
  EXPECT_NE(without.failure().message().find("t.csv has no column \"c\""), std::string::npos)
      << without.failure().message();
  auto empty = CsvFile::open(LineReader::from_text("", 50, "t.csv"), "t.csv", {});
  ASSERT_FALSE(empty.ok());
  ASSERT_NE(empty.failure().io_failure(), nullptr);
  EXPECT_EQ(empty.failure().io_failure()->condition, base::IoCondition::end_of_file);
}

// A row of blocks.csv with the given mean time and fluxes; the other values
// are those of a real block. `tail` holds the columns after the count of
// implausible values: the uneven steps and values unread, the delay-corrected
// fluxes with their delays and edges, the quality flag, and any columns of
// quality control.
std::string block_row(int block, const std::string& time, const std::string& flux_l,
                      const std::string& flux_r, const std::string& run_min,
                      const std::string& run_max, const std::string& delay = "-0.3",
                      const std::string& tail = "0,0,-164.2762930877494,-0.3,0,-169.7,-0.3,0,0") {
  const std::string b = std::to_string(block);
  return b + ",2,601,600," + time +
         ",12.035703333333325,-2.9546566666666667,0.3994816666666666,1.0271168180528936,"
         "12.393068657353943,1.4384909397764567,166.20716392596972,277.3588877798173,"
         "0.004582069658679287," +
         flux_l + "," + flux_r + ",-117.70116672452693,-164.2762930877494," + run_min +
         ",-45.1251446617518," + run_max + ",-0.3," + delay + ",-2,-2,11.3,0.1000008,0," + tail +
         "\r\n";
}

BlockTable blocks_of(const std::string& text) {
  auto table = read_blocks_csv(LineReader::from_text(text, 50, "blocks.csv"), "blocks.csv");
  EXPECT_TRUE(table.ok());
  return table.ok() ? std::move(table.value()) : BlockTable{};
}

const Line* line_named(const Chart& chart, const std::string& label) {
  for (const Line& line : chart.lines) {
    if (line.label == label) return &line;
  }
  ADD_FAILURE() << "no line " << label;
  return nullptr;
}

std::vector<double> ys_of(const Line& line) {
  std::vector<double> ys;
  for (const auto& segment : line.points.segments)
    for (const Point& point : segment) ys.push_back(point.y);
  return ys;
}

TEST(CsvCharts, BlocksComeFromTheirColumnsAtFullPrecisionAndEmptyFieldsAreCounted) {
  const BlockTable blocks =
      blocks_of(std::string(report::blocks_csv_header) + "\r\n" +
                block_row(1, "80899.984375", "-115.54510841202543", "-120.5", "-169.7", "-46.1") +
                block_row(2, "82699.984375", "", "-91.9", "-146.5", "-25.4", "-0.09375") +
                block_row(3, "84499.984375", "-114.6", "-117.6", "", "8.9"));
  ASSERT_EQ(blocks.blocks.size(), 3u);
  EXPECT_EQ(blocks.columns.size(), 37u);
  EXPECT_EQ(blocks.columns[4].unit, "data file's unit");
  EXPECT_EQ(blocks.columns[5].unit, "cm/s");
  EXPECT_EQ(blocks.columns[5].heading, "u_mean");
  EXPECT_EQ(blocks.columns[14].unit, "W/m²");
  EXPECT_EQ(blocks.cells(1)[4], "82699.984375");
  EXPECT_EQ(blocks.blocks[1].delay_run_min.value, -0.09375);
  EXPECT_EQ(blocks.blocks[0].time_label, "80899.9844");

  const Chart chart = block_flux_chart(blocks);
  const Line& flux_l = *line_named(chart, "FLUX-L");
  ASSERT_EQ(flux_l.points.point_count(), 2u);
  EXPECT_EQ(flux_l.points.segments.size(), 2u);  // broken where the value is missing
  EXPECT_EQ(flux_l.points.segments[0][0].x, 80899.984375);
  EXPECT_EQ(flux_l.points.segments[0][0].y, -115.54510841202543);
  EXPECT_EQ(line_named(chart, "FLUX-R")->points.point_count(), 3u);
  EXPECT_EQ(chart.bands[0].points.point_count(), 2u);
  ASSERT_EQ(chart.notes.size(), 1u);
  EXPECT_EQ(chart.notes[0],
            "Not plotted from blocks.csv: 1 flux_linear_W_m2 value not a number, "
            "1 flux_run_min_W_m2 value not a number.");
}

// The main line is the delay-corrected FLUX-L; the detrendings, the spread
// over the delays and the random error are each told apart and named for
// what they are.
TEST(CsvCharts, TheFluxToReportIsTheMainLineAndEverySeriesIsToldApart) {
  report::QualityColumns quality;
  quality.uncertainty = true;
  const std::string error_tail = ",30.5,32.1,6";
  const BlockTable blocks =
      blocks_of(report::blocks_csv_header_with(quality) + "\r\n" +
                block_row(1, "0.0083", "-113.1", "-118.0", "-166.6", "-45.2", "-0.3",
                          "0,0,-161.2,-0.3,0,-166.6,-0.3,0,0" + error_tail) +
                block_row(2, "0.0250", "-113.7", "-93.5", "-147.0", "-26.2", "-0.3",
                          "0,0,-167.2,-0.3,0,-147.0,-0.3,0,0" + error_tail));
  const Chart chart = block_flux_chart(blocks);
  EXPECT_EQ(ys_of(*line_named(chart, "FLUX-L delay-corrected")),
            (std::vector<double>{-161.2, -167.2}));
  EXPECT_NE(chart.subtitle.find("the flux to report"), std::string::npos) << chart.subtitle;

  // No two lines share a dash pattern or a marker.
  const std::vector<std::string> detrendings = {"FLUX-L delay-corrected", "FLUX-L", "FLUX-R",
                                                "about the block mean"};
  for (std::size_t i = 0; i < detrendings.size(); ++i) {
    for (std::size_t j = i + 1; j < detrendings.size(); ++j) {
      const Line& a = *line_named(chart, detrendings[i]);
      const Line& b = *line_named(chart, detrendings[j]);
      EXPECT_NE(a.style.dashes, b.style.dashes) << a.label << " and " << b.label;
      EXPECT_NE(a.marker, b.marker) << a.label << " and " << b.label;
    }
  }
  ASSERT_EQ(chart.bands.size(), 2u);
  EXPECT_NE(chart.bands[0].label.find("spread over the delays searched (not an uncertainty)"),
            std::string::npos);
  EXPECT_FALSE(chart.bands[0].bars);
  const Band& errors = chart.bands[1];
  EXPECT_NE(errors.label.find("random error"), std::string::npos);
  EXPECT_TRUE(errors.bars);
  ASSERT_EQ(errors.points.point_count(), 2u);
  EXPECT_DOUBLE_EQ(errors.points.segments[0][0].low, -113.1 - 30.5);
  EXPECT_DOUBLE_EQ(errors.points.segments[0][0].high, -113.1 + 30.5);

  // In the drawing, each in the legend, and the error bars as bars.
  const std::string svg = render_svg(chart);
  for (const auto& label : detrendings)
    EXPECT_NE(svg.find(">" + label + "</text>"), std::string::npos) << label;
  const testing::PlotReading reading(svg);
  EXPECT_EQ(reading.series_points("FLUX-L delay-corrected").size(), 2u);
  EXPECT_EQ(reading.series_points("about the block mean").size(), 2u);
}

// A flagged block does not set the flux axis: a wild flux of one block no
// longer flattens the others, and the plot names it.
TEST(CsvCharts, FlaggedBlocksAreMarkedAndKeptOutOfTheScaleOfTheFluxAxis) {
  const auto row = [](int block, const std::string& flux, int flag) {
    const std::string tail = "0,0," + flux + ",-0.3,0," + flux + ",-0.3,0," + std::to_string(flag);
    return block_row(block, std::to_string(block) + ".5", flux, flux, flux, flux, "-0.3", tail);
  };
  const BlockTable blocks =
      blocks_of(std::string(report::blocks_csv_header) + "\r\n" + row(1, "-110", 0) +
                row(2, "-40754", 2) + row(3, "-100", 1) + row(4, "-115", 0) + row(5, "-90", 0));
  ASSERT_EQ(blocks.blocks[1].flag, 2);
  const Chart chart = block_flux_chart(blocks);
  ASSERT_TRUE(chart.y_scale);
  EXPECT_EQ(chart.y_scale->low, -117.70116672452693);  // the flux about the block mean
  EXPECT_EQ(chart.y_scale->high, -90.0);
  EXPECT_EQ(ys_of(*line_named(chart, "flag 1: use with care")), (std::vector<double>{-100.0}));
  EXPECT_EQ(ys_of(*line_named(chart, "flag 2: do not use")), (std::vector<double>{-40754.0}));
  // The off-scale block stands alone, joined to no neighbour.
  const Line& flux_l = *line_named(chart, "FLUX-L");
  EXPECT_EQ(flux_l.points.segments.size(), 3u);
  EXPECT_EQ(flux_l.points.segments[1].size(), 1u);
  std::string notes;
  for (const auto& note : chart.notes) notes += note + "\n";
  EXPECT_NE(notes.find("Off-scale, marked at the edge: block 2 (flag 2, -40,754 W/m²)."),
            std::string::npos)
      << notes;
  EXPECT_EQ(notes.find("block 3"), std::string::npos) << notes;  // on the scale

  // The drawing's axis spans the unflagged blocks, and the outlier is
  // marked at its lower edge.
  const std::string svg = render_svg(chart);
  const testing::PlotReading reading(svg);
  const double lowest = reading.series_points("FLUX-L")[1].y;
  EXPECT_NEAR(lowest, -40754.0, 1.0);
  for (const auto& point : reading.series_points("FLUX-R")) {
    if (point.y > -1000) {
      EXPECT_GT(point.y, -125.0);
    }
  }
  EXPECT_NE(svg.find("class=\"off-scale\""), std::string::npos);
  EXPECT_NE(svg.find("overflow=\"hidden\""), std::string::npos);

  // Without a flagged block, every value sets the scale as before.
  const Chart unflagged = block_flux_chart(blocks_of(
      std::string(report::blocks_csv_header) + "\r\n" + row(1, "-110", 0) + row(2, "-40754", 0)));
  EXPECT_FALSE(unflagged.y_scale);
  EXPECT_EQ(render_svg(unflagged).find("off-scale"), std::string::npos);
}

// window_fluxes.csv of `blocks` blocks whose fluxes are b + the frequency in
// W/m² (and an unrelated K·m/day), with a row of block 2 whose frequency is
// missing.
std::string window_rows(int blocks, int windows) {
  std::string text = std::string(report::window_fluxes_csv_header) + "\r\n";
  for (int b = 1; b <= blocks; ++b) {
    for (int w = 0; w < windows; ++w) {
      const double frequency = 5.0 / (w + 1);
      const bool lost = b == 2 && w == 1;
      text += std::to_string(b) + ",0.5," + std::to_string(2 * (w + 1)) + ",0.1," +
              (lost ? "" : std::to_string(frequency)) + ",1," + std::to_string(b + frequency) +
              "\r\n";
    }
  }
  return text;
}
TEST(CsvCharts, WindowLinesFollowTheirBlockAndTheBandSpansAllBlocks) {
  const std::vector<std::string> times = {"0.0083", "0.0250", "0.0417", "", "0.0750"};
  auto fluxes = read_window_list(LineReader::from_text(window_rows(5, 4), 51, "w.csv"),
                                 "window_fluxes.csv", times, {}, 3);
  ASSERT_TRUE(fluxes.ok());
  EXPECT_EQ(fluxes.value().window_lengths, 4u);
  const Chart c = window_flux_chart(fluxes.value(), RunWindow{0.1, 10.0});
  ASSERT_EQ(c.lines.size(), 3u);
  EXPECT_EQ(c.lines[0].label, "block 1, t = 0.0083");
  EXPECT_EQ(c.lines[1].label, "block 3, t = 0.0417");
  EXPECT_EQ(c.lines[2].label, "block 5, t = 0.0750");
  for (const auto& line : c.lines) EXPECT_EQ(line.points.point_count(), 4u) << line.label;
  EXPECT_DOUBLE_EQ(c.lines[2].points.segments[0][0].y, 5.0 + 5.0);
  // Block 2 has no line, but its values are in the band; its row without a
  // frequency is not.
  ASSERT_EQ(c.bands.size(), 1u);
  EXPECT_EQ(c.bands[0].label, "range of all 5 blocks");
  const auto& band = c.bands[0].points.segments.at(0);
  ASSERT_EQ(band.size(), 4u);
  EXPECT_DOUBLE_EQ(band.back().x, 5.0);
  EXPECT_DOUBLE_EQ(band.back().low, 6.0);
  EXPECT_DOUBLE_EQ(band.back().high, 10.0);
  EXPECT_DOUBLE_EQ(band[2].x, 2.5);
  EXPECT_DOUBLE_EQ(band[2].low, 3.5);  // block 1 only: block 2's row is lost
  ASSERT_GE(c.notes.size(), 2u);
  EXPECT_EQ(c.notes[0],
            "Not plotted from window_fluxes.csv: 1 frequency_Hz value not a number (its row is "
            "left out).");
  EXPECT_EQ(c.notes[1], "Lines: 3 of the 5 blocks, spread evenly over the run.");

  auto refused = read_window_list(LineReader::from_text("block,frequency_Hz\r\n", 51, "w"),
                                  "window_fluxes.csv", times);
  EXPECT_FALSE(refused.ok());

  // A file of an earlier version, without flux_W_m2: its K·m/day in W/m²
  // for the run's medium, here fresh water.
  auto earlier = read_window_list(
      LineReader::from_text("block,time_mean,window_samples,window_s,frequency_Hz,flux_K_m_day\r\n"
                            "1,0.5,2,0.2,5,8.64\r\n",
                            51, "w.csv"),
      "window_fluxes.csv", {"0.5"}, stats::Medium{1000.0, 4186.0});
  ASSERT_TRUE(earlier.ok());
  EXPECT_EQ(earlier.value().shown.at(0).fluxes.segments.at(0).at(0).y, 8.64 / 86400 * 1000 * 4186);
  EXPECT_NE(window_flux_chart(earlier.value(), std::nullopt).subtitle.find("1000 kg/m³ × 4186"),
            std::string::npos);
}

}  // namespace
}  // namespace ecflux::plot
