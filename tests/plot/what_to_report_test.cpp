// What the plots and the report page tell a scientist about which flux to
// trust: flagged blocks, the run's warnings and options, the table of
// blocks, and the spectra, on runs of the bundled example and of the stored
// record with gaps and fill values.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <pugixml.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/plot/plot_reading.h"
#include "tests/plot/plot_runs.h"
#include "tests/support/test_support.h"

namespace ecflux {
namespace {

using testing::PlotReading;
using testing::run_plot;
using testing::TempFolder;

struct Page {
  std::string text;
  pugi::xml_document document;

  explicit Page(const TempFolder& folder) : text(folder.read("report.html")) {
    const auto parsed = document.load_string(text.c_str());
    EXPECT_TRUE(parsed) << parsed.description() << " at " << parsed.offset;
  }
  pugi::xpath_node_set all(const char* path) const { return document.select_nodes(path); }
  std::size_t count(const char* path) const { return all(path).size(); }
  // The text of a node and everything in it.
  static std::string text_of(pugi::xml_node node) {
    std::string all;
    for (const auto& piece : node.select_nodes(".//text()")) all += piece.node().value();
    return all;
  }
};

// The rows of a CSV file split at commas, the header first.
std::vector<std::vector<std::string>> csv_rows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  for (const std::string& record : testing::split_records(text)) {
    std::vector<std::string> fields;
    std::size_t begin = 0, comma;
    while ((comma = record.find(',', begin)) != std::string::npos) {
      fields.push_back(record.substr(begin, comma - begin));
      begin = comma + 1;
    }
    fields.push_back(record.substr(begin));
    rows.push_back(fields);
  }
  return rows;
}

// The drawings of a page.
std::size_t drawings(const std::string& page) {
  std::size_t count = 0;
  for (auto at = page.find("<svg xmlns"); at != std::string::npos;
       at = page.find("<svg xmlns", at + 1))
    ++count;
  return count;
}

// The value of each labelled y tick of a plot.
std::vector<double> y_ticks(const std::string& svg) {
  pugi::xml_document document;
  EXPECT_TRUE(document.load_string(svg.c_str()));
  std::vector<double> ticks;
  for (const auto& tick : document.select_nodes("//*[@class='y-tick']/*[local-name()='text']"))
    ticks.push_back(std::stod(tick.node().child_value()));
  return ticks;
}

// The gaps record's third block holds fill values of -9999: its flux is in
// the millions of W/m², and it is flagged 2. Flagged blocks, whether
// blocks.csv or run.json gives their flags, are marked and leave the scale to
// the others, which stay readable.
TEST(WhatToReport, AFlaggedOutlierDoesNotFlattenTheOtherBlocks) {
  for (const bool csv : {true, false}) {
    const std::string what = csv ? "blocks.csv" : "results.out and run.json";
    TempFolder folder;
    testing::finish_expected_run(
        folder, "gaps", csv ? std::vector<std::string>{"--csv"} : std::vector<std::string>{});
    const std::vector<int> flags = testing::run_record(folder).quality_flags;
    ASSERT_EQ(flags, (std::vector<int>{0, 2, 2, 1, 1, 0}));
    const auto plotted = run_plot(folder);
    ASSERT_EQ(plotted.exit_status, 0) << plotted.standard_error;

    const std::string svg = folder.read("flux_by_block.svg");
    const std::vector<double> ticks = y_ticks(svg);
    ASSERT_GE(ticks.size(), 2u) << what;
    EXPECT_LT(ticks.back() - ticks.front(), 2000.0) << what;
    const PlotReading reading(svg);
    // results.out holds block 3's fluxes as asterisks: there is nothing to mark.
    EXPECT_EQ(reading.series_points("flag 2: do not use").size(), csv ? 2u : 1u) << what;
    EXPECT_EQ(reading.series_points("flag 1: use with care").size(), 2u) << what;
    EXPECT_NE(reading.text().find("(flag 2, "), std::string::npos) << what;
    EXPECT_NE(reading.text().find("Flagged blocks do not set the scale"), std::string::npos)
        << what;

    const Page page(folder);
    EXPECT_EQ(page.count("//table[@id='blocks']/tbody/tr[@class='flag-2']"), 2u) << what;
    EXPECT_EQ(page.count("//table[@id='blocks']/tbody/tr[@class='flag-1']"), 2u) << what;
    EXPECT_NE(page.text.find("2 good, 2 use with care, 2 do not use"), std::string::npos) << what;
  }
}

// Every warning of run.json on the page, escaped, with the run's options and
// the data file's hash; a run without run.json says what is not known.
TEST(ReportPage, ListsEveryWarningOfTheRunItsOptionsAndTheDataFileHash) {
  TempFolder folder;
  testing::finish_expected_run(folder, "gaps", {});
  // A data file whose name is markup: it stands in every warning's text.
  std::string config = folder.read("ConfigDRAVEK.Dat");
  config.replace(config.find("gaps.dat"), 8, "g&<a>.dat");
  folder.write("ConfigDRAVEK.Dat", config);
  std::filesystem::rename(folder / "gaps.dat", folder / "g&<a>.dat");
  testing::ProcessOptions options;
  options.arguments = {"--csv", "--despike"};
  ASSERT_EQ(testing::run_program(ECFLUX_PROGRAM, folder.path(), options).exit_status, 0);
  ASSERT_EQ(run_plot(folder).exit_status, 0);

  const nlohmann::json record = nlohmann::json::parse(folder.read("run.json"));
  const Page page(folder);
  const auto rows = page.all("//table[@id='warnings']/tbody/tr");
  ASSERT_EQ(rows.size(), record["warnings"].size());
  ASSERT_GE(rows.size(), 4u);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const nlohmann::json& warning = record["warnings"][i];
    const auto cells = rows[i].node().select_nodes("td");
    ASSERT_EQ(cells.size(), 4u);
    EXPECT_EQ(Page::text_of(cells[0].node()), warning["kind"].get<std::string>());
    EXPECT_EQ(Page::text_of(cells[1].node()), std::to_string(warning["line"].get<int>()));
    EXPECT_EQ(Page::text_of(cells[2].node()), std::to_string(warning["count"].get<int>()));
    EXPECT_EQ(Page::text_of(cells[3].node()), warning["text"].get<std::string>());
    EXPECT_NE(Page::text_of(cells[3].node()).find("g&<a>.dat"), std::string::npos);
  }
  EXPECT_EQ(page.text.find("g&<a>"), std::string::npos);

