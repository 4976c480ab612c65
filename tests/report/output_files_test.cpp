#include "report/output_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace ecflux::report {
namespace {

// The files, units and record lengths that users' scripts rely on.
TEST(OutputFiles, NamesUnitsAndRecordLengths) {
  struct Expected {
    OutputRole role;
    std::string name;
    int unit;
    std::size_t row_length;
  };
  const Expected expected[] = {{OutputRole::results, "", 9, 163},
                               {OutputRole::window_flux_table, "Cospectra.out", 40, 10},
                               {OutputRole::cumulative_flux, "cumflux.out", 43, 65},
                               {OutputRole::shifted_cumulative_flux, "CFSHIFT.out", 889, 65},
                               {OutputRole::standard_output, "/dev/stdout", 6, 39},
                               {OutputRole::blocks_csv, "blocks.csv", 50, 0},
                               {OutputRole::window_fluxes_csv, "window_fluxes.csv", 51, 0},
                               {OutputRole::cospectra_csv, "cospectra.csv", 53, 0},
                               {OutputRole::run_record, "run.json", 52, 0},
                               {OutputRole::block_plot, "flux_by_block.svg", 0, 0},
                               {OutputRole::cumulative_plot, "cumulative_flux.svg", 0, 0},
                               {OutputRole::window_plot, "flux_by_window.svg", 0, 0},
                               {OutputRole::cospectra_plot, "cospectra.svg", 0, 0},
                               {OutputRole::report_page, "report.html", 0, 0}};
  ASSERT_EQ(output_files.size(), std::size(expected));
  for (std::size_t i = 0; i < output_files.size(); ++i) {
    // The table is in the order of creation.
    EXPECT_EQ(output_files[i].role, expected[i].role) << i;
    EXPECT_EQ(output_files[i].fixed_name, expected[i].name) << i;
    EXPECT_EQ(output_files[i].unit, expected[i].unit) << i;
    EXPECT_EQ(row_format(expected[i].role).length(), expected[i].row_length) << i;
  }
  EXPECT_EQ(output_name(output_file(OutputRole::results), "my results.txt"), "my results.txt");
  EXPECT_EQ(output_name(output_file(OutputRole::cumulative_flux), "r.out"), "cumflux.out");
  for (const OutputFileInfo& file : output_files) {
    EXPECT_EQ(file.written_by == WrittenBy::csv_run || file.written_by == WrittenBy::spectra_run,
              file.fixed_name.ends_with(".csv"))
        << file.fixed_name;
  }
}

// The CSV headers name every column once, each with its unit where it has
// one, and no name needs quoting.
TEST(OutputFiles, CsvHeaders) {
  for (const std::string_view header : {blocks_csv_header, window_fluxes_csv_header}) {
    std::vector<std::string> names;
    std::size_t begin = 0;
    for (std::size_t end; (end = header.find(',', begin)) != std::string_view::npos;
         begin = end + 1) {
      names.emplace_back(header.substr(begin, end - begin));
    }
    names.emplace_back(header.substr(begin));
    std::vector<std::string> sorted = names;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end()) << header;
    for (const auto& name : names) {
      EXPECT_EQ(name.find_first_of(" \"\r\n"), std::string::npos) << name;
    }
  }
  EXPECT_NE(blocks_csv_header.find("flux_linear_W_m2,"), std::string_view::npos);
  EXPECT_NE(blocks_csv_header.find("u_mean_cm_s,"), std::string_view::npos);
  EXPECT_NE(blocks_csv_header.find("delay_run_min_s,"), std::string_view::npos);
}

// A header label ends in the last column of its field, so that a column
// of numbers stands under its name.
TEST(OutputFiles, SeriesHeaderLabelsEndWithTheirFields) {
  const std::string header(series_header);
  ASSERT_EQ(header.size(), 65u);
  const auto fields = row_format(OutputRole::cumulative_flux).fields();
  const char* const labels[] = {"TIME", "CUMFLUX", "COVAR", "ZPRIME", "O2PRIME"};
  ASSERT_EQ(fields.size(), std::size(labels));
  for (std::size_t i = 0; i < fields.size(); ++i) {
    const std::size_t end = fields[i].begin + static_cast<std::size_t>(fields[i].width);
    const std::string label = labels[i];
    EXPECT_EQ(header.substr(end - label.size(), label.size()), label);
    EXPECT_EQ(header[fields[i].begin - 1], ' ');
  }
}

TEST(OutputFiles, WindowFluxTableColumns) {
  const auto& leading = row_format(OutputRole::window_flux_table);
  ASSERT_EQ(leading.fields().size(), 1u);
  EXPECT_EQ(leading.fields()[0].begin, 1u);
  EXPECT_EQ(leading.fields()[0].width, 9);
  EXPECT_EQ(leading.fields()[0].decimals, 6);
  EXPECT_EQ(block_field().width, 9);
  EXPECT_EQ(block_field().decimals, 4);
  // "FREQ" ends above the frequencies.
  EXPECT_EQ(output_file(OutputRole::window_flux_table).header, "      FREQ");
}

}  // namespace
}  // namespace ecflux::report
