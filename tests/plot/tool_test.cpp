// ecflux-plot run in the folders of finished runs: the files it writes, what
// they show, and its failures.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "report/output_files.h"
#include "tests/plot/plot_reading.h"
#include "tests/plot/plot_runs.h"
#include "tests/support/required_checks.h"
#include "tests/support/test_support.h"

namespace ecflux {
namespace {

using testing::columns;
using testing::finish_example_run;
using testing::PlotPoint;
using testing::PlotReading;
using testing::run_plot;
using testing::split_records;
using testing::TempFolder;

// The plots of every run; cospectra.svg needs ecflux --spectra.
const std::vector<std::string> plot_names = {"flux_by_block.svg", "cumulative_flux.svg",
                                             "flux_by_window.svg"};

bool near(double a, double b, double tolerance) { return std::abs(a - b) <= tolerance; }

// Replaces the `width` columns at `begin` (from 0) of record `index` (from 0).
std::string overwrite(const std::string& text, std::size_t index, std::size_t begin,
                      const std::string& field) {
  auto records = split_records(text);
  records.at(index).replace(begin, field.size(), field);
  std::string joined;
  for (const auto& record : records) joined += record + "\r\n";
  return joined;
}

TEST(PlotTool, ExampleRunGivesThreeWellFormedPlotsOfTheFilesValues) {
  TempFolder folder;
  finish_example_run(folder);
  const auto run = run_plot(folder);
  ASSERT_EQ(run.exit_status, 0) << run.standard_error;
  EXPECT_EQ(run.standard_error, "");
  for (const auto& name : plot_names) {
    EXPECT_NE(run.standard_output.find((folder / name).string()), std::string::npos) << name;
    const std::string svg = folder.read(name);
    EXPECT_LT(svg.size(), 200u * 1024) << name;
    // Self-contained: nothing is fetched or run.
    for (const char* outside : {"<script", "href", "@import", "url("})
      EXPECT_EQ(svg.find(outside), std::string::npos) << name << " holds " << outside;
    const PlotReading reading(svg);
    EXPECT_STREQ(reading.root().name(), "svg");
    EXPECT_TRUE(reading.has_axes()) << name;
  }
  // A second, independent XML parser, where one is at hand.
  if (std::filesystem::exists("/usr/bin/python3")) {
    std::string command =
        "/usr/bin/python3 -c 'import sys, xml.etree.ElementTree as E; [E.parse(f) for f in "
        "sys.argv[1:]]'";
    for (const auto& name : plot_names) command += " '" + (folder / name).string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
  }

  // Per-block fluxes: every block's FLUX-L and FLUX-R where the file has it,
  // at its time since the first sample: the example's times are hours, so
  // its three minutes are drawn in minutes.
  const auto results = columns(folder.read("results.out"));
  ASSERT_EQ(results.size(), 4u);
  const auto minutes = testing::minutes_since_first_sample(folder);
  const PlotReading blocks(folder.read("flux_by_block.svg"));
  EXPECT_NE(blocks.text().find("block mean time, since the first sample (min)"), std::string::npos);
  const auto flux_l = blocks.series_points("FLUX-L");
  const auto flux_r = blocks.series_points("FLUX-R");
  ASSERT_EQ(flux_l.size(), 3u);
  ASSERT_EQ(flux_r.size(), 3u);
  for (std::size_t b = 0; b < 3; ++b) {
    const double time = minutes(std::stod(results[b + 1][0]));
    EXPECT_TRUE(near(flux_l[b].x, time, blocks.x_resolution())) << b;
    EXPECT_TRUE(near(flux_l[b].y, std::stod(results[b + 1][10]), blocks.y_resolution())) << b;
    EXPECT_TRUE(near(flux_r[b].y, std::stod(results[b + 1][11]), blocks.y_resolution())) << b;
  }

  // Cumulative flux: every drawn point is a row of its file, and the first
  // and last rows and the lowest total are among them.
  const PlotReading cumulative(folder.read("cumulative_flux.svg"));
  EXPECT_NE(cumulative.text().find("time since the first sample (min)"), std::string::npos);
  for (const char* file : {"cumflux.out", "CFSHIFT.out"}) {
    const auto rows = columns(folder.read(file));
    std::map<double, double> by_time;
    double lowest = 0.0;
    for (std::size_t i = 1; i < rows.size(); ++i) {
      by_time[minutes(std::stod(rows[i][0]))] = std::stod(rows[i][1]);
      lowest = std::min(lowest, std::stod(rows[i][1]));
    }
    const auto points = cumulative.series_points(file);
    ASSERT_GT(points.size(), 10u) << file;
    bool has_lowest = false;
    for (const auto& point : points) {
      const auto row = by_time.lower_bound(point.x - cumulative.x_resolution());
      ASSERT_NE(row, by_time.end()) << file;
      ASSERT_TRUE(near(row->first, point.x, cumulative.x_resolution())) << file << " " << point.x;
      EXPECT_TRUE(near(row->second, point.y, cumulative.y_resolution())) << file << " " << point.x;
      has_lowest = has_lowest || near(point.y, lowest, cumulative.y_resolution());
    }
    EXPECT_TRUE(near(points.front().x, by_time.begin()->first, cumulative.x_resolution())) << file;
    EXPECT_TRUE(near(points.back().x, by_time.rbegin()->first, cumulative.x_resolution())) << file;
    EXPECT_TRUE(has_lowest) << file;
  }

  // Flux against window: one line per block, labelled with its mean time, on
  // a logarithmic frequency axis; each point is the file's value of K·m/day
  // in W/m², comparable with the fluxes of the blocks.
  const auto spectra = columns(folder.read("Cospectra.out"));
  const PlotReading windows(folder.read("flux_by_window.svg"));
  EXPECT_TRUE(windows.log_x());
  EXPECT_NE(windows.text().find("heat flux (W/m²)"), std::string::npos);
  const auto watts = [](const std::string& flux) { return std::stod(flux) / 86400 * 1025 * 4008; };
  // The example's times are hours since the start of the deployment.
  const std::vector<std::string> labels = {"block 1, t = 0.0083", "block 2, t = 0.0250",
                                           "block 3, t = 0.0417"};
  EXPECT_EQ(windows.series_labels(), labels);
  for (std::size_t b = 0; b < 3; ++b) {
    const auto points = windows.series_points(labels[b]);
    ASSERT_GE(points.size(), 2u);
    // The line starts at the file's first window; on a logarithmic axis the
    // reading is good to a share of the value, not to a fixed amount.
    EXPECT_LT(std::abs(std::log10(points.front().x / std::stod(spectra[1][0]))), 1e-4) << labels[b];
    for (const auto& point : points) {
      bool found = false;
      for (std::size_t i = 1; i < spectra.size() && !found; ++i) {
        const double frequency = std::stod(spectra[i][0]);
        found = std::abs(std::log10(point.x / frequency)) < 1e-4 &&
                near(point.y, watts(spectra[i][b + 1]), windows.y_resolution());
      }
      EXPECT_TRUE(found) << labels[b] << " at " << point.x;
    }
  }
  EXPECT_NE(windows.text().find("window of the run: 30 s"), std::string::npos);
}

TEST(PlotTool, AsteriskFieldsAreLeftOutAndCountedNotDrawnAsZero) {
  TempFolder folder;
  finish_example_run(folder);
  // Block 2's FLUX-L (columns 84-91), one TIME of cumflux.out and one flux of
  // block 3 in Cospectra.out did not fit their fields.
  folder.write("results.out", overwrite(folder.read("results.out"), 2, 83, "********"));
  folder.write("cumflux.out", overwrite(folder.read("cumflux.out"), 500, 1, "************"));
  folder.write("Cospectra.out", overwrite(folder.read("Cospectra.out"), 5, 28, "*********"));
  const auto run = run_plot(folder);
  ASSERT_EQ(run.exit_status, 0) << run.standard_error;

  const PlotReading blocks(folder.read("flux_by_block.svg"));
  const auto flux_l = blocks.series_points("FLUX-L");
  ASSERT_EQ(flux_l.size(), 2u);  // blocks 1 and 3, no longer joined
  for (const auto& point : flux_l) EXPECT_LT(point.y, -100.0);
  EXPECT_EQ(blocks.series_points("FLUX-R").size(), 3u);
  EXPECT_NE(blocks.text().find("1 FLUX-L value written as asterisks"), std::string::npos)
      << blocks.text();

  const PlotReading cumulative(folder.read("cumulative_flux.svg"));
  EXPECT_NE(cumulative.text().find(
                "cumflux.out: 1 TIME value written as asterisks (its row is left out)"),
            std::string::npos)
      << cumulative.text();

  const PlotReading windows(folder.read("flux_by_window.svg"));
  for (const auto& point : windows.series_points("block 3, t = 0.0417"))
    EXPECT_GT(std::abs(point.x - 1.666667), 1e-3);  // the fifth window's frequency
  EXPECT_NE(windows.text().find("1 flux value written as asterisks"), std::string::npos)
      << windows.text();
}

// A run without a complete block writes nothing today; files of headers
// alone come from earlier versions, which wrote them.
TEST(PlotTool, RunWithoutCompleteBlockGivesPlotsThatSaySo) {
  TempFolder folder;
  finish_example_run(folder);
  for (const report::OutputFileInfo& file : report::output_files) {
    if (!report::written_by_run(file, false) || file.role == report::OutputRole::standard_output) {
      continue;
    }
    const std::string header(file.header);
    folder.write(report::output_name(file, "results.out"), header + "\r\n");
  }
  const auto run = run_plot(folder);
  ASSERT_EQ(run.exit_status, 0) << run.standard_error;
  for (const auto& name : plot_names) {
    const PlotReading reading(folder.read(name));
    EXPECT_TRUE(reading.series_labels().empty()) << name;
    EXPECT_NE(reading.text().find("No complete block in this run"), std::string::npos) << name;
  }
}

TEST(PlotTool, MissingFileIsNamedOnOneLineAndNothingIsWritten) {
  // The words and unit numbers of ecflux's own messages.
  const std::vector<std::pair<std::string, int>> files = {{"ConfigDRAVEK.Dat", 2030},
                                                          {"results.out", 9},
                                                          {"cumflux.out", 43},
                                                          {"CFSHIFT.out", 889},
                                                          {"Cospectra.out", 40}};
  for (const auto& [missing, unit] : files) {
    TempFolder folder;
    finish_example_run(folder);
    std::filesystem::remove(folder / missing);
    const auto run = run_plot(folder);
    EXPECT_EQ(run.exit_status, 1) << missing;
    EXPECT_EQ(run.standard_error, "ecflux-plot: file not found, unit " + std::to_string(unit) +
                                      ", file " + (folder / missing).string() + "\n");
    for (const auto& name : plot_names) EXPECT_FALSE(folder.exists(name)) << missing << " " << name;
    EXPECT_FALSE(folder.exists("report.html")) << missing;
  }
}

// Looks at a plot as a browser draws it, where headless Chromium is present.
TEST(PlotTool, ChromiumRendersAPlot) {
  if (!testing::have_chromium())
    ECFLUX_SKIP_OR_FAIL(testing::chromium_check, "no Chromium at " + testing::chromium.string());
  TempFolder folder;
  finish_example_run(folder);
  ASSERT_EQ(run_plot(folder).exit_status, 0);
  const auto png = folder / "flux_by_window.png";
  ASSERT_TRUE(testing::run_chromium(folder, folder / "flux_by_window.svg",
                                    "--screenshot='" + png.string() + "' --window-size=960,560"));
  const std::string image = testing::read_file(png);
  // The width and height in the header, then enough bytes for a drawing
  // rather than a blank page.
  EXPECT_EQ(testing::png_size(image).width, 960u);
  EXPECT_EQ(testing::png_size(image).height, 560u);
  EXPECT_GT(image.size(), 15000u);
}

}  // namespace
}  // namespace ecflux