  // The options and the data file as the record gives them.
  std::map<std::string, std::string> facts;
  for (const auto& row : page.all("//table[@class='facts']/tr"))
    facts[Page::text_of(row.node().child("th"))] = Page::text_of(row.node().child("td"));
  EXPECT_EQ(facts["CSV files (--csv)"], "yes");
  EXPECT_EQ(facts["Warnings fail the run (--strict)"], "no");
  EXPECT_EQ(facts["Despiking (--despike)"], "yes");
  EXPECT_EQ(facts["Tilt correction (--rotate)"], "none");
  EXPECT_EQ(facts["Hash (XXH3-64)"].rfind(record["data"]["xxh3_64"].get<std::string>(), 0), 0u)
      << facts["Hash (XXH3-64)"];
  EXPECT_EQ(Page::text_of(page.all("//section[@class='advice']/h2")[0].node()),
            "Which flux to report");

  // Without run.json, as a run of an earlier version left it: the time axis
  // is the data file's own, and the page says what it cannot tell.
  std::filesystem::remove(folder / "run.json");
  ASSERT_EQ(run_plot(folder).exit_status, 0);
  EXPECT_NE(PlotReading(folder.read("flux_by_block.svg")).text().find("(data file's time unit)"),
            std::string::npos);
  const Page without(folder);
  EXPECT_EQ(without.count("//table[@id='warnings']"), 0u);
  EXPECT_NE(without.text.find("run.json of this run was not found"), std::string::npos);
}

// The table begins with the block's time, flag and main fluxes, shows values
// to five significant digits, and its headers break only between words.
TEST(ReportPage, TableLeadsWithTimeFlagAndMainFluxesInWholeWords) {
  TempFolder folder;
  testing::finish_example_run(folder, nullptr, true);
  ASSERT_EQ(run_plot(folder).exit_status, 0);
  const Page page(folder);
  std::vector<std::string> names;  // as blocks.csv names them
  for (const auto& header : page.all("//table[@id='blocks']/thead/tr/th")) {
    const pugi::xml_node th = header.node();
    std::string heading;  // the header's text before its unit
    for (const pugi::xml_node piece : th.children()) {
      if (piece.type() == pugi::node_pcdata) heading += piece.value();
    }
    const std::string name = th.attribute("title") ? th.attribute("title").value() : heading;
    names.push_back(name);
    // A header breaks only after an underscore between two words: never
    // inside its unit, which stands below it.
    for (const char* unit : {"_cm", "_s", "_W", "_m2", "_K", "_deg", "_percent"}) {
      EXPECT_FALSE(heading.ends_with(unit)) << heading;
    }
  }
  const std::vector<std::string> lead = {"block",
                                         "time_mean",
                                         "quality_flag",
                                         "flux_linear_delay_corrected_W_m2",
                                         "flux_linear_W_m2",
                                         "flux_run_W_m2",
                                         "flux_mean_removed_W_m2"};
  ASSERT_GE(names.size(), lead.size());
  EXPECT_EQ(std::vector<std::string>(names.begin(), names.begin() + 7), lead);
  EXPECT_NE(std::find(names.begin(), names.end(), "u_mean_cm_s"), names.end());

  // Block 2 of the example is flagged 1 (its steady-state difference).
  const auto csv = csv_rows(folder.read("blocks.csv"));
  const auto rows = page.all("//table[@id='blocks']/tbody/tr");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(std::string(rows[1].node().attribute("class").value()), "flag-1");
  EXPECT_FALSE(rows[0].node().attribute("class"));
  const auto cells = rows[0].node().select_nodes("td");
  char expected[32];
  std::snprintf(expected, sizeof expected, "%.5g", std::stod(csv[1][14]));  // flux_linear_W_m2
  EXPECT_EQ(Page::text_of(cells[4].node()), expected);
  EXPECT_LE(std::string(expected).size(), 7u);
}

