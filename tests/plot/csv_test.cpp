// The CSV files of a run read back: the reader's fields and numbers, the
// block table, and the block and window charts drawn from them.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plot/block_plot.h"
#include "plot/block_table.h"
#include "plot/csv_reader.h"
#include "plot/window_plot.h"
#include "plot/window_reading.h"
#include "report/output_files.h"
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
  EXPECT_EQ(empty.failure().io_failure()->condition, textio::IoCondition::end_of_file);
}

// A row of blocks.csv with the given mean time and fluxes; the other values
// are those of a real block.
std::string block_row(int block, const std::string& time, const std::string& flux_l,
                      const std::string& flux_r, const std::string& run_min,
                      const std::string& run_max, const std::string& delay = "-0.3") {
  const std::string b = std::to_string(block);
  return b + ",2,601,600," + time +
         ",12.035703333333325,-2.9546566666666667,0.3994816666666666,1.0271168180528936,"
         "12.393068657353943,1.4384909397764567,166.20716392596972,277.3588877798173,"
         "0.004582069658679287," +
         flux_l + "," + flux_r + ",-117.70116672452693,-164.2762930877494," + run_min +
         ",-45.1251446617518," + run_max + ",-0.3," + delay + ",-2,-2,11.3,0.1000008,0\r\n";
}

TEST(CsvCharts, BlocksComeFromTheirColumnsAtFullPrecisionAndEmptyFieldsAreCounted) {
  const std::string text =
      std::string(report::blocks_csv_header) + "\r\n" +
      block_row(1, "80899.984375", "-115.54510841202543", "-120.5", "-169.7", "-46.1") +
      block_row(2, "82699.984375", "", "-91.9", "-146.5", "-25.4", "-0.09375") +
      block_row(3, "84499.984375", "-114.6", "-117.6", "", "8.9");
  auto table = read_blocks_csv(LineReader::from_text(text, 50, "blocks.csv"), "blocks.csv");
  ASSERT_TRUE(table.ok());
  const BlockTable& blocks = table.value();
  ASSERT_EQ(blocks.blocks.size(), 3u);
  EXPECT_EQ(blocks.columns.size(), 37u);
  EXPECT_EQ(blocks.columns[4].unit, "data file's unit");
  EXPECT_EQ(blocks.columns[14].unit, "W/m²");
  EXPECT_EQ(blocks.cells(1)[4], "82699.984375");
  EXPECT_EQ(blocks.blocks[1].delay_run_min.value, -0.09375);
  EXPECT_EQ(blocks.blocks[0].time_label, "80899.9844");

  const Chart chart = block_flux_chart(blocks);
  const Line& flux_l = chart.lines[0];
  ASSERT_EQ(flux_l.points.point_count(), 2u);
  EXPECT_EQ(flux_l.points.segments.size(), 2u);  // broken where the value is missing
  EXPECT_EQ(flux_l.points.segments[0][0].x, 80899.984375);
  EXPECT_EQ(flux_l.points.segments[0][0].y, -115.54510841202543);
  EXPECT_EQ(chart.lines[1].points.point_count(), 3u);
  EXPECT_EQ(chart.bands[0].points.point_count(), 2u);
  ASSERT_EQ(chart.notes.size(), 1u);
  EXPECT_EQ(chart.notes[0],
            "Not plotted from blocks.csv: 1 flux_linear_W_m2 value not a number, "
            "1 flux_run_min_W_m2 value not a number.");
}

// window_fluxes.csv of `blocks` blocks whose fluxes are b + the frequency,
// with a row of block 2 whose frequency is missing.
std::string window_rows(int blocks, int windows) {
  std::string text = std::string(report::window_fluxes_csv_header) + "\r\n";
  for (int b = 1; b <= blocks; ++b) {
    for (int w = 0; w < windows; ++w) {
      const double frequency = 5.0 / (w + 1);
      const bool lost = b == 2 && w == 1;
      text += std::to_string(b) + ",0.5," + std::to_string(2 * (w + 1)) + ",0.1," +
              (lost ? "" : std::to_string(frequency)) + "," + std::to_string(b + frequency) +
              "\r\n";
    }
  }
  return text;
}

TEST(CsvCharts, WindowLinesFollowTheirBlockAndTheBandSpansAllBlocks) {
  const std::vector<std::string> times = {"0.0083", "0.0250", "0.0417", "", "0.0750"};
  auto fluxes = read_window_list(LineReader::from_text(window_rows(5, 4), 51, "w.csv"),
                                 "window_fluxes.csv", times, 3);
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
}

}  // namespace
}  // namespace ecflux::plot
