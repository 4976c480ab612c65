#include "report/window_flux_table.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace ecflux::report {
namespace {

using ecflux::testing::split_records;
using ecflux::testing::TempFolder;

std::vector<std::string> write(const std::vector<double>& mean_times,
                               const flux::WindowFluxTable& table, double fs) {
  TempFolder folder;
  {
    auto file = textio::OutputFile::create((folder / "Cospectra.out").string(), 40);
    write_spectra_table(file.value(), mean_times, table, fs);
  }
  const std::string text = folder.read("Cospectra.out");
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  return split_records(text);
}

flux::WindowFluxTable table_for(double fs, int n, int blocks) {
  flux::WindowFluxTable table;
  table.window_length = flux::window_sequence({n, 1, fs});
  for (int b = 0; b < blocks; ++b) {
    for (std::size_t k = 0; k < table.window_length.size(); ++k) {
      table.window_flux.push_back(k == 0 ? 0.0 : (b + 1) * 1.25 - 0.001 * static_cast<double>(k));
    }
  }
  return table;
}

TEST(SpectraTable, FrequenciesAndColumnsOfThreeBlocks) {
  const auto table = table_for(10.0, 6000, 3);
  const auto records = write({300.05, 900.05, 1500.05}, table, 10.0);
  ASSERT_EQ(records.size(), 645u);
  EXPECT_EQ(records[0], "      FREQ 300.0500 900.05001500.0500");
  for (const auto& record : records) EXPECT_EQ(record.size(), 37u);
  EXPECT_EQ(records[1].substr(0, 10), "  5.000000");
  EXPECT_EQ(records[1].substr(10), "   0.0000   0.0000   0.0000");
  EXPECT_EQ(records[2].substr(0, 10), "  3.333333");
  EXPECT_EQ(records[2].substr(10), "   1.2490   2.4990   3.7490");
  EXPECT_EQ(records[3].substr(0, 10), "  2.500000");
  EXPECT_EQ(records.back().substr(0, 10), "  0.001669");
  for (std::size_t k = 2; k < records.size(); ++k) {
    EXPECT_LT(std::stod(records[k].substr(0, 10)), std::stod(records[k - 1].substr(0, 10)));
  }
}

TEST(SpectraTable, NoCompletedBlockWritesOnlyTheLabel) {
  const auto records = write({}, table_for(10.0, 600, 0), 10.0);
  EXPECT_EQ(records, (std::vector<std::string>{"      FREQ"}));
}

TEST(SpectraTable, LongRunsStayOnOneRecordPerWindow) {
  const int blocks = 12000;
  const auto table = table_for(8.0, 100, blocks);
  const std::vector<double> mean_times(blocks, 1.0);
  const auto records = write(mean_times, table, 8.0);
  ASSERT_EQ(records.size(), 47u);
  for (const auto& record : records) EXPECT_EQ(record.size(), 10u + 9u * blocks);
}

TEST(SpectraTable, HighSampleRatesOverflowTheFrequencyField) {
  const auto records = write({1.0}, table_for(400.0, 4000, 1), 400.0);
  EXPECT_EQ(records[1].substr(0, 10), " *********");  // 200 Hz
  EXPECT_EQ(records[3].substr(0, 10), " *********");  // 100 Hz
  EXPECT_EQ(records[4].substr(0, 10), " 80.000000");
  EXPECT_EQ(records[4].size(), 19u);
}

}  // namespace
}  // namespace ecflux::report