// cospectra.svg from a run with --spectra, on the page too; without spectra
// it is not written, an earlier one goes, and the page says how to get it.
TEST(CospectraPlot, DrawnFromASpectraRunAndGoneWithoutOne) {
  TempFolder folder;
  testing::finish_example_run_with(folder, {"--csv", "--spectra"});
  const auto plotted = run_plot(folder);
  ASSERT_EQ(plotted.exit_status, 0) << plotted.standard_error;
  EXPECT_NE(plotted.standard_output.find("/cospectra.svg\n"), std::string::npos);

  const PlotReading spectra(folder.read("cospectra.svg"));
  EXPECT_TRUE(spectra.log_x());
  // Blocks whose ogive has not levelled off are drawn with triangles.
  const auto blocks = csv_rows(folder.read("blocks.csv"));
  const std::size_t flag_at = static_cast<std::size_t>(
      std::find(blocks[0].begin(), blocks[0].end(), "ogive_not_levelled") - blocks[0].begin());
  ASSERT_LT(flag_at, blocks[0].size());
  const std::string svg = folder.read("cospectra.svg");
  const auto group = svg.find("<g data-series=\"block 1, t = 0.0083\"");
  ASSERT_NE(group, std::string::npos);
  EXPECT_EQ(
      svg.substr(group, svg.find("</g>", group) - group).find("<path d=\"M") != std::string::npos,
      blocks[1][flag_at] == "1");
  // f Co(f) / cov of block 1 from its rows: the covariance is the sum of the
  // cospectrum over every frequency times fs / N = 10 / 600.
  const auto rows = csv_rows(folder.read("cospectra.csv"));
  double sum = 0.0;
  std::vector<std::pair<double, double>> block_1;
  for (std::size_t r = 1; r < rows.size(); ++r) {
    if (rows[r][0] != "1") continue;
    sum += std::stod(rows[r][2]) * std::stod(rows[r][3]);
    block_1.emplace_back(std::stod(rows[r][1]), std::stod(rows[r][3]));
  }
  const double covariance = sum * 10.0 / 600.0;
  const std::string label = "block 1, t = 0.0083";
  const auto points = spectra.series_points(label);
  ASSERT_EQ(points.size(), block_1.size()) << label;
  for (std::size_t i = 0; i < points.size(); ++i) {
    EXPECT_LT(std::abs(std::log10(points[i].x / block_1[i].first)), 1e-4);
    EXPECT_NEAR(points[i].y, block_1[i].first * block_1[i].second / covariance,
                spectra.y_resolution());
  }
  EXPECT_EQ(spectra.series_points("ogive of " + label).front().y, 1.0);
  EXPECT_EQ(Page(folder).text.find("ecflux --spectra"), std::string::npos);
  EXPECT_EQ(drawings(Page(folder).text), 4u);

  // A run without --spectra removes cospectra.csv; the plot of it goes too.
  testing::ProcessOptions options;
  options.arguments = {"--csv"};
  ASSERT_EQ(testing::run_program(ECFLUX_PROGRAM, folder.path(), options).exit_status, 0);
  ASSERT_EQ(run_plot(folder).exit_status, 0);
  EXPECT_FALSE(folder.exists("cospectra.svg"));
  const Page page(folder);
  EXPECT_EQ(drawings(page.text), 3u);
  EXPECT_NE(page.text.find("<code>ecflux --spectra</code>"), std::string::npos);
}

}  // namespace
}  // namespace ecflux
