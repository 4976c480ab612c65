// ecflux-plot on runs with the CSV files and on records whose times do not
// fit the fixed-column files, and the report page it writes, read as XML and
// as a browser shows it.

#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/plot/plot_reading.h"
#include "tests/plot/plot_runs.h"
#include "tests/support/required_checks.h"
#include "tests/support/test_support.h"

namespace ecflux {
namespace {

using testing::PlotReading;
using testing::ProcessOptions;
using testing::run_plot;
using testing::TempFolder;

// The report page, parsed; fails the test when it is not well-formed.
struct Page {
  std::string text;
  pugi::xml_document document;

  explicit Page(const TempFolder& folder) : text(folder.read("report.html")) {
    const auto parsed = document.load_string(text.c_str());
    EXPECT_TRUE(parsed) << parsed.description() << " at " << parsed.offset;
  }

  std::size_t block_rows() const {
    return document.select_nodes("//table[@id='blocks']/tbody/tr").size();
  }
  // The inline plots, each as a document of its own.
  std::vector<std::string> plots() const {
    std::vector<std::string> svgs;
    for (auto at = text.find("<svg"); at != std::string::npos; at = text.find("<svg", at + 1))
      svgs.push_back(text.substr(at, text.find("</svg>", at) + 6 - at));
    return svgs;
  }
};

// window_fluxes.csv as flux in W/m² by frequency for each block.
std::map<int, std::map<double, double>> window_fluxes(const std::string& text) {
  std::map<int, std::map<double, double>> fluxes;
  const auto records = testing::split_records(text);
  for (std::size_t i = 1; i < records.size(); ++i) {
    std::vector<std::string> fields;
    std::size_t begin = 0, comma;
    while ((comma = records[i].find(',', begin)) != std::string::npos) {
      fields.push_back(records[i].substr(begin, comma - begin));
      begin = comma + 1;
    }
    fields.push_back(records[i].substr(begin));
    fluxes[std::stoi(fields[0])][std::stod(fields[4])] = std::stod(fields[6]);  // flux_W_m2
  }
  return fluxes;
}

TEST(PlotsOfSecondsOfDay, CsvFilesGiveEveryBlockAndTheCumulativePlotCoversTheRecord) {
  // 8 Hz for an hour from t = 80000 s: TIME of cumflux.out and the block
  // times of Cospectra.out are all asterisks.
  TempFolder folder;
  testing::finish_seconds_of_day_run(folder, 8, 3600, 600, true);
  // The record's hour is drawn in minutes since its first sample.
  const double last_sample = (3600 * 8 - 1) / 8.0 / 60;
  // The fixed-column files of the blocks are not needed beside the CSV files.
  std::filesystem::rename(folder / "results.out", folder / "results.kept");
  std::filesystem::rename(folder / "Cospectra.out", folder / "Cospectra.kept");
  auto run = run_plot(folder);
  ASSERT_EQ(run.exit_status, 0) << run.standard_error;

  const PlotReading blocks(folder.read("flux_by_block.svg"));
  const auto flux_r = blocks.series_points("FLUX-R");
  ASSERT_EQ(flux_r.size(), 6u);
  EXPECT_NEAR(flux_r.front().x, testing::minutes_since_first_sample(folder)(80299.9375),
              blocks.x_resolution());
  EXPECT_NE(blocks.text().find("blocks.csv"), std::string::npos);

  const PlotReading cumulative(folder.read("cumulative_flux.svg"));
  EXPECT_NE(cumulative.text().find("time since the first sample (min)"), std::string::npos);
  for (const char* file : {"cumflux.out", "CFSHIFT.out"}) {
    const auto points = cumulative.series_points(file);
    ASSERT_GT(points.size(), 100u) << file;
    EXPECT_NEAR(points.front().x, 0.0, cumulative.x_resolution()) << file;
  }
  EXPECT_NEAR(cumulative.series_points("cumflux.out").back().x, last_sample,
              cumulative.x_resolution());
  // The last block of CFSHIFT.out ends its delay, at most 2 s, earlier.
  const double shifted_end = cumulative.series_points("CFSHIFT.out").back().x;
  EXPECT_GT(shifted_end, last_sample - 2.0 / 60);
  EXPECT_LT(shifted_end, last_sample);

  // One line per block, labelled with its time from blocks.csv; each point
  // is a row of window_fluxes.csv.
  const auto fluxes = window_fluxes(folder.read("window_fluxes.csv"));
  const PlotReading windows(folder.read("flux_by_window.svg"));
  ASSERT_EQ(windows.series_labels().size(), 6u);
  EXPECT_EQ(windows.series_labels()[0], "block 1, t = 80299.9375");
  const auto points = windows.series_points("block 1, t = 80299.9375");
  ASSERT_GT(points.size(), 100u);
  // From the shortest window to the longest.
  EXPECT_LT(std::abs(std::log10(points.front().x / fluxes.at(1).rbegin()->first)), 1e-4);
  EXPECT_LT(std::abs(std::log10(points.back().x / fluxes.at(1).begin()->first)), 1e-4);
  for (const auto& point : points) {
    const auto row = fluxes.at(1).lower_bound(point.x * (1 - 1e-4));
    ASSERT_NE(row, fluxes.at(1).end());
    EXPECT_LT(std::abs(std::log10(point.x / row->first)), 1e-4) << point.x;
    EXPECT_NEAR(point.y, row->second, windows.y_resolution()) << point.x;
  }
  EXPECT_EQ(Page(folder).block_rows(), 6u);

  // Without the CSV files the fixed-column files are read; rows are still
  // placed by their sample, over the whole record.
  std::filesystem::rename(folder / "results.kept", folder / "results.out");
  std::filesystem::rename(folder / "Cospectra.kept", folder / "Cospectra.out");
  std::filesystem::remove(folder / "blocks.csv");
  run = run_plot(folder);
  ASSERT_EQ(run.exit_status, 0) << run.standard_error;
  const PlotReading fixed(folder.read("cumulative_flux.svg"));
  const auto fixed_points = fixed.series_points("cumflux.out");
  ASSERT_FALSE(fixed_points.empty());
  EXPECT_NEAR(fixed_points.back().x, last_sample, fixed.x_resolution());
  EXPECT_NE(fixed.text().find("TIME is written as asterisks in 28,800 rows of cumflux.out"),
            std::string::npos)
      << fixed.text();
  EXPECT_NE(fixed.text().find("taken to be in seconds"), std::string::npos) << fixed.text();
  const Page page(folder);
  EXPECT_EQ(page.block_rows(), 6u);
  EXPECT_NE(page.text.find("<li>TIME is written as asterisks"), std::string::npos);
}

TEST(PlotsOfCsvFiles, DamagedFilesGivePlotsWithoutHangingAndAWrongHeaderIsNamed) {
  TempFolder folder;
  testing::finish_example_run(folder, nullptr, true);
  const auto header = [&](const char* name) {
    return testing::split_records(folder.read(name)).at(0) + "\r\n";
  };
  const std::string blocks_header = header("blocks.csv");
  const std::string windows_header = header("window_fluxes.csv");
  // Values at the ends of the doubles, text, quotes, markup, bytes of a
  // binary file, short and long rows.
  constexpr char binary[] = "4,\0\xff\xfe,5e-324,1,2";
  folder.write(
      "blocks.csv",
      blocks_header +
          "1,2,601,600,1.7e308,1,2,3,4,5,6,7,8,9,-1.7e308,1e308,0,0,-1e308,0,1e308,0,-1e300\r\n"
          "2,x,<b>&amp;,\"600\",-1.7e308,,,,,,,,,,nan,inf,,,,,,,,,,,,\r\n"
          "3\r\n" +
          std::string(binary, sizeof binary - 1) + ",,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,,\r\n");
  folder.write("window_fluxes.csv", windows_header +
                                        "1,0,2,0.2,1e308,-1.7e308\r\n"
                                        "1,0,2,0.2,5e-324,1.7e308\r\n"
                                        "9e300,,,,3,4\r\n"
                                        "2,0,2,0.2,-5,1\r\n"
                                        ",,,,,\r\n");
  ProcessOptions options;
  options.limit = std::chrono::seconds(30);
  const auto run = testing::run_program(ECFLUX_PLOT_PROGRAM, folder.path(), options);
  ASSERT_EQ(run.exit_status, 0) << run.standard_error;
  for (const char* name : {"flux_by_block.svg", "cumulative_flux.svg", "flux_by_window.svg"})
    EXPECT_NO_THROW(PlotReading(folder.read(name))) << name;
  EXPECT_EQ(Page(folder).block_rows(), 4u);

  folder.write("window_fluxes.csv", "block,frequency,flux\r\n1,2,3\r\n");
  const auto refused = run_plot(folder);
  EXPECT_EQ(refused.exit_status, 1);
  EXPECT_EQ(refused.standard_error.rfind(
                "ecflux-plot: window_fluxes.csv has no column \"frequency_Hz\"", 0),
            0u)
      << refused.standard_error;
}

// A later run without --csv leaves the earlier run's CSV files behind, older
// than its results file: they are not drawn as its values.
TEST(PlotsOfCsvFiles, CsvFilesOfAnEarlierRunAreNotDrawn) {
  TempFolder folder;
  testing::finish_example_run(folder, nullptr, true);
  const auto earlier =
      std::filesystem::last_write_time(folder / "results.out") - std::chrono::seconds(60);
  for (const char* name : {"blocks.csv", "window_fluxes.csv"}) {
    std::filesystem::last_write_time(folder / name, earlier);
  }
  ASSERT_EQ(run_plot(folder).exit_status, 0);
  EXPECT_NE(
      PlotReading(folder.read("flux_by_block.svg")).text().find("FLUX-L and FLUX-R of results.out"),
      std::string::npos);
  EXPECT_NE(folder.read("report.html").find("Drawn from results.out"), std::string::npos);
  // As new as the results file, they are the run's own.
  for (const char* name : {"blocks.csv", "window_fluxes.csv"}) {
    std::filesystem::last_write_time(folder / name, std::filesystem::file_time_type::clock::now());
  }
  ASSERT_EQ(run_plot(folder).exit_status, 0);
  EXPECT_NE(PlotReading(folder.read("flux_by_block.svg")).text().find("of blocks.csv"),
            std::string::npos);
}

TEST(ReportPage, HoldsTheRunAndItsPlotsSelfContainedWithEveryFileTextEscaped) {
  TempFolder folder;
  testing::ConfigurationText config = testing::example_configuration();
  config.results_file = "r&d <\"1\">'s.out";
  testing::finish_example_run(folder, config);
  const auto run = run_plot(folder);
  ASSERT_EQ(run.exit_status, 0) << run.standard_error;
  EXPECT_NE(run.standard_output.find((folder / "report.html").string() + "\n"), std::string::npos);

  const Page page(folder);
  EXPECT_EQ(page.block_rows(), 3u);
  // The results file's 20 columns, and the flags of run.json after the time.
  const auto headers = page.document.select_nodes("//table[@id='blocks']/thead/tr/th");
  ASSERT_EQ(headers.size(), 21u);
  EXPECT_STREQ(headers[1].node().child_value(), "flag");
  // The name as the configuration gives it, read back through the entities.
  bool named = false;
  for (const auto& cell : page.document.select_nodes("//td"))
    named = named || std::string(cell.node().child_value()) == config.results_file;
  EXPECT_TRUE(named);
  EXPECT_EQ(page.text.find("r&d <"), std::string::npos);
  EXPECT_NE(page.text.find("r&amp;d &lt;&quot;1&quot;&gt;&apos;s.out"), std::string::npos);

  const auto plots = page.plots();
  ASSERT_EQ(plots.size(), 3u);
  for (const auto& svg : plots) {
    const PlotReading reading(svg);
    EXPECT_TRUE(reading.has_axes());
  }
  EXPECT_EQ(PlotReading(plots[0]).series_points("FLUX-L").size(), 3u);
  for (const char* outside : {"<script", "href=", "src=", "@import", "url("})
    EXPECT_EQ(page.text.find(outside), std::string::npos) << outside;
  for (const char* fact : {"N = 600 samples", "W = 300 samples", "data column 7", "hours"})
    EXPECT_NE(page.text.find(fact), std::string::npos) << fact;
}

// The page as a browser shows it, where headless Chromium is present.
TEST(ReportPage, ChromiumShowsEveryBlockAndTheThreePlots) {
  if (!testing::have_chromium())
    ECFLUX_SKIP_OR_FAIL(testing::chromium_check, "no Chromium at " + testing::chromium.string());
  TempFolder folder;
  testing::finish_example_run(folder, nullptr, true);
  ASSERT_EQ(run_plot(folder).exit_status, 0);

  const auto dom_file = folder / "dom.html";
  ASSERT_TRUE(testing::run_chromium(folder, folder / "report.html", "--dump-dom", dom_file));
  const std::string dom = testing::read_file(dom_file);
  const auto body = dom.find("<tbody>", dom.find("id=\"blocks\""));
  ASSERT_NE(body, std::string::npos) << dom.substr(0, 2000);
  const auto body_end = dom.find("</tbody>", body);
  std::size_t rows = 0;
  for (auto at = dom.find("<tr", body); at < body_end; at = dom.find("<tr", at + 1)) ++rows;
  EXPECT_EQ(rows, 3u);
  std::size_t svgs = 0;
  for (auto at = dom.find("<svg"); at != std::string::npos; at = dom.find("<svg", at + 1)) ++svgs;
  EXPECT_EQ(svgs, 3u);

  // A screenshot holds much more than one of a blank page of the same size.
  folder.write("blank.html", "<!DOCTYPE html><html><body></body></html>");
  const std::string size = " --window-size=1200,2000";
  ASSERT_TRUE(
      testing::run_chromium(folder, folder / "report.html",
                            "--screenshot='" + (folder / "page.png").string() + "'" + size));
  ASSERT_TRUE(
      testing::run_chromium(folder, folder / "blank.html",
                            "--screenshot='" + (folder / "blank.png").string() + "'" + size));
  const std::string page = folder.read("page.png");
  const std::string blank = folder.read("blank.png");
  EXPECT_EQ(testing::png_size(page).width, 1200u);
  EXPECT_EQ(testing::png_size(page).height, 2000u);
  EXPECT_GT(page.size(), 10 * blank.size());
}

}  // namespace
}  // namespace ecflux
